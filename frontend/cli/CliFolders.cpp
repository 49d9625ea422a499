#include "CliFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>

namespace {

// Empty when the folder exists and is a folder.
QString MissingOutputFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringLiteral("output folder does not exist: %1").arg(folder);
    if (!info.isDir())
        return QStringLiteral("output folder is not a folder: %1").arg(folder);
    return {};
}

// Empty when a new file can be created in the folder.
QString UnwritableOutputFolder(const QString& folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".vornic-probe-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("cannot write into the output folder %1: %2").arg(folder, probe.errorString());
    return {};
}

} // namespace

int CheckOutputFolder(const QString& program, const QString& folder, const QString& usage)
{
    const QString missing = MissingOutputFolder(folder);
    if (!missing.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n%s", program.toUtf8().constData(), missing.toUtf8().constData(),
                     usage.toUtf8().constData());
        return 2;
    }
    const QString unwritable = UnwritableOutputFolder(folder);
    if (!unwritable.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", program.toUtf8().constData(), unwritable.toUtf8().constData());
        return 1;
    }
    return 0;
}
