#include "ImageComboBox.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

TImageComboBox::TImageComboBox(QWidget* parent) : QComboBox(parent)
{
    setIconSize(QSize(16, 16));
    connect(this, &QComboBox::currentIndexChanged, this, [this] { UpdateToolTip(); });
}

int TImageComboBox::PopupWidth() const
{
    const QFontMetrics metrics(view()->font());
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(itemText(i)));
    const int frame = 2 * view()->frameWidth();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view());
    // Icon, the gaps around it and the item's own margins.
    return widest + iconSize().width() + 24 + frame + scrollBar;
}

void TImageComboBox::showPopup()
{
    view()->setMinimumWidth(std::max(width(), PopupWidth()));
    QComboBox::showPopup();
}

void TImageComboBox::UpdateToolTip()
{
    setToolTip(currentIndex() >= 0 ? currentText() : QString());
}

namespace {

QPixmap DrawVideo()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A strip of film: dark band, sprocket holes, a light frame in the middle.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 48, 64));
    p.drawRoundedRect(QRectF(1, 2, 14, 12), 2, 2);
    p.setBrush(QColor(230, 232, 236));
    for (int x = 3; x <= 12; x += 3) {
        p.drawRect(QRectF(x, 3, 1.5, 1.5));
        p.drawRect(QRectF(x, 11.5, 1.5, 1.5));
    }
    p.setBrush(QColor(110, 170, 230));
    p.drawRect(QRectF(3, 5.5, 10, 5));
    return pixmap;
}

QPixmap DrawDevice()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A hand-held player: body, screen and a round button.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 60, 70));
    p.drawRoundedRect(QRectF(3.5, 0.5, 9, 15), 2, 2);
    p.setBrush(QColor(120, 200, 140));
    p.drawRect(QRectF(5, 2, 6, 7));
    p.setBrush(QColor(220, 220, 225));
    p.drawEllipse(QPointF(8, 12.3), 1.6, 1.6);
    return pixmap;
}

QPixmap DrawAudio()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // Two beamed notes.
    const QColor ink(200, 90, 40);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(4.5, 12.5), 2.5, 2);
    p.drawEllipse(QPointF(11.5, 11), 2.5, 2);
    p.setPen(QPen(ink, 1.5));
    p.drawLine(QPointF(6.8, 12.3), QPointF(6.8, 3.5));
    p.drawLine(QPointF(13.8, 10.8), QPointF(13.8, 2));
    p.setPen(QPen(ink, 2.5));
    p.drawLine(QPointF(6.8, 3.8), QPointF(13.8, 2.3));
    return pixmap;
}

} // namespace

QIcon PresetClassIcon(int formatClass)
{
    static const QIcon icons[3] = {QIcon(DrawVideo()), QIcon(DrawDevice()), QIcon(DrawAudio())};
    return formatClass >= 0 && formatClass < 3 ? icons[formatClass] : QIcon();
}
