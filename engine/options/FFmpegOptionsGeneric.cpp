// The generic route: option names the dispatcher does not handle are set on the libraries' own
// option tables, probed on contexts of defaults, after translating the older generation's forms.
#include "FFmpeg.h"
#include "OptionCompat.h"

namespace {

// Which codec options belong to which media type; data and attachments take every one.
const int TypeFlags[AVMEDIA_TYPE_NB] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                        AV_OPT_FLAG_SUBTITLE_PARAM, 0};

QByteArray Utf8(const QString& s)
{
    return s.toUtf8();
}

} // namespace

void* TCustomFFmpeg::OptionObject(int target) const
{
    if (target >= 0 && target < AVMEDIA_TYPE_NB) return FCodecOpts[target];
    if (target == otFormat) return FFormatOpts;
    if (target == otScaler) return FSwsOpts;
    return nullptr;
}

TCustomFFmpeg::TSetResult TCustomFFmpeg::SetOnTarget(int target, const QString& name,
                                                     const QString& value, int optFlags)
{
    void* obj = OptionObject(target);
    if (!obj) return TSetResult::srUnknown;
    const QByteArray n = Utf8(name);
    if (!FF.av_opt_find(obj, n.constData(), nullptr, optFlags, AV_OPT_SEARCH_CHILDREN))
        return TSetResult::srUnknown;
    if (FF.av_opt_set(obj, n.constData(), Utf8(value).constData(), AV_OPT_SEARCH_CHILDREN) < 0)
        return TSetResult::srRefused;
    Remember(target, name);
    return TSetResult::srSet;
}

TCustomFFmpeg::TSetResult TCustomFFmpeg::SetLibraryOption(const QString& name, const QString& value)
{
    bool found = false;
    bool refused = false;
    for (int type = 0; type < AVMEDIA_TYPE_NB && !refused; ++type) {
        const TSetResult r = SetOnTarget(type, name, value, TypeFlags[type]);
        if (r == TSetResult::srUnknown) continue;
        found = true;
        refused = r == TSetResult::srRefused;
    }
    for (int target : {int(otFormat), int(otScaler)}) {
        if (found) break;
        const TSetResult r = SetOnTarget(target, name, value, 0);
        found = r != TSetResult::srUnknown;
        refused = r == TSetResult::srRefused;
    }
    if (!found && name.size() > 1) {
        const QChar c = name.at(0);
        const int target = c == 'a'   ? AVMEDIA_TYPE_AUDIO
                           : c == 'v' ? AVMEDIA_TYPE_VIDEO
                           : c == 's' ? AVMEDIA_TYPE_SUBTITLE
                                      : -1;
        if (target >= 0) {
            const TSetResult r = SetOnTarget(target, name.mid(1), value, 0);
            found = r != TSetResult::srUnknown;
            refused = r == TSetResult::srRefused;
        }
    }
    if (refused) {
        FF.av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n",
                  Utf8(value).constData(), Utf8(name).constData());
        return TSetResult::srRefused;
    }
    if (!found) {
        KeepUnclaimed(name, value);
        return TSetResult::srUnknown;
    }

    std::int64_t debug = 0, fdebug = 0;
    FF.av_opt_get_int(FCodecOpts[AVMEDIA_TYPE_VIDEO], "debug", 0, &debug);
    FF.av_opt_get_int(FFormatOpts, "fdebug", 0, &fdebug);
    if (debug || fdebug) FFLogger()->SetLogLevel(llDebug);
    return TSetResult::srSet;
}

void TCustomFFmpeg::KeepUnclaimed(const QString& name, const QString& value)
{
    auto& unclaimed = FOptions.UnclaimedOptions;
    std::erase_if(unclaimed, [&name](const auto& entry) { return entry.first == name; });
    unclaimed.emplace_back(name, value);
}

bool TCustomFFmpeg::IsLibraryOption(const QString& name) const
{
    const QByteArray n = Utf8(name);
    for (int target = 0; target < otCount; ++target) {
        void* obj = OptionObject(target);
        if (obj && FF.av_opt_find(obj, n.constData(), nullptr, 0, AV_OPT_SEARCH_CHILDREN))
            return true;
    }
    return false;
}

QString TCustomFFmpeg::LibraryOptionValue(const QString& name) const
{
    const QByteArray n = Utf8(name);
    for (int target = 0; target < otCount; ++target) {
        void* obj = OptionObject(target);
        if (!obj || !FF.av_opt_find(obj, n.constData(), nullptr, 0, AV_OPT_SEARCH_CHILDREN))
            continue;
        std::uint8_t* text = nullptr;
        if (FF.av_opt_get(obj, n.constData(), AV_OPT_SEARCH_CHILDREN, &text) < 0) return {};
        const QString value = QString::fromUtf8(reinterpret_cast<const char*>(text));
        FF.av_free(text);
        return value;
    }
    return {};
}

bool TCustomFFmpeg::GenericOption(const QString& name, const QString& value)
{
    const QString n = name.trimmed();
    const QString v = value.trimmed();
    if (n.isEmpty() || v.isEmpty() || !OptionContextsReady()) return false;

    QList<TCompatAlternatives> replacements;
    TCompatLookup lookup;
    lookup.Known = [this](const QString& s) { return IsLibraryOption(s); };
    lookup.Current = [this](const QString& s) { return LibraryOptionValue(s); };
    switch (TranslateLegacyOption(n, v, lookup, replacements)) {
    case TCompatResult::crNotLegacy:
        return SetLibraryOption(n, v) == TSetResult::srSet;
    case TCompatResult::crRefused:
        FF.av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n",
                  Utf8(v).constData(), Utf8(n).constData());
        return false;
    case TCompatResult::crTranslated:
        break;
    }

    bool ok = true;
    for (const TCompatAlternatives& group : replacements) {
        const TCompatOption* chosen = nullptr;
        for (const TCompatOption& alt : group) {
            if (IsLibraryOption(alt.Name)) {
                chosen = &alt;
                break;
            }
        }
        if (!chosen) {
            KeepUnclaimed(group.front().Name, group.front().Value);
            Log(llDebug, QStringLiteral("Option \"%1=%2\" has no equivalent for the codecs in use; "
                                        "ignored")
                             .arg(n, v));
            continue;
        }
        if (chosen->Name != n || chosen->Value != v)
            Log(llDebug, QStringLiteral("Option \"%1=%2\" translated to \"%3=%4\"")
                             .arg(n, v, chosen->Name, chosen->Value));
        if (SetLibraryOption(chosen->Name, chosen->Value) == TSetResult::srRefused) ok = false;
    }
    return ok;
}

bool TCustomFFmpeg::SetCodecBitrate(AVMediaType type, const QString& name, const QString& value)
{
    const QString v = value.trimmed();
    if (v.isEmpty() || !OptionContextsReady()) return false;
    const TSetResult r = SetOnTarget(type, QStringLiteral("b"), v, 0);
    if (r == TSetResult::srRefused)
        FF.av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n",
                  Utf8(v).constData(), Utf8(name).constData());
    if (r != TSetResult::srSet) return false;
    std::int64_t bitrate = 0;
    FF.av_opt_get_int(FCodecOpts[type], "b", 0, &bitrate);
    if (bitrate < 1000)
        Log(llWarning, QStringLiteral("WARNING: The bitrate parameter is set too low. It takes "
                                      "bits/s as argument, not kbits/s"));
    return true;
}

void TCustomFFmpeg::Remember(int target, const QString& name)
{
    for (const auto& entry : FOptionNames)
        if (entry.first == target && entry.second == name) return;
    FOptionNames.emplace_back(target, name);
}

QStringList TCustomFFmpeg::RememberedOptions(int target) const
{
    QStringList names;
    for (const auto& entry : FOptionNames)
        if (entry.first == target) names << entry.second;
    return names;
}

int TCustomFFmpeg::CopyOptions(int target, void* dest, bool toEncoder) const
{
    void* source = OptionObject(target);
    if (!source || !dest) return 0;
    int copied = 0;
    for (const auto& [t, name] : FOptionNames) {
        if (t != target) continue;
        const QByteArray n = Utf8(name);
        // Decoding options (such as "lowres") belong to the decoders; an encoder given one
        // may not survive it.
        if (toEncoder) {
            const AVOption* opt = FF.av_opt_find(source, n.constData(), nullptr, 0, AV_OPT_SEARCH_CHILDREN);
            if (opt && (opt->flags & AV_OPT_FLAG_DECODING_PARAM) && !(opt->flags & AV_OPT_FLAG_ENCODING_PARAM))
                continue;
        }
        std::uint8_t* text = nullptr;
        if (FF.av_opt_get(source, n.constData(), AV_OPT_SEARCH_CHILDREN, &text) < 0) continue;
        if (FF.av_opt_set(dest, n.constData(), reinterpret_cast<const char*>(text),
                          AV_OPT_SEARCH_CHILDREN) >= 0)
            ++copied;
        FF.av_free(text);
    }
    return copied;
}

QString TCustomFFmpeg::ScalerFlags() const
{
    std::uint8_t* text = nullptr;
    if (!FSwsOpts || FF.av_opt_get(FSwsOpts, "sws_flags", 0, &text) < 0 || !text) return QStringLiteral("bicubic");
    const QString flags = QString::fromUtf8(reinterpret_cast<const char*>(text));
    FF.av_free(text);
    return flags.isEmpty() ? QStringLiteral("bicubic") : flags;
}

std::vector<std::pair<QByteArray, QByteArray>> TCustomFFmpeg::DecoderOptions(AVMediaType type) const
{
    std::vector<std::pair<QByteArray, QByteArray>> options;
    void* source = type >= 0 && type < AVMEDIA_TYPE_NB ? FCodecOpts[type] : nullptr;
    if (!source) return options;
    for (const auto& [t, name] : FOptionNames) {
        if (t != type) continue;
        const QByteArray n = Utf8(name);
        if (!FF.av_opt_find(source, n.constData(), nullptr, AV_OPT_FLAG_DECODING_PARAM, AV_OPT_SEARCH_CHILDREN))
            continue;
        std::uint8_t* text = nullptr;
        if (FF.av_opt_get(source, n.constData(), AV_OPT_SEARCH_CHILDREN, &text) < 0) continue;
        options.emplace_back(n, QByteArray(reinterpret_cast<const char*>(text)));
        FF.av_free(text);
    }
    return options;
}

int TCustomFFmpeg::CopyCodecOptions(AVCodecContext* ctx, AVMediaType type) const
{
    return type >= 0 && type < AVMEDIA_TYPE_NB ? CopyOptions(type, ctx, true) : 0;
}

int TCustomFFmpeg::CopyFormatOptions(AVFormatContext* ctx) const
{
    return CopyOptions(otFormat, ctx);
}

int TCustomFFmpeg::CopyScalerOptions(SwsContext* ctx) const
{
    return CopyOptions(otScaler, ctx);
}

// A codec name makes its private options reachable: the probe context of that media type is
// rebuilt for the codec and keeps what was set so far.
void TCustomFFmpeg::RebuildCodecContext(AVMediaType type, const QString& codecName)
{
    if (!OptionContextsReady()) return;
    const QByteArray n = Utf8(codecName);
    const AVCodec* codec = FF.avcodec_find_encoder_by_name(n.constData());
    if (!codec || codec->type != type) codec = FF.avcodec_find_decoder_by_name(n.constData());
    if (!codec || codec->type != type) return; // reported when the stream is created
    AVCodecContext* ctx = FF.avcodec_alloc_context3(codec);
    if (!ctx) return;
    CopyOptions(type, ctx);
    FF.avcodec_free_context(&FCodecOpts[type]);
    FCodecOpts[type] = ctx;
}

// Likewise a container name makes the muxer's private options (such as "muxrate") reachable.
void TCustomFFmpeg::RebuildFormatContext(const QString& formatName)
{
    if (!OptionContextsReady()) return;
    const QByteArray n = Utf8(formatName);
    const AVOutputFormat* muxer = FF.av_guess_format(n.constData(), nullptr, nullptr);
    if (!muxer) return;
    AVFormatContext* ctx = nullptr;
    if (FF.avformat_alloc_output_context2(&ctx, muxer, nullptr, nullptr) < 0 || !ctx) return;
    CopyOptions(otFormat, ctx);
    FF.avformat_free_context(FFormatOpts);
    FFormatOpts = ctx;
}
