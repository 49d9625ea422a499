// A plug-in that cannot be bound: FAKE_NOEXPORT lacks DVDGetLibVersion, FAKE_REFUSES refuses
// its initialisation.
#include "DVDTitleInfo.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT std::int32_t DVDInitialize(const char*)
{
#ifdef FAKE_REFUSES
    return 0;
#else
    return 1;
#endif
}
EXPORT std::int32_t DVDEnumTitle(const char*) { return 0; }
EXPORT std::int32_t DVDGetTitle(std::int32_t, TDVDTitleInfo*) { return 0; }
EXPORT std::int32_t DVDSetParam(const char*, const char*) { return 0; }
#ifndef FAKE_NOEXPORT
EXPORT std::int32_t DVDGetLibVersion() { return 1; }
#endif
