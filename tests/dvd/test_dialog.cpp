// The DVD dialog and "&Load DVD..." on Step1 with the real plug-in and dvdauthor folders: the
// pop-up menu, opening roots, invalid titles, chapter coupling, the selection, the row it adds
// and a second opening that keeps what the first one read.
#include "DVDFixtures.h"
#include "DVDLoad.h"
#include "DVDReaderProcess.h"
#include "DVDSelectFrm.h"
#include "FakeDesktop.h"
#include "ModalRunner.h"
#include "PageStep1.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>

namespace {

void Write(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

class DVDDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadBuiltDVDPlugIn();
        Write(system.path() + "/sys/block/sda/device/type", "0\n");
    }

    // Opens root through "Select DVD Folder" as a user would.
    void OpenFolder(TfrmDVDSelect& dialog, const QString& root)
    {
        desktop->folderAnswers.push_back(root);
        dialog.findChild<QAction*>("ActionSelectDVDFolder")->trigger();
    }

    ScopedFakeDesktop desktop;
    QTemporaryDir system;
};

TEST_F(DVDDialogTest, WithoutOpticalDrivesTheMenuStillOffersAFolder)
{
    TfrmDVDSelect dialog(nullptr, system.path());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Select a DVD device or a DVD folder"));
    const QList<QAction*> items = dialog.PopupMenuDVD->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), QStringLiteral("No DVD Device found"));
    EXPECT_FALSE(items[0]->isEnabled());
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->text(), QStringLiteral("Select DVD Folder"));
    // Nothing read yet: every title control is off.
    for (QWidget* w : std::initializer_list<QWidget*>{dialog.btnOK, dialog.updFrom, dialog.updTo, dialog.cboAudio,
                                                      dialog.cboSubtitle})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(dialog.btnOK->isDefault());
}

TEST_F(DVDDialogTest, DrivesAreOfferedInOrderAndAnEmptyOneChangesNothing)
{
    for (const char* name : {"sr1", "sr0"})
        Write(system.path() + "/sys/block/" + name + "/device/type", "5\n");
    TfrmDVDSelect dialog(nullptr, system.path());
    QMenu* devices = dialog.PopupMenuDVD->actions()[0]->menu();
    ASSERT_NE(devices, nullptr);
    EXPECT_EQ(dialog.PopupMenuDVD->actions()[0]->text(), QStringLiteral("Select DVD Device"));
    ASSERT_EQ(devices->actions().size(), 2);
    EXPECT_EQ(devices->actions()[0]->text(), QStringLiteral("/dev/sr0"));
    EXPECT_EQ(devices->actions()[1]->text(), QStringLiteral("/dev/sr1"));

    OpenFolder(dialog, DVDFixture("two-titles"));
    const QString report = dialog.mmoLog->toPlainText();
    devices->actions()[0]->trigger(); // no such device here: no titles
    ASSERT_FALSE(desktop->shown.empty());
    EXPECT_EQ(desktop->shown.back().message, QStringLiteral("No DVD title(s) found. Maybe not a valid DVD."));
    EXPECT_EQ(desktop->shown.back().caption, QStringLiteral("Message"));
    EXPECT_EQ(desktop->shown.back().kind, TMsgDlgType::mtInformation);
    EXPECT_EQ(dialog.mmoLog->toPlainText(), report);
    EXPECT_EQ(dialog.Root(), DVDFixture("two-titles"));
    EXPECT_EQ(dialog.cboTitles->count(), 2);
}

TEST_F(DVDDialogTest, InvalidSecondTitleIsListedAndDisablesTheChoice)
{
    TfrmDVDSelect dialog(nullptr, system.path());
    OpenFolder(dialog, DVDFixture("damaged"));
    EXPECT_EQ(dialog.LastFolder(), DVDFixture("damaged"));
    ASSERT_EQ(dialog.cboTitles->count(), 2);
    EXPECT_EQ(dialog.cboTitles->itemText(1), QStringLiteral("Title #2 is invalid"));
    const QStringList report = dialog.mmoLog->toPlainText().split(u'\n');
    EXPECT_EQ(report.first(), "There are 2 title(s) in " + DVDFixture("damaged"));
    EXPECT_EQ(report.last(), QStringLiteral("Calling DVDGetTitle(#1) failed."));
    EXPECT_TRUE(dialog.btnOK->isEnabled());

    dialog.cboTitles->setCurrentIndex(1);
    EXPECT_FALSE(dialog.btnOK->isEnabled());
    EXPECT_FALSE(dialog.updFrom->isEnabled());
    EXPECT_EQ(dialog.cboAudio->count(), 0);
    dialog.cboTitles->setCurrentIndex(0);
    EXPECT_TRUE(dialog.btnOK->isEnabled());
    EXPECT_EQ(dialog.cboAudio->count(), 3);

    // A folder that holds no DVD keeps what is shown, and the browser starts at the last folder.
    OpenFolder(dialog, DVDFixture("empty"));
    EXPECT_EQ(dialog.cboTitles->count(), 2);
    EXPECT_EQ(dialog.Root(), DVDFixture("damaged"));
}

TEST_F(DVDDialogTest, ChapterFieldsStayInOrderAndHundredChaptersAreOffered)
{
    TfrmDVDSelect dialog(nullptr, system.path());
    OpenFolder(dialog, DVDFixture("chapters"));
    EXPECT_EQ(dialog.updFrom->value(), 1);
    EXPECT_EQ(dialog.updTo->value(), 105); // past the record's 100
    EXPECT_EQ(dialog.updTo->maximum(), 105);
    EXPECT_FALSE(dialog.mmoLog->toPlainText().contains("Chapter #"));

    dialog.updTo->setValue(3);
    dialog.updFrom->setValue(5);
    EXPECT_EQ(dialog.updTo->value(), 5);
    dialog.updFrom->setValue(4);
    dialog.updTo->setValue(2);
    EXPECT_EQ(dialog.updFrom->value(), 2);
    const TDVDSelection s = dialog.Selection();
    EXPECT_EQ(s.FirstChapter, 1);
    EXPECT_EQ(s.LastChapter, 1);
    EXPECT_NEAR(s.Length, 0.4, 0.05);
}

// A disc that never answers (its IFO is a named pipe): the dialog reads on a worker, keeps
// answering, and Cancel stops the reading; left alone, the reading gives up after its bound.
TEST_F(DVDDialogTest, AHungDiscKeepsTheDialogAnsweringUntilCancelOrTheBound)
{
    TfrmDVDSelect dialog(nullptr, system.path());
    OpenFolder(dialog, DVDFixture("two-titles"));
    QTemporaryDir hung;
    ASSERT_TRUE(QDir().mkpath(hung.path() + "/VIDEO_TS"));
    ASSERT_EQ(mkfifo(QFile::encodeName(hung.path() + "/VIDEO_TS/VIDEO_TS.IFO").constData(), 0600), 0);

    SetDVDReaderTimeout(600000);
    dialog.show();
    bool busy = false;
    QTimer::singleShot(100, &dialog, [&] {
        busy = dialog.Reading() && !dialog.btnOpen->isEnabled() && !dialog.btnOK->isEnabled() &&
               dialog.cursor().shape() == Qt::BusyCursor;
        dialog.btnCancel->click();
    });
    OpenFolder(dialog, hung.path() + u'/');
    EXPECT_TRUE(busy);
    EXPECT_FALSE(dialog.Reading());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(desktop->shown.empty()); // cancelled: nothing to say
    EXPECT_EQ(dialog.Root(), DVDFixture("two-titles"));
    EXPECT_EQ(dialog.cboTitles->count(), 2);
    EXPECT_TRUE(dialog.btnOK->isEnabled());

    SetDVDReaderTimeout(300);
    OpenFolder(dialog, hung.path() + u'/');
    SetDVDReaderTimeout(20000);
    ASSERT_FALSE(desktop->shown.empty());
    EXPECT_EQ(desktop->shown.back().message, QStringLiteral("This DVD cannot be read"));
    EXPECT_EQ(dialog.cboTitles->count(), 2);
}

TEST_F(DVDDialogTest, SelectionCarriesStreamsAndDeinterlace)
{
    TfrmDVDSelect dialog(nullptr, system.path());
    OpenFolder(dialog, DVDFixture("two-titles"));
    ASSERT_EQ(dialog.cboAudio->count(), 3);
    EXPECT_EQ(dialog.cboAudio->itemText(0), QStringLiteral("English[0x80]"));
    EXPECT_EQ(dialog.cboAudio->itemText(1), QStringLiteral("German[0xC0]"));
    EXPECT_EQ(dialog.cboAudio->itemText(2), QStringLiteral("Disable"));
    EXPECT_EQ(dialog.cboSubtitle->itemText(0), QStringLiteral("French[0x20]"));
    EXPECT_EQ(dialog.cboSubtitle->currentIndex(), 0);

    dialog.updFrom->setValue(2);
    dialog.cboAudio->setCurrentIndex(2);
    dialog.chkDeinterlace->setChecked(true);
    TDVDSelection s = dialog.Selection();
    EXPECT_EQ(s.Root, DVDFixture("two-titles"));
    EXPECT_EQ(s.TitleIndex, 0);
    EXPECT_EQ(s.FirstChapter, 1);
    EXPECT_EQ(s.LastChapter, 2);
    EXPECT_EQ(s.AudioID, 0);
    EXPECT_EQ(s.AudioText, QStringLiteral("Disable"));
    EXPECT_EQ(s.SubtitleID, 0x20);
    EXPECT_EQ(s.SubtitleText, QStringLiteral("French[0x20]"));
    EXPECT_EQ(s.StreamKind, 2);
    EXPECT_EQ(s.Deinterlace, -1);
    EXPECT_NEAR(s.Length, 6.0, 0.05);

    dialog.cboTitles->setCurrentIndex(1); // a title change starts over
    EXPECT_EQ(dialog.updFrom->value(), 1);
    EXPECT_EQ(dialog.updTo->value(), 1);
    EXPECT_EQ(dialog.cboSubtitle->count(), 1); // only "Disable"
    EXPECT_EQ(dialog.Selection().SubtitleID, 0);
}

TEST_F(DVDDialogTest, LoadDVDAddsTheRowAndTheNextOpeningKeepsTheTitles)
{
    QWidget window;
    TPageStep1 page(&window);
    TDVDLoad load(&page, &window);
    load.SystemRoot = system.path();
    QTemporaryDir copyHolder;
    const QString copy = copyHolder.path() + QStringLiteral("/disc/");
    ASSERT_EQ(RunCommand("cp", {"-r", DVDFixture("two-titles"), copy}).exitCode, 0);

    int openings = 0;
    ScopedModalRunner runner([&](QDialog& d) {
        auto& dialog = static_cast<TfrmDVDSelect&>(d);
        ++openings;
        if (openings == 1) {
            OpenFolder(dialog, copy);
            dialog.updFrom->setValue(2);
            dialog.cboAudio->setCurrentIndex(2); // "Disable"
        } else {
            // Read from what the first opening kept: the disc is gone by now.
            EXPECT_EQ(dialog.cboTitles->count(), 2);
            EXPECT_EQ(dialog.Root(), copy);
            EXPECT_EQ(dialog.updFrom->value(), 2);
            dialog.cboAudio->setCurrentIndex(1);
        }
        return int(QDialog::Accepted);
    });
    page.ActionLoadDVD->trigger();
    ASSERT_EQ(page.RowCount(), 1);
    EXPECT_EQ(page.RowLines(0), (QStringList{"DVD Root: " + copy + "; Title: 1", "Chapter from 2 to 3",
                                             "Audio ID: Disable", "Subtitle ID: French[0x20]"}));
    EXPECT_EQ(page.RowThumbnail(0), load.ImageDVDIcon->pixmap().toImage());
    EXPECT_EQ(page.BitmapCount(), 1);
    const TInputRow row = page.InputRow(0);
    ASSERT_TRUE(row.IsDVD());
    EXPECT_EQ(row.DVD.TitleIndex, 0);
    EXPECT_EQ(row.DVD.FirstChapter, 1);
    EXPECT_EQ(row.DVD.LastChapter, 2);
    EXPECT_EQ(row.DVD.AudioID, 0);
    EXPECT_EQ(row.DVD.SubtitleID, 0x20);
    EXPECT_EQ(row.DVD.StreamKind, 2);
    EXPECT_EQ(row.DVD.Deinterlace, 0);
    EXPECT_EQ(row.Duration, 6000000);
    EXPECT_EQ(row.Width, 720);
    EXPECT_EQ(row.Height, 576);

    QDir(copyHolder.path()).removeRecursively();
    load.PlugInFolder = QStringLiteral("/nonexistent"); // loaded already: never looked at again
    page.ActionLoadDVD->trigger();
    EXPECT_EQ(openings, 2);
    EXPECT_TRUE(desktop->shown.empty());
    ASSERT_EQ(page.RowCount(), 2);
    EXPECT_EQ(page.RowLines(1)[2], QStringLiteral("Audio ID: German[0xC0]"));

    // Cancel adds nothing.
    ScopedModalRunner cancel([](QDialog&) { return int(QDialog::Rejected); });
    page.ActionLoadDVD->trigger();
    EXPECT_EQ(page.RowCount(), 2);
    // Play opens the title's folder, not the engine's name for it.
    page.SelectRow(0);
    page.ActionPlayExecute();
    EXPECT_EQ(desktop->opened, QStringList{copy});
}

} // namespace
