// A stand-in for the video service for the downloader benchmark: watch pages and their media,
// streamed from a file, on 127.0.0.1 and an ephemeral port. /watch?v=bench carries the media
// address in the page; any other watch page carries none (resolved by an extractor), and
// /media serves the same bytes with byte ranges.
//   video_bench_server --media FILE --port-file FILE [--max-seconds N]
// Writes the port into the port file once listening; stops after --max-seconds (default 1800)
// or on SIGTERM/SIGINT.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<bool> Stop{false};
void OnSignal(int) { Stop = true; }

constexpr size_t PieceBytes = 256 * 1024;

} // namespace

int main(int argc, char** argv)
{
    std::string media, portFile;
    int maxSeconds = 1800;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--media"))
            media = argv[i + 1];
        else if (!std::strcmp(argv[i], "--port-file"))
            portFile = argv[i + 1];
        else if (!std::strcmp(argv[i], "--max-seconds"))
            maxSeconds = std::max(1, std::atoi(argv[i + 1]));
    }
    const int fd = open(media.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st{};
    if (fd < 0 || fstat(fd, &st) != 0 || portFile.empty()) {
        std::fprintf(stderr, "usage: video_bench_server --media FILE --port-file FILE [--max-seconds N]\n");
        return 2;
    }
    const size_t size = size_t(st.st_size);

    httplib::Server server;
    server.Get("/watch", [](const httplib::Request& req, httplib::Response& res) {
        if (req.get_param_value("v") != "bench") {
            res.set_content("<html><head><title>Benchmark clip</title></head><body></body></html>\n", "text/html");
            return;
        }
        res.set_content("<html><head><meta name=\"title\" content=\"Benchmark clip\"></head><body><script>"
                        "var args = \"video_id=bench&l=1&t=tokbench&sk=1\";</script></body></html>\n",
                        "text/html");
    });
    // A Range header gets its bytes with 206 and Content-Range; the provider is asked for them.
    auto serve = [fd, size](const char* type) {
        return [fd, size, type](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(size, type, [fd, size](size_t offset, size_t length, httplib::DataSink& sink) {
                thread_local std::vector<char> piece(PieceBytes);
                const size_t n = std::min({PieceBytes, size - offset, length});
                const ssize_t got = pread(fd, piece.data(), n, off_t(offset));
                return got > 0 && !Stop && sink.write(piece.data(), size_t(got));
            });
        };
    };
    server.Get("/get_video", [flv = serve("video/x-flv")](const httplib::Request& req, httplib::Response& res) {
        if (req.get_param_value("video_id") != "bench")
            res.status = 404;
        else
            flv(req, res);
    });
    server.Get("/media", serve("video/mp4"));
    // A range per request: the connection stays for all of them, as a real server's would.
    server.set_keep_alive_max_count(1000);
    const int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0)
        return 1;
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    std::thread listener([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    {
        std::ofstream(portFile + ".tmp") << port << "\n";
        std::rename((portFile + ".tmp").c_str(), portFile.c_str());
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(maxSeconds);
    while (!Stop && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    server.stop();
    listener.join();
    close(fd);
    return 0;
}
