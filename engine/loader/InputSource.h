#pragma once
// Inputs read through callbacks instead of from a file: a name whose scheme ("dvd:...") has a
// registered opener is given to the format library as custom I/O. Everything else about such an
// input (probing, stream facts, the pipeline) is the same as for a file.
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

struct AVFormatContext;
struct AVIOContext;

class TInputSource {
public:
    virtual ~TInputSource() = default;
    // Up to size bytes into buffer; 0 at the end, < 0 (an AVERROR) on failure.
    virtual int Read(std::uint8_t* buffer, int size) = 0;
    // The new position, or < 0 when the position cannot be reached.
    virtual std::int64_t Seek(std::int64_t position) = 0;
    virtual std::int64_t Position() const = 0;
    virtual std::int64_t Size() const = 0; // bytes; < 0 unknown
    // The reason of the last failed Read, for the task's error text.
    virtual QString LastError() const { return {}; }
};

// Opens the source a name stands for; null with *error set when it cannot.
using TInputSourceOpener = std::function<std::unique_ptr<TInputSource>(const QString& name, QString* error)>;

// Scheme without the colon ("dvd"); a second registration replaces the first.
void RegisterInputScheme(const QString& scheme, TInputSourceOpener opener);

// Attaches the named source to ctx as custom I/O before avformat_open_input. True for names
// without a registered scheme (nothing attached); false with *error when the opener fails.
bool AttachInputSource(AVFormatContext* ctx, const QString& name, QString* error);
// After a failed avformat_open_input: frees the I/O AttachInputSource made (pb from before the call).
void ReleaseInputSource(AVIOContext*& pb);
// avformat_close_input, and the custom I/O of an attached source with it.
void CloseInputContext(AVFormatContext** ctx);
// The reason an input's I/O failed: the attached source's own text when it has one, else the
// library's text for the I/O error code; empty when the I/O has not failed (the end of the
// data is no failure).
QString InputReadError(const AVFormatContext* ctx);
