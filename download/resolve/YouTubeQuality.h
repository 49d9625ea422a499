#pragma once
// The eight selectable video qualities, the service's default quality, and the eight
// preference order that order them.
#include <QString>

#include <array>

using TYouTubeQuality = quint8;   // 0..7
inline constexpr int YouTubeQualityCount = 8;
inline constexpr int PreferenceSlotCount = 8;
using TPreferenceSlots = std::array<quint8, PreferenceSlotCount>;

struct TYouTubeQualityRow {
    const char* Tag;
    const char* Suffix;        // appended to the media address
    const char* Extension;     // of the saved file
    const char* Description;   // shown while downloading
    const char* Format;        // the three columns of the preference dialog
    const char* Video;
    const char* Audio;
};
// Indexed by quality code.
extern const std::array<TYouTubeQualityRow, YouTubeQualityCount> YouTubeQualities;

inline const QString DefaultQualityTag = QStringLiteral("[Default Quality - HQ5]");
inline const QString DefaultQualityExtension = QStringLiteral(".flv");
inline constexpr TPreferenceSlots DefaultPreferenceOrder{1, 2, 3, 0, 4, 5, 6, 7};
inline constexpr TPreferenceSlots BestAvailableOrder{7, 3, 2, 1, 0, 6, 4, 5};

bool IsQualityCode(int code);
// Tag of a code; any other code gives the default quality's tag.
QString QualityTag(int code);
// Code of a tag; -1 when the text is no quality's tag.
int QualityCodeOfTag(const QString& tag);
// Description of a tag; any other text gives the default quality's tag.
QString QualityDescription(const QString& tag);
// Address suffix and extension of a code; outside 0..7 none and ".flv".
QString QualitySuffix(int code);
QString QualityExtension(int code);

// Positions of one download: 0 is the service default, 1..8 the preference order.
inline constexpr int LastQualityIndex = PreferenceSlotCount;
QString QualityIndexTag(int position, const TPreferenceSlots& order);   // empty outside 0..8
QString QualityIndexSuffix(int position, const TPreferenceSlots& order);
QString QualityIndexExtension(int position, const TPreferenceSlots& order);

// The label under the preference check box.
QString PreferenceSummary(bool preferOn, const TPreferenceSlots& order);
