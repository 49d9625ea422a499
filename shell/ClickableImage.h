#pragma once
// A picture that reports presses: the logos that move the window, the Mode page pictures,
// and the link labels of the frame.
#include <QLabel>

class TClickableImage : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void pressed(QPoint globalPos);
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};
