#include "Main.h"

#include "AppSettings.h"
#include "ClickableImage.h"
#include "DVDLoad.h"
#include "EditionConfig.h"
#include "EngineComponent.h"
#include "FFmpegLogger.h"
#include "HelpLinkFuncs.h"
#include "ImageButton.h"
#include "Log.h"
#include "MainStyle.h"
#include "PageMode.h"
#include "PageStep1.h"
#include "PageStep2.h"
#include "PageStep3.h"
#include "DownloadRun.h"
#include "PageStep5.h"
#include "PageStep6.h"
#include "PageSummary.h"
#include "SleepInhibitor.h"
#include "UtilFuncs.h"
#include "About.h"
#include "AddFailed.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QFileInfo>
#include <QPushButton>
#include <QStackedWidget>

TFormMain::TFormMain(const QString& appDir, TFormLog* formLog, std::unique_ptr<TEngineComponent> engine,
                     QWidget* parent)
    : TSkinnedFrame(parent)
    , appDir_(WithTrailingBackslash(appDir))
    , formLog_(formLog)
    , engine_(engine ? std::move(engine) : std::make_unique<TEngineComponent>())
{
    setObjectName(QStringLiteral("FormMain"));
    CreateActions();
    CreatePages();
    SetUpDesktopSession();
    FormCreate();
}

TFormMain::~TFormMain()
{
    // Closed or not, no engine message may reach a window that is gone.
    FFLogger()->OnLog = nullptr;
    FormDestroy();
}

void TFormMain::CreateActions()
{
    auto make = [this](const char* name, const QString& caption) {
        auto* action = new QAction(caption, this);
        action->setObjectName(QString::fromLatin1(name));
        addAction(action);
        return action;
    };
    ActionHelp = make("ActionHelp", tr("Help"));
    ActionLog = make("ActionLog", tr("Log"));
    ActionBack = make("ActionBack", tr("Back"));
    ActionNext = make("ActionNext", tr("Next"));
    ActionExit = make("ActionExit", tr("Exit"));
    // Alt+F4 runs the Exit logic of the page with its question, not a plain close.
    ActionExit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    ActionExit->setShortcutContext(Qt::WindowShortcut);

    ButtonHelp->SetAction(ActionHelp);
    ButtonLog->SetAction(ActionLog);
    ButtonBack->SetAction(ActionBack);
    ButtonNext->SetAction(ActionNext);
    ButtonExit->SetAction(ActionExit);

    connect(ActionHelp, &QAction::triggered, this, &TFormMain::ActionHelpExecute);
    connect(ActionLog, &QAction::triggered, this, &TFormMain::ActionLogExecute);
    connect(ActionBack, &QAction::triggered, this, &TFormMain::ActionBackExecute);
    connect(ActionNext, &QAction::triggered, this, &TFormMain::ActionNextExecute);
    connect(ActionExit, &QAction::triggered, this, &TFormMain::ActionExitExecute);
    connect(LabelMoreTools, &TClickableImage::clicked, this,
            [] { OpenHelpLink(hlMoreTools, EditionConfig.Name); });
}

void TFormMain::CreatePages()
{
    PageControlMain = new QStackedWidget(this);
    PageControlMain->setObjectName(QStringLiteral("PageControlMain"));
    PageControlMain->resize(560, 430);
    PageMode = new TPageMode;
    PageStep1 = new TPageStep1;
    PageStep2 = new TPageStep2;
    PageStep3 = new TPageStep3;
    PageStep4 = new TPageStep4;
    PageStep5 = new TPageStep5;
    PageStep6 = new TPageStep6;
    PageStep7 = new TPageStep7;
    for (QWidget* page : std::initializer_list<QWidget*>{PageMode, PageStep1, PageStep2, PageStep3, PageStep4,
                                                         PageStep5, PageStep6, PageStep7})
        PageControlMain->addWidget(page);
    connect(PageControlMain, &QStackedWidget::currentChanged, this, &TFormMain::UpdatePageCaptions);

    connect(PageStep1, &TPageStep1::ListChanged, this, &TFormMain::UpdateInputListActions);
    PageStep1->OnLog = [this](const QString& line) { Log(line); };
    PageStep1->OnAddFailed = [this](const QStringList& messages) {
        ShowFailedAddFiles(this, EditionConfig.Name, messages);
    };
    DVDLoad = new TDVDLoad(PageStep1, this);
    connect(PageStep3->CheckBoxPlayASound, &QCheckBox::clicked, this,
            [](bool on) { AppSettings.PlayASoundWhenFinished = on; });
    connect(PageStep3->CheckBoxShutdown, &QCheckBox::clicked, this,
            [](bool on) { AppSettings.ShutDownWhenFinished = on; });
    connect(PageStep4->LabelOpenFolder, &TClickableImage::clicked, this,
            [] { ShellOpen(AppSettings.OutputFileDir); });
    connect(PageStep7->LabelOpenFolder, &TClickableImage::clicked, this,
            [] { ShellOpen(AppSettings.OutputURLDir); });
    connect(PageStep7->ButtonConvertDownloaded, &QPushButton::clicked, this, &TFormMain::ButtonConvertDownloadedClick);

    download_ = std::make_unique<TDownloadRun>();
    PageStep6->Attach(*download_);
    download_->OnFinished = [this](QObject*) { FinishDownloadRun(); };
    download_->OnLog = [this](QObject*, const QString& line) { Log(line); };
}

void TFormMain::Log(const QString& line)
{
    if (formLog_)
        formLog_->Log(line);
}

void TFormMain::ApplyEditionConfig()
{
    QString report;
    EditionConfig = ReadEditionConfig(appDir_, &report);
    if (!report.isEmpty())
        Log(report);
    const QString& title = EditionConfig.Name;
    setWindowTitle(title);
    PageStep4->LabelTitle1->setText(tr("%1 has finished the conversion.").arg(title));
    const QString finish2 = tr("To convert other files, click \"Finish\". Click \"Exit\" to quit %1.").arg(title);
    PageStep4->LabelTitle2->setText(finish2);
    PageStep7->LabelTitle2->setText(finish2);
    PageStep7->LabelTitle1->setText(tr("%1 has finished the downloading.").arg(title));
    LabelVersion->setText(tr("Version: %1").arg(EditionConfig.Version));
    SetHelpLinkTable({ReadHelpLinks(appDir_)});
    // A link without an address is not offered at all.
    LabelMoreTools->setVisible(!GetMoreToolsURL(title).isEmpty());

    const TLayoutVariant& layout = LayoutForSkin(EditionConfig.Skin);
    int variant = 0;
    for (int i = 0; i < int(LayoutVariants.size()); ++i)
        if (&layout == &LayoutVariants[i])
            variant = i;
    for (const QString& missing : LoadSkin(SkinImageDir(appDir_, EditionConfig.Res), variant))
        Log(tr("Skin image \"%1\" is missing or unreadable; a built-in picture is shown instead.").arg(missing));
    PageMode->SetPictures(Skin().DownloadVideo, Skin().ConvertVideo);
    PageControlMain->setStyleSheet(PageStyleSheet(HeaderColor()));

    const TDvdButtonsLayout dvd = DvdButtonsLayout(EditionConfig.DVD);
    PageStep1->ApplyDvdLayout(dvd.LoadDvdVisible, dvd.ButtonAddDVDTop, dvd.ButtonAddTop);

    ApplyLayout(layout, PageControlMain);
    helpMenuOffset_ = layout.HelpMenuOffset;
    PageStep2->ApplyEditionLayout(EditionConfig);
    SeedOutputSettings(EditionConfig, AppSettings);
}

void TFormMain::ApplyReducedFrame()
{
    if (!IsReducedFrameEdition(EditionConfig.Name))
        return;
    for (QWidget* w : std::initializer_list<QWidget*>{LabelVersion, LabelMoreTools, ButtonHelp, ButtonLog})
        w->setVisible(false);
}

void TFormMain::FormCreate()
{
    ApplyEditionConfig();                                                      // 4
    ApplyReducedFrame();                                                       // 5
    SettingsDir = MakeSettingsDir(EditionConfig.Name);                         // 6
    ApplySettingsDefaults(AppSettings, GetShellFolder(QStringLiteral("Personal")));   // 7

    QString report;                                                            // 8
    const bool existed = LoadSettings(&report);
    if (!report.isEmpty())
        Log(report);
    FitOutputSettingsToEdition(EditionConfig, AppSettings);
    if (!existed) {
        const QSize screen = Desktop().ScreenSize();
        move((screen.width() - width()) / 2, (screen.height() - height()) / 2);
    }

    PopupMenuHelp = CreateHelpMenu(this, EditionConfig.Name, ToolsWording(EditionConfig.Name).ActionMoreFreeTools
                                   == QStringLiteral("More Tools..."), [this] {
        ShowAboutBox(this, CurrentAboutEdition(appDir_), UsesSimpleAboutBox(EditionConfig.Name));
    });
    addActions(PopupMenuHelp->actions());   // F1 and the other shortcuts work from the window
    setAcceptDrops(true);                                                      // 10

    TFormPlacement placement{frameGeometry(), false};                          // 12
    report.clear();
    LoadFormPlacement(MainFormSection, placement, QString(), Desktop().ScreenSize(), &report);
    if (!report.isEmpty())
        Log(report);
    move(placement.Geometry.topLeft());

    UpdatePageCaptions();                                                      // 13

    // 14: the engine's messages reach the log window from here on, all of them: the log is
    // what a user sends when a conversion went wrong.
    FFLogger()->SetLogLevel(llDebug);
    FFLogger()->OnLog = [this](QObject*, std::uint32_t threadID, TLogLevel level, const QString& message) {
        Log(FormatLogLine(threadID, level, message));
    };
    if (!engine_->LibrariesLoaded() && !engine_->LoadLibraries(appDir_ + QStringLiteral("lib"))) {
        // Conversion is unusable, but the rest of the program still works: go on starting.
        Log(engine_->LastError());
    }

    QClipboard* clipboard = QGuiApplication::clipboard();                      // 15
    connect(clipboard, &QClipboard::dataChanged, this, &TFormMain::ClipboardChanged);
    clipboardWatched_ = true;
    ClipboardChanged();

    GoToStartPage();                                                           // 16
    // 17: the page areas never show tab headers.
    QMetaObject::invokeMethod(this, &TFormMain::DeferredStart, Qt::QueuedConnection);   // 18: 0x401
}

void TFormMain::DeferredStart()
{
    show();
    LabelMoreTools->setText(ToolsWording(EditionConfig.Name).LabelMoreTools);
}

void TFormMain::ClipboardChanged()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ClipboardHasText = data && data->hasText();
    PageStep5->SetClipboardHasText(ClipboardHasText);
}

void TFormMain::UpdateInputListActions()
{
    PageStep1->UpdateActionStates();
}

void TFormMain::ActionHelpExecute()
{
    PopupMenuHelp->popup(HelpMenuPosition(frameGeometry().topLeft(), ButtonHelp->pos(), ButtonHelp->height(),
                                          helpMenuOffset_));
}

void TFormMain::ActionLogExecute()
{
    if (!formLog_)
        return;
    formLog_->show();
    formLog_->raise();
    formLog_->activateWindow();
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    event->acceptProposedAction();
    DropFiles(paths);
}

void TFormMain::DropFiles(const QStringList& paths)
{
    QStringList taken;
    for (const QString& path : paths) {
        if (QFileInfo(path).isDir())
            continue;
        if (IsMediaFileExtension(ExtractFileExt(path)))
            taken << path;
    }
    if (taken.isEmpty())
        return;
    TBusyCursorGuard busy;
    PageStep1->AddInputFiles(taken);
}
