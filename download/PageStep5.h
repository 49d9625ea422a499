#pragma once
// Step5: the video links to download (they arrive only through the clipboard), the quality
// preference and the download folder.
#include "YouTubeQuality.h"

#include <QStringList>
#include <QWidget>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

class TPageStep5 : public QWidget {
    Q_OBJECT
public:
    explicit TPageStep5(QWidget* parent = nullptr);

    QTreeWidget* ListViewInputURL = nullptr;
    QAction* ActionURLPaste = nullptr;
    QAction* ActionURLRemove = nullptr;
    QAction* ActionURLEmpty = nullptr;
    QAction* ActionURLSelect = nullptr;
    QCheckBox* CheckBoxYouTubeQuality = nullptr;
    QLabel* LabelYouTubeQuality = nullptr;
    QPushButton* ButtonYouTubeQualityConfig = nullptr;
    QLineEdit* EditURLOutput = nullptr;

    int URLCount() const;
    QStringList URLs() const;
    // Adds one link or says why not; false only when the user pressed Cancel.
    bool AddURL(const QString& link);
    void EmptyURLs();

    void ShowURLPageSettings();
    void StoreURLPageSettings();
    // Paste follows the clipboard: enabled exactly when it holds text.
    void SetClipboardHasText(bool hasText);
    void ActionListURLUpdate();

    void ActionURLPasteExecute();
    void ActionURLRemoveExecute();
    void ActionURLEmptyExecute();
    void ActionURLSelectExecute();
    void ListViewInputURLDblClick();
    void CheckBoxYouTubeQualityClick();
    void ButtonYouTubeQualityConfigClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowPreferenceSummary();
    bool clipboardHasText_ = false;
};
