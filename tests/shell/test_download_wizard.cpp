// The download branch in the real window against a stand-in video service on 127.0.0.1: the
// link list, the quality controls and dialog, a whole run to Step7 and into Step1, cancel and
// close during a run.
#include "ShellTestSupport.h"
#include "SummaryBadge.h"

#include "DownloadRun.h"
#include "FormYouTubeHQ.h"
#include "PageMode.h"
#include "PageStep5.h"
#include "PageStep6.h"
#include "PageSummary.h"
#include "MediaSite.h"
#include "StandInExtractor.h"
#include "VideoServer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace {

class DownloadWizardTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        qputenv("VORNIC_VIDEO_HOST", QByteArray::fromStdString(server.Host()));
        LinkSkins();
        WriteEdition(QStringLiteral("[SYSTEM]\nName=Wizard\nDownload=1\nAVI=1\nMP3=1\n"));
    }
    void TearDown() override
    {
        ShellTest::TearDown();
        qunsetenv("VORNIC_VIDEO_HOST");
    }

    QString Link(const std::string& id) const { return QString::fromStdString(server.WatchUrl(id)); }
    TPageStep5& Step5() { return *window->PageStep5; }
    QStringList Messages()
    {
        QStringList texts;
        for (const auto& s : desktop->shown)
            texts << s.message;
        return texts;
    }
    void Paste(const QString& text)
    {
        QApplication::clipboard()->setText(text);
        QCoreApplication::processEvents();
        Step5().ActionURLPaste->trigger();
    }
    // On Step5 with a download folder of the test's own.
    TFormMain& OnStep5()
    {
        TFormMain& w = Start();
        w.ActionNextExecute();   // the mode page offers the download first
        EXPECT_EQ(w.CurrentPage(), wpStep5);
        Step5().EditURLOutput->setText(home.filePath(QStringLiteral("videos")));
        return w;
    }
    bool WaitForPage(TFormMain& w, TWizardPage page, int boundMs = 30000)
    {
        QElapsedTimer clock;
        clock.start();
        while (w.CurrentPage() != page && clock.elapsed() < boundMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return w.CurrentPage() == page;
    }
    QStringList Downloaded() const
    {
        return QDir(home.filePath(QStringLiteral("videos"))).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    // Pages that fail go to the extractor: a stand-in, never the real program.
    TStandInExtractor extractor;
    TVideoTestServer server;
};

const QString NotALink = QStringLiteral("\n\r\n\rThis is not a YouTube video link.");
const QString Duplicate = QStringLiteral("\n\r\n\rThis video is already in the download list.");

} // namespace

TEST_F(DownloadWizardTest, PastedLinksRunToTheSummaryAndIntoTheConversion)
{
    const QString clip1 = MediaFixture(QStringLiteral("dl_clip1.mp4"),
        {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i", "sine=frequency=440",
         "-t", "1", "-c:v", "mpeg4", "-c:a", "aac"});
    const QString clip2 = MediaFixture(QStringLiteral("dl_clip2.flv"),
        {"-f", "lavfi", "-i", "testsrc2=size=176x144:rate=25", "-f", "lavfi", "-i", "sine=frequency=660",
         "-t", "1", "-c:v", "flv", "-c:a", "libmp3lame", "-ar", "22050"});
    server.Add("one", {.title = "First clip", .media = {{35, FileBytes(clip1).toStdString()}}});
    server.Add("two", {.title = "Second clip", .media = {{18, FileBytes(clip2).toStdString()}}});

    TFormMain& w = OnStep5();
    Paste(Link("one") + QStringLiteral("\r\n\r\n") + Link("two"));
    EXPECT_EQ(Step5().URLs(), (QStringList{Link("one"), Link("two")}));
    EXPECT_TRUE(desktop->shown.empty());

    w.ActionNextExecute();
    EXPECT_EQ(w.CurrentPage(), wpStep6);
    EXPECT_EQ(w.PageStep6->ListViewURLDownload->topLevelItemCount(), 2);
    EXPECT_EQ(w.PageStep6->ListViewURLDownload->topLevelItem(1)->text(1), QStringLiteral("Waiting..."));
    ASSERT_TRUE(WaitForPage(w, wpStep7));
    EXPECT_EQ(w.PageStep7->LabelTotal->text(), QStringLiteral("2"));
    EXPECT_EQ(w.PageStep7->LabelSucceeded->text(), QStringLiteral("2"));
    EXPECT_EQ(w.PageStep7->LabelFailed->text(), QStringLiteral("0"));
    EXPECT_STREQ(OutcomeName(BadgeSeen(*w.PageStep7)), "success");
    EXPECT_EQ(Step5().URLCount(), 0);
    EXPECT_EQ(w.PageStep6->ListViewURLDownload->topLevelItemCount(), 0);
    EXPECT_EQ(w.PageStep6->LabelURLStatus->text(), QStringLiteral("..."));
    EXPECT_EQ(Downloaded(), (QStringList{QStringLiteral("First clip.flv"), QStringLiteral("Second clip.mp4")}));
    EXPECT_EQ(FileBytes(w.DownloadRun().DownloadedFiles[0]), FileBytes(clip1));
    EXPECT_EQ(AppSettings.OutputURLDir, home.filePath(QStringLiteral("videos/")));

    w.PageStep7->ButtonConvertDownloaded->click();
    EXPECT_EQ(w.CurrentPage(), wpStep1);
    ASSERT_TRUE(w.PageStep1->WaitForAdd(30000));
    ASSERT_EQ(w.PageStep1->RowCount(), 2);
    EXPECT_EQ(w.PageStep1->RowFileName(0), w.DownloadRun().DownloadedFiles[0]);
    EXPECT_TRUE(w.PageStep1->RowLines(0).join(QLatin1Char('\n')).contains(QStringLiteral("320 x 240")));
    EXPECT_TRUE(w.PageStep1->RowLines(1).join(QLatin1Char('\n')).contains(QStringLiteral("176 x 144")));
    EXPECT_FALSE(w.PageStep1->RowThumbnail(0).isNull());
}

TEST_F(DownloadWizardTest, AFailedRunEndsWithNothingToConvert)
{
    TFormMain& w = OnStep5();
    w.ActionNextExecute();
    EXPECT_EQ(Messages().value(0), QStringLiteral("Please Copy & Paste the YouTube video links you want to download."));
    EXPECT_EQ(w.CurrentPage(), wpStep5);

    Paste(Link("missing"));
    w.ActionNextExecute();
    ASSERT_TRUE(WaitForPage(w, wpStep7));
    EXPECT_EQ(w.PageStep7->LabelFailed->text(), QStringLiteral("1"));
    EXPECT_STREQ(OutcomeName(BadgeSeen(*w.PageStep7)), "failure");
    desktop->shown.clear();
    w.PageStep7->ButtonConvertDownloaded->click();
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("No file downloaded! Please try again.")});
    EXPECT_EQ(w.CurrentPage(), wpStep7);
    w.ActionNextExecute();
    EXPECT_EQ(w.CurrentPage(), wpMode);
}

TEST_F(DownloadWizardTest, PasteTestsEachLineAndCancelStops)
{
    OnStep5();
    const QString a = Link("a"), b = Link("b");
    // The same link twice in one paste; a link with a blank in front; one in other case.
    desktop->answers = {mrOk};
    Paste(a + QStringLiteral("\n") + a + QStringLiteral("\r\n ") + b + QStringLiteral("\r") + a.toUpper());
    EXPECT_EQ(Step5().URLs(), (QStringList{a, QStringLiteral(" ") + b, a.toUpper()}));
    EXPECT_EQ(Messages(), QStringList{a + Duplicate});
    EXPECT_EQ(desktop->shown[0].kind, TMsgDlgType::mtInformation);
    EXPECT_EQ(desktop->shown[0].buttons, TMsgDlgButtons(mbOK | mbCancel));
    EXPECT_EQ(desktop->shown[0].caption, QStringLiteral("Wizard"));

    // Cancel in the message for line 2 of 5: lines 3 to 5 are never offered.
    Step5().ActionURLEmpty->trigger();
    desktop->shown.clear();
    desktop->answers = {mrCancel};
    Paste(Link("c1") + QStringLiteral("\nnot a link\n") + Link("c3") + QStringLiteral("\n") + Link("c4") +
          QStringLiteral("\nhttp://example.org/"));
    EXPECT_EQ(Step5().URLs(), QStringList{Link("c1")});
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("not a link") + NotALink});

    // Quotes keep a line end inside them.
    Step5().ActionURLEmpty->trigger();
    Paste(QStringLiteral("\"") + Link("q") + QStringLiteral("\n\"\n"));
    EXPECT_EQ(Step5().URLs(), QStringList{QStringLiteral("\"") + Link("q") + QStringLiteral("\n\"")});
}

TEST_F(DownloadWizardTest, ListActionsRemoveReselectsAndDoubleClickOpens)
{
    OnStep5();
    QTreeWidget* list = Step5().ListViewInputURL;
    QApplication::clipboard()->clear();
    QCoreApplication::processEvents();
    EXPECT_FALSE(Step5().ActionURLPaste->isEnabled());
    EXPECT_FALSE(Step5().ActionURLRemove->isEnabled());
    EXPECT_FALSE(Step5().ActionURLEmpty->isEnabled());

    Paste(QStringList{Link("r1"), Link("r2"), Link("r3"), Link("r4"), Link("r5")}.join(QLatin1Char('\n')));
    EXPECT_TRUE(Step5().ActionURLPaste->isEnabled());
    EXPECT_TRUE(Step5().ActionURLEmpty->isEnabled());
    EXPECT_FALSE(Step5().ActionURLRemove->isEnabled());

    // Double-clicking without a selection does nothing; with one it opens the link.
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, list->viewport()->height() - 5));
    EXPECT_TRUE(desktop->opened.isEmpty());

    list->topLevelItem(1)->setSelected(true);
    list->topLevelItem(3)->setSelected(true);
    EXPECT_TRUE(Step5().ActionURLRemove->isEnabled());
    Step5().ActionURLRemove->trigger();
    EXPECT_EQ(Step5().URLs(), (QStringList{Link("r1"), Link("r3"), Link("r5")}));
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->selectedItems()[0]->text(0), Link("r3"));   // now where the first removed row was
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, list->viewport()->height() - 5));
    EXPECT_EQ(desktop->opened, QStringList{Link("r3")});

    list->selectAll();
    Step5().ActionURLRemove->trigger();
    EXPECT_EQ(Step5().URLCount(), 0);
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_FALSE(Step5().ActionURLEmpty->isEnabled());
}

TEST_F(DownloadWizardTest, QualityControlsAndDialog)
{
    OnStep5();
    QCheckBox* check = Step5().CheckBoxYouTubeQuality;
    EXPECT_TRUE(check->isChecked());
    EXPECT_EQ(Step5().LabelYouTubeQuality->text(),
              QStringLiteral("Prefer: [HQ18] > [HQ35] > [HQ22] > [HQ6] > [HQ13] > [HQ17] > [HQ34] > [HQ37]"));
    EXPECT_EQ(Step5().ButtonYouTubeQualityConfig->text(), QStringLiteral("Config..."));
    EXPECT_TRUE(Step5().ButtonYouTubeQualityConfig->isEnabled());
    check->click();
    EXPECT_EQ(Step5().LabelYouTubeQuality->text(), QStringLiteral("[Defatult Quality - HQ5]"));
    EXPECT_FALSE(Step5().ButtonYouTubeQualityConfig->isEnabled());
    EXPECT_TRUE(AppSettings.PreferYouTubeQuality);   // taken when the page is left with Next
    check->click();

    // "&Best Available" changes the slots at once; Cancel does not undo it.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<TFormYouTubeHQ*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Prefer YouTube high quality"));
        EXPECT_EQ(dialog->ListViewYouTubeHQ->topLevelItem(0)->text(0), QStringLiteral("[HQ18]"));
        EXPECT_EQ(dialog->ListViewYouTubeHQ->topLevelItem(0)->text(3), QStringLiteral("Stereo"));
        dialog->ButtonBestAvailable->click();
        dialog->ButtonCancel->click();
    });
    Step5().ButtonYouTubeQualityConfig->click();
    EXPECT_EQ(AppSettings.PreferYouTube, BestAvailableOrder);
    EXPECT_TRUE(Step5().LabelYouTubeQuality->text().startsWith(QStringLiteral("Prefer: [HQ37] > [HQ22]")));

    // Up on the first row and Down on the last change nothing; OK reads the rows.
    TPreferenceSlots order = DefaultPreferenceOrder;
    TFormYouTubeHQ dialog(order);
    QTreeWidget* rows = dialog.ListViewYouTubeHQ;
    rows->setCurrentItem(rows->topLevelItem(0));
    dialog.ButtonUpClick();
    rows->setCurrentItem(rows->topLevelItem(7));
    dialog.ButtonDownClick();
    rows->setCurrentItem(rows->topLevelItem(2));
    dialog.ButtonUpClick();
    EXPECT_EQ(rows->currentItem()->text(0), QStringLiteral("[HQ22]"));
    EXPECT_TRUE(rows->currentItem()->isSelected());
    EXPECT_EQ(order, DefaultPreferenceOrder);   // only OK takes the rows
    dialog.ButtonOKClick();
    EXPECT_EQ(order, (TPreferenceSlots{1, 3, 2, 0, 4, 5, 6, 7}));
    dialog.ButtonDefaultClick();
    EXPECT_EQ(order, DefaultPreferenceOrder);

    // A slot edited out of range has no row; OK then reads it as quality 0.
    TPreferenceSlots odd = DefaultPreferenceOrder;
    odd[7] = 42;
    TFormYouTubeHQ oddDialog(odd);
    EXPECT_EQ(oddDialog.ListViewYouTubeHQ->topLevelItemCount(), 7);
    oddDialog.ButtonOKClick();
    EXPECT_EQ(odd[7], 0);
}

TEST_F(DownloadWizardTest, SelectFolderAndTheStoredSettings)
{
    TFormMain& w = OnStep5();
    desktop->folderAnswers = {QString()};
    Step5().ActionURLSelect->trigger();   // cancelled: nothing changes
    EXPECT_EQ(Step5().EditURLOutput->text(), home.filePath(QStringLiteral("videos")));
    desktop->folderAnswers = {home.filePath(QStringLiteral("picked"))};
    Step5().ActionURLSelect->trigger();
    EXPECT_EQ(Step5().EditURLOutput->text(), home.filePath(QStringLiteral("picked/")));
    EXPECT_EQ(AppSettings.OutputURLDir, home.filePath(QStringLiteral("picked/")));

    Step5().CheckBoxYouTubeQuality->click();
    Paste(Link("s"));
    w.ActionNextExecute();
    EXPECT_FALSE(AppSettings.PreferYouTubeQuality);
    ASSERT_TRUE(WaitForPage(w, wpStep7));
    EXPECT_EQ(server.MediaFormats("s"), std::vector<std::string>{});   // the page 404s: no media asked
}

TEST_F(DownloadWizardTest, ExtractorVideoInSeparatePartsIsMergedAndHandedToTheConversion)
{
    const QString video = FullHDVideoPart();
    const QString audio = AudioPart();
    TMediaSite site;
    site.Add("/137.mp4", {.body = FileBytes(video).toStdString()});
    site.Add("/140.m4a", {.body = FileBytes(audio).toStdString(), .contentType = "audio/mp4"});
    const auto url = [&](const char* path) { return QString::fromStdString(site.Url(path)); };
    extractor.Json("today", VideoJson("Today's clip",
                                      {FormatJson("137", "mp4", url("/137.mp4"), 1080, "avc1.640028", "none", 65536),
                                       FormatJson("140", "m4a", url("/140.m4a"), 0, "none", "mp4a.40.2", 65536)},
                                      "137+140", "mp4"));

    TFormMain& w = OnStep5();
    Paste(Link("today"));   // the stand-in service has no such page: the extractor's way
    w.ActionNextExecute();
    EXPECT_EQ(w.CurrentPage(), wpStep6);
    QStringList mergingLabels;
    TDownloadRun& run = w.DownloadRun();
    const auto shown = run.OnStatusChanged;
    run.OnStatusChanged = [&](QObject* sender) {
        shown(sender);
        if (w.PageStep6->LabelURLStatus->text().startsWith(QStringLiteral("Merging")) && w.CurrentPage() == wpStep6)
            mergingLabels << w.PageStep6->LabelQuality->text() + QStringLiteral(" | ") +
                                 w.PageStep6->LabelURLCurrentFile->text();
    };
    ASSERT_TRUE(WaitForPage(w, wpStep7, 60000));
    run.OnStatusChanged = shown;
    ASSERT_FALSE(mergingLabels.isEmpty());
    EXPECT_TRUE(mergingLabels.first().startsWith(QStringLiteral("[HQ37] - Format: MP4"))) << mergingLabels.first().toStdString();
    EXPECT_TRUE(mergingLabels.first().endsWith(QStringLiteral("Today's clip")));
    EXPECT_EQ(w.PageStep7->LabelSucceeded->text(), QStringLiteral("1"));
    EXPECT_EQ(Downloaded(), QStringList{QStringLiteral("Today's clip.mp4")});   // the parts are gone

    w.PageStep7->ButtonConvertDownloaded->click();
    EXPECT_EQ(w.CurrentPage(), wpStep1);
    ASSERT_TRUE(w.PageStep1->WaitForAdd(30000));
    ASSERT_EQ(w.PageStep1->RowCount(), 1);
    EXPECT_EQ(w.PageStep1->RowFileName(0), home.filePath(QStringLiteral("videos/Today's clip.mp4")));
    EXPECT_TRUE(w.PageStep1->RowLines(0).join(QLatin1Char('\n')).contains(QStringLiteral("1920 x 1080")))
        << w.PageStep1->RowLines(0).join(QLatin1Char('\n')).toStdString();
}

TEST_F(DownloadWizardTest, CancelOnStep6EndsTheRunWithTheCountsReached)
{
    server.Add("fast", {.title = "Fast", .media = {{18, std::string(1000, 'f')}}});
    server.Add("slow", {.title = "Slow", .media = {{18, std::string(8 << 20, 's')}}, .chunkDelayMs = 40});
    TFormMain& w = OnStep5();
    Paste(QStringList{Link("fast"), Link("slow"), Link("fast2")}.join(QLatin1Char('\n')));
    w.ActionNextExecute();
    QElapsedTimer clock;
    clock.start();
    while (w.PageStep6->LabelURLStatus->text() != QStringLiteral("Downloading...") || w.DownloadRun().CurrentURLIndex != 1) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_LT(clock.elapsed(), 20000);
    }
    EXPECT_TRUE(w.PageStep6->LabelQuality->text().startsWith(QStringLiteral("[HQ18] - Format: MP4")));
    desktop->answers = {mrYes};
    w.ActionExitExecute();
    EXPECT_EQ(Messages().last(), QStringLiteral("Do you really want to cancel the downloading?"));
    ASSERT_TRUE(WaitForPage(w, wpStep7, 10000));
    EXPECT_EQ(w.PageStep7->LabelTotal->text(), QStringLiteral("3"));
    EXPECT_EQ(w.PageStep7->LabelSucceeded->text(), QStringLiteral("1"));
    EXPECT_EQ(w.PageStep7->LabelFailed->text(), QStringLiteral("2"));
    EXPECT_STREQ(OutcomeName(BadgeSeen(*w.PageStep7)), "mixed");
    EXPECT_EQ(Downloaded(), QStringList{QStringLiteral("Fast.mp4")});   // no partial file
}

TEST_F(DownloadWizardTest, ClosingDuringADownloadLeavesNoPartialFile)
{
    server.Add("slow", {.title = "Slow", .media = {{18, std::string(8 << 20, 's')}}, .chunkDelayMs = 40});
    TFormMain& w = OnStep5();
    Paste(Link("slow"));
    w.ActionNextExecute();
    QElapsedTimer clock;
    clock.start();
    while (w.DownloadRun().PartialFile().isEmpty() || w.PageStep6->ProgressBarDownload->value() == 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_LT(clock.elapsed(), 20000);
    }
    EXPECT_EQ(Downloaded().size(), 1);   // the hidden temporary file
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(Downloaded().isEmpty());
    EXPECT_FALSE(w.DownloadRun().Running());
}
