#include "SleepInhibitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

namespace {

constexpr int InhibitTimeoutMs = 5000;

} // namespace

struct TSleepInhibitor::TState {
    QString busName;
    // Each Acquire and Release starts a new generation; a reply of an older one is stale.
    quint64 generation = 0;
    QDBusUnixFileDescriptor descriptor;
    std::function<void(const QString&)> log;

    void Report(const QString& why)
    {
        if (log)
            log(QStringLiteral("The computer may go to sleep during this run: %1").arg(why));
    }
};

TSleepInhibitor::TSleepInhibitor() : state_(std::make_shared<TState>()) {}

TSleepInhibitor::~TSleepInhibitor()
{
    Release();
}

void TSleepInhibitor::SetBus(const QString& connectionName)
{
    state_->busName = connectionName;
}

void TSleepInhibitor::Acquire(const QString& who, const QString& why)
{
    Release();
    state_->log = OnLog;
    const quint64 generation = state_->generation;
    QDBusConnection bus = state_->busName.isEmpty() ? QDBusConnection::systemBus()
                                                    : QDBusConnection(state_->busName);
    if (!bus.isConnected()) {
        state_->Report(QStringLiteral("no system message bus"));
        return;
    }
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    request << QStringLiteral("sleep:idle") << who << why << QStringLiteral("block");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(request, InhibitTimeoutMs));
    std::weak_ptr<TState> weak = state_;
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [weak, generation](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        // A reply for a run that has ended, or an inhibitor that is gone: its descriptor
        // goes out of scope here and the block ends with it.
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
        const std::shared_ptr<TState> state = weak.lock();
        if (!state)
            return;
        // Said even when the run is over by now: a short run is worth knowing about too.
        if (reply.isError()) {
            state->Report(reply.error().message().isEmpty() ? reply.error().name() : reply.error().message());
            return;
        }
        if (state->generation != generation)
            return;
        if (!reply.value().isValid()) {
            state->Report(QStringLiteral("the login manager gave no lock"));
            return;
        }
        state->descriptor = reply.value();
    });
}

void TSleepInhibitor::Release()
{
    ++state_->generation;
    // Closing our copy of the descriptor is what ends the block.
    state_->descriptor = QDBusUnixFileDescriptor();
}

bool TSleepInhibitor::Held() const
{
    return state_->descriptor.isValid();
}
