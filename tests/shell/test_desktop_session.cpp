// A run in the real window with the desktop session's services on a private bus: the machine
// is kept awake from the run's start to its end (whichever end), and a run that ends while
// the window is not the active one is announced once, with its counts and failures; the
// note's click brings the window back.
#include "ShellTestSupport.h"

#include "ConversionRun.h"
#include "DesktopNotifier.h"
#include "MainThread.h"
#include "PageStep3.h"
#include "PageStep5.h"
#include "PrivateBus.h"
#include "SleepInhibitor.h"
#include "VideoServer.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

namespace {

const QString Client = QStringLiteral("window-session");

class SessionWindowTest : public ShellTest {
protected:
    PrivateBus bus;
    FakeInhibitManager login;
    FakeNotifications notifications;
    std::unique_ptr<ServiceOnBus> loginService, notifyService;
    QWidget other;   // the window the user is working in instead

    void SetUp() override
    {
        ShellTest::SetUp();
        if (bus.address.isEmpty())
            GTEST_SKIP() << "no dbus-daemon for a private bus";
        loginService = std::make_unique<ServiceOnBus>(bus.address, QStringLiteral("fake-login"),
                                                      QStringLiteral("org.freedesktop.login1"),
                                                      QStringLiteral("/org/freedesktop/login1"), &login);
        notifyService = std::make_unique<ServiceOnBus>(bus.address, QStringLiteral("fake-notify"),
                                                       QStringLiteral("org.freedesktop.Notifications"),
                                                       QStringLiteral("/org/freedesktop/Notifications"), &notifications);
        ASSERT_TRUE(loginService->ok && notifyService->ok);
        ASSERT_TRUE(QDBusConnection::connectToBus(bus.address, Client).isConnected());
        LinkSkins();
    }
    void TearDown() override
    {
        ShellTest::TearDown();
        notifyService.reset();
        loginService.reset();
        QDBusConnection::disconnectFromBus(Client);
    }

    TFormMain& StartOnBus(std::unique_ptr<TEngineComponent> engine = nullptr)
    {
        TFormMain& w = Start(std::move(engine));
        w.SleepInhibitor().SetBus(Client);
        w.Notifier().SetBus(Client);
        return w;
    }

    void ActivateOther()
    {
        other.show();
        QApplication::setActiveWindow(&other);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    }
};

QString Clip(int seconds)
{
    return MediaFixture(QStringLiteral("session_%1s.avi").arg(seconds),
                        {"-f", "lavfi", "-i", "testsrc=size=640x480:rate=25", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=22050", "-t", QString::number(seconds), "-c:v", "mpeg4",
                         "-c:a", "mp2"});
}

} // namespace

TEST_F(SessionWindowTest, AStoppedConversionHoldsTheBlockAndNamesItsFailuresWhenUnseen)
{
    WriteEdition(QStringLiteral("[SYSTEM]\nName=Wizard\nDownload=0\nAVI=1\n"));
    TFormMain& w = StartOnBus(std::make_unique<TEngineComponent>());
    ASSERT_TRUE(w.Engine().LibrariesLoaded());
    AppSettings.OutputFileDir = home.filePath(QStringLiteral("out/"));
    AppSettings.OutputFormatClass = 0;
    AppSettings.OutputVideoFormat = 0;
    AppSettings.OutputAVIPreset = 1;   // slow enough to be stopped while it works
    const QString longer = Clip(8), shorter = Clip(1);
    w.ShowPage(wpStep1);
    w.PageStep1->AddInputFiles({longer, shorter});
    ASSERT_TRUE(w.PageStep1->WaitForAdd(60000));
    w.ActionNextExecute();
    w.ActionNextExecute();
    ASSERT_EQ(w.CurrentPage(), wpStep3);
    ActivateOther();

    ASSERT_TRUE(WaitServicingEvents([&] { return w.SleepInhibitor().Held(); }, 20000));
    {
        QMutexLocker guard(&login.lock);
        EXPECT_EQ(login.lastArguments, (QVariantList{"sleep:idle", "Wizard", "Converting files", "block"}));
    }
    ASSERT_TRUE(WaitServicingEvents(
        [&] { return w.PageStep3->ListViewConverting->topLevelItem(0)->text(2) == "Converting..."; }, 60000));
    desktop->answers.push_back(mrYes);
    w.ActionExitExecute();
    ASSERT_TRUE(WaitServicingEvents([&] { return w.CurrentPage() == wpStep4; }, 60000));
    EXPECT_TRUE(login.LastBlockEnded());
    EXPECT_FALSE(w.SleepInhibitor().Held());

    ASSERT_TRUE(WaitServicingEvents([&] { return notifications.calls.load() >= 1; }, 10000));
    QTest::qWait(100);
    ASSERT_EQ(notifications.calls.load(), 1) << "one note per run";
    const QVariantList note = notifications.Notes().first();
    EXPECT_EQ(note[0].toString(), QStringLiteral("Wizard"));
    EXPECT_EQ(note[3].toString(), QStringLiteral("Converted 0 of 2 file(s)"));
    EXPECT_EQ(note[4].toString(), QStringLiteral("Failed:\n%1\n%2").arg(QFileInfo(longer).fileName(),
                                                                      QFileInfo(shorter).fileName()));

    // The note's click brings the wizard back in front of the other window.
    SendNotificationSignal(notifyService->Connection(), QStringLiteral("ActionInvoked"),
                           {uint(101), QStringLiteral("default")});
    EXPECT_TRUE(WaitServicingEvents([&] { return w.isActiveWindow(); }, 10000));
}

TEST_F(SessionWindowTest, ARunSeenToItsEndIsNotAnnouncedAndClosingEndsTheBlock)
{
    WriteEdition(QStringLiteral("[SYSTEM]\nName=Wizard\nDownload=0\nAVI=1\n"));
    TFormMain& w = StartOnBus();
    w.OnStartConversion = [] {};   // a run that works until the window closes
    w.OnEndConversion = [&w] { w.ShowConversionSummary(3, 3, {}); };
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));

    w.PostStartConversion();
    ASSERT_TRUE(WaitServicingEvents([&] { return w.SleepInhibitor().Held(); }, 20000));
    w.PostEndConversion();
    ASSERT_TRUE(WaitServicingEvents([&] { return w.CurrentPage() == wpStep4; }, 10000));
    EXPECT_TRUE(login.LastBlockEnded());
    QTest::qWait(200);
    EXPECT_EQ(notifications.calls.load(), 0) << "the user saw the end";

    // Closing while a run works ends the block too.
    w.PostStartConversion();
    ASSERT_TRUE(WaitServicingEvents([&] { return w.SleepInhibitor().Held(); }, 20000));
    EXPECT_FALSE(login.LastBlockEnded());
    w.close();
    EXPECT_TRUE(login.LastBlockEnded());
    EXPECT_EQ(notifications.calls.load(), 0) << "closing is not a run's end to announce";
}

TEST_F(SessionWindowTest, WithoutALoginManagerTheRunGoesOnAndTheLogSaysSo)
{
    WriteEdition(QStringLiteral("[SYSTEM]\nName=Wizard\nDownload=0\nAVI=1\n"));
    loginService.reset();   // nobody owns the login manager's name any more
    TFormMain& w = StartOnBus();
    bool ended = false;
    w.OnStartConversion = [&w] { w.PostEndConversion(); };
    w.OnEndConversion = [&] { ended = true; w.ShowConversionSummary(1, 1, {}); };
    w.PostStartConversion();
    ASSERT_TRUE(WaitServicingEvents([&] { return ended; }, 10000));
    EXPECT_TRUE(WaitServicingEvents([&] { return LogText().contains("may go to sleep during this run"); }, 15000))
        << LogText().toStdString();
    EXPECT_EQ(w.CurrentPage(), wpStep4);
}

TEST_F(SessionWindowTest, AFailedDownloadRunIsAnnouncedWithItsLink)
{
    TVideoTestServer server;
    qputenv("VORNIC_VIDEO_HOST", QByteArray::fromStdString(server.Host()));
    WriteEdition(QStringLiteral("[SYSTEM]\nName=Wizard\nDownload=1\nAVI=1\n"));
    TFormMain& w = StartOnBus();
    w.ActionNextExecute();
    ASSERT_EQ(w.CurrentPage(), wpStep5);
    w.PageStep5->EditURLOutput->setText(home.filePath(QStringLiteral("videos")));
    const QString link = QString::fromStdString(server.WatchUrl("missing"));
    QApplication::clipboard()->setText(link);
    QCoreApplication::processEvents();
    w.PageStep5->ActionURLPaste->trigger();
    ActivateOther();
    w.ActionNextExecute();
    ASSERT_TRUE(WaitServicingEvents([&] { return w.CurrentPage() == wpStep7; }, 30000));
    qunsetenv("VORNIC_VIDEO_HOST");

    ASSERT_TRUE(WaitServicingEvents([&] { return login.calls.load() == 1; }, 10000));
    {
        QMutexLocker guard(&login.lock);
        EXPECT_EQ(login.lastArguments.value(2).toString(), QStringLiteral("Downloading videos"));
    }
    EXPECT_TRUE(WaitServicingEvents([&] { return login.LastBlockEnded(); }, 10000));
    ASSERT_TRUE(WaitServicingEvents([&] { return notifications.calls.load() == 1; }, 10000));
    const QVariantList note = notifications.Notes().first();
    EXPECT_EQ(note[3].toString(), QStringLiteral("Downloaded 0 of 1 file(s)"));
    EXPECT_TRUE(note[4].toString().startsWith(QStringLiteral("Failed:\n"))) << note[4].toString().toStdString();
}
