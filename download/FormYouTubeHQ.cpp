#include "FormYouTubeHQ.h"

#include <QPushButton>
#include <QTreeWidget>

TFormYouTubeHQ::TFormYouTubeHQ(TPreferenceSlots& order, QWidget* parent) : QDialog(parent), order_(order)
{
    setObjectName(QStringLiteral("FormYouTubeHQ"));
    setWindowTitle(tr("Prefer YouTube high quality"));
    setFixedSize(470, 290);

    ListViewYouTubeHQ = new QTreeWidget(this);
    ListViewYouTubeHQ->setObjectName(QStringLiteral("ListViewYouTubeHQ"));
    ListViewYouTubeHQ->setGeometry(10, 10, 340, 270);
    ListViewYouTubeHQ->setHeaderLabels({tr("Type"), tr("Format"), tr("Video"), tr("Audio")});
    ListViewYouTubeHQ->setRootIsDecorated(false);
    ListViewYouTubeHQ->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewYouTubeHQ->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewYouTubeHQ->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const int widths[] = {70, 60, 90, 60};
    for (int i = 0; i < 4; ++i)
        ListViewYouTubeHQ->setColumnWidth(i, widths[i]);

    auto button = [this](const char* name, const QString& caption, int y) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(360, y, 100, 28);
        b->setAutoDefault(false);
        return b;
    };
    ButtonUp = button("ButtonUp", tr("&Up"), 10);
    ButtonDown = button("ButtonDown", tr("&Down"), 44);
    ButtonDefault = button("ButtonDefault", tr("&Default"), 96);
    ButtonBestAvailable = button("ButtonBestAvailable", tr("&Best Available"), 130);
    ButtonOK = button("ButtonOK", tr("&OK"), 218);
    ButtonCancel = button("ButtonCancel", tr("&Cancel"), 252);
    ButtonOK->setDefault(true);

    connect(ButtonUp, &QPushButton::clicked, this, &TFormYouTubeHQ::ButtonUpClick);
    connect(ButtonDown, &QPushButton::clicked, this, &TFormYouTubeHQ::ButtonDownClick);
    connect(ButtonDefault, &QPushButton::clicked, this, &TFormYouTubeHQ::ButtonDefaultClick);
    connect(ButtonBestAvailable, &QPushButton::clicked, this, &TFormYouTubeHQ::ButtonBestAvailableClick);
    connect(ButtonOK, &QPushButton::clicked, this, &TFormYouTubeHQ::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);

    FillList();
    if (parent) {
        const QRect owner = parent->window()->frameGeometry();
        move(owner.center() - rect().center());
    }
}

void TFormYouTubeHQ::FillList()
{
    ListViewYouTubeHQ->clear();
    for (quint8 code : order_) {
        if (!IsQualityCode(code))
            continue;   // only an edited settings file holds such a slot
        const TYouTubeQualityRow& q = YouTubeQualities[code];
        new QTreeWidgetItem(ListViewYouTubeHQ, {QString::fromLatin1(q.Tag), QString::fromLatin1(q.Format),
                                                QString::fromLatin1(q.Video), QString::fromLatin1(q.Audio)});
    }
}

void TFormYouTubeHQ::MoveSelected(int step)
{
    QTreeWidgetItem* item = ListViewYouTubeHQ->currentItem();
    if (item && item->isSelected()) {
        const int from = ListViewYouTubeHQ->indexOfTopLevelItem(item);
        const int to = from + step;
        if (to >= 0 && to < ListViewYouTubeHQ->topLevelItemCount()) {
            ListViewYouTubeHQ->takeTopLevelItem(from);
            ListViewYouTubeHQ->insertTopLevelItem(to, item);
            ListViewYouTubeHQ->setCurrentItem(item);
            item->setSelected(true);
            ListViewYouTubeHQ->scrollToItem(item);
        }
    }
    ListViewYouTubeHQ->setFocus();
}

void TFormYouTubeHQ::ButtonUpClick() { MoveSelected(-1); }

void TFormYouTubeHQ::ButtonDownClick() { MoveSelected(+1); }

void TFormYouTubeHQ::ButtonDefaultClick()
{
    order_ = DefaultPreferenceOrder;
    FillList();
}

void TFormYouTubeHQ::ButtonBestAvailableClick()
{
    order_ = BestAvailableOrder;
    FillList();
}

void TFormYouTubeHQ::ButtonOKClick()
{
    for (int n = 0; n < PreferenceSlotCount; ++n) {
        QTreeWidgetItem* row = ListViewYouTubeHQ->topLevelItem(n);
        const int code = row ? QualityCodeOfTag(row->text(0)) : -1;
        order_[n] = quint8(code < 0 ? 0 : code);
    }
    accept();
}
