#pragma once
// A combo box whose items carry a small picture, and whose drop-down list is always wide
// enough for its longest text: preset texts run far wider than the box on the page.
#include <QComboBox>
#include <QIcon>

class TImageComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TImageComboBox(QWidget* parent = nullptr);

    // Width the drop-down list needs to show every item whole.
    int PopupWidth() const;
    void showPopup() override;

private:
    // The box itself may be narrower than its text: the tool tip shows the whole choice.
    void UpdateToolTip();
};

// The small pictures of the preset lists, one per output class (0 video, 1 device, 2 audio),
// drawn in code.
QIcon PresetClassIcon(int formatClass);
