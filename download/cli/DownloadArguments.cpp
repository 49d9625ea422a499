#include "DownloadArguments.h"

#include "CliWords.h"

#include <algorithm>

namespace {

// The N of a quality's "&fmt=N"; -1 for none.
int QualityNumber(int code)
{
    const QString suffix = QualitySuffix(code);
    const qsizetype eq = suffix.lastIndexOf(QLatin1Char('='));
    bool ok = false;
    const int number = eq < 0 ? -1 : suffix.mid(eq + 1).toInt(&ok);
    return ok ? number : -1;
}

int CodeOfNumber(int number)
{
    for (int code = 0; code < YouTubeQualityCount; ++code)
        if (QualityNumber(code) == number)
            return code;
    return -1;
}

QString KnownNumbers()
{
    QStringList numbers;
    for (quint8 code : DefaultPreferenceOrder)
        numbers << QString::number(QualityNumber(code));
    return numbers.join(QLatin1Char(','));
}

} // namespace

bool ParsePreferenceList(const QString& text, TPreferenceSlots& order, int& count, QString* error)
{
    const QStringList items = text.split(QLatin1Char(','));
    TPreferenceSlots chosen{};
    int n = 0;
    for (const QString& item : items) {
        bool ok = false;
        const int number = item.trimmed().toInt(&ok, 10);
        const int code = ok ? CodeOfNumber(number) : -1;
        if (code < 0) {
            *error = QStringLiteral("unknown quality \"%1\" in --prefer (qualities: %2)").arg(item.trimmed(), KnownNumbers());
            return false;
        }
        if (std::find(chosen.begin(), chosen.begin() + n, quint8(code)) != chosen.begin() + n) {
            *error = QStringLiteral("quality %1 is given twice in --prefer").arg(number);
            return false;
        }
        chosen[n++] = quint8(code);
    }
    // The rest keep the default order behind the chosen ones, so the slots stay a full order;
    // only the first `count` are ever tried.
    int filled = n;
    for (quint8 code : DefaultPreferenceOrder)
        if (std::find(chosen.begin(), chosen.begin() + n, code) == chosen.begin() + n)
            chosen[filled++] = code;
    order = chosen;
    count = n;
    return true;
}

bool ParseDownloadArguments(const QStringList& args, TDownloadArguments& parsed, QString* error)
{
    QString scratch;
    if (!error)
        error = &scratch;
    parsed = TDownloadArguments{};
    bool defaultGiven = false, preferGiven = false;
    TCliWords words(args, [](const QString& name) {
        return name == QLatin1String("--output-dir") || name == QLatin1String("--prefer");
    });
    TCliWord word;
    while (words.Next(word, *error)) {
        if (!word.IsOption) {
            parsed.Links << word.Name;
            continue;
        }
        const QString& name = word.Name;
        const QString& value = word.Value;
        if (name == QLatin1String("-h") || name == QLatin1String("--help")) {
            parsed.Help = true;
            return true; // help wins over everything else on the line
        } else if (name == QLatin1String("--version")) {
            parsed.Version = true;
            return true;
        } else if (name == QLatin1String("--output-dir")) {
            if (value.isEmpty()) {
                *error = QStringLiteral("--output-dir needs a folder");
                return false;
            }
            parsed.OutputDir = value;
        } else if (name == QLatin1String("--prefer")) {
            if (!ParsePreferenceList(value, parsed.Slots, parsed.SlotCount, error))
                return false;
            preferGiven = true;
        } else if (name == QLatin1String("--default-quality")) {
            parsed.PreferQuality = false;
            defaultGiven = true;
        } else {
            *error = QStringLiteral("unknown option: %1").arg(word.Written);
            return false;
        }
    }
    if (!error->isEmpty())
        return false;
    if (defaultGiven && preferGiven) {
        *error = QStringLiteral("--default-quality and --prefer cannot be combined");
        return false;
    }
    if (parsed.Links.isEmpty()) {
        *error = QStringLiteral("no links given");
        return false;
    }
    return true;
}

QString DownloadUsageText()
{
    return QStringLiteral(
        "Usage: vornic-download [--output-dir DIR] [--default-quality | --prefer LIST] URL...\n"
        "       vornic-download --help | --version\n");
}

QString DownloadHelpText()
{
    QString qualities;
    for (quint8 code : DefaultPreferenceOrder) {
        const TYouTubeQualityRow& row = YouTubeQualities[code];
        qualities += QStringLiteral("                      %1  %2 %3 %4\n")
                         .arg(QualityNumber(code), 2)
                         .arg(QLatin1String(row.Format), QString::fromLatin1(row.Video).leftJustified(9),
                              QLatin1String(row.Audio));
    }
    return DownloadUsageText() + QStringLiteral(
        "\n"
        "Downloads videos from their watch-page links, as the wizard's download branch does.\n"
        "\n"
        "  --output-dir DIR    existing folder for the videos (default: the current folder)\n"
        "  --prefer LIST       qualities to try, in order, as comma-separated numbers; any of\n"
        "%1"
        "                      (default: %2)\n"
        "  --default-quality   only the service's default quality, saved as .flv\n"
        "  --version           the program's version and the extractor it uses\n"
        "\n"
        "Pages of today's video site are read by the extractor yt-dlp (the program named by\n"
        "VORNIC_EXTRACTOR, else yt-dlp on PATH); the media still come through this program.\n"
        "Each video is saved under its title; a taken name gets a number. The paths of saved\n"
        "files go to standard output, an OK or FAILED line per link to standard error.\n"
        "Ctrl+C stops the run; the file being downloaded is removed.\n"
        "Exit status: 0 every link saved, 1 any link failed, 2 bad arguments, 130 after Ctrl+C.\n")
        .arg(qualities, KnownNumbers());
}
