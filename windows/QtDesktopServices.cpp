#include "QtDesktopServices.h"

#include "MainThread.h"
#include "ModalRunner.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSoundEffect>
#include <QUrl>
#include <type_traits>
#include <utility>

namespace {

constexpr int PowerOffTimeoutMs = 10000;

// Widgets exist on the main thread only; a call from a worker waits there for the answer.
template <typename Fn>
auto OnMainThread(Fn&& fn) -> decltype(fn())
{
    if (IsMainThread())
        return fn();
    using Result = decltype(fn());
    if constexpr (std::is_void_v<Result>) {
        SyncToMainThread([&] { fn(); });
    } else {
        Result result{};
        SyncToMainThread([&] { result = fn(); });
        return result;
    }
}

// Buttons in the order the captions list addresses them.
const std::pair<TMsgDlgBtn, QMessageBox::StandardButton> ButtonOrder[] = {
    {mbYes, QMessageBox::Yes},     {mbNo, QMessageBox::No},         {mbOK, QMessageBox::Ok},
    {mbCancel, QMessageBox::Cancel}, {mbAbort, QMessageBox::Abort}, {mbRetry, QMessageBox::Retry},
    {mbIgnore, QMessageBox::Ignore},
};

TModalResult ResultOf(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    case QMessageBox::Ok: return mrOk;
    case QMessageBox::Cancel: return mrCancel;
    case QMessageBox::Abort: return mrAbort;
    case QMessageBox::Retry: return mrRetry;
    case QMessageBox::Ignore: return mrIgnore;
    default: return mrNone;
    }
}

QMessageBox::Icon IconOf(TMsgDlgType kind)
{
    switch (kind) {
    case TMsgDlgType::mtWarning: return QMessageBox::Warning;
    case TMsgDlgType::mtError: return QMessageBox::Critical;
    case TMsgDlgType::mtInformation: return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation: return QMessageBox::Question;
    case TMsgDlgType::mtCustom: return QMessageBox::NoIcon;
    }
    return QMessageBox::NoIcon;
}

// filterIndex is 1-based, as the windows give it.
void ApplyFilter(QFileDialog& dialog, const QString& pairs, int filterIndex)
{
    const QStringList filters = QtDesktopServices::ConvertFilter(pairs);
    if (filters.isEmpty())
        return;
    dialog.setNameFilters(filters);
    const int index = std::clamp(filterIndex, 1, int(filters.size())) - 1;
    dialog.selectNameFilter(filters.at(index));
}

} // namespace

QtDesktopServices::QtDesktopServices() = default;
QtDesktopServices::~QtDesktopServices() = default;

QWidget* QtDesktopServices::DialogOwner()
{
    if (QWidget* active = QApplication::activeModalWidget())
        return active;
    return QApplication::activeWindow();
}

TModalResult QtDesktopServices::ShowMessage(const QString& message, const QString& caption, TMsgDlgType kind,
                                            TMsgDlgButtons buttons, const QStringList& buttonCaptions)
{
    return OnMainThread([&]() -> TModalResult {
        QMessageBox box(DialogOwner());
        box.setIcon(IconOf(kind));
        box.setWindowTitle(caption);
        box.setTextFormat(Qt::PlainText);   // messages carry file names and library texts, never markup
        box.setText(message);

        int captionIndex = 0;
        QAbstractButton* first = nullptr;
        for (const auto& [bit, standard] : ButtonOrder) {
            if (!(buttons & bit))
                continue;
            QAbstractButton* button = box.addButton(standard);
            if (captionIndex < buttonCaptions.size() && !buttonCaptions.at(captionIndex).isEmpty())
                button->setText(buttonCaptions.at(captionIndex));
            ++captionIndex;
            if (!first)
                first = button;
        }
        if (!first)
            first = box.addButton(QMessageBox::Ok);
        if (auto* push = qobject_cast<QPushButton*>(first))
            box.setDefaultButton(push);

        QApplication::beep();
        RunModal(box);
        QAbstractButton* clicked = box.clickedButton();
        if (!clicked)
            return mrNone;
        return ResultOf(box.standardButton(clicked));
    });
}

QStringList QtDesktopServices::OpenFiles(const TOpenDialogRequest& request)
{
    return OnMainThread([&]() -> QStringList {
        QFileDialog dialog(DialogOwner(), request.title, request.initialDir);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        dialog.setOption(QFileDialog::ReadOnly, false);
        ApplyFilter(dialog, request.filter, request.filterIndex);
        if (RunModal(dialog) != QDialog::Accepted)
            return {};
        return dialog.selectedFiles();
    });
}

QString QtDesktopServices::SaveFile(const TSaveDialogRequest& request)
{
    return OnMainThread([&]() -> QString {
        QString start = request.initialDir;
        if (!request.fileName.isEmpty())
            start = start.isEmpty() ? request.fileName : QDir(start).filePath(request.fileName);
        QFileDialog dialog(DialogOwner(), request.title, start);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(request.defaultExt);   // the dialog also asks before overwriting
        ApplyFilter(dialog, request.filter, 1);
        if (RunModal(dialog) != QDialog::Accepted)
            return {};
        const QStringList files = dialog.selectedFiles();
        return files.isEmpty() ? QString() : files.first();
    });
}

bool QtDesktopServices::BrowseForFolder(const QString& title, const QString& root, QString& folder)
{
    return OnMainThread([&]() -> bool {
        QString start = folder;
        if (start.isEmpty() || !QFileInfo(start).isDir())
            start = root;
        QFileDialog dialog(DialogOwner(), title, start);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        if (RunModal(dialog) != QDialog::Accepted)
            return false;
        const QStringList chosen = dialog.selectedFiles();
        if (chosen.isEmpty() || chosen.first().isEmpty())
            return false;
        folder = chosen.first();
        return true;
    });
}

void QtDesktopServices::ShellOpen(const QString& target)
{
    return OnMainThread([&]() -> void {
        const QString text = target.trimmed();
        if (text.isEmpty())
            return;
        // Existing paths open as files or folders; everything else is taken as an address.
        QUrl url;
        if (QFileInfo::exists(text) || QDir::isAbsolutePath(text))
            url = QUrl::fromLocalFile(text);
        else
            url = QUrl::fromUserInput(text);
        if (url.isValid())
            QDesktopServices::openUrl(url);
    });
}

void QtDesktopServices::PlaySound(const QString& waveFile)
{
    return OnMainThread([&]() -> void {
        if (waveFile.isEmpty() || !QFileInfo::exists(waveFile))
            return;
        if (!sound_)
            sound_ = std::make_unique<QSoundEffect>();
        sound_->stop();
        sound_->setSource(QUrl::fromLocalFile(QFileInfo(waveFile).absoluteFilePath()));
        sound_->play();   // loads and plays in the background
    });
}

void QtDesktopServices::PowerOff(std::function<void(bool accepted)> answered)
{
    const auto answer = [answered](bool accepted) {
        if (answered)
            answered(accepted);
    };
    QDBusConnection bus = powerOffBus_.isEmpty() ? QDBusConnection::systemBus()
                                                 : QDBusConnection(powerOffBus_);
    if (!bus.isConnected()) {
        // Answered like a reply would be: later, never inside this call.
        QMetaObject::invokeMethod(QCoreApplication::instance(), [answer] { answer(false); }, Qt::QueuedConnection);
        return;
    }
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"));
    // false: no interactive authorisation prompt; a refusal comes back as an error reply.
    request << false;
    // The system may take its time to decide; the window must not wait for it.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(request, PowerOffTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [answer](QDBusPendingCallWatcher* call) {
        const bool accepted = !call->isError();
        call->deleteLater();
        answer(accepted);
    });
}

QSize QtDesktopServices::ScreenSize()
{
    if (QScreen* screen = QGuiApplication::primaryScreen())
        return screen->size();
    return {1024, 768};
}

void QtDesktopServices::SetBusyCursor(bool busy)
{
    return OnMainThread([&]() -> void {
        if (busy) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            ++busyDepth_;
        } else if (busyDepth_ > 0) {
            QApplication::restoreOverrideCursor();
            --busyDepth_;
        }
    });
}

QStringList QtDesktopServices::ConvertFilter(const QString& pairs)
{
    QStringList result;
    const QStringList parts = pairs.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i).trimmed();
        QStringList patterns;
        bool everything = false;
        for (QString pattern : parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            pattern = pattern.trimmed();
            if (pattern.isEmpty())
                continue;
            if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*")) {
                everything = true;
                continue;
            }
            // Some file dialogs match case-sensitively; "*.AVI" must still find clip.avi.
            for (const QString& variant : {pattern, pattern.toLower()})
                if (!patterns.contains(variant))
                    patterns << variant;
        }
        if (everything)
            patterns = QStringList{QStringLiteral("*")};
        if (patterns.isEmpty())
            continue;
        // The dialog adds the patterns itself; a description that lists them already drops its copy.
        static const QRegularExpression trailingList(QStringLiteral("\\s*\\([^()]*\\*[^()]*\\)\\s*$"));
        description.remove(trailingList);
        if (description.isEmpty())
            description = patterns.join(QLatin1Char(' '));
        result << QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' ')));
    }
    return result;
}

void QtDesktopServices::SetPowerOffBus(const QString& connectionName)
{
    powerOffBus_ = connectionName;
}
