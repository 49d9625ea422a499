#include "DVDPackFilter.h"

#include "DVDTitleInfo.h"

#include <cstring>

namespace {

constexpr std::uint8_t PaddingStream = 0xBE;
constexpr std::uint8_t PrivateStream1 = 0xBD;
constexpr std::uint8_t PrivateStream2 = 0xBF; // navigation

bool StartCode(const std::uint8_t* p)
{
    return p[0] == 0 && p[1] == 0 && p[2] == 1;
}

void PadOut(std::uint8_t* packet, int length)
{
    packet[3] = PaddingStream;
    std::memset(packet + 6, 0xFF, std::size_t(length));
}

// The presentation time of a packet with an MPEG-2 header, -1 when it carries none.
std::int64_t PacketPTS(const std::uint8_t* packet, int length)
{
    if (length < 8 || !(packet[7] & 0x80))
        return -1;
    const std::uint8_t* p = packet + 9;
    return (std::int64_t((p[0] >> 1) & 7) << 30) | (std::int64_t(p[1]) << 22) | (std::int64_t(p[2] >> 1) << 15) |
           (std::int64_t(p[3]) << 7) | (p[4] >> 1);
}

// A navigation packet's presentation information starts with the VOBU's start time.
void ReadStartTime(const std::uint8_t* packet, int length, TPackFilterState& state)
{
    if (state.StartPTS >= 0 || length < 1 + 16 || packet[6] != 0x00)
        return;
    const std::uint8_t* ptm = packet + 7 + 12;
    state.StartPTS = (std::int64_t(ptm[0]) << 24) | (ptm[1] << 16) | (ptm[2] << 8) | ptm[3];
}

// A packet of the chapter before: in a pack before its stream's first on-time one, or in that
// pack with an earlier time.
bool Early(const std::uint8_t* packet, int length, std::int64_t& fromPack, std::int64_t packIndex,
           const TPackFilterState& state)
{
    if (state.StartPTS < 0)
        return false;
    const std::int64_t pts = PacketPTS(packet, length);
    if (fromPack < 0) { // still learning
        if (pts < state.StartPTS)
            return true;
        fromPack = packIndex;
        return false;
    }
    return packIndex < fromPack || (packIndex == fromPack && pts >= 0 && pts < state.StartPTS);
}

bool IsAudio(int id)
{
    return (id >= 0xC0 && id <= 0xDF) || (id >= 0x80 && id <= 0x8F) || (id >= 0xA0 && id <= 0xAF);
}

} // namespace

TPackResult FilterDVDPack(std::uint8_t* pack, int audioID, int subtitleID, TPackFilterState* state,
                          std::int64_t packIndex)
{
    if (!StartCode(pack) || pack[3] != 0xBA || (pack[4] & 0xC0) != 0x40)
        return TPackResult::Foreign; // MPEG-1 packs do not occur on a DVD
    int pos = 14 + (pack[13] & 0x07);
    bool scrambled = false;
    while (pos + 6 <= DVDBlockSize && StartCode(pack + pos)) {
        std::uint8_t* packet = pack + pos;
        const int id = packet[3];
        const int length = (packet[4] << 8) | packet[5];
        if (pos + 6 + length > DVDBlockSize)
            break; // a damaged length: leave the rest as it is
        const bool hasHeader = id != PaddingStream && id != PrivateStream2 && id != 0xBB && length >= 3;
        if (hasHeader && (packet[6] & 0x30))
            scrambled = true;
        int stream = -1; // -1: a packet that is always kept
        if (id == PrivateStream1 && hasHeader) {
            const int payload = 9 + packet[8];
            if (payload < 6 + length)
                stream = packet[payload];
        } else if (id >= 0xC0 && id <= 0xDF) {
            stream = id;
        }
        if (id == PrivateStream2) {
            if (state)
                ReadStartTime(packet, length, *state);
            PadOut(packet, length);
        } else if (stream >= 0 && !scrambled) {
            const bool audio = IsAudio(stream), subtitle = stream >= 0x20 && stream <= 0x3F;
            bool keep = audio ? stream == audioID : subtitle ? stream == subtitleID : false;
            if (keep && state)
                keep = !Early(packet, length, audio ? state->AudioFromPack : state->SubtitleFromPack, packIndex,
                              *state);
            if (!keep)
                PadOut(packet, length);
        }
        pos += 6 + length;
    }
    return scrambled ? TPackResult::Scrambled : TPackResult::Kept;
}
