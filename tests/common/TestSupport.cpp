#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>

#include <gtest/gtest.h>

#ifndef VORNIC_FIXTURE_DIR
#error "VORNIC_FIXTURE_DIR must name the build folder for generated fixtures"
#endif

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
