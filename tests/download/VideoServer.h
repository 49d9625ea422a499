#pragma once
// A stand-in for the video service on 127.0.0.1: watch pages in the format the page reader
// expects and media per quality, with every request recorded.
#include "TestServers.h"

#include <map>
#include <string>
#include <vector>

struct TVideoEntry {
    std::string title{};            // the content attribute as it stands in the page (escaped)
    bool hasTitle = true;
    bool hasParams = true;        // video_id and t in the page
    int pageStatus = 200;
    // fmt number -> body; key 0 is the service default (no fmt in the address).
    std::map<int, std::string> media{};
    int mediaStatus = 200;        // for the qualities that exist
    int pageDelayMs = 0;          // before the page is answered
    int chunkDelayMs = 0;         // between 64 KB pieces of media
    size_t cutAfter = 0;          // media: close after so many bytes though the length says more
};

struct TVideoRequest {
    std::string path, videoId, fmt;
    bool hasFmt = false;
    std::string agent, accept;
};

class TVideoTestServer {
public:
    TVideoTestServer();
    ~TVideoTestServer();

    void Add(const std::string& id, const TVideoEntry& entry);
    std::string Host() const;                      // "127.0.0.1:PORT"
    std::string WatchUrl(const std::string& id) const;
    std::vector<TVideoRequest> Requests();
    // fmt values of the media requests for one video, in order ("" = none).
    std::vector<std::string> MediaFormats(const std::string& id);
    void Stop();

private:
    void Record(const httplib::Request& req);

    std::mutex mutex_;
    std::map<std::string, TVideoEntry> entries_;
    std::vector<TVideoRequest> requests_;
    THttpTestServer http_;   // last: its threads stop before the records above go
};
