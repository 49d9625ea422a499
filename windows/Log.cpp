#include "Log.h"

#include "AppSettings.h"
#include "MainThread.h"
#include "UtilFuncs.h"
#include "WindowStyle.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace {

const QString SaveFilter =
    QStringLiteral("Log-Files (*.log)|*.log|Text-Files (*.txt)|*.txt|All Files (*.*)|*.*");
constexpr int PanelHeight = 40;
constexpr int ButtonGap = 8;
constexpr int DesignedWidth = 455, DesignedHeight = 182;
constexpr int MinimumWidth = 265, MinimumHeight = 125;

// Where the last save went, so the next save dialog starts there during this run.
QString lastSaveDir;

} // namespace

TFormLog::TFormLog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormLog"));
    setWindowTitle(QStringLiteral("Log"));
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    setModal(false);

    MemoLog = new QPlainTextEdit(this);
    MemoLog->setObjectName(QStringLiteral("MemoLog"));
    MemoLog->setReadOnly(true);
    MemoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    MemoLog->setFrameShape(QFrame::NoFrame);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    MemoLog->setFont(mono);
    MemoLog->setStyleSheet(QStringLiteral("QPlainTextEdit { background: #fbfcfd; color: #1d2329;"
                                          " selection-background-color: %1; }")
                               .arg(WindowStyle::Accent.name()));

    PanelBottom = new QWidget(this);
    PanelBottom->setObjectName(QStringLiteral("PanelBottom"));
    PanelBottom->setFixedHeight(PanelHeight);
    WindowStyle::StyleBottomBand(PanelBottom);
    PanelBottom->installEventFilter(this);

    ButtonOK = new QPushButton(QStringLiteral("&OK"), PanelBottom);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    WindowStyle::StyleDefaultButton(ButtonOK);
    ButtonDelete = new QPushButton(QStringLiteral("&Delete Log"), PanelBottom);
    ButtonDelete->setObjectName(QStringLiteral("ButtonDelete"));
    ButtonDelete->setAutoDefault(false);
    ButtonSave = new QPushButton(QStringLiteral("&Save Log..."), PanelBottom);
    ButtonSave->setObjectName(QStringLiteral("ButtonSave"));
    ButtonSave->setAutoDefault(false);

    // Buttons keep their natural widths, at least the classic 75 pixels.
    for (QPushButton* button : {ButtonOK, ButtonDelete, ButtonSave}) {
        button->ensurePolished();
        const QSize hint = button->sizeHint();
        button->resize(std::max(75, hint.width()), std::max(25, hint.height()));
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(MemoLog, 1);
    layout->addWidget(PanelBottom);

    connect(ButtonOK, &QPushButton::clicked, this, &TFormLog::ButtonOKClick);
    connect(ButtonDelete, &QPushButton::clicked, this, &TFormLog::ButtonDeleteClick);
    connect(ButtonSave, &QPushButton::clicked, this, &TFormLog::ButtonSaveClick);

    // The minimum keeps the three buttons whole, even with large fonts.
    const int group = ButtonSave->width() + ButtonDelete->width() + ButtonOK->width() + 2 * ButtonGap;
    setMinimumSize(std::max(MinimumWidth, group + 2 * ButtonGap), MinimumHeight);
    resize(DesignedWidth, DesignedHeight);
    PanelBottomResize();
}

TFormLog::~TFormLog() = default;

void TFormLog::Log(const QString& line)
{
    // Widgets live on the main thread; a stray call from a worker is handed over, not raced.
    if (!IsMainThread()) {
        PostToMainThread([window = QPointer<TFormLog>(this), line] {
            if (window)
                window->Log(line);
        });
        return;
    }
    QString entry = line;
    // One call, one line: a message with breaks must not turn into several entries.
    entry.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    entry.replace(QLatin1Char('\r'), QLatin1Char(' '));
    entry.replace(QLatin1Char('\n'), QLatin1Char(' '));
    lines_.append(entry);
    // A hidden window only keeps the text: a long conversion at the debug level sends hundreds
    // of thousands of lines, and a text widget costs about a kilobyte for each.
    if (isVisible())
        ShowNewLines();
}

void TFormLog::ShowNewLines()
{
    const qsizetype count = lines_.size();
    if (shownLines_ == count)
        return;
    if (shownLines_ + 1 == count)
        MemoLog->appendPlainText(lines_.last());
    else
        MemoLog->appendPlainText(lines_.mid(shownLines_).join(QLatin1Char('\n')));
    shownLines_ = count;
}

QStringList TFormLog::Lines() const
{
    return lines_;
}

bool TFormLog::SaveToFile(const QString& fileName, QString* errorText) const
{
    QString text;
    for (const QString& line : lines_) {
        text += line;
        text += QLatin1Char('\n');
    }
    // Written beside the target and renamed into place, so a failed save never leaves a
    // half-written file where a good one was.
    QSaveFile file(fileName);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Text);
    if (ok) {
        const QByteArray bytes = text.toUtf8();
        ok = file.write(bytes) == bytes.size();
        ok = ok && file.commit();
    }
    if (!ok && errorText) {
        *errorText = QStringLiteral("Cannot save the log to \"%1\":\n%2")
                         .arg(QDir::toNativeSeparators(fileName), file.errorString());
    }
    if (!ok)
        file.cancelWriting();
    return ok;
}

void TFormLog::LoadPlacement()
{
    if (OnLoadPlacement) {
        OnLoadPlacement(*this);
        return;
    }
    // Before the settings folder is fixed there is no file to read.
    if (SettingsDir.isEmpty())
        return;
    if (!PlacementStored(LogFormSection)) {
        // First show ever: over the main window, where the user is looking.
        if (owner_) {
            const QRect main = owner_->frameGeometry();
            const QSize own = frameGeometry().size();
            move(main.left() + (main.width() - own.width()) / 2, main.top() + (main.height() - own.height()) / 2);
        }
        return;
    }
    TFormPlacement placement;
    placement.Geometry = frameGeometry();
    placement.Maximized = isMaximized();
    QString report;
    LoadFormPlacement(LogFormSection, placement, QString(), QSize(), &report);
    if (!report.isEmpty())
        Log(report);
    move(placement.Geometry.topLeft());
    setWindowState(placement.Maximized ? (windowState() | Qt::WindowMaximized)
                                       : (windowState() & ~Qt::WindowMaximized));
}

void TFormLog::SavePlacement()
{
    if (OnSavePlacement) {
        OnSavePlacement(*this);
        return;
    }
    // A window never shown has no place of its own to remember.
    if (SettingsDir.isEmpty() || !shownThisRun_)
        return;
    TFormPlacement placement;
    placement.Geometry = isMaximized() ? QRect(normalGeometry().topLeft(), frameGeometry().size())
                                       : frameGeometry();
    placement.Maximized = isMaximized();
    QString error;
    if (!SaveFormPlacement(LogFormSection, placement, QString(), &error) && !error.isEmpty())
        Log(error);
}

bool TFormLog::SaveEnabled() const
{
    return ButtonSave->isEnabled();
}

QImage TFormLog::RenderForScreenshot()
{
    PanelBottomResize();
    return WindowStyle::RenderWidget(this);
}

void TFormLog::SetOwnerWindow(QWidget* owner)
{
    owner_ = owner;
}

void TFormLog::FollowOwnerMinimized(bool ownerMinimized)
{
    if (ownerMinimized && isVisible()) {
        hiddenWithOwner_ = true;
        hide();
    } else if (!ownerMinimized && hiddenWithOwner_) {
        hiddenWithOwner_ = false;
        // Back where it was: not a new show that reads the stored place.
        const QPoint at = pos();
        restoringWithOwner_ = true;
        show();
        restoringWithOwner_ = false;
        move(at);
    }
}

void TFormLog::ButtonOKClick()
{
    accept();
}

void TFormLog::ButtonDeleteClick()
{
    const TModalResult answer = ShowMessageDialog(QStringLiteral("Really delete log file?"),
                                                  QStringLiteral("Delete log?"), TMsgDlgType::mtConfirmation, {},
                                                  mbYes | mbNo | mbCancel);
    if (answer != mrYes)
        return;
    lines_.clear();
    shownLines_ = 0;
    MemoLog->clear();
    // Once cleared, the log no longer tells the whole story of this run; it stays unsaveable.
    saveDisabledForRun_ = true;
    ButtonSave->setEnabled(false);
}

void TFormLog::ButtonSaveClick()
{
    if (saveDisabledForRun_)
        return;
    TSaveDialogRequest request;
    request.title = QStringLiteral("Save Log");
    request.initialDir = lastSaveDir.isEmpty() ? GetShellFolder(QStringLiteral("Personal")) : lastSaveDir;
    request.fileName = QStringLiteral("log.log");
    request.filter = SaveFilter;
    request.defaultExt = QStringLiteral("log");
    const QString fileName = Desktop().SaveFile(request);
    if (fileName.isEmpty())
        return;
    QString error;
    if (!SaveToFile(fileName, &error)) {
        ShowMessageDialog(error, WindowStyle::CaptionTitle(), TMsgDlgType::mtError, {}, mbOK);
        return;
    }
    lastSaveDir = QFileInfo(fileName).absolutePath();
}

void TFormLog::PanelBottomResize()
{
    // Centred as a group with 8-pixel gaps, whatever the panel's width.
    const int panelWidth = PanelBottom->width();
    const int group = ButtonOK->width() + ButtonGap + ButtonDelete->width() + ButtonGap + ButtonSave->width();
    const int top = (PanelBottom->height() - ButtonOK->height()) / 2;
    ButtonOK->move(panelWidth / 2 - group / 2, top);
    ButtonDelete->move(ButtonOK->geometry().right() + 1 + ButtonGap, top);
    ButtonSave->move(ButtonDelete->geometry().right() + 1 + ButtonGap, top);
}

void TFormLog::FormShow()
{
    LoadPlacement();
    PanelBottomResize();
}

void TFormLog::FormClose()
{
    SavePlacement();
}

void TFormLog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Also when the system shows it again (its owner restored): lines came in meanwhile.
    ShowNewLines();
    if (!event->spontaneous() && !restoringWithOwner_)
        FormShow();
    shownThisRun_ = true;
}

void TFormLog::done(int result)
{
    if (isVisible())
        FormClose();
    QDialog::done(result);
}

bool TFormLog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == PanelBottom && event->type() == QEvent::Resize)
        PanelBottomResize();
    return QDialog::eventFilter(watched, event);
}
