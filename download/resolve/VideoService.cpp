#include "VideoService.h"

#include <QByteArray>

TVideoService VideoService()
{
    const QString local = QString::fromLocal8Bit(qgetenv("VORNIC_VIDEO_HOST")).trimmed();
    if (!local.isEmpty())
        return TVideoService{local.toLower(), local, {}};
    return TVideoService{QStringLiteral("youtube.com"), QStringLiteral("www.youtube.com"), QStringLiteral("youtu.be")};
}
