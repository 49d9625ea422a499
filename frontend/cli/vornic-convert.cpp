// Entry of the command-line converter: reads the arguments, loads the engine libraries the
// way the wizard does ("lib" beside the executable, else the system's) and runs one command.
// Exit status: 0 success, 1 a file, the engine or the output failed, 2 bad arguments,
// 128 + the signal's number when interrupted (130 for Ctrl+C).
#include "CliArguments.h"
#include "CliCommands.h"
#include "CliDVD.h"
#include "CliFolders.h"
#include "CliOutput.h"
#include "CliProgress.h"
#include "FFmpegEngine.h"
#include "FFmpegLogger.h"
#include "UtilFuncs.h"

#include <QCoreApplication>
#include <QDir>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

std::atomic<bool> StopRequested{false};
volatile std::sig_atomic_t StopSignal = 0;

// The first interrupt stops the run cleanly; a second one ends the process at once.
void OnInterrupt(int signal)
{
    StopSignal = signal;
    StopRequested = true;
    std::signal(signal, SIG_DFL);
}

const QString Program = QStringLiteral("vornic-convert");

int BadArguments(const QString& message)
{
    std::fprintf(stderr, "vornic-convert: %s\n%s", message.toUtf8().constData(), UsageText().toUtf8().constData());
    return 2;
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
        return CheckedOutput(Program, 0);
    case cmListPresets:
        return CheckedOutput(Program, ListPresets(stdout));
    case cmDVDInfo:
        return CheckedOutput(Program, ShowDVDInfo(args.DVD.Root, stdout));
    default:
        break;
    }

    if (args.Mode == cmConvert) {
        const QString folder = args.OutputDir.isEmpty() ? QDir::currentPath() : args.OutputDir;
        if (const int status = CheckOutputFolder(Program, folder, UsageText()))
            return status;
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
        return CheckedOutput(Program, ShowInfo(engine, args.Files, stdout, stderr));

    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const int status = CheckedOutput(Program, Convert(engine, args, display, stdout, &StopRequested));
    return StopRequested.load() ? 128 + int(StopSignal) : status;
}
