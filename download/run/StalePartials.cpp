#include "StalePartials.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

int RemoveStalePartials(const QString& folder, const QDateTime& now)
{
    if (folder.isEmpty())
        return 0;
    const QDateTime limit = now.addSecs(-StalePartialAgeSeconds);
    QDir dir(folder);
    dir.setNameFilters({QStringLiteral(".vornic-*.part")});
    // Links are skipped: their targets are not ours to judge.
    dir.setFilter(QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::CaseSensitive);
    int removed = 0;
    for (const QFileInfo& info : dir.entryInfoList()) {
        if (!info.isFile() || info.isSymLink())
            continue;
        const QDateTime written = info.fileTime(QFileDevice::FileModificationTime);
        if (!written.isValid() || written >= limit)
            continue;
        if (QFile::remove(info.absoluteFilePath()))
            ++removed;
    }
    return removed;
}
