#include "VideoServer.h"

#include <chrono>
#include <memory>

namespace {

std::string Page(const std::string& id, const TVideoEntry& e)
{
    std::string page = "<html><head>\n";
    if (e.hasTitle)
        page += "<meta name=\"title\" content=\"" + e.title + "\">\n";
    page += "</head><body>\n<script>\n";
    if (e.hasParams)
        page += "var swfArgs = {\"q\": \"x\"}; var args = \"video_id=" + id + "&l=12&t=tok" + id + "&sk=1\";\n";
    page += "</script></body></html>\n";
    return page;
}

} // namespace

TVideoTestServer::TVideoTestServer()
{
    http_.server.Get("/watch", [this](const httplib::Request& req, httplib::Response& res) {
        Record(req);
        TVideoEntry e;
        const std::string id = req.get_param_value("v");
        {
            std::lock_guard lock(mutex_);
            auto it = entries_.find(id);
            if (it == entries_.end()) {
                res.status = 404;
                return;
            }
            e = it->second;
        }
        for (int waited = 0; waited < e.pageDelayMs && !http_.stopping; waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        res.status = e.pageStatus;
        res.set_content(Page(id, e), "text/html; charset=utf-8");
    });
    http_.server.Get("/get_video", [this](const httplib::Request& req, httplib::Response& res) {
        Record(req);
        TVideoEntry e;
        {
            std::lock_guard lock(mutex_);
            auto it = entries_.find(req.get_param_value("video_id"));
            if (it == entries_.end()) {
                res.status = 404;
                return;
            }
            e = it->second;
        }
        const int fmt = req.has_param("fmt") ? std::atoi(req.get_param_value("fmt").c_str()) : 0;
        auto media = e.media.find(fmt);
        if (media == e.media.end()) {
            res.status = 404;
            return;
        }
        res.status = e.mediaStatus;
        auto body = std::make_shared<std::string>(media->second);
        const size_t cut = e.cutAfter;
        const int delay = e.chunkDelayMs;
        res.set_content_provider(body->size(), "video/x-flv",
            [this, body, cut, delay](size_t offset, size_t, httplib::DataSink& sink) {
                if (http_.stopping || (cut && offset >= cut))
                    return false;   // the connection drops mid-body
                if (delay)
                    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
                size_t n = std::min<size_t>(64 * 1024, body->size() - offset);
                if (cut)
                    n = std::min(n, cut - offset);
                return sink.write(body->data() + offset, n);
            });
    });
    http_.Start();
}

TVideoTestServer::~TVideoTestServer() { Stop(); }

void TVideoTestServer::Stop() { http_.stopping = true; }

void TVideoTestServer::Add(const std::string& id, const TVideoEntry& entry)
{
    std::lock_guard lock(mutex_);
    entries_[id] = entry;
}

std::string TVideoTestServer::Host() const { return "127.0.0.1:" + std::to_string(http_.Port()); }

std::string TVideoTestServer::WatchUrl(const std::string& id) const
{
    return "http://" + Host() + "/watch?v=" + id;
}

void TVideoTestServer::Record(const httplib::Request& req)
{
    TVideoRequest r;
    r.path = req.path;
    r.videoId = req.has_param("video_id") ? req.get_param_value("video_id") : req.get_param_value("v");
    r.hasFmt = req.has_param("fmt");
    r.fmt = r.hasFmt ? req.get_param_value("fmt") : std::string();
    r.agent = req.get_header_value("User-Agent");
    r.accept = req.get_header_value("Accept");
    std::lock_guard lock(mutex_);
    requests_.push_back(r);
}

std::vector<TVideoRequest> TVideoTestServer::Requests()
{
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> TVideoTestServer::MediaFormats(const std::string& id)
{
    std::vector<std::string> formats;
    for (const TVideoRequest& r : Requests())
        if (r.path == "/get_video" && r.videoId == id)
            formats.push_back(r.fmt);
    return formats;
}
