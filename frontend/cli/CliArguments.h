#pragma once
// The command line of vornic-convert, read into one record. Reading never touches the disk or
// the engine; the caller checks the output folder and the files.
#include <QString>
#include <QStringList>

enum TCliMode { cmNone, cmHelp, cmVersion, cmListPresets, cmInfo, cmConvert, cmDVDInfo };

// A DVD title to convert (--dvd ROOT --title N ...); numbers as the DVD dialog shows them, from 1.
struct TCliDVD {
    QString Root;           // empty: no DVD title
    int Title = -1;
    int FirstChapter = -1;  // -1: from the first
    int LastChapter = -1;   // -1: to the last
    int AudioID = -1;       // -1: the first audio stream; 0: none
    int SubtitleID = -1;    // -1: the first subtitle stream; 0: none
    bool Deinterlace = false;
};

struct TCliArguments {
    TCliMode Mode = cmNone;
    QString FormatName;     // as given
    int FormatClass = -1;   // of the catalogue, once the name is known
    int FormatIndex = -1;
    int PresetIndex = -1;
    QString OutputDir;      // empty = the current folder
    bool Join = false;
    int Jobs = 0;           // files converted at the same time; 0 = the default
    bool Verbose = false;
    QStringList Files;
    TCliDVD DVD;            // also the root of --dvd-info
};

// Reads the arguments after the program name. False with *error (one line, without the
// program name) when they are not a valid command.
bool ParseCliArguments(const QStringList& args, TCliArguments& parsed, QString* error);

// The number of conversions --jobs asks for ("auto" = one per processor core), and the one
// used without it.
int JobsForRun(int jobs);

// The short synopsis shown with every argument error, and the full help of --help.
QString UsageText();
QString HelpText();
