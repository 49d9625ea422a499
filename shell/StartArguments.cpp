#include "StartArguments.h"

#include <QDir>
#include <QUrl>

#include <cstring>

namespace {

// The toolkit's own options. They reach this parser only when --help or --version is
// answered before the toolkit starts; otherwise the toolkit has taken them out already.
const char* const ToolkitOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "display", "geometry", "title", "style", "stylesheet", "session", "name", "visual",
    "ncols", "cmap", "fn", "font", "bg", "background", "fg", "foreground",
    "btn", "button", "im", "inputstyle", "qmljsdebugger-"};
const char* const ToolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};

// 0: not a toolkit option; 1: a flag or "-option=value"; 2: an option followed by its value.
int ToolkitOptionLength(const QString& arg)
{
    if (!arg.startsWith(QLatin1Char('-')) || arg.size() < 2)
        return 0;
    // The toolkit takes both "-platform" and "--platform".
    QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
    const bool inlineValue = name.contains(QLatin1Char('='));
    name = name.section(QLatin1Char('='), 0, 0);
    for (const char* option : ToolkitOptionsWithValue) {
        const QLatin1String known(option);
        if (known.endsWith(QLatin1Char('-')) ? name == known.chopped(1) && inlineValue : name == known)
            return inlineValue ? 1 : 2;
    }
    for (const char* flag : ToolkitFlags)
        if (!inlineValue && name == QLatin1String(flag))
            return 1;
    return 0;
}

} // namespace

TStartArguments ParseStartArguments(const QStringList& args, const QString& workingDir)
{
    TStartArguments parsed;
    const QDir base(workingDir);
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded) {
            if (const int length = ToolkitOptionLength(arg)) {
                i += length - 1;
                continue;
            }
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
        // "-platform --help" would make "--help" the platform's name.
        if (const int length = ToolkitOptionLength(QString::fromLocal8Bit(argv[i]))) {
            i += length - 1;
            continue;
        }
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
        "While a wizard of the same edition runs for this user, the files go to that one.\n"
        "\n"
        "  -h, --help     this text\n"
        "      --version  the program's version\n"
        "      --         every argument after it is a file\n"
        "\n"
        "The edition file, the skin images and the sounds are read from the program's own\n"
        "folder; the settings are kept in the per-user configuration folder.\n");
}
