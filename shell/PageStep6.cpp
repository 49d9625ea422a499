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
        {"Current file:", "LabelURLCurrentFile", &LabelURLCurrentFile, {14, 26, 516, 20}},
        {"Status:", "LabelURLStatus", &LabelURLStatus, {14, 52, 516, 20}},
        {"Speed:", "LabelSpeed", &LabelSpeed, {14, 78, 250, 20}},
        {"Quality:", "LabelQuality", &LabelQuality, {280, 78, 250, 20}},
        {"Elapsed time:", "LabelURLElapsedTime", &LabelURLElapsedTime, {14, 104, 250, 20}},
        {"Time left:", "LabelURLTimeLeft", &LabelURLTimeLeft, {280, 104, 250, 20}},
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
    progress->setGeometry(14, 138, 100, 20);
    ProgressBarDownload = new QProgressBar(status);
    ProgressBarDownload->setObjectName(QStringLiteral("ProgressBarDownload"));
    ProgressBarDownload->setGeometry(118, 140, 356, 16);
    ProgressBarDownload->setRange(0, 100);
    ProgressBarDownload->setTextVisible(false);
    LabelProgressBarDownload = new QLabel(status);
    LabelProgressBarDownload->setObjectName(QStringLiteral("LabelProgressBarDownload"));
    LabelProgressBarDownload->setGeometry(482, 138, 48, 20);
    LabelProgressBarDownload->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    ResetStatus();
}

void TPageStep6::FillDownloadList(const QStringList& links)
{
    EmptyDownloadList();
    for (const QString& link : links)
        new QTreeWidgetItem(ListViewURLDownload, {link, tr("Waiting..."), QStringLiteral("0 KB"),
                                                  QStringLiteral("0 KB/s"), QStringLiteral("0%"), QStringLiteral("...")});
}

void TPageStep6::EmptyDownloadList() { ListViewURLDownload->clear(); }

void TPageStep6::ResetStatus()
{
    for (QLabel* label : {LabelURLCurrentFile, LabelURLStatus, LabelSpeed, LabelURLElapsedTime, LabelURLTimeLeft, LabelQuality})
        label->setText(QStringLiteral("..."));
    ProgressBarDownload->setValue(0);
    LabelProgressBarDownload->setText(QStringLiteral("0%"));
}
