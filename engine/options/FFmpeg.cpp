#include "FFmpeg.h"

#include "FFPresets.h"
#include "FFmpegLoader.h"

#include <QFile>
#include <QFileInfo>

namespace {

// A preset file is a short text; anything far larger is not one.
constexpr qint64 MaxPresetFileSize = 1024 * 1024;

constexpr TLibrarySet OptionLibraries = LibrarySet(lkAVCodec) | LibrarySet(lkAVFormat) |
                                        LibrarySet(lkAVUtil) | LibrarySet(lkSwScale);

int StageOfKey(const QString& key)
{
    if (key == QLatin1String("newvideo") || key == QLatin1String("newaudio") ||
        key == QLatin1String("newsubtitle"))
        return cosNewStreams;
    if (key == QLatin1String("apre") || key == QLatin1String("vpre") || key == QLatin1String("spre"))
        return cosPresets;
    if (key == QLatin1String("acodec") || key == QLatin1String("vcodec") ||
        key == QLatin1String("scodec"))
        return cosCodecs;
    if (key == QLatin1String("s")) return cosFrameSize;
    if (key == QLatin1String("vfilters")) return cosFilters;
    return cosOthers;
}

QString NormalisedLineBreaks(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace('\r', '\n');
    return text;
}

} // namespace

QList<TCustomOption> ParseCustomOptions(const QString& text)
{
    QString t = NormalisedLineBreaks(text.trimmed());
    t.replace(QLatin1String("<CRLF>"), QLatin1String("\n"));
    QList<TCustomOption> result;
    qsizetype pos = 0;
    while (pos < t.size()) {
        qsizetype end = t.indexOf('\n', pos);
        if (end < 0) end = t.size();
        const QString line = t.mid(pos, end - pos);
        pos = end + 1;
        TCustomOption option;
        const qsizetype eq = line.indexOf('=');
        option.Key = (eq < 0 ? line : line.left(eq)).toLower();
        option.Value = eq < 0 ? QString() : line.mid(eq + 1);
        option.Stage = StageOfKey(option.Key);
        result.append(option);
    }
    return result;
}

TCustomFFmpeg::TCustomFFmpeg(QObject* owner) : TFFBaseComponent(owner)
{
    ResetOptions();
}

TCustomFFmpeg::~TCustomFFmpeg()
{
    ReleaseOptionContexts();
}

void TCustomFFmpeg::ResetOptions()
{
    FOptions = TFFmpegOptions();
    ReleaseOptionContexts();
    if (FFLoader().AllLoaded(OptionLibraries)) PrepareOptionContexts();
}

void TCustomFFmpeg::PrepareOptionContexts()
{
    for (int type = 0; type < AVMEDIA_TYPE_NB; ++type) {
        FCodecOpts[type] = FF.avcodec_alloc_context3(nullptr);
        if (!FCodecOpts[type]) throw FFmpegException(QStringLiteral("avcodec_alloc_context3 failed"));
        FCodecOpts[type]->codec_type = AVMediaType(type);
    }
    FFormatOpts = FF.avformat_alloc_context();
    FSwsOpts = FF.sws_alloc_context();
    if (!FFormatOpts || !FSwsOpts)
        throw FFmpegException(QStringLiteral("Cannot allocate the option contexts"));
}

void TCustomFFmpeg::ReleaseOptionContexts()
{
    for (AVCodecContext*& ctx : FCodecOpts)
        if (ctx) FF.avcodec_free_context(&ctx);
    if (FFormatOpts) FF.avformat_free_context(FFormatOpts);
    FFormatOpts = nullptr;
    if (FSwsOpts) FF.sws_freeContext(FSwsOpts);
    FSwsOpts = nullptr;
    FOptionNames.clear();
}

void TCustomFFmpeg::NoEffect(const QString& name)
{
    Log(llWarning, QStringLiteral("Option \"%1\" has no effect on this library version").arg(name));
}

void TCustomFFmpeg::Log(TLogLevel level, const QString& message)
{
    FFLogger()->Log(this, level, message);
}

const AVFormatContext* TCustomFFmpeg::InputFile(int) const
{
    return nullptr;
}

void TCustomFFmpeg::NewOutputStream(AVMediaType)
{
    if (OutputFileCount() <= 0)
        throw FFmpegException(QStringLiteral("At least one output file must be specified"));
}

bool TCustomFFmpeg::AddFrameHook(const QString& arguments)
{
    const QString module = arguments.trimmed().section(' ', 0, 0);
    if (module.isEmpty() || !QFileInfo(module).isFile()) return false;
    FOptions.VideoHooks.append(arguments.trimmed());
    return true;
}

void TCustomFFmpeg::ApplyCustomOptions(const QString& text, int stage)
{
    for (const TCustomOption& option : ParseCustomOptions(text))
        if (option.Stage == stage) SetOption(option.Key, option.Value);
}

void TCustomFFmpeg::ApplyPreset(const QString& optionName, const QString& presetName)
{
    QString name = presetName;
    QString text;
    bool found = false;
    if (optionName != QLatin1String("fpre")) {
        if (const TOptionsPreset* p = FindBuiltinPreset(name)) {
            text = p->Text;
            found = true;
        } else {
            const QChar kind = optionName.isEmpty() ? QChar() : optionName.at(0);
            const QString codec = kind == 'v'   ? FOptions.VideoCodecName
                                  : kind == 'a' ? FOptions.AudioCodecName
                                                : FOptions.SubtitleCodecName;
            if (!codec.isEmpty()) {
                name = codec + '-' + presetName;
                if (const TOptionsPreset* q = FindBuiltinPreset(name)) {
                    text = q->Text;
                    found = true;
                }
            }
        }
    }
    if (!found) {
        name = presetName;
        const QFileInfo info(name);
        if (name.isEmpty() || !info.isFile())
            throw FFmpegException(QStringLiteral("Preset \"%1\" not found").arg(name));
        if (info.size() > MaxPresetFileSize)
            throw FFmpegException(QStringLiteral("Preset \"%1\" is too large").arg(name));
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            throw FFmpegException(
                QStringLiteral("Preset \"%1\" cannot be read: %2").arg(name, file.errorString()));
        text = QString::fromUtf8(file.readAll());
    }

    const QStringList lines = NormalisedLineBreaks(text.trimmed()).split('\n');
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        // Preset files may carry comment lines.
        if (line.isEmpty() || line.startsWith('#')) continue;
        const qsizetype eq = line.indexOf('=');
        const QString key = eq < 0 ? line : line.left(eq).trimmed();
        const QString value = eq < 0 ? QString() : line.mid(eq + 1).trimmed();
        if (key.isEmpty() || value.isEmpty())
            throw FFmpegException(QStringLiteral("%1: Invalid syntax: \"%2\"").arg(name, line));
        const QString lower = key.toLower();
        if (lower == QLatin1String("acodec") || lower == QLatin1String("vcodec") ||
            lower == QLatin1String("scodec")) {
            SetOption(lower, value);
        } else if (!GenericOption(key, value)) {
            throw FFmpegException(
                QStringLiteral("%1: Invalid option or argument: \"%2\", parsed as \"%3\" = \"%4\"")
                    .arg(name, line, key, value));
        }
    }
}
