// A title's record and its chapters' sectors, read from the main IFO and the title set's IFO.
#include "DVDDecPrivate.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

int FromBCD(std::uint8_t value)
{
    return (value >> 4) * 10 + (value & 0x0F);
}

struct TIfoCloser {
    void operator()(ifo_handle_t* ifo) const { ifoClose(ifo); }
};
using TIfo = std::unique_ptr<ifo_handle_t, TIfoCloser>;

// The title set's IFO of a title, or null with the last error set.
TIfo OpenTitleSet(const TOpenDVD& dvd, int title, const title_info_t*& info)
{
    const tt_srpt_t* table = dvd.Vmg ? dvd.Vmg->tt_srpt : nullptr;
    if (!table || title < 0 || title >= table->nr_of_srpts) {
        SetLastError("No such title.");
        return nullptr;
    }
    info = &table->title[title];
    TIfo vts(ifoOpen(dvd.Dvd, info->title_set_nr));
    if (!vts || !vts->vtsi_mat || !vts->vts_ptt_srpt || !vts->vts_pgcit) {
        SetLastError("The IFO file of title set " + std::to_string(info->title_set_nr) + " cannot be read.");
        return nullptr;
    }
    if (info->vts_ttn < 1 || info->vts_ttn > vts->vts_ptt_srpt->nr_of_srpts) {
        SetLastError("The title set has no entry for the title.");
        return nullptr;
    }
    return vts;
}

const pgc_t* ProgramChain(const ifo_handle_t& vts, int pgcn)
{
    if (pgcn < 1 || pgcn > vts.vts_pgcit->nr_of_pgci_srp)
        return nullptr;
    const pgc_t* pgc = vts.vts_pgcit->pgci_srp[pgcn - 1].pgc;
    return pgc && pgc->program_map && pgc->cell_playback ? pgc : nullptr;
}

// Cells (from 0) of one chapter; false when the chapter's program does not exist.
bool ChapterCells(const ifo_handle_t& vts, const ptt_info_t& ptt, const pgc_t*& pgc, int& first, int& last)
{
    pgc = ProgramChain(vts, ptt.pgcn);
    if (!pgc || ptt.pgn < 1 || ptt.pgn > pgc->nr_of_programs)
        return false;
    first = pgc->program_map[ptt.pgn - 1] - 1;
    last = ptt.pgn < pgc->nr_of_programs ? pgc->program_map[ptt.pgn] - 2 : pgc->nr_of_cells - 1;
    last = std::min(last, int(pgc->nr_of_cells) - 1);
    return first >= 0 && first <= last;
}

// Only the first angle of an angle block is read.
bool SkippedAngle(const cell_playback_t& cell)
{
    return cell.block_type == BLOCK_TYPE_ANGLE_BLOCK && cell.block_mode != BLOCK_MODE_FIRST_CELL;
}

void CopyLanguage(std::uint16_t code, char (&out)[4], char (&name)[64])
{
    const char text[3] = {char(code >> 8), char(code & 0xFF), 0};
    const bool known = text[0] >= 'a' && text[0] <= 'z' && text[1] >= 'a' && text[1] <= 'z';
    std::snprintf(out, sizeof out, "%s", known ? text : "");
    std::snprintf(name, sizeof name, "%s", known ? DVDLanguageName(text) : "Unknown");
}

void FillAudio(const ifo_handle_t& vts, const pgc_t& pgc, TDVDTitleInfo& info)
{
    const int streams = std::min<int>(vts.vtsi_mat->nr_of_vts_audio_streams, DVDMaxAudio);
    for (int j = 0; j < streams && info.AudioCount < DVDMaxAudio; ++j) {
        const std::uint16_t control = pgc.audio_control[j];
        if (!(control & 0x8000))
            continue; // not present in this title
        const int n = (control >> 8) & 0x07;
        const audio_attr_t& attr = vts.vtsi_mat->vts_audio_attr[j];
        TDVDAudioInfo& a = info.Audio[info.AudioCount++];
        switch (attr.audio_format) {
        case 0: a.Type = dcAC3; a.ID = 0x80 + n; break;
        case 2: case 3: a.Type = dcMPA; a.ID = 0xC0 + n; break;
        case 4: a.Type = dcLPCM; a.ID = 0xA0 + n; break;
        case 6: a.Type = dcDTS; a.ID = 0x88 + n; break;
        default: a.Type = dcUnknown; a.ID = 0x80 + n; break;
        }
        a.SampleRate = attr.sample_frequency == 1 ? 96000 : 48000;
        a.Channels = attr.channels + 1;
        CopyLanguage(attr.lang_type == 1 ? attr.lang_code : 0, a.LanguageCode, a.LanguageName);
    }
}

void FillSubtitles(const ifo_handle_t& vts, const pgc_t& pgc, TDVDTitleInfo& info)
{
    // Each stream has a number per way of showing the picture: 4:3, then for 16:9 pictures
    // wide, letterbox and pan&scan. The picture is kept as it is, so a 16:9 title's
    // subtitles are those made for the wide picture.
    const bool wide = vts.vtsi_mat->vts_video_attr.display_aspect_ratio == 3;
    const int shift = wide ? 16 : 24;
    const int streams = std::min<int>(vts.vtsi_mat->nr_of_vts_subp_streams, DVDMaxSubtitles);
    for (int j = 0; j < streams && info.SubtitleCount < DVDMaxSubtitles; ++j) {
        const std::uint32_t control = pgc.subp_control[j];
        if (!(control & 0x80000000u))
            continue;
        const int n = int((control >> shift) & 0x1F);
        const subp_attr_t& attr = vts.vtsi_mat->vts_subp_attr[j];
        TDVDSubtitleInfo& s = info.Subtitle[info.SubtitleCount++];
        s.Type = dcSUB;
        s.ID = 0x20 + n;
        CopyLanguage(attr.type == 1 ? attr.lang_code : 0, s.LanguageCode, s.LanguageName);
    }
}

} // namespace

double DVDTimeSeconds(const dvd_time_t& time)
{
    const int rate = (time.frame_u & 0xC0) >> 6;
    const double fps = rate == 1 ? 25.0 : rate == 3 ? 30000.0 / 1001.0 : 0.0;
    double seconds = FromBCD(time.hour) * 3600.0 + FromBCD(time.minute) * 60.0 + FromBCD(time.second);
    if (fps > 0)
        seconds += FromBCD(time.frame_u & 0x3F) / fps;
    return seconds;
}

bool FillTitleInfo(const TOpenDVD& dvd, int index, TDVDTitleInfo& info)
{
    const title_info_t* title = nullptr;
    const TIfo vts = OpenTitleSet(dvd, index, title);
    if (!vts)
        return false;
    const video_attr_t& video = vts->vtsi_mat->vts_video_attr;
    info.VideoType = video.mpeg_version == 0 ? dcMPEG1 : video.mpeg_version == 1 ? dcMPEG2 : dcUnknown;
    info.VideoID = 0xE0;
    info.Norm = video.video_format == 1 ? 0 : video.video_format == 0 ? 1 : 2;
    info.Aspect = video.display_aspect_ratio == 0 ? 0 : video.display_aspect_ratio == 3 ? 1 : 2;
    const int fullHeight = info.Norm == 1 ? 480 : 576;
    static constexpr int Widths[] = {720, 704, 352, 352};
    info.Width = Widths[video.picture_size & 3];
    info.Height = video.picture_size == 3 ? fullHeight / 2 : fullHeight;

    const ttu_t& chapters = vts->vts_ptt_srpt->title[title->vts_ttn - 1];
    const pgc_t* firstPgc = chapters.nr_of_ptts > 0 ? ProgramChain(*vts, chapters.ptt[0].pgcn) : nullptr;
    if (!firstPgc) {
        SetLastError("The title has no program chain.");
        return false;
    }
    // All chapters count, so all can be chosen; the record holds the lengths of the first 100.
    info.ChapterCount = chapters.nr_of_ptts;
    double total = 0;
    for (int k = 0; k < chapters.nr_of_ptts; ++k) {
        const pgc_t* pgc = nullptr;
        int first = 0, last = -1;
        double length = 0;
        if (ChapterCells(*vts, chapters.ptt[k], pgc, first, last))
            for (int c = first; c <= last; ++c)
                if (!SkippedAngle(pgc->cell_playback[c]))
                    length += DVDTimeSeconds(pgc->cell_playback[c].playback_time);
        if (k < DVDMaxChapters)
            info.ChapterLength[k] = length;
        total += length;
    }
    // The chain's own time covers a one-chain title exactly; chapters spread over chains add up.
    const double chainTime = DVDTimeSeconds(firstPgc->playback_time);
    info.Length = chainTime > 0 && chapters.ptt[chapters.nr_of_ptts - 1].pgcn == chapters.ptt[0].pgcn ? chainTime
                                                                                                    : total;
    FillAudio(*vts, *firstPgc, info);
    FillSubtitles(*vts, *firstPgc, info);
    info.IsValid = firstPgc->nr_of_cells > 0 && info.Length > 0 ? 1 : 0;
    return true;
}

bool TitleChapterSectors(const TOpenDVD& dvd, int title, int firstChapter, int lastChapter,
                         std::vector<TSectorRange>& ranges, int* vtsNumber)
{
    const title_info_t* info = nullptr;
    const TIfo vts = OpenTitleSet(dvd, title, info);
    if (!vts)
        return false;
    const ttu_t& chapters = vts->vts_ptt_srpt->title[info->vts_ttn - 1];
    if (firstChapter < 0 || lastChapter < firstChapter || lastChapter >= chapters.nr_of_ptts) {
        SetLastError("The title has no chapters " + std::to_string(firstChapter + 1) + " to " +
                     std::to_string(lastChapter + 1) + ".");
        return false;
    }
    ranges.clear();
    for (int k = firstChapter; k <= lastChapter; ++k) {
        const pgc_t* pgc = nullptr;
        int first = 0, last = -1;
        if (!ChapterCells(*vts, chapters.ptt[k], pgc, first, last))
            continue;
        for (int c = first; c <= last; ++c) {
            const cell_playback_t& cell = pgc->cell_playback[c];
            if (SkippedAngle(cell) || cell.last_sector < cell.first_sector)
                continue;
            if (!ranges.empty() && ranges.back().Last + 1 == cell.first_sector)
                ranges.back().Last = cell.last_sector; // contiguous cells read as one
            else
                ranges.push_back({cell.first_sector, cell.last_sector});
        }
    }
    if (ranges.empty()) {
        SetLastError("The chapters hold no video.");
        return false;
    }
    *vtsNumber = info->title_set_nr;
    return true;
}
