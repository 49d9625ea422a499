#include "InputGrid.h"

#include <QDrag>
#include <QDropEvent>
#include <QMimeData>

TInputGrid::TInputGrid(QWidget* parent) : QTreeWidget(parent)
{
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
}

QString TInputGrid::RowMimeType() { return QStringLiteral("application/x-vornic-input-row"); }

QStringList TInputGrid::mimeTypes() const { return {RowMimeType()}; }

QMimeData* TInputGrid::mimeData(const QList<QTreeWidgetItem*>& items) const
{
    if (items.isEmpty())
        return nullptr;
    auto* data = new QMimeData;
    data->setData(RowMimeType(), QByteArray::number(indexOfTopLevelItem(items.first())));
    return data;
}

Qt::DropActions TInputGrid::supportedDropActions() const { return Qt::MoveAction; }

void TInputGrid::startDrag(Qt::DropActions)
{
    const QList<QTreeWidgetItem*> items = selectedItems();
    QMimeData* data = mimeData(items);
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    // The drop has already moved the row; whatever the result, nothing is removed here.
    drag->exec(Qt::MoveAction, Qt::MoveAction);
}

int TInputGrid::DropRowAt(const QPoint& pos) const
{
    const QModelIndex at = indexAt(pos);
    if (!at.isValid())
        return topLevelItemCount();
    return at.row() + (pos.y() > visualRect(at).center().y() ? 1 : 0);
}

void TInputGrid::dropEvent(QDropEvent* event)
{
    stopAutoScroll();
    setState(NoState);
    viewport()->update();
    const QMimeData* data = event->mimeData();
    bool ok = false;
    const int from = data && data->hasFormat(RowMimeType()) ? data->data(RowMimeType()).toInt(&ok) : -1;
    if (!ok || from < 0 || from >= topLevelItemCount()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    emit RowDropped(from, DropRowAt(event->position().toPoint()));
}
