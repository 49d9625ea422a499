#include "InputSlide.h"

#include <QPainter>
#include <QPainterPath>

QSize TInputSlideDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {option.rect.width(), InputSlideHeight};
}

void TInputSlideDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    p->setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect r = option.rect;
    if (option.state & QStyle::State_Selected) {
        QColor soft = option.palette.color(QPalette::Highlight);
        soft.setAlpha(50);
        p->setPen(Qt::NoPen);
        p->setBrush(soft);
        p->drawRoundedRect(r.adjusted(1, 1, -1, -1), 5, 5);
    }

    const QRect area(r.left() + 1, r.top() + (r.height() - InputSlidePictureHeight) / 2, InputSlidePictureWidth,
                     InputSlidePictureHeight);
    const QImage picture = index.data(irThumbnail).value<QImage>();
    if (!picture.isNull()) {
        QSize fitted = picture.size().scaled(area.size().shrunkBy({4, 4, 4, 4}), Qt::KeepAspectRatio);
        if (picture.width() <= area.width() - 8 && picture.height() <= area.height() - 8)
            fitted = picture.size(); // small pictures (the audio icon) keep their size
        QRect target(QPoint(0, 0), fitted);
        target.moveCenter(area.center());
        p->drawImage(target, picture);
    } else {
        // Nothing could be decoded: an empty film frame.
        const QRect frame = area.adjusted(6, 8, -6, -8);
        p->setPen(Qt::NoPen);
        p->setBrush(QColor(0x2b, 0x36, 0x44));
        p->drawRoundedRect(frame, 5, 5);
        p->setBrush(QColor(255, 255, 255, 200));
        const QPointF c = QRectF(frame).center();
        p->drawPolygon(QPolygonF{c + QPointF(-7, -10), c + QPointF(10, 0), c + QPointF(-7, 10)});
    }

    const QStringList lines = index.data(irLines).toStringList();
    QFont bold = option.font;
    bold.setBold(true);
    const QFontMetrics fmBold(bold), fm(option.font);
    const int left = area.right() + 6;
    const int width = r.right() - left - 4;
    const int lineHeight = std::max(fm.height(), fmBold.height());
    int y = r.top() + (r.height() - 4 * lineHeight - 6) / 2;
    p->setPen(option.palette.color(QPalette::Text));
    for (int i = 0; i < 4; ++i) {
        p->setFont(i == 0 ? bold : option.font);
        const QFontMetrics& m = i == 0 ? fmBold : fm;
        p->drawText(QRect(left, y, width, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                    m.elidedText(lines.value(i), i == 0 ? Qt::ElideMiddle : Qt::ElideRight, width));
        y += lineHeight + (i == 0 ? 6 : 0);
    }
    p->setPen(QColor(0xe0, 0xe4, 0xea));
    p->drawLine(r.bottomLeft() + QPoint(4, 0), r.bottomRight() - QPoint(4, 0));
    p->restore();
}

QImage AudioIconImage()
{
    QImage image(72, 72, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 0, 0, 72);
    back.setColorAt(0, QColor(0x4a, 0x90, 0xd9));
    back.setColorAt(1, QColor(0x23, 0x5a, 0x9c));
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(2, 2, 68, 68), 12, 12);

    // A pair of beamed eighth notes.
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(15, 44, 16, 12));
    p.drawEllipse(QRectF(41, 38, 16, 12));
    p.drawRect(QRectF(28, 18, 3.5, 33));
    p.drawRect(QRectF(54, 12, 3.5, 33));
    QPainterPath beam;
    beam.moveTo(28, 18);
    beam.lineTo(57.5, 12);
    beam.lineTo(57.5, 20);
    beam.lineTo(28, 26);
    beam.closeSubpath();
    p.drawPath(beam);
    return image;
}
