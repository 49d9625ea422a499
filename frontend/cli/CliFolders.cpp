#include "CliFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

QString MissingOutputFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringLiteral("output folder does not exist: %1").arg(folder);
    if (!info.isDir())
        return QStringLiteral("output folder is not a folder: %1").arg(folder);
    return {};
}

QString UnwritableOutputFolder(const QString& folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".vornic-probe-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("cannot write into the output folder %1: %2").arg(folder, probe.errorString());
    return {};
}
