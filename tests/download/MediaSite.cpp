#include "MediaSite.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <cctype>
#include <sstream>

namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string Trim(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \t\r");
    const size_t b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::string Status(int code, const std::string& text, const std::string& extra, size_t length, bool keep = false)
{
    return "HTTP/1.1 " + std::to_string(code) + " " + text + "\r\n" + extra + "Content-Length: " +
           std::to_string(length) + (keep ? "\r\n\r\n" : "\r\nConnection: close\r\n\r\n");
}

} // namespace

TMediaSite::TMediaSite()
{
    server_ = std::make_unique<TRawTestServer>(
        [this](int fd, const std::string& request, const std::atomic<bool>& stopping) { Serve(fd, request, stopping); });
}

TMediaSite::~TMediaSite() { server_.reset(); }

void TMediaSite::Add(const std::string& path, const TMediaFile& file)
{
    std::lock_guard lock(mutex_);
    files_[path] = file;
}

void TMediaSite::AddPage(const std::string& path, const std::string& html)
{
    std::lock_guard lock(mutex_);
    pages_[path] = html;
}

std::string TMediaSite::Url(const std::string& path) const { return server_->Url(path); }

std::vector<TMediaRequest> TMediaSite::Requests(const std::string& path)
{
    std::lock_guard lock(mutex_);
    std::vector<TMediaRequest> out;
    for (const TMediaRequest& r : requests_)
        if (path.empty() || r.path == path)
            out.push_back(r);
    return out;
}

void TMediaSite::Serve(int fd, const std::string& request, const std::atomic<bool>& stopping)
{
    std::istringstream lines(request);
    std::string line, method, target;
    std::getline(lines, line);
    std::istringstream(line) >> method >> target;
    TMediaRequest record;
    record.path = target.substr(0, target.find('?'));
    while (std::getline(lines, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        record.headers[Lower(Trim(line.substr(0, colon)))] = Trim(line.substr(colon + 1));
    }
    record.range = record.headers.count("range") ? record.headers["range"] : std::string();

    TMediaFile file;
    std::string page;
    bool isFile = false, isPage = false, error = false, cut = false;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(record);
        if (auto it = files_.find(record.path); it != files_.end()) {
            isFile = true;
            if (it->second.errorTimes > 0) {
                --it->second.errorTimes;
                error = true;
            } else if (it->second.cutTimes > 0) {
                --it->second.cutTimes;
                cut = true;
            }
            file = it->second;
        } else if (auto p = pages_.find(record.path); p != pages_.end()) {
            isPage = true;
            page = p->second;
        }
    }
    if (isPage) {
        TRawTestServer::SendAll(fd, Status(200, "OK", "Content-Type: text/html; charset=utf-8\r\n", page.size()) + page);
        return;
    }
    if (!isFile) {
        TRawTestServer::SendAll(fd, Status(404, "Not Found", "", 0));
        return;
    }
    const bool keep = file.keepAlive;
    if (error) {
        const std::string body = "busy";
        if (TRawTestServer::SendAll(fd, Status(503, "Service Unavailable", "", body.size(), keep) + body) && keep)
            TRawTestServer::KeepOpen(fd);
        return;
    }
    const size_t size = file.body.size();
    size_t from = 0, to = size ? size - 1 : 0;
    bool partial = false;
    // "bytes=A-B" or "bytes=A-"
    if (file.ranges && record.range.rfind("bytes=", 0) == 0) {
        const std::string bounds = record.range.substr(6);
        const size_t dash = bounds.find('-');
        from = std::stoull(bounds.substr(0, dash));
        if (dash + 1 < bounds.size())
            to = std::min<size_t>(std::stoull(bounds.substr(dash + 1)), size - 1);
        if (from >= size) {
            if (TRawTestServer::SendAll(fd, Status(416, "Range Not Satisfiable",
                                                   "Content-Range: bytes */" + std::to_string(size) + "\r\n", 0, keep)) &&
                keep)
                TRawTestServer::KeepOpen(fd);
            return;
        }
        partial = true;
    }
    const size_t length = to - from + 1;
    const std::string type = "Content-Type: " + file.contentType + "\r\n";
    const std::string head =
        partial ? Status(206, "Partial Content",
                         type + "Content-Range: bytes " + std::to_string(from) + "-" + std::to_string(to) + "/" +
                             std::to_string(size) + "\r\n",
                         length, keep && !cut)
                : Status(200, "OK", type, length, keep && !cut);
    TRawTestServer::SendAll(fd, head);
    const size_t sent = cut ? length / 2 : length;
    constexpr size_t piece = 64 * 1024;
    for (size_t at = 0; at < sent && !stopping; at += piece) {
        if (file.pieceDelayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(file.pieceDelayMs));
        if (!TRawTestServer::SendAll(fd, file.body.substr(from + at, std::min(piece, sent - at))))
            return;
    }
    if (keep && !cut && !stopping)
        TRawTestServer::KeepOpen(fd);
}
