#pragma once
// The download run of vornic-download: admits the links as the wizard's link list does,
// runs them through the download run, and reports every link on the display.
#include "DownloadArguments.h"

#include <cstdio>
#include <memory>

class TCliDisplay;

// Exit status of an interrupted run: the shell's figure for a process ended by SIGINT.
inline constexpr int InterruptedExitStatus = 130;

class TDownloadCommand {
public:
    // outputDir: an existing, writable folder. Saved paths go to `out`, one per line.
    TDownloadCommand(const TDownloadArguments& arguments, const QString& outputDir, TCliDisplay& display,
                     std::FILE* out);
    ~TDownloadCommand();

    // Runs until every link is done or the run is cancelled: 0 every link saved, 1 any failed,
    // InterruptedExitStatus after Cancel.
    int Execute();
    // Safe at any time from the main thread; the file in progress is removed. The first call
    // lets the transfer end on its own, a second stops everything at once.
    void Cancel();

private:
    struct TState;
    std::unique_ptr<TState> state_;
};

