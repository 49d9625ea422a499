#pragma once
// Media and library fixtures shared by the engine's test programs.
#include "FFmpegLoader.h"
#include "TestSupport.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <cmath>
#include <vector>

// Unreachable memory so far; 0 outside the leak-checking build.
inline int LeakedSoFar()
{
#if defined(__SANITIZE_ADDRESS__)
    return __lsan_do_recoverable_leak_check();
#else
    return 0;
#endif
}

// Loads the engine's libraries through the system search; fails the test when that fails.
inline void LoadEngineLibraries()
{
    FFLoader().SetLibraryFolder({});
    ASSERT_TRUE(FFLoader().LoadLibraries(EngineLibrarySet)) << FFLoader().LastError().toStdString();
}

inline QStringList TestSource(const QString& size = "320x240", double seconds = 4, bool audio = true)
{
    QStringList args{"-f", "lavfi", "-i", QStringLiteral("testsrc=size=%1:rate=25").arg(size)};
    if (audio)
        args << "-f" << "lavfi" << "-i" << "sine=frequency=440:sample_rate=44100";
    args << "-t" << QString::number(seconds);
    return args;
}

// An MPEG-2 transport stream whose pictures change size half-way: `seconds` of `first`, then as
// long of `second`, concatenated as a broadcast that switches resolution would be.
inline QString SizeChangingStream(const QString& name, const QString& first, const QString& second, int seconds)
{
    auto part = [&](const QString& size, int offset) {
        QStringList args{"-f", "lavfi", "-i", QStringLiteral("testsrc=size=%1:rate=25").arg(size), "-t",
                         QString::number(seconds), "-c:v", "mpeg2video"};
        if (offset > 0) args << "-output_ts_offset" << QString::number(offset);
        return MediaFixture(QStringLiteral("%1_%2.ts").arg(name, size), args);
    };
    const QString a = part(first, 0), b = part(second, seconds);
    return MediaFixture(name + QStringLiteral(".ts"), {"-i", "concat:" + a + "|" + b, "-c", "copy"});
}

struct TMediaCase {
    const char* Name;     // file name in the fixture folder
    QStringList Args;     // ffmpeg arguments before the output
    bool HasVideo;
    bool HasAudio;
};

// One file per container the input list meets most, each with codecs this machine's ffmpeg has.
inline std::vector<TMediaCase> MediaCases()
{
    const QStringList av = TestSource();
    return {
        {"probe_mp4_h264_aac.mp4", av + QStringList{"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"}, true, true},
        {"probe_avi_mpeg4_mp3.avi", av + QStringList{"-c:v", "mpeg4", "-c:a", "libmp3lame"}, true, true},
        {"probe_mkv_h264_opus.mkv", av + QStringList{"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "libopus"}, true, true},
        {"probe_ps_mpeg2_mp2.mpg", av + QStringList{"-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob"}, true, true},
        {"probe_flv_flv1_mp3.flv", av + QStringList{"-c:v", "flv", "-c:a", "libmp3lame"}, true, true},
        {"probe_ogg_theora_vorbis.ogv", av + QStringList{"-c:v", "libtheora", "-q:v", "7", "-c:a", "libvorbis"}, true, true},
        {"probe_webm_vp8_opus.webm", av + QStringList{"-c:v", "libvpx", "-b:v", "1M", "-c:a", "libopus"}, true, true},
        {"probe_wav_pcm.wav", QStringList{"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t", "3",
                                    "-c:a", "pcm_s16le"}, false, true},
        {"probe_mp3_only.mp3", QStringList{"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t", "3",
                                     "-c:a", "libmp3lame"}, false, true},
        // Raw elementary stream: the container knows no duration.
        {"probe_raw_h264.h264", TestSource("320x240", 2, false) + QStringList{"-c:v", "libx264", "-pix_fmt", "yuv420p", "-f", "h264"}, true, false},
        // No sample aspect ratio declared anywhere.
        {"probe_nosar_h264.mkv", TestSource("320x240", 2, false) + QStringList{"-vf", "setsar=0", "-c:v", "libx264", "-pix_fmt", "yuv420p"}, true, false},
        // Odd width, already 24-bit BGR: the bitmap must still be right.
        {"probe_odd_bgr24.avi", TestSource("161x121", 2, false) + QStringList{"-c:v", "rawvideo", "-pix_fmt", "bgr24"}, true, false},
    };
}

inline QString Fixture(const TMediaCase& c) { return MediaFixture(c.Name, c.Args); }

// ffmpeg's own picture at a time, as packed BGR rows without padding.
inline QByteArray ReferenceFrame(const QString& file, double seconds, const QString& outDir)
{
    const QString out = outDir + "/ref.bgr";
    QFile::remove(out);
    QStringList args{"-v", "error", "-y"};
    if (seconds > 0) // raw streams cannot seek even to 0
        args << "-ss" << QString::number(seconds, 'f', 6);
    args << "-i" << file << "-frames:v" << "1" << "-f" << "rawvideo" << "-pix_fmt" << "bgr24" << out;
    const CommandResult r = RunCommand("ffmpeg", args);
    if (r.exitCode != 0)
        return {};
    QFile f(out);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Peak signal-to-noise ratio of two packed pictures of equal size, in dB (99 when identical).
inline double Psnr(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size() || a.isEmpty())
        return 0;
    double sum = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const double d = double(uchar(a[i])) - double(uchar(b[i]));
        sum += d * d;
    }
    if (sum == 0)
        return 99;
    const double mse = sum / double(a.size());
    return 10 * std::log10(255.0 * 255.0 / mse);
}

// ffprobe's view of a file in one call: "format" and the first stream of each type.
struct TProbeView {
    QJsonObject Format, Video, Audio;
    int StreamCount = 0;
};

inline TProbeView ProbeView(const QString& file)
{
    TProbeView view;
    const CommandResult r = RunCommand("ffprobe", {"-v", "error", "-show_format", "-show_streams", "-of", "json", file});
    const QJsonObject root = QJsonDocument::fromJson(r.out.toUtf8()).object();
    view.Format = root.value("format").toObject();
    const QJsonArray streams = root.value("streams").toArray();
    view.StreamCount = int(streams.size());
    for (const QJsonValue& s : streams) {
        const QJsonObject o = s.toObject();
        if (o.value("codec_type") == "video" && view.Video.isEmpty())
            view.Video = o;
        if (o.value("codec_type") == "audio" && view.Audio.isEmpty())
            view.Audio = o;
    }
    return view;
}

// A field as text, "N/A" when ffprobe left it out.
inline QString Field(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return QStringLiteral("N/A");
    return v.isDouble() ? QString::number(v.toDouble(), 'g', 17) : v.toString();
}
