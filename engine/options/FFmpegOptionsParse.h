#pragma once
// Value parsing shared by the option setters. Internal to the option processing files.
#include "FFBaseComponent.h"

#include <QString>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace ffoptions {

// Picture sizes beyond this are refused at once instead of failing deep in the encoder.
constexpr int MaxFrameDimension = 16384;

inline bool Flag(const QString& value)
{
    return value != QLatin1String("0");
}

inline std::int64_t ParseInteger(const QString& name, const QString& value, std::int64_t minimum,
                          std::int64_t maximum, int base = 10)
{
    bool ok = false;
    const std::int64_t n = value.trimmed().toLongLong(&ok, base);
    if (!ok) Fail(QStringLiteral("Expected number for %1 but found: %2").arg(name, value));
    if (n < minimum || n > maximum)
        Fail(QStringLiteral("The value for %1 was %2 which is not within %3 - %4")
                 .arg(name, value)
                 .arg(minimum)
                 .arg(maximum));
    return n;
}

inline int ParseInt(const QString& name, const QString& value, int minimum = INT_MIN,
             int maximum = INT_MAX)
{
    return int(ParseInteger(name, value, minimum, maximum));
}

inline double ParseFloat(const QString& name, const QString& value, double minimum, double maximum)
{
    bool ok = false;
    const double d = value.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d))
        Fail(QStringLiteral("Expected number for %1 but found: %2").arg(name, value));
    if (d < minimum || d > maximum)
        Fail(QStringLiteral("The value for %1 was %2 which is not within %3 - %4")
                 .arg(name, value)
                 .arg(minimum)
                 .arg(maximum));
    return d;
}

// Reads "<number><one separator><number>..." in C notation; false on anything else.
inline bool ReadIndexList(const QString& value, int minCount, int maxCount, std::vector<long>& out)
{
    const QByteArray text = value.trimmed().toUtf8();
    const char* p = text.constData();
    out.clear();
    while (true) {
        char* end = nullptr;
        errno = 0;
        const long n = std::strtol(p, &end, 0);
        if (end == p || errno == ERANGE || n < 0 || n > INT_MAX) return false;
        out.push_back(n);
        if (!*end) break;
        if (int(out.size()) >= maxCount) return false;
        p = end + 1;
        if (!*p) return false;
    }
    return int(out.size()) >= minCount;
}

inline void RequireLibraries(bool ready)
{
    if (!ready) Fail(QStringLiteral("The FFmpeg libraries are not loaded"));
}

} // namespace ffoptions
