#pragma once
// The skin images of the main window, loaded from the edition's skin folder. A file that
// is missing or unreadable is drawn instead, and named in Missing for the log window.
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <array>

struct TSkinImages {
    QPixmap TopLogo, LeftLogo, DownloadVideo, ConvertVideo;
    QPixmap Main;                         // background; magenta = outside the window
    std::array<QPixmap, 3> Min, Close;    // normal, mouse over, pressed
    std::array<QPixmap, 4> Bottom;        // normal, mouse over, pressed, disabled
    QStringList Missing;                  // full paths of the files drawn instead
};

// folder: the skin folder with its trailing separator; variant: the layout variant the
// stand-in pictures are drawn for (0..2).
TSkinImages LoadSkinImages(const QString& folder, int variant);
