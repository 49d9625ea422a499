#include "YouTubeQuality.h"

// The descriptions spell the audio "Sterro"; the dialog's column says "Stereo".
const std::array<TYouTubeQualityRow, YouTubeQualityCount> YouTubeQualities{{
    {"[HQ6]", "&fmt=6", ".flv", "[HQ6] - Format: FLV; Video: 480x270; Audio: Mono", "FLV", "480x270", "Mono"},
    {"[HQ18]", "&fmt=18", ".mp4", "[HQ18] - Format: MP4; Video: 480x360; Audio: Sterro", "MP4", "480x360", "Stereo"},
    {"[HQ35]", "&fmt=35", ".flv", "[HQ35] - Format: FLV; Video: 640x360; Audio: Mono", "FLV", "640x360", "Mono"},
    {"[HQ22]", "&fmt=22", ".mp4", "[HQ22] - Format: MP4; Video: 1280x720; Audio: Sterro", "MP4", "1280x720", "Stereo"},
    {"[HQ13]", "&fmt=13", ".3gp", "[HQ13] - Format: 3GP; Video: 176x144; Audio: Mono", "3GP", "176x144", "Mono"},
    {"[HQ17]", "&fmt=17", ".3gp", "[HQ17] - Format: 3GP; Video: 176x144; Audio: Sterro", "3GP", "176x144", "Stereo"},
    {"[HQ34]", "&fmt=34", ".flv", "[HQ34] - Format: FLV; Video: 320x240; Audio: Mono", "FLV", "320x240", "Mono"},
    {"[HQ37]", "&fmt=37", ".mp4", "[HQ37] - Format: MP4; Video: 1920x1080; Audio: Sterro", "MP4", "1920x1080", "Stereo"},
}};

bool IsQualityCode(int code) { return code >= 0 && code < YouTubeQualityCount; }

QString QualityTag(int code)
{
    return IsQualityCode(code) ? QString::fromLatin1(YouTubeQualities[code].Tag) : DefaultQualityTag;
}

int QualityCodeOfTag(const QString& tag)
{
    for (int code = 0; code < YouTubeQualityCount; ++code)
        if (tag == QLatin1String(YouTubeQualities[code].Tag))
            return code;
    return -1;
}

QString QualityDescription(const QString& tag)
{
    const int code = QualityCodeOfTag(tag);
    return code < 0 ? DefaultQualityTag : QString::fromLatin1(YouTubeQualities[code].Description);
}

QString QualitySuffix(int code)
{
    return IsQualityCode(code) ? QString::fromLatin1(YouTubeQualities[code].Suffix) : QString();
}

QString QualityExtension(int code)
{
    return IsQualityCode(code) ? QString::fromLatin1(YouTubeQualities[code].Extension) : DefaultQualityExtension;
}

QString QualityIndexTag(int position, const TPreferenceSlots& order)
{
    if (position == 0)
        return DefaultQualityTag;
    if (position < 1 || position > LastQualityIndex)
        return QString();
    return QualityTag(order[position - 1]);
}

QString QualityIndexSuffix(int position, const TPreferenceSlots& order)
{
    if (position < 1 || position > LastQualityIndex)
        return QString();
    return QualitySuffix(order[position - 1]);
}

QString QualityIndexExtension(int position, const TPreferenceSlots& order)
{
    if (position < 1 || position > LastQualityIndex)
        return DefaultQualityExtension;
    return QualityExtension(order[position - 1]);
}

QString PreferenceSummary(bool preferOn, const TPreferenceSlots& order)
{
    if (!preferOn)
        return QStringLiteral("[Defatult Quality - HQ5]");   // the label's own spelling
    QString text = QStringLiteral("Prefer: %1 > %2 > %3 > %4 > %5 > %6 > %7 > %8");
    for (quint8 code : order)
        text = text.arg(QualityTag(code));
    return text;
}
