#include "DVDTitles.h"

#include "DVDPlugIn.h"
#include "DVDRemoteReader.h"
#include "UtilFuncs.h"

#include <algorithm>
#include <cmath>

namespace {

QString Text(const char* field, std::size_t size)
{
    // The plug-in may fill the whole field without a terminator.
    return QString::fromLocal8Bit(field, qsizetype(strnlen(field, size)));
}

template <std::size_t N>
QString Text(const char (&field)[N])
{
    return Text(field, N);
}

QString Hex(int value)
{
    return QString::number(unsigned(value), 16).toUpper();
}

int AudioEntries(const TDVDTitleInfo& info)
{
    return std::clamp(info.AudioCount, 0, DVDMaxAudio);
}

int SubtitleEntries(const TDVDTitleInfo& info)
{
    return std::clamp(info.SubtitleCount, 0, DVDMaxSubtitles);
}

QString TwoDecimals(double value)
{
    return QString::asprintf("%.2f", value);
}

} // namespace

QString DVDTitleItemText(int index, const TDVDTitleInfo& info)
{
    const double seconds = std::isfinite(info.Length) ? std::nearbyint(info.Length) : 0.0;
    return QStringLiteral("Title #%1 Length: %2")
        .arg(index + 1)
        .arg(FormatSecondsShort(int(std::clamp(seconds, 0.0, 2147483647.0))));
}

QString DVDInvalidTitleText(int index)
{
    return QStringLiteral("Title #") + QString::number(index + 1) + QStringLiteral(" is invalid");
}

QStringList DVDTitleReport(int index, const TDVDTitleInfo& info)
{
    QStringList lines;
    lines << QStringLiteral("Title #%1 Length: %2").arg(index + 1).arg(TwoDecimals(info.Length));
    lines << QStringLiteral("  Video Type[%1], ID[0x%2], Frame Size[%3x%4], Norm[%5], Aspect[%6]")
                 .arg(CodecText(info.VideoType), Hex(info.VideoID))
                 .arg(info.Width)
                 .arg(info.Height)
                 .arg(NormText(info.Norm), AspectText(info.Aspect));
    lines << QStringLiteral("  AduioCount: %1").arg(info.AudioCount);
    for (int j = 0; j < AudioEntries(info); ++j) {
        const TDVDAudioInfo& a = info.Audio[j];
        lines << QStringLiteral("    Audio #%1 Type[%2], ID[0x%3], SampleRate[%4], Channels[%5], Language[%6, %7]")
                     .arg(j)
                     .arg(CodecText(a.Type), Hex(a.ID))
                     .arg(a.SampleRate)
                     .arg(a.Channels)
                     .arg(Text(a.LanguageCode), Text(a.LanguageName));
    }
    lines << QStringLiteral("  SubtitleCount: %1").arg(info.SubtitleCount);
    for (int j = 0; j < SubtitleEntries(info); ++j) {
        const TDVDSubtitleInfo& s = info.Subtitle[j];
        lines << QStringLiteral("    Subtitle #%1 Type[%2], ID[0x%3], Language[%4, %5]")
                     .arg(j)
                     .arg(CodecText(s.Type), Hex(s.ID), Text(s.LanguageCode), Text(s.LanguageName));
    }
    lines << QStringLiteral("  ChapterCount: %1").arg(info.ChapterCount);
    if (info.ChapterCount < DVDMaxChapters)
        for (int k = 1; k <= info.ChapterCount; ++k)
            lines << QStringLiteral("    Chapter #%1 Length: %2").arg(k).arg(TwoDecimals(info.ChapterLength[k - 1]));
    lines << (info.IsValid ? QStringLiteral("  IsValid: True") : QStringLiteral("  IsValid: False"));
    return lines;
}

bool ReadDVDTitles(const QString& root, TDVDTitles& titles, QString* message, const std::atomic<bool>* cancel)
{
    const TDVDRootRead disc = ReadDVDRoot(root, cancel);
    const int count = disc.Cancelled ? 0 : disc.Count;
    if (count <= 0) {
        if (message)
            *message = disc.Cancelled ? QString() : !disc.Error.isEmpty() ? disc.Error : DVDNoTitlesText;
        return false;
    }
    TDVDTitles read;
    read.Root = root;
    read.Report << QStringLiteral("There are %1 title(s) in %2").arg(count).arg(root);
    for (int i = 0; i < count; ++i) {
        const std::optional<TDVDTitleInfo>& record = disc.Titles[std::size_t(i)];
        if (record) {
            read.Items << DVDTitleItemText(i, *record);
            read.Report << DVDTitleReport(i, *record);
            read.Titles.emplace_back(*record);
        } else {
            read.Items << DVDInvalidTitleText(i);
            read.Report << QStringLiteral("Calling DVDGetTitle(#%1) failed.").arg(i);
            read.Titles.emplace_back(std::nullopt);
        }
    }
    titles = std::move(read);
    return true;
}

double DVDChapterRangeLength(const TDVDTitleInfo& info, int first, int last)
{
    const int held = std::clamp(info.ChapterCount, 0, DVDMaxChapters);
    double seconds = 0, heldSeconds = 0;
    for (int k = 0; k < held; ++k) {
        const double length = std::isfinite(info.ChapterLength[k]) ? info.ChapterLength[k] : 0.0;
        heldSeconds += length;
        if (k >= first && k <= last)
            seconds += length;
    }
    // Chapters past the record's capacity share what the title has left, evenly.
    const int beyond = std::max(0, std::min(last, info.ChapterCount - 1) - std::max(first, held) + 1);
    if (beyond > 0 && info.ChapterCount > held && std::isfinite(info.Length))
        seconds += std::max(0.0, info.Length - heldSeconds) * beyond / (info.ChapterCount - held);
    return seconds;
}

namespace {

template <typename Entry>
std::vector<TDVDStreamItem> StreamItems(const Entry* entries, int count)
{
    std::vector<TDVDStreamItem> items;
    for (int j = 0; j < count; ++j)
        items.push_back({QStringLiteral("%1[0x%2]").arg(Text(entries[j].LanguageName), Hex(entries[j].ID)),
                         entries[j].ID});
    items.push_back({QStringLiteral("Disable"), 0});
    return items;
}

} // namespace

std::vector<TDVDStreamItem> DVDAudioItems(const TDVDTitleInfo& info)
{
    return StreamItems(info.Audio, AudioEntries(info));
}

std::vector<TDVDStreamItem> DVDSubtitleItems(const TDVDTitleInfo& info)
{
    return StreamItems(info.Subtitle, SubtitleEntries(info));
}
