#include "SkinPainter.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <array>
#include <functional>
#include <cmath>

namespace {

const std::array<TSkinScheme, 3> Schemes{{
    // ocean blue
    {QColor(0x15, 0x3e, 0x75), QColor(0x1f, 0x8a, 0xc0), QColor(0xff, 0x9f, 0x1c), QColor(0x6c, 0xc6, 0xf0),
     QColor(0xe9, 0xf1, 0xf9), QColor(0xd6, 0xe4, 0xf2), QColor(0xf4, 0xf7, 0xfb), QColor(0x9f, 0xb3, 0xca),
     QColor(0xee, 0xf2, 0xf7), QColor(0xd9, 0xe1, 0xeb), QColor(0x1d, 0x32, 0x4f)},
    // plum, dark column
    {QColor(0x3b, 0x1d, 0x5c), QColor(0x8e, 0x3b, 0x8f), QColor(0xff, 0xc1, 0x4d), QColor(0xe0, 0x9c, 0xe8),
     QColor(0x3a, 0x24, 0x52), QColor(0x24, 0x16, 0x36), QColor(0xf6, 0xf3, 0xf9), QColor(0x7d, 0x66, 0x94),
     QColor(0xf1, 0xec, 0xf5), QColor(0xdd, 0xd3, 0xe6), QColor(0x33, 0x1f, 0x47)},
    // graphite and green
    {QColor(0x23, 0x2a, 0x31), QColor(0x3d, 0x4a, 0x55), QColor(0x3c, 0xc4, 0x7c), QColor(0x9a, 0xe6, 0xbd),
     QColor(0xee, 0xf1, 0xf2), QColor(0xdc, 0xe2, 0xe4), QColor(0xf5, 0xf6, 0xf7), QColor(0x9a, 0xa5, 0xab),
     QColor(0xef, 0xf1, 0xf2), QColor(0xd9, 0xde, 0xe0), QColor(0x23, 0x2a, 0x31)},
}};

QFont SkinFont(int pixelSize, int weight = QFont::Normal)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(weight));
    return font;
}

QImage TransparentImage(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QPainterPath RoundedPath(const QRectF& rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

void FillGradientRect(QPainter& p, const QRectF& rect, const QColor& from, const QColor& to, bool horizontal)
{
    QLinearGradient g(rect.topLeft(), horizontal ? rect.topRight() : rect.bottomLeft());
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    p.fillRect(rect, g);
}

// A rounded tile with the accent gradient and a play triangle: the product mark.
void PaintMark(QPainter& p, const QRectF& r, const TSkinScheme& s)
{
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, s.accent.lighter(115));
    g.setColorAt(1, s.accent.darker(125));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, r.width() * 0.24, r.width() * 0.24);
    const qreal u = r.width() / 10.0;
    QPolygonF play{QPointF(r.left() + 3.6 * u, r.top() + 2.6 * u), QPointF(r.left() + 7.6 * u, r.center().y()),
                   QPointF(r.left() + 3.6 * u, r.bottom() - 2.6 * u)};
    p.setBrush(Qt::white);
    p.drawPolygon(play);
}

// Arrow from a to b with a filled head.
void PaintArrow(QPainter& p, QPointF a, QPointF b, const QColor& color, qreal width)
{
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
    const QPointF d = b - a;
    const qreal len = std::hypot(d.x(), d.y());
    const QPointF u = d / len, n(-u.y(), u.x());
    const qreal head = width * 2.6;
    p.drawLine(a, b - u * head * 0.8);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(QPolygonF{b, b - u * head * 1.4 + n * head, b - u * head * 1.4 - n * head});
}

void PaintFilmFrame(QPainter& p, const QRectF& r, const QColor& body, const QColor& holes)
{
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(r, 6, 6);
    p.setBrush(holes);
    const qreal hole = r.height() / 9;
    for (int i = 0; i < 5; ++i) {
        const qreal y = r.top() + hole * 0.9 + i * (r.height() - hole * 1.8) / 4.6;
        p.drawRoundedRect(QRectF(r.left() + hole * 0.5, y, hole, hole * 0.8), 2, 2);
        p.drawRoundedRect(QRectF(r.right() - hole * 1.5, y, hole, hole * 0.8), 2, 2);
    }
}

void PaintNote(QPainter& p, QPointF at, qreal size, const QColor& color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QRectF(at.x(), at.y() + size * 0.72, size * 0.36, size * 0.28));
    p.drawEllipse(QRectF(at.x() + size * 0.56, at.y() + size * 0.62, size * 0.36, size * 0.28));
    p.setPen(QPen(color, size * 0.07));
    p.drawLine(QPointF(at.x() + size * 0.34, at.y() + size * 0.86), QPointF(at.x() + size * 0.34, at.y() + size * 0.12));
    p.drawLine(QPointF(at.x() + size * 0.90, at.y() + size * 0.76), QPointF(at.x() + size * 0.90, at.y() + size * 0.02));
    p.setPen(QPen(color, size * 0.13));
    p.drawLine(QPointF(at.x() + size * 0.34, at.y() + size * 0.14), QPointF(at.x() + size * 0.90, at.y() + size * 0.04));
}

// Wide banner of a Mode page choice: a soft card with an illustration on the left and a
// headline with a line of text on the right.
QImage PaintBanner(const TSkinScheme& s, const QString& headline, const QString& line,
                   const std::function<void(QPainter&, const QRectF&)>& art)
{
    QImage image = TransparentImage({520, 132});
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card(1, 1, 518, 130);
    QLinearGradient g(card.topLeft(), card.bottomRight());
    g.setColorAt(0, s.headerFrom);
    g.setColorAt(1, s.headerTo);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(RoundedPath(card, 12));
    // soft light circles for depth
    p.setBrush(QColor(255, 255, 255, 18));
    p.drawEllipse(QRectF(330, -70, 260, 260));
    p.drawEllipse(QRectF(-60, 60, 200, 200));
    art(p, QRectF(20, 14, 170, 104));
    p.setPen(Qt::white);
    p.setFont(SkinFont(26, QFont::Bold));
    p.drawText(QRectF(214, 26, 290, 40), Qt::AlignLeft | Qt::AlignVCenter, headline);
    p.setPen(QColor(255, 255, 255, 215));
    p.setFont(SkinFont(13));
    p.drawText(QRectF(214, 68, 290, 44), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, line);
    return image;
}

} // namespace

const TSkinScheme& SkinScheme(int index)
{
    return Schemes[index >= 0 && index < int(Schemes.size()) ? index : 0];
}

TSkinGeometry SkinGeometry(int variant)
{
    switch (variant) {
    case 1:
        return {{830, 610}, 58, 226, QRect(240, 110, 560, 430), 556, QRect(766, 3, 28, 22), QRect(794, 3, 28, 22)};
    case 2:
        return {{772, 547}, 70, 195, QRect(198, 74, 560, 430), 506, QRect(696, 6, 28, 22), QRect(728, 4, 28, 22)};
    default:
        return {{772, 547}, 70, 200, QRect(203, 74, 560, 430), 506, QRect(696, 4, 28, 22), QRect(728, 4, 28, 22)};
    }
}

QImage PaintMainBackground(const TSkinScheme& s, const TSkinGeometry& g)
{
    const QRectF whole(0, 0, g.size.width(), g.size.height());
    QImage image(g.size, QImage::Format_RGB32);
    image.fill(s.body);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF header(0, 0, whole.width(), g.headerHeight);
        FillGradientRect(p, header, s.headerFrom, s.headerTo, true);
        FillGradientRect(p, QRectF(0, 0, whole.width(), g.headerHeight / 2.0), QColor(255, 255, 255, 28),
                         QColor(255, 255, 255, 6), false);
        p.fillRect(QRectF(0, g.headerHeight, whole.width(), 2), s.accent);

        const QRectF column(0, g.headerHeight + 2, g.columnWidth, g.barTop - g.headerHeight - 2);
        FillGradientRect(p, column, s.columnFrom, s.columnTo, false);
        p.fillRect(QRectF(g.columnWidth - 1, column.top(), 1, column.height()), s.border.lighter(118));

        const QRectF page = QRectF(g.pageArea).adjusted(-4, -4, 4, 4);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 14));
        p.drawRoundedRect(page.translated(0, 2), 9, 9);
        p.setPen(QPen(s.border.lighter(125), 1));
        p.setBrush(Qt::white);
        p.drawRoundedRect(page, 8, 8);

        const QRectF bar(0, g.barTop, whole.width(), whole.height() - g.barTop);
        FillGradientRect(p, bar, s.barFrom, s.barTo, false);
        p.fillRect(QRectF(0, g.barTop, whole.width(), 1), s.border.lighter(115));

        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(s.headerFrom.darker(130), 1.2));
        p.drawPath(RoundedPath(whole.adjusted(0.6, 0.6, -0.6, -0.6), 14));
    }
    // Outside the rounded frame: exact magenta, never blended, so the window mask is clean.
    QImage shape(g.size, QImage::Format_RGB32);
    shape.fill(Qt::black);
    {
        QPainter p(&shape);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPath(RoundedPath(whole, 14));
    }
    const QRgb magenta = SkinTransparent.rgb();
    for (int y = 0; y < g.size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const auto* mask = reinterpret_cast<const QRgb*>(shape.constScanLine(y));
        for (int x = 0; x < g.size.width(); ++x) {
            if (qRed(mask[x]) < 128)
                line[x] = magenta;
            else if (line[x] == magenta)
                line[x] = qRgb(254, 0, 254);   // keep inner pixels opaque
        }
    }
    return image;
}

QImage PaintTopLogo(const TSkinScheme& s)
{
    QImage image = TransparentImage({300, 36});
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    PaintMark(p, QRectF(2, 3, 30, 30), s);
    p.setPen(Qt::white);
    p.setFont(SkinFont(24, QFont::Bold));
    p.drawText(QRectF(42, 0, 120, 36), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("vornic"));
    p.setPen(QColor(255, 255, 255, 190));
    p.setFont(SkinFont(12));
    p.drawText(QRectF(140, 4, 160, 32), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("video & audio studio"));
    return image;
}

QImage PaintLeftLogo(const TSkinScheme& s)
{
    QImage image = TransparentImage({176, 236});
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(18, 8, 140, 140);
    QRadialGradient glow(disc.center(), 70);
    glow.setColorAt(0, s.headerTo.lighter(120));
    glow.setColorAt(1, s.headerFrom);
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(disc);
    // two arcs going round: the conversion cycle
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(s.accent, 7, Qt::SolidLine, Qt::RoundCap));
    const QRectF ring = disc.adjusted(14, 14, -14, -14);
    p.drawArc(ring, 30 * 16, 120 * 16);
    p.drawArc(ring, 210 * 16, 120 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(s.accent);
    const QPointF c = ring.center();
    const qreal r = ring.width() / 2;
    auto headAt = [&](qreal deg, qreal dir) {
        const qreal a = deg * M_PI / 180;
        const QPointF tip(c.x() + r * std::cos(a), c.y() - r * std::sin(a));
        const QPointF tangent(-std::sin(a) * dir, -std::cos(a) * dir);
        const QPointF normal(std::cos(a), -std::sin(a));
        p.drawPolygon(QPolygonF{tip + tangent * 10, tip - normal * 9, tip + normal * 9});
    };
    headAt(150, -1);
    headAt(330, -1);
    PaintFilmFrame(p, QRectF(58, 50, 60, 56), QColor(255, 255, 255, 235), s.headerFrom);
    p.setBrush(s.accent);
    p.drawPolygon(QPolygonF{QPointF(80, 66), QPointF(96, 78), QPointF(80, 90)});

    // The tagline sits on a card of its own, so it reads on any panel the picture is put on.
    const bool darkColumn = s.columnTo.lightness() < 110;
    p.setPen(Qt::NoPen);
    p.setBrush(darkColumn ? QColor(0, 0, 0, 70) : QColor(255, 255, 255, 235));
    p.drawRoundedRect(QRectF(2, 154, 172, 80), 10, 10);
    p.setPen(darkColumn ? QColor(Qt::white) : s.headerFrom);
    p.setFont(SkinFont(15, QFont::Bold));
    p.drawText(QRectF(0, 160, 176, 24), Qt::AlignHCenter, QStringLiteral("Convert. Download."));
    p.setPen(darkColumn ? QColor(255, 255, 255, 180) : s.headerFrom.lighter(160));
    p.setFont(SkinFont(12));
    p.drawText(QRectF(8, 186, 160, 44), Qt::AlignHCenter | Qt::TextWordWrap,
               QStringLiteral("Your videos and music on every screen you own"));
    return image;
}

QImage PaintDownloadPicture(const TSkinScheme& s)
{
    return PaintBanner(s, QStringLiteral("Download"), QStringLiteral("Save videos from the web to your computer"),
                       [&](QPainter& p, const QRectF& r) {
        // a browser window with a video in it and a download arrow into a tray
        const QRectF win(r.left(), r.top() + 6, 120, 84);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 240));
        p.drawRoundedRect(win, 8, 8);
        p.setBrush(QColor(0, 0, 0, 30));
        p.drawRect(QRectF(win.left(), win.top() + 14, win.width(), 1));
        for (int i = 0; i < 3; ++i) {
            p.setBrush(i == 0 ? s.accent : QColor(0, 0, 0, 50));
            p.drawEllipse(QRectF(win.left() + 8 + i * 10, win.top() + 4, 6, 6));
        }
        p.setBrush(s.headerFrom);
        p.drawRoundedRect(QRectF(win.left() + 10, win.top() + 22, 100, 54), 5, 5);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF{QPointF(win.center().x() - 8, win.top() + 38), QPointF(win.center().x() + 12, win.top() + 49),
                                QPointF(win.center().x() - 8, win.top() + 60)});
        const QPointF from(r.left() + 150, r.top() + 6), to(r.left() + 150, r.top() + 76);
        PaintArrow(p, from, to, s.accent, 7);
        p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF{QPointF(r.left() + 130, r.top() + 78), QPointF(r.left() + 130, r.top() + 96),
                                 QPointF(r.left() + 170, r.top() + 96), QPointF(r.left() + 170, r.top() + 78)});
    });
}

QImage PaintConvertPicture(const TSkinScheme& s)
{
    return PaintBanner(s, QStringLiteral("Convert"), QStringLiteral("Turn audio and video files into the format you need"),
                       [&](QPainter& p, const QRectF& r) {
        PaintFilmFrame(p, QRectF(r.left(), r.top() + 14, 62, 76), QColor(255, 255, 255, 240), s.headerFrom);
        p.setBrush(s.accent);
        p.drawPolygon(QPolygonF{QPointF(r.left() + 24, r.top() + 40), QPointF(r.left() + 42, r.top() + 52),
                                QPointF(r.left() + 24, r.top() + 64)});
        PaintArrow(p, QPointF(r.left() + 72, r.top() + 52), QPointF(r.left() + 108, r.top() + 52), s.accent, 6);
        // a phone with a note on it
        const QRectF phone(r.left() + 118, r.top() + 6, 52, 92);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 240));
        p.drawRoundedRect(phone, 9, 9);
        p.setBrush(s.headerFrom);
        p.drawRoundedRect(phone.adjusted(5, 10, -5, -14), 3, 3);
        PaintNote(p, QPointF(phone.left() + 11, phone.top() + 28), 30, Qt::white);
        p.setBrush(QColor(0, 0, 0, 40));
        p.drawEllipse(QRectF(phone.center().x() - 4, phone.bottom() - 10, 8, 8));
    });
}

QImage PaintFrameButton(const TSkinScheme& s, const QImage& background, const QRect& place, bool close, int state)
{
    QImage image = background.copy(place).convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) {
        image = QImage(place.size(), QImage::Format_RGB32);
        image.fill(s.headerTo);
    }
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0.5, 0.5, place.width() - 1, place.height() - 1);
    if (state > 0) {
        QColor fill = close ? QColor(0xe0, 0x3c, 0x31) : QColor(255, 255, 255, 60);
        if (state == 2)
            fill = close ? QColor(0xa8, 0x26, 0x1d) : QColor(0, 0, 0, 60);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(r, 5, 5);
    }
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = r.center() + (state == 2 ? QPointF(0.5, 0.5) : QPointF());
    if (close) {
        p.drawLine(c + QPointF(-5, -5), c + QPointF(5, 5));
        p.drawLine(c + QPointF(5, -5), c + QPointF(-5, 5));
    } else {
        p.drawLine(c + QPointF(-6, 4), c + QPointF(6, 4));
    }
    return image;
}

QImage PaintBottomButton(const TSkinScheme& s, const QImage& background, int barTop, int state)
{
    const QRect place(40, barTop + 4, BottomButtonSize.width(), BottomButtonSize.height());
    QImage image = background.copy(place).convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) {
        image = QImage(BottomButtonSize, QImage::Format_RGB32);
        image.fill(s.barFrom);
    }
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0.5, 0.5, BottomButtonSize.width() - 1, BottomButtonSize.height() - 1);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    QColor border = s.border;
    switch (state) {
    case 1:   // mouse over: tinted with the header colour
        g.setColorAt(0, Qt::white);
        g.setColorAt(1, s.accentLight.lighter(135));
        border = s.headerTo;
        break;
    case 2:   // pressed: darker, as if pushed in
        g.setColorAt(0, s.barTo.darker(112));
        g.setColorAt(1, s.barFrom);
        border = s.headerFrom;
        break;
    case 3:   // disabled: flat
        g.setColorAt(0, s.barFrom);
        g.setColorAt(1, s.barFrom);
        border = s.border.lighter(130);
        break;
    default:
        g.setColorAt(0, Qt::white);
        g.setColorAt(1, s.barTo.lighter(104));
        break;
    }
    p.setPen(QPen(border, 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 6, 6);
    if (state == 0 || state == 1) {
        p.setPen(QPen(QColor(255, 255, 255, 200), 1));
        p.drawLine(QPointF(6, 1.5), QPointF(r.right() - 6, 1.5));
    }
    return image;
}
