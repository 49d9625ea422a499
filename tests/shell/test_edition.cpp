// The edition file and the skin folder as the real window applies them at start.
#include "ShellTestSupport.h"

#include "ImageButton.h"
#include "PageStep1.h"
#include "PageStep2.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>

namespace {

int VisibleFormatButtons(TFormMain& w)
{
    int n = 0;
    for (int c = 0; c < FormatClassCount; ++c)
        for (QToolButton* b : w.PageStep2->FormatButtonsOf(c))
            n += b->isVisibleTo(w.PageStep2->FormatTabs[c]) ? 1 : 0;
    return n;
}

QString NextCaptionOnStep2(TFormMain& w)
{
    w.ShowPage(wpStep2);
    return w.ActionNext->text();
}

} // namespace

TEST_F(ShellTest, WithoutEditionFileTheDefaultsApply)
{
    LinkSkins();
    TFormMain& w = Start();
    EXPECT_EQ(w.windowTitle(), QString());
    EXPECT_EQ(w.CurrentPage(), wpMode);
    EXPECT_EQ(w.LabelTitle->text(), QStringLiteral("Welcome to ! What do you want to do?"));
    EXPECT_EQ(SettingsDir, home.path() + QStringLiteral("/config/"));   // no title: AppData itself
    EXPECT_EQ(VisibleFormatButtons(w), 0);
    for (QToolButton* b : w.PageStep2->ClassButtons)
        EXPECT_FALSE(b->isVisibleTo(w.PageStep2));
    EXPECT_EQ(w.PageStep2->RzPageControlToFormat->y(), 172);
    // layout variant 0
    EXPECT_EQ(w.ButtonMin->pos(), QPoint(696, 4));
    EXPECT_EQ(w.ButtonClose->pos(), QPoint(728, 4));
    EXPECT_EQ(w.ButtonNext->pos(), QPoint(522, 510));
    EXPECT_EQ(w.PageControlMain->pos(), QPoint(203, 74));
    EXPECT_EQ(w.LabelTitle->pos(), QPoint(24, 43));
    EXPECT_EQ(w.LabelVersion->palette().color(QPalette::WindowText), QColor(128, 128, 128));
    EXPECT_TRUE(w.PageStep1->ActionLoadDVD->isVisible());
    EXPECT_EQ(NextCaptionOnStep2(w), QStringLiteral("Convert"));
    // every picture came from sounds/res beside the program
    EXPECT_EQ(w.size(), QSize(772, 547));
    EXPECT_FALSE(LogText().contains(QStringLiteral("Skin image"))) << LogText().toStdString();
}

TEST_F(ShellTest, EditionKeysReachTheWindow)
{
    LinkSkins();
    WriteEdition(QStringLiteral("[system]\nname=Studio/Pro 7\nVersion=2.5\nMP3=1\nwav=1\nAVI=1\nDVD=0\nMerge=1\n"));
    TFormMain& w = Start();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Studio/Pro 7"));
    EXPECT_EQ(w.LabelVersion->text(), QStringLiteral("Version: 2.5"));
    EXPECT_EQ(w.LabelTitle->text(), QStringLiteral("Welcome to Studio/Pro 7! What do you want to do?"));
    EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("LabelFinishTitle1"))->text(),
              QStringLiteral("Studio/Pro 7 has finished the conversion."));
    EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("LabelFinishedDownloading2"))->text(),
              QStringLiteral("To convert other files, click \"Finish\". Click \"Exit\" to quit Studio/Pro 7."));
    // "/" in the title becomes a space in the settings folder, which now holds system.dat
    EXPECT_EQ(SettingsDir, home.path() + QStringLiteral("/config/Studio Pro 7/"));
    EXPECT_TRUE(QFile::exists(SettingsFile()));

    // two classes: both class buttons shown, area at 172; the packed format buttons
    EXPECT_TRUE(w.PageStep2->ClassButtons[fcVideo]->isVisibleTo(w.PageStep2));
    EXPECT_FALSE(w.PageStep2->ClassButtons[fcDevice]->isVisibleTo(w.PageStep2));
    EXPECT_TRUE(w.PageStep2->ClassButtons[fcAudio]->isVisibleTo(w.PageStep2));
    EXPECT_EQ(w.PageStep2->ClassButtons[fcAudio]->pos(), QPoint(189, 135));
    EXPECT_EQ(w.PageStep2->RzPageControlToFormat->y(), 172);
    QToolButton* mp3 = w.findChild<QToolButton*>(QStringLiteral("ButtonFormatMP3"));
    ASSERT_NE(mp3, nullptr);
    EXPECT_EQ(mp3->pos(), QPoint(74, 5));   // second visible button of the audio tab
    EXPECT_EQ(VisibleFormatButtons(w), 3);

    // DVD off: the action hidden, both buttons at top 8
    EXPECT_FALSE(w.PageStep1->ActionLoadDVD->isVisible());
    EXPECT_EQ(w.PageStep1->ButtonAdd->y(), 8);
    EXPECT_EQ(w.PageStep1->ButtonAddDVD->y(), 8);
    EXPECT_FALSE(w.PageStep1->ButtonAddDVD->isVisibleTo(w.PageStep1));

    EXPECT_EQ(NextCaptionOnStep2(w), QStringLiteral("Join Now"));
}

TEST_F(ShellTest, OneEnabledClassHidesTheClassButtons)
{
    LinkSkins();
    WriteEdition(QStringLiteral("[SYSTEM]\nName=Audio\nMP3=1\nWAV=1\nDefaultClass=2\n"));
    TFormMain& w = Start();
    for (QToolButton* b : w.PageStep2->ClassButtons)
        EXPECT_FALSE(b->isVisibleTo(w.PageStep2));
    EXPECT_EQ(w.PageStep2->RzPageControlToFormat->y(), 120);
    EXPECT_EQ(AppSettings.OutputFormatClass, 2);
}

TEST_F(ShellTest, OneClassEditionOpensItsOwnTabWhateverDefaultClassSays)
{
    LinkSkins();
    WriteEdition(QStringLiteral("[SYSTEM]\nName=Audio\nMP3=1\nDefaultClass=1\n"));
    TFormMain& w = Start();
    AddPlaceholderRows(*w.PageStep1, {home.filePath("a.mp3")});
    w.ShowPage(wpStep1);
    w.ActionNextExecute();
    ASSERT_EQ(w.CurrentPage(), wpStep2);
    EXPECT_EQ(w.PageStep2->RzPageControlToFormat->currentIndex(), int(fcAudio));
    EXPECT_EQ(AppSettings.OutputFormatClass, fcAudio);
    EXPECT_EQ(AppSettings.OutputAudioFormat, 1) << "MP3, the only format offered";
}

TEST_F(ShellTest, LayoutVariantsPlaceTheFrame)
{
    LinkSkins();
    WriteEdition(QStringLiteral("[SYSTEM]\nName=Wide\nSkin=1\nRes=1\n"));
    TFormMain& w = Start();
    EXPECT_EQ(w.ButtonMin->pos(), QPoint(766, 3));
    EXPECT_EQ(w.ButtonClose->pos(), QPoint(794, 3));
    EXPECT_EQ(w.ButtonHelp->pos(), QPoint(25, 566));
    EXPECT_EQ(w.ButtonLog->pos(), QPoint(120, 566));
    EXPECT_EQ(w.ButtonBack->pos(), QPoint(400, 566));
    EXPECT_EQ(w.ButtonNext->pos(), QPoint(495, 566));
    EXPECT_EQ(w.ButtonExit->pos(), QPoint(730, 566));
    EXPECT_EQ(w.PageControlMain->pos(), QPoint(240, 110));
    EXPECT_EQ(w.LabelTitle->pos(), QPoint(252, 70));
    EXPECT_EQ(w.LabelVersion->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    EXPECT_EQ(w.LabelMoreTools->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    // the window takes the size of the skin's background
    EXPECT_EQ(w.size(), QSize(830, 610));

    WriteEdition(QStringLiteral("[SYSTEM]\nSkin=3\n"));
    TFormMain& designed = Start();
    EXPECT_EQ(designed.ButtonMin->pos(), QPoint(696, 4));
    EXPECT_EQ(designed.ButtonNext->pos(), QPoint(522, 510));
    EXPECT_EQ(designed.LabelVersion->palette().color(QPalette::WindowText), QColor(128, 128, 128));
}

TEST_F(ShellTest, EditionWithoutDownloadStartsOnStep1)
{
    LinkSkins();
    WriteEdition(QStringLiteral("[SYSTEM]\nName=Conv\nDownload=0\n"));
    TFormMain& w = Start();
    EXPECT_EQ(w.CurrentPage(), wpStep1);
    EXPECT_FALSE(w.ActionBack->isEnabled());
    EXPECT_EQ(w.ActionExit->text(), QStringLiteral("Exit"));
    EXPECT_TRUE(w.isVisible());
}

TEST_F(ShellTest, GarbageEditionFileStartsWithDefaults)
{
    LinkSkins();
    QFile file(appDir.filePath(EditionFileName));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(char((i * 131 + 7) & 0xFF));
    file.write(junk);
    file.close();
    TFormMain& w = Start();
    EXPECT_EQ(w.CurrentPage(), wpMode);
    EXPECT_EQ(w.ButtonMin->pos(), QPoint(696, 4));
    EXPECT_TRUE(w.isVisible());
}

TEST_F(ShellTest, MissingSkinImagesAreDrawnAndReported)
{
    // A skin folder with only a few of its files.
    const QString skin = appDir.filePath(QStringLiteral("sounds/res"));
    ASSERT_TRUE(QDir().mkpath(skin));
    for (const char* name : {"leftlogo.png", "bottom_1.bmp", "bottom_2.bmp"})
        ASSERT_TRUE(QFile::copy(BuildBinDir() + "/sounds/res/" + name, skin + "/" + name));
    // an unreadable picture counts as missing
    QFile broken(skin + "/toplogo.png");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();

    TFormMain& w = Start();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.size(), QSize(772, 547));
    EXPECT_FALSE(w.ImageTopLogo->pixmap().isNull());
    EXPECT_FALSE(w.ButtonExit->size().isEmpty());
    const QString log = LogText();
    EXPECT_TRUE(log.contains(skin + "/main.bmp")) << log.toStdString();
    EXPECT_TRUE(log.contains(skin + "/toplogo.png"));
    EXPECT_FALSE(log.contains(skin + "/leftlogo.png"));
    EXPECT_TRUE(log.contains(skin + "/bottom_4.bmp"));
}

TEST_F(ShellTest, FirstRunCentresAndLaterRunsRestoreThePlacement)
{
    LinkSkins();
    desktop->screen = QSize(1920, 1080);
    TFormMain& first = Start();
    EXPECT_EQ(first.pos(), QPoint((1920 - 772) / 2, (1080 - 547) / 2));
    first.move(100, 120);
    first.close();

    TFormMain& second = Start();
    EXPECT_EQ(second.pos(), QPoint(100, 120));
}

TEST_F(ShellTest, UnwritableSettingsStillStartAndSayWhy)
{
    LinkSkins();
    WriteEdition(QStringLiteral("[SYSTEM]\nName=Locked\n"));
    // A folder where the settings file should be: it can be neither read nor replaced.
    ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral("/config/Locked/system.dat")));
    TFormMain& w = Start();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.CurrentPage(), wpMode);
    EXPECT_TRUE(LogText().contains(QStringLiteral("system.dat"))) << LogText().toStdString();

    desktop->shown.clear();
    w.close();
    ASSERT_FALSE(desktop->shown.empty());
    EXPECT_EQ(desktop->shown.front().kind, TMsgDlgType::mtError);
    EXPECT_TRUE(desktop->shown.front().message.contains(QStringLiteral("system.dat")));
}

TEST_F(ShellTest, EditionTablesTrimTheFrameAndWording)
{
    LinkSkins();
    WriteEdition(QStringLiteral("[SYSTEM]\nName=vornic Lite\n"));
    TFormMain& lite = Start();
    for (QWidget* w : std::initializer_list<QWidget*>{lite.LabelVersion, lite.LabelMoreTools, lite.ButtonHelp,
                                                      lite.ButtonLog})
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
    EXPECT_TRUE(lite.ButtonNext->isVisible());
    EXPECT_EQ(lite.LabelMoreTools->text(), QStringLiteral("more free tools..."));

    WriteEdition(QStringLiteral("[SYSTEM]\nName=vornic Pro\n"));
    TFormMain& pro = Start();
    EXPECT_TRUE(pro.ButtonHelp->isVisible());
    EXPECT_EQ(pro.LabelMoreTools->text(), QStringLiteral("more tools..."));
    QAction* more = pro.PopupMenuHelp->findChild<QAction*>(QStringLiteral("ActionMoreFreeTools"));
    if (!more)
        for (QAction* a : pro.PopupMenuHelp->actions())
            if (a->objectName() == u"ActionMoreFreeTools")
                more = a;
    ASSERT_NE(more, nullptr);
    EXPECT_EQ(more->text(), QStringLiteral("More Tools..."));
}
