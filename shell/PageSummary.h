#pragma once
// The two summary pages (Step4 after a conversion run, Step7 after a download run) share
// one look: a badge, the finish line, three counts, "Open folder" and a closing line.
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TClickableImage;

class TSummaryPage : public QWidget {
    Q_OBJECT
public:
    struct Names {
        const char* Page;
        const char* Title1;
        const char* Total;
        const char* Succeeded;
        const char* Failed;
        const char* OpenFolder;
        const char* Title2;
    };
    TSummaryPage(const Names& names, QWidget* parent);

    QLabel* LabelTitle1 = nullptr;
    QLabel* LabelTotal = nullptr;
    QLabel* LabelSucceeded = nullptr;
    QLabel* LabelFailed = nullptr;
    TClickableImage* LabelOpenFolder = nullptr;
    QLabel* LabelTitle2 = nullptr;

    // What the badge shows: a tick when every file succeeded, a cross when none did, a warning
    // sign when only some did.
    enum class TOutcome { Success, Mixed, Failure };

    // Counts as decimal texts; failed = total - succeeded. Sets the outcome from them.
    void SetCounts(int total, int succeeded);
    TOutcome Outcome() const { return outcome_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TOutcome outcome_ = TOutcome::Success;
};

class TPageStep4 : public TSummaryPage {
    Q_OBJECT
public:
    explicit TPageStep4(QWidget* parent = nullptr);
    QPlainTextEdit* MemoErrorLog = nullptr;
    // Error lines of the run; the memo shows only when there are some.
    void SetErrorLines(const QStringList& lines);
};

class TPageStep7 : public TSummaryPage {
    Q_OBJECT
public:
    explicit TPageStep7(QWidget* parent = nullptr);
    QPushButton* ButtonConvertDownloaded = nullptr;
};
