#include "AppSettings.h"

#include "DesktopServices.h"
#include "IniFile.h"
#include "UtilFuncs.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <variant>

TAppSettings AppSettings;
QString SettingsDir;

namespace {

// One row per key of section "System", in file order. Each row names the field it carries.
using TField = std::variant<QString TAppSettings::*, quint8 TAppSettings::*, qint32 TAppSettings::*,
                            bool TAppSettings::*, int /* preference slot */>;
struct TSettingsKey {
    const char* Name;
    TField Field;
};

#define S(field) TSettingsKey{#field, &TAppSettings::field}
const TSettingsKey settingsKeys[] = {
    S(LastOpenDir), S(OutputFileDir), S(OutputURLDir),
    S(OutputFormatClass), S(OutputAudioFormat), S(OutputVideoFormat), S(OutputDeviceFormat),
    S(OutputWAVPreset), S(OutputMP3Preset), S(OutputWMAPreset), S(OutputOGGPreset),
    S(OutputM4APreset), S(OutputAACPreset), S(OutputFLACPreset), S(OutputMP2Preset),
    S(OutputAVIPreset), S(OutputMP4Preset), S(OutputFLVPreset), S(OutputSWFPreset),
    S(OutputMPEGPreset), S(OutputRMPreset), S(OutputWMVPreset), S(OutputMOVPreset),
    S(Output3GPPreset), S(OutputiPodPreset), S(OutputiPhonePreset), S(OutputAppleTVPreset),
    S(OutputPSPPreset), S(OutputBlackBerryPreset), S(OutputMobilePhonePreset), S(OutputiPadPreset),
    S(PlayASoundWhenFinished), S(ShutDownWhenFinished), S(PreferYouTubeQuality),
    {"PreferYouTube1", 0}, {"PreferYouTube2", 1}, {"PreferYouTube3", 2}, {"PreferYouTube4", 3},
    {"PreferYouTube5", 4}, {"PreferYouTube6", 5}, {"PreferYouTube7", 6},
    {"PreferYouTube18", 7},  // the eighth entry's key ends in 18, as the file has always had it
    S(ConversionJobs),
};
#undef S

template <class... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

// Reads an integer key; a value that is there but is no number is reported.
int readInteger(const TIniFile& ini, const QString& section, const QString& key, int def,
                QStringList& problems)
{
    if (!ini.ValueExists(section, key))
        return def;
    const QString text = ini.ReadString(section, key, QString());
    int value = def;
    if (!TIniFile::ParseInteger(text, value)) {
        problems << QStringLiteral("Settings: the value \"%1\" of %2 in %3 is not a number; the default %4 is used.")
                        .arg(text, key, QDir::toNativeSeparators(ini.FileName()))
                        .arg(def);
        return def;
    }
    return value;
}

void readAll(TAppSettings& s, const TIniFile& ini, QStringList& problems)
{
    for (const TSettingsKey& k : settingsKeys) {
        const QString key = QString::fromLatin1(k.Name);
        std::visit(Overloaded{
                       [&](QString TAppSettings::*f) { s.*f = ini.ReadString(SettingsSection, key, s.*f); },
                       [&](quint8 TAppSettings::*f) {
                           s.*f = quint8(readInteger(ini, SettingsSection, key, s.*f, problems) & 0xFF);
                       },
                       [&](qint32 TAppSettings::*f) { s.*f = readInteger(ini, SettingsSection, key, s.*f, problems); },
                       [&](bool TAppSettings::*f) {
                           s.*f = readInteger(ini, SettingsSection, key, s.*f ? 1 : 0, problems) != 0;
                       },
                       [&](int slot) {
                           s.PreferYouTube[slot] =
                               quint8(readInteger(ini, SettingsSection, key, s.PreferYouTube[slot], problems) & 0xFF);
                       },
                   },
                   k.Field);
    }
    // A hand-edited count must not start hundreds of conversions, nor none.
    s.ConversionJobs = NormalizedConversionJobs(s.ConversionJobs);
}

void writeAll(const TAppSettings& s, TIniFile& ini)
{
    for (const TSettingsKey& k : settingsKeys) {
        const QString key = QString::fromLatin1(k.Name);
        std::visit(Overloaded{
                       [&](QString TAppSettings::*f) { ini.WriteString(SettingsSection, key, s.*f); },
                       [&](quint8 TAppSettings::*f) { ini.WriteInteger(SettingsSection, key, s.*f); },
                       [&](qint32 TAppSettings::*f) { ini.WriteInteger(SettingsSection, key, s.*f); },
                       [&](bool TAppSettings::*f) { ini.WriteBool(SettingsSection, key, s.*f); },
                       [&](int slot) { ini.WriteInteger(SettingsSection, key, s.PreferYouTube[slot]); },
                   },
                   k.Field);
    }
}

void setReport(QString* report, const QStringList& lines)
{
    if (report)
        *report = lines.join(QLatin1Char('\n'));
}

} // namespace

int ConversionJobsForRun(int jobs)
{
    if (jobs >= 1)
        return std::min(jobs, MaxConversionJobs);
    return std::clamp(QThread::idealThreadCount(), 1, MaxConversionJobs);
}

int NormalizedConversionJobs(int jobs)
{
    return jobs <= 0 ? 0 : std::min(jobs, MaxConversionJobs);
}

QStringList SettingsKeyNames()
{
    QStringList names;
    for (const TSettingsKey& k : settingsKeys)
        names << QString::fromLatin1(k.Name);
    return names;
}

QString PreferYouTubeKey(int slot)
{
    for (const TSettingsKey& k : settingsKeys)
        if (const int* s = std::get_if<int>(&k.Field); s && *s == slot)
            return QString::fromLatin1(k.Name);
    return QString();
}

QString SettingsFilePath(const QString& path)
{
    if (!path.trimmed().isEmpty())
        return path;
    return WithTrailingBackslash(SettingsDir) + SettingsFileName;
}

void ApplySettingsDefaults(TAppSettings& settings, const QString& personalFolder)
{
    TAppSettings d;
    d.LastOpenDir = d.OutputFileDir = d.OutputURLDir = personalFolder;
    // The edition seeds (step 4) are the defaults of these four.
    d.OutputFormatClass = settings.OutputFormatClass;
    d.OutputAudioFormat = settings.OutputAudioFormat;
    d.OutputVideoFormat = settings.OutputVideoFormat;
    d.OutputDeviceFormat = settings.OutputDeviceFormat;
    settings = d;
}

bool LoadSettingsFrom(TAppSettings& settings, const QString& filePath, QString* report)
{
    QStringList problems;
    if (!QFileInfo::exists(filePath)) {
        QString error;
        if (SaveSettingsTo(settings, filePath, &error))
            problems << QStringLiteral("Settings: %1 did not exist and has been created with the default values.")
                            .arg(QDir::toNativeSeparators(filePath));
        else
            problems << QStringLiteral("Settings: %1; the default values are used.").arg(error);
        setReport(report, problems);
        return false;
    }
    TIniFile ini(filePath);
    if (!ini.Exists()) {
        // There, but unreadable (a folder, no permission): defaults, and the file is left alone.
        problems << QStringLiteral("Settings: %1; the default values are used.").arg(ini.ReadError());
        setReport(report, problems);
        return true;
    }
    readAll(settings, ini, problems);
    setReport(report, problems);
    return true;
}

bool LoadSettings(QString* report)
{
    return LoadSettingsFrom(AppSettings, SettingsFilePath(), report);
}

bool SaveSettingsTo(const TAppSettings& settings, const QString& filePath, QString* error)
{
    // Read first, so the placement sections and anything else in the file survive.
    TIniFile ini(filePath);
    if (!ini.ReadError().isEmpty()) {
        // A file we cannot read would be replaced by one without its other sections.
        if (error)
            *error = ini.ReadError();
        return false;
    }
    writeAll(settings, ini);
    return ini.UpdateFile(error);
}

bool SaveSettings(QString* error)
{
    return SaveSettingsTo(AppSettings, SettingsFilePath(), error);
}

QPoint ClampPlacement(int x, int y, int width, int height, QSize screen)
{
    const int w = screen.width(), h = screen.height();
    // A negative size (garbage) would leave x unbounded; as 0 it keeps x within 0..W.
    width = std::clamp(width, 0, std::max(w, 0));
    height = std::clamp(height, 0, std::max(h, 0));
    // 64-bit sums: garbage coordinates near the int limits must not overflow.
    if (qint64(x) + width > w)
        x = w - width;
    if (qint64(y) + height > h)
        y = h - height;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    return {x, y};
}

QPoint CenterOnScreen(QSize window, QSize screen)
{
    // C++ division truncates towards zero, as an integer div does (a window wider than the
    // screen gets a negative left, -1 and not -2 for an odd excess of 3).
    return {(screen.width() - window.width()) / 2, (screen.height() - window.height()) / 2};
}

bool LoadFormPlacement(const QString& section, TFormPlacement& placement, const QString& filePath,
                       QSize screen, QString* report)
{
    if (!screen.isValid() || screen.isEmpty())
        screen = Desktop().ScreenSize();
    const QString path = SettingsFilePath(filePath);
    TIniFile ini(path);
    QStringList problems;
    bool ok = true;
    if (!ini.ReadError().isEmpty()) {
        problems << QStringLiteral("Settings: %1; the window keeps its place.").arg(ini.ReadError());
        ok = false;
    }
    const QRect g = placement.Geometry;
    const bool maximized = readInteger(ini, section, QStringLiteral("maximized"), 0, problems) != 0;
    const int x = readInteger(ini, section, QStringLiteral("x"), g.left(), problems);
    const int y = readInteger(ini, section, QStringLiteral("y"), g.top(), problems);
    int height = readInteger(ini, section, QStringLiteral("height"), g.height(), problems);
    int width = readInteger(ini, section, QStringLiteral("width"), g.width(), problems);
    // No window is 0 or less wide: such a stored size is garbage, the window's own counts.
    if (width <= 0)
        width = g.width();
    if (height <= 0)
        height = g.height();
    // The stored size only keeps the window on the screen; the window keeps its own size.
    placement.Geometry.moveTopLeft(ClampPlacement(x, y, width, height, screen));
    placement.Maximized = maximized;
    setReport(report, problems);
    return ok;
}

bool PlacementStored(const QString& section, const QString& filePath)
{
    const TIniFile ini(SettingsFilePath(filePath));
    return ini.ValueExists(section, QStringLiteral("x")) && ini.ValueExists(section, QStringLiteral("y"));
}

bool SaveFormPlacement(const QString& section, const TFormPlacement& placement, const QString& filePath,
                       QString* error)
{
    const QString path = SettingsFilePath(filePath);
    TIniFile ini(path);
    if (!ini.ReadError().isEmpty()) {
        if (error)
            *error = ini.ReadError();
        return false;
    }
    const QRect& g = placement.Geometry;
    ini.WriteInteger(section, QStringLiteral("x"), g.left());
    ini.WriteInteger(section, QStringLiteral("y"), g.top());
    ini.WriteInteger(section, QStringLiteral("height"), g.height());
    ini.WriteInteger(section, QStringLiteral("width"), g.width());
    ini.WriteBool(section, QStringLiteral("maximized"), placement.Maximized);
    return ini.UpdateFile(error);
}
