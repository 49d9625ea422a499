#include "AppIcon.h"

#include "About.h"
#include "EditionConfig.h"

#include <QGuiApplication>

#include <QPainter>
#include <QPixmap>

namespace {

// Each edition's icon is the program's logo with a corner mark of its own.
QImage IconImage(const QString& iconName, int size)
{
    QImage image = DrawAppLogo(size);
    if (iconName.isEmpty() || iconName == u"vornic")
        return image;
    QColor mark(0x2e, 0xa8, 0x5f);
    if (iconName == u"audio")
        mark = QColor(0x8e, 0x3b, 0x8f);
    else if (iconName == u"download")
        mark = QColor(0xff, 0x9f, 0x1c);
    else if (iconName == u"lite")
        mark = QColor(0x7a, 0x86, 0x94);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, size / 32.0 + 1));
    p.setBrush(mark);
    const qreal d = size * 0.38;
    p.drawEllipse(QRectF(size - d - 1, size - d - 1, d, d));
    return image;
}

} // namespace

QIcon EditionIcon(const QString& iconName)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(IconImage(iconName, size)));
    return icon;
}

void SetApplicationIdentity(const QString& editionTitle)
{
    QGuiApplication::setWindowIcon(EditionIcon(EditionIconName(editionTitle)));
}
