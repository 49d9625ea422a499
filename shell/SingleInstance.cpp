#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QFileInfo>
#include <QTimer>
#include <QtEndian>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

constexpr int ConnectTimeoutMs = 2000;
constexpr int AnswerTimeoutMs = 5000;
constexpr int LockTimeoutMs = 5000;
constexpr qint64 MaxMessageBytes = 8 * 1024 * 1024;   // far more than any list of file names
constexpr char Accepted = 'A';

#ifdef Q_OS_UNIX
QString RuntimeFolder()
{
    const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    // A folder of our own in the shared temporary folder; one another user made is not used,
    // since its socket could be anyone's.
    const QString folder = QDir::tempPath() + QStringLiteral("/vornic-%1").arg(::getuid());
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (QFileInfo(folder).ownerId() == ::getuid())
        return folder;
    return QDir::homePath();
}
#endif

} // namespace

TSingleInstance::TSingleInstance(const QString& editionTitle, QObject* parent)
    : QObject(parent), name_(ServerName(editionTitle))
{
}

TSingleInstance::~TSingleInstance() = default;

QString TSingleInstance::ServerName(const QString& editionTitle)
{
    // The title may hold any character; its hash makes a short, safe file name.
    const QByteArray hash = QCryptographicHash::hash(editionTitle.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
#ifdef Q_OS_UNIX
    return RuntimeFolder() + QStringLiteral("/vornic-") + QString::fromLatin1(hash) + QStringLiteral(".socket");
#else
    // A pipe name, which the system keeps per session.
    return QStringLiteral("vornic-") + QString::fromLocal8Bit(qgetenv("USERNAME")) + u'-' + QString::fromLatin1(hash);
#endif
}

bool TSingleInstance::HandOverOrListen(const QStringList& files, QString* error)
{
    // Two starts at the same moment must not both decide to become the wizard.
    QLockFile lock(name_ + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    // Not had in time (a start that hangs): go on without it rather than never start.
    lock.tryLock(LockTimeoutMs);
    if (HandOver(files))
        return true;
    // Nobody answered: a socket file still there is a crashed wizard's.
    QLocalServer::removeServer(name_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        if (error)
            *error = QStringLiteral("Cannot listen on %1: %2").arg(name_, server_->errorString());
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &TSingleInstance::Accept);
    return false;
}

bool TSingleInstance::HandOver(const QStringList& files)
{
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(ConnectTimeoutMs))
        return false;
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << files;
    QDataStream frame(&socket);
    frame << quint32(message.size());
    socket.write(message);
    if (!socket.waitForBytesWritten(AnswerTimeoutMs))
        return false;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(AnswerTimeoutMs))
            return false;
    char answer = 0;
    return socket.getChar(&answer) && answer == Accepted;
}

void TSingleInstance::Accept()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
        // A client that never finishes its message is dropped.
        QTimer::singleShot(AnswerTimeoutMs, socket, [socket] { socket->abort(); });
    }
}

void TSingleInstance::Read(QLocalSocket* socket)
{
    if (socket->bytesAvailable() < qint64(sizeof(quint32)))
        return;
    quint32 size = 0;
    socket->peek(reinterpret_cast<char*>(&size), sizeof size);
    size = qFromBigEndian(size);
    if (size > MaxMessageBytes) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < qint64(sizeof(quint32)) + size)
        return;
    socket->skip(sizeof(quint32));
    const QByteArray message = socket->read(size);
    QDataStream in(message);
    QStringList files;
    in >> files;
    if (in.status() != QDataStream::Ok) {
        socket->abort();
        return;
    }
    socket->putChar(Accepted);
    socket->flush();
    socket->disconnectFromServer();
    if (OnFilesReceived)
        OnFilesReceived(files);
}
