// Program entry: title and icon of the edition, the log window (hidden) and the main
// window, then the event loop. Closing the main window ends the program.
#include "AppIcon.h"
#include "EditionConfig.h"
#include "Log.h"
#include "Main.h"
#include "QtDesktopServices.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vornic"));
    SetDesktopServices(std::make_unique<QtDesktopServices>());
    // The pointing hand of the link labels is the system's own hand cursor already.

    const QString appDir = QCoreApplication::applicationDirPath();
    const QString title = ReadEditionTitle(appDir);
    if (!title.isEmpty())
        QApplication::setApplicationDisplayName(title);
    QApplication::setWindowIcon(EditionIcon(EditionIconName(title)));

    TFormLog formLog;
    TFormMain formMain(appDir, &formLog);
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&formMain, &TFormMain::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    return app.exec();
}
