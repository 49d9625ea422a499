// Writes the program's logo into an icon theme folder for the desktop's menus:
// vornic-icongen <icons folder> <icon name> <size>... gives <folder>/hicolor/<n>x<n>/apps/<name>.png
// for each size n.
// The same drawing as the window icon, so the menu and the task bar agree.
#include "About.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <icons folder> <icon name> <size>...\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "not an icon size: %s\n", argv[i]);
            return 2;
        }
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(root).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(folder, name);
        if (!QDir().mkpath(folder) || !DrawAppLogo(size).save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
