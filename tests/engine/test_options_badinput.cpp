// Hostile option values: every one gets a clear message (or is ignored), none crashes or hangs.
#include "test_options_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

// Every name the dispatcher handles itself, plus a few that go to the libraries.
const char* const OptionNames[] = {
    "L", "h", "loglevel", "f", "map", "map_meta_data", "t", "fs", "ss", "itsoffset", "itsscale",
    "timestamp", "metadata", "dframes", "vframes", "aframes", "timelimit", "dump", "hex", "re",
    "loop_input", "loop_output", "v", "target", "threads", "vsync", "async", "adrift_threshold",
    "dts_delta_threshold", "vglobal", "copyinkf", "programid", "vdt", "vc", "top", "dc",
    "me_threshold", "copyts", "xerror", "shortest", "intra", "vn", "sameq", "deinterlace", "psnr",
    "qphist", "force_fps", "an", "sn", "isync", "b", "vb", "ab", "r", "s", "aspect", "pix_fmt",
    "sample_fmt", "croptop", "cropbottom", "cropleft", "cropright", "padtop", "padbottom",
    "padleft", "padright", "padcolor", "qscale", "rc_override", "tvstd", "vstats_file", "vcodec",
    "acodec", "scodec", "pass", "passlogfile", "vhook", "vfilters", "intra_matrix",
    "inter_matrix", "vtag", "atag", "stag", "newvideo", "newaudio", "newsubtitle", "vlang",
    "alang", "slang", "vol", "aq", "ar", "ac", "muxdelay", "muxpreload", "absf", "vbsf", "sbsf",
    "apre", "vpre", "spre", "fpre", "g", "flags", "flags2", "partitions", "me_method",
    "deblockalpha", "psy_rd", "rc_eq", "packetsize", "sws_flags", "vqmax", "nosuchoption",
};

QStringList BadValues()
{
    return {QString(),
            QStringLiteral(" "),
            QStringLiteral("abc"),
            QStringLiteral("-5"),
            QStringLiteral("-2147483649"),
            QStringLiteral("99999999999999999999"),
            QStringLiteral("1e309"),
            QStringLiteral("nan"),
            QStringLiteral("1,,2"),
            QStringLiteral("::"),
            QStringLiteral("="),
            QStringLiteral("+-+"),
            QStringLiteral("0x"),
            QStringLiteral("1:2:3:4:5"),
            QStringLiteral("\x01\x02"),
            QStringLiteral("x").repeated(100000)};
}

} // namespace

TEST(BadOptionValues, EveryOptionAnswersWithAMessageOrIgnoresTheValue)
{
    REQUIRE_ENGINE_LIBRARIES();
    TLogCapture log(llQuiet);
    const TLogLevel level = FFLogger()->LogLevel();
    for (const char* name : OptionNames) {
        for (const QString& value : BadValues()) {
            TTestTask task;
            task.SetOption(QStringLiteral("s"), QStringLiteral("320x240"));
            try {
                task.SetOption(QString::fromLatin1(name), value);
            } catch (const FFmpegException& e) {
                EXPECT_GT(std::strlen(e.what()), 0u) << name;
            } catch (const std::exception& e) {
                ADD_FAILURE() << name << " raised a foreign error: " << e.what();
            }
        }
    }
    FFLogger()->SetLogLevel(level); // "loglevel" may have moved it
}

TEST(BadOptionValues, NumbersGetTheirMessages)
{
    REQUIRE_ENGINE_LIBRARIES();
    TTestTask task;
    auto error = [&](const char* name, const char* value) {
        return ExceptionText([&] { task.SetOption(QString::fromLatin1(name), QString::fromLatin1(value)); });
    };
    EXPECT_EQ(error("ar", "abc"), "Expected number for ar but found: abc");
    EXPECT_EQ(error("ar", ""), "Expected number for ar but found: ");
    EXPECT_EQ(error("vol", "-5"), "The value for vol was -5 which is not within 0 - 65536");
    EXPECT_EQ(error("ac", "99999999999"), "The value for ac was 99999999999 which is not within -2147483648 - 2147483647");
    EXPECT_EQ(error("ac", "-5"), "<no error>"); // not stored
    EXPECT_EQ(task.Options().AudioChannels, 2);
    EXPECT_EQ(error("qscale", "0"), "qscale must be > 0.0 and <= 255");
    EXPECT_EQ(error("qscale", "255.5"), "qscale must be > 0.0 and <= 255");
    EXPECT_EQ(error("qscale", "abc"), "qscale must be > 0.0 and <= 255");
    EXPECT_EQ(error("pass", "3"), "pass number can be only 1 or 2");
    EXPECT_EQ(error("pass", ""), "pass number can be only 1 or 2");
    EXPECT_EQ(error("padcolor", "-1"), "The value for padcolor was -1 which is not within 0 - 16777215");
    EXPECT_EQ(error("t", "-5"), "Invalid duration specification for t: -5");
    EXPECT_EQ(error("t", ""), "Invalid duration specification for t: ");
    EXPECT_EQ(error("loglevel", "chatty"), "Invalid loglevel \"chatty\"");
    EXPECT_EQ(error("vcodec", ""), "Missing codec name for option \"vcodec\"");
    EXPECT_EQ(error("metadata", "=x"), "Missing metadata key in \"=x\"");
    EXPECT_EQ(error("pix_fmt", "rgb999"), "Unknown pixel format requested: rgb999");
    EXPECT_EQ(error("sample_fmt", "s99"), "Unknown sample format requested: s99");
    EXPECT_EQ(error("vhook", "/no/such/module.so -x"),
              "Failed to add video hook function: /no/such/module.so -x");
    EXPECT_EQ(error("target", ""), "Unknown target type");
}

TEST(BadOptionValues, MapsScalesAndMatricesWithStraySeparators)
{
    REQUIRE_ENGINE_LIBRARIES();
    TTestTask task;
    auto error = [&](const char* name, const QString& value) {
        return ExceptionText([&] { task.SetOption(QString::fromLatin1(name), value); });
    };
    for (const char* bad : {"", "0", "0:", "0::1", ":1", "a:b", "0:1:2", "0:1:2:3:4", "-1:0", "0:1x"})
        EXPECT_THAT(error("map", QString::fromLatin1(bad)), StartsWith("Invalid stream map")) << bad;
    EXPECT_TRUE(task.Options().StreamMaps.empty());
    for (const char* bad : {"", "1", "1:", "1:x", "-1:2", "1:0", "1:-2", "1:2x", "1:inf"})
        EXPECT_THAT(error("itsscale", QString::fromLatin1(bad)), StartsWith("Invalid itsscale")) << bad;
    EXPECT_EQ(error("map_meta_data", QStringLiteral("0")), "Invalid metadata map \"0\": expected outfile:infile");

    EXPECT_EQ(error("intra_matrix", QString()), "Syntax error in matrix \"\" at coeff 0");
    QStringList values;
    for (int i = 0; i < 64; ++i) values << QStringLiteral("16");
    QString doubled = values.join(',');
    doubled.replace(2, 1, QStringLiteral(",,")); // "16,,16,..."
    EXPECT_EQ(error("intra_matrix", doubled),
              QStringLiteral("Syntax error in matrix \"%1\" at coeff 1").arg(doubled).toStdString());
    values[10] = QStringLiteral("99999");
    EXPECT_THAT(error("inter_matrix", values.join(',')), HasSubstr("at coeff 10"));
    EXPECT_TRUE(task.Options().IntraMatrix.empty());
    EXPECT_TRUE(task.Options().InterMatrix.empty());
}

TEST(BadOptionValues, LimitsOfMapsAreEnforced)
{
    TTestTask task;
    for (int i = 0; i < MAX_STREAM_MAPS; ++i) task.SetOption(QStringLiteral("map"), QStringLiteral("0:0"));
    EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("map"), QStringLiteral("0:0")); }),
              "Too many stream maps (at most 400)");
    for (int i = 0; i < MAX_META_DATA_MAPS; ++i)
        task.SetOption(QStringLiteral("map_meta_data"), QStringLiteral("0:0"));
    EXPECT_EQ(ExceptionText([&] { task.SetOption(QStringLiteral("map_meta_data"), QStringLiteral("0:0")); }),
              "Too many metadata maps (at most 20)");
}

TEST(BadOptionValues, CustomTextsOfAnyShape)
{
    REQUIRE_ENGINE_LIBRARIES();
    TLogCapture log(llQuiet);
    const QStringList texts = {
        QString(), QStringLiteral("<CRLF>"), QStringLiteral("<CRLF><CRLF>=<CRLF>=="),
        QStringLiteral("<CRL<CRLF>F>"), QStringLiteral("\r\r\n\n\r"), QStringLiteral("====="),
        QStringLiteral("G=<CRLF>QMIN==5<CRLF>qmax=5=5"), QStringLiteral("\x00=\x00"),
    };
    for (const QString& text : texts) {
        TTestTask task;
        for (int stage = cosNewStreams; stage <= cosOthers; ++stage) {
            if (stage == cosNewStreams) continue; // needs an output
            EXPECT_NO_THROW(task.ApplyCustomOptions(text, stage)) << text.toStdString();
        }
    }
    // a large text of unknown keys is read through in reasonable time
    QStringList lines;
    for (int i = 0; i < 20000; ++i) lines << QStringLiteral("unknown%1=%1").arg(i);
    TTestTask task;
    QElapsedTimer timer;
    timer.start();
    task.ApplyCustomOthers(lines.join(QStringLiteral("<CRLF>")));
    EXPECT_LT(timer.elapsed(), 20000);
}

TEST(BadOptionValues, PresetFilesThatAreNotPresets)
{
    REQUIRE_ENGINE_LIBRARIES();
    QTemporaryDir dir;
    TTestTask task;
    auto error = [&](const QString& path) {
        return ExceptionText([&] { task.SetOption(QStringLiteral("fpre"), path); });
    };
    EXPECT_EQ(error(dir.path()), QStringLiteral("Preset \"%1\" not found").arg(dir.path()).toStdString());
    EXPECT_EQ(error(QString()), "Preset \"\" not found");

    const QString binary = dir.filePath(QStringLiteral("binary.bin"));
    {
        QFile f(binary);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\x7f" "ELF\x02\x01\x01\x00\x00\x00", 10));
    }
    EXPECT_THAT(error(binary), HasSubstr(": Invalid syntax: "));

    const QString huge = dir.filePath(QStringLiteral("huge.preset"));
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(2 * 1024 * 1024, 'x'));
    }
    EXPECT_EQ(error(huge), QStringLiteral("Preset \"%1\" is too large").arg(huge).toStdString());
}
