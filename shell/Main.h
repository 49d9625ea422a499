#pragma once
// The main window: skinned frame + page switching + the wizard's Next/Back/Exit table +
// the close path. The pages own their contents.
#include "EngineComponent.h"
#include "PageTable.h"
#include "SkinnedFrame.h"

#include <QStringList>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QStackedWidget;
class TConversionRun;
class TDownloadRun;
class TDVDLoad;
class TFormLog;
class TPageMode;
class TPageStep1;
class TPageStep2;
class TPageStep3;
class TPageStep4;
class TPageStep5;
class TPageStep6;
class TPageStep7;
class TSleepInhibitor;
class TDesktopNotifier;

class TFormMain : public TSkinnedFrame {
    Q_OBJECT
public:
    // Messages the window posts to itself; each is a queued call to a named function.
    enum TPostedMessage : int {
        WM_DEFERRED_START = 0x401,
        WM_START_CONVERSION = 0x402,
        WM_END_CONVERSION = 0x403,
    };

    // appDir: the program's folder (edition file, skin, "lib"). formLog may be null.
    // engine: the conversion engine; null = the library loader stand-in.
    TFormMain(const QString& appDir, TFormLog* formLog, std::unique_ptr<TEngineComponent> engine = nullptr,
              QWidget* parent = nullptr);
    ~TFormMain() override;

    QStackedWidget* PageControlMain = nullptr;
    TPageMode* PageMode = nullptr;
    TPageStep1* PageStep1 = nullptr;
    TDVDLoad* DVDLoad = nullptr; // "&Load DVD..." of Step1
    TPageStep2* PageStep2 = nullptr;
    TPageStep3* PageStep3 = nullptr;
    TPageStep4* PageStep4 = nullptr;
    TPageStep5* PageStep5 = nullptr;
    TPageStep6* PageStep6 = nullptr;
    TPageStep7* PageStep7 = nullptr;

    QAction* ActionHelp = nullptr;
    QAction* ActionLog = nullptr;
    QAction* ActionBack = nullptr;
    QAction* ActionNext = nullptr;
    QAction* ActionExit = nullptr;
    QMenu* PopupMenuHelp = nullptr;

    // True when the clipboard holds text; Paste on Step5 follows it.
    bool ClipboardHasText = false;

    const QString& AppDir() const { return appDir_; }
    TEngineComponent& Engine() { return *engine_; }
    // The conversion run on the engine; made on first use.
    TConversionRun& ConversionRun();
    // The download run with its two transfer components (pages, media).
    TDownloadRun& DownloadRun() { return *download_; }
    // One "second" of the shutdown countdown in milliseconds (tests shorten it).
    int ShutdownTickMs = 1000;
    TFormLog* FormLog() const { return formLog_; }

    TWizardPage CurrentPage() const;
    void ShowPage(TWizardPage page);
    void UpdatePageCaptions();
    void GoToStartPage();

    void ActionNextExecute();
    void ActionBackExecute();
    void ActionExitExecute();
    void ActionHelpExecute();
    void ActionLogExecute();

    // End of a conversion run: counts and the run's error lines.
    void ShowConversionSummary(int total, int succeeded, const QStringList& errorLines);
    // End of a download run: both lists emptied, the status box reset, Step7 with the totals.
    void FinishDownloadRun();
    void ButtonConvertDownloadedClick();

    // Files named on the command line: Step1 with them added, as the open dialog would add them.
    void OpenFiles(const QStringList& fileNames);

    // Dropped paths: folders skipped, media files by extension go to the input list.
    void DropFiles(const QStringList& paths);

    // Files handed over by a later start of the program: the window comes to the front and
    // the files go to Step1 now, or after the run when one works (or the links page is open).
    void ReceiveFiles(const QStringList& fileNames);
    QStringList PendingFiles() const { return pendingFiles_; }

    // The desktop session's services a run uses: the machine is kept awake while it works,
    // and its end is announced when the window is not the active one.
    TSleepInhibitor& SleepInhibitor() { return *inhibitor_; }
    TDesktopNotifier& Notifier() { return *notifier_; }

    // Posted messages 0x402 and 0x403 (the download run posts its own continuations).
    void PostStartConversion();
    void PostEndConversion();

    // Replace the conversion run's start and end (tests).
    std::function<void()> OnStartConversion;
    std::function<void()> OnEndConversion;
    // Pictures of the input thumbnails are freed when the window goes.
    std::function<void()> OnFreeThumbnails;

    void Log(const QString& line);

signals:
    // The close path has run: the program ends.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreatePages();
    void CreateActions();
    void FormCreate();
    void ApplyEditionConfig();
    void ApplyReducedFrame();
    void DeferredStart();
    void ClipboardChanged();
    void UpdateInputListActions();
    void StartConversion();
    void EndConversion();
    void StartConversionRun();
    void EndConversionRun();
    void StartDownload();
    void FormCloseQuery();
    void FormClose();
    void FormDestroy();
    bool Ask(const QString& question);
    bool CloseRequestConfirmed();
    void Inform(const QString& message);
    void ShowError(const QString& message);
    void SetUpDesktopSession();
    void RunStarted(const QString& reason);
    void RunEnded(const QString& summary, const QStringList& failures);
    void ConversionEnded(int total, int succeeded, const QStringList& errorLines);
    void DownloadEnded();
    void DeliverPendingFiles();
    void RaiseWindow();

    QString appDir_;
    TFormLog* formLog_ = nullptr;
    std::unique_ptr<TEngineComponent> engine_;
    // After engine_, so it goes first: the run lets go of the engine's events.
    std::unique_ptr<TConversionRun> run_;
    std::unique_ptr<TDownloadRun> download_;
    int helpMenuOffset_ = 0;
    bool clipboardWatched_ = false;
    bool closing_ = false;
    bool waitingForAdd_ = false; // Next on Step1 waits for rows still being added
    std::unique_ptr<TSleepInhibitor> inhibitor_;
    TDesktopNotifier* notifier_ = nullptr;
    QStringList pendingFiles_;
    bool logHiddenByMinimize_ = false;
};
