#pragma once
// A private message bus (a dbus-daemon of the test's own) and stand-ins for the desktop
// session's services on it: the login manager's sleep block and the notification service.
// The services answer on a thread of their own, as the real ones do.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <atomic>
#include <fcntl.h>
#include <unistd.h>

class PrivateBus {
public:
    PrivateBus()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            return;
        daemon_.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        if (daemon_.waitForStarted(5000) && daemon_.waitForReadyRead(5000))
            address = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }
    QString address;

private:
    QProcess daemon_;
};

// Registers `object` under `service` and `path` on a connection of its own, served on a
// thread of its own; undone when it goes.
class ServiceOnBus {
public:
    ServiceOnBus(const QString& address, const QString& connectionName, const QString& service, const QString& path,
                 QDBusVirtualObject* object)
        : name_(connectionName), path_(path)
    {
        thread_.start();
        object->moveToThread(&thread_);
        QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName);
        ok = bus.isConnected() && bus.registerService(service) && bus.registerVirtualObject(path, object);
    }
    ~ServiceOnBus()
    {
        // The object leaves the connection's tree now: a connection that is torn down later on
        // the bus library's own thread must not reach an object its owner is about to delete.
        QDBusConnection(name_).unregisterObject(path_);
        QDBusConnection::disconnectFromBus(name_);
        thread_.quit();
        thread_.wait();
    }
    QDBusConnection Connection() const { return QDBusConnection(name_); }
    bool ok = false;

private:
    QString name_;
    QString path_;
    QThread thread_;
};

// The login manager's Inhibit: hands out the write end of a pipe and keeps the read end, so
// the test sees the block end when every copy of the write end is closed.
class FakeInhibitManager : public QDBusVirtualObject {
public:
    std::atomic<int> calls{0};
    std::atomic<bool> refuse{false};
    QMutex lock;
    QVariantList lastArguments;
    int readEnd = -1;

    ~FakeInhibitManager() override
    {
        if (readEnd >= 0)
            ::close(readEnd);
    }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QLatin1String("Inhibit"))
            return false;
        ++calls;
        if (refuse) {
            QDBusConnection(connection).send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                                                      QStringLiteral("not allowed")));
            return true;
        }
        int ends[2];
        if (::pipe(ends) != 0)
            return false;
        QDBusUnixFileDescriptor handed(ends[1]);   // a duplicate: ours closes now
        ::close(ends[1]);
        {
            QMutexLocker guard(&lock);
            lastArguments = message.arguments();
            if (readEnd >= 0)
                ::close(readEnd);
            readEnd = ends[0];
        }
        QDBusConnection(connection).send(message.createReply(QVariant::fromValue(handed)));
        return true;
    }
    // True when the last block handed out has ended (all its write ends closed).
    bool LastBlockEnded()
    {
        QMutexLocker guard(&lock);
        if (readEnd < 0)
            return false;
        char byte;
        // Non-blocking: the write end is never written, so 0 means closed everywhere.
        const int flags = fcntl(readEnd, F_GETFL);
        fcntl(readEnd, F_SETFL, flags | O_NONBLOCK);
        return ::read(readEnd, &byte, 1) == 0;
    }
};

// The notification service's Notify; the test makes it send ActionInvoked.
class FakeNotifications : public QDBusVirtualObject {
public:
    std::atomic<int> calls{0};
    QMutex lock;
    QList<QVariantList> notes;   // the arguments of each Notify

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QLatin1String("Notify"))
            return false;
        uint id;
        {
            QMutexLocker guard(&lock);
            notes << message.arguments();
            id = uint(100 + notes.size());
        }
        ++calls;
        QDBusConnection(connection).send(message.createReply(QVariant::fromValue(id)));
        return true;
    }
    QList<QVariantList> Notes()
    {
        QMutexLocker guard(&lock);
        return notes;
    }
};

// A notification service's click: sent from the service's connection, as a desktop does.
inline void SendNotificationSignal(const QDBusConnection& service, const QString& name, const QVariantList& arguments)
{
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                     QStringLiteral("org.freedesktop.Notifications"), name);
    signal.setArguments(arguments);
    QDBusConnection(service).send(signal);
}
