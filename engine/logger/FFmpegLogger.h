#pragma once
// logger/ owns the engine's one logger. It calls only the library table (loader/) and the main
// thread hand-over of the settings library; every other folder of the engine logs through it.
//
// The engine's one logger. It receives the FFmpeg libraries' log output (cut into whole lines
// per thread) and the engine's own messages, filters both by one level and delivers them
// through OnLog, on the main thread when TriggerEventInMainThread is set. Lines from other
// threads are queued there in order and never waited for: the caller may hold the library lock
// or an engine lock that the main thread could be waiting for.
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

enum TLogLevel : int { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// Sender, thread id, level, message.
using TLogEvent = std::function<void(QObject* Sender, std::uint32_t AThreadID, TLogLevel ALogLevel,
                                     const QString& ALogMsg)>;

// The OnLog event: worker threads call it while the main thread may assign or clear it (the
// window clears it when it closes). A call holds its own reference to the handler, and an
// assignment returns only when calls of the handler it replaced have returned on other threads,
// so nothing a cleared handler captured is used afterwards.
class TLogEventSlot {
public:
    TLogEventSlot() = default;
    TLogEventSlot(const TLogEventSlot&) = delete;
    TLogEventSlot& operator=(const TLogEventSlot&) = delete;

    TLogEventSlot& operator=(TLogEvent handler);
    TLogEventSlot& operator=(std::nullptr_t) { return *this = TLogEvent(); }
    explicit operator bool() const { return FAssigned.load(); }
    // Calls the handler, when there is one.
    void operator()(QObject* sender, std::uint32_t threadID, TLogLevel level, const QString& message) const;

private:
    struct THolder {
        TLogEvent Handler;
        std::atomic<int> Calls{0};
    };
    mutable std::mutex FLock;
    std::shared_ptr<THolder> FHolder;
    std::atomic<bool> FAssigned{false};
};

// Values of one delivery.
struct TLogInfo {
    QObject* Sender = nullptr;
    std::uint32_t ThreadID = 0;
    TLogLevel LogLevel = llInfo;
    QString LogMsg;
};

// (ordinal - 1) * 8: llQuiet -8 ... llDebug 48.
int LogLevelToLibrary(TLogLevel level);
// number / 8 (toward zero) + 1, clamped to llQuiet..llDebug.
TLogLevel LibraryToLogLevel(int number);
// "quiet" ... "debug" without regard to case, or a decimal library number. False otherwise.
bool LibraryLevelFromName(const QString& name, int& number);
// Lower-case name of a level ("warning").
QString LogLevelName(TLogLevel level);

// Text of a library error code ("End of file", "No such file or directory", ...).
QString FFErrorText(int code);
// name + ": " + FFErrorText(code).
QString FFErrorMessage(const QString& name, int code);

// A line of the log window: "#" + thread id + "." + level ordinal + ": " + message.
QString FormatLogLine(std::uint32_t threadID, TLogLevel level, const QString& message);

// Id of the calling thread as the log shows it.
std::uint32_t CurrentThreadID();

class TFFLogger : public QObject {
public:
    // Only one logger may exist; a second construction throws std::logic_error with
    // "Allow creating only one instance of TFFLogger.".
    explicit TFFLogger(QObject* owner = nullptr);
    ~TFFLogger() override;

    // The single instance, created without owner on first use.
    static TFFLogger* Instance();

    TLogLevel LogLevel() const { return FLogLevel.load(); }
    void SetLogLevel(TLogLevel level);
    // Name or number as LibraryLevelFromName reads it; false (level unchanged) when invalid.
    bool SetLogLevelByName(const QString& name);

    bool TriggerEventInMainThread() const { return FTriggerEventInMainThread.load(); }
    void SetTriggerEventInMainThread(bool value) { FTriggerEventInMainThread = value; }

    // May be assigned or cleared at any time, from any thread.
    TLogEventSlot OnLog;

    // An engine message. llVerbose passes at every level above llQuiet; llQuiet always passes.
    void Log(QObject* sender, TLogLevel level, const QString& message);
    void LogFmt(QObject* sender, TLogLevel level, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

    // Installs the library callback and applies the level; called by the loader once avutil is bound.
    void HookUp();

    // The library log threshold: library messages above it are dropped. Initially 32 (info).
    static int LibraryThreshold();

    // Threads holding an unfinished library line.
    static int PendingLineCount();

    // The callback handed to av_log_set_callback.
    static void LibraryCallback(void* avcl, int level, const char* fmt, va_list vl);

private:
    void Deliver(const TLogInfo& info);
    static void DeliverLibraryLine(std::uint32_t threadID, int level, const QString& line);

    std::atomic<TLogLevel> FLogLevel;
    std::atomic<bool> FTriggerEventInMainThread{true};
    std::recursive_mutex FCallLock; // serialises handlers run on the caller's thread
};

// Shorthand for TFFLogger::Instance().
TFFLogger* FFLogger();
