// Optical drives on Linux: block devices whose SCSI type is 5 (CD/DVD), found in /sys/block.
#include "DVDPlugIn.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace {

// /proc/mounts escapes blanks and backslashes as octal.
QString Unescape(const QString& field)
{
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == u'\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += QChar(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

QHash<QString, QString> MountPoints(const QString& mountsFile)
{
    QHash<QString, QString> points;
    QFile file(mountsFile);
    if (!file.open(QIODevice::ReadOnly))
        return points;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString& line : lines) {
        const QStringList fields = line.split(u' ');
        if (fields.size() >= 2 && !points.contains(fields[0]))
            points.insert(fields[0], Unescape(fields[1]));
    }
    return points;
}

bool IsOptical(const QString& blockFolder)
{
    QFile type(blockFolder + QStringLiteral("/device/type"));
    return type.open(QIODevice::ReadOnly) && type.readAll().trimmed() == "5";
}

} // namespace

int ListDVDDrives(QStringList* list, const QString& systemRoot)
{
    const QString root = systemRoot.endsWith(u'/') ? systemRoot : systemRoot + u'/';
    const QDir block(root + QStringLiteral("sys/block"));
    QStringList devices;
    for (const QString& name : block.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System))
        if (IsOptical(block.filePath(name)))
            devices << name;
    // sr2 before sr10: by the name's letters, then its number.
    static const QRegularExpression split(QStringLiteral("^(\\D*)(\\d*)$"));
    std::sort(devices.begin(), devices.end(), [](const QString& a, const QString& b) {
        const auto ma = split.match(a), mb = split.match(b);
        if (ma.captured(1) != mb.captured(1))
            return ma.captured(1) < mb.captured(1);
        return ma.captured(2).toLongLong() < mb.captured(2).toLongLong();
    });
    const QHash<QString, QString> mounts = MountPoints(root + QStringLiteral("proc/mounts"));
    if (list)
        for (const QString& name : devices) {
            const QString device = QStringLiteral("/dev/") + name;
            const QString point = mounts.value(device);
            list->append(point.isEmpty() ? device : (point.endsWith(u'/') ? point : point + u'/'));
        }
    return int(devices.size());
}
