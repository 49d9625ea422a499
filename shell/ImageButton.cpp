#include "ImageButton.h"

#include <QAction>
#include <QPainter>

TImageButton::TImageButton(QWidget* parent) : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void TImageButton::SetImages(const std::vector<QPixmap>& images)
{
    images_ = images;
    if (!images_.empty())
        resize(images_.front().deviceIndependentSize().toSize());
    update();
}

void TImageButton::SetAction(QAction* action)
{
    action_ = action;
    connect(action, &QAction::changed, this, &TImageButton::SyncWithAction);
    connect(this, &QAbstractButton::clicked, action, &QAction::trigger);
    SyncWithAction();
}

void TImageButton::SetTextColors(const QColor& normal, const QColor& disabled)
{
    text_ = normal;
    disabledText_ = disabled;
    update();
}

void TImageButton::SyncWithAction()
{
    QString caption = action_->text();
    caption.remove(QLatin1Char('&'));
    setText(caption);
    setEnabled(action_->isEnabled());
    setToolTip(action_->toolTip() != caption ? action_->toolTip() : QString());
    update();
}

QSize TImageButton::sizeHint() const
{
    return images_.empty() ? QSize(90, 30) : images_.front().deviceIndependentSize().toSize();
}

void TImageButton::enterEvent(QEnterEvent* event)
{
    hover_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TImageButton::leaveEvent(QEvent* event)
{
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void TImageButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!images_.empty()) {
        size_t state = 0;
        if (!isEnabled())
            state = images_.size() > 3 ? 3 : 0;
        else if (isDown())
            state = 2;
        else if (hover_)
            state = 1;
        p.drawPixmap(rect(), images_[std::min(state, images_.size() - 1)]);
    }
    if (!text().isEmpty()) {
        QFont f = font();
        f.setBold(true);
        p.setFont(f);
        p.setPen(isEnabled() ? text_ : disabledText_);
        p.drawText(rect().translated(isDown() ? 1 : 0, isDown() ? 1 : 0), Qt::AlignCenter, text());
    }
}
