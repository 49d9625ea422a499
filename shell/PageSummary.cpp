#include "PageSummary.h"

#include "ClickableImage.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect place)
{
    auto* label = new QLabel(text, parent);
    if (name)
        label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    return label;
}

const QRect BadgeRect(22, 26, 46, 46);

QColor BadgeColor(TSummaryPage::TOutcome outcome)
{
    switch (outcome) {
    case TSummaryPage::TOutcome::Failure:
        return {0xd0, 0x3b, 0x32};
    case TSummaryPage::TOutcome::Mixed:
        return {0xe0, 0x8e, 0x1b};
    case TSummaryPage::TOutcome::Success:
        break;
    }
    return {0x2e, 0xa8, 0x5f};
}

} // namespace

TSummaryPage::TSummaryPage(const Names& names, QWidget* parent) : QWidget(parent)
{
    setObjectName(QString::fromLatin1(names.Page));
    resize(560, 430);

    LabelTitle1 = MakeLabel(this, names.Title1, QString(), {86, 24, 450, 50});
    LabelTitle1->setWordWrap(true);
    LabelTitle1->setProperty("summaryTitle", true);

    const char* captions[] = {"Total files:", "Successed:", "Failed:"};
    const char* valueNames[] = {names.Total, names.Succeeded, names.Failed};
    QLabel** values[] = {&LabelTotal, &LabelSucceeded, &LabelFailed};
    for (int i = 0; i < 3; ++i) {
        MakeLabel(this, nullptr, tr(captions[i]), {86, 92 + i * 26, 120, 22});
        *values[i] = MakeLabel(this, valueNames[i], QStringLiteral("0"), {210, 92 + i * 26, 120, 22});
        (*values[i])->setProperty("summaryCount", true);
    }

    LabelOpenFolder = new TClickableImage(tr("Open folder"), this);
    LabelOpenFolder->setObjectName(QString::fromLatin1(names.OpenFolder));
    LabelOpenFolder->setGeometry(86, 176, 160, 22);
    LabelOpenFolder->setCursor(Qt::PointingHandCursor);
    LabelOpenFolder->setProperty("link", true);

    LabelTitle2 = MakeLabel(this, names.Title2, QString(), {22, 372, 516, 44});
    LabelTitle2->setWordWrap(true);
    LabelTitle2->setProperty("hint", true);
}

void TSummaryPage::SetCounts(int total, int succeeded)
{
    LabelTotal->setText(QString::number(total));
    LabelSucceeded->setText(QString::number(succeeded));
    LabelFailed->setText(QString::number(total - succeeded));
    // A run in which nothing could start (total 0) succeeded at nothing either.
    outcome_ = succeeded <= 0 ? TOutcome::Failure : succeeded < total ? TOutcome::Mixed : TOutcome::Success;
    update();
}

void TSummaryPage::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(BadgeColor(outcome_));
    p.drawEllipse(BadgeRect);
    p.setPen(QPen(Qt::white, 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF o = BadgeRect.topLeft();
    switch (outcome_) {
    case TOutcome::Success:
        p.drawPolyline(QPolygonF{o + QPointF(13, 24), o + QPointF(20, 31), o + QPointF(33, 16)});
        break;
    case TOutcome::Failure:
        p.drawLine(o + QPointF(15, 15), o + QPointF(31, 31));
        p.drawLine(o + QPointF(31, 15), o + QPointF(15, 31));
        break;
    case TOutcome::Mixed:
        p.drawLine(o + QPointF(23, 12), o + QPointF(23, 26));
        p.drawPoint(o + QPointF(23, 34));
        break;
    }
}

TPageStep4::TPageStep4(QWidget* parent)
    : TSummaryPage({"TabSheetStep4", "LabelFinishTitle1", "LabelFinishTotalFiles", "LabelFinishSuccessed",
                    "LabelFinishFailed", "LabelOpenFolder", "LabelFinishTitle2"}, parent)
{
    MemoErrorLog = new QPlainTextEdit(this);
    MemoErrorLog->setObjectName(QStringLiteral("MemoErrorLog"));
    MemoErrorLog->setGeometry(22, 210, 516, 150);
    MemoErrorLog->setReadOnly(true);
    MemoErrorLog->setVisible(false);
}

void TPageStep4::SetErrorLines(const QStringList& lines)
{
    MemoErrorLog->setPlainText(lines.join(QLatin1Char('\n')));
    MemoErrorLog->setVisible(!lines.isEmpty());
}

TPageStep7::TPageStep7(QWidget* parent)
    : TSummaryPage({"TabSheetStep7", "LabelFinishedDownloading1", "LabelURLTotalFiles", "LabelURLSucedded",
                    "LabelURLFailed", "LabelURLOpenFolder", "LabelFinishedDownloading2"}, parent)
{
    ButtonConvertDownloaded = new QPushButton(tr("Convert the downloaded file(s) now! "), this);
    ButtonConvertDownloaded->setObjectName(QStringLiteral("ButtonConvertDownloaded"));
    ButtonConvertDownloaded->setGeometry(86, 224, 300, 36);
    ButtonConvertDownloaded->setProperty("accent", true);
}
