// The captions a real window system shows for the program's windows, read back from an X
// server of the test's own: the edition title is the main window's caption only; the other
// windows keep their own texts ("Log", not "Log — <edition>").
#include "AppIcon.h"
#include "Log.h"
#include "TestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

const char* const ChildVariable = "VORNIC_CAPTION_CHILD";

// In the child: the program's identity for the edition "Brand", its main caption and an open
// log window; then it waits to be ended.
void ShowWindowsAndWait()
{
    SetApplicationIdentity(QStringLiteral("Brand"));
    QWidget main;
    main.setWindowTitle(QStringLiteral("Brand"));
    main.show();
    TFormLog log;
    log.show();
    QTest::qWait(500);
    std::printf("shown\n");
    std::fflush(stdout);
    QTest::qWait(30000);
}

} // namespace

TEST(WindowCaptions, SecondaryWindowsKeepTheirOwnTexts)
{
    if (qEnvironmentVariableIsSet(ChildVariable)) {
        ShowWindowsAndWait();
        return;
    }
    const QString xvfbProgram = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    const QString xwininfo = QStandardPaths::findExecutable(QStringLiteral("xwininfo"));
    if (xvfbProgram.isEmpty() || xwininfo.isEmpty())
        GTEST_SKIP() << "no Xvfb or xwininfo";

    QProcess xvfb;
    xvfb.start(xvfbProgram, {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    ASSERT_TRUE(xvfb.waitForStarted(10000));
    ASSERT_TRUE(xvfb.waitForReadyRead(20000));
    const QString display = QStringLiteral(":") + QString::fromUtf8(xvfb.readLine()).trimmed();

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QString::fromLatin1(ChildVariable), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=WindowCaptions.*"});
    ASSERT_TRUE(child.waitForStarted(10000));
    QElapsedTimer clock;
    clock.start();
    QByteArray out;
    while (!out.contains("shown") && clock.elapsed() < 30000 && child.state() == QProcess::Running) {
        child.waitForReadyRead(500);
        out += child.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains("shown")) << child.readAllStandardError().toStdString();

    QProcess tree;
    tree.start(xwininfo, {"-root", "-tree", "-display", display});
    ASSERT_TRUE(tree.waitForFinished(10000));
    const QString windows = QString::fromUtf8(tree.readAllStandardOutput());
    EXPECT_TRUE(windows.contains(QStringLiteral("\"Log\""))) << windows.toStdString();
    EXPECT_TRUE(windows.contains(QStringLiteral("\"Brand\"")));
    EXPECT_FALSE(windows.contains(QStringLiteral("Log \u2014"))) << windows.toStdString();

    child.kill();
    child.waitForFinished(10000);
    xvfb.kill();
    xvfb.waitForFinished(10000);
}
