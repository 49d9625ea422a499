// HTTP transfer benchmark: the transfer component against the curl command line, side by side,
// fetching one large generated body from a server on 127.0.0.1, into memory and into a file.
//   http_bench [--size-mb N] [--runs N] [--dir folder]
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

Sample RunCurl(const std::string& url, const std::string& output, qint64 size)
{
    QElapsedTimer t;
    t.start();
    const pid_t pid = fork();
    if (pid == 0) {
        execlp("curl", "curl", "-s", "-f", "--noproxy", "*", "-o", output.c_str(), url.c_str(), (char*)nullptr);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Sample s;
    s.seconds = t.nsecsElapsed() / 1e9;
    s.peakKb = usage.ru_maxrss;
    s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
           (output == "/dev/null" || QFile(QString::fromStdString(output)).size() == size);
    return s;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
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
    add("component, memory, 4 KB reads", [&] { return RunComponent(url, {}, 4096, false, size); });
    add("component, memory, 4 KB reads + OnProgress", [&] { return RunComponent(url, {}, 4096, true, size); });
    add("component, memory, 64 KB reads", [&] { return RunComponent(url, {}, 65536, false, size); });
    add("curl, discarded (-o /dev/null)", [&] { return RunCurl(url, "/dev/null", size); });
    add("component, file, 4 KB reads", [&] {
        auto s = RunComponent(url, file, 4096, false, size);
        QFile::remove(file);
        return s;
    });
    add("component, file, 64 KB reads", [&] {
        auto s = RunComponent(url, file, 65536, false, size);
        QFile::remove(file);
        return s;
    });
    add("curl, file", [&] {
        auto s = RunCurl(url, fileStd, size);
        QFile::remove(file);
        return s;
    });
    // Interleaved runs, so that every row sees the same machine load.
    for (int r = 0; r < runs; ++r)
        for (auto& row : rows) {
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
    std::printf("(peak memory: growth of the benchmark process for the component, whole process for curl)\n");
    std::printf("ratio component/curl, memory (4 KB reads):  %.2f\n", mbps(rows[0]) / mbps(rows[3]));
    std::printf("ratio component/curl, memory (64 KB reads): %.2f\n", mbps(rows[2]) / mbps(rows[3]));
    std::printf("ratio component/curl, file (4 KB reads):    %.2f\n", mbps(rows[4]) / mbps(rows[6]));
    std::printf("ratio component/curl, file (64 KB reads):   %.2f\n", mbps(rows[5]) / mbps(rows[6]));
    bool allOk = true;
    for (const auto& row : rows)
        allOk = allOk && row.ok;
    return allOk ? 0 : 1;
}
