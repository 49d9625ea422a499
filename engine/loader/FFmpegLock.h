#pragma once
// The process-wide library lock, held around stream probing and codec opening and closing
// wherever the engine does them (probe and conversion pipeline alike).
#include <mutex>

std::recursive_mutex& FFmpegLibraryLock();
