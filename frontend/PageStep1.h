#pragma once
// Step1: the input file list. Each row is a slide with the file's thumbnail and four fact
// lines; the hidden values per row are what the conversion run reads. Files are probed on
// a worker thread and arrive one by one, so the window stays responsive during long adds.
#include "InputFacts.h"

#include <QImage>
#include <QStringList>
#include <QWidget>

#include <deque>
#include <functional>
#include <vector>

class QAction;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class TInputAddWorker;
struct TInputAddResult;

class TPageStep1 : public QWidget {
    Q_OBJECT
public:
    explicit TPageStep1(QWidget* parent = nullptr);
    ~TPageStep1() override;

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
    QLabel* ImageAudioIcon = nullptr;       // hidden; the picture of audio-only rows
    QLabel* LabelAdding = nullptr;          // "Adding file 3 of 12..." while an add runs
    QProgressBar* ProgressBarAdding = nullptr;

    // A line for the log window ("File load error: ...").
    std::function<void(const QString&)> OnLog;
    // The failed-files dialog, with the probe's messages in order; modal.
    std::function<void(const QStringList&)> OnAddFailed;

    int RowCount() const;
    int SelectedRow() const;            // -1 when none
    QString RowFileName(int row) const; // full path as added
    void SelectRow(int row);

    // The hidden values of every row, top to bottom, as the conversion run takes them.
    std::vector<TInputRow> InputRows() const;
    TInputRow InputRow(int row) const;
    // The four visible lines: shortened name, duration, bit rate, dimension (or encoder).
    QStringList RowLines(int row) const;
    QImage RowThumbnail(int row) const;
    bool RowAudioOnly(int row) const;
    // Thumbnails kept for the lifetime of the page, also those of deleted rows.
    int BitmapCount() const { return int(bitmaps_.size()); }

    // Appends one row per file, in order, probing on the worker thread. Returns at once;
    // a call made while an add runs is queued after it.
    void AddInputFiles(const QStringList& fileNames);
    // Appends a row whose facts are already known (DVD titles); a null thumbnail of an
    // audio-only row becomes the audio icon.
    void AppendRow(const TInputFacts& facts, const QImage& thumbnail);
    void ClearInputList();
    bool Adding() const;
    // Waits for every queued add to finish, serving events; false on timeout.
    bool WaitForAdd(int timeoutMs = -1);

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
    // Every queued add has finished (or was cancelled).
    void AddFinished();

private:
    QAction* MakeAction(const char* name, const QString& caption, const QKeySequence& shortcut);
    QPushButton* MakeButton(const char* name, QAction* action, int top);
    void MoveRow(int from, int to);

    void StartNextBatch();
    void FileRead(quint64 batch, int index, int total, const TInputAddResult& result);
    void BatchDone(quint64 batch);
    void EngineError(quint64 batch, const QString& message);
    void ShowProgress(int done, int total);
    void FinishAdding();
    void CancelAdding();

    TInputAddWorker* worker_ = nullptr;
    std::deque<QStringList> pending_;
    quint64 activeBatch_ = 0;  // 0 = no batch on the worker
    bool endingBatch_ = false; // the failed-files dialog of a batch is open
    bool busy_ = false;        // holds a busy cursor level
    QStringList failed_;
    std::vector<QImage> bitmaps_;
};
