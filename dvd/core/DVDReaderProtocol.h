#pragma once
// What the program and the DVD reader process (vornic-dvdread) say to each other over one
// stream socket, the reader's descriptor 3. The reader runs the plug-in, and with it the disc
// library, where a crash on a damaged disc cannot take the program down.
//
//   vornic-dvdread PLUGIN titles ROOT FROM
//       -> Count, then Title for each index from FROM to count - 1, then End
//   vornic-dvdread PLUGIN read ROOT TITLE FIRST LAST
//       -> Opened (or Error); then per request <- TBlockRequest, -> Blocks
//
// Every message is a THeader and Length bytes. Both ends run on the same machine, so numbers
// are in the machine's own order.
#include "DVDTitleInfo.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace DVDReaderProtocol {

inline constexpr int Descriptor = 3;
inline constexpr const char* ProgramName = "vornic-dvdread";
inline constexpr std::int32_t MaxBlocksPerRequest = 64;
inline constexpr std::uint32_t MaxPayload = MaxBlocksPerRequest * DVDBlockSize + 4096;
// DVD-Video holds at most 99 titles; a count above that comes from a damaged table.
inline constexpr int MaxTitles = 99;

enum TMessage : std::uint32_t {
    mCount = 1,  // int32 count, then the plug-in's last error text
    mTitle = 2,  // int32 index, int32 filled, TDVDTitleInfo, then the last error text
    mEnd = 3,    // nothing
    mOpened = 4, // int64 blocks of the chapter range
    mError = 5,  // text
    mBlocks = 6, // int32 got; the blocks when got > 0, else the error text
};

struct THeader {
    std::uint32_t Type;
    std::uint32_t Length;
};

struct TBlockRequest {
    std::int64_t Block;
    std::int32_t Count;
    std::int32_t Unused;
};

// Writes all of data to the socket; false when the other end is gone (never a broken-pipe
// signal: a reader that died must not take the program with it, nor the program the reader).
inline bool WriteAll(int fd, const void* data, std::size_t size)
{
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

// Reads exactly size bytes; false at the end or on an error.
inline bool ReadAll(int fd, void* data, std::size_t size)
{
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

} // namespace DVDReaderProtocol
