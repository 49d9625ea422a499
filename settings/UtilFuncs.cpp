#include "UtilFuncs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

// ---- Paths ------------------------------------------------------------------------------

QString WithTrailingBackslash(const QString& path)
{
    if (path.isEmpty() || path.endsWith(PathDelim))
        return path;
    return path + PathDelim;
}

namespace {

QHash<QString, QString>& shellFolderOverrides()
{
    static QHash<QString, QString> overrides;
    return overrides;
}

bool isExistingDir(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

// A fresh account may have no configuration folder yet; the platform's rule is to make it
// (private to the user) rather than to put configuration into the home folder itself.
QString configFolder()
{
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (path.isEmpty() || isExistingDir(path))
        return path;
    if (QDir().mkpath(path))
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

QString GetShellFolder(const QString& name)
{
    QString path;
    const QString key = name.toLower();
    if (auto it = shellFolderOverrides().constFind(key); it != shellFolderOverrides().constEnd())
        path = it.value();
    else if (key == u"appdata")
        path = configFolder();
    else if (key == u"personal")
        path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    // The home folder stands for any missing folder (Windows used "C:\").
    if (!isExistingDir(path))
        path = QDir::homePath();
    path = QDir::toNativeSeparators(QDir::cleanPath(path));
    return path;
}

void SetShellFolderOverride(const QString& name, const QString& path)
{
    if (path.isEmpty())
        shellFolderOverrides().remove(name.toLower());
    else
        shellFolderOverrides().insert(name.toLower(), path);
}

// ---- Grid -------------------------------------------------------------------------------

TCellRect GridCellRect(int containerWidth, int topMargin, int leftMargin, int hGap, int vGap,
                       int cellHeight, int cellWidth, int index)
{
    // The count divides by the cell width alone, the step is cell width + gap (as specified).
    // A container narrower than margin + gap would give 0 or a negative count: one column.
    int columns = cellWidth > 0 ? (containerWidth - leftMargin - hGap) / cellWidth : 1;
    if (columns < 1)
        columns = 1;
    if (index < 0)
        index = 0;
    const int col = index % columns;
    const int row = index / columns;
    TCellRect r;
    r.Left = leftMargin + col * (cellWidth + hGap);
    r.Top = topMargin + row * (cellHeight + vGap);
    r.Right = r.Left + cellWidth + hGap;
    r.Bottom = r.Top + cellHeight + vGap;
    return r;
}

// ---- Time texts ---------------------------------------------------------------------------

namespace {

// h, m, s of a non-negative number of seconds (64-bit, so any magnitude fits).
struct Hms { quint64 h, m, s; };
Hms splitSeconds(quint64 seconds)
{
    return {seconds / 60 / 60, (seconds / 60) % 60, seconds % 60};
}

QString formatSeconds(int seconds, int hourDigits)
{
    // Negative values: one sign in front of the magnitude rather than a sign per field.
    const qint64 v = seconds;
    const quint64 magnitude = v < 0 ? quint64(-v) : quint64(v);
    const Hms t = splitSeconds(magnitude);
    return QStringLiteral("%1%2:%3:%4")
        .arg(v < 0 ? QStringLiteral("-") : QString())
        .arg(t.h, hourDigits, 10, QLatin1Char('0'))
        .arg(t.m, 2, 10, QLatin1Char('0'))
        .arg(t.s, 2, 10, QLatin1Char('0'));
}

} // namespace

QString FormatSecondsShort(int seconds)
{
    return formatSeconds(seconds, 1);
}

QString FormatSecondsLong(int seconds)
{
    return formatSeconds(seconds, 2);
}

QString FormatMicroseconds(qint64 microseconds)
{
    // The magnitude as unsigned, so the most negative value (the library's "no timestamp")
    // formats instead of overflowing.
    const bool negative = microseconds < 0;
    const quint64 t = negative ? quint64(0) - quint64(microseconds) : quint64(microseconds);
    const Hms hms = splitSeconds(t / 1000000);
    const quint64 ms = (t % 1000000) * 1000 / 1000000;
    return QStringLiteral("%1%2:%3:%4.%5")
        .arg(negative ? QStringLiteral("-") : QString())
        .arg(hms.h, 2, 10, QLatin1Char('0'))
        .arg(hms.m, 2, 10, QLatin1Char('0'))
        .arg(hms.s, 2, 10, QLatin1Char('0'))
        .arg(ms, 3, 10, QLatin1Char('0'));
}

// ---- Media extensions ------------------------------------------------------------------------

const QStringList& MediaFileExtensions()
{
    static const QStringList list = {
        // audio
        ".mp3", ".aac", ".wav", ".wma", ".cda", ".flac", ".m4a", ".mid", ".mka", ".mp2",
        ".mpa", ".mpc", ".ape", ".ofr", ".ogg", ".ra", ".wv", ".tta", ".ac3", ".dts",
        // video (".mpg" but no ".mpeg", as specified)
        ".avi", ".avm", ".asf", ".wmv", ".avs", ".flv", ".mkv", ".mov", ".3gp", ".mp4",
        ".mpg", ".dat", ".ogm", ".vob", ".rm", ".rmvb", ".ts", ".tp", ".ifo", ".nsv", ".swf",
    };
    return list;
}

bool IsMediaFileExtension(const QString& extension)
{
    if (extension.isEmpty())
        return false;
    return MediaFileExtensions().contains(extension.toLower());
}

// ---- File names ---------------------------------------------------------------------------

bool ContainsAnyChar(const QString& text, const QString& chars)
{
    for (QChar c : chars)
        if (text.contains(c))
            return true;
    return false;
}

bool IsValidFileName(const QString& name)
{
    return !name.isEmpty() && !ContainsAnyChar(name, InvalidFileNameChars);
}

QString SanitizeFileName(const QString& name)
{
    if (name.isEmpty() || IsValidFileName(name))
        return name;
    QString result = name;
    for (QChar c : InvalidFileNameChars)
        result.replace(c, QLatin1Char('_'));
    return result;
}

namespace {

bool isComponentDelimiter(QChar c)
{
#ifdef Q_OS_WIN
    return c == u'\\' || c == u'/' || c == u':';
#else
    return c == u'/';
#endif
}

} // namespace

QString ExtractFileExt(const QString& path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path.at(i);
        if (c == u'.')
            return path.mid(i);
        if (isComponentDelimiter(c))
            break;
    }
    return QString();
}

QString StripFileExtension(const QString& path)
{
    return path.left(path.size() - ExtractFileExt(path).size());
}

namespace {

bool entryExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();  // a dangling link is taken too
}

} // namespace

QString MakeUniqueFileName(const QString& fileName, const QString& folder)
{
    const QString dir = WithTrailingBackslash(folder);
    if (!entryExists(dir + fileName))
        return fileName;
    const QString base = StripFileExtension(fileName);
    const QString ext = ExtractFileExt(fileName);
    for (int i = 1; i <= 32767; ++i) {
        // Plain concatenation: every character of the name is copied unchanged ("%" too).
        const QString candidate = base + QLatin1Char('(') + QString::number(i) + QLatin1Char(')') + ext;
        if (!entryExists(dir + candidate))
            return candidate;
    }
    return QString();
}

// ---- Desktop ------------------------------------------------------------------------------

void ShellOpen(const QString& target)
{
    Desktop().ShellOpen(target);
}

bool BrowseForFolder(QString& folder, const QString& title, unsigned flags, const QString& root)
{
    Q_UNUSED(flags);  // the picker of the desktop services shows file-system folders only
    QString chosen = folder;
    if (!Desktop().BrowseForFolder(title, root, chosen) || chosen.isEmpty())
        return false;
    folder = chosen;
    return true;
}

bool SetProcessPrivilege(const QString& privilegeName, bool enable)
{
    Q_UNUSED(enable);
    // Power-off goes through logind, which decides by itself: the privilege step is a no-op.
    return privilegeName.compare(u"SeShutdownPrivilege", Qt::CaseInsensitive) == 0;
}

TModalResult ShowMessageDialog(const QString& message, const QString& caption, TMsgDlgType kind,
                               const QStringList& buttonCaptions, TMsgDlgButtons buttons)
{
    return Desktop().ShowMessage(message, caption, kind, buttons, buttonCaptions);
}

// ---- Busy cursor ----------------------------------------------------------------------------

namespace {
int busyCursorCounter = 0;
}

void BeginBusyCursor()
{
    // Only the first level switches: the desktop's busy cursor is an on/off state.
    if (busyCursorCounter++ == 0)
        Desktop().SetBusyCursor(true);
}

void EndBusyCursor()
{
    if (busyCursorCounter <= 0)
        return;
    if (--busyCursorCounter == 0)
        Desktop().SetBusyCursor(false);
}

int BusyCursorDepth()
{
    return busyCursorCounter;
}
