#pragma once
// Helpers of the transcoder's test programs: generated clips, a job that applies options by
// name and runs, and ffprobe/ffmpeg as the oracle.
#include "EngineFixtures.h"
#include "FFmpegPipeline.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

using TOptionList = std::vector<std::pair<QString, QString>>;

// The libraries loaded and a folder for the outputs of one test.
class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEngineLibraries();
        ASSERT_TRUE(Dir.isValid());
    }
    QString Out(const QString& name) const { return Dir.filePath(name); }
    QTemporaryDir Dir;
};

// A small clip: testsrc video at 25 fps and a sine tone.
inline QString Clip(const QString& name, double seconds, const QStringList& codecArgs,
                    const QString& size = "320x240", bool audio = true, bool video = true)
{
    QStringList args;
    if (video) args << "-f" << "lavfi" << "-i" << QString("testsrc=size=%1:rate=25").arg(size);
    if (audio) args << "-f" << "lavfi" << "-i" << "sine=frequency=440:sample_rate=44100";
    args << "-t" << QString::number(seconds) << codecArgs;
    return MediaFixture(name, args);
}

inline QString H264Clip() { return Clip("pipe_src.mp4", 2, {"-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", "-c:a", "aac"}); }

struct TJob {
    TFFmpegTranscoder T;
    std::vector<TProgressInfo> Reports;
    QString Error;

    TJob()
    {
        T.OnProgressReport = [this](const TProgressInfo& info) { Reports.push_back(info); };
    }

    void Apply(const TOptionList& options)
    {
        for (const auto& [name, value] : options) T.SetOption(name, value);
    }
    bool Input(const QString& file, const TOptionList& options = {})
    {
        try {
            Apply(options);
        } catch (const FFmpegException& e) {
            Error = e.Message();
            return false;
        }
        if (!T.OpenInput(file)) {
            Error = T.ErrorText();
            return false;
        }
        return true;
    }
    bool Output(const QString& file, const TOptionList& options = {}, bool join = false)
    {
        try {
            Apply(options);
        } catch (const FFmpegException& e) {
            Error = e.Message();
            return false;
        }
        if (T.CreateOutput(file, join) < 0) {
            Error = T.ErrorText();
            return false;
        }
        return true;
    }
    // Runs; answers the error text (empty on success).
    QString Run()
    {
        try {
            T.Run();
        } catch (const FFmpegException& e) {
            return e.Message();
        }
        return {};
    }
};

// What `ffmpeg -v error -i file -f null -` prints: empty for a clean decode.
inline QString DecodeErrors(const QString& file)
{
    const CommandResult r = RunCommand("ffmpeg", {"-v", "error", "-i", file, "-f", "null", "-"});
    if (r.exitCode != 0) return "exit " + QString::number(r.exitCode) + ": " + r.err;
    return r.err.trimmed();
}

inline double Duration(const QString& file, const QString& stream = {})
{
    return ProbeValue(file, stream.isEmpty() ? "format=duration" : "stream=duration", stream).toDouble();
}

inline int CountFrames(const QString& file, const QString& stream = "v:0")
{
    const CommandResult r = RunCommand("ffprobe", {"-v", "error", "-select_streams", stream, "-count_packets",
                                                   "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", file});
    // A transport stream lists its streams again under its programs, with an empty column for
    // them: the first field of the first line is the count.
    return r.out.trimmed().section(QLatin1Char('\n'), 0, 0).section(QLatin1Char(','), 0, 0).trimmed().toInt();
}

// Decoded 16-bit samples of a file, as written (interleaved when several channels).
inline std::vector<qint16> Samples(const QString& file, const QString& rawPath)
{
    QFile::remove(rawPath);
    RunCommand("ffmpeg", {"-v", "error", "-i", file, "-f", "s16le", rawPath});
    QFile raw(rawPath);
    std::vector<qint16> samples;
    if (!raw.open(QIODevice::ReadOnly)) return samples;
    const QByteArray bytes = raw.readAll();
    samples.resize(size_t(bytes.size()) / 2);
    std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    return samples;
}
