// A plug-in that cannot be bound: FAKE_NOEXPORT lacks DVDGetLibVersion, FAKE_REFUSES refuses
// its initialisation. FAKE_CRASHES binds, and crashes the process that reads a disc the way a
// damaged disc crashes the disc library: on a root named "crash" when counting, on title 2 of
// any other root, and at block 40 of a title.
#include "DVDTitleInfo.h"

#include <csignal>
#include <cstring>
#include <string>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

[[maybe_unused]] bool Named(const char* root, const char* name)
{
    return root && std::strstr(root, name) != nullptr;
}

} // namespace

EXPORT std::int32_t DVDInitialize(const char*)
{
#ifdef FAKE_REFUSES
    return 0;
#else
    return 1;
#endif
}

#ifdef FAKE_CRASHES
EXPORT std::int32_t DVDEnumTitle(const char* root)
{
    if (Named(root, "crash"))
        std::raise(SIGSEGV);
    return 3;
}
EXPORT std::int32_t DVDGetTitle(std::int32_t index, TDVDTitleInfo* info)
{
    if (index == 1)
        std::raise(SIGSEGV);
    info->Length = 10 + index;
    info->ChapterCount = 1;
    info->IsValid = 1;
    return 1;
}
EXPORT void* DVDOpenTitleReader(const char*, std::int32_t, std::int32_t, std::int32_t)
{
    static int reader;
    return &reader;
}
EXPORT std::int64_t DVDTitleReaderBlocks(void*) { return 100; }
EXPORT std::int32_t DVDReadTitleBlocks(void*, std::int64_t block, std::int32_t count, unsigned char* buffer)
{
    if (block + count > 40)
        std::raise(SIGSEGV);
    std::memset(buffer, 0, std::size_t(count) * DVDBlockSize);
    return count;
}
EXPORT void DVDCloseTitleReader(void*) {}
#else
EXPORT std::int32_t DVDEnumTitle(const char*) { return 0; }
EXPORT std::int32_t DVDGetTitle(std::int32_t, TDVDTitleInfo*) { return 0; }
#endif
EXPORT std::int32_t DVDSetParam(const char*, const char*) { return 0; }
#ifndef FAKE_NOEXPORT
EXPORT std::int32_t DVDGetLibVersion() { return 1; }
#endif
