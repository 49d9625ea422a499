#include "DVDReaderProcess.h"

#include "DVDReaderProtocol.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

std::atomic<int> Timeout{20000};

// A cancel request is seen within this time.
constexpr int PollSliceMs = 50;

std::int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QString ErrnoText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

int DVDReaderTimeout()
{
    return Timeout.load();
}

void SetDVDReaderTimeout(int milliseconds)
{
    Timeout.store(std::max(milliseconds, 1));
}

bool TDVDReaderProcess::Start(const QString& program, const QStringList& arguments, QString* error)
{
    Stop();
    end_.clear();
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        *error = QStringLiteral("Cannot start the DVD reader: %1").arg(ErrnoText(errno));
        return false;
    }
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> args{path};
    for (const QString& a : arguments)
        args.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // The reader's standard streams lead nowhere: a plug-in's chatter must not reach the
    // program's terminal or the socket.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pair[1], DVDReaderProtocol::Descriptor);
    // A program that ignores SIGPIPE must not hand that on: the reader should die with the socket.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pair[1]);
    if (rc != 0) {
        ::close(pair[0]);
        *error = QStringLiteral("Cannot start the DVD reader %1: %2").arg(program, ErrnoText(rc));
        return false;
    }
    pid_ = pid;
    fd_ = pair[0];
    return true;
}

TDVDReaderProcess::TWait TDVDReaderProcess::WaitReadable(std::int64_t deadlineMs, const std::atomic<bool>* cancel)
{
    for (;;) {
        if (cancel && cancel->load())
            return TWait::Cancelled;
        const std::int64_t left = deadlineMs - NowMs();
        if (left <= 0)
            return TWait::TimedOut;
        pollfd p{fd_, POLLIN, 0};
        const int n = ::poll(&p, 1, int(std::min<std::int64_t>(left, PollSliceMs)));
        if (n > 0)
            return TWait::Message; // readable, or hung up: the read tells
        if (n < 0 && errno != EINTR)
            return TWait::Ended;
    }
}

bool TDVDReaderProcess::ReadExactly(void* data, std::size_t size, std::int64_t deadlineMs,
                                    const std::atomic<bool>* cancel, TWait& failure)
{
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        failure = WaitReadable(deadlineMs, cancel);
        if (failure != TWait::Message)
            return false;
        const ssize_t n = ::recv(fd_, p, size, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0) {
            failure = TWait::Ended;
            return false;
        }
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

TDVDReaderProcess::TWait TDVDReaderProcess::Next(std::uint32_t& type, std::vector<std::uint8_t>& payload,
                                                 const std::atomic<bool>* cancel)
{
    if (fd_ < 0)
        return TWait::Ended;
    const std::int64_t deadline = NowMs() + DVDReaderTimeout();
    DVDReaderProtocol::THeader header{};
    TWait failure = TWait::Ended;
    bool ok = ReadExactly(&header, sizeof header, deadline, cancel, failure);
    if (ok && header.Length > DVDReaderProtocol::MaxPayload)
        ok = false; // not our reader talking
    if (ok) {
        payload.resize(header.Length);
        ok = ReadExactly(payload.data(), payload.size(), deadline, cancel, failure);
    }
    if (ok) {
        type = header.Type;
        return TWait::Message;
    }
    if (failure == TWait::TimedOut)
        end_ = QStringLiteral("no answer within %1 s").arg(DVDReaderTimeout() / 1000.0);
    if (failure == TWait::Cancelled)
        end_ = QStringLiteral("cancelled");
    // Whatever went wrong, the reader is of no more use.
    if (failure == TWait::Ended)
        Stop(); // it closed its end: gone, or going, or stuck with nothing more to say
    else
        Kill();
    return failure;
}

bool TDVDReaderProcess::Send(const void* data, std::size_t size)
{
    return fd_ >= 0 && DVDReaderProtocol::WriteAll(fd_, data, size);
}

void TDVDReaderProcess::Stop()
{
    if (fd_ >= 0) {
        ::close(fd_); // a reader waiting for a request ends on this
        fd_ = -1;
    }
    if (pid_ <= 0)
        return;
    const std::int64_t deadline = NowMs() + 1000;
    while (pid_ > 0 && NowMs() < deadline) {
        Reap(false);
        if (pid_ > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Kill();
}

void TDVDReaderProcess::Kill()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Reap(true);
    }
}

void TDVDReaderProcess::Reap(bool wait)
{
    if (pid_ <= 0)
        return;
    int status = 0;
    pid_t done;
    do
        done = ::waitpid(pid_, &status, wait ? 0 : WNOHANG);
    while (done < 0 && errno == EINTR);
    if (done == 0)
        return;
    if (done == pid_ && end_.isEmpty())
        end_ = WIFSIGNALED(status) ? QStringLiteral("signal %1").arg(WTERMSIG(status))
                                   : QStringLiteral("exit code %1").arg(WEXITSTATUS(status));
    pid_ = -1;
}
