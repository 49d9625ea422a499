#pragma once
// Step3: the conversion run. The page's frame: the conversion list, the status box and
// the post-progress options. The run itself fills them.
#include "ConversionRun.h"

#include <QWidget>

#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QTreeWidget;

class TPageStep3 : public QWidget {
    Q_OBJECT
public:
    explicit TPageStep3(QWidget* parent = nullptr);

    QTreeWidget* ListViewConverting = nullptr;
    QGroupBox* GroupBoxStatus = nullptr;
    QLabel* LabelCurrentFileTitle = nullptr;
    QLabel* LabelCurrentFile = nullptr;
    QLabel* LabelEstimated = nullptr;
    QLabel* LabelElapsed = nullptr;
    QLabel* LabelTimeLeft = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QLabel* LabelProgress = nullptr;
    QGroupBox* GroupBoxPostProgress = nullptr;
    QCheckBox* CheckBoxPlayASound = nullptr;
    QCheckBox* CheckBoxShutdown = nullptr;

    void ClearConversionList();
    // Status box back to its idle texts.
    void ResetStatus();

    // The display of a conversion run; the shell connects them to the run's hooks.
    // Join mode captions the third and fourth columns and the current-file title for one output.
    void SetJoinMode(bool join);
    void ShowRows(const std::vector<TConversionRow>& rows);
    void AddRow(const TConversionRow& row);
    void UpdateRow(int row, const TConversionRow& data);
    // With more than one file converting at the same time the bar and its percent show the
    // whole run, and the current file is the first row still converting ("+N more" beside it).
    void SetFilesAtOnce(int files);
    void ShowStatus(const TRunStatus& status);

private:
    QString ConvertingFilesText(const QString& fallback) const;

    bool join_ = false;
    int filesAtOnce_ = 1;
};
