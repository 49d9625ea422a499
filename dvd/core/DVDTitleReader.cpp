#include "DVDTitleReader.h"

#include "DVDPackFilter.h"
#include "DVDPlugIn.h"

#include <QFile>
#include <QUrl>
#include <QUrlQuery>

extern "C" {
#include <libavutil/error.h>
}

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr int ChunkBlocks = 32;

class TDVDTitleSource : public TInputSource {
public:
    TDVDTitleSource(const TDVDReaderFunctions& f, void* handle, int audioID, int subtitleID)
        : F(f), Handle(handle), AudioID(audioID), SubtitleID(subtitleID),
          Bytes(f.Blocks(handle) * DVDBlockSize), Chunk(std::size_t(ChunkBlocks) * DVDBlockSize)
    {
    }
    ~TDVDTitleSource() override { F.Close(Handle); }

    // Reads the chunk holding byte position `at`; false with Error set.
    bool Load(std::int64_t at)
    {
        if (at >= ChunkStart && at < ChunkStart + ChunkBytes)
            return true;
        const std::int64_t block = at / DVDBlockSize / ChunkBlocks * ChunkBlocks;
        const int got = F.Read(Handle, block, ChunkBlocks, Chunk.data());
        // A damaged sector gives back the blocks before it: when those end before `at`, the
        // sector at `at` is the damaged one.
        if (got <= 0 || block * DVDBlockSize + std::int64_t(got) * DVDBlockSize <= at) {
            Error = F.LastError ? QString::fromLocal8Bit(F.LastError()) : QStringLiteral("DVD read error");
            ChunkBytes = 0;
            return false;
        }
        for (int i = 0; i < got; ++i)
            if (FilterDVDPack(Chunk.data() + std::size_t(i) * DVDBlockSize, AudioID, SubtitleID, &Filter, block + i) ==
                TPackResult::Scrambled) {
                Error = DVDEncryptedText;
                ChunkBytes = 0;
                return false;
            }
        ChunkStart = block * DVDBlockSize;
        ChunkBytes = std::int64_t(got) * DVDBlockSize;
        return true;
    }

    int Read(std::uint8_t* buffer, int size) override
    {
        int done = 0;
        while (done < size && Pos < Bytes) {
            if (Pos < ChunkStart || Pos >= ChunkStart + ChunkBytes)
                if (!Load(Pos))
                    return done > 0 ? done : AVERROR(EIO);
            const std::int64_t offset = Pos - ChunkStart;
            const int n = int(std::min<std::int64_t>(size - done, ChunkBytes - offset));
            std::memcpy(buffer + done, Chunk.data() + offset, std::size_t(n));
            done += n;
            Pos += n;
        }
        return done;
    }

    std::int64_t Seek(std::int64_t position) override
    {
        if (position < 0 || position > Bytes)
            return -1;
        Pos = position;
        return Pos;
    }

    // Learns where the chosen streams start from the range's first packs; false on a read error.
    bool FindStart()
    {
        constexpr std::int64_t ScanBlocks = 1024; // 2 MB: the chapter before never reaches further
        const std::int64_t blocks = std::min(Bytes / DVDBlockSize, ScanBlocks);
        std::vector<std::uint8_t> scan(std::size_t(ChunkBlocks) * DVDBlockSize);
        auto known = [&] {
            return (AudioID == 0 || Filter.AudioFromPack >= 0) && (SubtitleID == 0 || Filter.SubtitleFromPack >= 0);
        };
        for (std::int64_t block = 0; block < blocks && !known(); block += ChunkBlocks) {
            const int got = F.Read(Handle, block, ChunkBlocks, scan.data());
            if (got <= 0) {
                Error = F.LastError ? QString::fromLocal8Bit(F.LastError()) : QStringLiteral("DVD read error");
                return false;
            }
            for (int i = 0; i < got; ++i)
                if (FilterDVDPack(scan.data() + std::size_t(i) * DVDBlockSize, AudioID, SubtitleID, &Filter,
                                  block + i) == TPackResult::Scrambled)
                    return true; // Load reports it
        }
        // Not found near the start: nothing of that stream is dropped.
        Filter.AudioFromPack = std::max<std::int64_t>(Filter.AudioFromPack, 0);
        Filter.SubtitleFromPack = std::max<std::int64_t>(Filter.SubtitleFromPack, 0);
        return true;
    }

    std::int64_t Position() const override { return Pos; }
    std::int64_t Size() const override { return Bytes; }
    QString LastError() const override { return Error; }

private:
    TDVDReaderFunctions F;
    void* Handle;
    int AudioID, SubtitleID;
    std::int64_t Bytes;
    std::vector<std::uint8_t> Chunk;
    std::int64_t ChunkStart = 0, ChunkBytes = 0;
    std::int64_t Pos = 0;
    QString Error;
    TPackFilterState Filter; // learned by FindStart, then the same for every pack
};

} // namespace

QString DVDInputName(const TDVDSelection& s)
{
    QUrl url;
    url.setScheme(QStringLiteral("dvd"));
    url.setPath(s.Root);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("title"), QString::number(s.TitleIndex));
    query.addQueryItem(QStringLiteral("first"), QString::number(s.FirstChapter));
    query.addQueryItem(QStringLiteral("last"), QString::number(s.LastChapter));
    query.addQueryItem(QStringLiteral("audio"), QString::number(s.AudioID));
    query.addQueryItem(QStringLiteral("subtitle"), QString::number(s.SubtitleID));
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

bool ParseDVDInputName(const QString& name, TDVDSelection& s)
{
    const QUrl url(name, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QStringLiteral("dvd") || url.path().isEmpty())
        return false;
    const QUrlQuery query(url);
    bool ok = true;
    auto number = [&](const char* key) {
        bool good = false;
        const int value = query.queryItemValue(QString::fromLatin1(key)).toInt(&good);
        ok = ok && good;
        return value;
    };
    TDVDSelection read;
    read.Root = url.path(QUrl::FullyDecoded);
    read.TitleIndex = number("title");
    read.FirstChapter = number("first");
    read.LastChapter = number("last");
    read.AudioID = number("audio");
    read.SubtitleID = number("subtitle");
    if (!ok)
        return false;
    s = read;
    return true;
}

std::unique_ptr<TInputSource> OpenDVDTitleSource(const TDVDSelection& s, QString* error)
{
    const TDVDReaderFunctions* f = DVDReaderFunctions();
    if (!f) {
        *error = DVDPlugInLoaded() ? QStringLiteral("The DVD plug-in cannot read titles.")
                                   : QStringLiteral("DVD plug-in library is not loaded.");
        return nullptr;
    }
    void* handle = f->Open(QFile::encodeName(s.Root).constData(), s.TitleIndex, s.FirstChapter, s.LastChapter);
    if (!handle) {
        *error = f->LastError ? QString::fromLocal8Bit(f->LastError()) : QStringLiteral("The title cannot be read.");
        return nullptr;
    }
    auto source = std::make_unique<TDVDTitleSource>(*f, handle, s.AudioID, s.SubtitleID);
    // An encrypted disc shows at its first pack: better refused here than converted into noise.
    if (source->Size() <= 0 || !source->FindStart() || !source->Load(0)) {
        *error = source->Size() <= 0 ? QStringLiteral("The chapters hold no data.") : source->LastError();
        return nullptr;
    }
    return source;
}

void RegisterDVDInputScheme()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterInputScheme(QStringLiteral("dvd"), [](const QString& name, QString* error) {
            TDVDSelection selection;
            if (!ParseDVDInputName(name, selection)) {
                *error = QStringLiteral("not a DVD title name");
                return std::unique_ptr<TInputSource>();
            }
            return OpenDVDTitleSource(selection, error);
        });
    });
}
