#pragma once
// The quality preference dialog: the eight slots as rows, reordered with Up and Down, or set
// at once to the default or the best-available order.
#include "YouTubeQuality.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;

class TFormYouTubeHQ : public QDialog {
    Q_OBJECT
public:
    // order: the preference, changed at once by "&Default" and "&Best Available", and from
    // the rows by "&OK".
    TFormYouTubeHQ(TPreferenceSlots& order, QWidget* parent = nullptr);

    QTreeWidget* ListViewYouTubeHQ = nullptr;
    QPushButton* ButtonUp = nullptr;
    QPushButton* ButtonDown = nullptr;
    QPushButton* ButtonDefault = nullptr;
    QPushButton* ButtonBestAvailable = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr;

    void FillList();
    void ButtonUpClick();
    void ButtonDownClick();
    void ButtonDefaultClick();
    void ButtonBestAvailableClick();
    void ButtonOKClick();

private:
    void MoveSelected(int step);
    TPreferenceSlots& order_;
};
