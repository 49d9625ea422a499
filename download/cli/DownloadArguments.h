#pragma once
// The command line of vornic-download, read into one record. Reading never touches the disk
// or the network; the caller checks the output folder and the links.
#include "YouTubeQuality.h"

#include <QString>
#include <QStringList>

struct TDownloadArguments {
    bool Help = false;
    bool Version = false;             // --version: the program and the extractor it finds
    QString OutputDir;                // empty = the current folder
    bool PreferQuality = true;        // false: the service's default quality only
    TPreferenceSlots Slots = DefaultPreferenceOrder;
    int SlotCount = PreferenceSlotCount;   // the first SlotCount of Slots are tried, in order
    QStringList Links;
};

// Reads the arguments after the program name. False with *error (one line, without the
// program name) when they are not a valid command.
bool ParseDownloadArguments(const QStringList& args, TDownloadArguments& parsed, QString* error);

// "18,35,22": quality numbers (the N of "&fmt=N") into quality codes, in order, each once.
bool ParsePreferenceList(const QString& text, TPreferenceSlots& order, int& count, QString* error);

// The short synopsis shown with every argument error, and the full help of --help.
QString DownloadUsageText();
QString DownloadHelpText();
