#include "PageStep6.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>

TPageStep6::TPageStep6(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheetStep6"));
    resize(560, 430);

    ListViewURLDownload = new QTreeWidget(this);
    ListViewURLDownload->setObjectName(QStringLiteral("ListViewURLDownload"));
    ListViewURLDownload->setGeometry(8, 8, 544, 220);
    ListViewURLDownload->setRootIsDecorated(false);
    ListViewURLDownload->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewURLDownload->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewURLDownload->setHeaderLabels({tr("Name"), tr("Status"), tr("Size"), tr("Speed"), tr("Progress"), tr("URL")});
    const int widths[] = {380, 250, 80, 70, 70, 600};
    for (int i = 0; i < 6; ++i)
        ListViewURLDownload->setColumnWidth(i, widths[i]);

    auto* status = new QGroupBox(tr("Status"), this);
    status->setObjectName(QStringLiteral("GroupBoxURLStatus"));
    status->setGeometry(8, 236, 544, 186);
    struct Pair { const char* caption; const char* name; QLabel** value; QRect place; };
    const Pair pairs[] = {
        {"Current file:", "LabelURLCurrentFile", &LabelURLCurrentFile, {14, 24, 516, 20}},
        {"Status:", "LabelURLStatus", &LabelURLStatus, {14, 48, 516, 20}},
        {"Speed:", "LabelSpeed", &LabelSpeed, {14, 72, 250, 20}},
        {"Elapsed time:", "LabelURLElapsedTime", &LabelURLElapsedTime, {280, 72, 250, 20}},
        {"Time left:", "LabelURLTimeLeft", &LabelURLTimeLeft, {14, 96, 250, 20}},
        {"Quality:", "LabelQuality", &LabelQuality, {14, 120, 516, 20}},
    };
    for (const Pair& pair : pairs) {
        auto* caption = new QLabel(tr(pair.caption), status);
        caption->setGeometry(pair.place.x(), pair.place.y(), 100, pair.place.height());
        auto* value = new QLabel(status);
        value->setObjectName(QString::fromLatin1(pair.name));
        value->setGeometry(pair.place.x() + 104, pair.place.y(), pair.place.width() - 104, pair.place.height());
        *pair.value = value;
    }
    auto* progress = new QLabel(tr("Progress:"), status);
    progress->setGeometry(14, 150, 100, 20);
    ProgressBarDownload = new QProgressBar(status);
    ProgressBarDownload->setObjectName(QStringLiteral("ProgressBarDownload"));
    ProgressBarDownload->setGeometry(118, 152, 356, 16);
    ProgressBarDownload->setRange(0, 100);
    ProgressBarDownload->setTextVisible(false);
    LabelProgressBarDownload = new QLabel(status);
    LabelProgressBarDownload->setObjectName(QStringLiteral("LabelProgressBarDownload"));
    LabelProgressBarDownload->setGeometry(482, 150, 48, 20);
    LabelProgressBarDownload->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    ResetStatus();
}

void TPageStep6::Attach(TDownloadRun& run)
{
    run.OnRowChanged = [this, &run](QObject*, int index) { ShowRow(index, run.Rows()[index]); };
    run.OnStatusChanged = [this, &run](QObject*) { ShowStatusBox(run.StatusBox()); };
}

void TPageStep6::FillDownloadList(const QVector<TDownloadRow>& rows)
{
    EmptyDownloadList();
    for (int i = 0; i < rows.size(); ++i) {
        new QTreeWidgetItem(ListViewURLDownload);
        ShowRow(i, rows[i]);
    }
}

void TPageStep6::ShowRow(int index, const TDownloadRow& row)
{
    QTreeWidgetItem* item = ListViewURLDownload->topLevelItem(index);
    if (!item)
        return;
    const QString columns[] = {row.Name, row.Status, row.Size, row.Speed, row.Progress, row.URL};
    for (int c = 0; c < 6; ++c)
        if (item->text(c) != columns[c])
            item->setText(c, columns[c]);
}

void TPageStep6::ShowStatusBox(const TDownloadStatusBox& status)
{
    const std::pair<QLabel*, const QString*> labels[] = {
        {LabelURLCurrentFile, &status.CurrentFile}, {LabelURLStatus, &status.Status}, {LabelSpeed, &status.Speed},
        {LabelURLElapsedTime, &status.ElapsedTime}, {LabelURLTimeLeft, &status.TimeLeft},
        {LabelQuality, &status.Quality}, {LabelProgressBarDownload, &status.ProgressText}};
    for (const auto& [label, text] : labels)
        if (label->text() != *text)
            label->setText(*text);
    if (ProgressBarDownload->value() != status.Progress)
        ProgressBarDownload->setValue(status.Progress);
}

void TPageStep6::EmptyDownloadList() { ListViewURLDownload->clear(); }

void TPageStep6::ResetStatus() { ShowStatusBox({}); }
