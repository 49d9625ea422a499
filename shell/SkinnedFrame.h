#pragma once
// The borderless, skinned frame of the main window: background picture with its shape,
// the logos (dragging them moves the window), the title line, the left column labels,
// minimise and close, and the row of five image buttons.
#include "SkinImages.h"

#include <QWidget>

class QLabel;
class TClickableImage;
class TImageButton;
struct TLayoutVariant;

class TSkinnedFrame : public QWidget {
    Q_OBJECT
public:
    explicit TSkinnedFrame(QWidget* parent = nullptr);

    TClickableImage* ImageTopLogo = nullptr;
    TClickableImage* ImageLeftLogo = nullptr;
    QLabel* LabelTitle = nullptr;
    QLabel* LabelVersion = nullptr;
    TClickableImage* LabelMoreTools = nullptr;
    TImageButton* ButtonMin = nullptr;
    TImageButton* ButtonClose = nullptr;
    TImageButton* ButtonHelp = nullptr;
    TImageButton* ButtonLog = nullptr;
    TImageButton* ButtonBack = nullptr;
    TImageButton* ButtonNext = nullptr;
    TImageButton* ButtonExit = nullptr;

    // Loads the skin folder (pictures drawn for `variant` stand in for missing files) and
    // sizes the window to its background. Returns the files that had to be drawn.
    QStringList LoadSkin(const QString& folder, int variant);
    const TSkinImages& Skin() const { return skin_; }
    // Positions of the layout variant; pageArea is where the page control goes.
    void ApplyLayout(const TLayoutVariant& layout, QWidget* pageArea);
    // The title line, in a smaller type when the text would not fit.
    void SetTitle(const QString& text);
    // The colour of the header band, for the pages' palette.
    QColor HeaderColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void StartDrag(QPoint globalPos);

    TSkinImages skin_;
    qreal titlePointSize_ = 0;
    QPixmap background_;   // the skin background with its magenta made transparent
    bool dragging_ = false;
    QPoint dragOffset_;
};
