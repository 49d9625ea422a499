#pragma once
// A button drawn from skin images (normal, mouse over, pressed and, when given, disabled),
// sized to its image. Bound to an action it shows the action's caption and enabled state
// and triggers it.
#include <QAbstractButton>
#include <QPixmap>
#include <vector>

class QAction;

class TImageButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TImageButton(QWidget* parent = nullptr);

    // 3 or 4 pictures: normal, mouse over, pressed[, disabled].
    void SetImages(const std::vector<QPixmap>& images);
    void SetAction(QAction* action);
    void SetTextColors(const QColor& normal, const QColor& disabled);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void SyncWithAction();

    std::vector<QPixmap> images_;
    QAction* action_ = nullptr;
    QColor text_{0x1d, 0x32, 0x4f}, disabledText_{0x9a, 0xa5, 0xb4};
    bool hover_ = false;
};
