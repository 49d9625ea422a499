#pragma once
// Separate video and audio parts of one download become one file: the engine copies both
// streams into the container of the wanted extension, without re-encoding. Runs on the
// engine's worker; its end is reported on the main thread.
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class TFFmpegEngine;

class TMediaMerge : public QObject {
public:
    explicit TMediaMerge(QObject* owner = nullptr);
    ~TMediaMerge() override;

    // Where the engine libraries are looked for when they are not loaded yet.
    QString LibraryFolder;

    // Starts writing `output` (any name; the container follows `extension`, with the dot).
    // False with *why when it cannot start; nothing is left on disk then.
    bool Start(const QString& video, const QString& audio, const QString& output, const QString& extension,
               QString* why);
    // Stops at once and waits for the engine; the output is removed; no event follows.
    void Cancel();
    bool Running() const { return running_; }

    std::function<void(QObject* Sender, int Percent)> OnProgress;
    // Ok false: the output is removed and Why says what went wrong.
    std::function<void(QObject* Sender, bool Ok, const QString& Why)> OnDone;

private:
    void Terminated(int generation, bool finished, bool failed, const QString& message);

    std::unique_ptr<TFFmpegEngine> engine_;
    QString output_;
    bool running_ = false;
    int generation_ = 0;
    // What a report queued by the engine's thread finds: gone once this is.
    std::shared_ptr<TMediaMerge*> self_ = std::make_shared<TMediaMerge*>(this);
};

// The muxer name the engine is given for a file extension (".mp4" -> "mp4", ".mkv" -> "matroska").
QString MuxerOfExtension(const QString& extension);
