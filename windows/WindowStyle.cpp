#include "WindowStyle.h"

#include "EditionConfig.h"

#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QPalette>
#include <QPushButton>
#include <QWidget>

#include <QMouseEvent>

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

namespace WindowStyle {

void StyleBottomBand(QWidget* band)
{
    band->setAttribute(Qt::WA_StyledBackground, true);
    band->setStyleSheet(QStringLiteral("#%1 { background: %2; border-top: 1px solid %3; }")
                            .arg(band->objectName(), Band.name(), BandLine.name()));
}

void StyleDefaultButton(QPushButton* button)
{
    button->setDefault(true);
    button->setAutoDefault(true);
    button->setStyleSheet(QStringLiteral(
        "QPushButton { background: %1; color: white; border: 1px solid %2; border-radius: 3px;"
        " padding: 4px 14px; }"
        "QPushButton:hover { background: %3; }"
        "QPushButton:pressed { background: %2; }"
        "QPushButton:disabled { background: #a9b9cc; border-color: #a9b9cc; }")
                              .arg(Accent.name(), AccentDark.name(), Accent.lighter(112).name()));
}

void StyleLinkLabel(QLabel* label)
{
    label->setTextFormat(Qt::PlainText);
    label->setCursor(Qt::PointingHandCursor);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Accent);
    label->setPalette(palette);
}

QImage RenderWidget(QWidget* window)
{
    window->ensurePolished();
    if (window->layout())
        window->layout()->activate();
    QImage image(window->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(window->palette().color(QPalette::Window));
    window->render(&image);
    return image;
}

QString CaptionTitle()
{
    if (!EditionConfig.Name.isEmpty())
        return EditionConfig.Name;
    return QCoreApplication::applicationName();
}

} // namespace WindowStyle
