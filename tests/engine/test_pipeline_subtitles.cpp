// label: asan
// Subtitles through the transcoder: DVB bitmaps encoded into two outputs at once and copied into
// a third, text subtitles re-encoded, pictures left out where only text fits, and pictures
// burnt into the video.
#include "test_pipeline_support.h"

#include "FFmpegLogger.h"

#include <QFile>

#include <cmath>
#include <cstring>
#include <mutex>

namespace {

using PipelineSubtitles = PipelineTest;

// A transport stream of three DVB subtitle pictures. Written through the libraries: the command
// line turns text into text subtitles only, never into bitmaps.
bool MakeDvbFile(const QString& path, int count)
{
    const AVCodec* codec = FF.avcodec_find_encoder_by_name("dvbsub");
    if (!codec) return false;
    AVCodecContext* enc = FF.avcodec_alloc_context3(codec);
    enc->width = 720;
    enc->height = 576;
    enc->time_base = AVRational{1, 90000};
    AVFormatContext* oc = nullptr;
    const QByteArray name = path.toUtf8();
    bool ok = FF.avcodec_open2(enc, codec, nullptr) >= 0 &&
              FF.avformat_alloc_output_context2(&oc, nullptr, "mpegts", name.constData()) >= 0;
    AVStream* st = ok ? FF.avformat_new_stream(oc, nullptr) : nullptr;
    ok = st && FF.avcodec_parameters_from_context(st->codecpar, enc) >= 0 &&
         FF.avio_open(&oc->pb, name.constData(), AVIO_FLAG_WRITE) >= 0;
    if (ok) {
        st->time_base = AVRational{1, 90000};
        ok = FF.avformat_write_header(oc, nullptr) >= 0;
    }
    std::vector<std::uint8_t> buffer(1 << 16);
    AVPacket* pkt = FF.av_packet_alloc();
    for (int i = 0; ok && i < count; ++i) {
        AVSubtitle sub{};
        sub.num_rects = 1;
        sub.rects = static_cast<AVSubtitleRect**>(FF.av_mallocz(sizeof(AVSubtitleRect*)));
        AVSubtitleRect* r = sub.rects[0] = static_cast<AVSubtitleRect*>(FF.av_mallocz(sizeof(AVSubtitleRect)));
        r->type = SUBTITLE_BITMAP;
        r->x = 100;
        r->y = 400;
        r->w = 64;
        r->h = 16;
        r->nb_colors = 4;
        r->linesize[0] = r->w;
        r->data[0] = static_cast<std::uint8_t*>(FF.av_malloc(size_t(r->w * r->h)));
        for (int p = 0; p < r->w * r->h; ++p) r->data[0][p] = std::uint8_t((p / 8 + i) % 4);
        r->data[1] = static_cast<std::uint8_t*>(FF.av_mallocz(4 * sizeof(std::uint32_t)));
        const std::uint32_t palette[4] = {0x00000000, 0xffffffff, 0xff000000, 0xffff0000};
        std::memcpy(r->data[1], palette, sizeof palette);
        sub.start_display_time = 0;
        sub.end_display_time = 1000;
        sub.pts = std::int64_t(i) * 1500000 + 500000;
        const int size = FF.avcodec_encode_subtitle(enc, buffer.data(), int(buffer.size()), &sub);
        ok = size > 0 && FF.av_new_packet(pkt, size) >= 0;
        if (ok) {
            std::memcpy(pkt->data, buffer.data(), size_t(size));
            pkt->pts = pkt->dts = FF.av_rescale_q(sub.pts, AV_TIME_BASE_Q, st->time_base);
            pkt->duration = 90000;
            pkt->stream_index = 0;
            ok = FF.av_interleaved_write_frame(oc, pkt) >= 0;
        }
        FF.avsubtitle_free(&sub);
    }
    FF.av_packet_free(&pkt);
    if (ok) ok = FF.av_write_trailer(oc) >= 0;
    if (oc) {
        if (oc->pb) FF.avio_closep(&oc->pb);
        FF.avformat_free_context(oc);
    }
    FF.avcodec_free_context(&enc);
    return ok;
}

struct TSubtitlePacket {
    int Size = 0;
    double Time = 0;
    bool operator==(const TSubtitlePacket&) const = default;
};

// The subtitle packets of a file, in order.
std::vector<TSubtitlePacket> SubtitlePackets(const QString& file)
{
    const CommandResult r = RunCommand("ffprobe", {"-v", "error", "-select_streams", "s:0", "-show_packets", file});
    std::vector<TSubtitlePacket> packets;
    for (const QString& line : r.out.split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith("[PACKET]")) packets.emplace_back();
        if (packets.empty()) continue;
        if (line.startsWith("size=")) packets.back().Size = line.mid(5).toInt();
        if (line.startsWith("pts_time=")) packets.back().Time = line.mid(9).toDouble();
    }
    return packets;
}

TEST_F(PipelineSubtitles, DvbPicturesReachEveryOutputAndLeakNothing)
{
    const QString src = Out("dvb.ts");
    ASSERT_TRUE(MakeDvbFile(src, 3));
    ASSERT_TRUE(ProbeValue(src, "stream=codec_name", "s:0").startsWith("dvb_subtitle"));
    const std::vector<TSubtitlePacket> source = SubtitlePackets(src);
    ASSERT_EQ(source.size(), 3u);
    {
        TJob job;
        ASSERT_TRUE(job.Input(src));
        ASSERT_TRUE(job.Output(Out("first.ts"), {{"scodec", "dvbsub"}})) << job.Error.toStdString();
        ASSERT_TRUE(job.Output(Out("second.ts"), {{"scodec", "dvbsub"}})) << job.Error.toStdString();
        ASSERT_TRUE(job.Output(Out("copied.ts"), {{"scodec", "copy"}})) << job.Error.toStdString();
        ASSERT_EQ(job.Run().toStdString(), "");
    }
    const std::vector<TSubtitlePacket> first = SubtitlePackets(Out("first.ts"));
    // Each picture shows at its own time, 1.5 s apart: the clear packets of the first two come
    // later than the next picture and are left out; the last one clears the screen.
    ASSERT_EQ(first.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_GT(first[size_t(i)].Size, 100) << i;
        EXPECT_NEAR(first[size_t(i)].Time - first[0].Time, 1.5 * i, 0.01) << i;
    }
    EXPECT_LT(first[3].Size, 40);
    EXPECT_GT(first[3].Time, first[2].Time);
    // The second output of the same stream gets the same pictures.
    EXPECT_EQ(SubtitlePackets(Out("second.ts")), first);
    const std::vector<TSubtitlePacket> copied = SubtitlePackets(Out("copied.ts"));
    ASSERT_EQ(copied.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(copied[i].Size, source[i].Size);
    EXPECT_EQ(LeakedSoFar(), 0);
}

TEST_F(PipelineSubtitles, TextSubtitlesAreReencoded)
{
    const QString srt = Out("words.srt");
    {
        QFile f(srt);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("1\n00:00:00,500 --> 00:00:01,500\nHello\n\n2\n00:00:02,000 --> 00:00:03,000\nWorld\n");
    }
    const QString src = Out("words.mkv");
    ASSERT_EQ(RunCommand("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:d=4",
                                    "-i", srt, "-c:v", "mpeg4", "-c:s", "ass", src})
                  .exitCode,
              0);
    TJob job;
    ASSERT_TRUE(job.Input(src));
    const QString out = Out("words_out.mkv");
    ASSERT_TRUE(job.Output(out, {{"vcodec", "mpeg4"}, {"scodec", "subrip"}}));
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_EQ(ProbeValue(out, "stream=codec_name", "s:0"), "subrip");
    const QString text = RunCommand("ffmpeg", {"-v", "error", "-i", out, "-map", "0:s:0", "-f", "srt", "-"}).out;
    EXPECT_TRUE(text.contains("Hello")) << text.toStdString();
    EXPECT_TRUE(text.contains("World")) << text.toStdString();
    EXPECT_TRUE(text.contains("00:00:02,000 --> 00:00:03,000")) << text.toStdString();
}

// 720x576 video of `seconds` with the DVB pictures of dvb.ts as a stream, at 1.0, 2.5 and 4.0 s
// (each shown until the next).
QString VideoWithDvb(const QString& dir, int seconds)
{
    const QString dvb = dir + "/dvb.ts";
    if (!MakeDvbFile(dvb, 3)) return {};
    const QString out = dir + "/with_dvb.mkv";
    const CommandResult r = RunCommand("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                                  QString("testsrc=size=720x576:rate=25:d=%1").arg(seconds), "-itsoffset", "1", "-i", dvb,
                                                  "-map", "0:v", "-map", "1:s", "-c:v", "mpeg4", "-q:v", "3", "-c:s",
                                                  "copy", out});
    return r.exitCode == 0 ? out : QString();
}

// Mean luma of a region of the picture at a time, as the command line decodes it.
double RegionLuma(const QString& file, double seconds, const QString& crop, const QString& rawPath)
{
    QFile::remove(rawPath);
    RunCommand("ffmpeg", {"-v", "error", "-ss", QString::number(seconds), "-i", file, "-frames:v", "1", "-vf",
                          "crop=" + crop, "-f", "rawvideo", "-pix_fmt", "gray", rawPath});
    QFile f(rawPath);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray y = f.readAll();
    double sum = 0;
    for (char c : y) sum += quint8(c);
    return y.isEmpty() ? -1 : sum / double(y.size());
}

TEST_F(PipelineSubtitles, PicturesIntoATextFormatAreLeftOutAndTheRestConverts)
{
    const QString src = VideoWithDvb(Dir.path(), 4);
    ASSERT_FALSE(src.isEmpty());
    std::mutex lock;
    QStringList lines;
    FFLogger()->SetTriggerEventInMainThread(false);
    FFLogger()->OnLog = [&](QObject*, std::uint32_t, TLogLevel, const QString& msg) {
        std::lock_guard guard(lock);
        lines << msg;
    };
    TJob job;
    ASSERT_TRUE(job.Input(src));
    const QString out = Out("text_only.mkv"); // its subtitle encoder takes text
    ASSERT_TRUE(job.Output(out, {{"vcodec", "mpeg4"}})) << job.Error.toStdString();
    const QString error = job.Run();
    FFLogger()->OnLog = nullptr;
    ASSERT_EQ(error.toStdString(), "");
    EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), "mpeg4");
    EXPECT_EQ(ProbeValue(out, "stream=codec_name", "s:0"), "");
    EXPECT_NEAR(Duration(out), 4.0, 0.3);
    EXPECT_EQ(lines.filter("Subtitles left out: the ssa encoder of this output cannot take dvb_subtitle subtitles").size(), 1)
        << lines.join('\n').toStdString();
}

TEST_F(PipelineSubtitles, BurntPicturesShowInTheVideoAtTheirTimes)
{
    const QString src = VideoWithDvb(Dir.path(), 3);
    ASSERT_FALSE(src.isEmpty());
    // Half size and a pad above: the pictures follow the video through scale and pad.
    const TOptionList video{{"vcodec", "mpeg4"}, {"qscale", "2"}, {"s", "360x288"}, {"padtop", "16"}, {"sn", "1"}};
    TJob plain;
    ASSERT_TRUE(plain.Input(src));
    ASSERT_TRUE(plain.Output(Out("plain.avi"), video)) << plain.Error.toStdString();
    ASSERT_EQ(plain.Run().toStdString(), "");
    TJob burnt;
    ASSERT_TRUE(burnt.Input(src));
    TOptionList burn = video;
    burn.push_back({"burnsubtitles", "1"});
    ASSERT_TRUE(burnt.Output(Out("burnt.avi"), burn)) << burnt.Error.toStdString();
    ASSERT_EQ(burnt.Run().toStdString(), "");
    EXPECT_EQ(ProbeValue(Out("burnt.avi"), "stream=codec_name", "s:0"), "");

    // The first picture: 64x16 at (100, 400) of 720x576, so 32x8 at (50, 216) here.
    const QString where = "32:8:50:216";
    const QString raw = Out("region.gray");
    const double before = RegionLuma(Out("burnt.avi"), 0.5, where, raw) - RegionLuma(Out("plain.avi"), 0.5, where, raw);
    const double during = RegionLuma(Out("burnt.avi"), 1.5, where, raw) - RegionLuma(Out("plain.avi"), 1.5, where, raw);
    EXPECT_LT(std::abs(before), 3.0);
    EXPECT_GT(std::abs(during), 20.0);
    // Away from the picture nothing changed.
    const double elsewhere = RegionLuma(Out("burnt.avi"), 1.5, "32:8:250:100", raw) -
                             RegionLuma(Out("plain.avi"), 1.5, "32:8:250:100", raw);
    EXPECT_LT(std::abs(elsewhere), 3.0);
}

} // namespace
