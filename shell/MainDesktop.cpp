// The window as a desktop program: the machine kept awake while a run works, a note when a
// run ends unseen, files handed over by a later start, the log window following the main
// window's minimising, and folders dropped on the folder fields.
#include "Main.h"

#include "DesktopNotifier.h"
#include "DownloadRun.h"
#include "EditionConfig.h"
#include "ConversionRun.h"
#include "Log.h"
#include "PageStep1.h"
#include "PageStep2.h"
#include "PageStep3.h"
#include "PageStep5.h"
#include "SleepInhibitor.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QStackedWidget>

namespace {

constexpr int MaxNamedFailures = 10;

QString NotificationBody(const QStringList& failures)
{
    if (failures.isEmpty())
        return {};
    QStringList lines{QStringLiteral("Failed:")};
    lines << failures.mid(0, MaxNamedFailures);
    if (failures.size() > MaxNamedFailures)
        lines << QStringLiteral("and %1 more").arg(failures.size() - MaxNamedFailures);
    return lines.join(QLatin1Char('\n'));
}

// The one local folder a drop names: a folder as it is, a file by the folder holding it.
QString DroppedFolder(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        return QDir::toNativeSeparators(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
    }
    return {};
}

} // namespace

void TFormMain::SetUpDesktopSession()
{
    inhibitor_ = std::make_unique<TSleepInhibitor>();
    inhibitor_->OnLog = [this](const QString& line) { Log(line); };
    notifier_ = new TDesktopNotifier(this);
    notifier_->OnLog = [this](const QString& line) { Log(line); };
    notifier_->OnActivated = [this] { RaiseWindow(); };
    if (formLog_)
        formLog_->SetOwnerWindow(this);
    // A drop on a folder field names a folder; it never reaches the input list.
    for (QLineEdit* field : {PageStep2->EditOutputDir, PageStep5->EditURLOutput})
        field->installEventFilter(this);
    connect(PageControlMain, &QStackedWidget::currentChanged, this, [this] {
        if (!pendingFiles_.isEmpty())
            QMetaObject::invokeMethod(this, &TFormMain::DeliverPendingFiles, Qt::QueuedConnection);
    });
}

void TFormMain::RunStarted(const QString& reason)
{
    const QString who = EditionConfig.Name.isEmpty() ? QCoreApplication::applicationName() : EditionConfig.Name;
    inhibitor_->Acquire(who, reason);
}

void TFormMain::RunEnded(const QString& summary, const QStringList& failures)
{
    inhibitor_->Release();
    if (closing_ || isActiveWindow())
        return;
    notifier_->Notify(EditionConfig.Name.isEmpty() ? QCoreApplication::applicationName() : EditionConfig.Name,
                      summary, NotificationBody(failures));
}

void TFormMain::ConversionEnded(int total, int succeeded, const QStringList& errorLines)
{
    QStringList failures;
    if (run_) {
        for (const TConversionRow& row : run_->Rows())
            if (!run_->JoinMode() && row.Third == QLatin1String("Failed."))
                failures << row.Name;
        if (run_->JoinMode() && succeeded < total && !run_->Rows().empty())
            failures << QFileInfo(run_->Rows().front().Path).fileName();
    }
    // Nothing even started: the reasons are all there is to name.
    if (failures.isEmpty() && succeeded < total)
        failures = errorLines;
    RunEnded(tr("Converted %1 of %2 file(s)").arg(succeeded).arg(total), failures);
}

void TFormMain::DownloadEnded()
{
    QStringList failures;
    for (const TDownloadRow& row : download_->Rows())
        if (row.Status != QLatin1String("Finish."))
            failures << (row.Name.isEmpty() ? row.URL : row.Name);
    RunEnded(tr("Downloaded %1 of %2 file(s)").arg(download_->SucceededURLs).arg(download_->TotalURLs),
             failures);
}

void TFormMain::ReceiveFiles(const QStringList& fileNames)
{
    if (closing_)
        return;
    RaiseWindow();
    pendingFiles_ << fileNames;
    DeliverPendingFiles();
}

void TFormMain::DeliverPendingFiles()
{
    if (pendingFiles_.isEmpty() || closing_)
        return;
    switch (CurrentPage()) {
    case wpStep3:
    case wpStep6:
    case wpStep5:
        return;   // after the run, or when the links page is left
    case wpStep4:
        // As "Finish" does: the converted rows go before new ones come.
        PageStep1->ClearInputList();
        PageStep3->ClearConversionList();
        break;
    default:
        break;
    }
    const QStringList files = std::exchange(pendingFiles_, {});
    OpenFiles(files);
}

void TFormMain::RaiseWindow()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void TFormMain::changeEvent(QEvent* event)
{
    TSkinnedFrame::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && formLog_)
        formLog_->FollowOwnerMinimized(isMinimized());
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (!field || (field != PageStep2->EditOutputDir && field != PageStep5->EditURLOutput))
        return TSkinnedFrame::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!DroppedFolder(drag->mimeData()).isEmpty()) {
            drag->acceptProposedAction();
            return true;
        }
        break;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString folder = DroppedFolder(drop->mimeData());
        if (!folder.isEmpty()) {
            field->setText(folder);
            field->setFocus();
            drop->acceptProposedAction();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return TSkinnedFrame::eventFilter(watched, event);
}
