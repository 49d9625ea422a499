#pragma once
// Media files of a stand-in video site on 127.0.0.1, served over a raw socket so that byte
// ranges, dropped connections and server errors are exactly what the test asks for. Every
// request is recorded with its headers.
#include "TestServers.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct TMediaFile {
    std::string body{};
    std::string contentType = "video/mp4";
    bool ranges = true;       // false: a Range header is ignored and the whole file comes
    int errorTimes = 0;       // the first requests answered 503
    int cutTimes = 0;         // the next requests send half of what they announce, then close
    int pieceDelayMs = 0;     // pause before each 64 KB piece of a body
    bool keepAlive = false;   // complete replies leave the connection open for the next request
};

struct TMediaRequest {
    std::string path;
    std::string range;                              // the Range header as sent; empty when none
    std::map<std::string, std::string> headers;     // names in lower case
};

class TMediaSite {
public:
    TMediaSite();
    ~TMediaSite();

    void Add(const std::string& path, const TMediaFile& file);
    // An HTML page served as is.
    void AddPage(const std::string& path, const std::string& html);
    std::string Url(const std::string& path) const;
    std::vector<TMediaRequest> Requests(const std::string& path = {});
    int Connections() const { return server_->Connections(); }
    int OpenConnections() const { return server_->OpenConnections(); }

private:
    void Serve(int fd, const std::string& request, const std::atomic<bool>& stopping);

    std::mutex mutex_;
    std::map<std::string, TMediaFile> files_;
    std::map<std::string, std::string> pages_;
    std::vector<TMediaRequest> requests_;
    std::unique_ptr<TRawTestServer> server_;   // last: its threads stop before the records go
};
