#pragma once
// The external extractor: a child process that turns a link of today's video site into a JSON
// description of the video (title, formats with their addresses and request headers). Pages
// without the old parameters are resolved through it.
#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QProcess;
class QTimer;

// The program to run: VORNIC_EXTRACTOR when set, else "yt-dlp" found on PATH; empty when none.
QString ExtractorProgram();
// What "--version" prints (first line), empty when the program does not answer in time.
QString ExtractorVersion(const QString& program, int timeoutMs = 15000);
// The reason a row fails when no extractor is found.
QString ExtractorMissingReason();

class TExtractorProcess : public QObject {
public:
    static constexpr qint64 MaxOutputBytes = 32 * 1024 * 1024;
    static constexpr int DefaultTimeoutMs = 90000;

    explicit TExtractorProcess(QObject* owner = nullptr);
    ~TExtractorProcess() override;

    // Bound of one run; the process is killed when it passes.
    int TimeoutMs = DefaultTimeoutMs;

    // Starts the extractor on one link. Exactly one of the two events follows (queued, on this
    // object's thread), unless Cancel comes first.
    void Start(const QString& link);
    // Kills the process (and whatever it started) at once; no event follows.
    void Cancel();
    bool Running() const;
    // The process id while it runs, 0 otherwise.
    qint64 ProcessId() const;

    // The standard output, a JSON text to be read by the caller.
    std::function<void(QObject* Sender, const QByteArray& Output)> OnDone;
    std::function<void(QObject* Sender, const QString& Reason)> OnFailed;

private:
    void ReadOutput();
    void ReadErrors();
    void Finished(int exitCode, bool crashed);
    void Fail(const QString& reason);
    void Kill();
    QString LastErrorLine() const;

    QProcess* process_ = nullptr;
    QTimer* timer_ = nullptr;
    QByteArray out_, err_;
    bool ended_ = true;
    int generation_ = 0;
};
