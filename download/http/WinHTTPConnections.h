#pragma once
// Connections kept open from one transfer of a component to the next, so that the ranges of
// one file travel over one connection instead of a new one each. Whoever sets them on the
// component owns them; they close when the last holder lets go (or on Close).
//
// One transfer at a time uses them: a transfer that finds them in use (an abandoned one that is
// still ending) opens its own connections as if there were none, so the client library never
// sees one connection cache from two threads at once.
#include <curl/curl.h>

#include <mutex>

struct TWinHTTPTransfer;

class TWinHTTPConnections {
public:
    TWinHTTPConnections() = default;
    ~TWinHTTPConnections();
    TWinHTTPConnections(const TWinHTTPConnections&) = delete;
    TWinHTTPConnections& operator=(const TWinHTTPConnections&) = delete;

    // Closes the connections kept idle; one in use closes when its transfer ends.
    void Close();

    // Worker side. The connection cache for transfer t, or nullptr when another transfer has it
    // or it is closed.
    CURLM* Take(TWinHTTPTransfer* t);
    // Back after the transfer; with keep off (a stopped transfer) they are closed.
    void Give(CURLM* multi, bool keep);
    // The transfer using them now, for the events of a connection that closes; nullptr when idle.
    TWinHTTPTransfer* User() const;

private:
    mutable std::mutex mutex_;
    CURLM* idle_ = nullptr;
    bool inUse_ = false;
    bool closed_ = false;
    TWinHTTPTransfer* user_ = nullptr;
};
