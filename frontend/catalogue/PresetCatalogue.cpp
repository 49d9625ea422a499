// Lookups over the catalogue and the translation of a choice into output options.
#include "PresetCatalogue.h"

#include "AVProbe.h"
#include "AppSettings.h"
#include "UtilFuncs.h"

#include <algorithm>

namespace {

// Even value toward zero, as the encoders want picture sizes.
qint64 Even(qint64 value)
{
    return (value / 2) * 2;
}

QString Text(const char* text)
{
    return QString::fromLatin1(text);
}

// The name of a file without its folder.
QString NameWithoutFolder(const QString& path)
{
    qsizetype cut = path.lastIndexOf(u'/');
#ifdef Q_OS_WIN
    cut = std::max({cut, path.lastIndexOf(u'\\'), path.lastIndexOf(u':')});
#endif
    return path.mid(cut + 1);
}

// The input's name with the output extension in place of its own. A name that is nothing but
// an extension (".hidden") keeps it, so the result never loses its title.
QString OutputTitle(const QString& inputName, const QString& extension)
{
    const QString name = NameWithoutFolder(inputName);
    QString base = StripFileExtension(name);
    if (base.isEmpty())
        base = name;
    if (base.isEmpty())
        base = QStringLiteral("Output");
    return base + extension;
}

bool Finish(const TOutputChoice& choice, const QString& title, QStringList& takenInRun,
            TOutputOptions& built, TOutputOptions& options, QString* error)
{
    auto fail = [error](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (choice.OutputDir.trimmed().isEmpty())
        return fail(QStringLiteral("No output folder is chosen."));
    const QString unique = UniqueOutputName(title, choice.OutputDir, takenInRun);
    if (unique.isEmpty())
        return fail(QStringLiteral("Cannot find a free output file name for \"%1\" in \"%2\".")
                        .arg(title, choice.OutputDir));
    built.FileName = WithTrailingBackslash(choice.OutputDir) + unique;
    takenInRun.append(unique);
    options = built;
    return true;
}

} // namespace

std::span<const TOutputFormat> OutputFormatsOfClass(int formatClass)
{
    const auto all = OutputFormats();
    const auto first = std::find_if(all.begin(), all.end(), [&](const TOutputFormat& f) {
        return f.FormatClass == formatClass;
    });
    const auto last = std::find_if(first, all.end(), [&](const TOutputFormat& f) {
        return f.FormatClass != formatClass;
    });
    return {first, last};
}

const TOutputFormat* FindOutputFormat(int formatClass, int formatIndex)
{
    const auto formats = OutputFormatsOfClass(formatClass);
    if (formatIndex < 0 || size_t(formatIndex) >= formats.size())
        return nullptr;
    return &formats[size_t(formatIndex)];
}

const TOutputFormat* FindOutputFormatByName(const QString& name)
{
    const QString wanted = name.trimmed();
    for (const TOutputFormat& format : OutputFormats()) {
        if (wanted.compare(Text(format.Name), Qt::CaseInsensitive) == 0)
            return &format;
    }
    return nullptr;
}

const TPreset* FindPreset(int formatClass, int formatIndex, int presetIndex)
{
    const TOutputFormat* format = FindOutputFormat(formatClass, formatIndex);
    if (!format || presetIndex < 0 || size_t(presetIndex) >= format->Presets.size())
        return nullptr;
    return &format->Presets[size_t(presetIndex)];
}

QStringList PresetListTexts(const TOutputFormat& format)
{
    QStringList texts;
    for (const TPreset& preset : format.Presets)
        texts.append(Text(preset.Text));
    return texts;
}

int PresetCount()
{
    int count = 0;
    for (const TOutputFormat& format : OutputFormats())
        count += int(format.Presets.size());
    return count;
}

TOutputChoice OutputChoiceFromSettings(const TAppSettings& settings)
{
    TOutputChoice choice;
    choice.FormatClass = settings.OutputFormatClass;
    switch (settings.OutputFormatClass) {
    case fcVideo: choice.FormatIndex = settings.OutputVideoFormat; break;
    case fcDevice: choice.FormatIndex = settings.OutputDeviceFormat; break;
    case fcAudio: choice.FormatIndex = settings.OutputAudioFormat; break;
    default: choice.FormatIndex = -1; break;
    }
    const TOutputFormat* format = choice.Format();
    choice.PresetIndex = format ? settings.*(format->PresetKey) : -1;
    choice.OutputDir = settings.OutputFileDir;
    return choice;
}

QString FormatExtension(int formatClass, int formatIndex)
{
    const TOutputFormat* format = FindOutputFormat(formatClass, formatIndex);
    return format ? Text(format->Extension) : QString();
}

QString FormatExtension(const TOutputChoice& choice)
{
    return FormatExtension(choice.FormatClass, choice.FormatIndex);
}

QString FormatExtension(const TAppSettings& settings)
{
    return FormatExtension(OutputChoiceFromSettings(settings));
}

TSourceFacts SourceFactsFromProbe(const QString& fileName, const TVideoStreamInfo* video,
                                  const TAudioStreamInfo* audio)
{
    TSourceFacts facts;
    facts.FileName = fileName;
    if (video) {
        facts.Width = video->Width;
        facts.Height = video->Height;
        facts.DisplayAspect = video->DisplayAspect;
    }
    if (audio)
        facts.AudioBitrate = audio->BitRate;
    return facts;
}

TSourceFacts SourceFactsFromTexts(const QString& sizeText, const QString& aspectText)
{
    TSourceFacts facts;
    const QStringList parts = sizeText.trimmed().split(u'x', Qt::KeepEmptyParts, Qt::CaseInsensitive);
    if (parts.size() == 2) {
        bool okWidth = false, okHeight = false;
        const int width = parts[0].trimmed().toInt(&okWidth);
        const int height = parts[1].trimmed().toInt(&okHeight);
        if (okWidth && okHeight) {
            facts.Width = width;
            facts.Height = height;
        }
    }
    bool okAspect = false;
    const double aspect = aspectText.trimmed().toDouble(&okAspect);
    if (okAspect)
        facts.DisplayAspect = aspect;
    return facts;
}

bool FitFrame(TOutputOptions& options, const TSourceFacts& source, int fitWidth, int fitHeight)
{
    // A stream without a size (audio only, or a broken header) keeps whatever the engine finds.
    if (fitWidth <= 0 || fitHeight <= 0 || source.Width <= 0 || source.Height <= 0)
        return false;
    const qint64 W = fitWidth, H = fitHeight;
    const qint64 sw = source.Width, sh = source.Height;
    double aspect = source.DisplayAspect;
    if (!(aspect > 0.0)) // no sample aspect: square pixels
        aspect = double(sw) / double(sh);

    const auto frameSize = [](qint64 w, qint64 h) {
        return QString::asprintf("%lld*%lld", static_cast<long long>(w), static_cast<long long>(h));
    };
    // Extreme shapes would round to an empty picture, which no encoder opens.
    const auto picture = [](qint64 value, qint64 limit) {
        return std::min(std::max(Even(value), qint64(2)), limit);
    };

    if (H * sw == W * sh) {
        options.FrameSize = frameSize(W, H);
    } else if (H * sw > W * sh) { // wider: bars above and below
        const qint64 h = picture(W * sh / sw, H);
        options.FrameSize = frameSize(W, h);
        const qint64 d = H - h;
        options.PadTop = int(Even(d / 2));
        options.PadBottom = int(d - options.PadTop);
        options.PadLeft = options.PadRight = 0;
    } else { // narrower: bars left and right
        const qint64 w = picture(H * sw / sh, W);
        options.FrameSize = frameSize(w, H);
        options.PadTop = options.PadBottom = 0;
        const qint64 d = W - w;
        options.PadLeft = int(Even(d / 2));
        options.PadRight = int(d - options.PadLeft);
    }
    options.AspectRatio = QString::asprintf(
        "%.3f", (double(W) / double(H)) * (double(sh) / double(sw)) * aspect);
    return true;
}

void ApplyPreset(TOutputOptions& options, const TOutputChoice& choice, const TSourceFacts& source,
                 bool join)
{
    if (choice.FormatClass == fcVideo)
        options.DisableVideo = false;
    else if (choice.FormatClass == fcAudio)
        options.DisableVideo = true;
    if (join)
        options.Join = true;

    const TPreset* preset = choice.Preset();
    if (!preset)
        return;
    const auto setText = [](QString& field, const char* value) {
        if (value)
            field = Text(value);
    };
    const auto setNumber = [](int& field, int value) {
        if (value > 0)
            field = value;
    };
    setText(options.VideoCodec, preset->VideoCodec);
    setText(options.FrameRate, preset->FrameRate);
    setNumber(options.VideoBitrate, preset->VideoBitrate);
    setText(options.AudioCodec, preset->AudioCodec);
    setNumber(options.AudioChannels, preset->AudioChannels);
    setNumber(options.AudioSampleRate, preset->AudioSampleRate);
    setNumber(options.AudioBitrate, preset->AudioBitrate);

    const TPresetExtras& extras = preset->Extras;
    setText(options.ForceFormat, extras.ForceFormat);
    setText(options.VideoTag, extras.VideoTag);
    setText(options.VideoPreset, extras.VideoPreset);
    setText(options.ExtOptions, extras.ExtOptions);
    setNumber(options.MinRate, extras.MinMaxRate);
    setNumber(options.MaxRate, extras.MinMaxRate);
    setNumber(options.BufferSize, extras.BufferSize);
    setNumber(options.Target, extras.Target);
    setNumber(options.TargetNorm, extras.TargetNorm);
    // The joined inputs may differ, so no one input's bit rate stands for the output.
    if (extras.AudioBitrateFromSource && !join)
        setNumber(options.AudioBitrate, source.AudioBitrate);

    if (preset->HasFit())
        FitFrame(options, source, preset->FitWidth, preset->FitHeight);
}

QString UniqueOutputName(const QString& fileName, const QString& folder,
                         const QStringList& takenInRun)
{
    // Outputs of the run are not on disk until their task runs, and a folder on a
    // case-blind file system (a memory card) treats "A.mp4" and "a.mp4" as one file.
    const auto taken = [&](const QString& name) {
        return takenInRun.contains(name, Qt::CaseInsensitive);
    };
    const QString name = MakeUniqueFileName(fileName, folder);
    if (name.isEmpty() || !taken(name))
        return name;
    const QString base = StripFileExtension(fileName);
    const QString extension = ExtractFileExt(fileName);
    for (int i = 1; i <= 32767; ++i) {
        const QString candidate = base + u'(' + QString::number(i) + u')' + extension;
        if (!taken(candidate) && MakeUniqueFileName(candidate, folder) == candidate)
            return candidate;
    }
    return QString();
}

bool BuildOutputOptions(const TOutputChoice& choice, const TSourceFacts& source,
                        QStringList& takenInRun, TOutputOptions& options, QString* error)
{
    TOutputOptions built;
    ApplyPreset(built, choice, source, false);
    return Finish(choice, OutputTitle(source.FileName, FormatExtension(choice)), takenInRun,
                  built, options, error);
}

bool BuildJoinOutputOptions(const TOutputChoice& choice, const TSourceFacts& firstRow,
                            QStringList& takenInRun, TOutputOptions& options, QString* error)
{
    TOutputOptions built;
    ApplyPreset(built, choice, firstRow, true);
    return Finish(choice, QStringLiteral("Output_Merge") + FormatExtension(choice), takenInRun,
                  built, options, error);
}
