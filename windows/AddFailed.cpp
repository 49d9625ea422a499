#include "AddFailed.h"

#include "HelpLinkFuncs.h"
#include "ModalRunner.h"
#include "WindowStyle.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>

namespace {

const QString Explanation = QStringLiteral(
    "Failed to add the following files. The converter might not support the file type or might not "
    "support the codec that was used to compress the file. Click \"More Information\" to view a list "
    "of supported file types and releavant codecs.");

QPixmap DrawAlertIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath triangle;
    triangle.moveTo(size / 2.0, size * 0.06);
    triangle.lineTo(size * 0.96, size * 0.90);
    triangle.lineTo(size * 0.04, size * 0.90);
    triangle.closeSubpath();
    painter.setPen(QPen(QColor(0xd9, 0x8c, 0x0a), size * 0.06, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(QColor(0xf5, 0xb0, 0x28));
    painter.drawPath(triangle);
    painter.setPen(QPen(Qt::white, size * 0.1, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(size / 2.0, size * 0.36), QPointF(size / 2.0, size * 0.6));
    painter.drawPoint(QPointF(size / 2.0, size * 0.76));
    painter.end();
    return QPixmap::fromImage(image);
}

} // namespace

TFailedFile SplitFailedEntry(const QString& message, const QString& knownFileName)
{
    const QString separator = QStringLiteral(": ");
    if (!knownFileName.isEmpty()) {
        if (message.startsWith(knownFileName + separator))
            return {knownFileName, message.mid(knownFileName.size() + separator.size())};
        return {knownFileName, message};
    }
    // File names may contain ": " themselves; the longest prefix that exists wins.
    for (qsizetype at = message.lastIndexOf(separator); at > 0; at = message.lastIndexOf(separator, at - 1)) {
        const QString candidate = message.left(at);
        if (QFileInfo::exists(candidate))
            return {candidate, message.mid(at + separator.size())};
    }
    // A file that is gone: an absolute path up to the first ": ".
    static const QRegularExpression absolutePath(QStringLiteral("^(/|\\\\|[A-Za-z]:[\\\\/])"));
    if (absolutePath.match(message).hasMatch()) {
        const qsizetype at = message.indexOf(separator);
        if (at > 0)
            return {message.left(at), message.mid(at + separator.size())};
    }
    return {QString(), message};
}

TFormFailedAddFile::TFormFailedAddFile(const QString& editionTitle, QWidget* parent)
    : QDialog(parent), editionTitle_(editionTitle)
{
    setObjectName(QStringLiteral("FormFailedAddFile"));
    setWindowTitle(QStringLiteral("Failed to Add Files"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("ImageAlert"));
    icon->setPixmap(DrawAlertIcon(36));
    icon->setAlignment(Qt::AlignTop);

    auto* LabelMessage = new QLabel(Explanation, this);
    LabelMessage->setObjectName(QStringLiteral("LabelMessage"));
    LabelMessage->setTextFormat(Qt::PlainText);
    LabelMessage->setWordWrap(true);

    ListViewFiles = new QTreeWidget(this);
    ListViewFiles->setObjectName(QStringLiteral("ListViewFiles"));
    ListViewFiles->setColumnCount(2);
    ListViewFiles->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Reason")});
    ListViewFiles->setRootIsDecorated(false);
    ListViewFiles->setUniformRowHeights(true);
    ListViewFiles->setAlternatingRowColors(true);
    ListViewFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListViewFiles->setTextElideMode(Qt::ElideRight);
    ListViewFiles->header()->setStretchLastSection(true);
    ListViewFiles->setColumnWidth(0, 260);

    auto* ButtonMoreInformation = new QPushButton(QStringLiteral("More Information..."), this);
    ButtonMoreInformation->setObjectName(QStringLiteral("ButtonMoreInformation"));
    ButtonMoreInformation->setAutoDefault(false);
    connect(ButtonMoreInformation, &QPushButton::clicked, this, &TFormFailedAddFile::ButtonMoreInformationClick);
    ButtonMoreInformation->setEnabled(!GetSupportURL(editionTitle_).isEmpty());
    auto* ButtonClose = new QPushButton(QStringLiteral("Close"), this);
    ButtonClose->setObjectName(QStringLiteral("ButtonClose"));
    ButtonClose->setMinimumWidth(88);
    WindowStyle::StyleDefaultButton(ButtonClose);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* head = new QHBoxLayout;
    head->setSpacing(12);
    head->addWidget(icon, 0, Qt::AlignTop);
    head->addWidget(LabelMessage, 1);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(16, 14, 16, 12);
    body->setSpacing(10);
    body->addLayout(head);
    body->addWidget(ListViewFiles, 1);

    auto* band = new QWidget(this);
    band->setObjectName(QStringLiteral("PanelBottom"));
    WindowStyle::StyleBottomBand(band);
    auto* buttons = new QHBoxLayout(band);
    buttons->setContentsMargins(12, 8, 12, 8);
    buttons->addWidget(ButtonMoreInformation);
    buttons->addStretch(1);
    buttons->addWidget(ButtonClose);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(body, 1);
    layout->addWidget(band);

    setMinimumSize(420, 260);
    resize(560, 320);
}

void TFormFailedAddFile::AddFailedFile(const TFailedFile& entry)
{
    entries_.append(entry);
    auto* item = new QTreeWidgetItem(ListViewFiles);
    const QString shown = entry.FileName.isEmpty() ? QString() : QDir::toNativeSeparators(entry.FileName);
    item->setText(0, shown.isEmpty() ? QStringLiteral("\u2014") : QFileInfo(shown).fileName());
    item->setToolTip(0, shown);
    item->setText(1, entry.Reason);
    item->setToolTip(1, entry.Reason);
}

void TFormFailedAddFile::AddFailedEntry(const QString& message)
{
    AddFailedFile(SplitFailedEntry(message));
}

void TFormFailedAddFile::SetFailedEntries(const QStringList& messages)
{
    entries_.clear();
    ListViewFiles->clear();
    for (const QString& message : messages)
        AddFailedEntry(message);
}

void TFormFailedAddFile::ButtonMoreInformationClick()
{
    OpenHelpLink(hlSupport, editionTitle_);
}

QImage TFormFailedAddFile::RenderForScreenshot()
{
    return WindowStyle::RenderWidget(this);
}

void ShowFailedAddFiles(QWidget* mainWindow, const QString& editionTitle, const QStringList& messages)
{
    if (messages.isEmpty())
        return;
    std::unique_ptr<TFormFailedAddFile> dialog(new TFormFailedAddFile(editionTitle, mainWindow));
    dialog->SetFailedEntries(messages);
    if (mainWindow) {
        const QRect main = mainWindow->frameGeometry();
        dialog->move(main.left() + (main.width() - dialog->width()) / 2,
                     main.top() + (main.height() - dialog->height()) / 2);
    }
    RunModal(*dialog);
}
