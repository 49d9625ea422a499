// About boxes, the Help menu and the edition's links.
#include "About.h"
#include "EditionConfig.h"
#include "FakeDesktop.h"
#include "HelpLinkFuncs.h"
#include "Screenshots.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

QString LabelText(QWidget& box, const char* name)
{
    auto* label = box.findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

void Click(QWidget& box, const char* name)
{
    auto* widget = box.findChild<QWidget*>(QLatin1String(name));
    ASSERT_NE(widget, nullptr) << name;
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(2, 2));
}

const TAboutEdition Known{QStringLiteral("vornic"), QStringLiteral("2.1"), QStringLiteral("2026 vornic developers"), {}};
const TAboutEdition Unknown{QStringLiteral("Nobody's Edition"), QStringLiteral("2.1"), {}, {}};

} // namespace

TEST(HelpLinks, DefaultEditionHasEveryLinkAndUnknownTitlesHaveNone)
{
    for (THelpLinkKind kind : {hlHelpContent, hlTutorials, hlHomePage, hlMoreTools, hlUpdates, hlSupport}) {
        const QString url = GetHelpLinkURL(kind, QStringLiteral("vornic"));
        EXPECT_TRUE(url.startsWith(QStringLiteral("https://"))) << kind;
        EXPECT_TRUE(GetHelpLinkURL(kind, QStringLiteral("VORNIC")).isEmpty()) << "titles compare exactly";
        EXPECT_TRUE(GetHelpLinkURL(kind, QString()).isEmpty());
    }
    // Every edition the program knows of either has all six links or none.
    for (const auto& row : EditionIconTable) {
        int present = 0;
        for (THelpLinkKind kind : {hlHelpContent, hlTutorials, hlHomePage, hlMoreTools, hlUpdates, hlSupport})
            present += GetHelpLinkURL(kind, QLatin1String(row.Title)).isEmpty() ? 0 : 1;
        EXPECT_TRUE(present == 0 || present == 6) << row.Title;
    }
}

TEST(HelpLinks, MenuEntriesOpenTheTableAddressesInOrder)
{
    ScopedFakeDesktop desktop;
    int abouts = 0;
    std::unique_ptr<QMenu> menu(CreateHelpMenu(nullptr, QStringLiteral("vornic"), false, [&] { ++abouts; }));
    EXPECT_EQ(menu->objectName(), QStringLiteral("PopupMenuHelp"));

    QStringList captions;
    for (QAction* action : menu->actions())
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(captions, (QStringList{"Help Content", "How Tos && Tutorial Videos...", "-", "Home Page...",
                                     "More Free Tools...", "-", "Check for Updates...",
                                     "Contact Technical Support...", "-", "About"}));

    const std::pair<const char*, THelpLinkKind> entries[] = {
        {"ActionHelpContent", hlHelpContent},   {"ActionHowTosTutorialVideos", hlTutorials},
        {"ActionHomePage", hlHomePage},         {"ActionMoreFreeTools", hlMoreTools},
        {"ActionCheckforUpdates", hlUpdates},   {"ActionContactTechnicalSupport", hlSupport}};
    QStringList expected;
    for (const auto& [name, kind] : entries) {
        auto* action = menu->findChild<QAction*>(QLatin1String(name));
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
        expected << GetHelpLinkURL(kind, QStringLiteral("vornic"));
    }
    EXPECT_EQ(desktop->opened, expected);
    EXPECT_EQ(menu->findChild<QAction*>(QStringLiteral("ActionHelpContent"))->shortcut(), QKeySequence(Qt::Key_F1));
    menu->findChild<QAction*>(QStringLiteral("ActionAbout"))->trigger();
    EXPECT_EQ(abouts, 1);

    std::unique_ptr<QMenu> shortMenu(CreateHelpMenu(nullptr, QStringLiteral("vornic"), true, {}));
    EXPECT_EQ(shortMenu->findChild<QAction*>(QStringLiteral("ActionMoreFreeTools"))->text(), QStringLiteral("More Tools..."));
    shortMenu->findChild<QAction*>(QStringLiteral("ActionAbout"))->trigger();   // no handler: nothing happens
}

TEST(HelpLinks, F1OpensHelpWhileTheMenuIsClosed)
{
    ScopedFakeDesktop desktop;
    QWidget main;
    CreateHelpMenu(&main, QStringLiteral("vornic"), false, {});
    main.show();
    QApplication::setActiveWindow(&main);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    QTest::keyClick(&main, Qt::Key_F1);
    EXPECT_EQ(desktop->opened, QStringList{GetHelpContentURL(QStringLiteral("vornic"))});
}

TEST(HelpLinks, UnknownEditionMenuOpensNothing)
{
    ScopedFakeDesktop desktop;
    std::unique_ptr<QMenu> menu(CreateHelpMenu(nullptr, Unknown.title, false, {}));
    for (QAction* action : menu->actions())
        if (action->objectName() != QLatin1String("ActionAbout"))
            action->trigger();
    EXPECT_TRUE(desktop->opened.isEmpty());
}

TEST(HelpLinks, MenuOpensBelowTheHelpButtonWithTheLayoutOffset)
{
    const QPoint main(100, 50), button(40, 510);
    EXPECT_EQ(HelpMenuPosition(main, button, 30, 0), QPoint(140, 590));
    EXPECT_EQ(HelpMenuPosition(main, button, 30, LayoutVariants[2].HelpMenuOffset), QPoint(145, 590));
}

TEST(AboutBoxes, SimpleBoxShowsTitleVersionNoticeAndOpensHomePage)
{
    ScopedFakeDesktop desktop;
    TfrmAbout box(Known);
    EXPECT_EQ(box.windowTitle(), QStringLiteral("About vornic"));
    EXPECT_EQ(LabelText(box, "LabelAppName"), QStringLiteral("vornic"));
    EXPECT_EQ(LabelText(box, "LabelVersion"), QStringLiteral("Version 2.1"));
    EXPECT_TRUE(LabelText(box, "LabelCopyRight").contains(QStringLiteral("2026 vornic developers")));
    EXPECT_FALSE(LabelText(box, "LabelWarning").isEmpty());
    EXPECT_EQ(LabelText(box, "LabelWeb"), GetHomePageURL(QStringLiteral("vornic")));
    EXPECT_GE(box.width(), 445);
    EXPECT_GE(box.height(), 217);
    box.show();
    Click(box, "LabelWeb");
    EXPECT_EQ(desktop->opened, QStringList{GetHomePageURL(QStringLiteral("vornic"))});
    box.findChild<QPushButton*>(QStringLiteral("ButtonOK"))->click();
    EXPECT_FALSE(box.isVisible());
}

TEST(AboutBoxes, TabbedBoxShowsTitleAndVersionAndEveryLinkOpensItsAddress)
{
    ScopedFakeDesktop desktop;
    TFormAbout box(Known);
    EXPECT_EQ(box.windowTitle(), QStringLiteral("About ")) << "unlike the simple box, the caption takes no title";
    EXPECT_EQ(LabelText(box, "LabalTitle"), QStringLiteral("vornic 2.1"));
    EXPECT_TRUE(LabelText(box, "LabelCopyright").contains(QStringLiteral("2026 vornic developers")));
    EXPECT_EQ(LabelText(box, "LabelVersion"), QStringLiteral("2.1"));
    EXPECT_EQ(LabelText(box, "LabelWeb"), GetHomePageURL(QStringLiteral("vornic")));
    EXPECT_FALSE(LabelText(box, "LabelSupportEmail").isEmpty());
    box.show();
    Click(box, "LabelWeb");
    Click(box, "LabelSupportEmail");
    Click(box, "ImageLeft");
    box.findChild<QPushButton*>(QStringLiteral("ButtonUpdates"))->click();
    EXPECT_EQ(desktop->opened, (QStringList{GetHomePageURL("vornic"), GetSupportURL("vornic"),
                                            GetUpdatesURL("vornic"), GetUpdatesURL("vornic")}));
    box.hide();
}

TEST(AboutBoxes, UnknownEditionShowsEmptyLinksThatOpenNothing)
{
    ScopedFakeDesktop desktop;
    TFormAbout tabbed(Unknown);
    TfrmAbout simple(Unknown);
    EXPECT_TRUE(LabelText(tabbed, "LabelWeb").isEmpty());
    EXPECT_TRUE(LabelText(tabbed, "LabelSupportEmail").isEmpty());
    EXPECT_TRUE(LabelText(tabbed, "LabelCopyright").isEmpty()) << "no notice without a Copyright key";
    EXPECT_TRUE(LabelText(simple, "LabelWeb").isEmpty());
    tabbed.show();
    simple.show();
    Click(tabbed, "LabelWeb");
    Click(tabbed, "LabelSupportEmail");
    Click(tabbed, "ImageLeft");
    Click(simple, "LabelWeb");
    EXPECT_TRUE(desktop->opened.isEmpty());
}

TEST(AboutBoxes, EditionTextsAreShownAsPlainText)
{
    const TAboutEdition hostile{QStringLiteral("<b>bold</b>"), QStringLiteral("<i>1</i>"), QStringLiteral("<a href=x>y</a>"), {}};
    TFormAbout box(hostile);
    auto* title = box.findChild<QLabel*>(QStringLiteral("LabalTitle"));
    EXPECT_EQ(title->textFormat(), Qt::PlainText);
    EXPECT_EQ(title->text(), QStringLiteral("<b>bold</b> <i>1</i>"));
}

TEST(AboutBoxes, CurrentEditionReadsVersionAndCopyrightFromTheFileNow)
{
    QTemporaryDir dir;
    auto write = [&](const char* text) {
        QFile file(dir.filePath(EditionFileName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    };
    write("[SYSTEM]\nName=vornic\nVersion=2.0\nCopyright=2025 A\n");
    EXPECT_EQ(CurrentAboutEdition(dir.path()).version, QStringLiteral("2.0"));
    write("[SYSTEM]\nName=vornic\nVersion=2.1\nCopyright=2026 B\n");
    const TAboutEdition now = CurrentAboutEdition(dir.path());
    EXPECT_EQ(now.version, QStringLiteral("2.1"));
    EXPECT_EQ(now.copyright, QStringLiteral("2026 B"));
    QFile::remove(dir.filePath(EditionFileName));
    EXPECT_TRUE(CurrentAboutEdition(dir.path()).version.isEmpty());
}

TEST(AboutBoxes, BoxChoiceFollowsTheWordingTableAndCentresOverTheMainWindow)
{
    ASSERT_FALSE(ShortWordingEditions.empty());
    EXPECT_TRUE(UsesSimpleAboutBox(QLatin1String(ShortWordingEditions.front())));
    EXPECT_FALSE(UsesSimpleAboutBox(QStringLiteral("vornic")));

    QWidget main;
    main.setGeometry(100, 80, 801, 601);
    std::unique_ptr<QDialog> box(CreateAboutBox(&main, Known, false));
    EXPECT_NE(qobject_cast<TFormAbout*>(box.get()), nullptr);
    const QRect frame = main.frameGeometry();
    EXPECT_EQ(box->pos(), QPoint(frame.left() + (frame.width() - box->width()) / 2,
                                 frame.top() + (frame.height() - box->height()) / 2));
    std::unique_ptr<QDialog> simple(CreateAboutBox(&main, Known, true));
    EXPECT_NE(qobject_cast<TfrmAbout*>(simple.get()), nullptr);
}

TEST(AboutBoxes, RenderForScreenshots)
{
    const auto shots = RenderAuxiliaryWindows(QStringLiteral("vornic"), QStringLiteral("2.1"), QStringLiteral("2026 x"));
    EXPECT_EQ(shots.size(), 5);
    for (const auto& [name, image] : shots)
        EXPECT_FALSE(image.isNull()) << name.toStdString();

    TfrmAbout simple(Known);
    TFormAbout tabbed(Known);
    EXPECT_EQ(simple.RenderForScreenshot().size(), simple.size());
    EXPECT_EQ(tabbed.RenderForScreenshot().size(), tabbed.size());
    const QImage logo = DrawAppLogo(64);
    EXPECT_EQ(logo.size(), QSize(64, 64));
    EXPECT_EQ(qAlpha(logo.pixel(32, 4)), 255);   // the tile is drawn
    EXPECT_EQ(qAlpha(logo.pixel(0, 0)), 0);      // rounded corner stays clear
}
