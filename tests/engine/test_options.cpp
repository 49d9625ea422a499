// Option dispatcher, custom option text, presets and targets against the real libraries.
#include "FFTargets.h"
#include "test_options_support.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>

using ::testing::HasSubstr;

namespace {

void WriteFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

std::int64_t VideoBitrate(const TCustomFFmpeg& task)
{
    AVCodecContext* ctx = FF.avcodec_alloc_context3(nullptr);
    task.CopyCodecOptions(ctx, AVMEDIA_TYPE_VIDEO);
    const std::int64_t b = ctx->bit_rate;
    FF.avcodec_free_context(&ctx);
    return b;
}

// What a codec context starts with when nothing was set.
std::int64_t DefaultBitrate()
{
    AVCodecContext* ctx = FF.avcodec_alloc_context3(nullptr);
    const std::int64_t b = ctx->bit_rate;
    FF.avcodec_free_context(&ctx);
    return b;
}

} // namespace

TEST(CustomOptionText, StagesApplyOnlyTheirLinesAndKeysAreLowerCased)
{
    REQUIRE_ENGINE_LIBRARIES();
    const QString text = QStringLiteral("VCODEC=MyCodec<CRLF>b=800000\r\nS=640x480\nvfilters=Hflip");
    const QList<TCustomOption> lines = ParseCustomOptions(text);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0].Key, "vcodec");
    EXPECT_EQ(lines[0].Value, "MyCodec"); // values stay as written
    EXPECT_EQ(lines[0].Stage, cosCodecs);
    EXPECT_EQ(lines[1].Stage, cosOthers);
    EXPECT_EQ(lines[2].Stage, cosFrameSize);
    EXPECT_EQ(lines[3].Stage, cosFilters);

    TTestTask task;
    task.ApplyCustomCodecs(text);
    EXPECT_EQ(task.Options().VideoCodecName, "MyCodec");
    EXPECT_EQ(VideoBitrate(task), DefaultBitrate()) << "the bit rate belongs to stage 5";
    EXPECT_EQ(task.Options().FrameWidth, 0);

    task.ApplyCustomOthers(text);
    EXPECT_EQ(VideoBitrate(task), 800000);
    EXPECT_EQ(task.Options().FrameWidth, 0);
    task.ApplyCustomFrameSize(text);
    EXPECT_EQ(task.Options().FrameWidth, 640);
    task.ApplyCustomFilters(text);
    EXPECT_EQ(task.Options().VideoFilters, "Hflip");
}

TEST(CustomOptionText, EmptyLinesAndMissingEqualsAreHarmless)
{
    const QList<TCustomOption> lines = ParseCustomOptions(QStringLiteral("an<CRLF><CRLF>x=a=b<CRLF>"));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].Key, "an");
    EXPECT_TRUE(lines[0].Value.isEmpty());
    EXPECT_TRUE(lines[1].Key.isEmpty());
    EXPECT_EQ(lines[2].Key, "x");
    EXPECT_EQ(lines[2].Value, "a=b");
    EXPECT_TRUE(ParseCustomOptions(QStringLiteral("  \r\n ")).isEmpty());
}

TEST(CustomOptionText, ThreadsIsRefused)
{
    TTestTask task;
    EXPECT_EQ(ExceptionText([&] { task.ApplyCustomOthers(QStringLiteral("threads=2")); }),
              "TODO: option - threads");
}

TEST(Dispatcher, FlagsAreTrueUnlessExactlyZero)
{
    TTestTask task;
    task.SetOption(QStringLiteral("an"), QStringLiteral("0"));
    EXPECT_FALSE(task.Options().AudioDisable);
    task.SetOption(QStringLiteral("an"), QString());
    EXPECT_TRUE(task.Options().AudioDisable);
    task.ResetOptions();
    task.SetOption(QStringLiteral("an"), QStringLiteral("00"));
    EXPECT_TRUE(task.Options().AudioDisable);
    // "copyts" is set whatever the value
    task.SetOption(QStringLiteral("copyts"), QStringLiteral("0"));
    EXPECT_TRUE(task.Options().CopyTs);
}

TEST(Dispatcher, AspectForms)
{
    TTestTask task;
    task.SetOption(QStringLiteral("aspect"), QStringLiteral("16:9"));
    EXPECT_NEAR(task.Options().FrameAspectRatio, 16.0 / 9.0, 1e-12);
    task.SetOption(QStringLiteral("aspect"), QStringLiteral("1.5"));
    EXPECT_DOUBLE_EQ(task.Options().FrameAspectRatio, 1.5);
    for (const char* bad : {"4:0", "abc", "", "0", "-4:3", "-1.5", "16:", "inf"})
        EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("aspect"), QString::fromLatin1(bad)); }),
                  "Incorrect aspect ratio specification.")
            << bad;
    EXPECT_DOUBLE_EQ(task.Options().FrameAspectRatio, 1.5) << "a refused value keeps the old one";
}

TEST(Dispatcher, CropAgainstTheCurrentFrame)
{
    REQUIRE_ENGINE_LIBRARIES();
    TTestTask task;
    task.SetOption(QStringLiteral("s"), QStringLiteral("320x240"));
    task.SetOption(QStringLiteral("croptop"), QStringLiteral("10"));
    EXPECT_EQ(task.Options().FrameHeight, 230);
    EXPECT_EQ(task.Options().FrameTopBand, 10);
    task.SetOption(QStringLiteral("cropleft"), QStringLiteral("-4")); // ignored
    EXPECT_EQ(task.Options().FrameWidth, 320);

    TTestTask other;
    other.SetOption(QStringLiteral("s"), QStringLiteral("320x240"));
    EXPECT_EQ(ExceptionText([&] { other.SetOption(QStringLiteral("croptop"), QStringLiteral("240")); }),
              "Vertical crop dimensions are outside the range of the original image.\n"
              "Remember to crop first and scale second.");
    EXPECT_EQ(ExceptionText([&] { other.SetOption(QStringLiteral("cropright"), QStringLiteral("320")); }),
              "Horizontal crop dimensions are outside the range of the original image.\n"
              "Remember to crop first and scale second.");
    EXPECT_EQ(other.Options().FrameHeight, 240);
}

TEST(Dispatcher, FrameSizeAndRate)
{
    REQUIRE_ENGINE_LIBRARIES();
    TTestTask task;
    task.SetOption(QStringLiteral("s"), QStringLiteral("vga"));
    EXPECT_EQ(task.Options().FrameWidth, 640);
    task.SetOption(QStringLiteral("r"), QStringLiteral("ntsc"));
    EXPECT_EQ(task.Options().FrameRate.num, 30000);
    EXPECT_EQ(task.Options().FrameRate.den, 1001);
    for (const char* bad : {"", "320", "320x", "x240", "-320x240", "0x0", "99999x99999", "320*240*2"})
        EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("s"), QString::fromLatin1(bad)); }),
                  "Incorrect frame size")
            << bad;
    for (const char* bad : {"", "0", "-25", "abc", "25/0"})
        EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("r"), QString::fromLatin1(bad)); }),
                  "Incorrect frame rate")
            << bad;
}

TEST(Dispatcher, TimeScaleLimitsAndMetadata)
{
    REQUIRE_ENGINE_LIBRARIES();
    TTestTask task;
    EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("itsscale"), QStringLiteral("25:1.5")); }),
              "stream index over MAX_STREAMS(20)");
    task.SetOption(QStringLiteral("itsscale"), QStringLiteral("1:0.5"));
    EXPECT_DOUBLE_EQ(task.Options().InputTSScale[0][1], 0.5);
    EXPECT_DOUBLE_EQ(task.Options().InputTSScale[0][0], 1.0);

    EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("metadata"), QStringLiteral("title")); }),
              "Missing =");
    task.SetOption(QStringLiteral("metadata"), QStringLiteral("title=A=B"));
    ASSERT_EQ(task.Options().Metadata.size(), 1u);
    EXPECT_EQ(task.Options().Metadata[0].first, "title");
    EXPECT_EQ(task.Options().Metadata[0].second, "A=B");
}

TEST(Dispatcher, DurationsAndDates)
{
    REQUIRE_ENGINE_LIBRARIES();
    TTestTask task;
    task.SetOption(QStringLiteral("t"), QStringLiteral("00:01:30.5"));
    EXPECT_EQ(task.Options().RecordingTime, 90500000);
    EXPECT_EQ(task.Options().TotalDuration, 90500000);
    task.SetOption(QStringLiteral("itsoffset"), QStringLiteral("-2"));
    EXPECT_EQ(task.Options().InputTSOffset, -2000000);
    EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("ss"), QStringLiteral("soon")); }),
              "Invalid duration specification for ss: soon");
    EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("timestamp"), QStringLiteral("32/13/2009")); }),
              "Invalid date specification for timestamp: 32/13/2009");
    task.SetOption(QStringLiteral("timestamp"), QStringLiteral("2009-06-01 12:00:00Z"));
    EXPECT_EQ(task.Options().RecordingTimestamp, 1243857600);
}

TEST(Dispatcher, QuantiserMatrices)
{
    TTestTask task;
    QStringList values;
    for (int i = 0; i < 64; ++i) values << QString::number(8 + i);
    task.SetOption(QStringLiteral("intra_matrix"), values.join(','));
    ASSERT_EQ(task.Options().IntraMatrix.size(), 64u);
    EXPECT_EQ(task.Options().IntraMatrix[63], 71);

    const QString short63 = QStringList(values.mid(0, 63)).join(',');
    EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("inter_matrix"), short63); }),
              QStringLiteral("Syntax error in matrix \"%1\" at coeff 62").arg(short63).toStdString());
    EXPECT_TRUE(task.Options().InterMatrix.empty());
    QStringList zero = values;
    zero[5] = QStringLiteral("0");
    EXPECT_THAT(ExceptionText([&] { task.SetOption(QStringLiteral("inter_matrix"), zero.join(',')); }),
                HasSubstr("at coeff 5"));
}

TEST(Dispatcher, TagsMapsAndStreams)
{
    REQUIRE_ENGINE_LIBRARIES();
    TTestTask task;
    task.SetOption(QStringLiteral("vtag"), QStringLiteral("xvid"));
    EXPECT_EQ(task.Options().VideoCodecTag, 0x64697678u);
    EXPECT_THAT(ExceptionText([&] { task.SetOption(QStringLiteral("atag"), QStringLiteral("mp4")); }),
                ::testing::StartsWith("audio tag parameter must be 4 chars"));

    task.SetOption(QStringLiteral("map"), QStringLiteral("0:1"));
    task.SetOption(QStringLiteral("map"), QStringLiteral("1.0:0.2"));
    ASSERT_EQ(task.Options().StreamMaps.size(), 2u);
    EXPECT_EQ(task.Options().StreamMaps[0].SyncStreamIndex, 1);
    EXPECT_EQ(task.Options().StreamMaps[1].FileIndex, 1);
    EXPECT_EQ(task.Options().StreamMaps[1].SyncStreamIndex, 2);

    EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("newaudio"), QString()); }),
              "At least one output file must be specified");
    task.Outputs = 1;
    task.SetOption(QStringLiteral("newaudio"), QString());
    ASSERT_EQ(task.NewStreams.size(), 1u);
    EXPECT_EQ(task.NewStreams[0], AVMEDIA_TYPE_AUDIO);

    task.SetOption(QStringLiteral("vbsf"), QStringLiteral("h264_mp4toannexb"));
    task.SetOption(QStringLiteral("absf"), QStringLiteral("=ignored"));
    EXPECT_EQ(task.Options().VideoBitstreamFilters, QStringList{"h264_mp4toannexb"});
    EXPECT_TRUE(task.Options().AudioBitstreamFilters.isEmpty());
    EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("vbsf"), QStringLiteral("nosuch=1")); }),
              "Unknown bitstream filter nosuch");
}

TEST(Dispatcher, PadColourToYUV)
{
    TTestTask task;
    EXPECT_EQ(task.Options().PadColor, (std::array<int, 3>{16, 128, 128}));
    task.SetOption(QStringLiteral("padcolor"), QStringLiteral("255")); // red in the low byte
    EXPECT_EQ(task.Options().PadColor, (std::array<int, 3>{76, 85, 255}));
    EXPECT_EQ(PadColorToYUV(0xFFFFFF), (std::array<int, 3>{255, 128, 128}));
    EXPECT_EQ(PadColorToYUV(0xFF0000), (std::array<int, 3>{29, 255, 107})); // blue
    EXPECT_EQ(PadColorToYUV(0), (std::array<int, 3>{0, 128, 128}));
}

TEST(Dispatcher, FormatNamesAndNotices)
{
    REQUIRE_ENGINE_LIBRARIES();
    TLogCapture log(llInfo);
    TTestTask task;
    task.SetOption(QStringLiteral("f"), QStringLiteral("pgmyuv"));
    EXPECT_EQ(task.Options().FileFormatName, "image2");
    EXPECT_TRUE(task.Options().ForcePgmyuvCodec);
    EXPECT_TRUE(log.Contains(QStringLiteral("pgmyuv format is deprecated, use image2")));
    task.SetOption(QStringLiteral("benchmark"), QString());
    EXPECT_TRUE(log.Contains(QStringLiteral("Do nothing: option - benchmark")));

    log.Clear();
    task.SetOption(QStringLiteral("pix_fmt"), QStringLiteral("list"));
    task.SetOption(QStringLiteral("sample_fmt"), QStringLiteral("list"));
    EXPECT_EQ(task.Options().FramePixFmt, AV_PIX_FMT_NONE) << "listing sets nothing";
    EXPECT_TRUE(log.Contains(QStringLiteral("name nb_components nb_bits")));
    EXPECT_EQ(log.Matching(QStringLiteral("yuv420p ")).size(), 1u);
    EXPECT_EQ(log.Matching(QStringLiteral("fltp")).size(), 1u);
}

TEST(LibraryRoute, UnknownNamesAreIgnoredAndRefusedValuesOnlyLogged)
{
    REQUIRE_ENGINE_LIBRARIES();
    TLogCapture log(llInfo);
    TTestTask task;
    task.ApplyCustomOthers(QStringLiteral("nosuchkey=5<CRLF>g=notanumber<CRLF>qmin=7"));
    EXPECT_TRUE(log.Contains(QStringLiteral("Invalid value \"notanumber\" for option \"g\"")));
    EXPECT_FALSE(task.GenericOption(QStringLiteral("nosuchkey"), QStringLiteral("5")));
    EXPECT_FALSE(task.GenericOption(QStringLiteral("g"), QStringLiteral("  ")));
    EXPECT_FALSE(task.RememberedOptions(AVMEDIA_TYPE_VIDEO).contains(QStringLiteral("nosuchkey")));
    // the line after the refused one was still applied
    AVCodecContext* ctx = FF.avcodec_alloc_context3(nullptr);
    task.CopyCodecOptions(ctx, AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(ctx->qmin, 7);
    EXPECT_EQ(ctx->gop_size, 12) << "the refused value left the default";
    FF.avcodec_free_context(&ctx);
}

TEST(LibraryRoute, PrefixRetryFormatOptionsAndLowBitrateWarning)
{
    REQUIRE_ENGINE_LIBRARIES();
    TLogCapture log(llWarning);
    TTestTask task;
    // "vqmax" is not an option: its rest is tried on the video context
    EXPECT_TRUE(task.GenericOption(QStringLiteral("vqmax"), QStringLiteral("40")));
    EXPECT_TRUE(task.GenericOption(QStringLiteral("packetsize"), QStringLiteral("2048")));
    EXPECT_TRUE(task.RememberedOptions(TCustomFFmpeg::otFormat).contains(QStringLiteral("packetsize")));

    task.SetOption(QStringLiteral("ab"), QStringLiteral("128"));
    EXPECT_TRUE(log.Contains(QStringLiteral(
        "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s")));
    AVCodecContext* audio = FF.avcodec_alloc_context3(nullptr);
    task.CopyCodecOptions(audio, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(audio->bit_rate, 128);
    FF.avcodec_free_context(&audio);
    EXPECT_EQ(VideoBitrate(task), DefaultBitrate()) << "\"ab\" must not touch the video bit rate";
}

TEST(LibraryRoute, DebugOutputRaisesTheLogLevel)
{
    REQUIRE_ENGINE_LIBRARIES();
    TLogCapture log(llInfo);
    TTestTask task;
    EXPECT_TRUE(task.GenericOption(QStringLiteral("debug"), QStringLiteral("pict")));
    EXPECT_EQ(FFLogger()->LogLevel(), llDebug);
}

TEST(LibraryRoute, LegacyNamesAreTranslatedAndLogged)
{
    REQUIRE_ENGINE_LIBRARIES();
    TLogCapture log(llDebug);
    TTestTask task;
    task.SetOption(QStringLiteral("vcodec"), QStringLiteral("libx264"));
    EXPECT_TRUE(task.GenericOption(QStringLiteral("flags2"),
                                   QStringLiteral("+mixed_refs+wpred+dct8x8+fastpskip")));
    EXPECT_TRUE(task.GenericOption(QStringLiteral("partitions"), QStringLiteral("+parti8x8+partp8x8")));
    EXPECT_TRUE(task.GenericOption(QStringLiteral("partitions"), QStringLiteral("-partp8x8+partb8x8")));
    EXPECT_TRUE(task.GenericOption(QStringLiteral("directpred"), QStringLiteral("3")));
    EXPECT_TRUE(task.GenericOption(QStringLiteral("me_method"), QStringLiteral("umh")));
    EXPECT_TRUE(task.GenericOption(QStringLiteral("deblockalpha"), QStringLiteral("-1")));
    EXPECT_TRUE(task.GenericOption(QStringLiteral("deblockbeta"), QStringLiteral("2")));
    EXPECT_TRUE(task.GenericOption(QStringLiteral("flags"), QStringLiteral("+loop+scan_offset")));
    EXPECT_FALSE(task.GenericOption(QStringLiteral("deblockbeta"), QStringLiteral("0crf=24")));
    EXPECT_TRUE(log.Contains(QStringLiteral("Option \"directpred=3\" translated to \"direct-pred=3\"")));

    const AVCodec* x264 = FF.avcodec_find_encoder_by_name("libx264");
    ASSERT_NE(x264, nullptr);
    AVCodecContext* ctx = FF.avcodec_alloc_context3(x264);
    task.CopyCodecOptions(ctx, AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(ContextOption(ctx, "mixed-refs"), "true");
    EXPECT_EQ(ContextOption(ctx, "weightb"), "true");
    EXPECT_EQ(ContextOption(ctx, "8x8dct"), "true");
    EXPECT_EQ(ContextOption(ctx, "fast-pskip"), "true");
    EXPECT_EQ(ContextOption(ctx, "partitions"), "i8x8,b8x8");
    EXPECT_EQ(ContextOption(ctx, "direct-pred"), "3");
    EXPECT_EQ(ContextOption(ctx, "motion-est"), "2"); // umh
    EXPECT_EQ(ContextOption(ctx, "deblock"), "-1:2");
    EXPECT_TRUE(ctx->flags & AV_CODEC_FLAG_LOOP_FILTER);
    FF.avcodec_free_context(&ctx);
}

TEST(Presets, LookupThroughTheCodecNameThenTheFilePath)
{
    REQUIRE_ENGINE_LIBRARIES();
    TTestTask task;
    task.SetOption(QStringLiteral("vcodec"), QStringLiteral("libx264"));
    task.SetOption(QStringLiteral("vpre"), QStringLiteral("FAST")); // case is ignored
    EXPECT_TRUE(task.RememberedOptions(AVMEDIA_TYPE_VIDEO).contains(QStringLiteral("rc-lookahead")));

    EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("vpre"), QStringLiteral("nosuch")); }),
              "Preset \"nosuch\" not found");

    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("mine.preset"));
    WriteFile(good, "# my settings\r\nqmin=12\r\n\r\n  bf = 2 \r\nvcodec=mpeg4\n");
    task.SetOption(QStringLiteral("vpre"), good);
    EXPECT_EQ(task.Options().VideoCodecName, "mpeg4");
    AVCodecContext* ctx = FF.avcodec_alloc_context3(nullptr);
    task.CopyCodecOptions(ctx, AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(ctx->qmin, 12);
    EXPECT_EQ(ctx->max_b_frames, 2);
    FF.avcodec_free_context(&ctx);

    const QString syntax = dir.filePath(QStringLiteral("syntax.preset"));
    WriteFile(syntax, "qmin=3\nbf=\n");
    EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("fpre"), syntax); }),
              QStringLiteral("%1: Invalid syntax: \"bf=\"").arg(syntax).toStdString());
    const QString unknown = dir.filePath(QStringLiteral("unknown.preset"));
    WriteFile(unknown, "nosuchopt = 3\n");
    EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("fpre"), unknown); }),
              QStringLiteral("%1: Invalid option or argument: \"nosuchopt = 3\", parsed as "
                             "\"nosuchopt\" = \"3\"")
                  .arg(unknown)
                  .toStdString());
    // "fpre" never looks at the built-in table
    EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("fpre"), QStringLiteral("libx264-fast")); }),
              "Preset \"libx264-fast\" not found");
}

TEST(Targets, NormFromPrefixFrameRateInputsAndFallback)
{
    REQUIRE_ENGINE_LIBRARIES();
    {
        TTestTask task;
        task.SetOption(QStringLiteral("target"), QStringLiteral("pal-dvd"));
        EXPECT_EQ(task.Options().FrameWidth, 720);
        EXPECT_EQ(task.Options().FrameHeight, 576);
        EXPECT_EQ(task.Options().FrameRate.num, 25);
        EXPECT_EQ(task.Options().FrameRate.den, 1);
        EXPECT_EQ(task.Options().AudioSampleRate, 48000);
        EXPECT_NEAR(task.Options().FrameAspectRatio, 16.0 / 9.0, 1e-9);
        AVCodecContext* ctx = FF.avcodec_alloc_context3(nullptr);
        task.CopyCodecOptions(ctx, AVMEDIA_TYPE_VIDEO);
        EXPECT_EQ(ctx->gop_size, 15);
        EXPECT_EQ(ctx->bit_rate, 6000000);
        FF.avcodec_free_context(&ctx);
    }
    {
        TTestTask task;
        task.SetOption(QStringLiteral("r"), QStringLiteral("30000/1001"));
        task.SetOption(QStringLiteral("ac"), QStringLiteral("1"));
        task.SetOption(QStringLiteral("target"), QStringLiteral("dvd"));
        EXPECT_EQ(task.Options().FrameHeight, 480);
        EXPECT_EQ(task.Options().AudioChannels, 2) << "mono becomes stereo on a DVD";
        AVCodecContext* ctx = FF.avcodec_alloc_context3(nullptr);
        task.CopyCodecOptions(ctx, AVMEDIA_TYPE_VIDEO);
        EXPECT_EQ(ctx->gop_size, 18);
        FF.avcodec_free_context(&ctx);
    }
    {
        // no frame rate and no input: the fallback decides instead of failing
        TTestTask task;
        task.SetTarget(QStringLiteral("vcd"), QStringLiteral("auto"), QStringLiteral("pal"));
        EXPECT_EQ(task.Options().FrameHeight, 288);
        TTestTask ntsc;
        ntsc.SetOption(QStringLiteral("target"), QStringLiteral("svcd"));
        EXPECT_EQ(ntsc.Options().FrameHeight, 480);
    }
    {
        const QString clip = MediaFixture(QStringLiteral("options_pal_25fps.mkv"),
                                          {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1",
                                           "-c:v", "ffv1"});
        TTestTask task;
        ASSERT_TRUE(task.OpenInput(clip));
        task.SetOption(QStringLiteral("r"), QStringLiteral("30")); // undecided: look at the inputs
        TLogCapture log(llVerbose);
        task.SetOption(QStringLiteral("target"), QStringLiteral("dv"));
        EXPECT_EQ(task.Options().FrameHeight, 576);
        EXPECT_EQ(task.Options().FramePixFmt, AV_PIX_FMT_YUV420P);
        EXPECT_TRUE(log.Contains(QStringLiteral("Assuming PAL for target.")));
    }
    {
        TTestTask task;
        EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("target"), QStringLiteral("pal-bluray")); }),
                  "Unknown target type");
        task.SetOption(QStringLiteral("target"), QStringLiteral("ntsc-dv50"));
        EXPECT_EQ(task.Options().FramePixFmt, AV_PIX_FMT_YUV422P);
    }
}
