// Entry of the command-line converter: reads the arguments, loads the engine libraries the
// way the wizard does ("lib" beside the executable, else the system's) and runs one command.
// Exit status: 0 success, 1 a file or the engine failed, 2 bad arguments.
#include "CliArguments.h"
#include "CliCommands.h"
#include "CliDVD.h"
#include "CliProgress.h"
#include "FFmpegEngine.h"
#include "FFmpegLogger.h"
#include "UtilFuncs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

std::atomic<bool> StopRequested{false};

// The first interrupt stops the run cleanly; a second one ends the process at once.
void OnInterrupt(int signal)
{
    StopRequested = true;
    std::signal(signal, SIG_DFL);
}

int BadArguments(const QString& message)
{
    std::fprintf(stderr, "vornic-convert: %s\n%s", message.toUtf8().constData(), UsageText().toUtf8().constData());
    return 2;
}

// An output folder must exist and take a new file; the wizard would create it, but a typo on
// a command line should not silently make a new folder.
QString OutputFolderProblem(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringLiteral("output folder does not exist: %1").arg(folder);
    if (!info.isDir())
        return QStringLiteral("output folder is not a folder: %1").arg(folder);
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".vornic-convert-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("cannot write into the output folder %1: %2").arg(folder, probe.errorString());
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vornic-convert"));

    TCliArguments args;
    QString error;
    if (!ParseCliArguments(app.arguments().mid(1), args, &error))
        return BadArguments(error);

    switch (args.Mode) {
    case cmHelp:
        std::fputs(HelpText().toUtf8().constData(), stdout);
        return 0;
    case cmListPresets:
        return ListPresets(stdout);
    case cmDVDInfo:
        return ShowDVDInfo(args.DVD.Root, stdout);
    default:
        break;
    }

    if (args.Mode == cmConvert) {
        const QString problem = OutputFolderProblem(args.OutputDir.isEmpty() ? QDir::currentPath() : args.OutputDir);
        if (!problem.isEmpty())
            return BadArguments(problem);
    }

    // Log lines pass through the display, so they never land in the middle of the bar.
    TCliDisplay display(args.Mode == cmConvert && isatty(STDERR_FILENO) != 0, stderr);
    struct TLogUnhook {
        bool Hooked = false;
        ~TLogUnhook() { if (Hooked) FFLogger()->OnLog = nullptr; } // before the display goes
    } unhook;
    if (args.Verbose) {
        unhook.Hooked = true;
        FFLogger()->OnLog = [&display](QObject*, std::uint32_t threadID, TLogLevel level, const QString& message) {
            display.Line(FormatLogLine(threadID, level, message));
        };
    }

    TFFmpegEngine engine;
    const QString libFolder = WithTrailingBackslash(QCoreApplication::applicationDirPath()) + QStringLiteral("lib");
    const bool loaded = engine.LibrariesLoaded() || engine.LoadLibraries(libFolder);
    if (args.Mode == cmVersion)
        return ShowVersion(loaded ? QString() : engine.LastError(), stdout);
    if (!loaded) {
        std::fprintf(stderr, "vornic-convert: the engine libraries cannot be loaded: %s\n",
                     engine.LastError().toUtf8().constData());
        return 1;
    }

    if (args.Mode == cmInfo)
        return ShowInfo(engine, args.Files, stdout);

    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    return Convert(engine, args, display, stdout, &StopRequested);
}
