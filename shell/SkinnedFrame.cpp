#include "SkinnedFrame.h"

#include "ClickableImage.h"
#include "EditionConfig.h"
#include "ImageButton.h"
#include "SkinPainter.h"

#include <QBitmap>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace {

TImageButton* MakeImageButton(QWidget* parent, const char* name)
{
    auto* button = new TImageButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

} // namespace

TSkinnedFrame::TSkinnedFrame(QWidget* parent) : QWidget(parent, Qt::FramelessWindowHint | Qt::Window)
{
    ImageTopLogo = new TClickableImage(this);
    ImageTopLogo->setObjectName(QStringLiteral("ImageTopLogo"));
    ImageLeftLogo = new TClickableImage(this);
    ImageLeftLogo->setObjectName(QStringLiteral("ImageLeftLogo"));
    connect(ImageTopLogo, &TClickableImage::pressed, this, &TSkinnedFrame::StartDrag);
    connect(ImageLeftLogo, &TClickableImage::pressed, this, &TSkinnedFrame::StartDrag);

    LabelTitle = new QLabel(this);
    LabelTitle->setObjectName(QStringLiteral("LabelTitle"));
    QFont titleFont = LabelTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() + 1.5);
    LabelTitle->setFont(titleFont);
    titlePointSize_ = titleFont.pointSizeF();

    LabelVersion = new QLabel(this);
    LabelVersion->setObjectName(QStringLiteral("LabelVersion"));
    LabelMoreTools = new TClickableImage(tr("more free tools..."), this);
    LabelMoreTools->setObjectName(QStringLiteral("LabelMoreTools"));
    LabelMoreTools->setCursor(Qt::PointingHandCursor);

    ButtonMin = MakeImageButton(this, "ButtonMin");
    ButtonClose = MakeImageButton(this, "ButtonClose");
    ButtonHelp = MakeImageButton(this, "ButtonHelp");
    ButtonLog = MakeImageButton(this, "ButtonLog");
    ButtonBack = MakeImageButton(this, "ButtonBack");
    ButtonNext = MakeImageButton(this, "ButtonNext");
    ButtonExit = MakeImageButton(this, "ButtonExit");
    ButtonMin->setToolTip(tr("Minimize"));
    ButtonClose->setToolTip(tr("Close"));
    connect(ButtonMin, &TImageButton::clicked, this, &QWidget::showMinimized);
    connect(ButtonClose, &TImageButton::clicked, this, &QWidget::close);
}

QStringList TSkinnedFrame::LoadSkin(const QString& folder, int variant)
{
    skin_ = LoadSkinImages(folder, variant);
    ImageTopLogo->setPixmap(skin_.TopLogo);
    ImageTopLogo->resize(skin_.TopLogo.size());
    ImageLeftLogo->setPixmap(skin_.LeftLogo);
    ImageLeftLogo->resize(skin_.LeftLogo.size());
    ButtonMin->SetImages({skin_.Min.begin(), skin_.Min.end()});
    ButtonClose->SetImages({skin_.Close.begin(), skin_.Close.end()});
    for (TImageButton* b : {ButtonHelp, ButtonLog, ButtonBack, ButtonNext, ButtonExit})
        b->SetImages({skin_.Bottom.begin(), skin_.Bottom.end()});

    // Magenta is outside the window: transparent when painted, cut away by the mask.
    const QImage main = skin_.Main.toImage().convertToFormat(QImage::Format_ARGB32);
    QImage shaped = main;
    const QRgb magenta = SkinTransparent.rgb() & 0xFFFFFF;
    for (int y = 0; y < shaped.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(shaped.scanLine(y));
        for (int x = 0; x < shaped.width(); ++x)
            if ((line[x] & 0xFFFFFF) == magenta)
                line[x] = 0;
    }
    background_ = QPixmap::fromImage(shaped);
    setFixedSize(background_.size());
    setMask(skin_.Main.createMaskFromColor(SkinTransparent, Qt::MaskInColor));
    return skin_.Missing;
}

QColor TSkinnedFrame::HeaderColor() const
{
    const QImage main = skin_.Main.toImage();
    if (main.isNull())
        return SkinScheme(0).headerFrom;
    return main.pixelColor(main.width() / 3, std::min(16, main.height() - 1));
}

void TSkinnedFrame::ApplyLayout(const TLayoutVariant& layout, QWidget* pageArea)
{
    ButtonMin->move(layout.ButtonMin);
    ButtonClose->move(layout.ButtonClose);
    ButtonHelp->move(layout.ButtonHelp);
    ButtonLog->move(layout.ButtonLog);
    ButtonBack->move(layout.ButtonBack);
    ButtonNext->move(layout.ButtonNext);
    ButtonExit->move(layout.ButtonExit);
    pageArea->move(layout.PageControlMain);

    const QPoint page = layout.PageControlMain;
    LabelTitle->setGeometry(layout.LabelTitle.x(), layout.LabelTitle.y(),
                            std::max(100, width() - layout.LabelTitle.x() - 16), 24);
    ImageTopLogo->move(16, 8);
    ImageLeftLogo->move(std::max(0, (page.x() - ImageLeftLogo->width()) / 2), page.y() + 14);
    const int columnWidth = std::max(60, page.x() - 30);
    LabelVersion->setGeometry(20, page.y() + 380, columnWidth, 20);
    LabelMoreTools->setGeometry(20, page.y() + 402, columnWidth, 20);

    const QColor labels(layout.LabelColor.R, layout.LabelColor.G, layout.LabelColor.B);
    for (QLabel* label : {LabelVersion, static_cast<QLabel*>(LabelMoreTools)}) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, labels);
        label->setPalette(pal);
    }
    QFont link = LabelMoreTools->font();
    link.setUnderline(true);
    LabelMoreTools->setFont(link);

    // The title line is white on a dark part of the skin, dark on a light one.
    const QImage main = skin_.Main.toImage();
    const QPoint probe = layout.LabelTitle + QPoint(4, 10);
    const bool dark = main.valid(probe) && main.pixelColor(probe).lightness() < 140;
    QPalette pal = LabelTitle->palette();
    pal.setColor(QPalette::WindowText, dark ? QColor(Qt::white) : HeaderColor().darker(140));
    LabelTitle->setPalette(pal);
}

void TSkinnedFrame::SetTitle(const QString& text)
{
    QFont font = LabelTitle->font();
    font.setPointSizeF(titlePointSize_);
    while (font.pointSizeF() > 7.5 && QFontMetrics(font).horizontalAdvance(text) > LabelTitle->width())
        font.setPointSizeF(font.pointSizeF() - 0.5);
    LabelTitle->setFont(font);
    LabelTitle->setText(text);
}

void TSkinnedFrame::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, background_);
}

void TSkinnedFrame::StartDrag(QPoint globalPos)
{
    // Let the window manager move the window when it can; otherwise follow the mouse.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    dragging_ = true;
    dragOffset_ = globalPos - frameGeometry().topLeft();
    grabMouse();
}

void TSkinnedFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_)
        move(event->globalPosition().toPoint() - dragOffset_);
    QWidget::mouseMoveEvent(event);
}

void TSkinnedFrame::mouseReleaseEvent(QMouseEvent* event)
{
    if (dragging_) {
        dragging_ = false;
        releaseMouse();
    }
    QWidget::mouseReleaseEvent(event);
}
