#include "PageStep2.h"

#include "AppSettings.h"
#include "EditionConfig.h"
#include "ImageComboBox.h"
#include "PresetCatalogue.h"
#include "UtilFuncs.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int FormatAreaLeft = 10, FormatAreaWidth = 540, FormatAreaBottom = 424;
const char* const TabNames[3] = {"TabSheetToFormatVideo", "TabSheetToFormatDevice", "TabSheetToFormatAudio"};
const char* const ClassCaptions[3] = {"Video", "Device", "Audio"};

// Display text of a format button: the key, with the device names spelt as users know them.
QString FormatCaption(const TFormatButtonInfo& info)
{
    QString name = QString::fromLatin1(info.ButtonName).mid(int(qstrlen("ButtonFormat")));
    if (name == u"MobilePhone")
        return QStringLiteral("Mobile\nPhone");
    if (name == u"BlackBerry")
        return QStringLiteral("Black\nBerry");
    if (name == u"AppleTV")
        return QStringLiteral("Apple\nTV");
    return name;
}

quint8& StoredFormat(int formatClass)
{
    switch (formatClass) {
    case fcDevice: return AppSettings.OutputDeviceFormat;
    case fcAudio: return AppSettings.OutputAudioFormat;
    default: return AppSettings.OutputVideoFormat;
    }
}

} // namespace

TPageStep2::TPageStep2(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheetStep2"));
    resize(560, 430);

    auto* labelDir = new QLabel(tr("Output directory:"), this);
    labelDir->setObjectName(QStringLiteral("LabelOutputDir"));
    labelDir->setGeometry(18, 10, 300, 20);
    EditOutputDir = new QLineEdit(this);
    EditOutputDir->setObjectName(QStringLiteral("EditOutputDir"));
    EditOutputDir->setGeometry(18, 34, 410, 28);
    ButtonSelectDir = new QPushButton(tr("Select..."), this);
    ButtonSelectDir->setObjectName(QStringLiteral("ButtonSelectDir"));
    ButtonSelectDir->setGeometry(436, 34, 106, 28);
    connect(ButtonSelectDir, &QPushButton::clicked, this, &TPageStep2::ButtonSelectDirClick);

    LabelConversionJobs = new QLabel(tr("Files converted at once:"), this);
    LabelConversionJobs->setObjectName(QStringLiteral("LabelConversionJobs"));
    LabelConversionJobs->setGeometry(18, 74, 180, 24);
    SpinBoxConversionJobs = new QSpinBox(this);
    SpinBoxConversionJobs->setObjectName(QStringLiteral("SpinBoxConversionJobs"));
    SpinBoxConversionJobs->setGeometry(200, 72, 120, 28);
    SpinBoxConversionJobs->setRange(0, MaxConversionJobs);
    // The count auto stands for on this machine, so the choice is not a guess.
    SpinBoxConversionJobs->setSpecialValueText(tr("Auto (%1)").arg(ConversionJobsForRun(0)));
    LabelConversionJobs->setBuddy(SpinBoxConversionJobs);
    connect(SpinBoxConversionJobs, &QSpinBox::valueChanged, this,
            [](int jobs) { AppSettings.ConversionJobs = NormalizedConversionJobs(jobs); });

    LabelConvertTo = new QLabel(tr("Convert to:"), this);
    LabelConvertTo->setObjectName(QStringLiteral("LabelConvertTo"));
    LabelConvertTo->setGeometry(18, 110, 300, 20);

    for (int c = 0; c < FormatClassCount; ++c) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(ClassButtonName(TFormatClass(c))));
        button->setText(tr(ClassCaptions[c]));
        button->setProperty("classButton", true);
        connect(button, &QToolButton::clicked, this, [this, c] { ButtonToFormatClick(c); });
        ClassButtons[c] = button;
    }

    RzPageControlToFormat = new QStackedWidget(this);
    RzPageControlToFormat->setObjectName(QStringLiteral("RzPageControlToFormat"));
    RzPageControlToFormat->setGeometry(FormatAreaLeft, FormatAreaTopDefault, FormatAreaWidth,
                                       FormatAreaBottom - FormatAreaTopDefault);
    for (int c = 0; c < FormatClassCount; ++c) {
        auto* tab = new QWidget;
        tab->setObjectName(QString::fromLatin1(TabNames[c]));
        tab->setWindowTitle(tr(ClassCaptions[c]));
        tab->resize(FormatAreaWidth, RzPageControlToFormat->height());
        RzPageControlToFormat->addWidget(tab);
        FormatTabs[c] = tab;
        auto* presetsLabel = new QLabel(tr("Presets:"), tab);
        presetsLabel->setObjectName(QStringLiteral("LabelPresets%1").arg(ClassCaptions[c]));
        auto* presets = new QWidget(tab);
        presets->setObjectName(QStringLiteral("PanelPresets%1").arg(ClassCaptions[c]));
        PresetAreas[c] = presets;
        auto* stack = new QStackedWidget(presets);
        stack->setObjectName(QStringLiteral("StackPresets%1").arg(ClassCaptions[c]));
        auto* layout = new QVBoxLayout(presets);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(stack);
        PresetStacks[c] = stack;
    }
    for (const TOutputFormat& format : OutputFormats()) {
        auto* list = new TImageComboBox;
        list->setObjectName(QString::fromLatin1(format.PresetList));
        PresetStacks[format.FormatClass]->addWidget(list);
        presetLists_.push_back(list);
    }
    FillPresetLists();
    for (const TFormatButtonInfo& info : FormatButtons) {
        auto* button = new QToolButton(FormatTabs[info.Class]);
        button->setObjectName(QString::fromLatin1(info.ButtonName));
        button->setText(FormatCaption(info));
        button->setProperty("formatButton", true);
        button->setVisible(false);
        const int c = info.Class, index = info.Index;
        connect(button, &QToolButton::clicked, this, [this, c, index] { ButtonFormatClick(c, index); });
        formatButtons_[c].push_back(button);
    }
}

TImageComboBox* TPageStep2::PresetListOf(int formatClass, int index) const
{
    const TOutputFormat* format = FindOutputFormat(formatClass, index);
    if (!format)
        return nullptr;
    const auto all = OutputFormats();
    return presetLists_[size_t(format - all.data())];
}

void TPageStep2::FillPresetLists()
{
    const auto formats = OutputFormats();
    for (size_t i = 0; i < formats.size() && i < presetLists_.size(); ++i) {
        TImageComboBox* list = presetLists_[i];
        const QSignalBlocker quiet(list);
        list->clear();
        const QIcon icon = PresetClassIcon(formats[i].FormatClass);
        for (const QString& text : PresetListTexts(formats[i]))
            list->addItem(icon, text);
        list->setCurrentIndex(-1);
    }
}

void TPageStep2::ApplyEditionLayout(const TEditionConfig& config)
{
    for (int c = 0; c < FormatClassCount; ++c) {
        const auto places = LayoutFormatButtons(config, TFormatClass(c), FormatAreaWidth);
        int rowsBottom = 0;
        for (size_t i = 0; i < places.size() && i < formatButtons_[c].size(); ++i) {
            QToolButton* button = formatButtons_[c][i];
            button->setVisible(places[i].Visible);
            if (places[i].Visible) {
                button->setGeometry(places[i].Rect.Left, places[i].Rect.Top, FormatCellWidth, FormatCellHeight);
                rowsBottom = std::max(rowsBottom, places[i].Rect.Top + FormatCellHeight);
            }
        }
        // "Presets:" and the lists sit below the last row of buttons.
        QWidget* tab = FormatTabs[c];
        const int top = std::max(rowsBottom, FormatGridTop) + 10;
        tab->findChild<QLabel*>()->setGeometry(FormatGridLeft, top, 200, 20);
        PresetAreas[c]->setGeometry(FormatGridLeft, top + 22, FormatAreaWidth - 2 * FormatGridLeft, 32);
    }
    const TClassButtonsLayout classes = LayoutClassButtons(config, width() > 0 ? width() : 560);
    bool anyClass = false;
    for (const TButtonPlacement& b : classes.Buttons)
        anyClass = anyClass || b.Visible;
    // Without a class to choose the caption would label nothing (and the area moves up).
    LabelConvertTo->setVisible(anyClass);
    LabelConversionJobs->setVisible(!config.Merge);
    SpinBoxConversionJobs->setVisible(!config.Merge);
    for (int c = 0; c < FormatClassCount; ++c) {
        ClassButtons[c]->setVisible(classes.Buttons[c].Visible);
        if (classes.Buttons[c].Visible)
            ClassButtons[c]->setGeometry(classes.Buttons[c].Rect.Left, classes.Buttons[c].Rect.Top,
                                         ClassCellWidth, ClassCellHeight);
    }
    RzPageControlToFormat->setGeometry(FormatAreaLeft, classes.FormatAreaTop, FormatAreaWidth,
                                       FormatAreaBottom - classes.FormatAreaTop);
}

void TPageStep2::ButtonToFormatClick(int formatClass)
{
    if (formatClass < 0 || formatClass >= FormatClassCount)
        return;
    for (int c = 0; c < FormatClassCount; ++c)
        ClassButtons[c]->setEnabled(c != formatClass);
    RzPageControlToFormat->setCurrentIndex(formatClass);
    AppSettings.OutputFormatClass = quint8(formatClass);
}

void TPageStep2::ButtonFormatClick(int formatClass, int index)
{
    if (formatClass < 0 || formatClass >= FormatClassCount)
        return;
    const auto& buttons = formatButtons_[formatClass];
    if (index < 0 || index >= int(buttons.size()))
        return;
    for (int i = 0; i < int(buttons.size()); ++i)
        buttons[i]->setEnabled(i != index);
    if (TImageComboBox* list = PresetListOf(formatClass, index))
        PresetStacks[formatClass]->setCurrentWidget(list);
    StoredFormat(formatClass) = quint8(index);
    emit FormatSelected(formatClass, index);
}

void TPageStep2::ShowOutputSettings()
{
    EditOutputDir->setText(AppSettings.OutputFileDir);
    SpinBoxConversionJobs->setValue(NormalizedConversionJobs(AppSettings.ConversionJobs));
    ButtonToFormatClick(AppSettings.OutputFormatClass);
    ButtonFormatClick(fcAudio, AppSettings.OutputAudioFormat);
    ButtonFormatClick(fcVideo, AppSettings.OutputVideoFormat);
    ButtonFormatClick(fcDevice, AppSettings.OutputDeviceFormat);
    const auto formats = OutputFormats();
    for (size_t i = 0; i < formats.size() && i < presetLists_.size(); ++i) {
        const qint32 key = AppSettings.*(formats[i].PresetKey);
        // A key the list does not have (an old or edited settings file) selects nothing.
        presetLists_[i]->setCurrentIndex(key >= 0 && key < presetLists_[i]->count() ? key : -1);
    }
}

void TPageStep2::StoreOutputSettings()
{
    AppSettings.OutputFileDir = WithTrailingBackslash(EditOutputDir->text());
    AppSettings.ConversionJobs = SpinBoxConversionJobs->value();
    const auto formats = OutputFormats();
    for (size_t i = 0; i < formats.size() && i < presetLists_.size(); ++i)
        AppSettings.*(formats[i].PresetKey) = presetLists_[i]->currentIndex();
}

void TPageStep2::ButtonSelectDirClick()
{
    QString folder = AppSettings.OutputFileDir;
    if (!BrowseForFolder(folder, QStringLiteral("Please select a folder"), BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE))
        return;
    EditOutputDir->setText(WithTrailingBackslash(folder));
    AppSettings.OutputFileDir = EditOutputDir->text();
}
