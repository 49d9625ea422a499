#pragma once
// Helpers of the task component's tests: tiny generated clips, an engine with recorded
// events, and waiting that keeps the main thread serving hand-overs.
#include "EngineFixtures.h"
#include "FFmpegEngine.h"
#include "FFmpegTask.h"
#include "MainThread.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// One second of 160x120 video and a tone: enough for every run, cheap under the sanitizer.
inline QString TinyClip()
{
    return MediaFixture("engine_tiny.avi", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", "-f", "lavfi",
                                            "-i", "sine=frequency=440:sample_rate=22050", "-t", "1", "-c:v",
                                            "mpeg4", "-c:a", "mp2"});
}

// Three seconds, for runs that must still be going when the test acts.
inline QString LongClip()
{
    return MediaFixture("engine_long.avi", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", "-f", "lavfi",
                                            "-i", "sine=frequency=440:sample_rate=22050", "-t", "3", "-c:v",
                                            "mpeg4", "-c:a", "mp2"});
}

// Input options that read the file no faster than it plays, so a run lasts its duration.
inline TInputOptions RealTime()
{
    TInputOptions o;
    o.ExtOptions = "re=1";
    return o;
}

struct TRecordedEvents {
    std::mutex Lock;
    std::vector<TTerminateInfo> Terminations;
    std::vector<std::thread::id> TerminateThreads;
    std::atomic<int> FinalCount{0};

    void Attach(TFFmpegEngine& engine)
    {
        engine.OnTerminate = [this](QObject*, TTerminateInfo info) {
            std::lock_guard lock(Lock);
            Terminations.push_back(info);
            TerminateThreads.push_back(std::this_thread::get_id());
            if (info.TaskIndex < 0) ++FinalCount;
        };
    }
    std::vector<TTerminateInfo> Snapshot()
    {
        std::lock_guard lock(Lock);
        return Terminations;
    }
    bool WaitFinal(int timeoutMs = 120000)
    {
        return WaitServicingEvents([this] { return FinalCount.load() > 0; }, timeoutMs);
    }
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEngineLibraries();
        ASSERT_TRUE(Dir.isValid());
    }
    QString Out(const QString& name) const { return Dir.filePath(name); }

    // A task converting src into an MPEG-4 AVI out; answers its index.
    int AddConversion(TFFmpegEngine& engine, const QString& src, const QString& out,
                      const TInputOptions* in = nullptr)
    {
        const int index = engine.AddTask(src, in);
        EXPECT_GE(index, 0) << engine.LastError().toStdString();
        TOutputOptions o;
        o.VideoCodec = "mpeg4";
        o.AudioCodec = "mp2";
        EXPECT_TRUE(engine.SetOutputFile(index, out, &o)) << engine.LastError().toStdString();
        return index;
    }

    QTemporaryDir Dir;
};

// Frames of the first video stream as ffprobe counts them; -1 when the file is unreadable.
inline int VideoFrames(const QString& file)
{
    const CommandResult r = RunCommand("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0",
                                                   "-show_entries", "stream=nb_read_frames", "-of",
                                                   "default=noprint_wrappers=1:nokey=1", file});
    bool ok = false;
    const int frames = r.out.trimmed().toInt(&ok);
    return ok ? frames : -1;
}
