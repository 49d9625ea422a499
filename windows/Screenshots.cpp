#include "Screenshots.h"

#include "About.h"
#include "AddFailed.h"
#include "Log.h"
#include "Shutdown.h"

#include <QDir>

QList<QPair<QString, QImage>> RenderAuxiliaryWindows(const QString& editionTitle, const QString& version,
                                                     const QString& copyright, const QString& imageDir)
{
    QList<QPair<QString, QImage>> shots;
    const QString videos = QDir::homePath() + QStringLiteral("/Videos/");

    TFormLog log;
    log.Log(QStringLiteral("#4012.5: Input #0, mov,mp4,m4a,3gp,3g2,mj2, from '%1holiday.mp4':").arg(videos));
    log.Log(QStringLiteral("#4012.5:   Duration: 00:02:41.52, start: 0.000000, bitrate: 2451 kb/s"));
    log.Log(QStringLiteral("#4012.5:     Stream #0:0(und): Video: h264 (High), yuv420p, 1280x720, 25 fps"));
    log.Log(QStringLiteral("#4012.5:     Stream #0:1(und): Audio: aac (LC), 48000 Hz, stereo, fltp, 128 kb/s"));
    log.Log(QStringLiteral("File has been added to convert list."));
    log.Log(QStringLiteral("File load error: %1notes.txt: Invalid data found when processing input").arg(videos));
    shots.append({QStringLiteral("log"), log.RenderForScreenshot()});

    const TAboutEdition edition{editionTitle, version, copyright, imageDir};
    TfrmAbout simple(edition);
    shots.append({QStringLiteral("about_simple"), simple.RenderForScreenshot()});
    TFormAbout tabbed(edition);
    shots.append({QStringLiteral("about_tabbed"), tabbed.RenderForScreenshot()});

    TFormShutdown shutdown(editionTitle, nullptr, 3600 * 1000);   // no tick while rendering
    shots.append({QStringLiteral("shutdown"), shutdown.RenderForScreenshot()});

    TFormFailedAddFile failed(editionTitle);
    failed.SetFailedEntries({videos + QStringLiteral("notes.txt: Invalid data found when processing input"),
                             videos + QStringLiteral("broken.avi: could not find codec parameters")});
    shots.append({QStringLiteral("failed_files"), failed.RenderForScreenshot()});
    return shots;
}
