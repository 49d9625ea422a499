#include "DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
constexpr int NotifyTimeoutMs = 5000;

} // namespace

TDesktopNotifier::TDesktopNotifier(QObject* parent) : QObject(parent) {}

TDesktopNotifier::~TDesktopNotifier() = default;

void TDesktopNotifier::SetBus(const QString& connectionName)
{
    busName_ = connectionName;
}

void TDesktopNotifier::Notify(const QString& appName, const QString& summary, const QString& body)
{
    QDBusConnection bus = busName_.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(busName_);
    const auto report = [this](const QString& why) {
        if (OnLog)
            OnLog(QStringLiteral("The desktop notification could not be shown: %1").arg(why));
    };
    if (!bus.isConnected()) {
        report(QStringLiteral("no session message bus"));
        return;
    }
    const QString connection = bus.name();
    if (listeningOn_ != connection) {
        // Any sender: the ids tell our notifications apart.
        bus.connect(QString(), Path, Interface, QStringLiteral("ActionInvoked"), this,
                    SLOT(ActionInvoked(uint,QString)));
        bus.connect(QString(), Path, Interface, QStringLiteral("NotificationClosed"), this,
                    SLOT(NotificationClosed(uint,uint)));
        listeningOn_ = connection;
    }
    QDBusMessage request = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    request << appName << uint(0) << QString() << summary << body.toHtmlEscaped()
            << QStringList{QStringLiteral("default"), QStringLiteral("Show")} << QVariantMap() << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(request, NotifyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, report](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        QDBusPendingReply<uint> reply = *call;
        if (reply.isError())
            report(reply.error().message().isEmpty() ? reply.error().name() : reply.error().message());
        else
            shown_.insert(reply.value());
    });
}

void TDesktopNotifier::ActionInvoked(uint id, const QString& actionKey)
{
    if (!shown_.contains(id) || actionKey != QLatin1String("default"))
        return;
    if (OnActivated)
        OnActivated();
}

void TDesktopNotifier::NotificationClosed(uint id, uint)
{
    shown_.remove(id);
}
