#pragma once
// Common utilities: paths, file names, time texts, the media extensions,
// the button grid, and thin wrappers over the desktop (through Desktop(), DesktopServices.h).
// QtCore only. Everything runs on the user-interface thread.
//
// Platform mapping (DESIGN.md section 4): the Windows backslash is the platform separator
// ("/" on Linux); the function names keep their Windows-era names.
#include "DesktopServices.h"

#include <QChar>
#include <QRect>
#include <QString>
#include <QStringList>

// The platform's path separator.
#ifdef Q_OS_WIN
inline constexpr QChar PathDelim = u'\\';
#else
inline constexpr QChar PathDelim = u'/';
#endif

// The path unchanged when its last character is the separator, else path + separator.
// Never doubles a separator. An empty path comes back empty (no caller passes one; an
// empty result keeps a following file name relative instead of rooting it at "/").
QString WithTrailingBackslash(const QString& path);

// Shell folder by its Windows value name: "AppData" = the per-user configuration folder
// (QStandardPaths::GenericConfigLocation, ~/.config), "Personal" = Documents. The home
// folder stands for any folder that is unknown, empty or does not exist. No trailing
// separator. Never fails.
QString GetShellFolder(const QString& name);
// Test hook: makes GetShellFolder(name) answer `path` (same existence rule); an empty
// path removes the override.
void SetShellFolderOverride(const QString& name, const QString& path);

// Cell rectangle of GridCellRect: left, top, right, bottom in pixels of the container
// (right and bottom are exclusive edges).
struct TCellRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    QRect ToQRect() const { return QRect(Left, Top, Right - Left, Bottom - Top); }
    bool operator==(const TCellRect&) const = default;
};

// Cells left to right, then top to bottom. columns = (containerWidth - leftMargin - hGap)
// div cellWidth, at least 1 (also for containers narrower than one cell); the step between
// columns is cellWidth + hGap; the rectangle is cellWidth + hGap wide and cellHeight + vGap
// high.
TCellRect GridCellRect(int containerWidth, int topMargin, int leftMargin, int hGap, int vGap,
                       int cellHeight, int cellWidth, int index);

// Whole seconds -> "h:mm:ss" (hours at least 1 digit). 3725 -> "1:02:05".
// Negative values carry one leading "-": -3725 -> "-1:02:05".
QString FormatSecondsShort(int seconds);
// Whole seconds -> "hh:mm:ss" (hours at least 2 digits, more above 99). 3725 -> "01:02:05".
QString FormatSecondsLong(int seconds);
// Microseconds -> "hh:mm:ss.mmm", truncating. 3725500000 -> "01:02:05.500".
// Negative values carry one leading "-"; the whole 64-bit range is formatted.
QString FormatMicroseconds(qint64 microseconds);

// The 41 accepted media extensions, lower case with the dot, in their fixed order.
const QStringList& MediaFileExtensions();
// Extension with its dot, compared case-insensitively; ".mpeg" and "" are false.
bool IsMediaFileExtension(const QString& extension);

// The nine characters that may not appear in a file name: \ / : * ? " < > |
inline const QString InvalidFileNameChars = QStringLiteral("\\/:*?\"<>|");

bool ContainsAnyChar(const QString& text, const QString& chars);
// False when empty or containing any of the nine characters.
bool IsValidFileName(const QString& name);
// Every one of the nine characters replaced by "_"; valid names (and "") unchanged.
QString SanitizeFileName(const QString& name);

// Extension of the last path component, with its dot: text from the last "." of that
// component on; empty when it has none ("/a.b/clip" -> "").
QString ExtractFileExt(const QString& path);
// The text without the extension of its last component: "/dir.old/clip" stays,
// "clip.tar.gz" -> "clip.tar".
QString StripFileExtension(const QString& path);

// A name (without the folder) that does not exist yet in `folder`: the name itself, else
// base + "(i)" + ext for the first free i in 1..32767. Any existing entry (file, folder,
// link) counts as taken. Returns an empty text when all 32767 counters are taken, so a
// caller can never overwrite an existing file by accident.
QString MakeUniqueFileName(const QString& fileName, const QString& folder);

// Opens a file, folder or web address with its associated program; errors are ignored.
void ShellOpen(const QString& target);

// Folder picker option flags (the callers pass 65 = both).
enum : unsigned { BIF_RETURNONLYFSDIRS = 0x0001, BIF_NEWDIALOGSTYLE = 0x0040 };
// Shows the folder picker starting at `folder`; true and `folder` = the choice when the
// user confirms; false and `folder` unchanged on cancel. The owner window is the active
// window of the desktop services.
bool BrowseForFolder(QString& folder, const QString& title = QStringLiteral("Please select a folder"),
                     unsigned flags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE,
                     const QString& root = QString());

// "SeShutdownPrivilege" needs no token change on this platform (power-off goes through
// logind): enabling or disabling it succeeds as a no-op. Unknown names return false.
bool SetProcessPrivilege(const QString& privilegeName, bool enable);

// Modal message dialog through the desktop services; non-empty entries of buttonCaptions
// replace the captions of the buttons in order. Returns the button pressed.
TModalResult ShowMessageDialog(const QString& message, const QString& caption, TMsgDlgType kind,
                               const QStringList& buttonCaptions, TMsgDlgButtons buttons);

// Nesting busy cursor: the first Begin turns it on, the End that brings the counter back
// to 0 turns it off; an End at 0 does nothing.
void BeginBusyCursor();
void EndBusyCursor();
int BusyCursorDepth();

// Begin in the constructor, End in the destructor (also on exceptions).
class TBusyCursorGuard {
public:
    TBusyCursorGuard() { BeginBusyCursor(); }
    ~TBusyCursorGuard() { EndBusyCursor(); }
    TBusyCursorGuard(const TBusyCursorGuard&) = delete;
    TBusyCursorGuard& operator=(const TBusyCursorGuard&) = delete;
};
