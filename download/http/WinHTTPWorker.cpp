// Worker side of the HTTP transfer component: the request on a libcurl easy handle, the
// response headers, the body into memory or a file, and the progress hand-overs.
#include "WinHTTPTransfer.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr qsizetype kHeaderValueBuffer = 4096;        // longer values count as absent
constexpr qsizetype kMaxHeaderBytes = 256 * 1024;     // all header blocks of one request, trailers included
constexpr int kMaxInterimResponses = 32;              // 1xx replies before the final one
constexpr int kMaxRedirects = 20;
constexpr int kMaxChallengeRetries = 8;               // 401/407 answered with TryAgain, per transfer
constexpr int kPollSliceMs = 100;
constexpr int kSocketReadSize = 128 * 1024;
constexpr qint64 kProgressIntervalMs = 30;            // progress at most this often ...
                                                      // ... and at most once per buffer's worth

// Memory bodies are made resident a few megabytes ahead of the data in one call each, rather
// than one page fault per page; huge pages where the system offers them.
constexpr qint64 kPopulateAhead = 8 * 1024 * 1024;
// While the network keeps the worker waiting, it makes up to this much of a memory body
// resident beyond the data, a slice at a time, so the copy later finds its pages ready.
constexpr qint64 kPopulateIdleAhead = 32 * 1024 * 1024;
constexpr qint64 kPopulateIdleSlice = 2 * 1024 * 1024;

void AdviseMemory(QByteArray& memory, qint64 from, qint64 to, bool wholeRegion)
{
#ifdef Q_OS_LINUX
    if (memory.capacity() < (1 << 20))
        return;
    const auto base = reinterpret_cast<uintptr_t>(memory.data());
    const uintptr_t page = 4096;
    if (wholeRegion) {
        const uintptr_t start = (base + page - 1) & ~(page - 1);
        const uintptr_t end = (base + uintptr_t(memory.capacity())) & ~(page - 1);
        if (end > start)
            madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif
    const uintptr_t start = (base + uintptr_t(from)) & ~(page - 1);
    const uintptr_t end = (base + uintptr_t(std::min<qint64>(to, memory.capacity()))) & ~(page - 1);
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
    Q_UNUSED(memory); Q_UNUSED(from); Q_UNUSED(to); Q_UNUSED(wholeRegion);
#endif
}


// Value of the first header `name` in a CRLF header block; absent when missing or too long.
bool HeaderValue(const QByteArray& block, const QByteArray& name, QByteArray& value)
{
    qsizetype lineStart = block.indexOf('\n');   // skip the status line
    while (lineStart >= 0 && lineStart + 1 < block.size()) {
        const qsizetype start = lineStart + 1;
        qsizetype end = block.indexOf('\n', start);
        if (end < 0)
            end = block.size();
        const QByteArray line = block.mid(start, end - start);
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            value = line.mid(colon + 1).trimmed();
            return value.size() <= kHeaderValueBuffer;
        }
        lineStart = end;
    }
    return false;
}

// Every value of header `name` in a header block.
QList<QByteArray> HeaderValues(const QByteArray& block, const QByteArray& name)
{
    QList<QByteArray> values;
    const QList<QByteArray> lines = block.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0 && lines[i].left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            values.append(lines[i].mid(colon + 1).trimmed());
    }
    return values;
}

qsizetype HeaderCount(const QByteArray& block, const QByteArray& name)
{
    return HeaderValues(block, name).size();
}

// All occurrences (and comma-separated list members) carry the same value.
bool SingleValued(const QByteArray& block, const QByteArray& name)
{
    QByteArray first;
    for (const QByteArray& value : HeaderValues(block, name))
        for (const QByteArray& item : value.split(',')) {
            if (first.isEmpty())
                first = item.trimmed();
            else if (item.trimmed() != first)
                return false;
        }
    return true;
}

QString Header(const QByteArray& block, const char* name)
{
    QByteArray v;
    return HeaderValue(block, name, v) ? QString::fromLatin1(v) : QString();
}

// Blanks, control bytes and bytes >= 0x80 make a path unusable on the wire; nothing else is touched.
QByteArray EncodePathForWire(const QByteArray& path)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F) {
            out.append('%');
            out.append(hex[c >> 4]);
            out.append(hex[c & 15]);
        } else {
            out.append(ch);
        }
    }
    return out;
}

QByteArray UrlPart(CURLU* u, CURLUPart part, unsigned flags = 0)
{
    char* text = nullptr;
    if (curl_url_get(u, part, &text, flags) != CURLUE_OK || text == nullptr)
        return {};
    QByteArray out(text);
    curl_free(text);
    return out;
}

// The memory limit reached by an error reply: its status is what the reader needs to know.
QString MemoryLimitReason(const TWinHTTPTransfer& t, const QString& what)
{
    if (t.status < 0 || t.status == 200 || t.status == 206)
        return what.left(1).toUpper() + what.mid(1);
    return QStringLiteral("The server answered with status %1 (%2)").arg(t.status).arg(what);
}

} // namespace

using TTransferPtr = std::shared_ptr<TWinHTTPTransfer>;

TWinHTTPProgress ComputeProgress(qint64 FileSize, qint64 BytesRead, qint64 ElapsedMs)
{
    TWinHTTPProgress p;
    p.ElapsedTime = ElapsedMs / 1000;
    if (FileSize > 0) {
        p.PercentsDone = static_cast<quint8>(static_cast<qint64>(std::nearbyint(100.0 * BytesRead / FileSize)) & 0xFF);
        p.EstimatedTimeLeft = BytesRead > 0
            ? static_cast<qint64>(std::nearbyint(double(FileSize) / BytesRead * p.ElapsedTime)) - p.ElapsedTime
            : 0;
    } else {
        p.PercentsDone = 0;
        p.EstimatedTimeLeft = -p.ElapsedTime;
    }
    double rate = BytesRead / 1024.0;
    if (p.ElapsedTime != 0)
        rate /= p.ElapsedTime;
    p.TransferRate = static_cast<float>(rate);
    return p;
}

// ---- worker side -------------------------------------------------------------------------

// Runs on the worker; reaches the component only inside main-thread hand-overs.
struct TWinHTTPWorker {

static bool Sync(TWinHTTPTransfer& t, const std::function<void()>& fn)
{
    bool ran = false;
    try {
        ran = TCustomWinThread::SynchronizeCalling(fn);
    } catch (...) {
    }
    // Time spent in a handler is not the server's silence.
    t.lastActivity.restart();
    return ran;
}

// Step 12: where the body goes. False ends the transfer.
static bool OpenOutput(TWinHTTPTransfer& t)
{
    if (Check(t))
        return false;
    QObject* mainThreadHome = QCoreApplication::instance();
    if ((t.status == 200 || t.status == 206) && !t.outputFileName.isEmpty()) {
        // A hard abort reads the opened flag under the same lock: it either sees the file
        // and deletes it, or the file is never made.
        std::lock_guard lock(t.fence);
        if (t.abandoned)
            return false;
        auto file = std::make_unique<TWinHTTPFileStream>(t.outputFileName, !t.outputAppend);
        if (t.outputAppend && file->Opened())
            file->seek(file->size());
        if (!file->Opened()) {
            // Without a file the caller asked for, nothing is stored, whatever the length.
            t.noStream = true;
            t.Fail(QStringLiteral("Cannot create the output file \"%1\": %2").arg(t.outputFileName, file->errorString()));
            return false;
        }
        if (!(t.attributes.Incomplete == TFileAttributes{atrArchive})) {
            SetFileAttributesOf(t.outputFileName, t.attributes.Incomplete);
            t.attributesInEffect = t.attributes.Incomplete;
        }
        t.outputFileOpened = true;
        if (mainThreadHome)
            file->moveToThread(mainThreadHome->thread());
        t.stream = std::move(file);
        return true;
    }

    auto buffer = std::make_unique<QBuffer>(&t.memory);
    buffer->open(QIODevice::ReadWrite);
    if (mainThreadHome)
        buffer->moveToThread(mainThreadHome->thread());
    {
        std::lock_guard lock(t.fence);
        t.isMemory = true;
        t.stream = std::move(buffer);
    }
    if (t.lengthKnown && t.fileSize > 0) {
        if (t.fileSize > t.maxMemory) {
            t.readFailed = true;
            t.Fail(MemoryLimitReason(t, QStringLiteral("the announced length of %1 bytes exceeds the memory limit of %2 bytes")
                       .arg(t.fileSize).arg(t.maxMemory)));
            return false;
        }
        try {
            t.memory.reserve(static_cast<qsizetype>(t.fileSize));
            AdviseMemory(t.memory, 0, 0, true);
        } catch (const std::bad_alloc&) {
            t.readFailed = true;
            t.Fail(QStringLiteral("Not enough memory for %1 bytes").arg(t.fileSize));
            return false;
        }
    }
    return true;
}

// Step 13 for one piece of the body. False ends the transfer.
static bool WriteBody(TWinHTTPTransfer& t, const char* data, qint64 n)
{
    {
        std::lock_guard lock(t.fence);
        if (t.abandoned || !t.stream)
            return false;
        if (t.lengthKnown && t.bytesRead + n > t.fileSize) {
            t.readFailed = true;
            t.Fail(QStringLiteral("The server sent more than the announced %1 bytes").arg(t.fileSize));
            return false;
        }
        if (t.isMemory) {
            const qint64 needed = t.memory.size() + n;
            if (needed > t.maxMemory) {
                t.readFailed = true;
                t.Fail(MemoryLimitReason(t, QStringLiteral("the body exceeds the memory limit of %1 bytes").arg(t.maxMemory)));
                return false;
            }
            if (needed > t.memory.capacity()) {
                try {
                    t.memory.reserve(static_cast<qsizetype>(
                        std::min<qint64>(t.maxMemory, std::max<qint64>({needed, 2 * t.memory.capacity(), 65536}))));
                    AdviseMemory(t.memory, 0, 0, true);
                    t.populated = t.memory.size();
                } catch (const std::bad_alloc&) {
                    t.readFailed = true;
                    t.Fail(QStringLiteral("Not enough memory for the body"));
                    return false;
                }
            }
            if (needed > t.populated) {
                const qint64 upTo = std::min<qint64>(t.memory.capacity(), needed + kPopulateAhead);
                AdviseMemory(t.memory, t.populated, upTo, false);
                t.populated = upTo;
            }
        }
        if (t.stream->write(data, n) != n) {
            t.readFailed = true;
            t.Fail(QStringLiteral("Cannot write the output: %1").arg(t.stream->errorString()));
            return false;
        }
        t.bytesRead += n;
    }
    if (t.bytesRead - t.progressBytes >= t.bufferSize && t.progressClock.elapsed() >= kProgressIntervalMs)
        FireProgress(t);
    return true;
}

// One slice of a memory body made resident ahead of the data; false when there is nothing to do.
static bool PopulateWhileIdle(TWinHTTPTransfer& t)
{
    std::lock_guard lock(t.fence);
    if (!t.isMemory || t.abandoned || !t.stream)
        return false;
    const qint64 limit = std::min<qint64>(t.memory.capacity(), t.memory.size() + kPopulateIdleAhead);
    if (t.populated >= limit)
        return false;
    const qint64 upTo = std::min(limit, std::max<qint64>(t.populated, t.memory.size()) + kPopulateIdleSlice);
    AdviseMemory(t.memory, std::max<qint64>(t.populated, t.memory.size()), upTo, false);
    t.populated = upTo;
    return true;
}

// One main-thread progress event for what arrived since the last one.
static void FireProgress(TWinHTTPTransfer& t)
{
    t.progressBytes = t.bytesRead;
    t.progressClock.start();
    if (!t.hasProgress)
        return;
    Sync(t, [&] {
        if (!t.owner->OnProgress)
            return;
        const TWinHTTPProgress p = ComputeProgress(t.fileSize, t.bytesRead, t.started.elapsed());
        t.owner->OnProgress(t.owner, t.contentType, t.fileSize, t.bytesRead, p.ElapsedTime,
                            p.EstimatedTimeLeft, p.PercentsDone, p.TransferRate, t.stream.get());
    });
}

// The last bytes always get their event.
static void FlushProgress(TWinHTTPTransfer& t)
{
    if (t.bytesRead != t.progressBytes)
        FireProgress(t);
}

// The response whose body follows: challenges, header facts, OnHeaderInfo, output.
// False stops the current attempt (retry, stop or failure, as recorded in t).
static bool BeginBody(TWinHTTPTransfer& t)
{
    t.bodyBegun = true;
    t.status = t.blockStatus;

    if (t.status == 401 && t.hasPasswordRequest) {
        QString realm;
        QByteArray challenge;
        if (HeaderValue(t.block, "WWW-Authenticate", challenge)) {
            const QString value = QString::fromLatin1(challenge);
            const qsizetype pair = value.indexOf(QLatin1String("=\""));
            realm = pair >= 0 ? value.mid(pair + 2).chopped(value.mid(pair + 2).isEmpty() ? 0 : 1) : value;
        }
        bool tryAgain = false;
        Sync(t, [&] {
            if (t.owner->OnPasswordRequest)
                t.owner->OnPasswordRequest(t.owner, realm, tryAgain);
            t.username = t.owner->Username;
            t.password = t.owner->Password;
        });
        if (tryAgain && !t.Stopped() && ++t.challengeRetries <= kMaxChallengeRetries) {
            curl_easy_setopt(t.easy, CURLOPT_USERNAME, t.username.toUtf8().constData());
            curl_easy_setopt(t.easy, CURLOPT_PASSWORD, t.password.toUtf8().constData());
            curl_easy_setopt(t.easy, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
            t.retry = true;
            return false;
        }
    } else if (t.status == 407 && t.hasProxyRequest) {
        bool tryAgain = false;
        Sync(t, [&] {
            if (t.owner->OnProxyAuthenticationRequest)
                t.owner->OnProxyAuthenticationRequest(t.owner, t.owner->Proxy.ProxyUsername,
                                                      t.owner->Proxy.ProxyPassword, tryAgain);
            t.proxy.ProxyUsername = t.owner->Proxy.ProxyUsername;
            t.proxy.ProxyPassword = t.owner->Proxy.ProxyPassword;
        });
        curl_easy_setopt(t.easy, CURLOPT_PROXYUSERNAME, t.proxy.ProxyUsername.toUtf8().constData());
        curl_easy_setopt(t.easy, CURLOPT_PROXYPASSWORD, t.proxy.ProxyPassword.toUtf8().constData());
        curl_easy_setopt(t.easy, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
        if (tryAgain && !t.Stopped() && ++t.challengeRetries <= kMaxChallengeRetries) {
            t.retry = true;
            return false;
        }
    }
    if (t.Stopped())
        return false;

    t.contentType = Header(t.block, "Content-Type");
    QByteArray length;
    QByteArray encoding;
    const bool chunked = HeaderValue(t.block, "Transfer-Encoding", encoding) &&
                         encoding.toLower().contains("chunked");
    if (HeaderCount(t.block, "Content-Length") > 0 && (chunked || !SingleValued(t.block, "Content-Length"))) {
        // Two framings, or two lengths: the body's end cannot be trusted.
        t.readFailed = true;
        t.Fail(chunked ? QStringLiteral("The server announced both a length and chunked encoding")
                       : QStringLiteral("The server announced conflicting lengths"));
        OpenOutput(t);
        return false;
    }
    if (HeaderValue(t.block, "Content-Length", length)) {
        bool ok = false;
        const qulonglong value = length.toULongLong(&ok);
        const bool digitsOnly = !length.isEmpty() && std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!ok || !digitsOnly || value > qulonglong(std::numeric_limits<qint64>::max())) {
            t.readFailed = true;
            t.Fail(QStringLiteral("The server announced an invalid length: %1").arg(QString::fromLatin1(length.left(64))));
            OpenOutput(t);
            return false;
        }
        t.fileSize = static_cast<qint64>(value);
        t.lengthKnown = true;
    }

    if (t.hasHeaderInfo) {
        const QString raw = QString::fromLatin1(t.block);
        const QString language = Header(t.block, "Content-Language");
        const QString encoding = Header(t.block, "Content-Encoding");
        const QString location = Header(t.block, "Location");
        const QString etag = Header(t.block, "ETag");
        const QDateTime date = HTTPDateToDateTime(Header(t.block, "Date"));
        const QDateTime lastModified = HTTPDateToDateTime(Header(t.block, "Last-Modified"));
        const QDateTime expires = HTTPDateToDateTime(Header(t.block, "Expires"));
        bool continueDownload = true;
        Sync(t, [&] {
            if (t.owner->OnHeaderInfo)
                t.owner->OnHeaderInfo(t.owner, t.status, raw, t.contentType, language, encoding, t.fileSize,
                                      location, date, lastModified, expires, etag, continueDownload);
        });
        t.continueDownload = continueDownload;
        if (!continueDownload)
            return false;
    }
    if (!OpenOutput(t))
        return false;
    t.speedBytes = 0;
    t.speedClock.start();
    t.progressClock.start();
    return true;
}

static size_t HeaderLine(TWinHTTPTransfer& t, const char* buffer, size_t n)
{
    if (t.Stopped())
        return 0;
    t.lastActivity.restart();
    t.headerBytes += qint64(n);
    if (t.headerBytes > kMaxHeaderBytes) {
        t.Fail(QStringLiteral("The response header is too large"));
        return 0;
    }
    const QByteArray line(buffer, static_cast<qsizetype>(n));
    if (line.startsWith("HTTP/")) {
        if (!t.requestStarted) {
            t.requestStarted = true;
            t.Notify(31);
        }
        t.Notify(40);
        t.block = line;
        t.blockComplete = false;
        const QList<QByteArray> parts = line.simplified().split(' ');
        bool ok = false;
        const int code = parts.size() > 1 ? parts.at(1).toInt(&ok) : 0;
        t.blockStatus = ok ? code : 0;
        return n;
    }
    if (line == "\r\n" || line == "\n") {
        t.blockComplete = true;
        t.Notify(41);
        if (t.blockStatus >= 100 && t.blockStatus < 200) {
            t.Notify(120);
            if (++t.interimResponses > kMaxInterimResponses) {
                t.Fail(QStringLiteral("The server sent more than %1 interim responses").arg(kMaxInterimResponses));
                return 0;
            }
            return n;
        }
        QByteArray location;
        const bool follows = !t.internetOptions.Contains(ioNoAutoRedirect) && t.blockStatus >= 300 &&
                             t.blockStatus < 400 && t.blockStatus != 304 && HeaderValue(t.block, "Location", location);
        if (follows) {
            char* effective = nullptr;
            curl_easy_getinfo(t.easy, CURLINFO_EFFECTIVE_URL, &effective);
            CURLU* u = curl_url();
            QByteArray target = location;
            if (effective && curl_url_set(u, CURLUPART_URL, effective, 0) == CURLUE_OK &&
                curl_url_set(u, CURLUPART_URL, location.constData(), CURLU_ALLOW_SPACE | CURLU_URLENCODE) == CURLUE_OK)
                target = UrlPart(u, CURLUPART_URL);
            const QByteArray fromScheme = QByteArray(effective ? effective : "").left(6).toLower();
            curl_url_cleanup(u);
            const QByteArray toScheme = target.left(target.indexOf(':') + 1).toLower();
            if (toScheme != "http:" && toScheme != "https:") {
                t.refusedRedirect = true;
                t.Fail(QStringLiteral("Redirect to an unsupported address refused: %1")
                           .arg(QString::fromLatin1(target.left(200))));
                return 0;
            }
            if (fromScheme == "https:" && toScheme == "http:" &&
                !t.internetOptions.Contains(ioIgnoreRedirectToHTTP)) {
                t.refusedRedirect = true;
                t.Fail(QStringLiteral("Redirect from a secure to an insecure address refused"));
                return 0;
            }
            t.Notify(110);
            t.WorkerEvent([&] {
                if (t.onRedirected)
                    t.onRedirected(t.owner, QString::fromUtf8(target));
            });
        }
        return n;
    }
    t.block.append(line);
    return n;
}

// The client library is C: nothing may unwind through it.
static size_t HeaderCallback(char* buffer, size_t size, size_t count, void* user)
{
    auto& t = *static_cast<TWinHTTPTransfer*>(user);
    try {
        return HeaderLine(t, buffer, size * count);
    } catch (...) {
        t.Fail(QStringLiteral("Out of memory while reading the response header"));
        return 0;
    }
}

static size_t WriteCallback(char* data, size_t size, size_t count, void* user)
{
    auto& t = *static_cast<TWinHTTPTransfer*>(user);
    const size_t n = size * count;
    try {
        if (t.Stopped())
            return 0;
        t.lastActivity.restart();
        if (!t.bodyBegun && !BeginBody(t))
            return 0;
        if (t.Stopped() || !WriteBody(t, data, static_cast<qint64>(n)))
            return 0;
        t.speedBytes += qint64(n);
        return n;
    } catch (...) {
        t.readFailed = true;
        t.Fail(QStringLiteral("Out of memory while reading the body"));
        return 0;
    }
}

static int ProgressCallback(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow)
{
    auto& t = *static_cast<TWinHTTPTransfer*>(user);
    if (ulnow != t.lastUpload) {
        t.lastUpload = ulnow;
        t.lastActivity.restart();
    }
    return t.Stopped() ? 1 : 0;
}

static int ResolverStartCallback(void*, void*, void* user)
{
    auto& t = *static_cast<TWinHTTPTransfer*>(user);
    t.resolving = true;
    t.Notify(10);
    return 0;
}

static curl_socket_t OpenSocketCallback(void* user, curlsocktype, struct curl_sockaddr* address)
{
    auto& t = *static_cast<TWinHTTPTransfer*>(user);
    if (t.resolving) {
        t.resolving = false;
        t.Notify(11);
    }
    t.Notify(20);
    return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

static int CloseSocketCallback(void* user, curl_socket_t item)
{
    auto& t = *static_cast<TWinHTTPTransfer*>(user);
    t.Notify(50);
    const int r = close(item);
    t.Notify(51);
    return r;
}

// A kept connection outlives the transfer that opened it: its close is an event of the
// transfer using the cache at the time, if any.
static int KeptCloseSocketCallback(void* user, curl_socket_t item)
{
    TWinHTTPTransfer* t = static_cast<TWinHTTPConnections*>(user)->User();
    if (t)
        t->Notify(50);
    const int r = close(item);
    if (t)
        t->Notify(51);
    return r;
}

static int PrereqCallback(void* user, char*, char*, int, int)
{
    auto& t = *static_cast<TWinHTTPTransfer*>(user);
    // A new request on the wire (the first, or one after a redirect).
    t.requestStarted = false;
    t.headerBytes = 0;
    t.interimResponses = 0;
    t.headerClock.start();
    t.Notify(21);
    t.Notify(30);
    t.lastActivity.restart();
    return t.Stopped() ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

// Why the current attempt must end now, or empty. Silence is bounded in every phase, the
// response header as a whole, and a body that trickles below the low-speed limit.
static QString Overdue(TWinHTTPTransfer& t)
{
    const TWinHTTPTimeouts& e = t.timeouts;
    const qint64 idle = t.lastActivity.elapsed();
    if (!t.headerClock.isValid()) {
        // Still connecting: the client's connect timeout ends this; a margin in case it does not.
        if (idle > qint64(e.ConnectTimeout) + 1000)
            return QStringLiteral("Cannot connect within %1 ms").arg(e.ConnectTimeout);
        return {};
    }
    if (idle > qint64(e.ReceiveTimeout))
        return QStringLiteral("No data received for %1 ms").arg(e.ReceiveTimeout);
    if (!t.bodyBegun) {
        const qint64 limit = qint64(e.SendTimeout) + qint64(e.ReceiveTimeout);
        if (t.headerClock.elapsed() > limit)
            return QStringLiteral("No complete response header within %1 ms").arg(limit);
        return {};
    }
    if (t.speedClock.isValid() && t.speedClock.elapsed() >= qint64(e.ReceiveTimeout)) {
        const qint64 window = t.speedClock.elapsed();
        if (t.speedBytes * 1000 < qint64(e.LowSpeedLimit) * window)
            return QStringLiteral("The body arrived at less than %1 bytes a second for %2 ms")
                .arg(e.LowSpeedLimit).arg(window);
        t.speedBytes = 0;
        t.speedClock.start();
    }
    return {};
}

// One send of the request, driven here so that Abort can wake it at once.
static CURLcode Perform(TWinHTTPTransfer& t)
{
    {
        std::lock_guard lock(t.fence);
        if (!t.multi)
            t.multi = curl_multi_init();
    }
    if (!t.multi)
        return CURLE_OUT_OF_MEMORY;
    t.requestStarted = false;
    t.headerClock.invalidate();
    t.lastActivity.start();
    curl_multi_add_handle(t.multi, t.easy);
    CURLcode result = CURLE_OK;
    bool finished = false;
    int running = 1;
    while (true) {
        const CURLMcode mc = curl_multi_perform(t.multi, &running);
        if (mc != CURLM_OK) {
            t.Fail(QString::fromUtf8(curl_multi_strerror(mc)));
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            finished = true;
            break;
        }
        if (t.Stopped()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        const QString late = Overdue(t);
        if (!late.isEmpty()) {
            t.Fail(late);
            result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        int ready = 0;
        if (curl_multi_wait(t.multi, nullptr, 0, 0, &ready) == CURLM_OK && ready == 0 && PopulateWhileIdle(t))
            continue;
        if (ready == 0)
            curl_multi_poll(t.multi, nullptr, 0, kPollSliceMs, nullptr);
    }
    if (finished) {
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(t.multi, &left))
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == t.easy)
                result = msg->data.result;
    }
    curl_multi_remove_handle(t.multi, t.easy);
    if (result != CURLE_OK)
        t.Fail(t.errorBuffer[0] ? QString::fromUtf8(t.errorBuffer) : QString::fromUtf8(curl_easy_strerror(result)));
    return result;
}

// Releases the stream of a transfer the worker stops (abort): the file keeps its attributes.
static void CloseStream(TWinHTTPTransfer& t)
{
    std::lock_guard lock(t.fence);
    if (t.stream)
        t.stream->close();
}

static void AbortOnWorker(TWinHTTPTransfer& t)
{
    if (t.aborted.exchange(true))
        return;
    CloseStream(t);
    if (t.outputFileOpened && t.deleteOnAbort)
        QFile::remove(t.outputFileName);
    Sync(t, [&] {
        TCustomWinHTTP* owner = t.owner;
        owner->OnAbortedFromWorker(t);
    });
}

// True when the transfer was stopped: the abort has then been dealt with and the caller only
// returns. Never throws: it runs inside the client library's callbacks too.
static bool Check(TWinHTTPTransfer& t)
{
    if (!TCustomWinThread::CallingWorkerTerminated() && !t.abandoned)
        return false;
    if (!t.abandoned)
        AbortOnWorker(t);
    return true;
}

static void ReceiveLocalFile(TWinHTTPTransfer& t, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || QFileInfo(path).isDir()) {
        t.status = 404;
        t.fileSize = 0;
        t.Fail(QStringLiteral("Cannot open \"%1\"").arg(path));
    } else {
        t.status = 200;
        t.fileSize = file.size();
        t.lengthKnown = true;
    }
    if (!OpenOutput(t))
        return;
    if (t.status != 200)
        return;
    QByteArray buffer(t.bufferSize, Qt::Uninitialized);
    t.progressClock.start();
    while (true) {
        if (Check(t))
            return;
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0) {
            t.readFailed = true;
            t.Fail(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()));
            break;
        }
        if (n == 0 || !WriteBody(t, buffer.constData(), n))
            break;
    }
    FlushProgress(t);
}

struct TEasyGuard {
    TWinHTTPTransfer& t;
    curl_slist* headers = nullptr;
    ~TEasyGuard()
    {
        if (t.easy) {
            t.Notify(70);
            curl_easy_cleanup(t.easy);
            t.easy = nullptr;
        }
        curl_slist_free_all(headers);
        std::lock_guard lock(t.fence);
        if (t.multi) {
            if (t.connections)
                t.connections->Give(t.multi, !t.Stopped() && !t.aborted);
            else
                curl_multi_cleanup(t.multi);
            t.multi = nullptr;
        }
        // The cache goes with its owner, not with this record, which lives on until the next transfer.
        t.connections.reset();
    }
};

static void ConfigureRequest(TWinHTTPTransfer& t, const QByteArray& requestUrl, curl_slist*& headers)
{
    CURL* e = t.easy;
    curl_easy_setopt(e, CURLOPT_URL, requestUrl.constData());
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorBuffer);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_USERAGENT, t.agent.toUtf8().constData());
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, long(std::clamp(std::max(t.bufferSize, kSocketReadSize), 1024, CURL_MAX_READ_SIZE)));

    switch (t.proxy.AccessType) {
    case atPreconfig:
        break;   // the environment's proxy settings
    case atDirect:
        curl_easy_setopt(e, CURLOPT_PROXY, "");
        break;
    case atUseProxy: {
        const QByteArray server = QStringLiteral("%1:%2").arg(t.proxy.ProxyServer).arg(t.proxy.ProxyPort).toUtf8();
        curl_easy_setopt(e, CURLOPT_PROXY, server.constData());
        QByteArray bypass = t.proxy.ProxyBypass.toUtf8();
        bypass.replace(';', ',');
        while (bypass.endsWith(','))
            bypass.chop(1);
        curl_easy_setopt(e, CURLOPT_NOPROXY, bypass.constData());
        break;
    }
    }
    // Configured proxy credentials are offered before the proxy asks for them.
    if (t.proxy.AccessType != atDirect && !t.proxy.ProxyUsername.isEmpty() && !t.proxy.ProxyPassword.isEmpty()) {
        curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, t.proxy.ProxyUsername.toUtf8().constData());
        curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, t.proxy.ProxyPassword.toUtf8().constData());
        curl_easy_setopt(e, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
    }
    if (!t.internetOptions.Contains(ioNoAuthentication) && (!t.username.isEmpty() || !t.password.isEmpty())) {
        curl_easy_setopt(e, CURLOPT_USERNAME, t.username.toUtf8().constData());
        curl_easy_setopt(e, CURLOPT_PASSWORD, t.password.toUtf8().constData());
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
    }
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, t.internetOptions.Contains(ioNoAutoRedirect) ? 0L : 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, long(kMaxRedirects));
    if (!t.internetOptions.Contains(ioNoCookies))
        curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
    if (!t.referer.isEmpty())
        curl_easy_setopt(e, CURLOPT_REFERER, t.referer.toUtf8().constData());
    if (t.internetOptions.Contains(ioIgnoreCertificateInvalid))
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
    if (t.internetOptions.Contains(ioIgnoreUnknownCertificateAuthority))
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(t.timeouts.ConnectTimeout));

    const bool post = t.method == rmPOST || (t.method == rmAutoDetect && !t.postData.isEmpty());
    if (post) {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(t.postData.size()));
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, t.postData.constData());
        headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    }
    if (!t.acceptTypes.isEmpty())
        headers = curl_slist_append(headers, ("Accept: " + t.acceptTypes).toUtf8().constData());
    if (t.cacheOptions.Contains(coPragmaNoCache))
        headers = curl_slist_append(headers, "Pragma: no-cache");

    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, HeaderCallback);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, WriteCallback);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, ProgressCallback);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(e, CURLOPT_RESOLVER_START_FUNCTION, ResolverStartCallback);
    curl_easy_setopt(e, CURLOPT_RESOLVER_START_DATA, &t);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, OpenSocketCallback);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, &t);
    if (t.connections) {
        curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, KeptCloseSocketCallback);
        curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, t.connections.get());
    } else {
        curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, CloseSocketCallback);
        curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, &t);
    }
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, PrereqCallback);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, &t);
}

// Steps 1 to 14 of one transfer.
static void RunTransfer(TWinHTTPTransfer& t)
{
    // 1.
    t.status = -1;
    t.contentType.clear();
    t.started.start();
    t.continueDownload = true;

    // 2. Split the address.
    QByteArray full = t.url.toUtf8();
    if (!t.url.contains(QLatin1String("://")))
        full.prepend("http://");
    CURLU* u = curl_url();
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> urlGuard(u, curl_url_cleanup);
    if (curl_url_set(u, CURLUPART_URL, full.constData(), CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE) != CURLUE_OK) {
        t.Fail(QStringLiteral("The address \"%1\" cannot be understood").arg(t.url));
        return;
    }
    const QByteArray scheme = UrlPart(u, CURLUPART_SCHEME).toLower();
    const QString urlUser = QString::fromUtf8(UrlPart(u, CURLUPART_USER, CURLU_URLDECODE));
    const QString urlPassword = QString::fromUtf8(UrlPart(u, CURLUPART_PASSWORD, CURLU_URLDECODE));
    if (!urlUser.isEmpty())
        t.username = urlUser;
    if (!urlPassword.isEmpty())
        t.password = urlPassword;
    if (Check(t))
        return;

    // 3. Local files.
    if (scheme == "file") {
        ReceiveLocalFile(t, QString::fromUtf8(UrlPart(u, CURLUPART_PATH, CURLU_URLDECODE)));
        if (t.aborted || t.abandoned)
            return;
        if (t.stream && !t.isMemory) {
            std::lock_guard lock(t.fence);
            if (!static_cast<QFile*>(t.stream.get())->flush()) {
                t.readFailed = true;
                t.Fail(QStringLiteral("Cannot write the output file: %1").arg(t.stream->errorString()));
            }
        }
        t.success = (t.status == 200 || t.status == 206) && !t.readFailed &&
                    !(t.fileSize != 0 && t.stream && t.bytesRead != t.fileSize);
        return;
    }
    if (scheme != "http" && scheme != "https") {
        t.Fail(QStringLiteral("The address scheme \"%1\" is not supported").arg(QString::fromUtf8(scheme)));
        return;
    }

    // The wire form: the extra part encoded (escapes already present kept), no fragment, no
    // credentials. Put together as text: setting parts one by one would change the escapes.
    const QByteArray port = UrlPart(u, CURLUPART_PORT);
    const QByteArray query = UrlPart(u, CURLUPART_QUERY);
    QByteArray requestUrl = scheme + "://" + UrlPart(u, CURLUPART_HOST);
    if (!port.isEmpty())
        requestUrl += ":" + port;
    requestUrl += EncodePathForWire(UrlPart(u, CURLUPART_PATH));
    if (!query.isEmpty())
        requestUrl += "?" + EncodeURLPart(query, true);

    // 4. Session.
    if (t.workOffline) {
        t.Fail(QStringLiteral("Working offline"));
        return;
    }
    TEasyGuard guard{t};
    t.easy = curl_easy_init();
    if (!t.easy) {
        t.Fail(QStringLiteral("Cannot open an HTTP session"));
        return;
    }
    t.Notify(60);
    if (t.connections) {
        CURLM* kept = t.connections->Take(&t);
        std::lock_guard lock(t.fence);
        if (kept)
            t.multi = kept;
        else
            t.connections.reset();   // in use by a transfer that is still ending: our own
    }
    // 5, 6, 7.
    if (Check(t))
        return;
    ConfigureRequest(t, requestUrl, guard.headers);
    if (Check(t))
        return;
    t.WorkerEvent([&] {
        if (t.onBeforeSendRequest)
            t.onBeforeSendRequest(t.owner, t.easy);
    });

    // 8. Extra headers and the range.
    for (const QString& line : t.addHeaders) {
        if (line.contains('\r') || line.contains('\n')) {
            t.Fail(QStringLiteral("A request header line may not contain a line break"));
            return;
        }
        if (!line.isEmpty())
            guard.headers = curl_slist_append(guard.headers, line.toUtf8().constData());
    }
    if (t.range.StartRange != 0 || t.range.EndRange != 0) {
        QByteArray range = "RANGE: bytes=" + QByteArray::number(t.range.StartRange) + "-";
        if (t.range.EndRange != 0)
            range += QByteArray::number(t.range.EndRange);
        guard.headers = curl_slist_append(guard.headers, range.constData());
    }
    if (guard.headers)
        curl_easy_setopt(t.easy, CURLOPT_HTTPHEADER, guard.headers);

    // 9. Send, answering challenges.
    CURLcode result = CURLE_OK;
    while (true) {
        if (Check(t))
            return;
        t.retry = false;
        t.refusedRedirect = false;
        t.bodyBegun = false;
        t.block.clear();
        t.blockComplete = false;
        t.blockStatus = -1;
        t.errorBuffer[0] = 0;
        t.error.clear();
        result = Perform(t);
        if (Check(t))
            return;
        if (!t.retry && !t.bodyBegun && t.blockComplete && t.continueDownload) {
            // A response without a body, or one the connection broke off before its body.
            const bool intermediate = (t.blockStatus >= 100 && t.blockStatus < 200);
            QByteArray location;
            const bool followed = !t.internetOptions.Contains(ioNoAutoRedirect) && t.blockStatus >= 300 &&
                                  t.blockStatus < 400 && t.blockStatus != 304 && HeaderValue(t.block, "Location", location);
            if (result == CURLE_OK || t.refusedRedirect || (!intermediate && !followed)) {
                if (BeginBody(t) && result != CURLE_OK)
                    t.readFailed = true;
            }
        } else if (t.bodyBegun && result != CURLE_OK && !t.retry) {
            t.readFailed = true;
        }
        if (!t.retry)
            break;
        std::lock_guard lock(t.fence);
        t.stream.reset();
        t.memory = QByteArray();
        t.isMemory = false;
        t.bytesRead = 0;
        t.fileSize = 0;
        t.lengthKnown = false;
    }
    if (result == CURLE_OK)
        t.error.clear();
    FlushProgress(t);
    if (Check(t))
        return;
    t.Notify(100);

    // 14.
    if (t.stream && !t.isMemory) {
        std::lock_guard lock(t.fence);
        if (!static_cast<QFile*>(t.stream.get())->flush()) {
            t.readFailed = true;
            t.Fail(QStringLiteral("Cannot write the output file: %1").arg(t.stream->errorString()));
        }
    }
    t.success = (t.status == 200 || t.status == 206) && !t.readFailed &&
                !(t.fileSize != 0 && t.stream && t.bytesRead != t.fileSize);
    if (!t.success && (t.status == 200 || t.status == 206) && t.error.isEmpty() && t.stream)
        t.Fail(QStringLiteral("The connection ended after %1 of %2 bytes").arg(t.bytesRead).arg(t.fileSize));
}

};

void RunWinHTTPTransfer(TWinHTTPTransfer& t)
{
    TWinHTTPWorker::RunTransfer(t);
}
