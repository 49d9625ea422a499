#pragma once
// Opening a DVD root: its titles' records and the technical report the DVD dialog shows (and
// `vornic-convert --dvd-info` prints).
#include "DVDTitleInfo.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>
#include <vector>

struct TDVDTitles {
    QString Root;
    std::vector<std::optional<TDVDTitleInfo>> Titles; // empty entry: the plug-in could not read it
    QStringList Items;  // the title list's texts
    QStringList Report; // the report's lines
};

// Enumerates and reads every title of root through the plug-in (which must be loaded). False,
// leaving titles untouched, when the root holds no title; *message then says why to the user
// (empty when cancel was set).
bool ReadDVDTitles(const QString& root, TDVDTitles& titles, QString* message = nullptr,
                   const std::atomic<bool>* cancel = nullptr);

// "Title #%d Length: %s" with the length in whole seconds (ties to even).
QString DVDTitleItemText(int index, const TDVDTitleInfo& info);
QString DVDInvalidTitleText(int index);
// The report lines of one read title.
QStringList DVDTitleReport(int index, const TDVDTitleInfo& info);
// Seconds of chapters first..last (from 0); only the chapters the record holds count.
double DVDChapterRangeLength(const TDVDTitleInfo& info, int first, int last);
// The texts of the audio and subtitle lists: "%s[0x%x]" of name and id, then "Disable".
struct TDVDStreamItem {
    QString Text;
    int ID = 0;
};
std::vector<TDVDStreamItem> DVDAudioItems(const TDVDTitleInfo& info);
std::vector<TDVDStreamItem> DVDSubtitleItems(const TDVDTitleInfo& info);

inline const QString DVDNoTitlesText = QStringLiteral("No DVD title(s) found. Maybe not a valid DVD.");
