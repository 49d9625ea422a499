// Entry of the command-line downloader: reads the arguments, checks the output folder and
// runs the links through the download run behind a terminal display.
// Exit status: 0 every link saved, 1 any link failed, 2 bad arguments, 130 after Ctrl+C.
#include "CliFolders.h"
#include "CliOutput.h"
#include "CliProgress.h"
#include "DownloadArguments.h"
#include "DownloadCommand.h"
#include "Extractor.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int InterruptPipe[2] = {-1, -1};

// Only async-signal-safe work here: one byte per interrupt into the pipe, read by the main
// loop. The handler stays: ending the process from here would leave the file in progress.
void OnInterrupt(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(InterruptPipe[1], &byte, 1);
}

int BadArguments(const QString& message)
{
    std::fprintf(stderr, "vornic-download: %s\n%s", message.toUtf8().constData(),
                 DownloadUsageText().toUtf8().constData());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vornic-download"));

    TDownloadArguments args;
    QString error;
    if (!ParseDownloadArguments(app.arguments().mid(1), args, &error))
        return BadArguments(error);
    if (args.Help) {
        std::fputs(DownloadHelpText().toUtf8().constData(), stdout);
        return CheckedOutput(QStringLiteral("vornic-download"), 0);
    }
    if (args.Version) {
        const QString program = ExtractorProgram();
        const QString version = ExtractorVersion(program);
        QString text = QStringLiteral("vornic-download %1\n").arg(QStringLiteral(VORNIC_VERSION));
        if (program.isEmpty())
            text += QStringLiteral("extractor: none found (install yt-dlp, or name one in VORNIC_EXTRACTOR)\n");
        else if (version.isEmpty())
            text += QStringLiteral("extractor: %1 (it gives no version)\n").arg(program);
        else
            text += QStringLiteral("extractor: %1 %2\n").arg(program, version);
        std::fputs(text.toUtf8().constData(), stdout);
        return CheckedOutput(QStringLiteral("vornic-download"), 0);
    }
    const QString folder = QDir(args.OutputDir.isEmpty() ? QDir::currentPath() : args.OutputDir).absolutePath();
    if (const int status = CheckOutputFolder(QStringLiteral("vornic-download"), folder, DownloadUsageText()))
        return status;

    TCliDisplay display(isatty(STDERR_FILENO) != 0, stderr);
    TDownloadCommand command(args, folder, display, stdout);

    if (pipe2(InterruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("vornic-download: pipe");
        return 1;
    }
    QSocketNotifier interrupts(InterruptPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupts, &QSocketNotifier::activated, [&command] {
        // The first interrupt winds the run down, a further one stops it at once.
        char bytes[16];
        ssize_t n = 0;
        while ((n = read(InterruptPipe[0], bytes, sizeof bytes)) > 0)
            for (ssize_t i = 0; i < n; ++i)
                command.Cancel();
    });
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    // A reader of the paths that goes away must not kill the run halfway through a file.
    std::signal(SIGPIPE, SIG_IGN);
    // The saved paths on standard output are the result; losing them is a failed run.
    return CheckedOutput(QStringLiteral("vornic-download"), command.Execute());
}
