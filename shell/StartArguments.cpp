#include "StartArguments.h"

#include <QDir>
#include <QUrl>

#include <cstring>

TStartArguments ParseStartArguments(const QStringList& args, const QString& workingDir)
{
    TStartArguments parsed;
    const QDir base(workingDir);
    bool optionsEnded = false;
    for (const QString& arg : args) {
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.startsWith(QLatin1Char('-')) && arg != QLatin1String("-")) {
            if (arg == QLatin1String("-h") || arg == QLatin1String("--help"))
                return {smHelp, {}, {}};
            if (arg == QLatin1String("--version"))
                return {smVersion, {}, {}};
            return {smBadArguments, {}, QStringLiteral("unknown option: %1").arg(arg)};
        }
        if (arg.isEmpty())
            continue;
        // Addresses: a "file:" one names a local file; any other can only be refused.
        const QUrl url(arg);
        const bool address = arg.startsWith(QLatin1String("file:"))
                             || (arg.contains(QLatin1String("://")) && url.scheme().size() > 1);
        const QString local = address ? url.toLocalFile() : arg;
        if (local.isEmpty()) {
            parsed.Mode = smBadArguments;
            parsed.Error = QStringLiteral("not a local file: %1").arg(arg);
            return parsed;
        }
        parsed.Files << QDir::cleanPath(base.absoluteFilePath(local));
    }
    return parsed;
}

bool WantsTextOnly(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0
            || std::strcmp(argv[i], "--version") == 0)
            return true;
    }
    return false;
}

QString StartHelpText()
{
    return QStringLiteral(
        "Usage: vornic [FILE...]\n"
        "\n"
        "Starts the wizard that converts audio and video files and downloads videos.\n"
        "With files, the wizard opens on the list of files to convert with those files added.\n"
        "\n"
        "  -h, --help     this text\n"
        "      --version  the program's version\n"
        "      --         every argument after it is a file\n"
        "\n"
        "The edition file, the skin images and the sounds are read from the program's own\n"
        "folder; the settings are kept in the per-user configuration folder.\n");
}
