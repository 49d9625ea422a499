// Shutdown countdown: only an expired countdown powers off, exactly once; refusals are reported.
#include "FakeDesktop.h"
#include "ModalRunner.h"
#include "Shutdown.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QString TimeLeft(TFormShutdown& dialog)
{
    return dialog.findChild<QLabel*>(QStringLiteral("LabelTimeOut"))->text();
}

// Runs the countdown without a modal loop: shows it, lets `act` do what the user does, and
// waits (with the real timer running) until it closes.
TModalRunner Driving(std::function<void(QDialog&)> act)
{
    return [act](QDialog& dialog) {
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        if (act)
            act(dialog);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 10000));
        return dialog.result();
    };
}

} // namespace

TEST(ShutdownCountdown, CountsFrom30ToZeroAndClosesWithOkOnThe31stTick)
{
    TFormShutdown dialog(QStringLiteral("X"), nullptr, 1000000);   // ticks driven by hand
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Shutdown"));
    EXPECT_EQ(TimeLeft(dialog), QStringLiteral("Time left: 30"));
    dialog.show();
    for (int tick = 1; tick <= 30; ++tick) {
        dialog.TimerShutdownTimer();
        EXPECT_EQ(TimeLeft(dialog), QStringLiteral("Time left: %1").arg(30 - tick));
        EXPECT_TRUE(dialog.isVisible());
    }
    dialog.TimerShutdownTimer();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    dialog.TimerShutdownTimer();   // a late tick changes nothing
    EXPECT_EQ(TimeLeft(dialog), QStringLiteral("Time left: 0"));
}

TEST(ShutdownCountdown, DescriptionHasTheTitleOnItsOwnLine)
{
    TFormShutdown dialog(QStringLiteral("X"));
    const QStringList lines =
        dialog.findChild<QLabel*>(QStringLiteral("LabelShutdownDescription"))->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("If you don't press cancel now, "));
    EXPECT_EQ(lines[1], QStringLiteral("X"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("will shutdown ")));
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("ButtonCancel"));
    EXPECT_TRUE(cancel->isDefault());
}

TEST(ShutdownCountdown, CancelEnterEscAndCloseNeverPowerOff)
{
    ScopedFakeDesktop desktop;
    const std::function<void(QDialog&)> ways[] = {
        [](QDialog& d) { d.findChild<QPushButton*>(QStringLiteral("ButtonCancel"))->click(); },
        [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); },
        [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Return); },
        [](QDialog& d) { d.close(); },
    };
    for (const auto& way : ways) {
        ScopedModalRunner runner(Driving(way));
        EXPECT_EQ(RunShutdownCountdown(nullptr, QStringLiteral("X"), 60000), soCancelled);
    }
    EXPECT_EQ(desktop->powerOffs, 0);
    EXPECT_TRUE(desktop->shown.empty());
}

TEST(ShutdownCountdown, ExpiryPowersOffExactlyOnce)
{
    ScopedFakeDesktop desktop;
    ScopedModalRunner runner(Driving({}));
    QWidget main;
    main.setGeometry(100, 100, 800, 600);
    EXPECT_EQ(RunShutdownCountdown(&main, QStringLiteral("X"), 1), soPoweringOff);
    EXPECT_EQ(desktop->powerOffs, 1);
    EXPECT_TRUE(desktop->shown.empty());
    QTest::qWait(30);   // no timer left behind fires a second request
    EXPECT_EQ(desktop->powerOffs, 1);
}

TEST(ShutdownCountdown, RefusedPowerOffIsReportedWhenTheSystemAnswers)
{
    ScopedFakeDesktop desktop;
    ScopedModalRunner runner(Driving({}));
    desktop->powerOffResult = false;
    int refusals = 0;
    EXPECT_EQ(RunShutdownCountdown(nullptr, QStringLiteral("X"), 1, [&] { ++refusals; }), soPoweringOff);
    EXPECT_EQ(desktop->powerOffs, 1);
    EXPECT_TRUE(desktop->shown.empty()) << "the program does not wait for the system's answer";
    ASSERT_TRUE(QTest::qWaitFor([&] { return refusals == 1; }, 5000));
    ASSERT_EQ(desktop->shown.size(), 1u);
    EXPECT_EQ(desktop->shown[0].caption, QStringLiteral("X"));
    EXPECT_EQ(desktop->shown[0].buttons, TMsgDlgButtons(mbOK));
}
