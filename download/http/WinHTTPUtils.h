#pragma once
// Value types and helpers of the HTTP transfer component: option sets, the owned settings
// objects, URL extra-part encoding, HTTP dates, status texts and the stored credential form.
#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <chrono>
#include <cstdint>
#include <initializer_list>

// A small set of enumeration values.
template <typename E>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> values)
    {
        for (E v : values)
            bits_ |= Bit(v);
    }
    constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
    constexpr void Include(E v) { bits_ |= Bit(v); }
    constexpr void Exclude(E v) { bits_ &= ~Bit(v); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint32_t Bits() const { return bits_; }
    friend constexpr bool operator==(TSet a, TSet b) { return a.bits_ == b.bits_; }

private:
    static constexpr std::uint32_t Bit(E v) { return 1u << static_cast<unsigned>(v); }
    std::uint32_t bits_ = 0;
};

enum TRequestMethod { rmAutoDetect, rmGET, rmPOST };
enum TProxyAccessType { atPreconfig, atDirect, atUseProxy };
enum TFileAttribute { atrArchive, atrHidden, atrReadOnly, atrSystem, atrTemporary, atrOffline };
enum TCacheOption {
    coAlwaysReload, coReloadIfNoExpireInformation, coReloadUpdatedObjects, coPragmaNoCache,
    coNoCacheWrite, coCreateTempFilesIfCantCache, coUseCacheIfNetFail
};
enum TInternetOption {
    ioIgnoreCertificateInvalid, ioIgnoreCertificateDateInvalid, ioIgnoreUnknownCertificateAuthority,
    ioIgnoreRedirectToHTTP, ioIgnoreRedirectToHTTPS, ioKeepConnection, ioNoAuthentication,
    ioNoAutoRedirect, ioNoCookies
};
using TFileAttributes = TSet<TFileAttribute>;
using TCacheOptions = TSet<TCacheOption>;
using TInternetOptions = TSet<TInternetOption>;

// Assign(nullptr) restores the defaults; Assign(&other) copies every field.
struct TWinHTTPProxy {
    TProxyAccessType AccessType = atPreconfig;
    int ProxyPort = 8080;
    QString ProxyServer;
    QString ProxyBypass = QStringLiteral("127.0.0.1;");
    QString ProxyUsername;
    QString ProxyPassword;
    void Assign(const TWinHTTPProxy* Source) { *this = Source ? *Source : TWinHTTPProxy{}; }
    // ProxyServer and ProxyBypass belong to the stored form only for a named proxy.
    bool StoresServer() const { return AccessType == atUseProxy; }
};

struct TWinHTTPRange {
    std::uint64_t StartRange = 0;   // wide enough for files past 4 GB
    std::uint64_t EndRange = 0;
    void Assign(const TWinHTTPRange* Source) { *this = Source ? *Source : TWinHTTPRange{}; }
};

// 0 means the finite default below: a server that goes silent, or drips, never holds a
// transfer for ever. ReceiveTimeout is the longest silence; the whole response header must
// also arrive within it, counted from the request, and the body must bring LowSpeedLimit bytes
// a second averaged over every window of that length.
struct TWinHTTPTimeouts {
    static constexpr std::uint32_t DefaultConnectTimeout = 60000;   // ms, TLS handshake included
    static constexpr std::uint32_t DefaultReceiveTimeout = 30000;   // ms
    static constexpr std::uint32_t DefaultSendTimeout = 30000;      // ms
    static constexpr std::uint32_t DefaultLowSpeedLimit = 1024;     // bytes per second

    std::uint32_t ConnectTimeout = 0;   // ms
    std::uint32_t ReceiveTimeout = 0;
    std::uint32_t SendTimeout = 0;
    std::uint32_t LowSpeedLimit = 0;    // bytes per second
    void Assign(const TWinHTTPTimeouts* Source) { *this = Source ? *Source : TWinHTTPTimeouts{}; }
    // The values in force, defaults filled in.
    TWinHTTPTimeouts Effective() const
    {
        TWinHTTPTimeouts e = *this;
        if (e.ConnectTimeout == 0) e.ConnectTimeout = DefaultConnectTimeout;
        if (e.ReceiveTimeout == 0) e.ReceiveTimeout = DefaultReceiveTimeout;
        if (e.SendTimeout == 0) e.SendTimeout = DefaultSendTimeout;
        if (e.LowSpeedLimit == 0) e.LowSpeedLimit = DefaultLowSpeedLimit;
        return e;
    }
};

struct TWinHTTPOutputFileAttributes {
    TFileAttributes Complete{atrArchive};
    TFileAttributes Incomplete{atrArchive, atrTemporary};
    void Assign(const TWinHTTPOutputFileAttributes* Source)
    {
        *this = Source ? *Source : TWinHTTPOutputFileAttributes{};
    }
};

// File stream of the output: created anew (truncating) or opened keeping its content,
// read and write, shared with other readers and writers.
class TWinHTTPFileStream : public QFile {
public:
    TWinHTTPFileStream(const QString& FileName, bool CreateNew);
    bool Opened() const { return isOpen(); }
};

// Applies attributes to a file: read-only maps to the write permissions; the others have no
// equivalent here and are only remembered by the caller.
bool SetFileAttributesOf(const QString& FileName, TFileAttributes Attributes);

// Blank, '#', '%', '*', '+', '<', '>', control bytes and bytes >= 0x80 become %XX.
QByteArray EncodeURLExtra(const QByteArray& Extra);
// The same, but escapes already present ("%" + two hex digits) are kept as they are.
QByteArray EncodeURLPart(const QByteArray& Part, bool KeepEscapes);

// An HTTP date in any of the three common forms, in local time; invalid when empty or unreadable.
QDateTime HTTPDateToDateTime(const QString& Text);
// "+hhmm" / "-hhmm" as a signed span; zero for anything else.
std::chrono::seconds ZoneOffsetToTime(const QString& Text);

// Text of a status notification code.
QString StatusText(int StatusCode);

// The stored form "LInfo" of user name and password; empty when both are empty or when the
// pair does not fit the one-byte length. Decoding refuses malformed data (returns false).
QByteArray EncodeLInfo(const QString& Username, const QString& Password);
bool DecodeLInfo(const QByteArray& Data, QString& Username, QString& Password);
