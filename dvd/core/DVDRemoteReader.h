#pragma once
// The plug-in's disc reading, done in the reader process: a root's titles, and a title's
// blocks behind the same function table the in-process exports had.
#include "DVDPlugIn.h"
#include "DVDReaderProcess.h"

#include <atomic>
#include <optional>
#include <vector>

struct TDVDRootRead {
    int Count = 0; // titles the plug-in found; 0 or less: none
    std::vector<std::optional<TDVDTitleInfo>> Titles; // empty entry: the title could not be read
    QString Error;  // DVDUnreadableText when the reader failed before it counted the titles
    QString Detail; // how the reader failed, for logs
    bool Cancelled = false;
};

// Reads every title of root with program (the reader) running plugIn. A title whose reading
// ends the reader is left empty and the reader is started again for the titles after it.
TDVDRootRead ReadDVDRootWith(const QString& program, const QString& plugIn, const QString& root,
                             const std::atomic<bool>* cancel = nullptr);

// The same for the loaded plug-in (which must be loaded) with its reader.
TDVDRootRead ReadDVDRoot(const QString& root, const std::atomic<bool>* cancel = nullptr);

// The reading functions over the reader process, for the loaded plug-in.
const TDVDReaderFunctions& RemoteDVDReaderFunctions();
