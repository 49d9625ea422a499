#pragma once
// Edition configuration: the edition file lame.dll beside the executable,
// the record EditionConfig, and the pure rules the main window applies at start-up:
// layout variants, format and class button packing, DVD buttons, settings folder (step 6),
// output seeds (step 4), and the three edition tables. QtCore only: the functions return
// positions and visibility; the shell applies them to its widgets.
#include "UtilFuncs.h"

#include <QPoint>
#include <QString>
#include <array>
#include <vector>

struct TAppSettings;

inline const QString EditionFileName = QStringLiteral("lame.dll");
inline const QString EditionSection = QStringLiteral("SYSTEM");
// Title of the default edition (the edition file the build places beside the executable).
inline const QString DefaultEditionTitle = QStringLiteral("vornic");

enum TFormatClass : int { fcVideo = 0, fcDevice = 1, fcAudio = 2 };
inline constexpr int FormatClassCount = 3;

// The 24 format buttons: edition-file key, class, index within the class (= position in
// the tab's grid order = the value of OutputVideo/Device/AudioFormat), button objectName.
struct TFormatButtonInfo {
    const char* Key;
    TFormatClass Class;
    int Index;
    const char* ButtonName;
};
inline constexpr int FormatButtonCount = 24;
// In class order (video, device, audio) and, within a class, in grid order.
extern const std::array<TFormatButtonInfo, FormatButtonCount> FormatButtons;
// Number of formats per class: 9, 7, 8.
int FormatCountOfClass(TFormatClass cls);
// objectName of the class button: "ButtonToFormatVideo", "...Device", "...Audio".
const char* ClassButtonName(TFormatClass cls);

struct TEditionConfig {
    QString Name;            // edition title
    QString Version;
    bool Download = true;
    bool Video = true;       // read, no behaviour depends on it
    QString Res;             // suffix of the skin folder "sounds/res"
    // One flag per entry of FormatButtons (same order): the button is shown.
    std::array<bool, FormatButtonCount> Formats{};
    int DefaultVideo = 0;
    int DefaultDevice = 0;
    int DefaultAudio = 0;
    int DefaultClass = 0;
    QString Skin = QStringLiteral("0");
    bool DVD = true;
    bool Merge = false;
    QString Copyright;       // read by the about boxes only

    bool FormatEnabled(TFormatClass cls, int index) const;
    void SetFormatEnabled(TFormatClass cls, int index, bool on);
    // Enabled flag by edition-file key ("AVI", "IPOD", "MP3", ...; case-insensitive).
    bool FormatEnabled(const QString& key) const;
};

// The global record, filled once at start-up (step 4) and read-only afterwards.
extern TEditionConfig EditionConfig;

// Reads folder/lame.dll (section "SYSTEM"). A missing or unreadable file = no keys: every
// field keeps its default. *report receives a line for the log window when the file
// exists but cannot be read (nothing for a missing file).
TEditionConfig ReadEditionConfig(const QString& folder, QString* report = nullptr);
// Only the title (start-up step 1).
QString ReadEditionTitle(const QString& folder);

// ---- Layout variants (Skin) ----------------------------------------------------------
struct TRgb {
    quint8 R = 0, G = 0, B = 0;
    bool operator==(const TRgb&) const = default;
};
inline constexpr TRgb LabelGrey{128, 128, 128};
inline constexpr TRgb LabelWhite{255, 255, 255};

struct TLayoutVariant {
    QPoint ButtonMin, ButtonClose, ButtonHelp, ButtonLog, ButtonBack, ButtonNext, ButtonExit;
    QPoint PageControlMain;  // page area
    QPoint LabelTitle;
    TRgb LabelColor;         // font colour of LabelVersion and LabelMoreTools
    int HelpMenuOffset = 0;  // added to the x at which the Help menu opens
};
// Variants 0, 1, 2 of the table.
extern const std::array<TLayoutVariant, 3> LayoutVariants;
// Positions of variant 0, grey labels, offset 0 (any other Skin value).
extern const TLayoutVariant DesignedLayout;
// The variant for a Skin text: an integer 0..2 (INI integer conventions) selects the
// variant; anything else (other integers, non-numeric text) the designed layout.
const TLayoutVariant& LayoutForSkin(const QString& skin);

// Skin image folder: exeDir/ + "sounds/res" + Res + "/".
QString SkinImageDir(const QString& exeDir, const QString& res);

// ---- DVD ------------------------------------------------------------------------------
struct TDvdButtonsLayout {
    bool LoadDvdVisible;     // ActionLoadDVD (and ButtonAddDVD with it)
    int ButtonAddDVDTop;
    int ButtonAddTop;
};
TDvdButtonsLayout DvdButtonsLayout(bool dvd);

// ---- Format and class buttons ---------------------------------------------------------
// Grid of the format tabs: top 5, left 10, cell 62 x 57, gaps 2 and 3.
inline constexpr int FormatGridTop = 5, FormatGridLeft = 10, FormatCellWidth = 62,
                     FormatCellHeight = 57, FormatGapH = 2, FormatGapV = 3;
// Grid of the class buttons on Step2: top 135, left 18, cell 171 x 32, no gaps.
inline constexpr int ClassGridTop = 135, ClassGridLeft = 18, ClassCellWidth = 171,
                     ClassCellHeight = 32;
inline constexpr int FormatAreaTopSingleClass = 120, FormatAreaTopDefault = 172;

struct TButtonPlacement {
    bool Visible = false;
    TCellRect Rect;          // meaningful when Visible
};

// The buttons of one tab, indexed like the class's formats (= grid order); the visible
// ones are packed by GridCellRect with their running index among the visible buttons.
std::vector<TButtonPlacement> LayoutFormatButtons(const TEditionConfig& config, TFormatClass cls,
                                                  int tabWidth);

struct TClassButtonsLayout {
    std::array<TButtonPlacement, FormatClassCount> Buttons;  // video, device, audio
    int FormatAreaTop = FormatAreaTopDefault;                // top of RzPageControlToFormat
};
// A class without a visible format hides its button; the rest are packed in the order
// video, device, audio across `step2Width`. Exactly one left: all three hidden, area
// top 120; otherwise area top 172.
TClassButtonsLayout LayoutClassButtons(const TEditionConfig& config, int step2Width);

// ---- Settings folder and seeds ----------------------------------------------------------
// Step 6: AppData/ + title with every "/" replaced by a space + "/"; created when missing
// (one level only); when it neither exists nor can be created, AppData/ itself. An empty
// title gives AppData/ itself.
QString MakeSettingsDir(const QString& editionTitle);

// Step 4 seeds: OutputVideo/Device/AudioFormat = low 8 bits of the Default* keys;
// OutputFormatClass = DefaultClass when it is 0, 1 or 2, else 0.
void SeedOutputSettings(const TEditionConfig& config, TAppSettings& settings);

// After the settings are loaded: a class or format the edition does not offer (a DefaultClass
// naming another class than the only one offered, a value stored by another edition) would
// open Step2 on a tab or list without its button and no way back. Such a value becomes the
// first class or format the edition offers; an edition that offers none is left alone.
void FitOutputSettingsToEdition(const TEditionConfig& config, TAppSettings& settings);

// ---- Edition tables (exact, case-sensitive titles) ----------------------------------------
// Icon table: edition title -> icon name (the shell loads the resource ":/icons/<name>.png");
// empty for a title not in the table (keep the executable's default icon).
QString EditionIconName(const QString& title);
// Reduced-frame table: LabelVersion, LabelMoreTools, ButtonHelp and ButtonLog are hidden.
bool IsReducedFrameEdition(const QString& title);

struct TToolsWording {
    QString LabelMoreTools;       // "more tools..." or "more free tools..."
    QString ActionMoreFreeTools;  // "More Tools..." or "More Free Tools..."
};
// Wording table: titles in it read "more tools..."/"More Tools...", all others the free wording.
TToolsWording ToolsWording(const QString& title);

// The rows, for tests and the about boxes.
struct TEditionIconRow { const char* Title; const char* Icon; };
extern const std::vector<TEditionIconRow> EditionIconTable;
extern const std::vector<const char*> ReducedFrameEditions;
extern const std::vector<const char*> ShortWordingEditions;
