// Output options for one input: the picture fit, the output file names, the join variant.
#include "PresetCatalogue.h"

#include "AVProbe.h"
#include "UtilFuncs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

TSourceFacts Source(int width, int height, double aspect, const QString& fileName = {})
{
    TSourceFacts source;
    source.FileName = fileName;
    source.Width = width;
    source.Height = height;
    source.DisplayAspect = aspect;
    return source;
}

TOutputChoice Choice(const char* formatName, int preset, const QString& dir = QStringLiteral("/tmp"))
{
    const TOutputFormat* format = FindOutputFormatByName(QString::fromLatin1(formatName));
    return {format->FormatClass, format->Index, preset, dir};
}

TOutputOptions Fitted(const char* formatName, int preset, const TSourceFacts& source)
{
    TOutputOptions options;
    ApplyPreset(options, Choice(formatName, preset), source, false);
    return options;
}

void Touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

struct Pads {
    int Top, Bottom, Left, Right;
    bool operator==(const Pads&) const = default;
};

Pads PadsOf(const TOutputOptions& o)
{
    return {o.PadTop, o.PadBottom, o.PadLeft, o.PadRight};
}

} // namespace

TEST(CatalogueFit, WiderSourceGetsBarsAboveAndBelow)
{
    // 16:9 into AVI preset 7 (320 x 240).
    const TOutputOptions o = Fitted("AVI", 7, Source(1280, 720, 16.0 / 9.0));
    EXPECT_EQ(o.FrameSize, QStringLiteral("320*180"));
    EXPECT_EQ(PadsOf(o), (Pads{30, 30, 0, 0}));
    EXPECT_EQ(o.AspectRatio, QStringLiteral("1.333"));
}

TEST(CatalogueFit, NarrowerSourceGetsBarsLeftAndRight)
{
    // 4:3 into iPod preset 1 (480 x 320): 426 wide, 54 left over, odd split kept even on the left.
    const TOutputOptions o = Fitted("iPod", 1, Source(640, 480, 4.0 / 3.0));
    EXPECT_EQ(o.FrameSize, QStringLiteral("426*320"));
    EXPECT_EQ(PadsOf(o), (Pads{0, 0, 26, 28}));
    EXPECT_EQ(o.AspectRatio, QStringLiteral("1.500"));
}

TEST(CatalogueFit, SameShapeNeedsNoPadding)
{
    const TOutputOptions o = Fitted("AVI", 7, Source(640, 480, 4.0 / 3.0));
    EXPECT_EQ(o.FrameSize, QStringLiteral("320*240"));
    EXPECT_EQ(PadsOf(o), (Pads{-1, -1, -1, -1}));
    EXPECT_EQ(o.AspectRatio, QStringLiteral("1.333"));
    EXPECT_EQ(Fitted("BlackBerry", 1, Source(960, 640, 1.5)).FrameSize, QStringLiteral("480*320"));
}

TEST(CatalogueFit, DisplayAspect)
{
    // Without a declared sample aspect the pixels are square.
    const TOutputOptions square = Fitted("AVI", 7, Source(720, 576, 0.0));
    EXPECT_EQ(square.AspectRatio, QStringLiteral("1.333"));
    EXPECT_EQ(square.FrameSize, QStringLiteral("300*240"));
    EXPECT_EQ(PadsOf(square), (Pads{0, 0, 10, 10}));
    EXPECT_EQ(Fitted("AVI", 7, Source(720, 576, -1.0)).AspectRatio, QStringLiteral("1.333"));

    // A widescreen PAL picture keeps its shape through the aspect of the padded frame.
    const TOutputOptions wide = Fitted("AVI", 7, Source(720, 576, 16.0 / 9.0));
    EXPECT_EQ(wide.FrameSize, QStringLiteral("300*240"));
    EXPECT_EQ(wide.AspectRatio, QStringLiteral("1.896"));
}

TEST(CatalogueFit, OriginalPresetsKeepThePicture)
{
    for (const auto& [format, preset] : {std::pair{"AVI", 2}, {"MP4", 14}, {"RM", 0}, {"MOV", 8}}) {
        const TOutputOptions o = Fitted(format, preset, Source(1280, 720, 16.0 / 9.0));
        EXPECT_EQ(o.FrameSize, QString()) << format;
        EXPECT_EQ(o.AspectRatio, QString()) << format;
        EXPECT_EQ(PadsOf(o), (Pads{-1, -1, -1, -1})) << format;
    }
}

TEST(CatalogueFit, SourcesWithoutUsableSize)
{
    // Zero or absent sizes (audio only, broken headers) skip the fit; the rest still applies.
    for (const TSourceFacts& source : {Source(0, 480, 0.0), Source(640, 0, 1.333),
                                       Source(-1, -1, -1.0), Source(-640, 480, 0.0)}) {
        const TOutputOptions o = Fitted("AVI", 7, source);
        EXPECT_EQ(o.FrameSize, QString());
        EXPECT_EQ(o.AspectRatio, QString());
        EXPECT_EQ(PadsOf(o), (Pads{-1, -1, -1, -1}));
        EXPECT_EQ(o.VideoBitrate, 768000);
    }
    TOutputOptions untouched;
    EXPECT_FALSE(FitFrame(untouched, Source(640, 480, 0.0), 0, 240));
    EXPECT_EQ(untouched, TOutputOptions());
}

TEST(CatalogueFit, ExtremeShapesNeverGiveAnEmptyPicture)
{
    const TOutputOptions flat = Fitted("AVI", 7, Source(4000, 2, 0.0));
    EXPECT_EQ(flat.FrameSize, QStringLiteral("320*2"));
    EXPECT_EQ(PadsOf(flat), (Pads{118, 120, 0, 0}));
    const TOutputOptions tall = Fitted("AVI", 7, Source(2, 4000, 0.0));
    EXPECT_EQ(tall.FrameSize, QStringLiteral("2*240"));
    EXPECT_EQ(tall.PadLeft + 2 + tall.PadRight, 320);
    // Large sources do not overflow the products.
    EXPECT_EQ(Fitted("MPEG", 0, Source(2000000000, 1000000000, 0.0)).FrameSize, QStringLiteral("1920*960"));
}

TEST(CatalogueSource, FactsFromProbeAndFromListTexts)
{
    TVideoStreamInfo video;
    video.Width = 1280;
    video.Height = 720;
    video.DisplayAspect = 0.0f;
    TAudioStreamInfo audio;
    audio.BitRate = 192000;
    const TSourceFacts facts = SourceFactsFromProbe(QStringLiteral("/m/a.mkv"), &video, &audio);
    EXPECT_EQ(facts.Width, 1280);
    EXPECT_EQ(facts.Height, 720);
    EXPECT_EQ(facts.DisplayAspect, 0.0);
    EXPECT_EQ(facts.AudioBitrate, 192000);
    const TSourceFacts none = SourceFactsFromProbe(QStringLiteral("/m/a.mp3"), nullptr, nullptr);
    EXPECT_EQ(none.Width, -1);
    EXPECT_EQ(none.AudioBitrate, -1);

    const TSourceFacts row = SourceFactsFromTexts(QStringLiteral("1280x720"), QStringLiteral("1.77778"));
    EXPECT_EQ(row.Width, 1280);
    EXPECT_EQ(row.Height, 720);
    EXPECT_DOUBLE_EQ(row.DisplayAspect, 1.77778);
    for (const auto& [size, aspect] : {std::pair{"", ""}, {"1280", "x"}, {"axb", "1"}, {"1x2x3", "0"}}) {
        const TSourceFacts bad = SourceFactsFromTexts(QString::fromLatin1(size), QString::fromLatin1(aspect));
        EXPECT_EQ(bad.Width, -1) << size;
        EXPECT_EQ(bad.Height, -1) << size;
    }
}

TEST(CatalogueNames, OutputNameTakesExtensionAndFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QStringList taken;
    TOutputOptions o;
    ASSERT_TRUE(BuildOutputOptions(Choice("MP3", 2, dir.path()),
                                   Source(-1, -1, -1, QStringLiteral("/music/My Song.flac")), taken, o));
    EXPECT_EQ(o.FileName, dir.path() + QStringLiteral("/My Song.mp3"));
    EXPECT_EQ(o.AudioBitrate, 256000);
    EXPECT_TRUE(o.DisableVideo);
    EXPECT_EQ(taken, QStringList{QStringLiteral("My Song.mp3")});

    // Several dots: only the last extension goes; no extension: one is added.
    ASSERT_TRUE(BuildOutputOptions(Choice("AVI", 3, dir.path() + u'/'),
                                   Source(640, 480, 0, QStringLiteral("/v/clip.part1.mov")), taken, o));
    EXPECT_EQ(o.FileName, dir.path() + QStringLiteral("/clip.part1.avi"));
    ASSERT_TRUE(BuildOutputOptions(Choice("iPad", 0, dir.path()),
                                   Source(640, 480, 0, QStringLiteral("/v/recording")), taken, o));
    EXPECT_EQ(o.FileName, dir.path() + QStringLiteral("/recording.mp4"));
    EXPECT_EQ(o.FrameSize, QStringLiteral("640*480"));

    // A name that is all extension keeps it as its title; no name at all gets a plain one.
    ASSERT_TRUE(BuildOutputOptions(Choice("AVI", 3, dir.path()),
                                   Source(640, 480, 0, QStringLiteral("/v/.hidden")), taken, o));
    EXPECT_EQ(o.FileName, dir.path() + QStringLiteral("/.hidden.avi"));
    ASSERT_TRUE(BuildOutputOptions(Choice("AVI", 3, dir.path()), Source(640, 480, 0, QString()), taken, o));
    EXPECT_EQ(o.FileName, dir.path() + QStringLiteral("/Output.avi"));

    // A format outside the table drops the extension and sets only the class field.
    TOutputOptions outside;
    ASSERT_TRUE(BuildOutputOptions({fcVideo, 12, 0, dir.path()},
                                   Source(640, 480, 0, QStringLiteral("/v/other.mov")), taken, outside));
    TOutputOptions expected;
    expected.FileName = dir.path() + QStringLiteral("/other");
    EXPECT_EQ(outside, expected);
}

TEST(CatalogueNames, ExistingFilesAreNeverOverwritten)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Touch(dir.filePath(QStringLiteral("clip.avi")));
    Touch(dir.filePath(QStringLiteral("clip(1).avi")));
    // The input itself lies in the output folder with the output's extension.
    const QString input = dir.filePath(QStringLiteral("clip.avi"));
    QStringList taken;
    TOutputOptions o;
    ASSERT_TRUE(BuildOutputOptions(Choice("AVI", 3, dir.path()), Source(640, 480, 0, input), taken, o));
    EXPECT_EQ(o.FileName, dir.filePath(QStringLiteral("clip(2).avi")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2); // nothing written yet
}

TEST(CatalogueNames, SameBaseNameTwiceInOneRun)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Touch(dir.filePath(QStringLiteral("clip(1).mp4")));
    QStringList taken;
    TOutputOptions first, second, third, fourth;
    const TOutputChoice choice = Choice("iPod", 5, dir.path());
    ASSERT_TRUE(BuildOutputOptions(choice, Source(640, 480, 0, QStringLiteral("/a/clip.avi")), taken, first));
    ASSERT_TRUE(BuildOutputOptions(choice, Source(640, 480, 0, QStringLiteral("/b/clip.mov")), taken, second));
    ASSERT_TRUE(BuildOutputOptions(choice, Source(640, 480, 0, QStringLiteral("/c/clip.wmv")), taken, third));
    // Same name in other letter case: one file on a case-blind card. The disk here tells
    // letter cases apart, so "clip(1).mp4" does not block "CLIP(1).mp4".
    ASSERT_TRUE(BuildOutputOptions(choice, Source(640, 480, 0, QStringLiteral("/d/CLIP.flv")), taken, fourth));
    EXPECT_EQ(first.FileName, dir.filePath(QStringLiteral("clip.mp4")));
    EXPECT_EQ(second.FileName, dir.filePath(QStringLiteral("clip(2).mp4"))); // (1) is on disk
    EXPECT_EQ(third.FileName, dir.filePath(QStringLiteral("clip(3).mp4")));
    EXPECT_EQ(fourth.FileName, dir.filePath(QStringLiteral("CLIP(1).mp4")));
    EXPECT_EQ(taken.size(), 4);
}

TEST(CatalogueNames, NoFreeNameOrNoFolderIsAnError)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TOutputOptions o;
    o.FileName = QStringLiteral("kept");
    QStringList taken;
    QString error;
    EXPECT_FALSE(BuildOutputOptions(Choice("AVI", 3, QString()), Source(640, 480, 0, QStringLiteral("/a/x.mov")),
                                    taken, o, &error));
    EXPECT_EQ(error, QStringLiteral("No output folder is chosen."));
    EXPECT_EQ(o.FileName, QStringLiteral("kept"));

    Touch(dir.filePath(QStringLiteral("x.avi")));
    for (int i = 1; i <= 32767; ++i)
        Touch(dir.filePath(QStringLiteral("x(%1).avi").arg(i)));
    error.clear();
    EXPECT_FALSE(BuildOutputOptions(Choice("AVI", 3, dir.path()), Source(640, 480, 0, QStringLiteral("/a/x.mov")),
                                    taken, o, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("x.avi"))) << error.toStdString();
    EXPECT_EQ(o.FileName, QStringLiteral("kept"));
    EXPECT_TRUE(taken.isEmpty());
}

TEST(CatalogueJoin, MergedOutput)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Touch(dir.filePath(QStringLiteral("Output_Merge.avi")));
    QStringList taken;
    TOutputOptions o;
    const TSourceFacts firstRow = SourceFactsFromTexts(QStringLiteral("1280x720"), QStringLiteral("1.77778"));
    ASSERT_TRUE(BuildJoinOutputOptions(Choice("AVI", 7, dir.path()), firstRow, taken, o));
    EXPECT_EQ(o.FileName, dir.filePath(QStringLiteral("Output_Merge(1).avi")));
    EXPECT_TRUE(o.Join);
    EXPECT_FALSE(o.DisableVideo);
    EXPECT_EQ(o.FrameSize, QStringLiteral("320*180"));
    EXPECT_EQ(o.AspectRatio, QStringLiteral("1.333"));

    // An unreadable first row: no fit, the rest of the preset still applies.
    TOutputOptions blind;
    ASSERT_TRUE(BuildJoinOutputOptions(Choice("AVI", 7, dir.path()), SourceFactsFromTexts("0x0", "0"), taken, blind));
    EXPECT_EQ(blind.FrameSize, QString());
    EXPECT_EQ(blind.VideoBitrate, 768000);
    EXPECT_EQ(blind.FileName, dir.filePath(QStringLiteral("Output_Merge(2).avi")));

    TOutputOptions wma;
    TSourceFacts withAudio = firstRow;
    withAudio.AudioBitrate = 320000;
    ASSERT_TRUE(BuildJoinOutputOptions(Choice("WMA", 4, dir.path()), withAudio, taken, wma));
    EXPECT_EQ(wma.AudioBitrate, -1);
    EXPECT_TRUE(wma.DisableVideo);
    EXPECT_EQ(wma.FileName, dir.filePath(QStringLiteral("Output_Merge.wma")));
}
