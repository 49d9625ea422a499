// HTTP transfer benchmark: the transfer component against the curl command line, side by side,
// fetching one large generated body from a server on 127.0.0.1, into memory and into a file.
//   http_bench [--size-mb N] [--runs N] [--dir folder]
#include "BenchSupport.h"
#include "MainThread.h"
#include "WinHTTP.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Sample {
    double seconds = 0;
    long peakKb = 0;   // component: growth of the resident set; curl: its whole process
    bool ok = false;
};

long StatusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::strlen(field)));
    return 0;
}

void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

Sample RunComponent(const std::string& url, const QString& outputFile, int bufferSize, bool withProgress, qint64 size)
{
    TWinHTTP http;
    http.URL = QString::fromStdString(url);
    http.OutputFileName = outputFile;
    http.SetTransferBufferSize(bufferSize);
    qint64 got = -1;
    // The program runs an event loop while transfers go on; so does the benchmark.
    QEventLoop loop;
    http.OnDone = [&](QObject*, const QString&, qint64 n, QIODevice*) { got = n; };
    http.OnAnyError = [&](QObject*) { loop.quit(); };
    if (withProgress)
        http.OnProgress = [](QObject*, const QString&, qint64, qint64, qint64, qint64, quint8, float, QIODevice*) {};
    ResetPeak();
    const long before = StatusKb("VmRSS:");
    QElapsedTimer t;
    t.start();
    http.Read();
    QTimer idle;   // the completion clears Busy after its last event
    QObject::connect(&idle, &QTimer::timeout, [&] {
        if (!http.Busy())
            loop.quit();
    });
    idle.start(1);
    loop.exec();
    Sample s;
    s.seconds = t.nsecsElapsed() / 1e9;
    s.peakKb = StatusKb("VmHWM:") - before;
    s.ok = got == size && (outputFile.isEmpty() || QFile(outputFile).size() == size);
    return s;
}

Sample RunCurl(const std::string& url, const std::string& output, qint64 size, const QString& dir)
{
    // Under /usr/bin/time when present: a child of this large process would count this
    // process's memory as its own until it starts curl.
    const bool timed = QFile::exists("/usr/bin/time");
    const std::string memoryFile = (dir + "/http_bench.mem").toStdString();
    std::vector<const char*> args;
    if (timed)
        args = {"/usr/bin/time", "-f", "%M", "-o", memoryFile.c_str()};
    for (const char* a : {"curl", "-s", "-f", "--noproxy", "*", "-o", output.c_str(), url.c_str()})
        args.push_back(a);
    args.push_back(nullptr);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    Sample s;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, const_cast<char* const*>(args.data()), environ) != 0)
        return s;
    int status = 0;
    waitpid(pid, &status, 0);
    s.seconds = t.nsecsElapsed() / 1e9;
    if (timed) {
        std::ifstream in(memoryFile);
        in >> s.peakKb;
    }
    s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
           (output == "/dev/null" || QFile(QString::fromStdString(output)).size() == size);
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int sizeMb = 256;
    int runs = 5;
    QString dir = QDir::tempPath();
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--size-mb"))
            sizeMb = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--runs"))
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--dir"))
            dir = QString::fromLocal8Bit(argv[i + 1]);
    }
    QDir().mkpath(dir);
    const qint64 size = qint64(sizeMb) * 1024 * 1024;

    // A generated body, served in pieces from memory so the server costs little.
    std::string body(static_cast<size_t>(size), '\0');
    unsigned x = 12345;
    for (auto& c : body) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    httplib::Server server;
    server.Get("/big", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(body.size(), "application/octet-stream",
                                 [&](size_t offset, size_t length, httplib::DataSink& sink) {
                                     return sink.write(body.data() + offset, std::min<size_t>(length, 256 * 1024));
                                 });
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serverThread([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/big";
    const QString file = dir + "/http_bench.out";
    const std::string fileStd = file.toStdString();

    std::printf("HTTP transfer benchmark: %d MB from 127.0.0.1, %d runs each, median throughput\n", sizeMb, runs);
    struct Row {
        const char* name = "";
        std::function<Sample()> run;
        std::vector<double> seconds;
        long peakKb = 0;
        bool ok = true;
    };
    std::vector<Row> rows;
    auto add = [&](const char* name, std::function<Sample()> run) {
        Row row;
        row.name = name;
        row.run = std::move(run);
        rows.push_back(std::move(row));
    };
    auto inFile = [&](int buffer, bool progress) {
        auto s = RunComponent(url, file, buffer, progress, size);
        QFile::remove(file);
        return s;
    };
    add("component, memory", [&] { return RunComponent(url, {}, 4096, false, size); });
    add("component, memory, OnProgress, 4 KB reads", [&] { return RunComponent(url, {}, 4096, true, size); });
    add("component, memory, OnProgress, 64 KB reads", [&] { return RunComponent(url, {}, 65536, true, size); });
    add("curl, discarded (-o /dev/null)", [&] { return RunCurl(url, "/dev/null", size, dir); });
    add("component, file", [&] { return inFile(4096, false); });
    add("component, file, OnProgress, 4 KB reads", [&] { return inFile(4096, true); });
    add("curl, file", [&] {
        auto s = RunCurl(url, fileStd, size, dir);
        QFile::remove(file);
        return s;
    });
    // Runs interleaved within each group (memory, then file), so that every row sees the same
    // machine load and memory rows do not follow a large file write.
    for (size_t first : {size_t(0), size_t(4)})
        for (int r = 0; r < runs; ++r)
            for (size_t k = 0; k < 4 && first + k < rows.size(); ++k) {
                // Each round starts one row later, so no row always runs first.
                const size_t count = std::min<size_t>(4, rows.size() - first);
                auto& row = rows[first + (k + size_t(r)) % count];
                const Sample s = row.run();
                row.seconds.push_back(s.seconds);
                row.peakKb = std::max(row.peakKb, s.peakKb);
                row.ok = row.ok && s.ok;
            }
    server.stop();
    serverThread.join();

    auto mbps = [&](const Row& row) { return sizeMb / Median(row.seconds); };
    std::printf("%-46s %10s %14s\n", "", "MB/s", "peak memory MB");
    for (const auto& row : rows)
        std::printf("%-46s %10.0f %14.0f %s\n", row.name, mbps(row), row.peakKb / 1024.0, row.ok ? "" : "FAILED");
    std::printf("(peak memory: growth of the benchmark process for the component, curl's own peak; 0 = not measured)\n");
    std::printf("ratio component/curl, memory: %.2f (with OnProgress, 4 KB reads: %.2f)\n",
                mbps(rows[0]) / mbps(rows[3]), mbps(rows[1]) / mbps(rows[3]));
    std::printf("ratio component/curl, file:   %.2f (with OnProgress, 4 KB reads: %.2f)\n",
                mbps(rows[4]) / mbps(rows[6]), mbps(rows[5]) / mbps(rows[6]));
    bool allOk = true;
    for (const auto& row : rows)
        allOk = allOk && row.ok;
    return allOk ? 0 : 1;
}
