#pragma once
// What the DVD dialog hands to the input list: one title with its chapter range and streams.
#include <QString>

// How the title reaches the engine: the codec table's code 2, MPEG-2, i.e. the title's VOB
// packs as an MPEG-2 program stream. Rows carry it so a later form can be told apart.
inline constexpr int DVDStreamMPEG2PS = 2;

struct TDVDSelection {
    QString Root;             // with a trailing separator
    int TitleIndex = 0;       // from 0
    int FirstChapter = 0;     // from 0
    int LastChapter = 0;      // from 0, >= FirstChapter
    int AudioID = 0;          // stream id; 0 = "Disable"
    QString AudioText;        // the audio list's text, "English[0x80]" or "Disable"
    int SubtitleID = 0;       // 0 = "Disable"
    QString SubtitleText;
    int StreamKind = DVDStreamMPEG2PS;
    int Deinterlace = 0;      // -1 when checked, 0 otherwise
    double Length = 0;        // seconds of the chapter range

    bool operator==(const TDVDSelection&) const = default;
};
