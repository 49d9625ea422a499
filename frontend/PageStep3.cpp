#include "PageStep3.h"

#include "UtilFuncs.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>

#include <algorithm>

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect place)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    return label;
}

} // namespace

TPageStep3::TPageStep3(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheetStep3"));
    resize(560, 430);

    ListViewConverting = new QTreeWidget(this);
    ListViewConverting->setObjectName(QStringLiteral("ListViewConverting"));
    ListViewConverting->setGeometry(8, 8, 544, 196);
    ListViewConverting->setRootIsDecorated(false);
    ListViewConverting->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewConverting->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewConverting->setHeaderLabels({tr("Name"), tr("Duration"), tr("Status"), tr("Progress"), tr("Path")});
    const int widths[] = {240, 80, 95, 95, 300};
    for (int i = 0; i < 5; ++i)
        ListViewConverting->setColumnWidth(i, widths[i]);

    GroupBoxStatus = new QGroupBox(tr("Status"), this);
    GroupBoxStatus->setObjectName(QStringLiteral("GroupBoxStatus"));
    GroupBoxStatus->setGeometry(8, 212, 544, 124);
    LabelCurrentFileTitle = MakeLabel(GroupBoxStatus, "LabelCurrentFileTitle", tr("Current file:"), {14, 24, 150, 18});
    LabelCurrentFile = MakeLabel(GroupBoxStatus, "LabelCurrentFile", QString(), {164, 24, 366, 18});
    LabelEstimated = MakeLabel(GroupBoxStatus, "LabelEstimated", QString(), {14, 46, 260, 18});
    LabelElapsed = MakeLabel(GroupBoxStatus, "LabelElapsed", QString(), {14, 68, 260, 18});
    LabelTimeLeft = MakeLabel(GroupBoxStatus, "LabelTimeLeft", QString(), {280, 68, 250, 18});
    ProgressBar = new QProgressBar(GroupBoxStatus);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setGeometry(14, 94, 460, 18);
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    LabelProgress = MakeLabel(GroupBoxStatus, "LabelProgress", QString(), {482, 94, 48, 18});
    LabelProgress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    GroupBoxPostProgress = new QGroupBox(tr("Post-Progress Options"), this);
    GroupBoxPostProgress->setObjectName(QStringLiteral("GroupBoxPostProgress"));
    GroupBoxPostProgress->setGeometry(8, 344, 544, 78);
    CheckBoxPlayASound = new QCheckBox(tr("&Play a sound when conversion is finished"), GroupBoxPostProgress);
    CheckBoxPlayASound->setObjectName(QStringLiteral("CheckBoxPlayASound"));
    CheckBoxPlayASound->setGeometry(14, 24, 516, 20);
    CheckBoxShutdown = new QCheckBox(tr("&Shut down the computer after all tasks are finished"), GroupBoxPostProgress);
    CheckBoxShutdown->setObjectName(QStringLiteral("CheckBoxShutdown"));
    CheckBoxShutdown->setGeometry(14, 48, 516, 20);

    ResetStatus();
}

void TPageStep3::ClearConversionList()
{
    ListViewConverting->clear();
}

void TPageStep3::ResetStatus()
{
    LabelCurrentFile->setText(QStringLiteral("..."));
    LabelEstimated->setText(tr("Estimated overall time:") + QStringLiteral(" ..."));
    LabelElapsed->setText(tr("Elapsed time:") + QStringLiteral(" ..."));
    LabelTimeLeft->setText(tr("Time left:") + QStringLiteral(" ..."));
    ProgressBar->setValue(0);
    LabelProgress->setText(QStringLiteral("0%"));
}

void TPageStep3::SetJoinMode(bool join)
{
    join_ = join;
    QTreeWidgetItem* header = ListViewConverting->headerItem();
    header->setText(2, join ? tr("Width x Height") : tr("Status"));
    header->setText(3, join ? tr("Aspect Ratio") : tr("Progress"));
    LabelCurrentFileTitle->setText(join ? tr("Output file:") : tr("Current file:"));
}

void TPageStep3::ShowRows(const std::vector<TConversionRow>& rows)
{
    ListViewConverting->clear();
    for (const TConversionRow& row : rows)
        new QTreeWidgetItem(ListViewConverting, {row.Name, row.Duration, row.Third, row.Fourth, row.Path});
    ResetStatus();
}

void TPageStep3::AddRow(const TConversionRow& row)
{
    new QTreeWidgetItem(ListViewConverting, {row.Name, row.Duration, row.Third, row.Fourth, row.Path});
}

void TPageStep3::UpdateRow(int row, const TConversionRow& data)
{
    QTreeWidgetItem* item = ListViewConverting->topLevelItem(row);
    if (!item)
        return;
    item->setText(2, data.Third);
    item->setText(3, data.Fourth);
}

void TPageStep3::SetFilesAtOnce(int files)
{
    filesAtOnce_ = std::max(files, 1);
}

void TPageStep3::ShowStatus(const TRunStatus& status)
{
    // "..." is the box between runs: its idle texts whatever the run's last figures were.
    const bool idle = status.CurrentFile == QLatin1String("...");
    const bool several = !idle && !join_ && filesAtOnce_ > 1 && ListViewConverting->topLevelItemCount() > 1;
    LabelCurrentFile->setText(several ? ConvertingFilesText(status.CurrentFile) : status.CurrentFile);
    ProgressBar->setValue(several ? status.OverallPercent : status.Percent);
    LabelProgress->setText(QString::number(ProgressBar->value()) + u'%');
    if (status.HasEstimate) {
        LabelEstimated->setText(tr("Estimated overall time:") + u' ' + status.Estimated);
        LabelElapsed->setText(tr("Elapsed time:") + u' ' + status.Elapsed);
        LabelTimeLeft->setText(tr("Time left:") + u' ' + status.TimeLeft);
    }
}

// The first row still converting, so the label stays put while the others report in turn.
QString TPageStep3::ConvertingFilesText(const QString& fallback) const
{
    // The run's text for a row between its first progress report and its end.
    static const QString converting = QStringLiteral("Converting...");
    QString first;
    int others = 0;
    for (int i = 0; i < ListViewConverting->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = ListViewConverting->topLevelItem(i);
        if (item->text(2) != converting)
            continue;
        if (first.isEmpty())
            first = WithTrailingBackslash(item->text(4)) + item->text(0);
        else
            ++others;
    }
    if (first.isEmpty())
        return fallback;
    return others > 0 ? tr("%1 (+%2 more)").arg(first).arg(others) : first;
}
