#include "CliArguments.h"

#include "AppSettings.h"
#include "CliDVD.h"
#include "CliWords.h"
#include "PresetCatalogue.h"

namespace {

constexpr int MaxJobs = MaxConversionJobs;
constexpr int AutoJobs = -1;
// From bench/jobs_bench.sh on two cores: one conversion per core was never slower than the
// serial command line for either batch; one at a time was, for video.
constexpr int DefaultJobs = AutoJobs;

QString FormatNames()
{
    QStringList names;
    for (const TOutputFormat& format : OutputFormats())
        names << QString::fromLatin1(format.Name);
    return names.join(QStringLiteral(", "));
}

bool SetMode(TCliArguments& parsed, TCliMode mode, const QString& option, QString* error)
{
    if (parsed.Mode != cmNone && parsed.Mode != mode) {
        *error = QStringLiteral("%1 cannot be combined with another command").arg(option);
        return false;
    }
    parsed.Mode = mode;
    return true;
}

bool ParseJobs(const QString& text, int& jobs)
{
    if (text.trimmed().compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0) {
        jobs = AutoJobs;
        return true;
    }
    bool isNumber = false;
    const int n = text.trimmed().toInt(&isNumber, 10);
    if (!isNumber || n < 1 || n > MaxJobs)
        return false;
    jobs = n;
    return true;
}

} // namespace

int JobsForRun(int jobs)
{
    if (jobs == 0)
        jobs = DefaultJobs;
    // The wizard's setting follows the same rule.
    return ConversionJobsForRun(jobs);
}

bool ParseCliArguments(const QStringList& args, TCliArguments& parsed, QString* error)
{
    QString scratch;
    if (!error)
        error = &scratch;
    parsed = TCliArguments{};
    bool formatGiven = false, presetGiven = false, outputDirGiven = false, jobsGiven = false;
    QString presetText;
    TCliWords words(args, [](const QString& name) {
        return name == QLatin1String("--format") || name == QLatin1String("--preset") ||
               name == QLatin1String("--output-dir") || name == QLatin1String("--jobs") || name == QLatin1String("-j") ||
               IsDVDValueOption(name);
    });
    TCliWord word;
    while (words.Next(word, *error)) {
        if (!word.IsOption) {
            parsed.Files << word.Name;
            continue;
        }
        const QString& name = word.Name;
        if (name == QLatin1String("-h") || name == QLatin1String("--help")) {
            parsed.Mode = cmHelp;
            return true; // help wins over everything else on the line
        } else if (name == QLatin1String("--version")) {
            parsed.Mode = cmVersion;
            return true;
        } else if (name == QLatin1String("--list-presets")) {
            if (!SetMode(parsed, cmListPresets, name, error))
                return false;
        } else if (name == QLatin1String("--info")) {
            if (!SetMode(parsed, cmInfo, name, error))
                return false;
        } else if (name == QLatin1String("--format")) {
            parsed.FormatName = word.Value;
            formatGiven = true;
        } else if (name == QLatin1String("--preset")) {
            presetText = word.Value;
            presetGiven = true;
        } else if (name == QLatin1String("--output-dir")) {
            parsed.OutputDir = word.Value;
            if (parsed.OutputDir.isEmpty()) {
                *error = QStringLiteral("--output-dir needs a folder");
                return false;
            }
            outputDirGiven = true;
        } else if (name == QLatin1String("--jobs") || name == QLatin1String("-j")) {
            const QString& jobsText = word.Value;
            if (!ParseJobs(jobsText, parsed.Jobs)) {
                *error = QStringLiteral("--jobs needs a number from 1 to %1 or \"auto\": \"%2\"")
                             .arg(MaxJobs).arg(jobsText);
                return false;
            }
            jobsGiven = true;
        } else if (name == QLatin1String("--join")) {
            parsed.Join = true;
        } else if (name == QLatin1String("--verbose") || name == QLatin1String("-v")) {
            parsed.Verbose = true;
        } else if (IsDVDOption(name)) {
            if (name == QLatin1String("--dvd-info") && !SetMode(parsed, cmDVDInfo, name, error))
                return false;
            if (!TakeDVDOption(name, word.Value, parsed.DVD, error))
                return false;
        } else {
            *error = QStringLiteral("unknown option: %1").arg(word.Written);
            return false;
        }
    }
    if (!error->isEmpty())
        return false;

    if (formatGiven && !SetMode(parsed, cmConvert, QStringLiteral("--format"), error))
        return false;
    if (!CheckDVDArguments(parsed.Mode == cmConvert, parsed.Mode == cmDVDInfo, parsed.DVD, error))
        return false;

    if (parsed.Mode != cmConvert) {
        const char* convertOnly = presetGiven ? "--preset" : outputDirGiven ? "--output-dir"
                                : parsed.Join ? "--join" : jobsGiven ? "--jobs" : nullptr;
        if (convertOnly) {
            *error = QStringLiteral("%1 needs --format").arg(QLatin1String(convertOnly));
            return false;
        }
    }

    switch (parsed.Mode) {
    case cmNone:
        *error = parsed.Files.isEmpty() ? QStringLiteral("no command given")
                                        : QStringLiteral("files given without --format or --info");
        return false;
    case cmListPresets:
        if (!parsed.Files.isEmpty()) {
            *error = QStringLiteral("--list-presets takes no files");
            return false;
        }
        return true;
    case cmInfo:
        if (parsed.Files.isEmpty()) {
            *error = QStringLiteral("--info needs at least one file");
            return false;
        }
        return true;
    case cmConvert:
        break;
    case cmHelp:
    case cmVersion:
        return true;
    case cmDVDInfo:
        if (!parsed.Files.isEmpty()) {
            *error = QStringLiteral("--dvd-info takes no files");
            return false;
        }
        return true;
    }

    const TOutputFormat* format = FindOutputFormatByName(parsed.FormatName.trimmed());
    if (!format) {
        *error = QStringLiteral("unknown format: \"%1\" (formats: %2)").arg(parsed.FormatName, FormatNames());
        return false;
    }
    parsed.FormatClass = format->FormatClass;
    parsed.FormatIndex = format->Index;
    if (!presetGiven) {
        *error = QStringLiteral("--format needs --preset (see --list-presets)");
        return false;
    }
    bool isNumber = false;
    const int preset = presetText.trimmed().toInt(&isNumber, 10);
    if (!isNumber) {
        *error = QStringLiteral("preset is not a number: \"%1\"").arg(presetText);
        return false;
    }
    const int count = int(format->Presets.size());
    if (preset < 0 || preset >= count) {
        *error = QStringLiteral("preset %1 is out of range for %2 (0 to %3)")
                     .arg(preset).arg(QLatin1String(format->Name)).arg(count - 1);
        return false;
    }
    parsed.PresetIndex = preset;
    if (parsed.Files.isEmpty() && parsed.DVD.Root.isEmpty()) {
        *error = QStringLiteral("no input files");
        return false;
    }
    return true;
}

QString UsageText()
{
    return QStringLiteral(
        "Usage: vornic-convert --list-presets\n"
        "  or:  vornic-convert --info FILE...\n"
        "  or:  vornic-convert --format NAME --preset N [--output-dir DIR] [--jobs N|auto] [--join]\n"
        "                      [--verbose] FILE...\n"
        "  or:  vornic-convert --dvd-info ROOT\n"
        "  or:  vornic-convert --dvd ROOT --title N [--chapters A-B] [--audio ID] [--subtitle ID] [--deinterlace]\n"
        "                      --format NAME --preset N [--output-dir DIR] [FILE...]\n"
        "  or:  vornic-convert --help | --version\n");
}

QString HelpText()
{
    const char* const classNames[FormatClassCount] = {"video", "device", "audio"};
    QString formats;
    for (int formatClass = 0; formatClass < FormatClassCount; ++formatClass) {
        QStringList names;
        for (const TOutputFormat& format : OutputFormatsOfClass(formatClass))
            names << QString::fromLatin1(format.Name);
        formats += QStringLiteral("                      %1 (%2)\n")
                       .arg(names.join(QLatin1Char(' ')), QLatin1String(classNames[formatClass]));
    }
    return UsageText() + QStringLiteral(
        "\n"
        "Converts audio and video files with the wizard's output formats and presets.\n"
        "\n"
        "  --list-presets      one line per preset: format name, tab, preset index, tab, list text\n"
        "  --info              duration, bit rate and dimension (or audio encoder) of each file\n"
        "  --format NAME       output format, in any case:\n"
        "%1"
        "  --preset N          preset index of that format, as --list-presets shows it\n"
        "  --output-dir DIR    existing folder for the outputs (default: the current folder)\n"
        "  --jobs N|auto, -j   convert up to N files at the same time; auto, the default,\n"
        "                      one per processor core\n"
        "  --join              join all files, in the order given, into one output\n"
        "  --verbose           the engine's log lines on standard error\n"
        "  --version           the program's version and those of the engine libraries in use\n"
        "  --dvd-info ROOT     the titles of a DVD folder or drive, as the DVD dialog reports them\n"
        "  --dvd ROOT          converts a DVD title (before any FILE); with:\n"
        "  --title N           the title, from 1\n"
        "  --chapters A-B      its chapters, from 1 (default: all); \"A\" alone is one chapter\n"
        "  --audio ID          the audio stream id, as the report shows it (0xC0); 0 for none\n"
        "  --subtitle ID       the subtitle stream id (0x20); 0 for none (default: the first)\n"
        "  --deinterlace       deinterlaces the pictures\n"
        "\n"
        "Output files never replace existing ones: a taken name gets a number.\n"
        "Ctrl+C stops the run; the outputs it left incomplete are removed.\n"
        "Exit status: 0 every file converted, 1 any file or the output failed, 2 bad arguments,\n"
        "130 stopped by Ctrl+C.\n").arg(formats);
}
