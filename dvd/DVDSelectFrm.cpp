#include "DVDSelectFrm.h"

#include "DVDPlugIn.h"
#include "DesktopServices.h"
#include "UtilFuncs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include <thread>

namespace {

QSpinBox* ChapterField(QWidget* parent, const char* name)
{
    auto* field = new QSpinBox(parent);
    field->setObjectName(QString::fromLatin1(name));
    if (auto* edit = field->findChild<QLineEdit*>())
        edit->setReadOnly(true); // only the arrows change it
    field->setRange(1, 1);
    field->setMinimumWidth(56);
    return field;
}

QComboBox* DropDown(QWidget* parent, const char* name, int width)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setMinimumWidth(width);
    return list;
}

} // namespace

TfrmDVDSelect::TfrmDVDSelect(QWidget* parent, const QString& systemRoot) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmDVDSelect"));
    setWindowTitle(QStringLiteral("Select a DVD device or a DVD folder"));
    resize(640, 420);

    btnOpen = new QPushButton(QStringLiteral("Open DVD"), this);
    btnOpen->setObjectName(QStringLiteral("btnOpen"));
    cboTitles = DropDown(this, "cboTitles", 200);
    chkDeinterlace = new QCheckBox(QStringLiteral("Deinterlace"), this);
    chkDeinterlace->setObjectName(QStringLiteral("chkDeinterlace"));
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnOK->setEnabled(false);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    updFrom = ChapterField(this, "updFrom");
    updTo = ChapterField(this, "updTo");
    cboAudio = DropDown(this, "cboAudio", 140);
    cboSubtitle = DropDown(this, "cboSubtitle", 140);
    mmoLog = new QPlainTextEdit(this);
    mmoLog->setObjectName(QStringLiteral("mmoLog"));
    mmoLog->setReadOnly(true);
    mmoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::Monospace);
    mmoLog->setFont(courier);

    auto* first = new QHBoxLayout;
    first->addWidget(btnOpen);
    first->addWidget(new QLabel(QStringLiteral("Select a title"), this));
    first->addWidget(cboTitles, 1);
    first->addWidget(chkDeinterlace);
    first->addWidget(btnOK);
    first->addWidget(btnCancel);
    auto* second = new QHBoxLayout;
    second->addWidget(new QLabel(QStringLiteral("Chapter From"), this));
    second->addWidget(updFrom);
    second->addWidget(new QLabel(QStringLiteral("To"), this));
    second->addWidget(updTo);
    second->addWidget(new QLabel(QStringLiteral("Audio"), this));
    second->addWidget(cboAudio, 1);
    second->addWidget(new QLabel(QStringLiteral("Subtitle"), this));
    second->addWidget(cboSubtitle, 1);
    auto* all = new QVBoxLayout(this);
    all->addLayout(first);
    all->addLayout(second);
    all->addWidget(mmoLog, 1);

    BuildMenu(systemRoot);
    connect(btnOpen, &QPushButton::clicked, this, &TfrmDVDSelect::btnOpenClick);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cboTitles, &QComboBox::currentIndexChanged, this, &TfrmDVDSelect::cboTitlesChange);
    connect(updFrom, &QSpinBox::valueChanged, this, &TfrmDVDSelect::updFromChangingEx);
    connect(updTo, &QSpinBox::valueChanged, this, &TfrmDVDSelect::updToChangingEx);
    EnableTitleControls(false);
}

TfrmDVDSelect::~TfrmDVDSelect() = default;

void TfrmDVDSelect::BuildMenu(const QString& systemRoot)
{
    PopupMenuDVD = new QMenu(this);
    PopupMenuDVD->setObjectName(QStringLiteral("PopupMenuDVD"));
    QStringList drives;
    if (ListDVDDrives(&drives, systemRoot) > 0) {
        QMenu* devices = PopupMenuDVD->addMenu(QStringLiteral("Select DVD Device"));
        devices->setObjectName(QStringLiteral("MenuSelectDVDDevice"));
        for (const QString& drive : drives)
            connect(devices->addAction(drive), &QAction::triggered, this, [this, drive] { OpenRoot(drive); });
    } else {
        QAction* none = PopupMenuDVD->addAction(QStringLiteral("No DVD Device found"));
        none->setObjectName(QStringLiteral("ActionNoDVDDevice"));
        none->setEnabled(false);
    }
    PopupMenuDVD->addSeparator();
    QAction* folder = PopupMenuDVD->addAction(QStringLiteral("Select DVD Folder"));
    folder->setObjectName(QStringLiteral("ActionSelectDVDFolder"));
    connect(folder, &QAction::triggered, this, &TfrmDVDSelect::SelectDVDFolderClick);
}

void TfrmDVDSelect::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    btnOpen->setFocus();
}

void TfrmDVDSelect::btnOpenClick()
{
    PopupMenuDVD->popup(btnOpen->mapToGlobal(btnOpen->rect().bottomLeft()));
}

void TfrmDVDSelect::SelectDVDFolderClick()
{
    const QString start = !lastFolder_.isEmpty() && QFileInfo(lastFolder_).isDir() ? lastFolder_ : QDir::currentPath();
    QString folder;
    if (!Desktop().BrowseForFolder(QStringLiteral("Select DVD Folder"), start, folder))
        return;
    lastFolder_ = WithTrailingBackslash(folder);
    OpenRoot(lastFolder_);
}

bool TfrmDVDSelect::OpenRoot(const QString& root)
{
    if (reading_)
        return false; // the menu is off while a disc is read; a queued second choice waits its turn
    TDVDTitles read;
    QString message;
    bool found = false;
    {
        // The disc is read on a worker; the dialog keeps answering, and Cancel or closing it
        // stops the reading (the reader process is killed).
        reading_ = true;
        cancel_ = false;
        setCursor(Qt::BusyCursor);
        btnOpen->setEnabled(false);
        cboTitles->setEnabled(false);
        EnableTitleControls(false);
        QEventLoop loop;
        std::thread worker([&] {
            found = ReadDVDTitles(root, read, &message, &cancel_);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        worker.join();
        unsetCursor();
        btnOpen->setEnabled(true);
        cboTitles->setEnabled(true);
        reading_ = false;
    }
    if (!found) {
        cboTitlesChange(); // what was shown before stays usable
        if (!message.isEmpty() && !cancel_)
            ShowMessageDialog(message, QStringLiteral("Message"), TMsgDlgType::mtInformation, {}, mbOK);
        return false;
    }
    btnOK->setEnabled(false);
    titles_ = std::move(read);
    const QSignalBlocker block(cboTitles);
    cboTitles->clear();
    cboTitles->addItems(titles_.Items);
    mmoLog->setPlainText(titles_.Report.join(u'\n'));
    cboTitles->setCurrentIndex(0);
    cboTitlesChange();
    return true;
}

void TfrmDVDSelect::done(int result)
{
    cancel_ = true; // a read under way ends, and with it the loop OpenRoot waits in
    QDialog::done(result);
}

const TDVDTitleInfo* TfrmDVDSelect::SelectedTitle() const
{
    const int index = cboTitles->currentIndex();
    if (index < 0 || size_t(index) >= titles_.Titles.size() || !titles_.Titles[size_t(index)])
        return nullptr;
    return &*titles_.Titles[size_t(index)];
}

void TfrmDVDSelect::cboTitlesChange()
{
    cboAudio->clear();
    cboSubtitle->clear();
    const TDVDTitleInfo* info = SelectedTitle();
    if (!info) {
        EnableTitleControls(false);
        return;
    }
    const int chapters = std::max(info->ChapterCount, 1);
    const QSignalBlocker blockFrom(updFrom), blockTo(updTo);
    updFrom->setRange(1, chapters);
    updFrom->setValue(1);
    updTo->setRange(1, chapters);
    updTo->setValue(chapters);
    for (const TDVDStreamItem& item : DVDAudioItems(*info))
        cboAudio->addItem(item.Text, item.ID);
    for (const TDVDStreamItem& item : DVDSubtitleItems(*info))
        cboSubtitle->addItem(item.Text, item.ID);
    cboAudio->setCurrentIndex(0);
    cboSubtitle->setCurrentIndex(0);
    EnableTitleControls(true);
}

void TfrmDVDSelect::EnableTitleControls(bool on)
{
    for (QWidget* w : std::initializer_list<QWidget*>{updFrom, updTo, cboAudio, cboSubtitle, btnOK})
        w->setEnabled(on);
}

void TfrmDVDSelect::updFromChangingEx(int value)
{
    if (value > updTo->value())
        updTo->setValue(value);
}

void TfrmDVDSelect::updToChangingEx(int value)
{
    if (value < updFrom->value())
        updFrom->setValue(value);
}

TDVDSelection TfrmDVDSelect::Selection() const
{
    TDVDSelection s;
    s.Root = titles_.Root;
    s.TitleIndex = cboTitles->currentIndex();
    s.FirstChapter = updFrom->value() - 1;
    s.LastChapter = updTo->value() - 1;
    s.AudioID = cboAudio->currentData().toInt();
    s.AudioText = cboAudio->currentText();
    s.SubtitleID = cboSubtitle->currentData().toInt();
    s.SubtitleText = cboSubtitle->currentText();
    s.StreamKind = DVDStreamMPEG2PS;
    s.Deinterlace = chkDeinterlace->isChecked() ? -1 : 0;
    if (const TDVDTitleInfo* info = SelectedTitle())
        s.Length = DVDChapterRangeLength(*info, s.FirstChapter, s.LastChapter);
    return s;
}
