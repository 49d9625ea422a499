// The failed-files dialog: one row per failed file with its reason, support link.
#include "AddFailed.h"
#include "FakeDesktop.h"
#include "HelpLinkFuncs.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

TEST(FailedFilesDialog, ListsFilesAndReasonsInOrder)
{
    QTemporaryDir dir;
    // A real file whose name itself contains ": ", as a probe message would start with it.
    const QString odd = dir.filePath(QStringLiteral("take: two.mp4"));
    QFile(odd).open(QIODevice::WriteOnly);
    const QString missing = dir.filePath(QStringLiteral("gone.avi"));

    TFormFailedAddFile dialog(QStringLiteral("vornic"));
    dialog.SetFailedEntries({odd + QStringLiteral(": could not find codec parameters"),
                             missing + QStringLiteral(": No such file or directory"),
                             QStringLiteral("Unknown input format: xyz")});
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Failed to Add Files"));

    auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("ListViewFiles"));
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("File"));
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("take: two.mp4"));
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("could not find codec parameters"));
    EXPECT_EQ(list->topLevelItem(0)->toolTip(0), QDir::toNativeSeparators(odd));
    // A file that is gone is still recognised by its path.
    EXPECT_EQ(list->topLevelItem(1)->text(0), QStringLiteral("gone.avi"));
    EXPECT_EQ(list->topLevelItem(1)->text(1), QStringLiteral("No such file or directory"));
    EXPECT_EQ(list->topLevelItem(2)->text(0), QStringLiteral("\u2014"));
    EXPECT_EQ(list->topLevelItem(2)->text(1), QStringLiteral("Unknown input format: xyz"));

    // Refilling replaces, never appends to, the previous run's rows.
    dialog.SetFailedEntries({QStringLiteral("only one")});
    EXPECT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(dialog.FailedFiles().size(), 1);
}

TEST(FailedFilesDialog, KnownFileNameSplitsEvenForMissingFiles)
{
    const TFailedFile split = SplitFailedEntry(QStringLiteral("/x/gone.avi: Invalid data"), QStringLiteral("/x/gone.avi"));
    EXPECT_EQ(split.FileName, QStringLiteral("/x/gone.avi"));
    EXPECT_EQ(split.Reason, QStringLiteral("Invalid data"));
    const TFailedFile other = SplitFailedEntry(QStringLiteral("engine not loaded"), QStringLiteral("/x/a.avi"));
    EXPECT_EQ(other.FileName, QStringLiteral("/x/a.avi"));
    EXPECT_EQ(other.Reason, QStringLiteral("engine not loaded"));
}

TEST(FailedFilesDialog, MoreInformationOpensTheSupportPageAndCloseCloses)
{
    THelpLinkRow row;
    row.Title = QStringLiteral("vornic");
    row.Links[hlSupport] = QStringLiteral("https://links.test/support");
    SetHelpLinkTable({row});
    ScopedFakeDesktop desktop;
    TFormFailedAddFile dialog(QStringLiteral("vornic"));
    dialog.AddFailedEntry(QStringLiteral("a: b"));
    dialog.show();
    dialog.findChild<QPushButton*>(QStringLiteral("ButtonMoreInformation"))->click();
    EXPECT_EQ(desktop->opened, QStringList{GetSupportURL(QStringLiteral("vornic"))});
    auto* close = dialog.findChild<QPushButton*>(QStringLiteral("ButtonClose"));
    EXPECT_TRUE(close->isDefault());
    close->click();
    EXPECT_FALSE(dialog.isVisible());

    TFormFailedAddFile unknown(QStringLiteral("no such edition"));
    EXPECT_FALSE(unknown.findChild<QPushButton*>(QStringLiteral("ButtonMoreInformation"))->isEnabled());
    unknown.ButtonMoreInformationClick();
    EXPECT_EQ(desktop->opened.size(), 1);
    EXPECT_FALSE(unknown.RenderForScreenshot().isNull());
}
