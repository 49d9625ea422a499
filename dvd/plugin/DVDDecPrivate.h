#pragma once
// Inside the plug-in: opening a root quietly, reading a title's structure from its IFO files.
#include "DVDTitleInfo.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <dvdread/ifo_types.h>

#include <string>
#include <vector>

void SetLastError(const std::string& text);

// Opens a folder holding VIDEO_TS (or the VIDEO_TS folder itself) or a drive; null with the
// reason as last error. libdvdread's own messages are kept from the terminal.
dvd_reader_t* OpenRoot(const char* root);

// The main IFO's title table, with the owning handles.
struct TOpenDVD {
    dvd_reader_t* Dvd = nullptr;
    ifo_handle_t* Vmg = nullptr;
    TOpenDVD() = default;
    TOpenDVD(const TOpenDVD&) = delete;
    TOpenDVD& operator=(const TOpenDVD&) = delete;
    ~TOpenDVD() { Close(); }
    bool Open(const char* root); // false with the last error set
    void Close();
    int TitleCount() const;
};

// Fills a zeroed record for title index (from 0); false with the last error when the title
// set's IFO cannot be read.
bool FillTitleInfo(const TOpenDVD& dvd, int index, TDVDTitleInfo& info);

// One program chain's cells as a sector range of the title set's VOB file.
struct TSectorRange {
    std::uint32_t First = 0, Last = 0; // inclusive
};

// Sector ranges of chapters first..last (from 0) of a title, in play order; false with the
// last error when the title or the range does not exist. *vts receives the title set number.
bool TitleChapterSectors(const TOpenDVD& dvd, int title, int firstChapter, int lastChapter,
                         std::vector<TSectorRange>& ranges, int* vts);

double DVDTimeSeconds(const dvd_time_t& time);
// English name of a two-letter language code; "Unknown" for codes not in the table.
const char* DVDLanguageName(const char* code);
