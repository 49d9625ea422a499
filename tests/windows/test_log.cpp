// The log window: delete, save, button layout, placement.
#include "AppSettings.h"
#include "FakeDesktop.h"
#include "Log.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>

namespace {

QPushButton* Button(TFormLog& log, const char* name)
{
    return log.findChild<QPushButton*>(QLatin1String(name));
}

QString MemoText(TFormLog& log)
{
    return log.findChild<QPlainTextEdit*>(QStringLiteral("MemoLog"))->toPlainText();
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

TEST(LogWindow, EachCallIsOneLineInArrivalOrder)
{
    TFormLog log;
    log.Log(QStringLiteral("#2468.3: x"));
    log.Log(QStringLiteral("File load error: /tmp/a.avi: broken\r\nsecond part"));
    log.Log(QString());
    ASSERT_EQ(log.Lines().size(), 3);
    EXPECT_EQ(log.Lines().at(0), QStringLiteral("#2468.3: x"));
    EXPECT_FALSE(log.Lines().at(1).contains(QLatin1Char('\n')));
    log.show();
    QApplication::processEvents();
    EXPECT_EQ(MemoText(log).split(QLatin1Char('\n')).size(), 3);
}

// The text area is filled when the window is shown, with every line kept while it was hidden,
// and follows at once while it is open.
TEST(LogWindow, HiddenWindowFillsItsTextAreaWhenShown)
{
    TFormLog log;
    for (int i = 0; i < 5000; ++i)
        log.Log(QStringLiteral("#7.7: line %1").arg(i));
    EXPECT_TRUE(MemoText(log).isEmpty());
    log.show();
    QApplication::processEvents();
    QStringList shown = MemoText(log).split(QLatin1Char('\n'));
    ASSERT_EQ(shown.size(), 5000);
    EXPECT_EQ(shown.first(), QStringLiteral("#7.7: line 0"));
    EXPECT_EQ(shown.last(), QStringLiteral("#7.7: line 4999"));
    log.Log(QStringLiteral("#7.7: while open"));
    EXPECT_EQ(MemoText(log).split(QLatin1Char('\n')).last(), QStringLiteral("#7.7: while open"));
    log.hide();
    log.Log(QStringLiteral("#7.7: after closing"));
    log.show();
    QApplication::processEvents();
    shown = MemoText(log).split(QLatin1Char('\n'));
    ASSERT_EQ(shown.size(), 5002);
    EXPECT_EQ(shown.last(), QStringLiteral("#7.7: after closing"));
    EXPECT_EQ(log.Lines().size(), 5002);
}

TEST(LogWindow, LinesFromAWorkerThreadArriveOnTheMainThread)
{
    TFormLog log;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i)
            log.Log(QStringLiteral("#7.5: line %1").arg(i));
    });
    worker.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return log.Lines().size() == 100; }, 5000));
    EXPECT_EQ(log.Lines().last(), QStringLiteral("#7.5: line 99"));
}

TEST(LogWindow, DeleteAsksAndOnlyYesClears)
{
    ScopedFakeDesktop desktop;
    TFormLog log;
    log.Log(QStringLiteral("one"));

    for (TModalResult answer : {mrNo, mrCancel, mrNone}) {
        desktop->answers.push_back(answer);
        Button(log, "ButtonDelete")->click();
        EXPECT_EQ(log.Lines().size(), 1) << "answer " << answer;
        EXPECT_TRUE(Button(log, "ButtonSave")->isEnabled());
    }
    ASSERT_EQ(desktop->shown.size(), 3u);
    EXPECT_EQ(desktop->shown[0].message, QStringLiteral("Really delete log file?"));
    EXPECT_EQ(desktop->shown[0].caption, QStringLiteral("Delete log?"));
    EXPECT_EQ(desktop->shown[0].kind, TMsgDlgType::mtConfirmation);
    EXPECT_EQ(desktop->shown[0].buttons, TMsgDlgButtons(mbYes | mbNo | mbCancel));

    desktop->answers.push_back(mrYes);
    Button(log, "ButtonDelete")->click();
    EXPECT_TRUE(log.Lines().isEmpty());
    EXPECT_TRUE(MemoText(log).isEmpty());
}

TEST(LogWindow, DeleteDisablesSaveForTheRestOfTheRunWhileLinesStillArrive)
{
    ScopedFakeDesktop desktop;
    QTemporaryDir dir;
    TFormLog log;
    log.show();
    log.Log(QStringLiteral("before"));
    desktop->answers.push_back(mrYes);
    Button(log, "ButtonDelete")->click();

    Button(log, "ButtonOK")->click();   // closes (hides) the window
    EXPECT_FALSE(log.isVisible());
    log.Log(QStringLiteral("after"));
    log.show();

    EXPECT_EQ(log.Lines(), QStringList{QStringLiteral("after")});
    EXPECT_EQ(MemoText(log), QStringLiteral("after"));
    EXPECT_FALSE(log.SaveEnabled());
    // Even a direct call does not save any more.
    desktop->saveAnswers.push_back(dir.filePath(QStringLiteral("x.log")));
    log.ButtonSaveClick();
    EXPECT_TRUE(desktop->saveRequests.empty());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("x.log"))));
    log.hide();
}

TEST(LogWindow, SaveWritesEveryLineAndReplacesTheFile)
{
    ScopedFakeDesktop desktop;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.log"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old content that is longer than the new one\n");
    }
    TFormLog log;
    log.Log(QStringLiteral("#1.5: first"));
    log.Log(QStringLiteral("Adding file error: \u00e9t\u00e9.mp4"));
    desktop->saveAnswers.push_back(path);
    Button(log, "ButtonSave")->click();

    ASSERT_EQ(desktop->saveRequests.size(), 1u);
    EXPECT_EQ(desktop->saveRequests[0].defaultExt, QStringLiteral("log"));
    EXPECT_EQ(desktop->saveRequests[0].filter,
              QStringLiteral("Log-Files (*.log)|*.log|Text-Files (*.txt)|*.txt|All Files (*.*)|*.*"));
    EXPECT_EQ(QString::fromUtf8(ReadAll(path)), QStringLiteral("#1.5: first\nAdding file error: \u00e9t\u00e9.mp4\n"));
    EXPECT_TRUE(desktop->shown.empty());
}

TEST(LogWindow, SavingAnEmptyLogWritesAnEmptyFileAndCancelWritesNothing)
{
    ScopedFakeDesktop desktop;
    QTemporaryDir dir;
    TFormLog log;
    desktop->saveAnswers.push_back(QString());   // cancelled
    Button(log, "ButtonSave")->click();
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    const QString path = dir.filePath(QStringLiteral("empty.log"));
    desktop->saveAnswers.push_back(path);
    Button(log, "ButtonSave")->click();
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_EQ(QFileInfo(path).size(), 0);
}

TEST(LogWindow, SaveErrorIsReportedAndTheLinesAndOldFileStay)
{
    ScopedFakeDesktop desktop;
    QTemporaryDir dir;
    TFormLog log;
    log.Log(QStringLiteral("keep me"));

    // A folder that does not exist.
    const QString missing = dir.filePath(QStringLiteral("no/such/folder/run.log"));
    desktop->saveAnswers.push_back(missing);
    Button(log, "ButtonSave")->click();
    ASSERT_EQ(desktop->shown.size(), 1u);
    EXPECT_EQ(desktop->shown[0].kind, TMsgDlgType::mtError);
    EXPECT_EQ(desktop->shown[0].buttons, TMsgDlgButtons(mbOK));
    EXPECT_TRUE(desktop->shown[0].message.contains(QDir::toNativeSeparators(missing)));
    EXPECT_EQ(log.Lines(), QStringList{QStringLiteral("keep me")});
    EXPECT_TRUE(log.SaveEnabled());

    // A name that is a folder, and a "folder" that is a file: both fail, nothing is touched.
    const QString folder = dir.filePath(QStringLiteral("folder.log"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString plain = dir.filePath(QStringLiteral("plain.txt"));
    {
        QFile file(plain);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("earlier\n");
    }
    desktop->saveAnswers.push_back(folder);
    desktop->saveAnswers.push_back(plain + QStringLiteral("/run.log"));
    Button(log, "ButtonSave")->click();
    Button(log, "ButtonSave")->click();
    EXPECT_EQ(desktop->shown.size(), 3u);
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(ReadAll(plain), QByteArray("earlier\n"));
    EXPECT_EQ(log.Lines(), QStringList{QStringLiteral("keep me")});
}

TEST(LogWindow, ButtonsStayCentredWithGapsAtEveryWidth)
{
    TFormLog log;
    log.show();
    for (int width : {log.minimumWidth(), 455, 1200}) {
        log.resize(width, log.minimumHeight());
        QApplication::processEvents();
        QWidget* panel = log.findChild<QWidget*>(QStringLiteral("PanelBottom"));
        const QRect ok = Button(log, "ButtonOK")->geometry();
        const QRect del = Button(log, "ButtonDelete")->geometry();
        const QRect save = Button(log, "ButtonSave")->geometry();
        EXPECT_EQ(panel->width(), log.width());
        EXPECT_EQ(del.left() - ok.right() - 1, 8);
        EXPECT_EQ(save.left() - del.right() - 1, 8);
        const int leftMargin = ok.left();
        const int rightMargin = panel->width() - save.right() - 1;
        EXPECT_LE(std::abs(leftMargin - rightMargin), 2) << "width " << width;
        EXPECT_GE(leftMargin, 0);
        EXPECT_GE(rightMargin, 0);
    }
    EXPECT_GE(log.minimumWidth(), 265);
    EXPECT_GE(log.minimumHeight(), 125);
    log.hide();
}

TEST(LogWindow, PlacementIsSavedOnCloseAndRestoredOnShow)
{
    QTemporaryDir dir;
    const QString previous = SettingsDir;
    SettingsDir = dir.path() + QLatin1Char('/');
    {
        TFormLog log;
        log.show();
        log.move(40, 30);
        QApplication::processEvents();
        const QPoint where = log.frameGeometry().topLeft();
        Button(log, "ButtonOK")->click();
        TFormPlacement stored;
        ASSERT_TRUE(LoadFormPlacement(LogFormSection, stored, QString(), QSize(4000, 4000)));
        EXPECT_EQ(stored.Geometry.topLeft(), where);

        TFormLog other;
        other.move(300, 300);
        other.show();
        QApplication::processEvents();
        EXPECT_EQ(other.frameGeometry().topLeft(), where);
        other.hide();
    }
    SettingsDir = previous;
}

TEST(LogWindow, RendersForScreenshots)
{
    TFormLog log;
    log.Log(QStringLiteral("#2468.5: Input #0, mov,mp4, from 'clip.mp4'"));
    const QImage image = log.RenderForScreenshot();
    EXPECT_EQ(image.size(), log.size());
    EXPECT_FALSE(image.isNull());
}
