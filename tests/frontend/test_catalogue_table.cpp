// The catalogue's tables: formats, list texts, settings keys and the fields each preset sets.
#include "PresetCatalogue.h"

#include "AppSettings.h"

#include <QSet>

#include <gtest/gtest.h>

#include <ostream>

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

TOutputOptions Applied(const char* formatName, int presetIndex, const TSourceFacts& source = {},
                       bool join = false)
{
    const TOutputFormat* format = FindOutputFormatByName(QString::fromLatin1(formatName));
    EXPECT_NE(format, nullptr) << formatName;
    TOutputOptions options;
    if (format)
        ApplyPreset(options, {format->FormatClass, format->Index, presetIndex, {}}, source, join);
    return options;
}

QString ListText(const char* formatName, int presetIndex)
{
    const TOutputFormat* format = FindOutputFormatByName(QString::fromLatin1(formatName));
    return format ? PresetListTexts(*format).value(presetIndex) : QString();
}

} // namespace

TEST(CatalogueTable, FormatsAndPresetCounts)
{
    EXPECT_EQ(OutputFormats().size(), 24u);
    EXPECT_EQ(PresetCount(), 177);
    EXPECT_EQ(OutputFormatsOfClass(fcVideo).size(), 9u);
    EXPECT_EQ(OutputFormatsOfClass(fcDevice).size(), 7u);
    EXPECT_EQ(OutputFormatsOfClass(fcAudio).size(), 8u);
    EXPECT_TRUE(OutputFormatsOfClass(3).empty());
    EXPECT_TRUE(OutputFormatsOfClass(-1).empty());

    const std::pair<const char*, size_t> counts[] = {
        {"AVI", 29}, {"MP4", 19}, {"FLV", 5}, {"SWF", 5}, {"MPEG", 14}, {"RM", 5},
        {"WMV", 18}, {"MOV", 10}, {"3GP", 5}, {"iPod", 10}, {"iPhone", 3}, {"AppleTV", 3},
        {"PSP", 3}, {"BlackBerry", 3}, {"MobilePhone", 4}, {"iPad", 3}, {"WAV", 5},
        {"MP3", 4}, {"WMA", 5}, {"OGG", 5}, {"AAC", 5}, {"M4A", 2}, {"FLAC", 9}, {"MP2", 3},
    };
    for (const auto& [name, count] : counts) {
        const TOutputFormat* format = FindOutputFormatByName(QString::fromLatin1(name));
        ASSERT_NE(format, nullptr) << name;
        EXPECT_EQ(format->Presets.size(), count) << name;
        // Each format is found again at its own class and index.
        EXPECT_EQ(FindOutputFormat(format->FormatClass, format->Index), format) << name;
    }
}

TEST(CatalogueTable, FormatLookupByNameIgnoresCase)
{
    EXPECT_STREQ(FindOutputFormatByName("mp3")->Name, "MP3");
    EXPECT_STREQ(FindOutputFormatByName("IPOD")->Name, "iPod");
    EXPECT_STREQ(FindOutputFormatByName("appletv")->Name, "AppleTV");
    EXPECT_STREQ(FindOutputFormatByName("3gp")->Name, "3GP");
    EXPECT_STREQ(FindOutputFormatByName(" Flac ")->Name, "FLAC");
    EXPECT_EQ(FindOutputFormatByName("mkv"), nullptr);
    EXPECT_EQ(FindOutputFormatByName(""), nullptr);
    EXPECT_EQ(FindOutputFormatByName("mp"), nullptr);
    EXPECT_EQ(FindOutputFormat(fcVideo, 9), nullptr);
    EXPECT_EQ(FindOutputFormat(fcAudio, -1), nullptr);
    EXPECT_EQ(FindPreset(fcVideo, 0, 29), nullptr);
    EXPECT_EQ(FindPreset(fcVideo, 0, -1), nullptr);
}

TEST(CatalogueTable, ExtensionPerFormat)
{
    const std::pair<const char*, const char*> expected[] = {
        {"AVI", ".avi"}, {"MP4", ".mp4"}, {"FLV", ".flv"}, {"SWF", ".swf"}, {"MPEG", ".mpg"},
        {"RM", ".rm"}, {"WMV", ".wmv"}, {"MOV", ".mov"}, {"3GP", ".3gp"}, {"iPod", ".mp4"},
        {"iPhone", ".mp4"}, {"AppleTV", ".mp4"}, {"PSP", ".mp4"}, {"BlackBerry", ".mp4"},
        {"MobilePhone", ".mp4"}, {"iPad", ".mp4"}, {"WAV", ".wav"}, {"MP3", ".mp3"},
        {"WMA", ".wma"}, {"OGG", ".ogg"}, {"AAC", ".aac"}, {"M4A", ".m4a"}, {"FLAC", ".flac"},
        {"MP2", ".mp2"},
    };
    for (const auto& [name, extension] : expected) {
        const TOutputFormat* format = FindOutputFormatByName(QString::fromLatin1(name));
        ASSERT_NE(format, nullptr);
        EXPECT_EQ(FormatExtension(format->FormatClass, format->Index), QString::fromLatin1(extension)) << name;
    }
    EXPECT_EQ(FormatExtension(fcDevice, 7), QString());
    EXPECT_EQ(FormatExtension(5, 0), QString());
}

// Every format reads its own settings key: a swapped key would select another list's preset.
TEST(CatalogueTable, ChoiceFromSettingsUsesEachFormatsOwnKey)
{
    TAppSettings settings;
    int value = 100;
    for (const TOutputFormat& format : OutputFormats())
        settings.*(format.PresetKey) = value++;
    settings.OutputFileDir = QStringLiteral("/out/");

    value = 100;
    for (const TOutputFormat& format : OutputFormats()) {
        settings.OutputFormatClass = quint8(format.FormatClass);
        settings.OutputVideoFormat = settings.OutputDeviceFormat = settings.OutputAudioFormat = 0;
        (format.FormatClass == fcVideo    ? settings.OutputVideoFormat
         : format.FormatClass == fcDevice ? settings.OutputDeviceFormat
                                          : settings.OutputAudioFormat) = quint8(format.Index);
        const TOutputChoice choice = OutputChoiceFromSettings(settings);
        EXPECT_EQ(choice.Format(), &format) << format.Name;
        EXPECT_EQ(choice.PresetIndex, value++) << format.Name;
        EXPECT_EQ(choice.OutputDir, QStringLiteral("/out/"));
        EXPECT_EQ(QString::fromLatin1(format.PresetKeyName), QStringLiteral("Output%1Preset").arg(format.Name));
        EXPECT_TRUE(SettingsKeyNames().contains(QString::fromLatin1(format.PresetKeyName))) << format.Name;
    }

    settings.OutputFormatClass = 3; // outside the table: nothing is chosen
    EXPECT_EQ(OutputChoiceFromSettings(settings).Format(), nullptr);
    EXPECT_EQ(OutputChoiceFromSettings(settings).PresetIndex, -1);
    EXPECT_EQ(FormatExtension(settings), QString());
    settings.OutputFormatClass = fcAudio;
    settings.OutputAudioFormat = 8;
    EXPECT_EQ(FormatExtension(settings), QString());
    settings.OutputAudioFormat = 6;
    EXPECT_EQ(FormatExtension(settings), QStringLiteral(".flac"));
}

TEST(CatalogueTable, ListTextsVerbatim)
{
    const std::tuple<const char*, int, const char*> texts[] = {
        {"AVI", 0, "HD Video 720p: MPEG4 (DivX, XviD), 4500 kbps; Audio: MP3, 192 kbps"},
        {"AVI", 10, "BlackBerry 81xx - (MPEG4, 560 kbps, 320x240)"},
        {"AVI", 21, "Nindendo Wii Clip"},
        {"AVI", 22, "SanDisk Sansa View - Hight Quality - (MPEG4, 640x480; MP3, 128kbps)"},
        {"AVI", 28, "Video: Uncompressed, Original; Audio: PCM"},
        {"MP4", 0, "Apple iPod - (H.264, 320x240)"},
        {"MP4", 3, "Apple iPhone/iTouch - (H.264,640x420)"},
        {"MP4", 18, "SanDisk Sansa View - Normal Quality - (MPEG4, 320x240; MPEG2/4 Audio, 96kbps)"},
        {"FLV", 0, "FLV - Best Quality - (H.264, 1200 kbps, Original; MP3, 160 kbps)"},
        {"FLV", 4, "FLV - Least Quality - (H.263, 480 kbps, 176x144, 15 fps; MP3, 24 kbps)"},
        {"SWF", 0, "SWF - Best Quality - (H.263, Original; MP3, 160 kbps)"},
        {"SWF", 4, "SWF - Least Quality - (H.263, 480 kbps, 176x144, 15 fps; MP3, 24 kbps)"},
        {"MPEG", 0, "HD Video 1080p - (MPEG2, 15000 kbps, 1920x1080, 29.97 fps)"},
        {"MPEG", 13, "VCD PAL compatible - (MPEG1, 1150 kbps, 352x288, 25 fps)"},
        {"RM", 0, "RM - Best Quality - (1024 kbps, Original)"},
        {"RM", 3, "RM - Low Quality  - (256 kbps, Original)"},
        {"RM", 4, "RM - Least Quality  - (128 kbps, Original)"},
        {"WMV", 0, "HD Video 1080p: WMV 9, 9000 kbps; Audio: WMA Pro, 384kbps"},
        {"WMV", 17, "Windows Media Video 9 Low Quality"},
        {"MOV", 0, "Apple TV - Best Quality - (H.264, Original; MP2/4 (AAC), 320 kbps)"},
        {"MOV", 9, "Quick Time - Economy Quality - (Sorenson Video; IMA ADPCM)"},
        {"3GP", 0, "3GPP - Extended Mobile Support - (H.263, 240 kbps, 176x144, 12 fps; AMR)"},
        {"3GP", 4, "3GPP - Mobile Smallest Size with Audio - (MPEG4, 44 kbps, 128x96, 10 fps; AMR)"},
        {"iPod", 0, "iPod Highest Quality (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)"},
        {"iPod", 1, "iPod Touch High Quality (H264, 30 fps, 480x320, 2500 kbps; AAC - 160 kbps) "},
        {"iPod", 3, "iPod Touch Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps) "},
        {"iPod", 9, "iPod Nano Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)"},
        {"iPhone", 0, "iPhone High Quality (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)"},
        {"iPhone", 2, "iPhone Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)"},
        {"AppleTV", 0, "AppleTV High Quality (H264, 24 fps, 1280x720, 5000 kbps; AAC - 160 kbps)"},
        {"AppleTV", 2, "AppleTV Economy Quality (H264, 24 fps, 480x360, 1000 kbps; AAC - 128 kbps)"},
        {"PSP", 0, "PSP Highest Quality (H264, 30 fps, 480x272, 1500 kbps; AAC - 160 kbps)"},
        {"PSP", 2, "PSP Economy Quality (H264, 15 fps, 368x208, 500 kbps; AAC - 128 kbps)"},
        {"BlackBerry", 0, "BlackBerry High Quality (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)"},
        {"BlackBerry", 2, "BlackBerry Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)"},
        {"MobilePhone", 0, "Mobile MP4 High Quality (MPEG4, 15 fps, 320x240, 600 kbps; AAC - 192 kbps)"},
        {"MobilePhone", 3, "Mobile MP4 Economy Quality (MPEG4, 10 fps, 128x96, 119 kbps; AAC - 64 kbps)"},
        {"iPad", 0, "iPad High Quality (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)"},
        {"iPad", 2, "iPad Economy Quality (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps)"},
        {"WAV", 0, "For Mobiles - PCM: 11025 Hz, Mono, 16 bits"},
        {"WAV", 2, "FM Radio Quality - PCM: 22050 Hz, Sterro, 24 bits"},
        {"WAV", 3, "HiFi Quality - PCM: 48000Hz, Stereo, 32 bits"},
        {"WAV", 4, "Uncompressed (CD Audio Quality)"},
        {"MP3", 0, "For Mobile - MP3: 44100 Hz, Stereo, 112 kbps"},
        {"MP3", 3, "Best Quality - MP3: 48000 Hz, Stereo, 320 kbps"},
        {"WMA", 0, "For Media Player Best Quality"},
        {"WMA", 4, "WMA Losslesss Audio"},
        {"OGG", 0, "Telephone Quality - Ogg Vorbis: Quality - 4.97; 11025 Hz, Mono"},
        {"OGG", 4, "HiFi Quality - Ogg Vorbis: Quality - 8.05; 48000 Hz, Stereo"},
        {"AAC", 0, "For Mobiles - MPEG2/4 LC: 16000 Hz, Mono, 96 kbps"},
        {"AAC", 4, "HiFi Quality - MPEG2/4 LC: 48000 Hz, Stereo, 256 kbps"},
        {"M4A", 0, "Normal Quality - MPEG2/4 LC: 44100 Hz, Stereo, 96 kbps"},
        {"M4A", 1, "Best Quality - MPEG2/4 LC: 48000 Hz, Stereo, 256 kbps"},
        {"FLAC", 0, "Compression Level 0"},
        {"FLAC", 5, "Compression Level 5 (Default)"},
        {"FLAC", 8, "Compression Level 8"},
        {"MP2", 0, "For Mobiles - MPEG layer-2: 22050 Hz, Mono, 96 kbps"},
        {"MP2", 2, "FM Quality - MPEG layer-2: 22050 Hz, Stereo, 128 kbps"},
    };
    for (const auto& [format, index, text] : texts)
        EXPECT_EQ(ListText(format, index), QString::fromLatin1(text)) << format << " " << index;

    // No two entries of one list look alike, or the user could not tell them apart.
    for (const TOutputFormat& format : OutputFormats()) {
        const QStringList list = PresetListTexts(format);
        EXPECT_EQ(list.size(), int(format.Presets.size()));
        EXPECT_EQ(QSet<QString>(list.begin(), list.end()).size(), list.size()) << format.Name;
    }
}

TEST(CatalogueTable, OptionTexts)
{
    const QString a = QString::fromLatin1(PresetOptionsA);
    const QStringList linesA = a.split(QStringLiteral("\r\n"));
    ASSERT_EQ(linesA.size(), 18); // 17 lines, each ended by a break
    EXPECT_EQ(linesA.last(), QString());
    EXPECT_EQ(linesA.first(), QStringLiteral("flags=+loop"));
    EXPECT_EQ(linesA[3], QStringLiteral("deblockbeta=0crf=24"));
    EXPECT_EQ(linesA[16], QStringLiteral("i_qfactor=0.71"));
    EXPECT_EQ(a.count(u'\n'), a.count(QStringLiteral("\r\n")));

    const QString b = QString::fromLatin1(PresetOptionsB);
    const QStringList linesB = b.split(QStringLiteral("\r\n"));
    ASSERT_EQ(linesB.size(), 23); // no break after the last line
    EXPECT_EQ(linesB[2], QStringLiteral("partitions=+parti4x4+partp8x8+partb8x8"));
    EXPECT_EQ(linesB[17], QStringLiteral("rc_eq='blurCplx^(1-qComp)'"));
    EXPECT_EQ(linesB.last(), QStringLiteral("level=21"));

    int withA = 0, withB = 0;
    for (const TOutputFormat& format : OutputFormats()) {
        for (const TPreset& preset : format.Presets) {
            withA += preset.Extras.ExtOptions == PresetOptionsA;
            withB += preset.Extras.ExtOptions == PresetOptionsB;
            if (preset.Extras.ExtOptions == PresetOptionsB) {
                EXPECT_STREQ(preset.Extras.ForceFormat, "psp") << preset.Text;
            }
        }
    }
    EXPECT_EQ(withA, 22); // iPod, iPhone, AppleTV, iPad and three MP4 presets
    EXPECT_EQ(withB, 7);  // PSP and four MP4 presets
    EXPECT_EQ(Applied("MP4", 3).ExtOptions, a);
    EXPECT_EQ(Applied("MP4", 2).ExtOptions, QString());
    EXPECT_EQ(Applied("MP4", 8).ExtOptions, b);
    EXPECT_EQ(Applied("MP4", 8).ForceFormat, QStringLiteral("psp"));
}

TEST(CatalogueTable, UnusualValuesAreKept)
{
    EXPECT_EQ(Applied("WAV", 4).AudioSampleRate, 44000);
    EXPECT_EQ(Applied("AAC", 1).AudioSampleRate, 22500);
    EXPECT_EQ(Applied("AAC", 2).AudioSampleRate, 22500);
    EXPECT_EQ(Applied("M4A", 1).AudioSampleRate, 44800);
    EXPECT_EQ(Applied("AVI", 17).AudioBitrate, 705000);
    EXPECT_EQ(Applied("AVI", 10).VideoBitrate, 460000); // the list text says 560 kbps
    EXPECT_EQ(Applied("AVI", 10).VideoTag, QStringLiteral("FMP4"));
    EXPECT_EQ(Applied("AVI", 27).VideoTag, QStringLiteral("DIVX"));
    EXPECT_EQ(Applied("FLV", 1).VideoBitrate, 930000);
    EXPECT_EQ(Applied("iPod", 8).VideoBitrate, 1000000);
    EXPECT_EQ(Applied("iPod", 8).FrameRate, QStringLiteral("24"));
    EXPECT_EQ(Applied("iPod", 9).VideoBitrate, 500000);
    EXPECT_EQ(Applied("iPod", 9).FrameRate, QStringLiteral("15"));
    EXPECT_EQ(Applied("MP4", 4).FrameRate, QStringLiteral("30000/1001"));
    EXPECT_EQ(Applied("3GP", 4).AudioBitrate, 6700);
    EXPECT_EQ(Applied("MOV", 6).VideoBitrate, 4014080);

    // FLV preset 4 fits into 276 x 144, whatever its text says.
    const TOutputOptions flv = Applied("FLV", 4, SourceFactsFromTexts("640x480", "1.333333"));
    EXPECT_EQ(flv.FrameSize, QStringLiteral("192*144"));
    EXPECT_EQ(flv.PadLeft + flv.FrameSize.section(u'*', 0, 0).toInt() + flv.PadRight, 276);
}

TEST(CatalogueTable, EmptyCellsSetNothing)
{
    const TOutputOptions initial;
    // Audio codec left to the container, channels and rates set.
    const TOutputOptions mp2 = Applied("MP2", 0);
    EXPECT_EQ(mp2.AudioCodec, QString());
    EXPECT_EQ(mp2.AudioChannels, 1);
    EXPECT_EQ(mp2.VideoBitrate, -1);
    EXPECT_TRUE(mp2.DisableVideo);

    // No channel count, no bit rate: the quality option governs.
    const TOutputOptions ogg = Applied("OGG", 4);
    EXPECT_EQ(ogg.AudioChannels, -1);
    EXPECT_EQ(ogg.AudioBitrate, -1);
    EXPECT_EQ(ogg.ExtOptions, QStringLiteral("aq=8.05"));

    TOutputOptions flac = Applied("FLAC", 7);
    EXPECT_EQ(flac.AudioCodec, QStringLiteral("flac"));
    EXPECT_EQ(flac.ExtOptions, QStringLiteral("compression_level=7"));
    flac.AudioCodec.clear();
    flac.ExtOptions.clear();
    flac.DisableVideo = false;
    EXPECT_EQ(flac, initial);

    // Raw video has no bit rate; RM leaves the audio alone.
    EXPECT_EQ(Applied("AVI", 28).VideoBitrate, -1);
    const TOutputOptions rm = Applied("RM", 2);
    EXPECT_EQ(rm.AudioSampleRate, -1);
    EXPECT_EQ(rm.AudioCodec, QString());
    EXPECT_EQ(rm.VideoBitrate, 512000);
}

TEST(CatalogueTable, TargetsRatesAndPresets)
{
    const TOutputOptions dvd = Applied("MPEG", 2);
    EXPECT_EQ(dvd.Target, 3);
    EXPECT_EQ(dvd.TargetNorm, 2);
    EXPECT_EQ(dvd.VideoCodec, QString()); // the target chooses it
    EXPECT_EQ(Applied("MPEG", 11).Target, 2);
    EXPECT_EQ(Applied("MPEG", 11).TargetNorm, 1);
    EXPECT_EQ(Applied("MPEG", 12).Target, 1);
    EXPECT_EQ(Applied("MPEG", 1).Target, 0);

    const TOutputOptions hd = Applied("MPEG", 0);
    EXPECT_EQ(hd.MinRate, 15000000);
    EXPECT_EQ(hd.MaxRate, 15000000);
    EXPECT_EQ(hd.BufferSize, 6881000);
    EXPECT_EQ(Applied("MPEG", 1).BufferSize, -1);
    EXPECT_EQ(Applied("MPEG", 8).BufferSize, 357000);

    EXPECT_EQ(Applied("BlackBerry", 1).VideoPreset, QStringLiteral("libx264-default"));
    EXPECT_EQ(Applied("MOV", 3).VideoPreset, QString());
}

TEST(CatalogueTable, ClassDecidesVideo)
{
    TOutputOptions options;
    options.DisableVideo = true;
    ApplyPreset(options, {fcVideo, 0, 3, {}}, {}, false);
    EXPECT_FALSE(options.DisableVideo);
    EXPECT_TRUE(Applied("OGG", 0).DisableVideo);
    EXPECT_FALSE(Applied("iPod", 0).DisableVideo);

    // A preset index or format outside the tables sets only the class field.
    TOutputOptions outside;
    ApplyPreset(outside, {fcAudio, 1, 4, {}}, {}, false);
    TOutputOptions expected;
    expected.DisableVideo = true;
    EXPECT_EQ(outside, expected);
    ApplyPreset(outside, {fcAudio, 8, 0, {}}, {}, false);
    EXPECT_EQ(outside, expected);
    TOutputOptions device;
    ApplyPreset(device, {fcDevice, 0, -1, {}}, {}, false);
    EXPECT_EQ(device, TOutputOptions());
}

TEST(CatalogueTable, AudioBitrateFromSource)
{
    TSourceFacts source;
    source.AudioBitrate = 320000;
    EXPECT_EQ(Applied("WMA", 4, source).AudioBitrate, 320000);
    EXPECT_EQ(Applied("WMA", 4, source, true).AudioBitrate, -1); // joined inputs differ
    EXPECT_EQ(Applied("WMA", 3, source).AudioBitrate, 128000);   // others keep theirs
    source.AudioBitrate = 0;
    EXPECT_EQ(Applied("WMA", 4, source).AudioBitrate, -1);
    source.AudioBitrate = -1;
    EXPECT_EQ(Applied("WMA", 4, source).AudioBitrate, -1);
    EXPECT_EQ(Applied("WMA", 4, source).AudioSampleRate, 48000);
}
