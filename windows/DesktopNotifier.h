#pragma once
// Desktop notifications over the session bus (the freedesktop notification service).
// A notification carries the "default" action, so clicking it calls OnActivated.
// QtCore + QtDBus; nothing here waits for the bus.
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>

class TDesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit TDesktopNotifier(QObject* parent = nullptr);
    ~TDesktopNotifier() override;

    // The named connection to use instead of the session bus (tests: a private bus).
    void SetBus(const QString& connectionName);

    // summary: one line; body: plain text (escaped for servers that read markup).
    void Notify(const QString& appName, const QString& summary, const QString& body);

    // The user clicked one of our notifications.
    std::function<void()> OnActivated;
    // One line when the notification could not be shown.
    std::function<void(const QString& line)> OnLog;

private slots:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    QString busName_;
    QString listeningOn_;   // the connection whose signals are connected
    QSet<uint> shown_;      // ids the service gave our notifications
};
