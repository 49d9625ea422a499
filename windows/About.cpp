#include "About.h"

#include "EditionConfig.h"
#include "HelpLinkFuncs.h"
#include "ModalRunner.h"
#include "UtilFuncs.h"
#include "WindowStyle.h"

#include <QApplication>
#include <QIcon>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtMath>
#include <cmath>
#include <memory>

namespace {

const QString LegalNotice = QStringLiteral(
    "Warning: this computer program is protected by copyright law and international treaties. "
    "Unauthorized reproduction or distribution of this program, or any portion of it, may result "
    "in severe civil and criminal penalties.");

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);   // edition texts are data, never markup
    return label;
}

TLinkLabel* MakeLink(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new TLinkLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    WindowStyle::StyleLinkLabel(label);
    return label;
}

void SetPointSizeScaled(QWidget* widget, double factor, bool bold)
{
    QFont font = widget->font();
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * factor);
    font.setBold(bold);
    widget->setFont(font);
}

QWidget* MakeButtonBand(QWidget* parent, QPushButton* button)
{
    auto* band = new QWidget(parent);
    band->setObjectName(QStringLiteral("PanelBottom"));
    WindowStyle::StyleBottomBand(band);
    auto* row = new QHBoxLayout(band);
    row->setContentsMargins(12, 8, 12, 8);
    row->addStretch(1);
    row->addWidget(button);
    return band;
}

QPushButton* MakeOKButton(QDialog* dialog, const QString& caption)
{
    auto* button = new QPushButton(caption, dialog);
    button->setObjectName(QStringLiteral("ButtonOK"));
    button->setMinimumWidth(88);
    WindowStyle::StyleDefaultButton(button);
    QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::accept);
    return button;
}

// Keeps the designed client size unless the fonts need more room.
void FixDialogSize(QDialog* dialog, int width, int height)
{
    dialog->ensurePolished();
    const QSize hint = dialog->sizeHint();
    dialog->setFixedSize(std::max(width, hint.width()), std::max(height, hint.height()));
}

// The left picture of the tabbed box when the skin has no "leftlogo.png".
QPixmap DrawLeftPicture(const QSize& size, const QString& title)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, WindowStyle::Accent.lighter(115));
    gradient.setColorAt(1, WindowStyle::AccentDark.darker(120));
    painter.fillRect(image.rect(), gradient);
    // Soft rings behind the logo.
    painter.setPen(QPen(QColor(255, 255, 255, 28), 10));
    for (int r = 40; r < size.height(); r += 36)
        painter.drawEllipse(QPoint(size.width() / 2, size.height() / 3), r, r);
    const int logoSize = std::min(size.width() - 40, 96);
    const QImage logo = DrawAppLogo(logoSize);
    painter.drawImage(QPoint((size.width() - logoSize) / 2, size.height() / 3 - logoSize / 2), logo);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(15);
    painter.setFont(font);
    const QRect textRect(8, size.height() / 3 + logoSize / 2 + 10, size.width() - 16, 60);
    painter.drawText(textRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, title);
    painter.end();
    return QPixmap::fromImage(image);
}

} // namespace

QString AboutCopyrightLine(const QString& copyright)
{
    // No edition file, no notice: an empty line rather than a line about nobody.
    if (copyright.trimmed().isEmpty())
        return {};
    return QStringLiteral("Copyright \u00A9 %1. All rights reserved.").arg(copyright.trimmed());
}

QImage DrawAppLogo(int size)
{
    size = std::max(size, 8);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;

    // Rounded tile with a diagonal gradient.
    QLinearGradient tile(0, 0, s, s);
    tile.setColorAt(0, QColor(0x3a, 0x8d, 0xe6));
    tile.setColorAt(1, WindowStyle::AccentDark);
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(0, 0, s, s), s * 0.22, s * 0.22);

    // Two arrows chasing each other round the centre: the conversion.
    const QPointF centre(s / 2, s / 2);
    const qreal radius = s * 0.30;
    QPen arc(QColor(255, 255, 255, 235), s * 0.07, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(arc);
    painter.setBrush(Qt::NoBrush);
    const QRectF ring(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    painter.drawArc(ring, 20 * 16, 130 * 16);
    painter.drawArc(ring, 200 * 16, 130 * 16);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 235));
    auto arrowHead = [&](qreal angleDeg) {
        const qreal a = qDegreesToRadians(angleDeg);
        const QPointF tip(centre.x() + radius * std::cos(a), centre.y() - radius * std::sin(a));
        // Tangent direction (counter-clockwise travel).
        const QPointF dir(-std::sin(a), -std::cos(a));
        const QPointF normal(std::cos(a), -std::sin(a));
        const qreal len = s * 0.13, half = s * 0.08;
        QPainterPath head;
        head.moveTo(tip + dir * len);
        head.lineTo(tip + normal * half);
        head.lineTo(tip - normal * half);
        head.closeSubpath();
        painter.drawPath(head);
    };
    arrowHead(150);
    arrowHead(330);

    // Play triangle in the middle.
    const qreal t = s * 0.16;
    QPainterPath play;
    play.moveTo(centre.x() - t * 0.7, centre.y() - t);
    play.lineTo(centre.x() + t * 1.0, centre.y());
    play.lineTo(centre.x() - t * 0.7, centre.y() + t);
    play.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(play);
    painter.end();
    return image;
}

// ---- Simple box -----------------------------------------------------------------------------

TfrmAbout::TfrmAbout(const TAboutEdition& edition, QWidget* parent) : QDialog(parent), edition_(edition)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About %1").arg(edition.title));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* ImageIcon = MakeLabel(this, "ImageIcon", QString());
    // The edition's icon when the program has set one, else the drawn logo.
    const QIcon appIcon = QApplication::windowIcon();
    ImageIcon->setPixmap(appIcon.isNull() ? QPixmap::fromImage(DrawAppLogo(64)) : appIcon.pixmap(64, 64));
    ImageIcon->setFixedSize(64, 64);
    ImageIcon->setAlignment(Qt::AlignTop);

    auto* LabelAppName = MakeLabel(this, "LabelAppName", edition.title);
    SetPointSizeScaled(LabelAppName, 1.45, true);
    auto* LabelVersion = MakeLabel(this, "LabelVersion", QStringLiteral("Version %1").arg(edition.version));
    auto* LabelCopyRight = MakeLabel(this, "LabelCopyRight", AboutCopyrightLine(edition.copyright));
    const QString home = GetHomePageURL(edition.title);
    auto* LabelWeb = MakeLink(this, "LabelWeb", home);
    connect(LabelWeb, &TLinkLabel::clicked, this, [title = edition.title] { OpenHelpLink(hlHomePage, title); });

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* LabelWarning = MakeLabel(this, "LabelWarning", LegalNotice);
    LabelWarning->setWordWrap(true);
    SetPointSizeScaled(LabelWarning, 0.85, false);
    QPalette muted = LabelWarning->palette();
    muted.setColor(QPalette::WindowText, WindowStyle::Muted);
    LabelWarning->setPalette(muted);

    auto* text = new QVBoxLayout;
    text->setSpacing(4);
    text->addWidget(LabelAppName);
    text->addWidget(LabelVersion);
    text->addWidget(LabelCopyRight);
    text->addWidget(LabelWeb);
    text->addSpacing(6);
    text->addWidget(line);
    text->addWidget(LabelWarning);
    text->addStretch(1);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(18, 16, 18, 10);
    body->setSpacing(16);
    body->addWidget(ImageIcon, 0, Qt::AlignTop);
    body->addLayout(text, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(body, 1);
    layout->addWidget(MakeButtonBand(this, MakeOKButton(this, QStringLiteral("OK"))));

    FixDialogSize(this, 445, 217);
}

QImage TfrmAbout::RenderForScreenshot()
{
    return WindowStyle::RenderWidget(this);
}

// ---- Tabbed box -----------------------------------------------------------------------------

TFormAbout::TFormAbout(const TAboutEdition& edition, QWidget* parent) : QDialog(parent), edition_(edition)
{
    setObjectName(QStringLiteral("FormAbout"));
    // The caption stays as designed; the title line of the About tab names the edition.
    setWindowTitle(QStringLiteral("About "));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    const QString title = edition.title;

    // Left picture: the skin's own, else a drawn one. A click opens the updates page.
    auto* ImageLeft = new TLinkLabel(this);
    ImageLeft->setObjectName(QStringLiteral("ImageLeft"));
    ImageLeft->setCursor(Qt::PointingHandCursor);
    const QSize leftSize(150, 298);
    QPixmap left;
    if (!edition.imageDir.isEmpty())
        left.load(QDir(edition.imageDir).filePath(QStringLiteral("leftlogo.png")));
    if (left.isNull())
        left = DrawLeftPicture(leftSize, title);
    ImageLeft->setPixmap(left);
    ImageLeft->setFixedWidth(std::max(leftSize.width(), left.width()));
    ImageLeft->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    ImageLeft->setStyleSheet(QStringLiteral("background: %1;").arg(WindowStyle::AccentDark.name()));
    connect(ImageLeft, &TLinkLabel::clicked, this, [title] { OpenHelpLink(hlUpdates, title); });

    auto* PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControlAbout"));

    // About tab.
    auto* TabSheetAbout = new QWidget;
    TabSheetAbout->setObjectName(QStringLiteral("TabSheetAbout"));
    auto* LabalTitle = MakeLabel(TabSheetAbout, "LabalTitle", QStringLiteral("%1 %2").arg(title, edition.version));
    SetPointSizeScaled(LabalTitle, 1.3, true);
    auto* LabelCopyright = MakeLabel(TabSheetAbout, "LabelCopyright", AboutCopyrightLine(edition.copyright));
    LabelCopyright->setWordWrap(true);
    auto* LabelWebCaption = MakeLabel(TabSheetAbout, "LabelWebCaption", QStringLiteral("Web site:"));
    auto* LabelWeb = MakeLink(TabSheetAbout, "LabelWeb", GetHomePageURL(title));
    // The label opens its own text, whatever it holds.
    connect(LabelWeb, &TLinkLabel::clicked, this, [LabelWeb] {
        if (!LabelWeb->text().isEmpty())
            ShellOpen(LabelWeb->text());
    });
    auto* LabelSupportCaption = MakeLabel(TabSheetAbout, "LabelSupportCaption", QStringLiteral("Support:"));
    auto* LabelSupportEmail = MakeLink(TabSheetAbout, "LabelSupportEmail", GetSupportAddressText(title));
    connect(LabelSupportEmail, &TLinkLabel::clicked, this, [title] { OpenHelpLink(hlSupport, title); });

    auto* links = new QGridLayout;
    links->setHorizontalSpacing(10);
    links->setVerticalSpacing(6);
    links->addWidget(LabelWebCaption, 0, 0);
    links->addWidget(LabelWeb, 0, 1);
    links->addWidget(LabelSupportCaption, 1, 0);
    links->addWidget(LabelSupportEmail, 1, 1);
    links->setColumnStretch(1, 1);

    auto* aboutLayout = new QVBoxLayout(TabSheetAbout);
    aboutLayout->setContentsMargins(16, 16, 16, 12);
    aboutLayout->setSpacing(8);
    aboutLayout->addWidget(LabalTitle);
    aboutLayout->addWidget(LabelCopyright);
    aboutLayout->addSpacing(10);
    aboutLayout->addLayout(links);
    aboutLayout->addStretch(1);
    PageControl->addTab(TabSheetAbout, QStringLiteral("About"));

    // Update tab.
    auto* TabSheetUpdate = new QWidget;
    TabSheetUpdate->setObjectName(QStringLiteral("TabSheetUpdate"));
    auto* LabelCheck = MakeLabel(TabSheetUpdate, "LabelCheckForUpdate", QStringLiteral("Check for update"));
    SetPointSizeScaled(LabelCheck, 1.15, true);
    auto* LabelUpdateText = MakeLabel(
        TabSheetUpdate, "LabelUpdateText",
        QStringLiteral("To ensure you're using the latest version, click on the \nUpdates button below."));
    auto* GroupBox = new QGroupBox(QStringLiteral("Product information"), TabSheetUpdate);
    GroupBox->setObjectName(QStringLiteral("GroupBoxProductInformation"));
    auto* LabelVersion = MakeLabel(GroupBox, "LabelVersion", edition.version);
    auto* groupLayout = new QVBoxLayout(GroupBox);
    groupLayout->setContentsMargins(12, 8, 12, 10);
    groupLayout->addWidget(LabelVersion);
    auto* ButtonUpdates = new QPushButton(QStringLiteral("&Updates..."), TabSheetUpdate);
    ButtonUpdates->setObjectName(QStringLiteral("ButtonUpdates"));
    ButtonUpdates->setAutoDefault(false);
    connect(ButtonUpdates, &QPushButton::clicked, this, [title] { OpenHelpLink(hlUpdates, title); });

    auto* updateLayout = new QVBoxLayout(TabSheetUpdate);
    updateLayout->setContentsMargins(16, 16, 16, 12);
    updateLayout->setSpacing(8);
    updateLayout->addWidget(LabelCheck);
    updateLayout->addWidget(LabelUpdateText);
    updateLayout->addWidget(GroupBox);
    updateLayout->addWidget(ButtonUpdates, 0, Qt::AlignLeft);
    updateLayout->addStretch(1);
    PageControl->addTab(TabSheetUpdate, QStringLiteral("Update"));

    auto* right = new QVBoxLayout;
    right->setContentsMargins(12, 12, 12, 12);
    right->addWidget(PageControl, 1);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(ImageLeft);
    body->addLayout(right, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(body, 1);
    layout->addWidget(MakeButtonBand(this, MakeOKButton(this, QStringLiteral("&OK"))));

    FixDialogSize(this, 523, 298);
}

QImage TFormAbout::RenderForScreenshot()
{
    return WindowStyle::RenderWidget(this);
}

// ---- Choosing and showing -------------------------------------------------------------------

TAboutEdition CurrentAboutEdition(const QString& exeDir)
{
    // Version and notice come from the file as it is now; the title is the one in force.
    const TEditionConfig now = ReadEditionConfig(exeDir);
    TAboutEdition edition;
    edition.title = EditionConfig.Name;
    edition.version = now.Version;
    edition.copyright = now.Copyright;
    edition.imageDir = SkinImageDir(exeDir, EditionConfig.Res);
    return edition;
}

bool UsesSimpleAboutBox(const QString& editionTitle)
{
    for (const char* title : ShortWordingEditions)
        if (editionTitle == QLatin1String(title))
            return true;
    return false;
}

QDialog* CreateAboutBox(QWidget* mainWindow, const TAboutEdition& edition, bool simpleBox)
{
    QDialog* box = simpleBox ? static_cast<QDialog*>(new TfrmAbout(edition, mainWindow))
                             : static_cast<QDialog*>(new TFormAbout(edition, mainWindow));
    if (mainWindow) {
        const QRect main = mainWindow->frameGeometry();
        box->move(main.left() + (main.width() - box->width()) / 2, main.top() + (main.height() - box->height()) / 2);
    }
    return box;
}

void ShowAboutBox(QWidget* mainWindow, const TAboutEdition& edition, bool simpleBox)
{
    std::unique_ptr<QDialog> box(CreateAboutBox(mainWindow, edition, simpleBox));
    RunModal(*box);
}

void ShowAboutBox(QWidget* mainWindow)
{
    const TAboutEdition edition = CurrentAboutEdition(QCoreApplication::applicationDirPath());
    ShowAboutBox(mainWindow, edition, UsesSimpleAboutBox(edition.title));
}
