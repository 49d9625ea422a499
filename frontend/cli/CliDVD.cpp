#include "CliDVD.h"

#include "DVDInputRow.h"
#include "DVDPlugIn.h"
#include "DVDRemoteReader.h"
#include "DVDTitles.h"
#include "UtilFuncs.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QStringList ValueOptions{"--dvd-info", "--dvd", "--title", "--chapters", "--audio", "--subtitle"};

// A stream id as the report prints it ("0xC0") or in decimal.
bool ParseID(const QString& text, int& id)
{
    bool ok = false;
    id = text.trimmed().toInt(&ok, 0);
    return ok && id >= 0 && id <= 0xFF;
}

QString RootOf(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() ? WithTrailingBackslash(info.absoluteFilePath()) : path;
}

// The id the dialog's list would give: the named one when the title has it, the first entry
// when none was named (-1), 0 for none.
bool PickStream(const std::vector<TDVDStreamItem>& items, int wanted, const char* kind, TDVDStreamItem& picked,
                QString* error)
{
    if (wanted < 0) {
        picked = items.front(); // "Disable" when the title has no such stream
        return true;
    }
    for (const TDVDStreamItem& item : items)
        if (item.ID == wanted) {
            picked = item;
            return true;
        }
    *error = QStringLiteral("the title has no %1 stream 0x%2").arg(QLatin1String(kind)).arg(wanted, 0, 16);
    return false;
}

} // namespace

bool IsDVDOption(const QString& name)
{
    return ValueOptions.contains(name) || name == QLatin1String("--deinterlace");
}

bool IsDVDValueOption(const QString& name)
{
    return ValueOptions.contains(name);
}

bool TakeDVDOption(const QString& name, const QString& value, TCliDVD& dvd, QString* error)
{
    bool ok = true;
    if (name == QLatin1String("--dvd") || name == QLatin1String("--dvd-info")) {
        dvd.Root = value;
        ok = !value.isEmpty();
    } else if (name == QLatin1String("--title")) {
        dvd.Title = value.trimmed().toInt(&ok);
        ok = ok && dvd.Title >= 1;
    } else if (name == QLatin1String("--chapters")) {
        const QStringList parts = value.split(u'-');
        bool first = false, last = false;
        dvd.FirstChapter = parts.value(0).trimmed().toInt(&first);
        dvd.LastChapter = parts.size() == 2 ? parts[1].trimmed().toInt(&last) : dvd.FirstChapter;
        ok = first && (parts.size() == 1 || (parts.size() == 2 && last)) && dvd.FirstChapter >= 1 &&
             dvd.LastChapter >= dvd.FirstChapter;
    } else if (name == QLatin1String("--audio")) {
        ok = ParseID(value, dvd.AudioID);
    } else if (name == QLatin1String("--subtitle")) {
        ok = ParseID(value, dvd.SubtitleID);
    } else if (name == QLatin1String("--deinterlace")) {
        dvd.Deinterlace = true;
    }
    if (!ok)
        *error = QStringLiteral("%1: invalid value \"%2\"").arg(name, value);
    return ok;
}

bool CheckDVDArguments(bool converting, bool info, const TCliDVD& dvd, QString* error)
{
    const bool titleOptions = dvd.Title >= 0 || dvd.FirstChapter >= 0 || dvd.AudioID >= 0 || dvd.SubtitleID >= 0 ||
                              dvd.Deinterlace;
    if (info) {
        if (titleOptions)
            *error = QStringLiteral("--dvd-info takes no title options");
        return !titleOptions;
    }
    if (dvd.Root.isEmpty()) {
        if (titleOptions)
            *error = QStringLiteral("--title, --chapters, --audio, --subtitle and --deinterlace need --dvd");
        return !titleOptions;
    }
    if (!converting) {
        *error = QStringLiteral("--dvd needs --format");
        return false;
    }
    if (dvd.Title < 0) {
        *error = QStringLiteral("--dvd needs --title");
        return false;
    }
    return true;
}

int ShowDVDInfo(const QString& root, std::FILE* out)
{
    QString error;
    if (!RequireDVDPlugIn(&error)) {
        std::fprintf(stderr, "vornic-convert: %s\n", error.toUtf8().constData());
        return 1;
    }
    TDVDTitles titles;
    QString message;
    if (!ReadDVDTitles(RootOf(root), titles, &message)) {
        std::fprintf(stderr, "vornic-convert: %s\n", message.toUtf8().constData());
        return 1;
    }
    for (const QString& line : titles.Report)
        std::fprintf(out, "%s\n", line.toUtf8().constData());
    std::fflush(out);
    return 0;
}

bool ReadDVDInput(const TCliDVD& dvd, TInputRow& row, QString* error)
{
    if (!RequireDVDPlugIn(error))
        return false;
    const QString root = RootOf(dvd.Root);
    const TDVDRootRead disc = ReadDVDRoot(root);
    const int count = disc.Count;
    if (count <= 0) {
        *error = disc.Error.isEmpty() ? DVDNoTitlesText : disc.Error;
        return false;
    }
    if (dvd.Title > count) {
        *error = QStringLiteral("the DVD has %1 title(s), not %2").arg(count).arg(dvd.Title);
        return false;
    }
    if (!disc.Titles[std::size_t(dvd.Title - 1)]) {
        *error = DVDInvalidTitleText(dvd.Title - 1);
        return false;
    }
    const TDVDTitleInfo info = *disc.Titles[std::size_t(dvd.Title - 1)];
    TDVDSelection s;
    s.Root = root;
    s.TitleIndex = dvd.Title - 1;
    const int chapters = std::max(info.ChapterCount, 1);
    s.FirstChapter = dvd.FirstChapter > 0 ? dvd.FirstChapter - 1 : 0;
    s.LastChapter = dvd.LastChapter > 0 ? dvd.LastChapter - 1 : chapters - 1;
    if (s.LastChapter >= chapters) {
        *error = QStringLiteral("the title has %1 chapter(s)").arg(chapters);
        return false;
    }
    TDVDStreamItem audio, subtitle;
    if (!PickStream(DVDAudioItems(info), dvd.AudioID, "audio", audio, error) ||
        !PickStream(DVDSubtitleItems(info), dvd.SubtitleID, "subtitle", subtitle, error))
        return false;
    s.AudioID = audio.ID;
    s.AudioText = audio.Text;
    s.SubtitleID = subtitle.ID;
    s.SubtitleText = subtitle.Text;
    s.Deinterlace = dvd.Deinterlace ? -1 : 0;
    s.Length = DVDChapterRangeLength(info, s.FirstChapter, s.LastChapter);
    row = DVDTitleFacts(s, &info).Row;
    return true;
}

QString DVDInputLabel(const TCliDVD& dvd)
{
    return QDir::toNativeSeparators(dvd.Root) + QStringLiteral(" title ") + QString::number(dvd.Title);
}
