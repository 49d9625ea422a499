#pragma once
// Step2: output folder, output class and format. The page's frame: the controls by name,
// the edition's button grid, the class and format choice and the copy to and from the
// settings. The preset lists of each format join the "Presets:" area with the catalogue.
#include <QWidget>
#include <array>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QToolButton;
struct TEditionConfig;

class TPageStep2 : public QWidget {
    Q_OBJECT
public:
    explicit TPageStep2(QWidget* parent = nullptr);

    QLineEdit* EditOutputDir = nullptr;
    QPushButton* ButtonSelectDir = nullptr;
    QLabel* LabelConvertTo = nullptr;
    std::array<QToolButton*, 3> ClassButtons{};      // ButtonToFormatVideo, ...Device, ...Audio
    QStackedWidget* RzPageControlToFormat = nullptr; // tabs video, device, audio; no headers
    std::array<QWidget*, 3> FormatTabs{};            // TabSheetToFormatVideo, ...Device, ...Audio
    std::array<QWidget*, 3> PresetAreas{};           // below "Presets:" on each tab

    // The format buttons of a class, in grid order.
    const std::vector<QToolButton*>& FormatButtonsOf(int formatClass) const { return formatButtons_[formatClass]; }

    // Visibility and places of the format and class buttons, and the format area's top.
    void ApplyEditionLayout(const TEditionConfig& config);

    void ShowOutputSettings();
    void StoreOutputSettings();

    // Class button pressed: that class is shown and stored.
    void ButtonToFormatClick(int formatClass);
    // Format button pressed: that format is selected and stored.
    void ButtonFormatClick(int formatClass, int index);
    void ButtonSelectDirClick();

signals:
    void FormatSelected(int formatClass, int index);

private:
    std::array<std::vector<QToolButton*>, 3> formatButtons_;
};
