#pragma once
// Helpers shared by every test program: commands, generated media fixtures, temp folders.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

struct CommandResult {
    int exitCode = -1;
    QString out;   // standard output
    QString err;   // standard error
};

// Runs a program with arguments (no shell) and waits up to timeoutMs.
CommandResult RunCommand(const QString& program, const QStringList& args, int timeoutMs = 120000,
                         const QString& workingDir = {});

// The build's bin folder (the programs and their "lib" folder): VORNIC_BIN_DIR when set, else
// found from the test program's own folder.
QString BuildBinDir();

// The whole file, or empty when it cannot be read.
QByteArray FileBytes(const QString& path);

// Folder inside the build tree where generated fixtures are cached between runs.
QString FixtureDir();

// Returns FixtureDir()/name, generating it first with `ffmpeg -y <ffmpegArgs> <path>`
// unless it already exists. Generation happens once per file even across test programs
// running at the same time (a lock file guards it). Fails the calling test when ffmpeg fails.
QString MediaFixture(const QString& name, const QStringList& ffmpegArgs);

// ffprobe's view of one entry, e.g. ProbeValue(file, "stream=width", "v:0").
QString ProbeValue(const QString& file, const QString& entry, const QString& streamSelector = {});
