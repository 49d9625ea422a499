#pragma once
// Settings store: the global record AppSettings, persisted in section
// "System" of system.dat in SettingsDir, and the window placements ("Form", "FormLog").
// QtCore only; placements are plain records that the shell applies to its widgets.
//
// Failures never throw: the functions return what they could do and a text for the log
// window describing what they could not do (unwritable folder, unreadable file, values
// that were not numbers and were replaced by the defaults).
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <array>

inline const QString SettingsFileName = QStringLiteral("system.dat");
inline const QString SettingsSection = QStringLiteral("System");
inline const QString MainFormSection = QStringLiteral("Form");
inline const QString LogFormSection = QStringLiteral("FormLog");

// Number of quality preference slots (keys PreferYouTube1..7 and PreferYouTube18).
inline constexpr int PreferYouTubeSlots = 8;

struct TAppSettings {
    // Folders; default the shell folder "Personal" (set at start-up, step 7).
    QString LastOpenDir;
    QString OutputFileDir;    // ends with the separator once stored from Step2
    QString OutputURLDir;     // same

    // Selected class (0 video, 1 device, 2 audio) and format per class; seeded by the edition.
    quint8 OutputFormatClass = 0;
    quint8 OutputAudioFormat = 0;   // 0 WAV, 1 MP3, 2 WMA, 3 OGG, 4 AAC, 5 M4A, 6 FLAC, 7 MP2
    quint8 OutputVideoFormat = 0;   // 0 AVI, 1 MP4, 2 FLV, 3 SWF, 4 MPEG, 5 RM, 6 WMV, 7 MOV, 8 3GP
    quint8 OutputDeviceFormat = 0;  // 0 iPod, 1 iPhone, 2 AppleTV, 3 PSP, 4 BlackBerry, 5 MobilePhone, 6 iPad

    // Selected preset index per format (-1 = nothing selected, kept as is).
    qint32 OutputWAVPreset = 3;
    qint32 OutputMP3Preset = 2;
    qint32 OutputWMAPreset = 1;
    qint32 OutputOGGPreset = 3;
    qint32 OutputM4APreset = 0;
    qint32 OutputAACPreset = 3;
    qint32 OutputFLACPreset = 5;
    qint32 OutputMP2Preset = 0;
    qint32 OutputAVIPreset = 3;
    qint32 OutputMP4Preset = 3;
    qint32 OutputFLVPreset = 1;
    qint32 OutputSWFPreset = 1;
    qint32 OutputMPEGPreset = 5;
    qint32 OutputRMPreset = 1;
    qint32 OutputWMVPreset = 16;
    qint32 OutputMOVPreset = 7;
    qint32 Output3GPPreset = 2;
    qint32 OutputiPodPreset = 5;
    qint32 OutputiPhonePreset = 1;
    qint32 OutputAppleTVPreset = 1;
    qint32 OutputPSPPreset = 1;
    qint32 OutputBlackBerryPreset = 1;
    qint32 OutputMobilePhonePreset = 1;
    qint32 OutputiPadPreset = 0;

    bool PlayASoundWhenFinished = false;
    bool ShutDownWhenFinished = false;
    bool PreferYouTubeQuality = true;

    // The quality preference order, most preferred first (see the download quality table). Slot i (0-based) is
    // stored under key "PreferYouTube" + (i + 1), except the eighth: "PreferYouTube18".
    std::array<quint8, PreferYouTubeSlots> PreferYouTube{1, 2, 3, 0, 4, 5, 6, 7};

    // Files a conversion run converts at the same time: 0 = auto (one per processor core),
    // else 1..MaxConversionJobs. Stored after the keys above, so older files simply lack it.
    qint32 ConversionJobs = 0;

    bool operator==(const TAppSettings&) const = default;
};

// Conversions at the same time: more would only queue on the cores and hold that many
// outputs open.
inline constexpr int MaxConversionJobs = 64;
// The conversions a run makes at once for a count asked for: a positive count, at most
// MaxConversionJobs; 0 or less (auto) one per processor core, at most MaxConversionJobs. The wizard's
// setting and the command line's --jobs follow this one rule.
int ConversionJobsForRun(int jobs);
// A stored count as the settings keep it: 0 (auto) for 0, negative values and garbage,
// MaxConversionJobs for anything larger.
int NormalizedConversionJobs(int jobs);

// The one global record, read and written directly on the user-interface thread.
extern TAppSettings AppSettings;
// The folder holding system.dat, with a trailing separator; fixed at start-up (step 6).
extern QString SettingsDir;

// Keys of section "System" in file order (the single table behind load and save).
QStringList SettingsKeyNames();
// Key of preference slot 0..7: "PreferYouTube1" ... "PreferYouTube7", "PreferYouTube18".
QString PreferYouTubeKey(int slot);

// SettingsDir + "system.dat", or `path` when it is not blank.
QString SettingsFilePath(const QString& path = QString());

// Start-up step 7: the three folders = `personalFolder`, every other field its default,
// except the four output class/format values, which keep the edition seeds of step 4.
void ApplySettingsDefaults(TAppSettings& settings, const QString& personalFolder);

// Fills AppSettings from SettingsDir + "system.dat". True when the file existed (when it
// exists but cannot be read, the current values stay and *report says so). False when it
// did not exist: it has then been created from the current values, or could not be
// (reported); the caller centres the main window. *report receives the lines for the log
// window (creation, unreadable or unwritable file, values that were not numbers).
bool LoadSettings(QString* report = nullptr);
// The same on an explicit record and file (used by LoadSettings; for tests and tools).
bool LoadSettingsFrom(TAppSettings& settings, const QString& filePath, QString* report = nullptr);

// Writes every key of the table in table order. False + *error (naming the file) when the
// file cannot be written; the existing file is then left untouched.
bool SaveSettings(QString* error = nullptr);
bool SaveSettingsTo(const TAppSettings& settings, const QString& filePath, QString* error = nullptr);

// Placement of a window: its frame rectangle on the screen and whether it is maximised.
struct TFormPlacement {
    QRect Geometry;          // left, top, width, height
    bool Maximized = false;
    bool operator==(const TFormPlacement&) const = default;
};

// Restores position and state from `section`: reads maximized, x, y, height, width (the
// defaults are the placement's current values), clamps against `screen` (empty = the
// primary screen of the desktop services), sets Geometry's left/top and Maximized; the
// size stays as it was. A blank `filePath` means SettingsDir + "system.dat". False +
// *report when the file could not be read (the placement is then clamped only).
bool LoadFormPlacement(const QString& section, TFormPlacement& placement,
                       const QString& filePath = QString(), QSize screen = QSize(),
                       QString* report = nullptr);
// Writes x, y, height, width, maximized into `section`, in this order. False + *error
// (naming the file) when the file cannot be written.
bool SaveFormPlacement(const QString& section, const TFormPlacement& placement,
                       const QString& filePath = QString(), QString* error = nullptr);

// True when `section` holds a stored position (x and y).
bool PlacementStored(const QString& section, const QString& filePath = QString());

// The clamping rule of LoadFormPlacement step 2 on a stored rectangle: returns the left
// and top at which the window is placed.
QPoint ClampPlacement(int x, int y, int width, int height, QSize screen);

// Start-up step 8 (first run): the top-left that centres a window of `window` size on the
// screen: ((W - w) div 2, (H - h) div 2), divisions truncated towards zero.
QPoint CenterOnScreen(QSize window, QSize screen);
