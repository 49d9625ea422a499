#pragma once
// Step1: the input file list with its actions. This is the page's frame: the grid, the
// buttons and actions by name, the row store the wizard reads. Probing, thumbnails and
// the fact lines of each row arrive with the input-list work.
#include <QStringList>
#include <QWidget>

class QAction;
class QPushButton;
class QTreeWidget;

class TPageStep1 : public QWidget {
    Q_OBJECT
public:
    explicit TPageStep1(QWidget* parent = nullptr);

    QTreeWidget* NextGrid = nullptr;
    QAction* ActionAdd = nullptr;
    QAction* ActionLoadDVD = nullptr;
    QAction* ActionDelete = nullptr;
    QAction* ActionClear = nullptr;
    QAction* ActionMoveUp = nullptr;
    QAction* ActionMoveDown = nullptr;
    QAction* ActionPlay = nullptr;
    QPushButton* ButtonAdd = nullptr;
    QPushButton* ButtonAddDVD = nullptr;

    int RowCount() const;
    int SelectedRow() const;            // -1 when none
    QString RowFileName(int row) const; // full path as added
    void SelectRow(int row);

    // Appends one row per file, in order.
    void AddInputFiles(const QStringList& fileNames);
    void ClearInputList();

    // DVD key of the edition: visibility of the DVD action and the tops of both buttons.
    void ApplyDvdLayout(bool loadDvdVisible, int buttonAddDVDTop, int buttonAddTop);
    // Enabled state of Delete, Play, Clear, Move Up, Move Down for the current rows.
    void UpdateActionStates();

    void ActionAddExecute();
    void ActionDeleteExecute();
    void ActionClearExecute();
    void ActionMoveUpExecute();
    void ActionMoveDownExecute();
    void ActionPlayExecute();

signals:
    // Rows or selection changed: the window renews the action states.
    void ListChanged();

private:
    QAction* MakeAction(const char* name, const QString& caption, const QKeySequence& shortcut);
    QPushButton* MakeButton(const char* name, QAction* action, int top);
    void MoveRow(int from, int to);
};
