#include "InputSource.h"

#include "FFmpegLogger.h"

#include "FFmpegApi.h"

#include <QHash>

#include <mutex>

namespace {

constexpr int BufferSize = 64 * 1024;

std::mutex SchemeLock;

QHash<QString, TInputSourceOpener>& Schemes()
{
    static QHash<QString, TInputSourceOpener> schemes;
    return schemes;
}

QString SchemeOf(const QString& name)
{
    const qsizetype colon = name.indexOf(u':');
    // One letter before the colon is a drive, not a scheme.
    return colon > 1 ? name.left(colon).toLower() : QString();
}

TInputSourceOpener OpenerFor(const QString& name)
{
    const QString scheme = SchemeOf(name);
    if (scheme.isEmpty())
        return {};
    std::lock_guard lock(SchemeLock);
    return Schemes().value(scheme);
}

int ReadPacket(void* opaque, std::uint8_t* buffer, int size)
{
    const int got = static_cast<TInputSource*>(opaque)->Read(buffer, size);
    return got == 0 ? AVERROR_EOF : got;
}

std::int64_t SeekTo(void* opaque, std::int64_t offset, int whence)
{
    auto* source = static_cast<TInputSource*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return source->Size();
    case SEEK_SET: return source->Seek(offset);
    case SEEK_CUR: return source->Seek(source->Position() + offset);
    case SEEK_END: return source->Size() < 0 ? -1 : source->Seek(source->Size() + offset);
    default: return -1;
    }
}

} // namespace

void RegisterInputScheme(const QString& scheme, TInputSourceOpener opener)
{
    std::lock_guard lock(SchemeLock);
    Schemes().insert(scheme.toLower(), std::move(opener));
}

bool AttachInputSource(AVFormatContext* ctx, const QString& name, QString* error)
{
    const TInputSourceOpener opener = OpenerFor(name);
    if (!opener)
        return true;
    QString reason;
    std::unique_ptr<TInputSource> source = opener(name, &reason);
    if (!source) {
        if (error)
            *error = name + QStringLiteral(": ") + reason;
        return false;
    }
    auto* buffer = static_cast<unsigned char*>(FF.av_malloc(BufferSize));
    AVIOContext* pb = buffer ? FF.avio_alloc_context(buffer, BufferSize, 0, source.get(), ReadPacket, nullptr, SeekTo)
                             : nullptr;
    if (!pb) {
        FF.av_free(buffer);
        if (error)
            *error = name + QStringLiteral(": out of memory");
        return false;
    }
    source.release(); // owned by pb from here
    ctx->pb = pb;
    return true;
}

void ReleaseInputSource(AVIOContext*& pb)
{
    if (!pb)
        return;
    delete static_cast<TInputSource*>(pb->opaque);
    FF.av_freep(&pb->buffer);
    FF.avio_context_free(&pb);
    pb = nullptr;
}

void CloseInputContext(AVFormatContext** ctx)
{
    if (!ctx || !*ctx)
        return;
    // Only attached sources make an input's I/O custom.
    AVIOContext* pb = ((*ctx)->flags & AVFMT_FLAG_CUSTOM_IO) ? (*ctx)->pb : nullptr;
    FF.avformat_close_input(ctx);
    ReleaseInputSource(pb);
}

QString InputReadError(const AVFormatContext* ctx)
{
    if (!ctx || !ctx->pb || ctx->pb->error >= 0 || ctx->pb->error == AVERROR_EOF)
        return {};
    if (ctx->flags & AVFMT_FLAG_CUSTOM_IO) {
        const QString reason = static_cast<const TInputSource*>(ctx->pb->opaque)->LastError();
        if (!reason.isEmpty())
            return reason;
    }
    return FFErrorText(ctx->pb->error);
}
