#pragma once
// The list widget of Step1: rows are reordered by dragging within the list. The drag only
// carries the row's index; the page moves the row itself, so every value of the row moves
// with it and nothing is ever removed by the drag.
#include <QTreeWidget>

class TInputGrid : public QTreeWidget {
    Q_OBJECT
public:
    explicit TInputGrid(QWidget* parent = nullptr);

    static QString RowMimeType();
    // The row a drop at pos (viewport coordinates) would move a row to, before the move.
    int DropRowAt(const QPoint& pos) const;

signals:
    // A row was dropped: move it from from to before the row now at beforeRow (may equal
    // the row count: to the end).
    void RowDropped(int from, int beforeRow);

protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    Qt::DropActions supportedDropActions() const override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dropEvent(QDropEvent* event) override;
};
