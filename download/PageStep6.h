#pragma once
// Step6: the download run as it goes: one row per link and the status box of the current one.
#include "DownloadRun.h"

#include <QWidget>

class QLabel;
class QProgressBar;
class QTreeWidget;

class TPageStep6 : public QWidget {
    Q_OBJECT
public:
    explicit TPageStep6(QWidget* parent = nullptr);

    QTreeWidget* ListViewURLDownload = nullptr;
    QLabel* LabelURLCurrentFile = nullptr;
    QLabel* LabelURLStatus = nullptr;
    QLabel* LabelSpeed = nullptr;
    QLabel* LabelURLElapsedTime = nullptr;
    QLabel* LabelURLTimeLeft = nullptr;
    QLabel* LabelQuality = nullptr;
    QProgressBar* ProgressBarDownload = nullptr;
    QLabel* LabelProgressBarDownload = nullptr;

    // Rows and status box follow the run's events from now on.
    void Attach(TDownloadRun& run);
    // The run's rows, in order.
    void FillDownloadList(const QVector<TDownloadRow>& rows);
    void ShowRow(int index, const TDownloadRow& row);
    void ShowStatusBox(const TDownloadStatusBox& status);
    void EmptyDownloadList();
    // Every status label "...", the bar at 0 and its label "0%".
    void ResetStatus();
};
