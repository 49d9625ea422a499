#pragma once
// Every preset of a format converts a short clip for real: the output options are built the way
// the conversion run builds them (probe, BuildOutputOptions, AddTask, SetOutputFile, StartTask
// on one worker thread), and ffprobe reads each output back. Each test program runs a few
// formats, so ctest can run the programs side by side.
#include "../engine/EngineFixtures.h"

#include "AVProbe.h"
#include "FFmpegEngine.h"
#include "FFmpegLogger.h"
#include "MainThread.h"
#include "PresetCatalogue.h"

#include <QElapsedTimer>
#include <QHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>

namespace catalogue_convert {

constexpr int SourceWidth = 640, SourceHeight = 360, SourceRate = 44100, SourceChannels = 2;

// 0.4 s of 16:9 video with a stereo tone: ten frames keep 177 conversions quick.
inline QString SourceClip()
{
    return MediaFixture("catalogue_clip.mp4",
                        {"-f", "lavfi", "-i",
                         QStringLiteral("testsrc=size=%1x%2:rate=25").arg(SourceWidth).arg(SourceHeight),
                         "-f", "lavfi", "-i",
                         QStringLiteral("aevalsrc=sin(440*2*PI*t)|sin(660*2*PI*t):s=%1").arg(SourceRate), "-t",
                         "0.4", "-vf", "setsar=1", "-c:v", "mpeg4", "-q:v", "3", "-c:a", "aac", "-ac", "2"});
}

// The container name ffprobe gives for an output of the format.
inline QString ExpectedContainer(const TOutputFormat& format)
{
    static const QHash<QString, QString> byExtension{
        {".avi", "avi"}, {".mp4", "mov,mp4,m4a,3gp,3g2,mj2"}, {".mov", "mov,mp4,m4a,3gp,3g2,mj2"},
        {".3gp", "mov,mp4,m4a,3gp,3g2,mj2"}, {".m4a", "mov,mp4,m4a,3gp,3g2,mj2"}, {".flv", "flv"},
        {".swf", "swf"}, {".mpg", "mpeg"}, {".rm", "rm"}, {".wmv", "asf"}, {".wma", "asf"},
        {".wav", "wav"}, {".mp3", "mp3"}, {".ogg", "ogg"}, {".aac", "aac"}, {".flac", "flac"},
        // An MPEG audio layer 2 stream is read by the same demuxer as layer 3.
        {".mp2", "mp3"},
    };
    return byExtension.value(QString::fromLatin1(format.Extension));
}

// The brand of the ISO-family muxer that wrote the file (mp4, mov, 3gp, m4a and psp differ only there).
inline QString ExpectedBrand(const TOutputFormat& format, const TPreset& preset)
{
    if (preset.Extras.ForceFormat && qstrcmp(preset.Extras.ForceFormat, "psp") == 0)
        return "MSNV";
    static const QHash<QString, QString> byExtension{
        {".mp4", "isom"}, {".mov", "qt  "}, {".3gp", "3gp4"}, {".m4a", "M4A "}};
    return byExtension.value(QString::fromLatin1(format.Extension));
}

// Codec names ffprobe reports for the encoders the catalogue names; libfaac is not in today's
// libraries and the engine replaces it by the native AAC encoder.
inline QString CodecOfEncoder(const QString& encoder)
{
    static const QHash<QString, QString> names{
        {"libx264", "h264"}, {"libmp3lame", "mp3"}, {"libfaac", "aac"}, {"libvorbis", "vorbis"}};
    return names.value(encoder, encoder);
}

// The codec an output gets when the preset names none: the muxer's own choice (a DVD, SVCD or
// VCD target picks its MPEG generation; AMR of 3GP has no encoder here and becomes AAC).
inline QString DefaultVideoCodec(const TOutputFormat& format, const TPreset& preset)
{
    const QString ext = QString::fromLatin1(format.Extension);
    if (ext == ".flv" || ext == ".swf")
        return "flv1";
    if (ext == ".3gp")
        return "h263";
    if (ext == ".mpg")
        return preset.Extras.Target == 1 ? "mpeg1video" : "mpeg2video";
    return {};
}

inline QString DefaultAudioCodec(const TOutputFormat& format)
{
    static const QHash<QString, QString> byExtension{{".flv", "mp3"}, {".swf", "mp3"}, {".mpg", "mp2"},
                                                      {".rm", "ac3"}, {".3gp", "aac"}, {".m4a", "aac"},
                                                      {".mp2", "mp2"}};
    return byExtension.value(QString::fromLatin1(format.Extension));
}

// The encoder that writes a codec, for asking the command line what it supports.
inline QString EncoderOfCodec(const QString& codec)
{
    static const QHash<QString, QString> names{{"mp3", "libmp3lame"}, {"vorbis", "libvorbis"}};
    return names.value(codec, codec);
}

// The sample rates an encoder supports, as `ffmpeg -h encoder=` lists them; empty = any.
inline QList<int> SupportedRates(const QString& encoder)
{
    static std::mutex lock;
    static std::map<QString, QList<int>> cache;
    std::lock_guard guard(lock);
    if (auto it = cache.find(encoder); it != cache.end())
        return it->second;
    QList<int> rates;
    const CommandResult r = RunCommand("ffmpeg", {"-hide_banner", "-h", "encoder=" + encoder});
    for (const QString& line : r.out.split('\n')) {
        const QString t = line.trimmed();
        if (!t.startsWith("Supported sample rates:"))
            continue;
        for (const QString& v : t.mid(t.indexOf(':') + 1).split(' ', Qt::SkipEmptyParts))
            rates << v.toInt();
    }
    cache[encoder] = rates;
    return rates;
}

inline int NearestRate(int wanted, const QList<int>& supported)
{
    if (supported.isEmpty())
        return wanted;
    int best = supported.first();
    for (int rate : supported)
        if (std::abs(rate - wanted) < std::abs(best - wanted))
            best = rate;
    return best;
}

// One preset's task.
struct TPresetRun {
    int Preset = -1;
    int Task = -1;          // -1 when the task could not be built
    QString Output;
    QString BuildError;
    bool Terminated = false;
    bool Finished = false;
    QString ExceptionMsg;
};

class CatalogueConvert : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        LoadEngineLibraries();
        ASSERT_TRUE(Dir.isValid());
        Source = SourceClip();
        FFLogger()->OnLog = [this](QObject*, std::uint32_t, TLogLevel level, const QString& message) {
            if (level <= llWarning) {
                std::lock_guard guard(LogLock);
                Warnings << message;
            }
        };
    }
    void TearDown() override { FFLogger()->OnLog = nullptr; }

    QStringList WarningsSeen()
    {
        std::lock_guard guard(LogLock);
        return Warnings;
    }

    // Builds one task per preset of the format, as the run does for each input, and runs them
    // one after another on one worker thread.
    std::vector<TPresetRun> ConvertAllPresets(const TOutputFormat& format)
    {
        std::vector<TPresetRun> runs;
        // The reports outlive the engine, whose event threads write into them.
        std::mutex termLock;
        std::map<int, TTerminateInfo> reports;
        std::atomic<bool> final{false};
        TFFmpegEngine engine;
        engine.OnTerminate = [&](QObject*, TTerminateInfo info) {
            std::lock_guard guard(termLock);
            if (info.TaskIndex < 0)
                final = true;
            else
                reports[info.TaskIndex] = info;
        };

        QStringList taken;
        TAVProbe& probe = *engine.AVProbe();
        for (int p = 0; p < int(format.Presets.size()); ++p) {
            TPresetRun run;
            run.Preset = p;
            if (!probe.LoadFile(Source)) {
                run.BuildError = "File load error: " + probe.LastErrorMessage();
                runs.push_back(run);
                continue;
            }
            TVideoStreamInfo video;
            TAudioStreamInfo audio;
            probe.GetVideoStreamInfo(video);
            probe.GetAudioStreamInfo(-1, audio);
            const TSourceFacts facts = SourceFactsFromProbe(probe.GetFileName(), &video, &audio);
            const TOutputChoice choice{format.FormatClass, format.Index, p, WithSeparator(Dir.path())};
            TOutputOptions out;
            QString error;
            if (!BuildOutputOptions(choice, facts, taken, out, &error)) {
                run.BuildError = error;
            } else {
                TInputOptions in;
                in.FileName = probe.GetFileName();
                in.ForceFormat = probe.ForcedFormat();
                const int task = engine.AddTask(in.FileName, &in);
                if (task < 0) {
                    run.BuildError = "Adding file error: " + engine.LastError();
                } else if (!engine.SetOutputFile(task, out.FileName, &out)) {
                    run.BuildError = "Cannot do convert, error: " + engine.LastError();
                    engine.RemoveTask(task);
                } else {
                    run.Task = task;
                    run.Output = out.FileName;
                }
            }
            probe.CloseFile();
            runs.push_back(run);
        }

        if (engine.TaskCount() > 0) {
            QElapsedTimer timer;
            timer.start();
            engine.StartTask(1);
            EXPECT_TRUE(WaitServicingEvents([&] { return final.load(); }, 300000))
                << format.Name << ": the run did not end";
            std::printf("[ timing   ] %s: %d presets in %lld ms\n", format.Name, int(format.Presets.size()),
                        static_cast<long long>(timer.elapsed()));
        }
        std::lock_guard guard(termLock);
        for (TPresetRun& run : runs) {
            if (auto it = reports.find(run.Task); run.Task >= 0 && it != reports.end()) {
                run.Terminated = true;
                run.Finished = it->second.Finished;
                run.ExceptionMsg = it->second.ExceptionMsg;
            }
        }
        return runs;
    }

    // "30000/1001" or "15" as a number; 0 when unreadable.
    static double Rate(const QString& text)
    {
        const QStringList parts = text.split('/');
        const double num = parts.value(0).toDouble(), den = parts.size() > 1 ? parts[1].toDouble() : 1.0;
        return den > 0 ? num / den : 0.0;
    }

    static QString WithSeparator(const QString& dir) { return dir.endsWith('/') ? dir : dir + '/'; }

    // What ffprobe must find in the output of one preset.
    void CheckOutput(const TOutputFormat& format, const TPresetRun& run)
    {
        const TPreset& preset = format.Presets[size_t(run.Preset)];
        SCOPED_TRACE(QStringLiteral("%1 preset %2 \"%3\" -> %4")
                         .arg(format.Name).arg(run.Preset).arg(preset.Text, run.Output).toStdString());
        ASSERT_TRUE(run.BuildError.isEmpty()) << run.BuildError.toStdString();
        ASSERT_TRUE(run.Terminated);
        ASSERT_TRUE(run.Finished) << run.ExceptionMsg.toStdString();

        const TProbeView view = ProbeView(run.Output);
        // The whole clip arrived, not just the headers. SWF files state no duration: their
        // video packets are counted instead (0.4 s is at least 4 frames at the lowest rate).
        if (Field(view.Format, "duration") != "N/A") {
            EXPECT_GE(view.Format.value("duration").toString().toDouble(), 0.3) << "duration";
        } else {
            const CommandResult r = RunCommand("ffprobe", {"-v", "error", "-count_packets", "-select_streams", "v:0",
                                                           "-show_entries", "stream=nb_read_packets", "-of",
                                                           "csv=p=0", run.Output});
            EXPECT_GE(r.out.trimmed().toInt(), 4) << "video packets";
        }
        EXPECT_EQ(Field(view.Format, "format_name"), ExpectedContainer(format));
        const QString brand = ExpectedBrand(format, preset);
        if (!brand.isEmpty()) {
            EXPECT_EQ(view.Format.value("tags").toObject().value("major_brand").toString(), brand);
        }

        if (format.FormatClass == fcAudio) {
            EXPECT_TRUE(view.Video.isEmpty()) << "an audio preset wrote a video stream";
        } else {
            ASSERT_FALSE(view.Video.isEmpty()) << "no video stream";
            const QString codec = preset.VideoCodec ? CodecOfEncoder(QString::fromLatin1(preset.VideoCodec))
                                                    : DefaultVideoCodec(format, preset);
            EXPECT_EQ(Field(view.Video, "codec_name"), codec);
            const int w = preset.HasFit() ? preset.FitWidth : SourceWidth;
            const int h = preset.HasFit() ? preset.FitHeight : SourceHeight;
            EXPECT_EQ(Field(view.Video, "width") + "x" + Field(view.Video, "height"),
                      QStringLiteral("%1x%2").arg(w).arg(h));
            // ASF keeps millisecond times, so 29.97 reads back as 29.92: a percent of slack.
            const double fps = Rate(preset.FrameRate ? QString::fromLatin1(preset.FrameRate) : QString("25"));
            EXPECT_NEAR(Rate(Field(view.Video, "r_frame_rate")), fps, fps / 100) << "frame rate";
        }

        // One line per output, so a run shows what every preset wrote.
        std::printf("[ output   ] %s %d: %s %s s %s fps %s %sx%s | %s %s Hz %s ch\n", format.Name, run.Preset,
                    qPrintable(Field(view.Format, "format_name")), qPrintable(Field(view.Format, "duration")),
                    qPrintable(Field(view.Video, "r_frame_rate")), qPrintable(Field(view.Video, "codec_name")),
                    qPrintable(Field(view.Video, "width")), qPrintable(Field(view.Video, "height")),
                    qPrintable(Field(view.Audio, "codec_name")), qPrintable(Field(view.Audio, "sample_rate")),
                    qPrintable(Field(view.Audio, "channels")));
        ASSERT_FALSE(view.Audio.isEmpty()) << "no audio stream";
        const QString audioCodec = preset.AudioCodec ? CodecOfEncoder(QString::fromLatin1(preset.AudioCodec))
                                                     : DefaultAudioCodec(format);
        if (!audioCodec.isEmpty()) {
            EXPECT_EQ(Field(view.Audio, "codec_name"), audioCodec);
        }
        const int wantedRate = preset.AudioSampleRate > 0 ? preset.AudioSampleRate : SourceRate;
        const int rate = NearestRate(wantedRate, SupportedRates(EncoderOfCodec(Field(view.Audio, "codec_name"))));
        EXPECT_EQ(Field(view.Audio, "sample_rate"), QString::number(rate));
        const int channels = preset.AudioChannels > 0 ? preset.AudioChannels : SourceChannels;
        EXPECT_EQ(Field(view.Audio, "channels"), QString::number(channels));
    }

    void ConvertAndCheck(const char* formatName)
    {
        const TOutputFormat* format = FindOutputFormatByName(QString::fromLatin1(formatName));
        ASSERT_NE(format, nullptr) << formatName;
        const std::vector<TPresetRun> runs = ConvertAllPresets(*format);
        ASSERT_EQ(runs.size(), format->Presets.size());
        for (const TPresetRun& run : runs)
            CheckOutput(*format, run);

        // A replaced encoder is said in the log.
        bool usesLibfaac = false;
        for (const TPreset& preset : format->Presets)
            usesLibfaac = usesLibfaac || (preset.AudioCodec && qstrcmp(preset.AudioCodec, "libfaac") == 0);
        if (usesLibfaac) {
            const QStringList warnings = WarningsSeen();
            EXPECT_FALSE(warnings.filter("'libfaac' is not available").isEmpty()) << warnings.join('\n').toStdString();
        }
    }

    QTemporaryDir Dir;
    QString Source;
    std::mutex LogLock;
    QStringList Warnings;
};

} // namespace catalogue_convert
