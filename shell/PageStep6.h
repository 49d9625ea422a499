#pragma once
// Step6: the download run. The page's frame: the progress list and the status box.
#include <QStringList>
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

    // One "Waiting..." row per link, in order.
    void FillDownloadList(const QStringList& links);
    void EmptyDownloadList();
    // Every status label "...", the bar at 0 and its label "0%".
    void ResetStatus();
};
