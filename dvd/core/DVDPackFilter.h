#pragma once
// Keeping one audio and one subtitle stream of a DVD program stream: every other audio,
// subtitle and navigation packet of a 2048-byte pack becomes padding of the same length, so
// the pack keeps its size and the demuxer sees only the chosen streams.
#include <cstdint>

enum class TPackResult {
    Kept,      // a usable pack, possibly with packets padded out
    Scrambled, // the pack is encrypted: the disc needs a decryption library
    Foreign,   // not a pack at all (passed through unchanged)
};

// Where the range really starts. A chapter range starts at a cell, but the cell's first packs
// still carry audio (and subtitles) of the chapter before; they are dropped up to the pack where
// the stream reaches the first picture's time, so the range starts where its chapter does.
// Learned once by filtering the range's first packs in order (a "From" of -1 is still being
// looked for); afterwards packs may be filtered in any order, as the demuxer seeks.
struct TPackFilterState {
    std::int64_t StartPTS = -1;       // of the range's first navigation pack, 90 kHz
    std::int64_t AudioFromPack = -1;  // index of the pack from which the audio is kept
    std::int64_t SubtitleFromPack = -1;
};

// audioID / subtitleID: the stream ids to keep (0xC0+n, 0x80+n, 0x88+n, 0xA0+n / 0x20+n);
// 0 keeps none of that kind. Without a state every packet of those streams is kept.
// packIndex: the pack's place in the range, from 0.
TPackResult FilterDVDPack(std::uint8_t* pack, int audioID, int subtitleID, TPackFilterState* state = nullptr,
                          std::int64_t packIndex = 0);
