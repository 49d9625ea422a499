// About boxes, the Help menu and the edition's links.
#include "About.h"
#include "EditionConfig.h"
#include "FakeDesktop.h"
#include "HelpLinkFuncs.h"
#include "Screenshots.h"
#include "TestSupport.h"

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

// A row for the edition "vornic" with every kind filled, as an edition file would give it.
void UseFullLinkRow()
{
    THelpLinkRow row;
    row.Title = QStringLiteral("vornic");
    for (size_t kind = 0; kind < row.Links.size(); ++kind)
        row.Links[kind] = QStringLiteral("https://links.test/%1").arg(QLatin1String(HelpLinkKeys[kind]));
    row.SupportMail = QStringLiteral("help@links.test");
    SetHelpLinkTable({row});
}

TEST(HelpLinks, TheEditionFileFillsItsRowAndTitlesCompareExactly)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("doc")));
    QFile manual(dir.filePath(QStringLiteral("doc/manual.html")));
    ASSERT_TRUE(manual.open(QIODevice::WriteOnly));
    manual.close();
    QFile edition(dir.filePath(EditionFileName));
    ASSERT_TRUE(edition.open(QIODevice::WriteOnly));
    edition.write("[SYSTEM]\nName=Brand\n[links]\nhelpcontent=doc/manual.html\nTutorials=doc/missing.html\n"
                  "HomePage= https://brand.test/ \nUpdates=mailto:up@brand.test\nSupport=/nonexistent/support.html\n"
                  "SupportMail=care@brand.test\n");
    edition.close();

    const THelpLinkRow row = ReadHelpLinks(dir.path());
    EXPECT_EQ(row.Title, QStringLiteral("Brand"));
    EXPECT_EQ(row.Links[hlHelpContent], dir.filePath(QStringLiteral("doc/manual.html"))) << "relative to the program";
    EXPECT_TRUE(row.Links[hlTutorials].isEmpty()) << "a file that is not there is no address";
    EXPECT_EQ(row.Links[hlHomePage], QStringLiteral("https://brand.test/"));
    EXPECT_TRUE(row.Links[hlMoreTools].isEmpty());
    EXPECT_EQ(row.Links[hlUpdates], QStringLiteral("mailto:up@brand.test"));
    EXPECT_TRUE(row.Links[hlSupport].isEmpty());
    EXPECT_EQ(row.SupportMail, QStringLiteral("care@brand.test"));

    SetHelpLinkTable({row});
    EXPECT_EQ(GetHomePageURL(QStringLiteral("Brand")), QStringLiteral("https://brand.test/"));
    EXPECT_TRUE(GetHomePageURL(QStringLiteral("brand")).isEmpty()) << "titles compare exactly";
    EXPECT_TRUE(GetHomePageURL(QString()).isEmpty());
    EXPECT_EQ(GetSupportAddressText(QStringLiteral("Brand")), QStringLiteral("care@brand.test"));

    // Without the section, or without the file, nothing opens anywhere.
    const THelpLinkRow none = ReadHelpLinks(dir.filePath(QStringLiteral("doc")));
    for (const QString& link : none.Links)
        EXPECT_TRUE(link.isEmpty());
}

TEST(HelpLinks, TheDefaultEditionOffersOnlyItsManual)
{
    // The default edition file of the build, beside the program.
    const THelpLinkRow row = ReadHelpLinks(BuildBinDir());
    EXPECT_EQ(row.Title, QStringLiteral("vornic"));
    ASSERT_FALSE(row.Links[hlHelpContent].isEmpty()) << "the build writes doc/manual.html";
    EXPECT_TRUE(row.Links[hlHelpContent].endsWith(QStringLiteral("/doc/manual.html")));
    for (THelpLinkKind kind : {hlTutorials, hlHomePage, hlMoreTools, hlUpdates, hlSupport})
        EXPECT_TRUE(row.Links[kind].isEmpty()) << kind;

    QFile manual(row.Links[hlHelpContent]);
    ASSERT_TRUE(manual.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(manual.readAll());
    // The README's user sections and the man pages, but not the developers' sections.
    for (const char* part : {"Command-line converter", "Help and links", "Manual page: vornic-convert",
                             "--list-presets", "SYNOPSIS", "vornic [FILE...]"})
        EXPECT_TRUE(html.contains(QLatin1String(part))) << part;
    EXPECT_FALSE(html.contains(QStringLiteral("make test-asan")));

    SetHelpLinkTable({row});
    ScopedFakeDesktop desktop;
    std::unique_ptr<QMenu> menu(CreateHelpMenu(nullptr, row.Title, false, {}));
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            action->trigger();
    EXPECT_EQ(desktop->opened, QStringList{row.Links[hlHelpContent]});
    EXPECT_TRUE(menu->findChild<QAction*>(QStringLiteral("ActionHelpContent"))->isEnabled());
    EXPECT_FALSE(menu->findChild<QAction*>(QStringLiteral("ActionHomePage"))->isEnabled());
    EXPECT_TRUE(menu->findChild<QAction*>(QStringLiteral("ActionAbout"))->isEnabled());
}

TEST(HelpLinks, MenuEntriesOpenTheTableAddressesInOrder)
{
    UseFullLinkRow();
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
    UseFullLinkRow();
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
    UseFullLinkRow();
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
    UseFullLinkRow();
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
