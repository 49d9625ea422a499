// vornic-dvdread: runs the DVD plug-in for the program in a process of its own (see
// DVDReaderProtocol.h). A damaged disc may crash or hang the disc library in here; the program
// sees the reader end or fall silent, and goes on.
#include "DVDReaderProtocol.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <thread>
#include <vector>

using namespace DVDReaderProtocol;

namespace {

struct TPlugIn {
    TDVDEnumTitle EnumTitle = nullptr;
    TDVDGetTitle GetTitle = nullptr;
    TDVDOpenTitleReader Open = nullptr;
    TDVDTitleReaderBlocks Blocks = nullptr;
    TDVDReadTitleBlocks Read = nullptr;
    TDVDCloseTitleReader Close = nullptr;
    TDVDGetLastError LastError = nullptr;

    std::string Error() const
    {
        const char* text = LastError ? LastError() : nullptr;
        return text ? text : "";
    }
};

bool Send(std::uint32_t type, const void* a, std::size_t aSize, const std::string& text = {})
{
    const THeader header{type, std::uint32_t(aSize + text.size())};
    return WriteAll(Descriptor, &header, sizeof header) && (aSize == 0 || WriteAll(Descriptor, a, aSize)) &&
           (text.empty() || WriteAll(Descriptor, text.data(), text.size()));
}

bool SendError(const std::string& text)
{
    return Send(mError, nullptr, 0, text.empty() ? std::string("The DVD cannot be read.") : text);
}

template <typename T>
T Symbol(void* handle, const char* name)
{
    return reinterpret_cast<T>(dlsym(handle, name));
}

int Titles(const TPlugIn& p, const char* root, int from)
{
    const std::int32_t count = p.EnumTitle(root);
    if (!Send(mCount, &count, sizeof count, p.Error()))
        return 1;
    struct {
        std::int32_t Index;
        std::int32_t Filled;
        TDVDTitleInfo Record;
    } title;
    for (int i = from; i < count && i < MaxTitles; ++i) {
        std::memset(&title, 0, sizeof title);
        title.Index = i;
        title.Filled = p.GetTitle(i, &title.Record) != 0 ? 1 : 0;
        if (!Send(mTitle, &title, sizeof title, title.Filled ? std::string() : p.Error()))
            return 1;
    }
    return Send(mEnd, nullptr, 0) ? 0 : 1;
}

int ReadTitle(const TPlugIn& p, const char* root, int title, int first, int last)
{
    if (!p.Open || !p.Blocks || !p.Read || !p.Close)
        return SendError("The DVD plug-in cannot read titles.") ? 0 : 1;
    void* reader = p.Open(root, title, first, last);
    if (!reader)
        return SendError(p.Error()) ? 0 : 1;
    const std::int64_t blocks = p.Blocks(reader);
    bool ok = Send(mOpened, &blocks, sizeof blocks);
    std::vector<unsigned char> data(sizeof(std::int32_t) + std::size_t(MaxBlocksPerRequest) * DVDBlockSize);
    TBlockRequest request;
    // The program closes its end when it is done with the title.
    while (ok && ReadAll(Descriptor, &request, sizeof request)) {
        const std::int32_t count = request.Count < 0 ? 0 : std::min(request.Count, MaxBlocksPerRequest);
        const std::int32_t got = p.Read(reader, request.Block, count, data.data() + sizeof got);
        std::memcpy(data.data(), &got, sizeof got);
        // A short read stops at a damaged sector: its reason follows the blocks read before it.
        if (got > 0)
            ok = Send(mBlocks, data.data(), sizeof got + std::size_t(std::min(got, count)) * DVDBlockSize,
                      got < count ? p.Error() : std::string());
        else
            ok = Send(mBlocks, &got, sizeof got, got < 0 ? p.Error() : std::string());
    }
    p.Close(reader);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Never outlive the program, even when it is killed while the disc library hangs in here.
    // (The parent-death signal would follow the thread that started us, not the program.)
    const pid_t parent = getppid();
    if (parent == 1)
        return 1;
    std::thread([parent] {
        while (getppid() == parent)
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        _exit(1);
    }).detach();
    const std::string mode = argc > 2 ? argv[2] : "";
    if (!((mode == "titles" && argc == 5) || (mode == "read" && argc == 7))) {
        std::fprintf(stderr, "usage: %s PLUGIN titles ROOT FROM | PLUGIN read ROOT TITLE FIRST LAST\n"
                             "Reads a DVD through its plug-in for vornic; not meant to be run by hand.\n",
                     ProgramName);
        return 2;
    }
    void* handle = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* e = dlerror();
        SendError(e ? e : "The DVD plug-in cannot be loaded.");
        return 1;
    }
    const auto initialize = Symbol<TDVDInitialize>(handle, "DVDInitialize");
    TPlugIn p;
    p.EnumTitle = Symbol<TDVDEnumTitle>(handle, "DVDEnumTitle");
    p.GetTitle = Symbol<TDVDGetTitle>(handle, "DVDGetTitle");
    p.Open = Symbol<TDVDOpenTitleReader>(handle, "DVDOpenTitleReader");
    p.Blocks = Symbol<TDVDTitleReaderBlocks>(handle, "DVDTitleReaderBlocks");
    p.Read = Symbol<TDVDReadTitleBlocks>(handle, "DVDReadTitleBlocks");
    p.Close = Symbol<TDVDCloseTitleReader>(handle, "DVDCloseTitleReader");
    p.LastError = Symbol<TDVDGetLastError>(handle, "DVDGetLastError");
    if (!initialize || !p.EnumTitle || !p.GetTitle || initialize("vornic") == 0) {
        SendError("The DVD plug-in cannot be used.");
        return 1;
    }
    const char* root = argv[3];
    if (mode == "titles")
        return Titles(p, root, std::atoi(argv[4]));
    return ReadTitle(p, root, std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
}
