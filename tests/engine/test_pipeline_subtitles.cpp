// label: asan
// Subtitles through the transcoder: DVB bitmaps encoded into two outputs at once and copied into
// a third, and text subtitles re-encoded.
#include "test_pipeline_support.h"

#include <QFile>

#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

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
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
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

} // namespace
