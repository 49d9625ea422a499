#pragma once
// Step2: output folder, output class, format and preset. The controls by name, the edition's
// button grid, the 24 preset lists filled from the catalogue, and the copy of the choice to
// and from the settings.
#include <QWidget>
#include <array>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QToolButton;
class TImageComboBox;
struct TEditionConfig;

class TPageStep2 : public QWidget {
    Q_OBJECT
public:
    explicit TPageStep2(QWidget* parent = nullptr);

    QLineEdit* EditOutputDir = nullptr;
    QPushButton* ButtonSelectDir = nullptr;
    // Files converted at the same time (0 = "Auto", one per core); hidden in join editions,
    // which make one output of all.
    QLabel* LabelConversionJobs = nullptr;
    QSpinBox* SpinBoxConversionJobs = nullptr;
    QLabel* LabelConvertTo = nullptr;
    std::array<QToolButton*, 3> ClassButtons{};      // ButtonToFormatVideo, ...Device, ...Audio
    QStackedWidget* RzPageControlToFormat = nullptr; // tabs video, device, audio; no headers
    std::array<QWidget*, 3> FormatTabs{};            // TabSheetToFormatVideo, ...Device, ...Audio
    std::array<QWidget*, 3> PresetAreas{};           // below "Presets:" on each tab
    // The preset lists of a class lie on top of each other; the selected format's is in front.
    std::array<QStackedWidget*, 3> PresetStacks{};

    // The format buttons of a class, in grid order.
    const std::vector<QToolButton*>& FormatButtonsOf(int formatClass) const { return formatButtons_[formatClass]; }

    // The preset list of a format (ImageComboBox<Format>Presets); null outside the tables.
    TImageComboBox* PresetListOf(int formatClass, int index) const;
    // All 24 lists, class by class, each class in format order.
    const std::vector<TImageComboBox*>& PresetLists() const { return presetLists_; }

    // Fills the 24 lists with the catalogue's texts in table order (again from scratch when
    // called a second time). The constructor calls it.
    void FillPresetLists();

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
    std::vector<TImageComboBox*> presetLists_;
};
