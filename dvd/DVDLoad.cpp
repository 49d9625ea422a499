#include "DVDLoad.h"

#include "DVDInputRow.h"
#include "DVDPlugIn.h"
#include "DVDSelectFrm.h"
#include "EditionConfig.h"
#include "ModalRunner.h"
#include "PageStep1.h"
#include "UtilFuncs.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

TDVDLoad::TDVDLoad(TPageStep1* page, QWidget* window)
    : QObject(window), PlugInFolder(DefaultDVDPlugInFolder()), page_(page), window_(window)
{
    setObjectName(QStringLiteral("DVDLoad"));
    ImageDVDIcon = new QLabel(window);
    ImageDVDIcon->setObjectName(QStringLiteral("ImageDVDIcon"));
    ImageDVDIcon->setPixmap(QPixmap::fromImage(DVDIconImage()));
    ImageDVDIcon->hide();
    connect(page->ActionLoadDVD, &QAction::triggered, this, &TDVDLoad::ActionLoadDVDExecute);
}

TDVDLoad::~TDVDLoad() = default;

TfrmDVDSelect* TDVDLoad::Dialog()
{
    if (!dialog_)
        dialog_ = new TfrmDVDSelect(window_, SystemRoot); // freed with the window
    return dialog_;
}

void TDVDLoad::ActionLoadDVDExecute()
{
    if (!LoadDVDPlugIn(PlugInFolder)) {
        ShowMessageDialog(DVDPlugInError(), EditionConfig.Name, TMsgDlgType::mtInformation, {}, mbOK);
        return;
    }
    TDVDSelection selection;
    if (SelectDVDTitle(selection))
        AddDVDTitleRow(selection);
}

bool TDVDLoad::SelectDVDTitle(TDVDSelection& selection)
{
    TfrmDVDSelect* dialog = Dialog();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = dialog->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        dialog->move(frame.topLeft());
    }
    if (RunModal(*dialog) != QDialog::Accepted)
        return false;
    selection = dialog->Selection();
    return true;
}

void TDVDLoad::AddDVDTitleRow(const TDVDSelection& selection)
{
    QCoreApplication::processEvents();
    const TDVDTitleInfo* info =
        dialog_ && dialog_->Selection().Root == selection.Root ? dialog_->SelectedTitle() : nullptr;
    page_->AppendRow(DVDTitleFacts(selection, info), ImageDVDIcon->pixmap().toImage());
}

QImage DVDIconImage()
{
    QImage image(72, 72, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient disc(QPointF(36, 36), 34, QPointF(24, 22));
    disc.setColorAt(0, QColor(0xf4, 0xf6, 0xfa));
    disc.setColorAt(0.6, QColor(0xb8, 0xc4, 0xd8));
    disc.setColorAt(1, QColor(0x8a, 0x9c, 0xbc));
    p.setPen(QPen(QColor(0x5a, 0x6a, 0x88), 1.5));
    p.setBrush(disc);
    p.drawEllipse(QRectF(3, 3, 66, 66));
    // The hole, with its clear ring.
    p.setBrush(QColor(0xe8, 0xec, 0xf2));
    p.drawEllipse(QRectF(25, 25, 22, 22));
    p.setBrush(Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.drawEllipse(QRectF(31, 31, 10, 10));
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(QColor(0x23, 0x3a, 0x6c));
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(13);
    p.setFont(font);
    p.drawText(QRectF(0, 50, 72, 16), Qt::AlignCenter, QStringLiteral("DVD"));
    return image;
}
