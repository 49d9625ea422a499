#pragma once
// The DVD dialog: choose a drive or a folder, read its titles with a technical report, pick one
// title with a chapter range, an audio and a subtitle stream and deinterlacing. Kept between
// openings, so the titles read last are still there.
#include "DVDSelection.h"
#include "DVDTitles.h"

#include <QDialog>

#include <atomic>

class QCheckBox;
class QComboBox;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

class TfrmDVDSelect : public QDialog {
    Q_OBJECT
public:
    // systemRoot: where the optical drives are looked up ("/" but in tests).
    explicit TfrmDVDSelect(QWidget* parent = nullptr, const QString& systemRoot = QStringLiteral("/"));
    ~TfrmDVDSelect() override;

    QPushButton* btnOpen = nullptr;
    QMenu* PopupMenuDVD = nullptr;
    QComboBox* cboTitles = nullptr;
    QCheckBox* chkDeinterlace = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    QSpinBox* updFrom = nullptr;
    QSpinBox* updTo = nullptr;
    QComboBox* cboAudio = nullptr;
    QComboBox* cboSubtitle = nullptr;
    QPlainTextEdit* mmoLog = nullptr;

    // The choice as "OK" returns it.
    TDVDSelection Selection() const;
    // The record of the chosen title; null for an invalid one.
    const TDVDTitleInfo* SelectedTitle() const;
    QString Root() const { return titles_.Root; }
    QString LastFolder() const { return lastFolder_; }

    // Reads a root's titles on a worker while the dialog stays responsive; false (nothing
    // changed) after the "No DVD title(s)" or the cannot-be-read message, or when cancelled.
    bool OpenRoot(const QString& root);
    bool Reading() const { return reading_; }
    void btnOpenClick();
    void SelectDVDFolderClick();
    void cboTitlesChange();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildMenu(const QString& systemRoot);
    void updFromChangingEx(int value);
    void updToChangingEx(int value);
    void EnableTitleControls(bool on);

    TDVDTitles titles_;
    QString lastFolder_;
    bool reading_ = false;
    std::atomic<bool> cancel_{false};
};
