#include "DVDPlugIn.h"

#include "DVDReaderProtocol.h"
#include "DVDRemoteReader.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <dlfcn.h>
#include <mutex>

namespace {

struct TBinding {
    void* Handle = nullptr;
    bool Loaded = false;
    TDVDInitialize Initialize = nullptr;
    TDVDEnumTitle EnumTitle = nullptr;
    TDVDGetTitle GetTitle = nullptr;
    TDVDSetParam SetParam = nullptr;
    TDVDGetLibVersion GetLibVersion = nullptr;
    TDVDReaderFunctions Reader;
    QString Error;
    QString Path; // as the reader process opens it again
    QString ReaderProgram; // set by tests; empty: found beside the plug-in
    // The titles of the root enumerated last, for GetDVDTitle.
    std::mutex EnumeratedLock;
    std::vector<std::optional<TDVDTitleInfo>> Enumerated;
};

TBinding& Binding()
{
    static TBinding binding;
    return binding;
}

QString DlErrorText()
{
    const char* e = dlerror();
    return e ? QString::fromLocal8Bit(e) : QStringLiteral("unknown error");
}

template <typename T>
T Resolve(void* handle, const char* name)
{
    dlerror();
    return reinterpret_cast<T>(dlsym(handle, name));
}

void RequireLoaded()
{
    if (!DVDPlugInLoaded())
        throw EDVDPlugInAssertion("DVD plug-in library is not loaded.");
}

} // namespace

QString DVDPlugInFileName()
{
    return QStringLiteral("libdvddec.so");
}

QString DefaultDVDPlugInFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/lib");
}

bool RequireDVDPlugIn(QString* error)
{
    if (LoadDVDPlugIn(DefaultDVDPlugInFolder()))
        return true;
    *error = DVDPlugInError();
    return false;
}

bool LoadDVDPlugIn(const QString& folderIn)
{
    TBinding& b = Binding();
    if (DVDPlugInLoaded())
        return true;
    QString folder = folderIn;
    if (!folder.isEmpty() && !folder.endsWith(u'/'))
        folder += u'/';
    const QString fileName = DVDPlugInFileName();
    const QFileInfo inFolder(folder + fileName);
    // A name with a slash is opened as it is; without, the system's search finds it.
    const QString opened = !folder.isEmpty() && inFolder.isFile() ? folder + fileName : fileName;
    void* handle = dlopen(QFile::encodeName(opened).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        b.Error = QStringLiteral("Load library %1 error: %2").arg(folder + fileName, DlErrorText());
        return false;
    }

    b.Initialize = Resolve<TDVDInitialize>(handle, "DVDInitialize");
    if (!b.Initialize) {
        b.Error = QStringLiteral("Load function %1@%2 error: %3").arg("DVDInitialize", opened, DlErrorText());
        dlclose(handle);
        return false;
    }
    if (b.Initialize("vornic") == 0) {
        b.Initialize = nullptr;
        b.Error = QStringLiteral("The DVD plug-in %1 refused to initialize.").arg(opened);
        dlclose(handle);
        return false;
    }

    struct TExport {
        const char* Name;
        void** Slot;
    };
    const TExport required[] = {
        {"DVDEnumTitle", reinterpret_cast<void**>(&b.EnumTitle)},
        {"DVDGetTitle", reinterpret_cast<void**>(&b.GetTitle)},
        {"DVDSetParam", reinterpret_cast<void**>(&b.SetParam)},
        {"DVDGetLibVersion", reinterpret_cast<void**>(&b.GetLibVersion)},
    };
    bool all = true;
    for (const TExport& e : required) {
        *e.Slot = Resolve<void*>(handle, e.Name);
        if (!*e.Slot) {
            b.Error = QStringLiteral("Load function %1@%2 error: %3").arg(e.Name, opened, DlErrorText());
            all = false;
            break;
        }
    }
    if (!all) {
        for (const TExport& e : required)
            *e.Slot = nullptr;
        b.Initialize = nullptr;
        dlclose(handle);
        return false;
    }
    // Optional: only our own plug-in reads titles.
    b.Reader.Open = Resolve<TDVDOpenTitleReader>(handle, "DVDOpenTitleReader");
    b.Reader.Blocks = Resolve<TDVDTitleReaderBlocks>(handle, "DVDTitleReaderBlocks");
    b.Reader.Read = Resolve<TDVDReadTitleBlocks>(handle, "DVDReadTitleBlocks");
    b.Reader.Close = Resolve<TDVDCloseTitleReader>(handle, "DVDCloseTitleReader");
    b.Reader.LastError = Resolve<TDVDGetLastError>(handle, "DVDGetLastError");
    b.Handle = handle;
    b.Path = opened;
    b.Loaded = true;
    b.Error.clear();
    return true;
}

bool DVDPlugInLoaded()
{
    return Binding().Handle && Binding().Loaded;
}

QString DVDPlugInError()
{
    return Binding().Error;
}

QString DVDPlugInPath()
{
    return Binding().Path;
}

void SetDVDReaderProgram(const QString& path)
{
    Binding().ReaderProgram = path;
}

QString DVDReaderProgram()
{
    if (!Binding().ReaderProgram.isEmpty())
        return Binding().ReaderProgram;
    const QString name = QString::fromLatin1(DVDReaderProtocol::ProgramName);
    QStringList candidates;
    const QFileInfo plugIn(Binding().Path);
    if (Binding().Path.contains(u'/'))
        candidates << plugIn.absolutePath() + u'/' + name;
    candidates << DefaultDVDPlugInFolder() + u'/' + name
               << QCoreApplication::applicationDirPath() + u'/' + name;
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isExecutable())
            return candidate;
    return candidates.first();
}

TDVDRootRead ReadDVDRoot(const QString& root, const std::atomic<bool>* cancel)
{
    RequireLoaded();
    return ReadDVDRootWith(DVDReaderProgram(), Binding().Path, root, cancel);
}

int EnumDVDTitles(const QString& root)
{
    TDVDRootRead read = ReadDVDRoot(root);
    TBinding& b = Binding();
    const std::lock_guard lock(b.EnumeratedLock);
    b.Enumerated = std::move(read.Titles);
    return read.Count;
}

bool GetDVDTitle(int index, TDVDTitleInfo& record)
{
    RequireLoaded();
    std::memset(&record, 0, sizeof record);
    TBinding& b = Binding();
    const std::lock_guard lock(b.EnumeratedLock);
    if (index < 0 || std::size_t(index) >= b.Enumerated.size() || !b.Enumerated[std::size_t(index)])
        return false;
    record = *b.Enumerated[std::size_t(index)];
    return true;
}

const TDVDReaderFunctions* DVDReaderFunctions()
{
    const TDVDReaderFunctions& r = Binding().Reader;
    if (!DVDPlugInLoaded() || !r.Open || !r.Blocks || !r.Read || !r.Close)
        return nullptr;
    // The plug-in has them; they run in the reader process.
    return &RemoteDVDReaderFunctions();
}

QString CodecText(int code)
{
    static const char* const texts[] = {"Unknown", "MPEG-1", "MPEG-2", "MPA", "AC3", "DTS", "LPCM", "SUB"};
    return QString::fromLatin1(code >= 0 && code < 8 ? texts[code] : "Unknown");
}

QString NormText(int code)
{
    return QString::fromLatin1(code == 0 ? "PAL" : code == 1 ? "NTSC" : "Unknown");
}

QString AspectText(int code)
{
    return QString::fromLatin1(code == 0 ? "TV(4:3)" : code == 1 ? "HDTV(16:9)" : "Unknown");
}
