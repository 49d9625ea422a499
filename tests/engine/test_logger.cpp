// label: sanitize
// The engine logger: levels, line assembly of library output, filtering and main-thread delivery.
#include "EngineFixtures.h"
#include "FFmpegApi.h"
#include "FFmpegLock.h"
#include "FFmpegLogger.h"
#include "MainThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <thread>

namespace {

struct TLine {
    QObject* Sender;
    std::uint32_t ThreadID;
    TLogLevel Level;
    QString Message;
    bool OnMainThread;
};

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEngineLibraries();
        FLogger = FFLogger();
        FLogger->SetLogLevel(llDebug);
        FLogger->SetTriggerEventInMainThread(false);
        FLogger->OnLog = [this](QObject* sender, std::uint32_t id, TLogLevel level, const QString& msg) {
            std::lock_guard lock(FLock);
            FLines.push_back({sender, id, level, msg, QThread::currentThread() == qApp->thread()});
        };
    }
    void TearDown() override
    {
        FLogger->OnLog = nullptr;
        FLogger->SetTriggerEventInMainThread(true);
        FLogger->SetLogLevel(llInfo);
    }
    std::vector<TLine> Lines()
    {
        std::lock_guard lock(FLock);
        return FLines;
    }
    // A library object whose class names itself in the line prefix.
    AVCodecContext* LibraryObject()
    {
        if (!FContext)
            FContext = FF.avcodec_alloc_context3(nullptr);
        return FContext;
    }
    ~LoggerTest() override
    {
        if (FContext)
            FF.avcodec_free_context(&FContext);
    }

    TFFLogger* FLogger = nullptr;
    std::mutex FLock;
    std::vector<TLine> FLines;
    AVCodecContext* FContext = nullptr;
};

} // namespace

TEST(LogLevels, ConvertBothWaysAndByName)
{
    const int numbers[] = {-8, 0, 8, 16, 24, 32, 40, 48};
    for (int i = llQuiet; i <= llDebug; ++i) {
        EXPECT_EQ(LogLevelToLibrary(TLogLevel(i)), numbers[i]);
        EXPECT_EQ(LibraryToLogLevel(numbers[i]), TLogLevel(i));
    }
    EXPECT_EQ(LibraryToLogLevel(20), llError);
    EXPECT_EQ(LibraryToLogLevel(-7), llPanic);
    EXPECT_EQ(LibraryToLogLevel(7), llPanic);
    EXPECT_EQ(LibraryToLogLevel(-9), llQuiet);
    EXPECT_EQ(LibraryToLogLevel(-1000), llQuiet);
    EXPECT_EQ(LibraryToLogLevel(47), llVerbose);
    EXPECT_EQ(LibraryToLogLevel(100), llDebug);

    int number = 0;
    EXPECT_TRUE(LibraryLevelFromName("WARNING", number));
    EXPECT_EQ(number, 24);
    EXPECT_TRUE(LibraryLevelFromName("quiet", number));
    EXPECT_EQ(number, -8);
    EXPECT_TRUE(LibraryLevelFromName("20", number));
    EXPECT_EQ(number, 20);
    number = 5;
    EXPECT_FALSE(LibraryLevelFromName("loud", number));
    EXPECT_FALSE(LibraryLevelFromName("", number));
    EXPECT_EQ(number, 5);
    EXPECT_EQ(LogLevelName(llVerbose), "verbose");
}

TEST(LogLevels, ErrorTextsAndLogWindowLine)
{
    LoadEngineLibraries();
    EXPECT_EQ(FFErrorText(AVERROR_EOF), "End of file");
    EXPECT_EQ(FFErrorText(AVERROR(ENOENT)), "No such file or directory");
    EXPECT_EQ(FFErrorText(AVERROR_INVALIDDATA), "Invalid data found when processing input");
    EXPECT_EQ(FFErrorText(AVERROR(ENOMEM)), "Not enough memory");
    EXPECT_EQ(FFErrorText(AVERROR_PATCHWELCOME), "Not yet implemented in FFmpeg");
    EXPECT_EQ(FFErrorText(AVERROR_PROTOCOL_NOT_FOUND), "Unsupported network protocol");
    EXPECT_EQ(FFErrorText(AVERROR(EACCES)), "Permission denied"); // the library's own text
    EXPECT_EQ(FFErrorText(-123456789), "Error number -123456789 occurred");
    EXPECT_EQ(FFErrorMessage("a.mp4", AVERROR(EIO)), "a.mp4: I/O error");
    EXPECT_EQ(FormatLogLine(4242, llWarning, "careful"), "#4242.4: careful");
}

TEST_F(LoggerTest, LibraryLevelFollowsTheLogger)
{
    FLogger->SetLogLevel(llError);
    EXPECT_EQ(FF.av_log_get_level(), 16);
    EXPECT_EQ(TFFLogger::LibraryThreshold(), 16);
    EXPECT_TRUE(FLogger->SetLogLevelByName("Verbose"));
    EXPECT_EQ(FLogger->LogLevel(), llVerbose);
    EXPECT_EQ(FF.av_log_get_level(), 40);
    EXPECT_FALSE(FLogger->SetLogLevelByName("chatty"));
    EXPECT_EQ(FLogger->LogLevel(), llVerbose);
    EXPECT_THROW(TFFLogger second, std::logic_error);
}

TEST_F(LoggerTest, LibraryOutputIsCutIntoLinesWithThePrefixOnlyAtTheStart)
{
    AVCodecContext* object = LibraryObject();
    FF.av_log(object, AV_LOG_INFO, "abc");
    EXPECT_TRUE(Lines().empty());
    FF.av_log(object, AV_LOG_WARNING, "%s\n", "def");
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    const QString prefix = QString::asprintf("[%s @ %p]", "NULL", static_cast<void*>(object));
    EXPECT_EQ(lines[0].Message, prefix + "abcdef");
    EXPECT_EQ(lines[0].Level, llWarning);
    EXPECT_EQ(lines[0].Sender, FLogger);
    EXPECT_EQ(lines[0].ThreadID, CurrentThreadID());

    FF.av_log(nullptr, AV_LOG_INFO, "one\ntwo\nthr");
    FF.av_log(nullptr, AV_LOG_INFO, "\n");
    FF.av_log(nullptr, AV_LOG_INFO, "\n");
    lines = Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1].Message, "one");
    EXPECT_EQ(lines[2].Message, "two");
    EXPECT_EQ(lines[3].Message, "thr");
    EXPECT_EQ(lines[4].Message, "");

    // Longer than any fixed buffer.
    const QByteArray big(5000, 'x');
    FF.av_log(nullptr, AV_LOG_INFO, "%s\n", big.constData());
    ASSERT_EQ(Lines().size(), 6u);
    EXPECT_EQ(Lines()[5].Message.size(), 5000);
}

TEST_F(LoggerTest, LevelsFilterLibraryAndEngineMessages)
{
    FLogger->SetLogLevel(llError);
    QObject sender;
    FF.av_log(nullptr, AV_LOG_WARNING, "library warning\n");
    FF.av_log(nullptr, AV_LOG_ERROR, "library error\n");
    FLogger->Log(&sender, llWarning, "engine warning");
    FLogger->Log(&sender, llVerbose, "engine progress");
    FLogger->LogFmt(&sender, llError, "engine error %d", 7);
    FLogger->SetLogLevel(llQuiet);
    FLogger->Log(&sender, llVerbose, "dropped when quiet");
    FLogger->Log(&sender, llQuiet, "task failed");

    const auto lines = Lines();
    QStringList texts;
    for (const TLine& l : lines)
        texts << l.Message;
    EXPECT_EQ(texts, QStringList({"library error", "engine progress", "engine error 7", "task failed"}));
    EXPECT_EQ(lines[1].Sender, &sender);
    EXPECT_EQ(lines[1].Level, llVerbose);
    EXPECT_EQ(lines[3].Level, llQuiet);
}

TEST_F(LoggerTest, WithoutHandlerNothingIsDelivered)
{
    FLogger->OnLog = nullptr;
    FF.av_log(nullptr, AV_LOG_INFO, "pending");
    FLogger->Log(nullptr, llQuiet, "nobody listens");
    SetUp();
    FF.av_log(nullptr, AV_LOG_INFO, " more\n");
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Message, "pending more"); // the line was still assembled
}

TEST_F(LoggerTest, PartialLinesOfTwoThreadsNeverMixAndReachTheMainThread)
{
    FLogger->SetTriggerEventInMainThread(true);
    constexpr int count = 150;
    std::atomic<int> finished{0};
    std::map<int, std::uint32_t> ids;
    std::mutex idLock;
    auto worker = [&](int n) {
        {
            std::lock_guard lock(idLock);
            ids[n] = CurrentThreadID();
        }
        for (int i = 0; i < count; ++i) {
            FF.av_log(nullptr, AV_LOG_INFO, "T%d-", n);
            std::this_thread::yield();
            FF.av_log(nullptr, AV_LOG_INFO, "%d", i);
            std::this_thread::yield();
            FF.av_log(nullptr, AV_LOG_INFO, "\n");
        }
        ++finished;
    };
    std::thread a(worker, 0), b(worker, 1);
    // The main thread keeps serving the hand-overs while it waits.
    ASSERT_TRUE(WaitServicingEvents([&] { return finished == 2; }, 60000));
    a.join();
    b.join();
    WaitServicingEvents([&] { return Lines().size() >= size_t(2 * count); }, 10000);

    const auto lines = Lines();
    ASSERT_EQ(lines.size(), size_t(2 * count));
    static const QRegularExpression form(QStringLiteral("^T([01])-(\\d+)$"));
    int next[2] = {0, 0};
    for (const TLine& l : lines) {
        const auto m = form.match(l.Message);
        ASSERT_TRUE(m.hasMatch()) << l.Message.toStdString();
        const int n = m.captured(1).toInt();
        EXPECT_EQ(m.captured(2).toInt(), next[n]++);
        EXPECT_EQ(l.ThreadID, ids[n]);
        EXPECT_TRUE(l.OnMainThread);
    }
}

TEST_F(LoggerTest, EngineMessagesFromAWorkerAreQueuedInOrderAndNeverWaitedFor)
{
    // A worker on damaged input logs once per bad packet, maybe while holding an engine lock
    // that the main thread waits for: it must never wait for the main thread.
    FLogger->SetTriggerEventInMainThread(true);
    constexpr int count = 30000; // more than the queue holds
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < count; ++i) {
            FLogger->Log(nullptr, llInfo, QString::number(i));
            if (i % 1000 == 0) FF.av_log(nullptr, AV_LOG_INFO, "library %d\n", i);
        }
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 30000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // no events served meanwhile
    ASSERT_TRUE(done.load()) << "the worker waited for the main thread";
    worker.join();
    EXPECT_TRUE(Lines().empty());
    ASSERT_TRUE(WaitServicingEvents([&] { return !Lines().empty() && Lines().back().Message.contains("dropped"); },
                                    10000));
    const auto lines = Lines();
    // The oldest lines are kept, engine and library lines in the order they were logged.
    ASSERT_GT(lines.size(), 10000u);
    EXPECT_EQ(lines[0].Message, "0");
    EXPECT_EQ(lines[1].Message, "library 0");
    EXPECT_EQ(lines[2].Message, "1");
    for (const TLine& l : lines) EXPECT_TRUE(l.OnMainThread);
    const int kept = int(lines.size()) - 1;
    EXPECT_EQ(lines.back().Message,
              QStringLiteral("%1 log lines dropped: the log could not keep up").arg(count + count / 1000 - kept));

    // Without the flag the handler runs on the worker itself.
    FLogger->SetTriggerEventInMainThread(false);
    const size_t before = Lines().size();
    std::thread direct([&] { FLogger->Log(nullptr, llInfo, "direct"); });
    direct.join();
    ASSERT_EQ(Lines().size(), before + 1);
    EXPECT_FALSE(Lines().back().OnMainThread);
}

TEST_F(LoggerTest, LibraryLineLoggedUnderTheLibraryLockDoesNotWaitForTheMainThread)
{
    // A worker opening a codec holds the library lock while the library logs; the main thread
    // may be waiting for that lock at the same moment (a probe opening its decoder).
    FLogger->SetTriggerEventInMainThread(true);
    std::atomic<bool> locked{false}, release{false};
    std::thread worker([&] {
        std::lock_guard lock(FFmpegLibraryLock());
        locked = true;
        while (!release)
            std::this_thread::yield();
        FF.av_log(nullptr, AV_LOG_INFO, "opening codec\n");
    });
    while (!locked)
        std::this_thread::yield();
    release = true;
    bool acquired = false;
    QElapsedTimer timer;
    timer.start();
    while (!(acquired = FFmpegLibraryLock().try_lock()) && timer.elapsed() < 10000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // no events served meanwhile
    ASSERT_TRUE(acquired) << "worker blocked in the log hand-over while holding the library lock";
    FFmpegLibraryLock().unlock();
    worker.join();
    ASSERT_TRUE(WaitServicingEvents([&] { return !Lines().empty(); }, 10000));
    EXPECT_EQ(Lines()[0].Message, "opening codec");
    EXPECT_TRUE(Lines()[0].OnMainThread);
}

namespace {

// The window clears OnLog when it closes while workers may still be logging: once the clearing
// returns, the old handler (and whatever it captured) is never called again.
TEST_F(LoggerTest, AClearedHandlerIsNeverCalledAfterTheClearingReturns)
{
    constexpr int Rounds = 200;
    std::array<std::atomic<bool>, Rounds> retired{};
    std::atomic<int> late{0}, calls{0};
    std::atomic<bool> stop{false};
    AVCodecContext* object = LibraryObject();
    std::vector<std::thread> workers;
    for (int w = 0; w < 3; ++w)
        workers.emplace_back([&, w] {
            while (!stop.load()) {
                if (w == 0)
                    FF.av_log(object, AV_LOG_ERROR, "library line\n");
                else
                    FLogger->Log(nullptr, llError, QStringLiteral("engine line"));
            }
        });
    for (int i = 0; i < Rounds; ++i) {
        auto* owner = new std::atomic<int>(0); // what a window's handler would capture
        FLogger->OnLog = [&, i, owner](QObject*, std::uint32_t, TLogLevel, const QString&) {
            if (retired[size_t(i)].load())
                ++late;
            ++*owner;
            ++calls;
        };
        while (owner->load() == 0 && calls.load() < Rounds * 1000)
            std::this_thread::yield();
        FLogger->OnLog = nullptr;
        retired[size_t(i)] = true;
        delete owner;
    }
    stop = true;
    for (std::thread& t : workers)
        t.join();
    EXPECT_EQ(late.load(), 0);
    EXPECT_GE(calls.load(), Rounds);
}

} // namespace
