#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>

#include <gtest/gtest.h>

#if defined(__SANITIZE_THREAD__)
#include <chrono>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifndef VORNIC_FIXTURE_DIR
#error "VORNIC_FIXTURE_DIR must name the build folder for generated fixtures"
#endif

#if defined(__SANITIZE_THREAD__)
// Under the thread sanitizer a child is started with posix_spawn: its child side runs only the
// C library's own code until exec. A child made the toolkit's way shares the parent's memory
// until exec while it runs intercepted calls, which leaves the sanitizer's view of the parent's
// threads wrong: every later report of the process would be noise.
CommandResult RunCommand(const QString& program, const QStringList& args, int timeoutMs, const QString& workingDir)
{
    CommandResult result;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return result;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    const QByteArray dir = QFile::encodeName(workingDir);
    if (!workingDir.isEmpty()) posix_spawn_file_actions_addchdir_np(&actions, dir.constData());
    std::vector<QByteArray> storage{QFile::encodeName(program)};
    for (const QString& a : args) storage.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : storage) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        result.err = "cannot start " + program;
        return result;
    }
    QByteArray out, err;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool timedOut = false;
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        if (poll(fds, 2, int(std::min<long long>(left.count(), 1000))) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[65536];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? out : err).append(buffer, int(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    for (const pollfd& p : fds)
        if (p.fd >= 0) close(p.fd);
    if (timedOut) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (timedOut) {
        result.err = "timeout";
        return result;
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = QString::fromUtf8(out);
    result.err = QString::fromUtf8(err);
    return result;
}
#else
CommandResult RunCommand(const QString& program, const QStringList& args, int timeoutMs, const QString& workingDir)
{
    CommandResult result;
    QProcess process;
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    process.start(program, args);
    if (!process.waitForStarted(10000)) {
        result.err = "cannot start " + program;
        return result;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = "timeout";
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}
#endif

QString FixtureDir()
{
    static const QString dir = [] {
        QString d = QStringLiteral(VORNIC_FIXTURE_DIR);
        QDir().mkpath(d);
        return d;
    }();
    return dir;
}

QString MediaFixture(const QString& name, const QStringList& ffmpegArgs)
{
    const QString path = FixtureDir() + "/" + name;
    QLockFile lock(path + ".lock");
    lock.setStaleLockTime(0);
    lock.lock();
    if (!QFileInfo::exists(path)) {
        const QString partial = FixtureDir() + "/partial-" + name;
        QStringList args{"-y", "-hide_banner", "-loglevel", "error"};
        args << ffmpegArgs << partial;
        CommandResult r = RunCommand("ffmpeg", args);
        if (r.exitCode != 0) {
            QFile::remove(partial);
            ADD_FAILURE() << "ffmpeg could not make fixture " << name.toStdString() << ": "
                          << r.err.toStdString();
            return path;
        }
        QFile::rename(partial, path);
    }
    return path;
}

QString ProbeValue(const QString& file, const QString& entry, const QString& streamSelector)
{
    QStringList args{"-v", "error"};
    if (!streamSelector.isEmpty())
        args << "-select_streams" << streamSelector;
    args << "-show_entries" << entry << "-of" << "default=noprint_wrappers=1:nokey=1" << file;
    return RunCommand("ffprobe", args).out.trimmed();
}

QString BuildBinDir()
{
    const QString dir = qEnvironmentVariable("VORNIC_BIN_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/../../bin") : dir;
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
