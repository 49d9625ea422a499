// Every built-in preset, the catalogue's two option texts and every target, applied for the
// codec they are meant for, must leave an encoder that today's library opens without complaint.
#include "FFPresets.h"
#include "test_options_support.h"

using ::testing::HasSubstr;

namespace {

// Option texts of the preset catalogue, as the front end hands them over.
const char* const OptionTextA =
    "flags=+loop\r\ncmp=+chroma\r\ndeblockalpha=0\r\ndeblockbeta=0crf=24\r\nrefs=1\r\ncoder=0\r\n"
    "me_range=16\r\nsubq=5\r\npartitions=+parti4x4+parti8x8+partp8x8\r\ng=250\r\nkeyint_min=25\r\n"
    "level=30\r\nqmin=10\r\nqmax=51\r\ntrellis=2\r\nsc_threshold=40\r\ni_qfactor=0.71\r\n";
const char* const OptionTextB =
    "flags=+loop\r\ncmp=+chroma\r\npartitions=+parti4x4+partp8x8+partb8x8\r\nme_method=umh\r\n"
    "subq=5\r\ntrellis=1\r\nrefs=2\r\nbf=1\r\ncoder=1\r\nme_range=16\r\ng=300\r\nkeyint_min=25\r\n"
    "sc_threshold=40\r\ni_qfactor=0.71\r\nbt=64k\r\nmaxrate=4M\r\nbufsize=4M\r\n"
    "rc_eq='blurCplx^(1-qComp)'\r\nqcomp=0.6\r\nqmin=10\r\nqmax=51\r\nqdiff=4\r\nlevel=21";

// Library refusals in the log, apart from the ones a test expects.
std::vector<QString> Refusals(const TLogCapture& log, const QString& expected = {})
{
    std::vector<QString> out;
    for (const auto& [level, line] : log.Matching(QStringLiteral("Invalid value")))
        if (expected.isEmpty() || !line.contains(expected)) out.push_back(line);
    return out;
}

// Old names the translation table dropped because no codec in use has them.
std::vector<QString> Dropped(const TLogCapture& log, const QString& expected = {})
{
    std::vector<QString> out;
    for (const auto& [level, line] : log.Matching(QStringLiteral("has no equivalent")))
        if (expected.isEmpty() || !line.contains(expected)) out.push_back(line);
    return out;
}

class BuiltinPresetOpens : public ::testing::TestWithParam<QString> {};

} // namespace

TEST(BuiltinPresets, ThirtySixDistinctEntries)
{
    const auto& presets = BuiltinPresets();
    ASSERT_EQ(presets.size(), 36u);
    QStringList texts;
    for (const TOptionsPreset& p : presets) {
        EXPECT_TRUE(p.Name.startsWith(QStringLiteral("libx264-"))) << p.Name.toStdString();
        EXPECT_FALSE(texts.contains(p.Text)) << p.Name.toStdString() << " repeats another entry";
        texts << p.Text;
    }
    EXPECT_EQ(FindBuiltinPreset(QStringLiteral("libx264-baseline"))->Text,
              "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0");
    EXPECT_EQ(FindBuiltinPreset(QStringLiteral("LIBX264-MAIN"))->Text, "flags2=-dct8x8");
    EXPECT_EQ(FindBuiltinPreset(QStringLiteral("libx264-ipod640"))->Text,
              "coder=0\nbf=0\nrefs=1\nflags2=-wpred-dct8x8\nlevel=30\nmaxrate=10000000\n"
              "bufsize=10000000\nwpredp=0");
    EXPECT_THAT(FindBuiltinPreset(QStringLiteral("libx264-default"))->Text.toStdString(),
                HasSubstr("directpred=1\ntrellis=1\nflags2=+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2"));
    EXPECT_EQ(FindBuiltinPreset(QStringLiteral("libx264-nosuch")), nullptr);
}

TEST_P(BuiltinPresetOpens, OnTheH264Encoder)
{
    REQUIRE_ENGINE_LIBRARIES();
    TLogCapture log(llDebug);
    TTestTask task;
    task.SetOption(QStringLiteral("vcodec"), QStringLiteral("libx264"));
    task.SetOption(QStringLiteral("s"), QStringLiteral("320x240"));
    task.SetOption(QStringLiteral("r"), QStringLiteral("25"));
    task.SetOption(QStringLiteral("b"), QStringLiteral("800000"));
    const QString name = GetParam().mid(QStringLiteral("libx264-").size());
    ASSERT_NO_THROW(task.SetOption(QStringLiteral("vpre"), name));
    EXPECT_TRUE(Refusals(log).empty()) << Refusals(log).front().toStdString();
    EXPECT_TRUE(Dropped(log).empty()) << Dropped(log).front().toStdString();
    EXPECT_EQ(OpenEncoderFromOptions(task, "libx264"), 0);
}

INSTANTIATE_TEST_SUITE_P(AllEntries, BuiltinPresetOpens, ::testing::ValuesIn([] {
                             std::vector<QString> names;
                             for (const TOptionsPreset& p : BuiltinPresets()) names.push_back(p.Name);
                             return names;
                         }()),
                         [](const ::testing::TestParamInfo<QString>& info) {
                             return info.param.mid(8).toStdString();
                         });

TEST(CatalogueOptionTexts, TextAOpensTheH264Encoder)
{
    REQUIRE_ENGINE_LIBRARIES();
    TLogCapture log(llDebug);
    TTestTask task;
    const QString text = QString::fromLatin1(OptionTextA);
    task.ApplyCustomCodecs(text);
    task.SetOption(QStringLiteral("vcodec"), QStringLiteral("libx264"));
    task.ApplyCustomPresets(text);
    ASSERT_NO_THROW(task.ApplyCustomOthers(text));
    task.SetOption(QStringLiteral("s"), QStringLiteral("320x240"));
    task.SetOption(QStringLiteral("r"), QStringLiteral("30"));
    task.SetOption(QStringLiteral("b"), QStringLiteral("640000"));
    // the catalogue's run-together line is refused, as any non-number would be
    EXPECT_TRUE(log.Contains(QStringLiteral("Invalid value \"0crf=24\" for option \"deblockbeta\"")));
    EXPECT_TRUE(Refusals(log, QStringLiteral("0crf=24")).empty());
    EXPECT_TRUE(Dropped(log).empty()) << Dropped(log).front().toStdString();
    AVCodecContext* ctx = nullptr;
    ASSERT_EQ(OpenEncoderFromOptions(task, "libx264", &ctx), 0);
    EXPECT_EQ(ContextOption(ctx, "level"), "30"); // the encoder's own level option
    EXPECT_EQ(ctx->refs, 1);
    EXPECT_EQ(ContextOption(ctx, "coder"), "0");
    EXPECT_EQ(ContextOption(ctx, "deblock"), "0:0");
    FF.avcodec_free_context(&ctx);
}

TEST(CatalogueOptionTexts, TextBOpensTheH264Encoder)
{
    REQUIRE_ENGINE_LIBRARIES();
    TLogCapture log(llDebug);
    TTestTask task;
    task.SetOption(QStringLiteral("vcodec"), QStringLiteral("libx264"));
    ASSERT_NO_THROW(task.ApplyCustomOthers(QString::fromLatin1(OptionTextB)));
    // the H.264 encoder has no rate-control equation; everything else has a home
    EXPECT_TRUE(Dropped(log, QStringLiteral("rc_eq=")).empty()) << Dropped(log).front().toStdString();
    EXPECT_EQ(Dropped(log).size(), 1u);
    task.SetOption(QStringLiteral("s"), QStringLiteral("368x208"));
    task.SetOption(QStringLiteral("r"), QStringLiteral("30000/1001"));
    task.SetOption(QStringLiteral("b"), QStringLiteral("520000"));
    EXPECT_TRUE(Refusals(log).empty()) << Refusals(log).front().toStdString();
    AVCodecContext* ctx = nullptr;
    ASSERT_EQ(OpenEncoderFromOptions(task, "libx264", &ctx), 0);
    EXPECT_EQ(ctx->max_b_frames, 1);
    EXPECT_EQ(ctx->rc_max_rate, 4000000);
    EXPECT_EQ(ctx->gop_size, 300);
    EXPECT_EQ(ContextOption(ctx, "motion-est"), "2");
    FF.avcodec_free_context(&ctx);
}

struct TTargetCase {
    const char* Option;        // value of "target"
    const char* DefaultVideo;  // encoders when the target names none: the muxer's defaults
    const char* DefaultAudio;
    const char* Muxer;
};

class TargetOpens : public ::testing::TestWithParam<TTargetCase> {};

TEST_P(TargetOpens, VideoAudioAndMuxer)
{
    REQUIRE_ENGINE_LIBRARIES();
    const TTargetCase c = GetParam();
    TLogCapture log(llDebug);
    TTestTask task;
    ASSERT_NO_THROW(task.SetOption(QStringLiteral("target"), QString::fromLatin1(c.Option)));
    EXPECT_TRUE(Refusals(log).empty()) << Refusals(log).front().toStdString();
    EXPECT_TRUE(Dropped(log).empty()) << Dropped(log).front().toStdString();

    const QString video = task.Options().VideoCodecName.isEmpty()
                              ? QString::fromLatin1(c.DefaultVideo)
                              : task.Options().VideoCodecName;
    const QString audio = task.Options().AudioCodecName.isEmpty()
                              ? QString::fromLatin1(c.DefaultAudio)
                              : task.Options().AudioCodecName;
    EXPECT_EQ(OpenEncoderFromOptions(task, video.toUtf8().constData()), 0) << video.toStdString();
    EXPECT_EQ(OpenEncoderFromOptions(task, audio.toUtf8().constData()), 0) << audio.toStdString();
    EXPECT_EQ(task.Options().FileFormatName, c.Muxer);

    AVFormatContext* mux = nullptr;
    ASSERT_GE(FF.avformat_alloc_output_context2(&mux, nullptr, c.Muxer, nullptr), 0);
    task.CopyFormatOptions(mux);
    const QString muxrate = ContextOption(mux, "muxrate");
    const QString packetsize = ContextOption(mux, "packetsize");
    FF.avformat_free_context(mux);
    const QString type = QString::fromLatin1(c.Option).section('-', -1);
    if (type == QLatin1String("vcd")) {
        EXPECT_EQ(muxrate, "1411200");
        EXPECT_EQ(packetsize, "2324");
    } else if (type == QLatin1String("dvd")) {
        EXPECT_EQ(muxrate, "10080000");
        EXPECT_EQ(packetsize, "2048");
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllTargets, TargetOpens,
    ::testing::Values(TTargetCase{"pal-vcd", "", "", "vcd"},
                      TTargetCase{"ntsc-vcd", "", "", "vcd"},
                      TTargetCase{"pal-svcd", "", "", "svcd"},
                      TTargetCase{"ntsc-svcd", "", "", "svcd"},
                      TTargetCase{"pal-dvd", "", "", "dvd"},
                      TTargetCase{"film-dvd", "", "", "dvd"},
                      TTargetCase{"pal-dv", "dvvideo", "pcm_s16le", "dv"},
                      TTargetCase{"ntsc-dv", "dvvideo", "pcm_s16le", "dv"},
                      TTargetCase{"pal-dv50", "dvvideo", "pcm_s16le", "dv"},
                      TTargetCase{"ntsc-dv50", "dvvideo", "pcm_s16le", "dv"}),
    [](const ::testing::TestParamInfo<TTargetCase>& info) {
        return QString::fromLatin1(info.param.Option).replace('-', '_').toStdString();
    });
