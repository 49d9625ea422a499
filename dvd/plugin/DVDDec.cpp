// The plug-in's exports: enumeration of a root's titles and their records, and reading the
// VOB blocks of a chapter range. Encrypted discs are read as they are; the caller sees the
// scrambled packs and says so.
#include "DVDDecPrivate.h"

#include <dvdread/version.h>

#include <cstdarg>
#include <cstring>
#include <memory>
#include <mutex>

#define DVDDEC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

thread_local std::string LastError;

// The root DVDEnumTitle opened last; DVDGetTitle reads its titles.
std::mutex EnumLock;
TOpenDVD Enumerated;

void QuietLog(void*, dvd_logger_level_t level, const char* format, va_list args)
{
    if (level != DVD_LOGGER_LEVEL_ERROR)
        return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    LastError = text;
}

const dvd_logger_cb QuietLogger = {QuietLog};

struct TTitleReader {
    TOpenDVD Dvd;
    dvd_file_t* File = nullptr;
    std::vector<TSectorRange> Ranges;
    std::int64_t Blocks = 0;
};

} // namespace

void SetLastError(const std::string& text)
{
    LastError = text;
}

dvd_reader_t* OpenRoot(const char* root)
{
    if (!root || !*root) {
        SetLastError("No DVD root given.");
        return nullptr;
    }
    std::string path = root;
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
    LastError.clear();
    dvd_reader_t* dvd = DVDOpen2(nullptr, &QuietLogger, path.c_str());
    if (!dvd && LastError.empty())
        SetLastError("Cannot open " + path + " as a DVD.");
    return dvd;
}

bool TOpenDVD::Open(const char* root)
{
    Close();
    Dvd = OpenRoot(root);
    if (!Dvd)
        return false;
    Vmg = ifoOpen(Dvd, 0);
    if (!Vmg || !Vmg->tt_srpt) {
        SetLastError("VIDEO_TS.IFO cannot be read.");
        Close();
        return false;
    }
    return true;
}

void TOpenDVD::Close()
{
    if (Vmg)
        ifoClose(Vmg);
    if (Dvd)
        DVDClose(Dvd);
    Vmg = nullptr;
    Dvd = nullptr;
}

int TOpenDVD::TitleCount() const
{
    return Vmg && Vmg->tt_srpt ? Vmg->tt_srpt->nr_of_srpts : 0;
}

DVDDEC_EXPORT std::int32_t DVDInitialize(const char*)
{
    return 1;
}

DVDDEC_EXPORT std::int32_t DVDEnumTitle(const char* root)
{
    std::lock_guard lock(EnumLock);
    if (!Enumerated.Open(root))
        return 0;
    return Enumerated.TitleCount();
}

DVDDEC_EXPORT std::int32_t DVDGetTitle(std::int32_t index, TDVDTitleInfo* info)
{
    if (!info)
        return 0;
    std::lock_guard lock(EnumLock);
    if (index < 0 || index >= Enumerated.TitleCount()) {
        SetLastError("No such title.");
        return 0;
    }
    return FillTitleInfo(Enumerated, index, *info) ? 1 : 0;
}

DVDDEC_EXPORT std::int32_t DVDSetParam(const char*, const char*)
{
    return 0; // no parameters
}

DVDDEC_EXPORT std::int32_t DVDGetLibVersion()
{
    return DVDREAD_VERSION;
}

DVDDEC_EXPORT void* DVDOpenTitleReader(const char* root, std::int32_t title, std::int32_t firstChapter,
                                       std::int32_t lastChapter)
{
    auto reader = std::make_unique<TTitleReader>();
    if (!reader->Dvd.Open(root))
        return nullptr;
    if (title < 0 || title >= reader->Dvd.TitleCount()) {
        SetLastError("No such title.");
        return nullptr;
    }
    int vts = 0;
    if (!TitleChapterSectors(reader->Dvd, title, firstChapter, lastChapter, reader->Ranges, &vts))
        return nullptr;
    reader->File = DVDOpenFile(reader->Dvd.Dvd, vts, DVD_READ_TITLE_VOBS);
    if (!reader->File) {
        SetLastError("The VOB files of title set " + std::to_string(vts) + " cannot be opened.");
        return nullptr;
    }
    for (const TSectorRange& range : reader->Ranges)
        reader->Blocks += std::int64_t(range.Last) - range.First + 1;
    return reader.release();
}

DVDDEC_EXPORT std::int64_t DVDTitleReaderBlocks(void* handle)
{
    return handle ? static_cast<TTitleReader*>(handle)->Blocks : 0;
}

DVDDEC_EXPORT std::int32_t DVDReadTitleBlocks(void* handle, std::int64_t block, std::int32_t count,
                                              unsigned char* buffer)
{
    auto* reader = static_cast<TTitleReader*>(handle);
    if (!reader || !buffer || block < 0 || count < 0)
        return -1;
    std::int32_t done = 0;
    std::int64_t skip = block;
    for (const TSectorRange& range : reader->Ranges) {
        const std::int64_t size = std::int64_t(range.Last) - range.First + 1;
        if (skip >= size) {
            skip -= size;
            continue;
        }
        while (done < count && skip < size) {
            const std::int64_t n = std::min<std::int64_t>(count - done, size - skip);
            const ssize_t got = DVDReadBlocks(reader->File, int(range.First + skip), size_t(n),
                                              buffer + std::size_t(done) * DVDBlockSize);
            if (got <= 0) {
                SetLastError("Reading the DVD failed at block " + std::to_string(range.First + skip) + ".");
                return done > 0 ? done : -1;
            }
            done += std::int32_t(got);
            skip += got;
        }
        if (done == count)
            break;
        skip = 0;
    }
    return done;
}

DVDDEC_EXPORT void DVDCloseTitleReader(void* handle)
{
    auto* reader = static_cast<TTitleReader*>(handle);
    if (!reader)
        return;
    if (reader->File)
        DVDCloseFile(reader->File);
    delete reader;
}

DVDDEC_EXPORT const char* DVDGetLastError()
{
    return LastError.c_str();
}
