#pragma once
// The log window: collects the engine's messages and the front end's reports in memory
// for the whole run; the user can read, clear or save them. Created once, hidden,
// at start; closing only hides it.
#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QPlainTextEdit;
class QPushButton;
class QWidget;

class TFormLog : public QDialog {
    Q_OBJECT
public:
    explicit TFormLog(QWidget* parent = nullptr);
    ~TFormLog() override;

    // Appends exactly one line; a call from another thread is handed to the main thread (engine messages arrive already formatted by the engine
    // logger's FormatLogLine) (a text with line breaks is kept as one entry, its
    // breaks shown as spaces). Main thread only.
    void Log(const QString& line);
    // Every line, in arrival order.
    QStringList Lines() const;

    // Writes all lines to fileName, one per line, replacing the file. On failure returns
    // false with a readable reason in errorText; the lines are kept either way.
    bool SaveToFile(const QString& fileName, QString* errorText = nullptr) const;

    // Placement in the settings section "FormLog". The window calls OnLoadPlacement when it
    // is shown and OnSavePlacement when it is closed; the main window calls SavePlacement at
    // its own close. Until the shell assigns them, the settings store's placement functions
    // are used when they exist.
    std::function<void(TFormLog&)> OnLoadPlacement;
    std::function<void(TFormLog&)> OnSavePlacement;
    void LoadPlacement();
    void SavePlacement();

    bool SaveEnabled() const;

    // The main window: the log opens centred over it until a placement has been stored.
    void SetOwnerWindow(QWidget* owner);
    // The owner was minimised (hidden with it) or restored (shown again where it was).
    void FollowOwnerMinimized(bool ownerMinimized);

    // The window drawn offscreen at its designed size, for screenshots.
    QImage RenderForScreenshot();

    // Handlers of the window's own controls.
    void ButtonOKClick();
    void ButtonDeleteClick();
    void ButtonSaveClick();
    void PanelBottomResize();

    static constexpr const char* PlacementSection = "FormLog";

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;     // close box, Esc and "&OK" all end here
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void FormClose();

    QPlainTextEdit* MemoLog = nullptr;
    QWidget* PanelBottom = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonDelete = nullptr;
    QPushButton* ButtonSave = nullptr;
    void ShowNewLines();

    QPointer<QWidget> owner_;
    bool shownThisRun_ = false;       // a placement to save exists only after a show
    bool hiddenWithOwner_ = false;
    bool restoringWithOwner_ = false;
    QStringList lines_;
    qsizetype shownLines_ = 0;   // of lines_, the first ones the text area holds
    bool saveDisabledForRun_ = false;
};
