#include "FFmpegLoader.h"

#include "FFmpegApi.h"
#include "FFmpegLogger.h"

#include <QFileInfo>

#include <cassert>
#include <dlfcn.h>

namespace {

struct TLibraryItem {
    const char* BaseName;
    int Major;          // -1: the file name carries no version
    const char* Soname; // full soname when it does not follow lib<base>.so.<major>
};

// LIBAVDEVICE has no headers here; its major moves with avformat's.
const TLibraryItem LibraryTable[LibraryKindCount] = {
    {"avcodec", LIBAVCODEC_VERSION_MAJOR, nullptr},
    {"avdevice", LIBAVFORMAT_VERSION_MAJOR, nullptr},
    {"avfilter", LIBAVFILTER_VERSION_MAJOR, nullptr},
    {"avformat", LIBAVFORMAT_VERSION_MAJOR, nullptr},
    {"avutil", LIBAVUTIL_VERSION_MAJOR, nullptr},
    {"swscale", LIBSWSCALE_VERSION_MAJOR, nullptr},
    {"msvcrt", -1, nullptr},
    {"SDL", -1, "libSDL2-2.0.so.0"},
    {"swresample", LIBSWRESAMPLE_VERSION_MAJOR, nullptr},
};

// Order in which kinds of a set are visited: dependencies first, so that a library taken from
// the library folder satisfies the sonames its dependants ask for.
const TLibraryKind LoadOrder[LibraryKindCount] = {lkMSVCRT,   lkAVUtil,    lkSwResample,
                                                  lkSwScale,  lkAVCodec,   lkAVFormat,
                                                  lkAVFilter, lkAVDevice,  lkSDL};

// Kind of each library group of FFmpegFunctions.inc.
constexpr TLibraryKind kind_avutil = lkAVUtil;
constexpr TLibraryKind kind_avcodec = lkAVCodec;
constexpr TLibraryKind kind_avformat = lkAVFormat;
constexpr TLibraryKind kind_swscale = lkSwScale;
constexpr TLibraryKind kind_swresample = lkSwResample;
constexpr TLibraryKind kind_avfilter = lkAVFilter;

struct TFunctionEntry {
    TLibraryKind Kind;
    const char* Name;
    void** Slot;
    bool Optional;
};

// Slot stores go through void** the way dlsym results are meant to be used on POSIX.
const TFunctionEntry FunctionTable[] = {
#define FF_FUNC(lib, name) {kind_##lib, #name, reinterpret_cast<void**>(&FF.name), false},
#define FF_OPTIONAL(lib, name) {kind_##lib, #name, reinterpret_cast<void**>(&FF.name), true},
#include "FFmpegFunctions.inc"
#undef FF_FUNC
#undef FF_OPTIONAL
};

QString DlErrorText()
{
    const char* e = dlerror();
    return e ? QString::fromLocal8Bit(e) : QStringLiteral("unknown error");
}

} // namespace

TFFmpegLoader& TFFmpegLoader::Instance()
{
    // Never destroyed: the libraries stay loaded until the process ends.
    static TFFmpegLoader* loader = new TFFmpegLoader;
    return *loader;
}

TFFmpegLoader& FFLoader() { return TFFmpegLoader::Instance(); }

void TFFmpegLoader::SetLibraryFolder(const QString& folder)
{
    std::lock_guard lock(FLock);
    FLibraryFolder = folder;
}

QString TFFmpegLoader::LibraryFolder() const
{
    std::lock_guard lock(FLock);
    return FLibraryFolder;
}

QString TFFmpegLoader::LastError() const
{
    std::lock_guard lock(FLock);
    return FLastError;
}

QString TFFmpegLoader::BaseName(TLibraryKind kind) { return LibraryTable[kind].BaseName; }

int TFFmpegLoader::MajorVersion(TLibraryKind kind) { return LibraryTable[kind].Major; }

unsigned TFFmpegLoader::RuntimeVersion(TLibraryKind kind)
{
    switch (kind) {
    case lkAVUtil: return FF.avutil_version ? FF.avutil_version() : 0;
    case lkAVCodec: return FF.avcodec_version ? FF.avcodec_version() : 0;
    case lkAVFormat: return FF.avformat_version ? FF.avformat_version() : 0;
    case lkSwScale: return FF.swscale_version ? FF.swscale_version() : 0;
    case lkSwResample: return FF.swresample_version ? FF.swresample_version() : 0;
    case lkAVFilter: return FF.avfilter_version ? FF.avfilter_version() : 0;
    default: return 0;
    }
}

QString TFFmpegLoader::FileName(TLibraryKind kind)
{
    const TLibraryItem& item = LibraryTable[kind];
    if (item.Soname)
        return item.Soname;
    if (item.Major >= 0)
        return QStringLiteral("lib%1.so.%2").arg(item.BaseName).arg(item.Major);
    return QStringLiteral("lib%1.so").arg(item.BaseName);
}

bool TFFmpegLoader::IsLoaded(TLibraryKind kind) const
{
    if (kind < 0 || kind >= LibraryKindCount)
        return false;
    std::lock_guard lock(FLock);
    return FStatus[kind].Handle && FStatus[kind].Bound;
}

bool TFFmpegLoader::AllLoaded(TLibrarySet set) const
{
    assert(set != 0 && "AllLoaded needs a non-empty set");
    if (set == 0)
        return false;
    for (int k = 0; k < LibraryKindCount; ++k)
        if ((set & LibrarySet(TLibraryKind(k))) && !IsLoaded(TLibraryKind(k)))
            return false;
    return true;
}

bool TFFmpegLoader::LoadLibrary(TLibraryKind kind)
{
    std::lock_guard lock(FLock);
    return LoadOne(kind);
}

bool TFFmpegLoader::LoadLibraries(TLibrarySet set)
{
    assert(set != 0 && "LoadLibraries needs a non-empty set");
    std::lock_guard lock(FLock);
    if (set == 0) {
        FLastError = QStringLiteral("No library to load.");
        return false;
    }
    for (TLibraryKind kind : LoadOrder) {
        if (!(set & LibrarySet(kind)) || IsLoaded(kind))
            continue;
        if (!LoadOne(kind)) {
            UnloadLibraries(set);
            return false;
        }
    }
    return true;
}

void TFFmpegLoader::UnloadLibrary(TLibraryKind kind)
{
    std::lock_guard lock(FLock);
    UnloadOne(kind);
}

void TFFmpegLoader::UnloadLibraries(TLibrarySet set)
{
    std::lock_guard lock(FLock);
    // Dependants before what they depend on.
    for (int i = LibraryKindCount - 1; i >= 0; --i)
        if (set & LibrarySet(LoadOrder[i]))
            UnloadOne(LoadOrder[i]);
}

bool TFFmpegLoader::LoadOne(TLibraryKind kind)
{
    if (kind < 0 || kind >= LibraryKindCount)
        return false;
    TLibraryStatus& status = FStatus[kind];
    const QString fileName = FileName(kind);
    QString shownName = fileName;
    if (!status.Handle) {
        if (kind == lkMSVCRT) {
            // Our own C runtime is already mapped into the process.
            status.Handle = dlopen(nullptr, RTLD_NOW);
        } else {
            QString folder = FLibraryFolder;
            if (!folder.isEmpty() && !folder.endsWith('/'))
                folder += '/';
            QFileInfo inFolder(folder + fileName);
            // The message names the folder that was meant even when the system search is used.
            shownName = folder + fileName;
            if (!folder.isEmpty() && inFolder.exists() && !inFolder.isDir()) {
                status.Handle = dlopen(QFile::encodeName(shownName).constData(), RTLD_NOW | RTLD_LOCAL);
            } else {
                status.Handle = dlopen(QFile::encodeName(fileName).constData(), RTLD_NOW | RTLD_LOCAL);
            }
        }
        if (!status.Handle) {
            FLastError = QStringLiteral("Load library %1 error: %2").arg(shownName, DlErrorText());
            return false;
        }
    }
    if (!status.Bound)
        status.Bound = Bind(kind, shownName, status.Handle);
    if (!status.Bound) {
        UnloadOne(kind);
        return false;
    }
    if (kind == lkAVUtil && FHookLog)
        TFFLogger::Instance()->HookUp();
    return true;
}

bool TFFmpegLoader::Bind(TLibraryKind kind, const QString& fileName, void* handle)
{
    for (const TFunctionEntry& f : FunctionTable) {
        if (f.Kind != kind)
            continue;
        dlerror();
        void* address = dlsym(handle, f.Name);
        if (!address && !f.Optional) {
            FLastError = QStringLiteral("Load function %1@%2 error: %3")
                             .arg(QString::fromLatin1(f.Name), fileName, DlErrorText());
            for (const TFunctionEntry& g : FunctionTable)
                if (g.Kind == kind)
                    *g.Slot = nullptr;
            return false;
        }
        *f.Slot = address;
    }
    // A library of another major has another ABI: refuse it rather than crash later.
    const unsigned version = RuntimeVersion(kind);
    if (version != 0 && int(version >> 16) != LibraryTable[kind].Major) {
        FLastError = QStringLiteral("Load library %1 error: version %2.%3.%4 found, major %5 needed")
                         .arg(fileName)
                         .arg(version >> 16)
                         .arg((version >> 8) & 0xFF)
                         .arg(version & 0xFF)
                         .arg(LibraryTable[kind].Major);
        for (const TFunctionEntry& g : FunctionTable)
            if (g.Kind == kind)
                *g.Slot = nullptr;
        return false;
    }
    return true;
}

void TFFmpegLoader::UnloadOne(TLibraryKind kind)
{
    if (kind < 0 || kind >= LibraryKindCount)
        return;
    TLibraryStatus& status = FStatus[kind];
    if (status.Bound) {
        for (const TFunctionEntry& f : FunctionTable)
            if (f.Kind == kind)
                *f.Slot = nullptr;
        status.Bound = false;
    }
    if (status.Handle) {
        dlclose(status.Handle);
        status.Handle = nullptr;
    }
}
