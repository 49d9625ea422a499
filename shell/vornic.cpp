// Program entry: title and icon of the edition, the log window (hidden) and the main
// window, then the event loop. Closing the main window ends the program. Files named on
// the command line open the wizard on the input list with them added; while a wizard of the
// same edition runs, they go to that one and this start ends.
#include "AppIcon.h"
#include "EditionConfig.h"
#include "Log.h"
#include "Main.h"
#include "QtDesktopServices.h"
#include "SingleInstance.h"
#include "StartArguments.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

namespace {

int AnswerWithText(const TStartArguments& start)
{
    switch (start.Mode) {
    case smHelp:
        std::fputs(StartHelpText().toUtf8().constData(), stdout);
        return 0;
    case smVersion:
        std::printf("vornic %s\n", VORNIC_VERSION);
        return 0;
    default:
        std::fprintf(stderr, "vornic: %s\n%s", start.Error.toUtf8().constData(),
                     StartHelpText().section(QLatin1Char('\n'), 0, 0).append('\n').toUtf8().constData());
        return 2;
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Help and version are answered without a display, so they work on any terminal.
    if (WantsTextOnly(argc, argv)) {
        QStringList raw;
        for (int i = 1; i < argc; ++i)
            raw << QString::fromLocal8Bit(argv[i]);
        return AnswerWithText(ParseStartArguments(raw, QString()));
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vornic"));
    const TStartArguments start = ParseStartArguments(app.arguments().mid(1), QDir::currentPath());
    if (start.Mode != smRun)
        return AnswerWithText(start);
    SetDesktopServices(std::make_unique<QtDesktopServices>());
    // The pointing hand of the link labels is the system's own hand cursor already.

    const QString appDir = QCoreApplication::applicationDirPath();
    const QString title = ReadEditionTitle(appDir);
    TSingleInstance instance(title);
    QString listenError;
    if (instance.HandOverOrListen(start.Files, &listenError))
        return 0;
    SetApplicationIdentity(title);

    TFormLog formLog;
    TFormMain formMain(appDir, &formLog);
    if (!listenError.isEmpty())
        formMain.Log(listenError);
    instance.OnFilesReceived = [&formMain](const QStringList& files) { formMain.ReceiveFiles(files); };
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&formMain, &TFormMain::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    // Queued behind the deferred start, so the files arrive in a shown window.
    if (!start.Files.isEmpty())
        QMetaObject::invokeMethod(&formMain, [&formMain, files = start.Files] { formMain.OpenFiles(files); },
                                  Qt::QueuedConnection);
    return app.exec();
}
