#include "WinHTTPUtils.h"

#include <QTime>
#include <QTimeZone>

namespace {

// The one-byte key of the stored credentials.
constexpr quint8 kLInfoKey = 0x6B;

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

QString LeftTrimmed(const QString& s)
{
    qsizetype i = 0;
    while (i < s.size() && s.at(i).isSpace())
        ++i;
    return s.mid(i);
}

// Removes and returns the text up to sep (all of it when sep is absent); the rest is left-trimmed.
QString TakeToken(QString& s, QChar sep)
{
    const qsizetype i = s.indexOf(sep);
    QString token = i < 0 ? s : s.left(i);
    s = i < 0 ? QString() : LeftTrimmed(s.mid(i + 1));
    return token;
}

QString PeekToken(const QString& s, QChar sep)
{
    const qsizetype i = s.indexOf(sep);
    return i < 0 ? s : s.left(i);
}

int MonthOf(const QString& token)
{
    static const char* const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                         "jul", "aug", "sep", "oct", "nov", "dec"};
    const QString t = token.left(3).toLower();
    for (int i = 0; i < 12; ++i)
        if (t == QLatin1String(months[i]))
            return i + 1;
    return 0;
}

bool StartsWithWeekday(const QString& s)
{
    static const char* const days[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
    const QString t = s.left(3).toLower();
    for (const char* d : days)
        if (t == QLatin1String(d))
            return true;
    return false;
}

int NumberOr(const QString& token, int fallback)
{
    bool ok = false;
    const int v = token.trimmed().toInt(&ok);
    return ok ? v : fallback;
}

} // namespace

TWinHTTPFileStream::TWinHTTPFileStream(const QString& FileName, bool CreateNew) : QFile(FileName)
{
    open(CreateNew ? (QIODevice::ReadWrite | QIODevice::Truncate)
                   : (QIODevice::ReadWrite | QIODevice::ExistingOnly));
}

bool SetFileAttributesOf(const QString& FileName, TFileAttributes Attributes)
{
    QFile file(FileName);
    if (!file.exists())
        return false;
    constexpr auto writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteUser | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    QFileDevice::Permissions perms = file.permissions();
    if (Attributes.Contains(atrReadOnly))
        perms &= ~writeBits;
    else
        perms |= QFileDevice::WriteOwner | QFileDevice::WriteUser;
    return file.setPermissions(perms);
}

QByteArray EncodeURLPart(const QByteArray& Part, bool KeepEscapes)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(Part.size() + Part.size() / 2);
    for (qsizetype i = 0; i < Part.size(); ++i) {
        const auto c = static_cast<unsigned char>(Part.at(i));
        if (KeepEscapes && c == '%' && i + 2 < Part.size() && IsHex(Part.at(i + 1)) && IsHex(Part.at(i + 2))) {
            out.append(Part.mid(i, 3));
            i += 2;
            continue;
        }
        const bool encode = c <= 0x20 || c >= 0x80 || c == '#' || c == '%' || c == '*' || c == '+' ||
                            c == '<' || c == '>' || (KeepEscapes && c == 0x7F);
        if (encode) {
            out.append('%');
            out.append(hex[c >> 4]);
            out.append(hex[c & 15]);
        } else {
            out.append(static_cast<char>(c));
        }
    }
    return out;
}

QByteArray EncodeURLExtra(const QByteArray& Extra)
{
    return EncodeURLPart(Extra, false);
}

std::chrono::seconds ZoneOffsetToTime(const QString& Text)
{
    const QString t = Text.trimmed().left(5);
    if (t.size() < 5 || (t.at(0) != '+' && t.at(0) != '-'))
        return std::chrono::seconds(0);
    for (int i = 1; i < 5; ++i)
        if (!t.at(i).isDigit())
            return std::chrono::seconds(0);
    const int hours = t.mid(1, 2).toInt();
    const int minutes = t.mid(3, 2).toInt();
    if (hours > 23 || minutes > 59)
        return std::chrono::seconds(0);
    const int span = hours * 3600 + minutes * 60;
    return std::chrono::seconds(t.at(0) == '-' ? -span : span);
}

QDateTime HTTPDateToDateTime(const QString& Text)
{
    QString s = Text.trimmed();
    if (s.isEmpty())
        return {};
    if (StartsWithWeekday(s)) {
        const qsizetype blank = s.indexOf(' ');
        s = blank < 0 ? QString() : LeftTrimmed(s.mid(blank + 1));
    }

    QChar sep = ' ';
    const qsizetype dash = s.indexOf('-');
    const bool onlyLeadingDash = dash == 0 && s.indexOf('-', 1) < 0;
    if (dash >= 0 && !onlyLeadingDash) {
        const qsizetype blank = s.indexOf(' ');
        sep = (blank < 0 || dash < blank) ? QChar('-') : QChar(' ');
    }

    int day = 1;
    int month = 0;
    if (MonthOf(PeekToken(s, sep)) != 0) {
        month = MonthOf(TakeToken(s, sep));
        day = NumberOr(TakeToken(s, sep), 1);
    } else {
        day = NumberOr(TakeToken(s, sep), 1);
        month = MonthOf(TakeToken(s, sep));
    }

    QString remaining;
    const QString yearToken = TakeToken(s, ' ');
    bool isNumber = false;
    int year = yearToken.toInt(&isNumber);
    if (isNumber) {
        remaining = s;
    } else {
        // weekday month day time year: the year follows the time
        year = NumberOr(TakeToken(s, ' '), 1900);
        remaining = yearToken + (s.isEmpty() ? QString() : " " + s);
    }
    if (year < 80)
        year += 2000;
    else if (year < 100)
        year += 1900;

    const QDate date(year, month, day);
    if (!date.isValid())
        return {};
    QTime time(0, 0, 0);
    if (remaining.contains(':')) {
        const QStringList parts = TakeToken(remaining, ' ').split(':');
        time = QTime(NumberOr(parts.value(0), 0), NumberOr(parts.value(1), 0), NumberOr(parts.value(2), 0));
        if (!time.isValid())
            return {};
    }
    const QString zone = LeftTrimmed(remaining);
    QDateTime utc(date, time, QTimeZone::utc());
    if (zone.size() > 4)
        utc = utc.addSecs(-ZoneOffsetToTime(zone).count());
    return utc.toLocalTime();
}

QString StatusText(int StatusCode)
{
    switch (StatusCode) {
    case 10: return QStringLiteral("Resolving name");
    case 11: return QStringLiteral("Name resolved");
    case 20: return QStringLiteral("Connecting to server");
    case 21: return QStringLiteral("Connected");
    case 30: return QStringLiteral("Sending Request");
    case 31: return QStringLiteral("Request sent");
    case 40: return QStringLiteral("Receiving response");
    case 41: return QStringLiteral("Response received");
    case 42: return QStringLiteral("CTL Response received");
    case 43: return QStringLiteral("Prefetch");
    case 50: return QStringLiteral("Closing connection");
    case 51: return QStringLiteral("Connection closed");
    case 60: return QStringLiteral("Handle created");
    case 70: return QStringLiteral("Handle closing");
    case 100: return QStringLiteral("Request complete");
    case 110: return QStringLiteral("Redirect");
    case 120: return QStringLiteral("Intermediate response");
    case 200: return QStringLiteral("State change");
    default: return QStringLiteral("Unknown status");
    }
}

QByteArray EncodeLInfo(const QString& Username, const QString& Password)
{
    const QByteArray user = Username.toUtf8();
    const QByteArray pass = Password.toUtf8();
    if (user.isEmpty() && pass.isEmpty())
        return {};
    const qsizetype total = 1 + user.size() + pass.size();
    if (total > 255)
        return {};
    const auto t = static_cast<quint8>(total);
    const quint8 key = t ^ kLInfoKey;
    QByteArray out;
    out.reserve(total + 1);
    out.append(static_cast<char>(t));
    out.append(static_cast<char>(static_cast<quint8>(user.size()) ^ key));
    for (char c : user + pass)
        out.append(static_cast<char>(static_cast<quint8>(c) ^ key));
    return out;
}

bool DecodeLInfo(const QByteArray& Data, QString& Username, QString& Password)
{
    if (Data.size() < 2)
        return false;
    const auto t = static_cast<quint8>(Data.at(0));
    if (t < 1 || Data.size() != 1 + t)
        return false;
    const quint8 key = t ^ kLInfoKey;
    QByteArray plain(t, Qt::Uninitialized);
    for (int i = 0; i < t; ++i)
        plain[i] = static_cast<char>(static_cast<quint8>(Data.at(1 + i)) ^ key);
    const int userLength = static_cast<quint8>(plain.at(0));
    if (userLength > t - 1)
        return false;
    Username = QString::fromUtf8(plain.mid(1, userLength));
    Password = QString::fromUtf8(plain.mid(1 + userLength));
    return true;
}
