#include "FFmpegLock.h"

std::recursive_mutex& FFmpegLibraryLock()
{
    static auto* lock = new std::recursive_mutex; // outlives every static user
    return *lock;
}
