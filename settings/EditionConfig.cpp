#include "EditionConfig.h"

#include "AppSettings.h"
#include "IniFile.h"

#include <QDir>
#include <QFileInfo>

TEditionConfig EditionConfig;

// ---- Formats ----------------------------------------------------------------------------

const std::array<TFormatButtonInfo, FormatButtonCount> FormatButtons = {{
    {"AVI", fcVideo, 0, "ButtonFormatAVI"},
    {"MP4", fcVideo, 1, "ButtonFormatMP4"},
    {"FLV", fcVideo, 2, "ButtonFormatFLV"},
    {"SWF", fcVideo, 3, "ButtonFormatSWF"},
    {"MPEG", fcVideo, 4, "ButtonFormatMPEG"},
    {"RM", fcVideo, 5, "ButtonFormatRM"},
    {"WMV", fcVideo, 6, "ButtonFormatWMV"},
    {"MOV", fcVideo, 7, "ButtonFormatMOV"},
    {"3GP", fcVideo, 8, "ButtonFormat3GP"},
    {"IPOD", fcDevice, 0, "ButtonFormatiPod"},
    {"IPHONE", fcDevice, 1, "ButtonFormatiPhone"},
    {"APPLETV", fcDevice, 2, "ButtonFormatAppleTV"},
    {"PSP", fcDevice, 3, "ButtonFormatPSP"},
    {"BLACKBERRY", fcDevice, 4, "ButtonFormatBlackBerry"},
    {"MOBILEPHONE", fcDevice, 5, "ButtonFormatMobilePhone"},
    {"IPAD", fcDevice, 6, "ButtonFormatiPad"},
    {"WAV", fcAudio, 0, "ButtonFormatWAV"},
    {"MP3", fcAudio, 1, "ButtonFormatMP3"},
    {"WMA", fcAudio, 2, "ButtonFormatWMA"},
    {"OGG", fcAudio, 3, "ButtonFormatOGG"},
    {"AAC", fcAudio, 4, "ButtonFormatAAC"},
    {"M4A", fcAudio, 5, "ButtonFormatM4A"},
    {"FLAC", fcAudio, 6, "ButtonFormatFLAC"},
    {"MP2", fcAudio, 7, "ButtonFormatMP2"},
}};

namespace {

int formatSlot(TFormatClass cls, int index)
{
    for (int i = 0; i < FormatButtonCount; ++i)
        if (FormatButtons[i].Class == cls && FormatButtons[i].Index == index)
            return i;
    return -1;
}

} // namespace

int FormatCountOfClass(TFormatClass cls)
{
    int n = 0;
    for (const TFormatButtonInfo& b : FormatButtons)
        n += b.Class == cls ? 1 : 0;
    return n;
}

const char* ClassButtonName(TFormatClass cls)
{
    switch (cls) {
    case fcVideo: return "ButtonToFormatVideo";
    case fcDevice: return "ButtonToFormatDevice";
    case fcAudio: return "ButtonToFormatAudio";
    }
    return "";
}

bool TEditionConfig::FormatEnabled(TFormatClass cls, int index) const
{
    const int slot = formatSlot(cls, index);
    return slot >= 0 && Formats[slot];
}

void TEditionConfig::SetFormatEnabled(TFormatClass cls, int index, bool on)
{
    if (const int slot = formatSlot(cls, index); slot >= 0)
        Formats[slot] = on;
}

bool TEditionConfig::FormatEnabled(const QString& key) const
{
    for (int i = 0; i < FormatButtonCount; ++i)
        if (key.compare(QLatin1String(FormatButtons[i].Key), Qt::CaseInsensitive) == 0)
            return Formats[i];
    return false;
}

// ---- Edition file -------------------------------------------------------------------------

TEditionConfig ReadEditionConfig(const QString& folder, QString* report)
{
    const TIniFile ini(WithTrailingBackslash(folder) + EditionFileName);
    if (report)
        *report = ini.ReadError().isEmpty()
                      ? QString()
                      : QStringLiteral("Edition file: %1; the defaults are used.").arg(ini.ReadError());
    const QString& sec = EditionSection;
    TEditionConfig c;
    c.Name = ini.ReadString(sec, QStringLiteral("Name"), c.Name);
    c.Version = ini.ReadString(sec, QStringLiteral("Version"), c.Version);
    c.Download = ini.ReadBool(sec, QStringLiteral("Download"), c.Download);
    c.Video = ini.ReadBool(sec, QStringLiteral("Video"), c.Video);
    c.Res = ini.ReadString(sec, QStringLiteral("Res"), c.Res);
    for (int i = 0; i < FormatButtonCount; ++i)
        c.Formats[i] = ini.ReadBool(sec, QLatin1String(FormatButtons[i].Key), false);
    c.DefaultVideo = ini.ReadInteger(sec, QStringLiteral("DefaultVideo"), c.DefaultVideo);
    c.DefaultDevice = ini.ReadInteger(sec, QStringLiteral("DefaultDevice"), c.DefaultDevice);
    c.DefaultAudio = ini.ReadInteger(sec, QStringLiteral("DefaultAudio"), c.DefaultAudio);
    c.DefaultClass = ini.ReadInteger(sec, QStringLiteral("DefaultClass"), c.DefaultClass);
    c.Skin = ini.ReadString(sec, QStringLiteral("Skin"), c.Skin);
    c.DVD = ini.ReadBool(sec, QStringLiteral("DVD"), c.DVD);
    c.Merge = ini.ReadBool(sec, QStringLiteral("Merge"), c.Merge);
    c.Copyright = ini.ReadString(sec, QStringLiteral("Copyright"), c.Copyright);
    return c;
}

QString ReadEditionTitle(const QString& folder)
{
    return TIniFile(WithTrailingBackslash(folder) + EditionFileName)
        .ReadString(EditionSection, QStringLiteral("Name"), QString());
}

// ---- Layout variants ------------------------------------------------------------------------

const std::array<TLayoutVariant, 3> LayoutVariants = {{
    // ButtonMin, ButtonClose, ButtonHelp, ButtonLog, ButtonBack, ButtonNext, ButtonExit,
    // PageControlMain, LabelTitle, label colour, help menu offset
    {{696, 4}, {728, 4}, {40, 510}, {138, 510}, {426, 510}, {522, 510}, {672, 510},
     {203, 74}, {24, 43}, LabelGrey, 0},
    {{766, 3}, {794, 3}, {25, 566}, {120, 566}, {400, 566}, {495, 566}, {730, 566},
     {240, 110}, {252, 70}, LabelWhite, 0},
    {{696, 6}, {728, 4}, {40, 513}, {138, 513}, {426, 513}, {522, 513}, {672, 513},
     {198, 74}, {24, 43}, LabelGrey, 5},
}};

const TLayoutVariant DesignedLayout = {
    {696, 4}, {728, 4}, {40, 510}, {138, 510}, {426, 510}, {522, 510}, {672, 510},
    {203, 74}, {24, 43}, LabelGrey, 0,
};

const TLayoutVariant& LayoutForSkin(const QString& skin)
{
    int variant = -1;
    if (TIniFile::ParseInteger(skin, variant) && variant >= 0 && variant < int(LayoutVariants.size()))
        return LayoutVariants[variant];
    return DesignedLayout;
}

QString SkinImageDir(const QString& exeDir, const QString& res)
{
    return WithTrailingBackslash(WithTrailingBackslash(exeDir) + QStringLiteral("sounds") + PathDelim +
                                 QStringLiteral("res") + res);
}

TDvdButtonsLayout DvdButtonsLayout(bool dvd)
{
    if (dvd)
        return {true, 8, 40};
    return {false, 8, 8};
}

// ---- Format and class buttons ---------------------------------------------------------------

std::vector<TButtonPlacement> LayoutFormatButtons(const TEditionConfig& config, TFormatClass cls,
                                                  int tabWidth)
{
    std::vector<TButtonPlacement> result(FormatCountOfClass(cls));
    int running = 0;
    for (int i = 0; i < int(result.size()); ++i) {
        if (!config.FormatEnabled(cls, i))
            continue;
        result[i].Visible = true;
        result[i].Rect = GridCellRect(tabWidth, FormatGridTop, FormatGridLeft, FormatGapH, FormatGapV,
                                      FormatCellHeight, FormatCellWidth, running++);
    }
    return result;
}

TClassButtonsLayout LayoutClassButtons(const TEditionConfig& config, int step2Width)
{
    TClassButtonsLayout layout;
    int visible = 0;
    for (int c = 0; c < FormatClassCount; ++c) {
        const auto cls = TFormatClass(c);
        for (int i = 0; i < FormatCountOfClass(cls); ++i)
            layout.Buttons[c].Visible = layout.Buttons[c].Visible || config.FormatEnabled(cls, i);
        visible += layout.Buttons[c].Visible ? 1 : 0;
    }
    if (visible == 1) {
        // One class only: the class cannot be changed on Step2, so no class buttons at all.
        for (TButtonPlacement& b : layout.Buttons)
            b.Visible = false;
        layout.FormatAreaTop = FormatAreaTopSingleClass;
        return layout;
    }
    int running = 0;
    for (TButtonPlacement& b : layout.Buttons)
        if (b.Visible)
            b.Rect = GridCellRect(step2Width, ClassGridTop, ClassGridLeft, 0, 0, ClassCellHeight,
                                  ClassCellWidth, running++);
    layout.FormatAreaTop = FormatAreaTopDefault;
    return layout;
}

// ---- Settings folder and seeds ----------------------------------------------------------------

QString MakeSettingsDir(const QString& editionTitle)
{
    const QString appData = WithTrailingBackslash(GetShellFolder(QStringLiteral("AppData")));
    QString name = editionTitle;
    name.replace(QLatin1Char('/'), QLatin1Char(' '));
#ifdef Q_OS_WIN
    name.replace(QLatin1Char('\\'), QLatin1Char(' '));
#endif
    // "." and ".." would name AppData or its parent, not a folder of the edition's own.
    if (name == u"." || name == u"..")
        return appData;
    const QString dir = WithTrailingBackslash(appData + name);
    if (QFileInfo(dir).isDir())
        return dir;
    if (QDir().mkdir(dir))  // one level only, never a whole path
        return dir;
    return appData;
}

void SeedOutputSettings(const TEditionConfig& config, TAppSettings& settings)
{
    settings.OutputVideoFormat = quint8(config.DefaultVideo & 0xFF);
    settings.OutputDeviceFormat = quint8(config.DefaultDevice & 0xFF);
    settings.OutputAudioFormat = quint8(config.DefaultAudio & 0xFF);
    settings.OutputFormatClass = config.DefaultClass >= 0 && config.DefaultClass <= 2
                                     ? quint8(config.DefaultClass)
                                     : quint8(0);
}

namespace {

int FirstEnabledFormat(const TEditionConfig& config, TFormatClass cls)
{
    for (int i = 0; i < FormatCountOfClass(cls); ++i)
        if (config.FormatEnabled(cls, i))
            return i;
    return -1;
}

} // namespace

void FitOutputSettingsToEdition(const TEditionConfig& config, TAppSettings& settings)
{
    quint8* formats[FormatClassCount] = {&settings.OutputVideoFormat, &settings.OutputDeviceFormat,
                                         &settings.OutputAudioFormat};
    int firstClass = -1;
    for (int c = 0; c < FormatClassCount; ++c) {
        const auto cls = TFormatClass(c);
        const int first = FirstEnabledFormat(config, cls);
        if (first < 0)
            continue;
        if (firstClass < 0)
            firstClass = c;
        if (*formats[c] >= FormatCountOfClass(cls) || !config.FormatEnabled(cls, *formats[c]))
            *formats[c] = quint8(first);
    }
    const int stored = settings.OutputFormatClass;
    if (firstClass >= 0
        && (stored >= FormatClassCount || FirstEnabledFormat(config, TFormatClass(stored)) < 0))
        settings.OutputFormatClass = quint8(firstClass);
}

// ---- Edition tables (rows of our own editions) ------------------------------------------------

const std::vector<TEditionIconRow> EditionIconTable = {
    {"vornic", "vornic"},
    {"vornic Video Converter", "video"},
    {"vornic Audio Converter", "audio"},
    {"vornic Tube Saver", "download"},
    {"vornic Lite", "lite"},
};

const std::vector<const char*> ReducedFrameEditions = {
    "vornic Lite",
    "vornic OEM",
};

const std::vector<const char*> ShortWordingEditions = {
    "vornic Pro",
    "vornic OEM",
};

namespace {

bool inTable(const std::vector<const char*>& table, const QString& title)
{
    for (const char* t : table)
        if (title == QString::fromUtf8(t))  // exact, case-sensitive
            return true;
    return false;
}

} // namespace

QString EditionIconName(const QString& title)
{
    for (const TEditionIconRow& row : EditionIconTable)
        if (title == QString::fromUtf8(row.Title))
            return QString::fromUtf8(row.Icon);
    return QString();
}

bool IsReducedFrameEdition(const QString& title)
{
    return inTable(ReducedFrameEditions, title);
}

TToolsWording ToolsWording(const QString& title)
{
    if (inTable(ShortWordingEditions, title))
        return {QStringLiteral("more tools..."), QStringLiteral("More Tools...")};
    return {QStringLiteral("more free tools..."), QStringLiteral("More Free Tools...")};
}
