// The desktop session's services a run uses, against stand-ins on a private bus: the login
// manager's sleep block (held as its descriptor, ended by closing it) and notifications.
#include "DesktopNotifier.h"
#include "PrivateBus.h"
#include "SleepInhibitor.h"

#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

const QString LoginService = QStringLiteral("org.freedesktop.login1");
const QString LoginPath = QStringLiteral("/org/freedesktop/login1");
const QString NotifyService = QStringLiteral("org.freedesktop.Notifications");
const QString NotifyPath = QStringLiteral("/org/freedesktop/Notifications");

class SessionTest : public ::testing::Test {
protected:
    PrivateBus bus;
    void SetUp() override
    {
        if (bus.address.isEmpty())
            GTEST_SKIP() << "no dbus-daemon for a private bus";
        ASSERT_TRUE(QDBusConnection::connectToBus(bus.address, QStringLiteral("session-client")).isConnected());
    }
    void TearDown() override { QDBusConnection::disconnectFromBus(QStringLiteral("session-client")); }
};

} // namespace

TEST_F(SessionTest, TheSleepBlockIsHeldUntilReleasedOrDropped)
{
    FakeInhibitManager manager;
    ServiceOnBus service(bus.address, QStringLiteral("fake-login"), LoginService, LoginPath, &manager);
    ASSERT_TRUE(service.ok);
    QStringList log;
    auto inhibitor = std::make_unique<TSleepInhibitor>();
    inhibitor->SetBus(QStringLiteral("session-client"));
    inhibitor->OnLog = [&log](const QString& line) { log << line; };

    inhibitor->Acquire(QStringLiteral("vornic"), QStringLiteral("Converting files"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitor->Held(); }, 10000));
    {
        QMutexLocker guard(&manager.lock);
        EXPECT_EQ(manager.lastArguments, (QVariantList{"sleep:idle", "vornic", "Converting files", "block"}));
    }
    EXPECT_FALSE(manager.LastBlockEnded());
    inhibitor->Release();
    EXPECT_FALSE(inhibitor->Held());
    EXPECT_TRUE(manager.LastBlockEnded()) << "the descriptor must be closed to end the block";

    // A second run, and the inhibitor going away with it (the window closing).
    inhibitor->Acquire(QStringLiteral("vornic"), QStringLiteral("Downloading videos"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitor->Held(); }, 10000));
    EXPECT_EQ(manager.calls.load(), 2);
    inhibitor.reset();
    EXPECT_TRUE(manager.LastBlockEnded());
    EXPECT_TRUE(log.isEmpty()) << log.join('\n').toStdString();
}

TEST_F(SessionTest, AReplyAfterTheRunEndedIsDropped)
{
    FakeInhibitManager manager;
    ServiceOnBus service(bus.address, QStringLiteral("fake-login"), LoginService, LoginPath, &manager);
    ASSERT_TRUE(service.ok);
    TSleepInhibitor inhibitor;
    inhibitor.SetBus(QStringLiteral("session-client"));
    inhibitor.Acquire(QStringLiteral("vornic"), QStringLiteral("Converting files"));
    inhibitor.Release();   // before the answer came
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.calls.load() == 1; }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return manager.LastBlockEnded(); }, 10000));
    EXPECT_FALSE(inhibitor.Held());
}

TEST_F(SessionTest, WithoutABlockTheRunGoesOnWithALogLine)
{
    QStringList log;
    TSleepInhibitor inhibitor;
    inhibitor.OnLog = [&log](const QString& line) { log << line; };

    // Nobody owns the login manager's name on this bus.
    inhibitor.SetBus(QStringLiteral("session-client"));
    inhibitor.Acquire(QStringLiteral("vornic"), QStringLiteral("Converting files"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log.isEmpty(); }, 15000));
    EXPECT_TRUE(log.first().startsWith(QStringLiteral("The computer may go to sleep during this run: ")));
    EXPECT_FALSE(inhibitor.Held());

    // A login manager that refuses.
    FakeInhibitManager manager;
    manager.refuse = true;
    ServiceOnBus service(bus.address, QStringLiteral("fake-login"), LoginService, LoginPath, &manager);
    ASSERT_TRUE(service.ok);
    log.clear();
    inhibitor.Acquire(QStringLiteral("vornic"), QStringLiteral("Converting files"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log.isEmpty(); }, 15000));
    EXPECT_TRUE(log.first().contains(QStringLiteral("not allowed")));

    // No bus at all: said at once, nothing waits.
    log.clear();
    inhibitor.SetBus(QStringLiteral("no-such-connection"));
    inhibitor.Acquire(QStringLiteral("vornic"), QStringLiteral("Converting files"));
    EXPECT_EQ(log.size(), 1);
    inhibitor.Release();
}

TEST_F(SessionTest, ANotificationCarriesTheTextsAndItsClickIsOurs)
{
    FakeNotifications notifications;
    ServiceOnBus service(bus.address, QStringLiteral("fake-notify"), NotifyService, NotifyPath, &notifications);
    ASSERT_TRUE(service.ok);
    TDesktopNotifier notifier;
    notifier.SetBus(QStringLiteral("session-client"));
    int activated = 0;
    notifier.OnActivated = [&activated] { ++activated; };

    notifier.Notify(QStringLiteral("vornic"), QStringLiteral("Converted 14 of 16 file(s)"),
                    QStringLiteral("Failed:\na<1>.mp4\nb&c.avi"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifications.calls.load() == 1; }, 10000));
    const QVariantList args = notifications.Notes().first();
    ASSERT_EQ(args.size(), 8);
    EXPECT_EQ(args[0].toString(), QStringLiteral("vornic"));
    EXPECT_EQ(args[3].toString(), QStringLiteral("Converted 14 of 16 file(s)"));
    // Servers may read the body as markup: file names must arrive as text.
    EXPECT_EQ(args[4].toString(), QStringLiteral("Failed:\na&lt;1&gt;.mp4\nb&amp;c.avi"));
    EXPECT_TRUE(args[5].toStringList().contains(QStringLiteral("default")));
    const uint id = 101;

    // The reply with the id may still be on its way when a click is quick; wait for it.
    QTest::qWait(200);
    SendNotificationSignal(service.Connection(), QStringLiteral("ActionInvoked"), {id + 7, QStringLiteral("default")});
    SendNotificationSignal(service.Connection(), QStringLiteral("ActionInvoked"), {id, QStringLiteral("other")});
    SendNotificationSignal(service.Connection(), QStringLiteral("ActionInvoked"), {id, QStringLiteral("default")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return activated == 1; }, 10000));
    QTest::qWait(100);
    EXPECT_EQ(activated, 1) << "another program's notification or action is not ours";

    // Once closed, a late click does nothing.
    SendNotificationSignal(service.Connection(), QStringLiteral("NotificationClosed"), {id, uint(2)});
    SendNotificationSignal(service.Connection(), QStringLiteral("ActionInvoked"), {id, QStringLiteral("default")});
    QTest::qWait(200);
    EXPECT_EQ(activated, 1);
}

TEST(SessionNotifier, NoSessionBusIsALogLine)
{
    TDesktopNotifier notifier;
    QStringList log;
    notifier.OnLog = [&log](const QString& line) { log << line; };
    notifier.SetBus(QStringLiteral("no-such-connection"));
    notifier.Notify(QStringLiteral("vornic"), QStringLiteral("Converted 1 of 1 file(s)"), QString());
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log.first().startsWith(QStringLiteral("The desktop notification could not be shown: ")));
}
