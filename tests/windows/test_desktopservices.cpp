// The real desktop services, driven without modal loops and without touching the machine:
// dialogs are answered by a modal runner, power-off talks to a fake login manager on a
// private message bus.
#include "MainThread.h"
#include "ModalRunner.h"
#include "PrivateBus.h"
#include "QtDesktopServices.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFileDialog>
#include <QMessageBox>
#include <QMutex>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

TEST(DesktopFilters, PairsBecomeNameFilters)
{
    EXPECT_EQ(QtDesktopServices::ConvertFilter(
                  QStringLiteral("Log-Files (*.log)|*.log|Text-Files (*.txt)|*.txt|All Files (*.*)|*.*")),
              (QStringList{"Log-Files (*.log)", "Text-Files (*.txt)", "All Files (*)"}));

    // Upper-case lists with a trailing ";" also match lower-case names; "(all types)" is wording, not a list.
    const QStringList open = QtDesktopServices::ConvertFilter(
        QStringLiteral("All Video Formats (all types)|*.AVI;*.MP4;|All Files|*.*"));
    EXPECT_EQ(open, (QStringList{"All Video Formats (all types) (*.AVI *.avi *.MP4 *.mp4)", "All Files (*)"}));
}

TEST(DesktopFilters, MalformedFilterTextsNeverBreakTheDialog)
{
    EXPECT_TRUE(QtDesktopServices::ConvertFilter(QString()).isEmpty());
    EXPECT_TRUE(QtDesktopServices::ConvertFilter(QStringLiteral("Only a description")).isEmpty());
    EXPECT_EQ(QtDesktopServices::ConvertFilter(QStringLiteral("Text|*.txt|Dangling")), QStringList{"Text (*.txt)"});
    EXPECT_EQ(QtDesktopServices::ConvertFilter(QStringLiteral("|*.a;;")), QStringList{"*.a (*.a)"});
    EXPECT_TRUE(QtDesktopServices::ConvertFilter(QStringLiteral("Nothing|;;")).isEmpty());
}

TEST(DesktopMessages, CustomCaptionsKindsAndAnswers)
{
    QtDesktopServices desktop;
    QStringList seenTexts;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    QString pressText;
    ScopedModalRunner runner([&](QDialog& dialog) {
        auto& box = static_cast<QMessageBox&>(dialog);
        seenIcon = box.icon();
        seenTexts.clear();
        QAbstractButton* press = nullptr;
        // Buttons in the order the captions address them.
        for (QMessageBox::StandardButton which : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel})
            if (QAbstractButton* b = box.button(which)) {
                seenTexts << b->text();
                if (b->text() == pressText)
                    press = b;
            }
        if (press)
            press->click();
        return 0;
    });

    pressText = QStringLiteral("Keep");
    EXPECT_EQ(desktop.ShowMessage(QStringLiteral("<b>Really?</b>"), QStringLiteral("vornic"), TMsgDlgType::mtConfirmation,
                                  mbYes | mbNo | mbCancel, {QStringLiteral("Delete"), QString(), QStringLiteral("Keep")}),
              mrCancel);
    EXPECT_EQ(seenIcon, QMessageBox::Question);
    ASSERT_EQ(seenTexts.size(), 3);
    EXPECT_EQ(seenTexts[0], QStringLiteral("Delete"));
    EXPECT_NE(seenTexts[1], QString());   // empty caption keeps the standard one
    EXPECT_EQ(seenTexts[2], QStringLiteral("Keep"));

    pressText = QStringLiteral("Delete");
    EXPECT_EQ(desktop.ShowMessage(QStringLiteral("x"), QStringLiteral("c"), TMsgDlgType::mtWarning, mbYes | mbNo,
                                  {QStringLiteral("Delete")}),
              mrYes);
    EXPECT_EQ(seenIcon, QMessageBox::Warning);

    pressText = QString();   // closed without a button
    EXPECT_EQ(desktop.ShowMessage(QStringLiteral("x"), QStringLiteral("c"), TMsgDlgType::mtError, mbOK), mrNone);
    EXPECT_EQ(seenIcon, QMessageBox::Critical);
}

TEST(DesktopMessages, AWorkerAsksThroughTheMainThread)
{
    QtDesktopServices desktop;
    QThread* shownOn = nullptr;
    ScopedModalRunner runner([&](QDialog& dialog) {
        shownOn = QThread::currentThread();
        static_cast<QMessageBox&>(dialog).button(QMessageBox::No)->click();
        return 0;
    });
    std::atomic<bool> done{false};
    TModalResult answer = mrNone;
    std::thread worker([&] {
        answer = desktop.ShowMessage(QStringLiteral("Continue?"), QStringLiteral("c"), TMsgDlgType::mtConfirmation, mbYes | mbNo);
        done = true;
    });
    EXPECT_TRUE(WaitServicingEvents([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_EQ(answer, mrNo);
    EXPECT_EQ(shownOn, QApplication::instance()->thread());
}

TEST(DesktopDialogs, RequestsReachTheFileDialogs)
{
    QtDesktopServices desktop;
    QTemporaryDir dir;
    QFileDialog* seen = nullptr;
    QStringList filters;
    QString selectedFilter, suffix;
    QFileDialog::FileMode mode{};
    QFileDialog::AcceptMode accept{};
    ScopedModalRunner runner([&](QDialog& dialog) {
        seen = qobject_cast<QFileDialog*>(&dialog);
        filters = seen->nameFilters();
        selectedFilter = seen->selectedNameFilter();
        suffix = seen->defaultSuffix();
        mode = seen->fileMode();
        accept = seen->acceptMode();
        return int(QDialog::Rejected);
    });

    TOpenDialogRequest open;
    open.initialDir = dir.path();
    open.filter = QStringLiteral("Video|*.AVI|Audio|*.MP3|All|*.*");
    open.filterIndex = 2;
    open.multiSelect = true;
    EXPECT_TRUE(desktop.OpenFiles(open).isEmpty());
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(filters.size(), 3);
    EXPECT_EQ(selectedFilter, QStringLiteral("Audio (*.MP3 *.mp3)"));
    EXPECT_EQ(mode, QFileDialog::ExistingFiles);
    EXPECT_EQ(accept, QFileDialog::AcceptOpen);

    open.filterIndex = 99;   // out of range falls back to a valid entry
    desktop.OpenFiles(open);
    EXPECT_EQ(selectedFilter, QStringLiteral("All (*)"));

    TSaveDialogRequest save;
    save.initialDir = dir.path();
    save.fileName = QStringLiteral("log.log");
    save.filter = QStringLiteral("Log-Files (*.log)|*.log");
    save.defaultExt = QStringLiteral("log");
    EXPECT_TRUE(desktop.SaveFile(save).isEmpty());
    EXPECT_EQ(suffix, QStringLiteral("log"));
    EXPECT_EQ(accept, QFileDialog::AcceptSave);

    QString folder = dir.path();
    EXPECT_FALSE(desktop.BrowseForFolder(QStringLiteral("Please select a folder"), QString(), folder));
    EXPECT_EQ(folder, dir.path()) << "cancel leaves the folder unchanged";
    EXPECT_EQ(mode, QFileDialog::Directory);
}

TEST(DesktopCursor, BusyCursorNestsAndNeverUnderflows)
{
    QtDesktopServices desktop;
    desktop.SetBusyCursor(true);
    desktop.SetBusyCursor(true);
    desktop.SetBusyCursor(false);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    desktop.SetBusyCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // An unmatched "off" must not pop someone else's cursor.
    QApplication::setOverrideCursor(Qt::CrossCursor);
    desktop.SetBusyCursor(false);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QApplication::restoreOverrideCursor();
}

namespace {

// The login manager's PowerOff, answering on its own thread like the real service would.
class FakeLoginManager : public QDBusVirtualObject {
public:
    std::atomic<int> calls{0};
    std::atomic<bool> refuse{false};
    std::atomic<bool> hold{false}; // a system that takes its time to decide
    QMutex lock;
    QVariantList lastArguments;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.interface() != QLatin1String("org.freedesktop.login1.Manager")
            || message.member() != QLatin1String("PowerOff"))
            return false;
        {
            QMutexLocker guard(&lock);
            lastArguments = message.arguments();
        }
        ++calls;
        for (int i = 0; i < 2000 && hold.load(); ++i)
            QThread::msleep(10);
        QDBusConnection(connection).send(refuse ? message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                                                           QStringLiteral("not allowed"))
                                                : message.createReply());
        return true;
    }
};

// Asks for the power-off and serves the event loop until the answer is there.
std::optional<bool> AskPowerOff(QtDesktopServices& desktop)
{
    std::optional<bool> answer;
    desktop.PowerOff([&](bool accepted) { answer = accepted; });
    if (!QTest::qWaitFor([&] { return answer.has_value(); }, 15000))
        return std::nullopt;
    return answer;
}

} // namespace

TEST(DesktopPowerOff, AsksTheLoginManagerWithoutPromptingAndReportsRefusal)
{
    PrivateBus bus;
    if (bus.address.isEmpty())
        GTEST_SKIP() << "no dbus-daemon for a private bus";

    QThread serviceThread;
    serviceThread.start();
    FakeLoginManager manager;
    manager.moveToThread(&serviceThread);
    QDBusConnection service = QDBusConnection::connectToBus(bus.address, QStringLiteral("fake-login1"));
    ASSERT_TRUE(service.isConnected());
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.login1")));
    ASSERT_TRUE(service.registerVirtualObject(QStringLiteral("/org/freedesktop/login1"), &manager));
    QDBusConnection caller = QDBusConnection::connectToBus(bus.address, QStringLiteral("poweroff-caller"));
    ASSERT_TRUE(caller.isConnected());

    QtDesktopServices desktop;
    desktop.SetPowerOffBus(QStringLiteral("poweroff-caller"));
    EXPECT_EQ(AskPowerOff(desktop), std::optional<bool>(true));
    EXPECT_EQ(manager.calls.load(), 1);
    {
        QMutexLocker guard(&manager.lock);
        EXPECT_EQ(manager.lastArguments, QVariantList{false});
    }
    manager.refuse = true;
    EXPECT_EQ(AskPowerOff(desktop), std::optional<bool>(false));
    EXPECT_EQ(manager.calls.load(), 2);

    // A system slow to decide: the call returns at once and the answer comes when it comes.
    manager.refuse = false;
    manager.hold = true;
    std::optional<bool> answer;
    desktop.PowerOff([&](bool accepted) { answer = accepted; });
    EXPECT_FALSE(answer.has_value()) << "the request waited for the system";
    manager.hold = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 15000));
    EXPECT_EQ(answer, std::optional<bool>(true));

    // Nobody owning the name (no login manager at all): refused, not hanging.
    service.unregisterObject(QStringLiteral("/org/freedesktop/login1"));
    service.unregisterService(QStringLiteral("org.freedesktop.login1"));
    EXPECT_EQ(AskPowerOff(desktop), std::optional<bool>(false));

    QDBusConnection::disconnectFromBus(QStringLiteral("poweroff-caller"));
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-login1"));
    serviceThread.quit();
    serviceThread.wait();
}

TEST(DesktopPowerOff, NoBusMeansRefused)
{
    QDBusConnection dead = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/vornic-bus"),
                                                         QStringLiteral("dead-bus"));
    EXPECT_FALSE(dead.isConnected());
    QtDesktopServices desktop;
    desktop.SetPowerOffBus(QStringLiteral("dead-bus"));
    bool called = false;
    std::optional<bool> answer;
    desktop.PowerOff([&](bool accepted) { called = true; answer = accepted; });
    EXPECT_FALSE(called) << "answered later, like a reply";
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 5000));
    EXPECT_EQ(answer, std::optional<bool>(false));
    QDBusConnection::disconnectFromBus(QStringLiteral("dead-bus"));
}
