// Step2 page: the 24 preset lists, the class and format buttons, the copy of the choice to and
// from the settings, and the folder picker.
#include "PageStep2.h"

#include "AppSettings.h"
#include "EditionConfig.h"
#include "FakeDesktop.h"
#include "ImageComboBox.h"
#include "PresetCatalogue.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

class Step2Test : public ::testing::Test {
protected:
    void SetUp() override { AppSettings = TAppSettings{}; }
    void TearDown() override { AppSettings = TAppSettings{}; }

    TImageComboBox* List(const char* name) const
    {
        return Page.findChild<TImageComboBox*>(QString::fromLatin1(name));
    }
    QToolButton* Button(const char* name) const
    {
        return Page.findChild<QToolButton*>(QString::fromLatin1(name));
    }
    // Names of the buttons of a class that are enabled.
    QStringList EnabledFormatButtons(int formatClass) const
    {
        QStringList names;
        for (QToolButton* b : Page.FormatButtonsOf(formatClass))
            if (b->isEnabled())
                names << b->objectName();
        return names;
    }

    TPageStep2 Page;
};

TEST_F(Step2Test, PresetListsHoldTheCatalogueInTableOrder)
{
    ASSERT_EQ(Page.PresetLists().size(), 24u);
    int total = 0;
    for (const TOutputFormat& format : OutputFormats()) {
        SCOPED_TRACE(format.Name);
        TImageComboBox* list = List(format.PresetList);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list, Page.PresetListOf(format.FormatClass, format.Index));
        // The lists of a class share one place below that class's "Presets:".
        EXPECT_EQ(list->parentWidget(), Page.PresetStacks[format.FormatClass]);
        EXPECT_TRUE(Page.FormatTabs[format.FormatClass]->isAncestorOf(list));
        ASSERT_EQ(list->count(), int(format.Presets.size()));
        for (int i = 0; i < list->count(); ++i) {
            EXPECT_EQ(list->itemText(i), QString::fromLatin1(format.Presets[size_t(i)].Text));
            EXPECT_FALSE(list->itemIcon(i).isNull());
        }
        total += list->count();
    }
    EXPECT_EQ(total, 177);

    // Verbatim, odd spellings and spaces included.
    EXPECT_EQ(List("ImageComboBoxAVIPresets")->itemText(21), "Nindendo Wii Clip");
    EXPECT_EQ(List("ImageComboBoxiPodPresets")->itemText(1),
              "iPod Touch High Quality (H264, 30 fps, 480x320, 2500 kbps; AAC - 160 kbps) ");
    EXPECT_EQ(List("ImageComboBoxRMPresets")->itemText(3), "RM - Low Quality  - (256 kbps, Original)");
    EXPECT_EQ(List("ImageComboBoxWAVPresets")->itemText(2), "FM Radio Quality - PCM: 22050 Hz, Sterro, 24 bits");
    EXPECT_EQ(List("ImageComboBoxWMAPresets")->itemText(4), "WMA Losslesss Audio");
    EXPECT_EQ(List("ImageComboBoxMP4Presets")->itemText(3), "Apple iPhone/iTouch - (H.264,640x420)");
    EXPECT_EQ(List("ImageComboBoxFLACPresets")->itemText(5), "Compression Level 5 (Default)");
    EXPECT_EQ(List("ImageComboBox3GPPresets")->itemText(4),
              "3GPP - Mobile Smallest Size with Audio - (MPEG4, 44 kbps, 128x96, 10 fps; AMR)");

    // Filling again replaces the items instead of adding to them.
    Page.FillPresetLists();
    EXPECT_EQ(List("ImageComboBoxAVIPresets")->count(), 29);
    EXPECT_EQ(List("ImageComboBoxMP2Presets")->count(), 3);

    // The drop-down is wide enough for the longest text, wider than the box on the page.
    TImageComboBox* avi = List("ImageComboBoxAVIPresets");
    const QFontMetrics metrics(avi->view()->font());
    int widest = 0;
    for (int i = 0; i < avi->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(avi->itemText(i)));
    EXPECT_GT(avi->PopupWidth(), widest + avi->iconSize().width());
    avi->setCurrentIndex(12);
    EXPECT_EQ(avi->toolTip(), avi->itemText(12));
}

TEST_F(Step2Test, PressedButtonIsTheDisabledOneOfItsGroup)
{
    Button("ButtonToFormatDevice")->click();
    EXPECT_FALSE(Page.ClassButtons[fcDevice]->isEnabled());
    EXPECT_TRUE(Page.ClassButtons[fcVideo]->isEnabled());
    EXPECT_TRUE(Page.ClassButtons[fcAudio]->isEnabled());
    EXPECT_EQ(Page.RzPageControlToFormat->currentWidget(), Page.FormatTabs[fcDevice]);
    EXPECT_EQ(AppSettings.OutputFormatClass, fcDevice);

    Button("ButtonToFormatAudio")->click();
    EXPECT_TRUE(Page.ClassButtons[fcDevice]->isEnabled());
    EXPECT_FALSE(Page.ClassButtons[fcAudio]->isEnabled());
    EXPECT_EQ(AppSettings.OutputFormatClass, fcAudio);

    // Buttons the edition hides take part too.
    Button("ButtonFormatMP3")->click();
    EXPECT_EQ(EnabledFormatButtons(fcAudio),
              QStringList({"ButtonFormatWAV", "ButtonFormatWMA", "ButtonFormatOGG", "ButtonFormatAAC",
                           "ButtonFormatM4A", "ButtonFormatFLAC", "ButtonFormatMP2"}));
    EXPECT_EQ(Page.PresetStacks[fcAudio]->currentWidget(), List("ImageComboBoxMP3Presets"));
    EXPECT_EQ(AppSettings.OutputAudioFormat, 1);

    Button("ButtonFormatFLAC")->click();
    EXPECT_TRUE(Button("ButtonFormatMP3")->isEnabled());
    EXPECT_FALSE(Button("ButtonFormatFLAC")->isEnabled());
    EXPECT_EQ(Page.PresetStacks[fcAudio]->currentWidget(), List("ImageComboBoxFLACPresets"));
    EXPECT_EQ(AppSettings.OutputAudioFormat, 6);

    // Another class's buttons and stored format are left alone.
    Button("ButtonFormatiPad")->click();
    EXPECT_FALSE(Button("ButtonFormatFLAC")->isEnabled());
    EXPECT_EQ(EnabledFormatButtons(fcDevice).size(), 6);
    EXPECT_EQ(Page.PresetStacks[fcDevice]->currentWidget(), List("ImageComboBoxiPadPresets"));
    EXPECT_EQ(AppSettings.OutputDeviceFormat, 6);
    EXPECT_EQ(AppSettings.OutputAudioFormat, 6);
    EXPECT_EQ(AppSettings.OutputVideoFormat, 0);
}

TEST_F(Step2Test, ShowAndStoreRoundTrip)
{
    QList<QPair<int, int>> pressed;
    QObject::connect(&Page, &TPageStep2::FormatSelected, [&](int c, int i) { pressed.append({c, i}); });

    AppSettings.OutputFileDir = "/media/out/";
    AppSettings.OutputFormatClass = fcAudio;
    AppSettings.OutputAudioFormat = 3;  // OGG
    AppSettings.OutputVideoFormat = 7;  // MOV
    AppSettings.OutputDeviceFormat = 5; // MobilePhone
    AppSettings.OutputOGGPreset = 4;
    AppSettings.OutputMOVPreset = 9;    // the last of its list
    AppSettings.OutputAVIPreset = 29;   // one past the end
    AppSettings.OutputMP3Preset = -1;
    AppSettings.OutputWMVPreset = -7;
    AppSettings.OutputiPodPreset = 0;
    Page.ShowOutputSettings();

    EXPECT_EQ(Page.EditOutputDir->text(), "/media/out/");
    EXPECT_FALSE(Page.ClassButtons[fcAudio]->isEnabled());
    EXPECT_EQ(Page.RzPageControlToFormat->currentWidget(), Page.FormatTabs[fcAudio]);
    // Audio, then video, then device.
    EXPECT_EQ(pressed, (QList<QPair<int, int>>{{fcAudio, 3}, {fcVideo, 7}, {fcDevice, 5}}));
    EXPECT_FALSE(Button("ButtonFormatOGG")->isEnabled());
    EXPECT_FALSE(Button("ButtonFormatMOV")->isEnabled());
    EXPECT_FALSE(Button("ButtonFormatMobilePhone")->isEnabled());
    EXPECT_EQ(Page.PresetStacks[fcAudio]->currentWidget(), List("ImageComboBoxOGGPresets"));
    EXPECT_EQ(Page.PresetStacks[fcVideo]->currentWidget(), List("ImageComboBoxMOVPresets"));
    EXPECT_EQ(Page.PresetStacks[fcDevice]->currentWidget(), List("ImageComboBoxMobilePhonePresets"));

    EXPECT_EQ(List("ImageComboBoxOGGPresets")->currentIndex(), 4);
    EXPECT_EQ(List("ImageComboBoxMOVPresets")->currentIndex(), 9);
    EXPECT_EQ(List("ImageComboBoxAVIPresets")->currentIndex(), -1);
    EXPECT_EQ(List("ImageComboBoxMP3Presets")->currentIndex(), -1);
    EXPECT_EQ(List("ImageComboBoxWMVPresets")->currentIndex(), -1);
    EXPECT_EQ(List("ImageComboBoxiPodPresets")->currentIndex(), 0);
    EXPECT_EQ(List("ImageComboBoxiPadPresets")->currentIndex(), AppSettings.OutputiPadPreset);

    // The user changes the folder (without a separator) and two presets.
    Page.EditOutputDir->setText("/media/other");
    List("ImageComboBoxOGGPresets")->setCurrentIndex(1);
    List("ImageComboBoxMP3Presets")->setCurrentIndex(3);
    const TAppSettings before = AppSettings;
    Page.StoreOutputSettings();
    EXPECT_EQ(AppSettings.OutputFileDir, "/media/other/");
    EXPECT_EQ(AppSettings.OutputOGGPreset, 1);
    EXPECT_EQ(AppSettings.OutputMP3Preset, 3);
    EXPECT_EQ(AppSettings.OutputMOVPreset, 9);
    EXPECT_EQ(AppSettings.OutputiPodPreset, 0);
    // Keys the lists could not show come back as "nothing selected".
    EXPECT_EQ(AppSettings.OutputAVIPreset, -1);
    EXPECT_EQ(AppSettings.OutputWMVPreset, -1);
    // Every key comes from its own list.
    for (const TOutputFormat& format : OutputFormats())
        EXPECT_EQ(AppSettings.*(format.PresetKey), List(format.PresetList)->currentIndex()) << format.Name;
    EXPECT_EQ(AppSettings.OutputFormatClass, before.OutputFormatClass);

    // Stored, shown again: the same choice.
    const TAppSettings stored = AppSettings;
    Page.ShowOutputSettings();
    Page.StoreOutputSettings();
    EXPECT_EQ(AppSettings, stored);
}

TEST_F(Step2Test, FilesAtOnceShowsAutoWithItsCountAndIsStored)
{
    QSpinBox* jobs = Page.findChild<QSpinBox*>("SpinBoxConversionJobs");
    ASSERT_NE(jobs, nullptr);
    EXPECT_EQ(Page.LabelConversionJobs->text(), "Files converted at once:");

    AppSettings.ConversionJobs = 0;
    Page.ShowOutputSettings();
    EXPECT_EQ(jobs->text(), QStringLiteral("Auto (%1)").arg(ConversionJobsForRun(0)));

    // A value set by hand in memory beyond the range is shown as the largest count.
    AppSettings.ConversionJobs = 500;
    Page.ShowOutputSettings();
    EXPECT_EQ(jobs->value(), MaxConversionJobs);

    jobs->setValue(3);
    EXPECT_EQ(AppSettings.ConversionJobs, 3) << "kept at once, also when the user goes Back";
    AppSettings.ConversionJobs = 0;
    Page.StoreOutputSettings();
    EXPECT_EQ(AppSettings.ConversionJobs, 3);
    jobs->setValue(jobs->minimum());
    EXPECT_EQ(AppSettings.ConversionJobs, 0);
}

TEST_F(Step2Test, JoinEditionsHaveNoFilesAtOnce)
{
    TEditionConfig config;
    config.Merge = true;
    Page.ApplyEditionLayout(config);
    EXPECT_FALSE(Page.SpinBoxConversionJobs->isVisibleTo(&Page));
    EXPECT_FALSE(Page.LabelConversionJobs->isVisibleTo(&Page));
    config.Merge = false;
    Page.ApplyEditionLayout(config);
    EXPECT_TRUE(Page.SpinBoxConversionJobs->isVisibleTo(&Page));
}

TEST_F(Step2Test, OutOfRangeClassAndFormatsPressNothing)
{
    Button("ButtonToFormatVideo")->click();
    Button("ButtonFormatFLV")->click();
    Button("ButtonFormatWAV")->click();

    AppSettings.OutputFormatClass = 3;
    AppSettings.OutputVideoFormat = 9;
    AppSettings.OutputAudioFormat = 200;
    AppSettings.OutputDeviceFormat = 1; // iPhone: still pressed
    Page.ShowOutputSettings();

    EXPECT_FALSE(Page.ClassButtons[fcVideo]->isEnabled());
    EXPECT_TRUE(Page.ClassButtons[fcDevice]->isEnabled());
    EXPECT_EQ(Page.RzPageControlToFormat->currentWidget(), Page.FormatTabs[fcVideo]);
    EXPECT_FALSE(Button("ButtonFormatFLV")->isEnabled());
    EXPECT_FALSE(Button("ButtonFormatWAV")->isEnabled());
    EXPECT_FALSE(Button("ButtonFormatiPhone")->isEnabled());
    EXPECT_EQ(Page.PresetStacks[fcVideo]->currentWidget(), List("ImageComboBoxFLVPresets"));
    // Nothing pressed, nothing stored over the values read.
    EXPECT_EQ(AppSettings.OutputFormatClass, 3);
    EXPECT_EQ(AppSettings.OutputVideoFormat, 9);
    EXPECT_EQ(AppSettings.OutputAudioFormat, 200);
}

// Records what the folder picker was asked.
class FolderDesktop : public FakeDesktop {
public:
    QStringList titles, startFolders;
    bool BrowseForFolder(const QString& title, const QString& root, QString& folder) override
    {
        titles << title;
        startFolders << folder;
        return FakeDesktop::BrowseForFolder(title, root, folder);
    }
};

TEST_F(Step2Test, SelectFolderChosenOrCancelled)
{
    auto* fake = new FolderDesktop;
    auto previous = SetDesktopServices(std::unique_ptr<IDesktopServices>(fake));

    AppSettings.OutputFileDir = "/media/before/";
    Page.EditOutputDir->setText("/media/before/");
    fake->folderAnswers = {"/media/picked", ""};

    Page.ButtonSelectDir->click();
    EXPECT_EQ(fake->titles, QStringList{"Please select a folder"});
    EXPECT_EQ(fake->startFolders, QStringList{"/media/before/"});
    EXPECT_EQ(Page.EditOutputDir->text(), "/media/picked/");
    EXPECT_EQ(AppSettings.OutputFileDir, "/media/picked/");

    // Cancel changes nothing, not even a folder typed but not yet stored.
    Page.EditOutputDir->setText("/media/typed");
    Page.ButtonSelectDir->click();
    EXPECT_EQ(fake->startFolders.value(1), "/media/picked/");
    EXPECT_EQ(Page.EditOutputDir->text(), "/media/typed");
    EXPECT_EQ(AppSettings.OutputFileDir, "/media/picked/");

    SetDesktopServices(std::move(previous));
}

} // namespace
