#include "FFmpegLogger.h"

#include "FFmpegApi.h"
#include "MainThread.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::atomic<int> GLibraryThreshold{AV_LOG_INFO};
std::atomic<TFFLogger*> GInstance{nullptr};
std::mutex GInstanceLock;

// Unfinished library lines, one per thread that has some.
std::mutex GPendingLock;
std::unordered_map<std::uint32_t, std::string>& PendingLines()
{
    static auto* lines = new std::unordered_map<std::uint32_t, std::string>;
    return *lines;
}

// Drops the unfinished line of a thread when the thread ends, so a later thread that is given
// the same id does not inherit it.
struct TPendingLineOwner {
    std::uint32_t ThreadID = 0;
    ~TPendingLineOwner()
    {
        if (!ThreadID)
            return;
        std::lock_guard lock(GPendingLock);
        PendingLines().erase(ThreadID);
    }
};
thread_local TPendingLineOwner tPendingOwner;

// The handlers this thread is inside of, so an assignment from within a handler does not wait
// for itself.
thread_local std::vector<const void*> tActiveHandlers;

const char* const LevelNames[] = {"quiet", "panic", "fatal", "error", "warning", "info", "verbose", "debug"};

std::string VFormat(const char* fmt, va_list vl)
{
    va_list copy;
    va_copy(copy, vl);
    char small[512];
    const int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0)
        return {};
    if (size_t(n) < sizeof small)
        return std::string(small, size_t(n));
    std::string text(size_t(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), fmt, vl);
    text.resize(size_t(n));
    return text;
}

} // namespace

int LogLevelToLibrary(TLogLevel level) { return (int(level) - 1) * 8; }

TLogLevel LibraryToLogLevel(int number)
{
    int ordinal = number / 8 + 1;
    if (ordinal < llQuiet)
        ordinal = llQuiet;
    if (ordinal > llDebug)
        ordinal = llDebug;
    return TLogLevel(ordinal);
}

bool LibraryLevelFromName(const QString& name, int& number)
{
    const QString trimmed = name.trimmed();
    for (int i = llQuiet; i <= llDebug; ++i) {
        if (trimmed.compare(QLatin1String(LevelNames[i]), Qt::CaseInsensitive) == 0) {
            number = LogLevelToLibrary(TLogLevel(i));
            return true;
        }
    }
    bool ok = false;
    const int value = trimmed.toInt(&ok, 10);
    if (ok)
        number = value;
    return ok;
}

QString LogLevelName(TLogLevel level)
{
    if (level < llQuiet || level > llDebug)
        return {};
    return QLatin1String(LevelNames[level]);
}

QString FFErrorText(int code)
{
    struct TErrorText {
        int Code;
        const char* Text;
    };
    // Codes of today's libraries for the texts the log has always shown.
    static const TErrorText table[] = {
        {AVERROR_PATCHWELCOME, "Not yet implemented in FFmpeg"},
        {AVERROR_PROTOCOL_NOT_FOUND, "Unsupported network protocol"},
        {AVERROR(EPROTONOSUPPORT), "Unsupported network protocol"},
        {AVERROR(EILSEQ), "Unknown format"},
        {AVERROR_DEMUXER_NOT_FOUND, "Unknown format"},
        {AVERROR(ENOSYS), "Operation not supported"},
        {AVERROR(EDOM), "Number syntax expected in filename"},
        {AVERROR_EOF, "End of file"},
        {AVERROR(EPIPE), "End of file"},
        {AVERROR_INVALIDDATA, "Invalid data found when processing input"},
        {AVERROR(EINVAL), "Invalid data found when processing input"},
        {AVERROR(ENOMEM), "Not enough memory"},
        {AVERROR(EIO), "I/O error"},
        {AVERROR(ENOENT), "No such file or directory"},
    };
    for (const TErrorText& e : table)
        if (e.Code == code)
            return QLatin1String(e.Text);
    // The library knows the rest ("Permission denied", ...), and falls back to the same
    // "Error number %d occurred" text we would write.
    if (FF.av_strerror) {
        char text[AV_ERROR_MAX_STRING_SIZE * 2] = {};
        FF.av_strerror(code, text, sizeof text);
        if (text[0])
            return QString::fromUtf8(text);
    }
    return QStringLiteral("Error number %1 occurred").arg(code);
}

QString FFErrorMessage(const QString& name, int code) { return name + QStringLiteral(": ") + FFErrorText(code); }

QString FormatLogLine(std::uint32_t threadID, TLogLevel level, const QString& message)
{
    return QStringLiteral("#%1.%2: %3").arg(threadID).arg(int(level)).arg(message);
}

std::uint32_t CurrentThreadID() { return std::uint32_t(::syscall(SYS_gettid)); }

TFFLogger::TFFLogger(QObject* owner) : QObject(owner)
{
    FLogLevel = LibraryToLogLevel(GLibraryThreshold.load());
    std::lock_guard lock(GInstanceLock);
    if (GInstance.load())
        throw std::logic_error("Allow creating only one instance of TFFLogger.");
    GInstance = this;
}

TFFLogger::~TFFLogger()
{
    std::lock_guard lock(GInstanceLock);
    if (GInstance.load() == this)
        GInstance = nullptr;
}

TFFLogger* TFFLogger::Instance()
{
    if (TFFLogger* logger = GInstance.load())
        return logger;
    {
        std::lock_guard lock(GInstanceLock);
        if (TFFLogger* logger = GInstance.load())
            return logger;
    }
    try {
        return new TFFLogger(nullptr);
    } catch (const std::logic_error&) {
        return GInstance.load(); // another thread won the race
    }
}

TFFLogger* FFLogger() { return TFFLogger::Instance(); }

int TFFLogger::PendingLineCount()
{
    std::lock_guard lock(GPendingLock);
    return int(PendingLines().size());
}

int TFFLogger::LibraryThreshold() { return GLibraryThreshold.load(); }

void TFFLogger::SetLogLevel(TLogLevel level)
{
    if (level < llQuiet || level > llDebug || level == FLogLevel.load())
        return;
    FLogLevel = level;
    GLibraryThreshold = LogLevelToLibrary(level);
    if (FF.av_log_set_level)
        FF.av_log_set_level(GLibraryThreshold.load());
}

bool TFFLogger::SetLogLevelByName(const QString& name)
{
    int number = 0;
    if (!LibraryLevelFromName(name, number))
        return false;
    SetLogLevel(LibraryToLogLevel(number));
    return true;
}

TLogEventSlot& TLogEventSlot::operator=(TLogEvent handler)
{
    std::shared_ptr<THolder> old;
    {
        auto holder = handler ? std::make_shared<THolder>() : nullptr;
        if (holder)
            holder->Handler = std::move(handler);
        std::lock_guard lock(FLock);
        old = std::exchange(FHolder, std::move(holder));
        FAssigned = FHolder != nullptr;
    }
    if (!old)
        return *this;
    const int own = int(std::count(tActiveHandlers.begin(), tActiveHandlers.end(), old.get()));
    auto done = [&] { return old->Calls.load() <= own; };
    if (IsMainThread()) {
        // A caller may be waiting for the main thread inside the handler.
        WaitServicingEvents(done, -1, 1);
    } else {
        while (!done())
            std::this_thread::yield();
    }
    return *this;
}

void TLogEventSlot::operator()(QObject* sender, std::uint32_t threadID, TLogLevel level, const QString& message) const
{
    std::shared_ptr<THolder> holder;
    {
        std::lock_guard lock(FLock);
        holder = FHolder;
        if (holder)
            ++holder->Calls;
    }
    if (!holder)
        return;
    struct TCall {
        THolder& H;
        explicit TCall(THolder& h) : H(h) { tActiveHandlers.push_back(&h); }
        ~TCall()
        {
            tActiveHandlers.pop_back();
            --H.Calls;
        }
    } call(*holder);
    holder->Handler(sender, threadID, level, message);
}

void TFFLogger::HookUp()
{
    assert(FF.av_log_set_callback && FF.av_log_set_level);
    if (!FF.av_log_set_callback || !FF.av_log_set_level)
        return;
    FF.av_log_set_callback(&TFFLogger::LibraryCallback);
    GLibraryThreshold = LogLevelToLibrary(FLogLevel.load());
    FF.av_log_set_level(GLibraryThreshold.load());
}

void TFFLogger::Log(QObject* sender, TLogLevel level, const QString& message)
{
    if (!OnLog)
        return;
    const TLogLevel current = FLogLevel.load();
    if (level > current && !(level == llVerbose && current != llQuiet))
        return;
    Deliver(TLogInfo{sender, CurrentThreadID(), level, message});
}

void TFFLogger::LogFmt(QObject* sender, TLogLevel level, const char* format, ...)
{
    if (!OnLog)
        return;
    const TLogLevel current = FLogLevel.load();
    if (level > current && !(level == llVerbose && current != llQuiet))
        return;
    va_list vl;
    va_start(vl, format);
    const std::string text = VFormat(format, vl);
    va_end(vl);
    Deliver(TLogInfo{sender, CurrentThreadID(), level, QString::fromUtf8(text)});
}

namespace {

// Lines on their way to the main thread, engine and library lines in one queue so their order
// holds. One posted call drains whatever has gathered; a flood beyond the cap is counted and
// reported instead of held, so a worker on damaged input never waits and memory stays bounded.
constexpr size_t MaxQueuedLines = 20000;
std::mutex GQueueLock;
std::vector<TLogInfo> GQueue;
bool GDrainPosted = false;
int GDroppedLines = 0;

void DrainQueue()
{
    std::vector<TLogInfo> lines;
    int dropped = 0;
    {
        std::lock_guard lock(GQueueLock);
        lines.swap(GQueue);
        dropped = GDroppedLines;
        GDroppedLines = 0;
        GDrainPosted = false;
    }
    // The logger may be gone by the time the main thread gets here.
    TFFLogger* logger = GInstance.load();
    if (!logger || !logger->OnLog)
        return;
    for (const TLogInfo& info : lines)
        logger->OnLog(info.Sender, info.ThreadID, info.LogLevel, info.LogMsg);
    if (dropped > 0)
        logger->OnLog(logger, CurrentThreadID(), llWarning,
                      QStringLiteral("%1 log lines dropped: the log could not keep up").arg(dropped));
}

} // namespace

void TFFLogger::Deliver(const TLogInfo& info)
{
    // Each delivery carries its own copy of the values, so two threads never share one record.
    if (FTriggerEventInMainThread.load() && !IsMainThread()) {
        bool post = false;
        {
            std::lock_guard lock(GQueueLock);
            if (GQueue.size() >= MaxQueuedLines) {
                ++GDroppedLines;
                return;
            }
            GQueue.push_back(info);
            post = !GDrainPosted;
            GDrainPosted = true;
        }
        if (post)
            PostToMainThread(&DrainQueue);
        return;
    }
    std::lock_guard lock(FCallLock);
    if (OnLog)
        OnLog(info.Sender, info.ThreadID, info.LogLevel, info.LogMsg);
}

void TFFLogger::DeliverLibraryLine(std::uint32_t threadID, int level, const QString& line)
{
    TFFLogger* logger = GInstance.load();
    if (!logger || !logger->OnLog)
        return;
    logger->Deliver(TLogInfo{logger, threadID, LibraryToLogLevel(level), line});
}

void TFFLogger::LibraryCallback(void* avcl, int level, const char* fmt, va_list vl)
{
    if (level > GLibraryThreshold.load() || !fmt)
        return;
    std::string prefix;
    if (avcl) {
        const AVClass* avc = *static_cast<AVClass**>(avcl);
        if (avc && avc->item_name) {
            char buffer[256];
            std::snprintf(buffer, sizeof buffer, "[%s @ %p]", avc->item_name(avcl), avcl);
            prefix = buffer;
        }
    }
    const std::string text = VFormat(fmt, vl);
    const std::uint32_t threadID = CurrentThreadID();

    // Lock, append, cut whole lines, unlock; then deliver.
    std::vector<std::string> lines;
    {
        std::lock_guard lock(GPendingLock);
        auto& pending = PendingLines();
        std::string& entry = pending[threadID];
        if (entry.empty())
            entry = prefix + text;
        else
            entry += text;
        size_t eol;
        while ((eol = entry.find('\n')) != std::string::npos) {
            lines.push_back(entry.substr(0, eol));
            entry.erase(0, eol + 1);
        }
        if (entry.empty())
            pending.erase(threadID);
        else
            tPendingOwner.ThreadID = threadID;
    }
    for (const std::string& line : lines)
        DeliverLibraryLine(threadID, level, QString::fromUtf8(line));
}
