#include "PageStep1.h"

#include "AppSettings.h"
#include "EditionConfig.h"
#include "InputAddWorker.h"
#include "InputGrid.h"
#include "InputSlide.h"
#include "MainThread.h"
#include "UtilFuncs.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
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

// A row: what the slide shows lives in item data, the hidden values in the item itself,
// so a row dragged to a new place keeps all of them.
class TInputItem : public QTreeWidgetItem {
public:
    TInputRow Row;
    bool AudioOnly = false;
};

const TInputItem* ItemAt(const QTreeWidget* grid, int row)
{
    return static_cast<const TInputItem*>(grid->topLevelItem(row));
}

} // namespace

TPageStep1::TPageStep1(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheetStep1"));
    resize(560, 430);

    NextGrid = new TInputGrid(this);
    NextGrid->setObjectName(QStringLiteral("NextGrid"));
    NextGrid->setGeometry(8, 8, 410, 414);
    NextGrid->setHeaderHidden(true);
    NextGrid->setRootIsDecorated(false);
    NextGrid->setColumnCount(1);
    NextGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    NextGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    NextGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    NextGrid->setItemDelegate(new TInputSlideDelegate(NextGrid));
    NextGrid->setUniformRowHeights(true);
    NextGrid->setIndentation(0);
    NextGrid->setContextMenuPolicy(Qt::ActionsContextMenu);
    // Rows are dropped between rows only; the list has no children.
    NextGrid->invisibleRootItem()->setFlags(Qt::ItemIsEnabled | Qt::ItemIsDropEnabled);
    connect(static_cast<TInputGrid*>(NextGrid), &TInputGrid::RowDropped, this, [this](int from, int beforeRow) {
        const int to = beforeRow > from ? beforeRow - 1 : beforeRow;
        if (to != from && to >= 0 && to < RowCount())
            MoveRow(from, to);
        NextGrid->viewport()->update();
    });

    ImageAudioIcon = new QLabel(this);
    ImageAudioIcon->setObjectName(QStringLiteral("ImageAudioIcon"));
    ImageAudioIcon->setPixmap(QPixmap::fromImage(AudioIconImage()));
    ImageAudioIcon->hide();

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

    LabelAdding = new QLabel(this);
    LabelAdding->setObjectName(QStringLiteral("LabelAdding"));
    LabelAdding->setGeometry(ButtonLeft, 296, ButtonWidth, 36);
    LabelAdding->setWordWrap(true);
    LabelAdding->hide();
    ProgressBarAdding = new QProgressBar(this);
    ProgressBarAdding->setObjectName(QStringLiteral("ProgressBarAdding"));
    ProgressBarAdding->setGeometry(ButtonLeft, 334, ButtonWidth, 14);
    ProgressBarAdding->setTextVisible(false);
    ProgressBarAdding->hide();

    worker_ = new TInputAddWorker(this);
    worker_->OnFileRead = [this](quint64 batch, int index, int total, const TInputAddResult& result) {
        FileRead(batch, index, total, result);
    };
    worker_->OnBatchDone = [this](quint64 batch) { BatchDone(batch); };
    worker_->OnEngineError = [this](quint64 batch, const QString& message) { EngineError(batch, message); };

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

TPageStep1::~TPageStep1()
{
    // Stop and join the worker while every member is still alive; its late results are dropped.
    worker_->Shutdown();
    delete worker_;
    worker_ = nullptr;
    if (busy_)
        EndBusyCursor();
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
    const TInputItem* item = ItemAt(NextGrid, row);
    return item ? item->Row.FileName : QString();
}

void TPageStep1::SelectRow(int row)
{
    NextGrid->clearSelection();
    if (QTreeWidgetItem* item = NextGrid->topLevelItem(row)) {
        item->setSelected(true);
        NextGrid->setCurrentItem(item);
    }
}

std::vector<TInputRow> TPageStep1::InputRows() const
{
    std::vector<TInputRow> rows;
    rows.reserve(size_t(RowCount()));
    for (int i = 0; i < RowCount(); ++i)
        rows.push_back(ItemAt(NextGrid, i)->Row);
    return rows;
}

TInputRow TPageStep1::InputRow(int row) const
{
    const TInputItem* item = ItemAt(NextGrid, row);
    return item ? item->Row : TInputRow{};
}

QStringList TPageStep1::RowLines(int row) const
{
    const QTreeWidgetItem* item = NextGrid->topLevelItem(row);
    return item ? item->data(0, irLines).toStringList() : QStringList();
}

QImage TPageStep1::RowThumbnail(int row) const
{
    const QTreeWidgetItem* item = NextGrid->topLevelItem(row);
    return item ? item->data(0, irThumbnail).value<QImage>() : QImage();
}

bool TPageStep1::RowAudioOnly(int row) const
{
    const TInputItem* item = ItemAt(NextGrid, row);
    return item && item->AudioOnly;
}

void TPageStep1::AppendRow(const TInputFacts& facts, const QImage& thumbnail)
{
    QImage picture = thumbnail;
    if (picture.isNull() && facts.AudioOnly)
        picture = ImageAudioIcon->pixmap().toImage();
    bitmaps_.push_back(picture);

    // Measured in the bold face the slide draws the name in, so the shortened text really fits.
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    // A DVD row's first line names its root and title, as given.
    const QString name = facts.Row.IsDVD() ? facts.MinName
                                           : ShortenPathToFit(facts.Row.FileName, [&metrics](const QString& text) {
                                                 return metrics.horizontalAdvance(text) <= InputNameWidth;
                                             });

    auto* item = new TInputItem;
    item->Row = facts.Row;
    item->AudioOnly = facts.AudioOnly;
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled);
    item->setData(0, irThumbnail, picture);
    item->setData(0, irLines, QStringList{name, facts.DurationLine, facts.BitrateLine, facts.DimensionLine});
    item->setToolTip(0, facts.Row.IsDVD() ? facts.MinName : QDir::toNativeSeparators(facts.Row.FileName));
    NextGrid->addTopLevelItem(item);
    emit ListChanged();
}

void TPageStep1::AddInputFiles(const QStringList& fileNames)
{
    if (fileNames.isEmpty())
        return;
    const bool idle = !Adding();
    pending_.push_back(fileNames);
    if (idle)
        StartNextBatch();
}

bool TPageStep1::Adding() const { return activeBatch_ != 0 || endingBatch_ || !pending_.empty(); }

bool TPageStep1::WaitForAdd(int timeoutMs)
{
    return WaitServicingEvents([this] { return !Adding(); }, timeoutMs);
}

void TPageStep1::StartNextBatch()
{
    if (pending_.empty()) {
        FinishAdding();
        return;
    }
    const QStringList names = pending_.front();
    pending_.pop_front();
    failed_.clear();
    if (!busy_) {
        BeginBusyCursor();
        busy_ = true;
    }
    ShowProgress(0, int(names.size()));
    activeBatch_ = worker_->Read(names);
}

void TPageStep1::ShowProgress(int done, int total)
{
    const int current = std::min(done + 1, total);
    LabelAdding->setText(tr("Adding file %1 of %2...").arg(current).arg(total));
    ProgressBarAdding->setRange(0, total);
    ProgressBarAdding->setValue(done);
    LabelAdding->show();
    ProgressBarAdding->show();
}

void TPageStep1::FileRead(quint64 batch, int index, int total, const TInputAddResult& result)
{
    if (batch != activeBatch_)
        return; // cancelled
    if (result.Ok) {
        AppendRow(result.Facts, result.Thumbnail);
    } else {
        if (OnLog)
            OnLog(QStringLiteral("File load error: ") + result.Error);
        failed_ << result.Error;
    }
    ShowProgress(index + 1, total);
}

void TPageStep1::BatchDone(quint64 batch)
{
    if (batch != activeBatch_)
        return;
    activeBatch_ = 0;
    if (!failed_.isEmpty() && OnAddFailed) {
        const QStringList messages = failed_;
        failed_.clear();
        endingBatch_ = true;
        const QPointer<TPageStep1> alive(this);
        OnAddFailed(messages); // modal: events (and new adds) run meanwhile
        if (!alive)
            return;
        endingBatch_ = false;
    }
    StartNextBatch();
}

void TPageStep1::EngineError(quint64 batch, const QString& message)
{
    if (batch != activeBatch_)
        return;
    // The libraries are missing: every later file would fail the same way.
    CancelAdding();
    FinishAdding();
    ShowMessageDialog(message, EditionConfig.Name, TMsgDlgType::mtError, {}, mbOK);
}

void TPageStep1::CancelAdding()
{
    worker_->CancelAll();
    pending_.clear();
    activeBatch_ = 0;
    failed_.clear();
}

void TPageStep1::FinishAdding()
{
    if (Adding())
        return;
    LabelAdding->hide();
    ProgressBarAdding->hide();
    if (busy_) {
        busy_ = false;
        EndBusyCursor();
    }
    emit AddFinished();
    emit ListChanged();
}

void TPageStep1::ClearInputList()
{
    CancelAdding();
    NextGrid->clear();
    FinishAdding();
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
    ActionClear->setEnabled(rows > 0 || Adding());
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
    AppSettings.LastOpenDir = WithTrailingBackslash(QFileInfo(files.first()).absolutePath());
    AddInputFiles(files); // holds the busy cursor until the files are in
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
    if (s < 0)
        return;
    const TInputRow row = InputRow(s);
    ShellOpen(row.IsDVD() ? row.DVD.Root : row.FileName); // a DVD title opens its folder
}
