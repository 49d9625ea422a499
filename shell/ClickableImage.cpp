#include "ClickableImage.h"

#include <QMouseEvent>

void TClickableImage::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit pressed(event->globalPosition().toPoint());
    QLabel::mousePressEvent(event);
}

void TClickableImage::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
