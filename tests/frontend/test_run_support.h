#pragma once
// A conversion run on the real engine with generated clips: a harness that records what the
// run tells its display, and helpers for inputs copied into a test's own folder.
#include "ConversionRun.h"
#include "FFmpegEngine.h"
#include "FFmpegLoader.h"
#include "MainThread.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <vector>

#include <sys/resource.h>

inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

inline void LoadRunEngine()
{
    FFLoader().SetLibraryFolder({});
    ASSERT_TRUE(FFLoader().LoadLibraries(EngineLibrarySet)) << FFLoader().LastError().toStdString();
}

// 160x120 MPEG-4 video with an MP2 tone, `seconds` long.
inline QString RunClip(int seconds, const QString& size = QStringLiteral("160x120"))
{
    return MediaFixture(QStringLiteral("run_clip_%1s_%2.avi").arg(seconds).arg(size),
                        {"-f", "lavfi", "-i", "testsrc=size=" + size + ":rate=25", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=22050", "-t", QString::number(seconds), "-c:v", "mpeg4",
                         "-c:a", "mp2"});
}

inline QByteArray Checksum(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&f);
    return hash.result();
}

// The fixture copied to dir/name, so a test may own, damage or duplicate it.
inline QString CopyInput(const QString& fixture, const QString& dir, const QString& name)
{
    QDir().mkpath(dir);
    const QString target = QDir(dir).filePath(name);
    QFile::remove(target);
    EXPECT_TRUE(QFile::copy(fixture, target)) << target.toStdString();
    return target;
}

inline std::vector<TInputRow> Rows(const QStringList& files)
{
    std::vector<TInputRow> rows;
    for (const QString& f : files)
        rows.push_back(TInputRow{f});
    return rows;
}

// AVI, MPEG-4 768 kbps at the source size: cheap for small clips.
inline TOutputChoice AviChoice(const QString& dir)
{
    return TOutputChoice{fcVideo, 0, 4, dir + u'/'};
}

// WAV, PCM 11025 Hz mono 16 bits: 22050 bytes per second of input.
inline TOutputChoice WavChoice(const QString& dir)
{
    return TOutputChoice{fcAudio, 0, 0, dir + u'/'};
}

// The file-size limit stands in for a full disk: writes past it fail with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    bool Ok() const { return ok_; }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};

struct RunHarness {
    TFFmpegEngine engine;
    std::unique_ptr<TConversionRun> run = std::make_unique<TConversionRun>(engine);
    QStringList log;
    int ended = 0;
    int rowsBuilt = 0;
    QStringList rowsAdded; // names, as OnRowAdded told them
    std::vector<std::pair<int, TConversionRow>> rowUpdates;
    std::vector<TRunStatus> statuses;
    std::function<void(int)> onRow; // extra reaction to a row change

    RunHarness()
    {
        engine.SetProgressInterval(100);
        Hook();
    }

    void Hook()
    {
        run->OnLog = [this](const QString& line) { log << line; };
        run->OnRowsBuilt = [this] { ++rowsBuilt; };
        run->OnRowAdded = [this](int row) { rowsAdded << run->Rows()[size_t(row)].Name; };
        run->OnRowChanged = [this](int row) {
            rowUpdates.emplace_back(row, run->Rows()[size_t(row)]);
            if (onRow)
                onRow(row);
        };
        run->OnStatus = [this](const TRunStatus& s) { statuses.push_back(s); };
        run->OnRunEnded = [this] { ++ended; };
    }

    int LogCount(const QString& prefix) const
    {
        int n = 0;
        for (const QString& line : log)
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }

    // Waits, serving the main thread, until the run has ended `count` times.
    bool WaitEnd(int count = 1, int timeoutMs = 120000)
    {
        return WaitServicingEvents([&] { return ended >= count; }, timeoutMs);
    }
};

// A test with a temporary folder of its own and the engine loaded.
class RunFolderTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    void SetUp() override
    {
        LoadRunEngine();
        ASSERT_TRUE(tmp.isValid());
    }
    QString Dir(const QString& name) const
    {
        const QString dir = tmp.filePath(name);
        QDir().mkpath(dir);
        return dir;
    }
    static QStringList FilesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files, QDir::Name); }
};
