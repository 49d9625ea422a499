#include "PageStep1.h"

#include "AppSettings.h"
#include "UtilFuncs.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QPushButton>
#include <QTreeWidget>

namespace {

const QString OpenDialogFilter = QStringLiteral(
    "All Supported Formats|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;"
    "*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.SWF;*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;"
    "*.MPA;*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;*.AC3;*.DTS;|All Video Formats (all types)|*.AVI;*.AVM;*.ASF;"
    "*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;"
    "*.SWF;|All Audio Formats (all types)|*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;*.MPA;"
    "*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;*.AC3;*.DTS;|All Files|*.*");

constexpr int ButtonLeft = 428, ButtonWidth = 124, ButtonHeight = 28;
constexpr int SlideHeight = 58;

// One slide per row: a picture area on the left, the file name in bold and its folder below.
class TSlideDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {option.rect.width(), SlideHeight};
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        const QRect r = option.rect.adjusted(2, 2, -2, -2);
        const bool selected = option.state & QStyle::State_Selected;
        const QColor accent = option.palette.color(QPalette::Highlight);
        if (selected) {
            p->setPen(Qt::NoPen);
            QColor soft = accent;
            soft.setAlpha(40);
            p->setBrush(soft);
            p->drawRoundedRect(r, 6, 6);
        }
        const QRect picture(r.left() + 6, r.top() + 4, 66, r.height() - 8);
        const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
        if (!icon.isNull()) {
            icon.paint(p, picture);
        } else {
            // No thumbnail yet: a film frame in the accent colour.
            p->setPen(Qt::NoPen);
            p->setBrush(QColor(0x2b, 0x36, 0x44));
            p->drawRoundedRect(picture, 5, 5);
            p->setBrush(QColor(255, 255, 255, 220));
            const QPointF c = QRectF(picture).center();
            p->drawPolygon(QPolygonF{c + QPointF(-6, -9), c + QPointF(9, 0), c + QPointF(-6, 9)});
        }
        const QStringList lines = index.data(Qt::DisplayRole).toString().split(QLatin1Char('\n'));
        QRect text = r.adjusted(84, 8, -8, -6);
        QFont bold = option.font;
        bold.setBold(true);
        p->setFont(bold);
        p->setPen(option.palette.color(QPalette::Text));
        const QFontMetrics fmBold(bold);
        p->drawText(text, Qt::AlignLeft | Qt::AlignTop, fmBold.elidedText(lines.value(0), Qt::ElideMiddle, text.width()));
        p->setFont(option.font);
        p->setPen(QColor(0x6a, 0x76, 0x84));
        text.setTop(text.top() + fmBold.height() + 4);
        p->drawText(text, Qt::AlignLeft | Qt::AlignTop,
                    QFontMetrics(option.font).elidedText(lines.mid(1).join(QLatin1Char(' ')), Qt::ElideLeft, text.width()));
        p->setPen(QColor(0xe6, 0xea, 0xef));
        p->drawLine(option.rect.bottomLeft() + QPoint(8, 0), option.rect.bottomRight() - QPoint(8, 0));
        p->restore();
    }
};

} // namespace

TPageStep1::TPageStep1(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheetStep1"));
    resize(560, 430);

    NextGrid = new QTreeWidget(this);
    NextGrid->setObjectName(QStringLiteral("NextGrid"));
    NextGrid->setGeometry(8, 8, 410, 414);
    NextGrid->setHeaderHidden(true);
    NextGrid->setRootIsDecorated(false);
    NextGrid->setColumnCount(2);
    NextGrid->setColumnHidden(1, true);
    NextGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    NextGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    NextGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    NextGrid->setItemDelegate(new TSlideDelegate(NextGrid));
    NextGrid->setUniformRowHeights(true);
    NextGrid->setContextMenuPolicy(Qt::ActionsContextMenu);

    ActionAdd = MakeAction("ActionAdd", tr("&Add Video..."), QKeySequence(Qt::CTRL | Qt::Key_O));
    ActionLoadDVD = MakeAction("ActionLoadDVD", tr("&Load DVD..."), QKeySequence());
    ActionDelete = MakeAction("ActionDelete", tr("&Delete"), QKeySequence(Qt::Key_Delete));
    ActionClear = MakeAction("ActionClear", tr("&Clear"), QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    ActionMoveUp = MakeAction("ActionMoveUp", tr("&Move Up"), QKeySequence());
    ActionMoveDown = MakeAction("ActionMoveDown", tr("M&ove Down"), QKeySequence());
    ActionPlay = MakeAction("ActionPlay", tr("&Play"), QKeySequence(Qt::CTRL | Qt::Key_P));

    auto separator = [this] { auto* s = new QAction(this); s->setSeparator(true); return s; };
    NextGrid->addActions({ActionAdd, ActionDelete, ActionClear, separator(), ActionMoveUp, ActionMoveDown,
                          separator(), ActionPlay});

    ButtonAddDVD = MakeButton("ButtonAddDVD", ActionLoadDVD, 8);
    ButtonAdd = MakeButton("ButtonAdd", ActionAdd, 40);
    MakeButton("ButtonDelete", ActionDelete, 88);
    MakeButton("ButtonClear", ActionClear, 120);
    MakeButton("ButtonMoveUp", ActionMoveUp, 168);
    MakeButton("ButtonMoveDown", ActionMoveDown, 200);
    MakeButton("ButtonPlay", ActionPlay, 248);

    connect(ActionAdd, &QAction::triggered, this, &TPageStep1::ActionAddExecute);
    connect(ActionDelete, &QAction::triggered, this, &TPageStep1::ActionDeleteExecute);
    connect(ActionClear, &QAction::triggered, this, &TPageStep1::ActionClearExecute);
    connect(ActionMoveUp, &QAction::triggered, this, &TPageStep1::ActionMoveUpExecute);
    connect(ActionMoveDown, &QAction::triggered, this, &TPageStep1::ActionMoveDownExecute);
    connect(ActionPlay, &QAction::triggered, this, &TPageStep1::ActionPlayExecute);
    connect(NextGrid, &QTreeWidget::itemDoubleClicked, this, &TPageStep1::ActionPlayExecute);
    connect(NextGrid, &QTreeWidget::itemSelectionChanged, this, &TPageStep1::ListChanged);
    connect(this, &TPageStep1::ListChanged, this, &TPageStep1::UpdateActionStates);
    UpdateActionStates();
}

QAction* TPageStep1::MakeAction(const char* name, const QString& caption, const QKeySequence& shortcut)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
    return action;
}

QPushButton* TPageStep1::MakeButton(const char* name, QAction* action, int top)
{
    auto* button = new QPushButton(action->text(), this);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(ButtonLeft, top, ButtonWidth, ButtonHeight);
    button->setEnabled(action->isEnabled());
    button->setVisible(action->isVisible());
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    connect(action, &QAction::changed, button, [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
        button->setVisible(action->isVisible());
    });
    return button;
}

int TPageStep1::RowCount() const { return NextGrid->topLevelItemCount(); }

int TPageStep1::SelectedRow() const
{
    const auto selected = NextGrid->selectedItems();
    return selected.isEmpty() ? -1 : NextGrid->indexOfTopLevelItem(selected.first());
}

QString TPageStep1::RowFileName(int row) const
{
    const QTreeWidgetItem* item = NextGrid->topLevelItem(row);
    return item ? item->text(1) : QString();
}

void TPageStep1::SelectRow(int row)
{
    NextGrid->clearSelection();
    if (QTreeWidgetItem* item = NextGrid->topLevelItem(row)) {
        item->setSelected(true);
        NextGrid->setCurrentItem(item);
    }
}

void TPageStep1::AddInputFiles(const QStringList& fileNames)
{
    if (fileNames.isEmpty())
        return;
    for (const QString& name : fileNames) {
        auto* item = new QTreeWidgetItem(NextGrid);
        const QFileInfo info(name);
        item->setText(0, info.fileName() + QLatin1Char('\n') + QDir::toNativeSeparators(info.absolutePath()));
        item->setText(1, name);
        item->setToolTip(0, name);
    }
    emit ListChanged();
}

void TPageStep1::ClearInputList()
{
    NextGrid->clear();
    emit ListChanged();
}

void TPageStep1::ApplyDvdLayout(bool loadDvdVisible, int buttonAddDVDTop, int buttonAddTop)
{
    ActionLoadDVD->setVisible(loadDvdVisible);
    ButtonAddDVD->move(ButtonLeft, buttonAddDVDTop);
    ButtonAdd->move(ButtonLeft, buttonAddTop);
}

void TPageStep1::UpdateActionStates()
{
    const int rows = RowCount();
    const int s = SelectedRow();
    ActionDelete->setEnabled(s >= 0);
    ActionPlay->setEnabled(s >= 0);
    ActionClear->setEnabled(rows > 0);
    ActionMoveUp->setEnabled(s > 0);
    ActionMoveDown->setEnabled(s >= 0 && s + 1 < rows);
}

void TPageStep1::ActionAddExecute()
{
    TOpenDialogRequest request;
    request.initialDir = AppSettings.LastOpenDir;
    request.filter = OpenDialogFilter;
    request.multiSelect = true;
    const QStringList files = Desktop().OpenFiles(request);
    if (files.isEmpty())
        return;
    {
        TBusyCursorGuard busy;
        AddInputFiles(files);
    }
    AppSettings.LastOpenDir = WithTrailingBackslash(QFileInfo(files.first()).absolutePath());
}

void TPageStep1::ActionDeleteExecute()
{
    const int s = SelectedRow();
    if (s < 0)
        return;
    delete NextGrid->takeTopLevelItem(s);
    SelectRow(std::min(s, RowCount() - 1));
    emit ListChanged();
}

void TPageStep1::ActionClearExecute() { ClearInputList(); }

void TPageStep1::MoveRow(int from, int to)
{
    QTreeWidgetItem* item = NextGrid->takeTopLevelItem(from);
    NextGrid->insertTopLevelItem(to, item);
    SelectRow(to);
    emit ListChanged();
}

void TPageStep1::ActionMoveUpExecute()
{
    const int s = SelectedRow();
    if (s >= 1)
        MoveRow(s, s - 1);
}

void TPageStep1::ActionMoveDownExecute()
{
    const int s = SelectedRow();
    if (s >= 0 && s + 1 < RowCount())
        MoveRow(s, s + 1);
}

void TPageStep1::ActionPlayExecute()
{
    const int s = SelectedRow();
    if (s >= 0)
        ShellOpen(RowFileName(s));
}
