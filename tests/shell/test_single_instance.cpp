// One wizard per user and edition, with real second starts of the program: a start while a
// wizard runs hands its files over and ends; the wizard shows them on Step1 at once, or after
// the run; a socket left by a wizard that crashed does not stop the next one.
#include "ShellTestSupport.h"

#include "ModalRunner.h"
#include "PageStep3.h"
#include "SingleInstance.h"

#include <QDialog>
#include <QLocalSocket>
#include <QProcess>
#include <QTest>

namespace {

// The build's program, in a session of its own: runtime folder, settings and display.
class SecondStartTest : public ShellTest {
protected:
    QTemporaryDir runtime;

    void SetUp() override
    {
        ShellTest::SetUp();
        ASSERT_TRUE(runtime.isValid());
        savedRuntime_ = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    }
    void TearDown() override
    {
        qputenv("XDG_RUNTIME_DIR", savedRuntime_);
        ShellTest::TearDown();
    }

    // The build's default edition file names this edition.
    static QString Edition() { return ReadEditionTitle(BuildBinDir()); }

    void StartProgram(QProcess& process, const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(home.path());
        process.start(BuildBinDir() + QStringLiteral("/vornic"), args);
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    // Serves this process's events while the other one runs; false when it did not end.
    static bool WaitForEnd(QProcess& process, int boundMs = 30000)
    {
        return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, boundMs);
    }

    // True once something answers on the edition's socket.
    bool Answering(int boundMs = 30000)
    {
        return QTest::qWaitFor([&] {
            QLocalSocket probe;
            probe.connectToServer(TSingleInstance::ServerName(Edition()));
            return probe.waitForConnected(200);
        }, boundMs);
    }

private:
    QByteArray savedRuntime_;
};

} // namespace

TEST_F(SecondStartTest, ALaterStartHandsItsFilesToTheRunningWizardAndEnds)
{
    TSingleInstance first(Edition());
    ASSERT_FALSE(first.HandOverOrListen({})) << "nobody runs yet: this one is the wizard";
    QList<QStringList> received;
    first.OnFilesReceived = [&received](const QStringList& files) { received << files; };

    QProcess second;
    ASSERT_NO_FATAL_FAILURE(StartProgram(second, {"clip one.mp4", "/tmp/two.avi"}));
    ASSERT_TRUE(WaitForEnd(second)) << "the second start must end at once";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received.first(), (QStringList{home.filePath("clip one.mp4"), "/tmp/two.avi"}));

    // Without files it only brings the wizard to the front.
    QProcess third;
    ASSERT_NO_FATAL_FAILURE(StartProgram(third, {}));
    ASSERT_TRUE(WaitForEnd(third));
    EXPECT_EQ(third.exitCode(), 0);
    ASSERT_EQ(received.size(), 2);
    EXPECT_TRUE(received.last().isEmpty());

    // Another edition is another wizard.
    EXPECT_NE(TSingleInstance::ServerName(QStringLiteral("Other")), TSingleInstance::ServerName(Edition()));
}

TEST_F(SecondStartTest, TheWizardTakesHandedFilesNowOrAfterItsRun)
{
    int failedDialogs = 0;
    ScopedModalRunner runner([&failedDialogs](QDialog&) { ++failedDialogs; return 0; });
    WriteEdition(QStringLiteral("[SYSTEM]\nName=%1\nDownload=1\nAVI=1\n").arg(Edition()));
    LinkSkins();
    TFormMain& w = Start();
    TSingleInstance instance(Edition());
    ASSERT_FALSE(instance.HandOverOrListen({}));
    instance.OnFilesReceived = [&w](const QStringList& files) { w.ReceiveFiles(files); };
    const QStringList files{home.filePath("a.mp4"), home.filePath("b.avi")};
    MakeMediaFiles(files);

    // On the Mode page: to Step1 with the files added.
    QProcess second;
    ASSERT_NO_FATAL_FAILURE(StartProgram(second, {files[0]}));
    ASSERT_TRUE(WaitForEnd(second));
    EXPECT_EQ(w.CurrentPage(), wpStep1);
    ASSERT_TRUE(w.PageStep1->WaitForAdd(30000));
    ASSERT_EQ(w.PageStep1->RowCount(), 1);

    // While a run works the files wait; the end of the run brings them to a fresh Step1.
    w.ShowPage(wpStep3);
    QProcess third;
    ASSERT_NO_FATAL_FAILURE(StartProgram(third, {files[1]}));
    ASSERT_TRUE(WaitForEnd(third));
    EXPECT_EQ(third.exitCode(), 0);
    EXPECT_EQ(w.CurrentPage(), wpStep3);
    EXPECT_EQ(w.PendingFiles(), QStringList{files[1]});
    w.ShowConversionSummary(1, 1, {});
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.CurrentPage() == wpStep1; }, 10000));
    ASSERT_TRUE(w.PageStep1->WaitForAdd(30000));
    ASSERT_EQ(w.PageStep1->RowCount(), 1) << "the converted file went with the finished run";
    EXPECT_EQ(w.PageStep1->RowFileName(0), files[1]);
    EXPECT_TRUE(w.PendingFiles().isEmpty());

    // The links page keeps its links: files wait until it is left.
    w.ShowPage(wpStep5);
    w.ReceiveFiles({files[0]});
    QCoreApplication::processEvents();
    EXPECT_EQ(w.CurrentPage(), wpStep5);
    w.GoToStartPage();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.CurrentPage() == wpStep1; }, 10000));
    ASSERT_TRUE(w.PageStep1->WaitForAdd(30000));
    EXPECT_EQ(w.PageStep1->RowCount(), 2);
    EXPECT_EQ(failedDialogs, 0);
}

TEST_F(SecondStartTest, ASocketLeftByACrashedWizardDoesNotStopTheNextOne)
{
    QProcess crashed;
    ASSERT_NO_FATAL_FAILURE(StartProgram(crashed, {}));
    ASSERT_TRUE(Answering()) << "the first wizard listens";
    crashed.kill();   // no chance to clean up
    ASSERT_TRUE(crashed.waitForFinished(10000));
    ASSERT_TRUE(QFileInfo::exists(TSingleInstance::ServerName(Edition()))) << "the socket stays behind";

    QProcess next;
    ASSERT_NO_FATAL_FAILURE(StartProgram(next, {}));
    ASSERT_TRUE(Answering()) << "the next start became the wizard";
    EXPECT_EQ(next.state(), QProcess::Running);

    // And it takes files from a start after it.
    QProcess handing;
    ASSERT_NO_FATAL_FAILURE(StartProgram(handing, {"x.mp4"}));
    ASSERT_TRUE(WaitForEnd(handing));
    EXPECT_EQ(handing.exitCode(), 0);
    EXPECT_EQ(next.state(), QProcess::Running);

    next.terminate();
    if (!next.waitForFinished(10000)) {
        next.kill();
        next.waitForFinished(10000);
    }
}
