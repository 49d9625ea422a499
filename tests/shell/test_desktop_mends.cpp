// What a new user meets on a Linux desktop: the log window minimised with the main window and
// opened over it, folders dropped on the folder fields, one error box when the settings file
// cannot be written, and the toolkit's own options beside --help.
#include "ShellTestSupport.h"

#include "IniFile.h"
#include "ImageButton.h"
#include "PageStep2.h"
#include "PageStep5.h"
#include "StartArguments.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QTest>

namespace {

class DesktopMendsTest : public ShellTest {
protected:
    TFormMain& StartWizard()
    {
        LinkSkins();
        WriteEdition(QStringLiteral("[SYSTEM]\nName=Wizard\nDownload=1\nAVI=1\n"));
        TFormMain& w = Start();
        w.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
        return w;
    }

    // A drop of local files on `target`, as a file manager makes it (with a text form too).
    static void DropOn(QWidget* target, const QStringList& paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        data.setText(urls.first().toString());
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }
};

} // namespace

TEST_F(DesktopMendsTest, TheLogWindowGoesAndComesBackWithTheMainWindow)
{
    TFormMain& w = StartWizard();
    w.ActionLogExecute();
    ASSERT_TRUE(formLog->isVisible());
    formLog->move(formLog->pos() + QPoint(17, 9));
    const QPoint placed = formLog->pos();

    QTest::mouseClick(w.ButtonMin, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.isMinimized(); }, 5000));
    EXPECT_FALSE(formLog->isVisible()) << "a log window left on the screen alone";

    w.showNormal();
    ASSERT_TRUE(QTest::qWaitFor([&] { return formLog->isVisible(); }, 5000));
    EXPECT_EQ(formLog->pos(), placed);

    // A log window the user had closed stays closed.
    formLog->hide();
    w.showMinimized();
    w.showNormal();
    QCoreApplication::processEvents();
    EXPECT_FALSE(formLog->isVisible());
}

TEST_F(DesktopMendsTest, TheLogOpensOverTheMainWindowAndANeverShownLogStoresNoPlace)
{
    TFormMain& w = StartWizard();
    w.move(300, 200);
    QCoreApplication::processEvents();
    w.close();
    EXPECT_FALSE(TIniFile(SettingsFile()).SectionExists(QStringLiteral("FormLog")))
        << "the place of a window never shown is the screen's corner";

    TFormMain& again = StartWizard();
    again.move(300, 200);
    QCoreApplication::processEvents();
    again.ActionLogExecute();
    const QRect main = again.frameGeometry(), log = formLog->frameGeometry();
    EXPECT_EQ(log.left(), main.left() + (main.width() - log.width()) / 2);
    EXPECT_EQ(log.top(), main.top() + (main.height() - log.height()) / 2);

    // Once it has a stored place, that place wins.
    formLog->move(40, 50);
    formLog->SavePlacement();
    formLog->hide();
    again.move(500, 300);
    again.ActionLogExecute();
    EXPECT_EQ(formLog->pos(), QPoint(40, 50));
}

TEST_F(DesktopMendsTest, AFileDroppedOnAFolderFieldNamesItsFolder)
{
    TFormMain& w = StartWizard();
    const QString clip = home.filePath(QStringLiteral("Documents/clip.mp4"));
    MakeMediaFiles({clip});
    w.ShowPage(wpStep2);
    DropOn(w.PageStep2->EditOutputDir, {clip});
    EXPECT_EQ(w.PageStep2->EditOutputDir->text(), home.filePath(QStringLiteral("Documents")));
    EXPECT_EQ(w.PageStep1->RowCount(), 0) << "the drop was added to the input list";

    w.ShowPage(wpStep5);
    DropOn(w.PageStep5->EditURLOutput, {home.filePath(QStringLiteral("config"))});
    EXPECT_EQ(w.PageStep5->EditURLOutput->text(), home.filePath(QStringLiteral("config")));
    EXPECT_EQ(w.PageStep1->RowCount(), 0);

    // Elsewhere on the page a drop still feeds the input list.
    DropOn(w.PageStep2, {clip});
    ASSERT_TRUE(w.PageStep1->WaitForAdd(30000));
    EXPECT_EQ(w.PageStep1->RowCount(), 1);
}

TEST_F(DesktopMendsTest, AnUnwritableSettingsFileIsOneBoxNamingTheFile)
{
    TFormMain& w = StartWizard();
    w.ActionLogExecute();   // its place is saved too
    // A folder where the file should be: no user, root included, can write it.
    QFile::remove(SettingsFile());
    ASSERT_TRUE(QDir().mkpath(SettingsFile()));
    w.close();
    ASSERT_EQ(desktop->shown.size(), 1u);
    EXPECT_EQ(desktop->shown[0].kind, TMsgDlgType::mtError);
    EXPECT_TRUE(desktop->shown[0].message.contains(QDir::toNativeSeparators(SettingsFile())))
        << desktop->shown[0].message.toStdString();
    EXPECT_TRUE(desktop->shown[0].message.contains(QStringLiteral("folder"))) << "and why";
}

TEST(ToolkitOptions, PassBesideTheProgramsOwn)
{
    const QString dir = QStringLiteral("/home/u");
    EXPECT_EQ(ParseStartArguments({"-platform", "offscreen", "--help"}, dir).Mode, smHelp);
    EXPECT_EQ(ParseStartArguments({"--platform", "offscreen", "--version"}, dir).Mode, smVersion);
    const TStartArguments files = ParseStartArguments({"-style", "fusion", "-reverse", "a.mp4", "-qwindowtitle", "T"}, dir);
    EXPECT_EQ(files.Mode, smRun);
    EXPECT_EQ(files.Files, QStringList{"/home/u/a.mp4"});
    EXPECT_EQ(ParseStartArguments({"-platformx"}, dir).Mode, smBadArguments);

    const char* raw[] = {"vornic", "-platform", "--help"};   // "--help" is the platform's name here
    EXPECT_FALSE(WantsTextOnly(3, const_cast<char**>(raw)));

    QProcess program;
    program.start(BuildBinDir() + QStringLiteral("/vornic"), {"-platform", "offscreen", "--help"});
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_TRUE(program.readAllStandardOutput().startsWith("Usage: vornic"));
}

TEST_F(DesktopMendsTest, HelpFromTheWindowOpensTheEditionsOwnAddressesOnly)
{
    LinkSkins();
    QDir(appDir.path()).mkpath(QStringLiteral("doc"));
    QFile manual(appDir.filePath(QStringLiteral("doc/manual.html")));
    ASSERT_TRUE(manual.open(QIODevice::WriteOnly));
    manual.close();
    WriteEdition(QStringLiteral("[SYSTEM]\nName=Wizard\n[LINKS]\nHelpContent=doc/manual.html\n"));
    TFormMain& w = Start();
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F1);
    EXPECT_EQ(desktop->opened, QStringList{appDir.filePath(QStringLiteral("doc/manual.html"))});
    EXPECT_FALSE(w.LabelMoreTools->isVisibleTo(&w)) << "no address: not offered";

    WriteEdition(QStringLiteral("[SYSTEM]\nName=Wizard\n[LINKS]\nMoreTools=https://tools.test/\n"));
    TFormMain& tools = Start();
    EXPECT_TRUE(tools.LabelMoreTools->isVisibleTo(&tools));
    desktop->opened.clear();
    tools.show();
    QTest::mouseClick(tools.LabelMoreTools, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(desktop->opened, QStringList{"https://tools.test/"});
}
