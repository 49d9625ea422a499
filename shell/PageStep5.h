#pragma once
// Step5: the video links to download, the quality preference and the download folder.
// The page's frame with a plain link store; checking of links and the quality
// preference arrive with the download work.
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
    // Appends a link that is not in the list yet; false when it was there already.
    bool AddURL(const QString& link);
    void EmptyURLs();

    void ShowURLPageSettings();
    void StoreURLPageSettings();
    // Paste follows the clipboard: enabled exactly when it holds text.
    void SetClipboardHasText(bool hasText);

    void ActionURLPasteExecute();
    void ActionURLRemoveExecute();
    void ActionURLEmptyExecute();
    void ActionURLSelectExecute();
};
