#pragma once
// Running a download run's links to the end in a test, serving the events it needs.
#include "DownloadRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStringList>

// Starts the run on the links and serves events until `finished` counts its end; false when
// that did not happen within the bound. `elapsedMs` gets the time it took.
inline bool RunLinksToEnd(TDownloadRun& run, const QStringList& links, const int& finished, int boundMs,
                          qint64& elapsedMs)
{
    run.FillDownloadList(links);
    run.StartDownloadRun();
    QElapsedTimer clock;
    clock.start();
    while (finished == 0 && clock.elapsed() < boundMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    elapsedMs = clock.elapsed();
    return finished == 1;
}
