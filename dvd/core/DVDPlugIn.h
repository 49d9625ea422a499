#pragma once
// Binding to the DVD plug-in (libdvddec.so in the "lib" folder): loading it once per process,
// its title operations, the texts of the record's codes and the computer's optical drives.
// QtCore only; the plug-in is opened with dlopen, so the program never links libdvdread.
#include "DVDTitleInfo.h"

#include <QString>
#include <QStringList>

#include <stdexcept>

// A call that needs the plug-in while it is not loaded: a programming error.
class EDVDPlugInAssertion : public std::logic_error {
public:
    explicit EDVDPlugInAssertion(const char* message) : std::logic_error(message) {}
    static const char* Source() { return "DVDPlugIn"; }
};

// The plug-in's file name on this platform.
QString DVDPlugInFileName();

// Binds the plug-in from folder (or through the system's search when it is not there); true at
// once when it is loaded already. False with DVDPlugInError() set.
bool LoadDVDPlugIn(const QString& folder);
bool DVDPlugInLoaded();
QString DVDPlugInError();
// The "lib" folder beside the executable, the one the wizard loads from.
QString DefaultDVDPlugInFolder();
// The plug-in from that folder, bound on first use; false with *error saying why.
bool RequireDVDPlugIn(QString* error);

// The plug-in's disc reading runs in the reader process (vornic-dvdread, found beside the
// plug-in), so a damaged disc that crashes the disc library ends that process, not the program.

// Number of titles under root; 0 or less means none (also when the disc cannot be read).
int EnumDVDTitles(const QString& root);
// Fills record (zeroed first) for a title of the root enumerated last.
bool GetDVDTitle(int index, TDVDTitleInfo& record);

// The plug-in file as it was opened, and the reader process that runs it.
QString DVDPlugInPath();
QString DVDReaderProgram();
void SetDVDReaderProgram(const QString& path); // empty: the one beside the plug-in

// The title reading functions; null when the loaded plug-in lacks the exports (another
// maker's plug-in). They call the exports in the reader process.
struct TDVDReaderFunctions {
    TDVDOpenTitleReader Open = nullptr;
    TDVDTitleReaderBlocks Blocks = nullptr;
    TDVDReadTitleBlocks Read = nullptr;
    TDVDCloseTitleReader Close = nullptr;
    TDVDGetLastError LastError = nullptr;
};
const TDVDReaderFunctions* DVDReaderFunctions();

QString CodecText(int code);
QString NormText(int code);
QString AspectText(int code);

// Optical drives in device order (sr0, sr1, ..., sr10): each one's mount point when it is
// mounted, else its device. Adds them to list when given; returns their number. systemRoot
// lets tests put a prepared /sys and /proc in place of the real ones.
int ListDVDDrives(QStringList* list, const QString& systemRoot = QStringLiteral("/"));
