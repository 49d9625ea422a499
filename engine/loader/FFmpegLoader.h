#pragma once
// loader/ binds the engine to the FFmpeg libraries: the function table FF and the loader that
// fills it, the process-wide library lock, custom input I/O for names like "dvd:..." and the
// engine's error type. Everything else in the engine stands on it; it calls nothing of the
// engine but the logger, which it hooks into the libraries' log once avutil is bound.
//
// Process-wide loader of the FFmpeg shared libraries. The engine never links them at build
// time: the loader opens them with dlopen, binds every function named in FFmpegFunctions.inc
// into the table FF (FFmpegApi.h) and reports failures as one line of text.
//
// File names: the library folder (usually <executable folder>/lib) holds files named
// "lib" + base name + ".so." + major, e.g. lib/libavcodec.so.59, the majors being those of the
// headers we build with. A file missing from the folder is looked up through the system's
// library search under the same soname.
//
// File names pass to the format library as UTF-8 unchanged, which it accepts on every platform
// we build for, so the engine registers no I/O protocol of its own for them.
#include <QString>

#include <cstdint>
#include <mutex>

// Library kinds, by ordinal. A set of kinds is a bit set: bit n = kind n.
enum TLibraryKind : int {
    lkAVCodec = 0,
    lkAVDevice = 1,
    lkAVFilter = 2,
    lkAVFormat = 3,
    lkAVUtil = 4,
    lkSwScale = 5,
    lkMSVCRT = 6,     // the process's own C runtime: always there, nothing to load
    lkSDL = 7,
    lkSwResample = 8, // resampling and sample formats live here in today's libraries
};
constexpr int LibraryKindCount = 9;

using TLibrarySet = std::uint32_t;

constexpr TLibrarySet LibrarySet(TLibraryKind kind) { return TLibrarySet(1) << kind; }

// The set the conversion engine loads and checks. avdevice and SDL are never requested.
constexpr TLibrarySet EngineLibrarySet = LibrarySet(lkAVCodec) | LibrarySet(lkAVFilter) |
                                         LibrarySet(lkAVFormat) | LibrarySet(lkAVUtil) |
                                         LibrarySet(lkSwScale) | LibrarySet(lkMSVCRT) |
                                         LibrarySet(lkSwResample);

class TFFmpegLoader {
public:
    // The single instance, created on first use and kept until the process ends.
    static TFFmpegLoader& Instance();

    // Folder that holds the library files; empty = system search only.
    void SetLibraryFolder(const QString& folder);
    QString LibraryFolder() const;

    // Loads and binds one kind; true when it is loaded afterwards. Loading a loaded kind is a no-op.
    bool LoadLibrary(TLibraryKind kind);
    // Loads every kind of a non-empty set that is not loaded yet, dependencies first (avutil
    // before the libraries that need it, so a folder's copy serves them). At the first failure every
    // kind of the set is unloaded again (also those loaded by earlier calls) and the answer is
    // false, with the reason in LastError().
    bool LoadLibraries(TLibrarySet set);

    bool IsLoaded(TLibraryKind kind) const;
    bool AllLoaded(TLibrarySet set) const; // set must not be empty

    void UnloadLibrary(TLibraryKind kind);
    void UnloadLibraries(TLibrarySet set);

    // Text of the most recent failure, e.g. "Load library <file> error: <reason>".
    QString LastError() const;

    // File name formed for a kind, without folder: "libavcodec.so.59".
    static QString FileName(TLibraryKind kind);
    static QString BaseName(TLibraryKind kind);
    // Major version the headers expect, -1 when the file name carries none.
    static int MajorVersion(TLibraryKind kind);
    // Version of a loaded kind as its library reports it (major << 16 | minor << 8 | micro);
    // 0 when the kind is not bound or has no version function.
    static unsigned RuntimeVersion(TLibraryKind kind);

private:
    TFFmpegLoader() = default;
    bool LoadOne(TLibraryKind kind);
    void UnloadOne(TLibraryKind kind);
    bool Bind(TLibraryKind kind, const QString& fileName, void* handle);

    struct TLibraryStatus {
        void* Handle = nullptr;
        bool Bound = false;
    };

    mutable std::recursive_mutex FLock;
    TLibraryStatus FStatus[LibraryKindCount];
    QString FLastError;
    QString FLibraryFolder;
    const bool FHookLog = true; // hook the engine logger once avutil is bound
};

// Shorthand for TFFmpegLoader::Instance().
TFFmpegLoader& FFLoader();
