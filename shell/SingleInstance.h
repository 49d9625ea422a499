#pragma once
// One wizard per user and edition. A start while a wizard of the same edition runs hands its
// files to that wizard and ends; the first start listens for later ones. The socket lives in
// the user's runtime folder; one left behind by a wizard that crashed is taken over.
#include <QObject>
#include <QStringList>
#include <functional>

class QLocalServer;
class QLocalSocket;

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit TSingleInstance(const QString& editionTitle, QObject* parent = nullptr);
    ~TSingleInstance() override;

    // The socket's path for an edition of the current user.
    static QString ServerName(const QString& editionTitle);

    // Hands `files` (possibly none: the running wizard comes to the front) to a running
    // wizard, or, when none answers, starts listening. True: a running wizard took them and
    // this process should end. False: this process is the wizard now (or could not listen,
    // which `error` says; it runs on as a wizard of its own).
    bool HandOverOrListen(const QStringList& files, QString* error = nullptr);

    // Files handed over by a later start, on the main thread.
    std::function<void(const QStringList& files)> OnFilesReceived;

private:
    bool HandOver(const QStringList& files);
    void Accept();
    void Read(QLocalSocket* socket);

    QString name_;
    QLocalServer* server_ = nullptr;
};
