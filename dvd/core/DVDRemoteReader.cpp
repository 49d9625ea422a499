#include "DVDRemoteReader.h"

#include "DVDReaderProtocol.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

using namespace DVDReaderProtocol;

namespace {

// A reader that ends this often while listing one root is not started again.
constexpr int MaxRestarts = 3;

QString TextAfter(const std::vector<std::uint8_t>& payload, std::size_t offset)
{
    if (payload.size() <= offset)
        return {};
    return QString::fromLocal8Bit(reinterpret_cast<const char*>(payload.data() + offset),
                                  qsizetype(payload.size() - offset));
}

struct TTitleMessage {
    std::int32_t Index;
    std::int32_t Filled;
    TDVDTitleInfo Record;
};

} // namespace

TDVDRootRead ReadDVDRootWith(const QString& program, const QString& plugIn, const QString& root,
                             const std::atomic<bool>* cancel)
{
    TDVDRootRead result;
    TDVDReaderProcess reader;
    int next = 0; // the first title not answered yet
    for (int run = 0; run <= MaxRestarts; ++run) {
        QString error;
        if (!reader.Start(program, {plugIn, QStringLiteral("titles"), root, QString::number(next)}, &error)) {
            result.Error = DVDUnreadableText;
            result.Detail = error;
            return result;
        }
        std::uint32_t type = 0;
        std::vector<std::uint8_t> payload;
        TDVDReaderProcess::TWait wait;
        bool ended = false;
        while ((wait = reader.Next(type, payload, cancel)) == TDVDReaderProcess::TWait::Message) {
            if (type == mCount && payload.size() >= sizeof(std::int32_t) && next == 0) {
                std::int32_t count = 0;
                std::memcpy(&count, payload.data(), sizeof count);
                result.Count = std::min<int>(count, MaxTitles);
                if (result.Count <= 0) {
                    result.Detail = TextAfter(payload, sizeof count);
                    return result;
                }
                result.Titles.assign(std::size_t(result.Count), std::nullopt);
            } else if (type == mTitle && payload.size() >= sizeof(TTitleMessage) && result.Count > 0) {
                TTitleMessage title;
                std::memcpy(&title, payload.data(), sizeof title);
                if (title.Index != next || title.Index >= result.Count)
                    break; // out of step: trust nothing more from this run
                if (title.Filled)
                    result.Titles[std::size_t(next)] = title.Record;
                ++next;
            } else if (type == mEnd) {
                ended = true;
                break;
            } else if (type == mError) {
                result.Detail = TextAfter(payload, 0);
                break;
            } else if (type != mCount) {
                break;
            }
        }
        reader.Stop();
        if (ended)
            return result;
        if (result.Detail.isEmpty() || wait != TDVDReaderProcess::TWait::Message)
            result.Detail = QStringLiteral("The DVD reader stopped (%1).").arg(reader.EndText());
        if (wait == TDVDReaderProcess::TWait::Cancelled) {
            result.Cancelled = true;
            return result;
        }
        if (result.Count <= 0) {
            result.Count = 0;
            result.Error = DVDUnreadableText;
            return result;
        }
        // The title being read took the reader down: it stays unreadable, the rest are tried.
        ++next;
        if (next >= result.Count || wait == TDVDReaderProcess::TWait::TimedOut)
            return result;
    }
    return result;
}

namespace {

thread_local std::string LastError;

struct TRemoteTitle {
    TDVDReaderProcess Reader;
    std::int64_t Blocks = 0;
};

void* RemoteOpen(const char* root, std::int32_t title, std::int32_t first, std::int32_t last)
{
    auto remote = std::make_unique<TRemoteTitle>();
    QString error;
    if (!remote->Reader.Start(DVDReaderProgram(), {DVDPlugInPath(), QStringLiteral("read"), QFile::decodeName(root),
                                                   QString::number(title), QString::number(first),
                                                   QString::number(last)},
                              &error)) {
        LastError = error.toStdString();
        return nullptr;
    }
    std::uint32_t type = 0;
    std::vector<std::uint8_t> payload;
    if (remote->Reader.Next(type, payload) != TDVDReaderProcess::TWait::Message) {
        LastError = (DVDUnreadableText + QStringLiteral(" (the reader stopped: %1).").arg(remote->Reader.EndText()))
                        .toStdString();
        return nullptr;
    }
    if (type == mOpened && payload.size() == sizeof(std::int64_t)) {
        std::memcpy(&remote->Blocks, payload.data(), sizeof remote->Blocks);
        if (remote->Blocks >= 0)
            return remote.release();
    }
    LastError = type == mError ? TextAfter(payload, 0).toStdString() : DVDUnreadableText.toStdString();
    return nullptr;
}

std::int64_t RemoteBlocks(void* handle)
{
    return handle ? static_cast<TRemoteTitle*>(handle)->Blocks : 0;
}

std::int32_t RemoteRead(void* handle, std::int64_t block, std::int32_t count, unsigned char* buffer)
{
    auto* remote = static_cast<TRemoteTitle*>(handle);
    if (!remote || !buffer || block < 0 || count < 0)
        return -1;
    std::int32_t done = 0;
    std::vector<std::uint8_t> payload;
    while (done < count) {
        const TBlockRequest request{block + done, std::min(count - done, MaxBlocksPerRequest), 0};
        std::uint32_t type = 0;
        if (!remote->Reader.Send(&request, sizeof request) ||
            remote->Reader.Next(type, payload) != TDVDReaderProcess::TWait::Message || type != mBlocks ||
            payload.size() < sizeof(std::int32_t)) {
            remote->Reader.Stop();
            LastError = (DVDUnreadableText + QStringLiteral(" (the reader stopped: %1).").arg(remote->Reader.EndText()))
                            .toStdString();
            return done > 0 ? done : -1;
        }
        std::int32_t got = 0;
        std::memcpy(&got, payload.data(), sizeof got);
        if (got <= 0) {
            if (got < 0)
                LastError = TextAfter(payload, sizeof got).toStdString();
            return done > 0 ? done : got;
        }
        got = std::min(got, request.Count);
        const std::size_t blockBytes = sizeof got + std::size_t(got) * DVDBlockSize;
        if (payload.size() < blockBytes || (got == request.Count && payload.size() != blockBytes)) {
            remote->Reader.Stop();
            LastError = DVDUnreadableText.toStdString();
            return done > 0 ? done : -1;
        }
        std::memcpy(buffer + std::size_t(done) * DVDBlockSize, payload.data() + sizeof got,
                    std::size_t(got) * DVDBlockSize);
        done += got;
        if (got < request.Count) {
            // A short read: the range ends, or a sector failed and its reason follows the blocks.
            LastError = TextAfter(payload, blockBytes).toStdString();
            break;
        }
    }
    return done;
}

void RemoteClose(void* handle)
{
    delete static_cast<TRemoteTitle*>(handle);
}

const char* RemoteLastError()
{
    return LastError.c_str();
}

} // namespace

const TDVDReaderFunctions& RemoteDVDReaderFunctions()
{
    static const TDVDReaderFunctions functions{RemoteOpen, RemoteBlocks, RemoteRead, RemoteClose, RemoteLastError};
    return functions;
}
