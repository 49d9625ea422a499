// Dates, address encoding, stored credentials, progress figures and defaults.
#include "WinHTTP.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {
QDateTime Expected1994() { return QDateTime(QDate(1994, 11, 6), QTime(8, 49, 37), QTimeZone::utc()).toLocalTime(); }
}

TEST(HTTPDate, ThreeCommonFormsGiveTheSameInstant)
{
    const QDateTime expected = Expected1994();
    EXPECT_EQ(HTTPDateToDateTime("Sun, 06 Nov 1994 08:49:37 GMT"), expected);
    EXPECT_EQ(HTTPDateToDateTime("Sunday, 06-Nov-94 08:49:37 GMT"), expected);
    EXPECT_EQ(HTTPDateToDateTime("Sun Nov  6 08:49:37 1994"), expected);
    EXPECT_EQ(HTTPDateToDateTime("  sun, 06 nov 1994 08:49:37 gmt  "), expected);
    EXPECT_EQ(HTTPDateToDateTime("Sun, 06 Nov 1994 08:49:37 GMT").timeSpec(), Qt::LocalTime);
}

TEST(HTTPDate, NumericZonesShiftToUniversalTime)
{
    EXPECT_EQ(HTTPDateToDateTime("Sun, 06 Nov 1994 10:19:37 +0130"), Expected1994());
    EXPECT_EQ(HTTPDateToDateTime("Sun, 06 Nov 1994 03:49:37 -0500"), Expected1994());
    // Short zone texts count as universal time.
    EXPECT_EQ(HTTPDateToDateTime("Sun, 06 Nov 1994 08:49:37 UTC"), Expected1994());
}

TEST(HTTPDate, EmptyAndUnreadableTextsGiveNoDate)
{
    EXPECT_FALSE(HTTPDateToDateTime("").isValid());
    EXPECT_FALSE(HTTPDateToDateTime("   ").isValid());
    EXPECT_FALSE(HTTPDateToDateTime("Sun, 06 Foo 1994 08:49:37 GMT").isValid());
    EXPECT_FALSE(HTTPDateToDateTime("Sun, 45 Nov 1994 08:49:37 GMT").isValid());
    EXPECT_FALSE(HTTPDateToDateTime("Sun, 06 Nov 1994 99:49:37 GMT").isValid());
    for (const char* junk : {"-", "Mon", "Nov", "-- -- --", "06-Nov", "\x01\x02", "Sun,", "1 2 3 4 5 6 7"})
        HTTPDateToDateTime(junk);   // no crash, whatever comes out
    // A missing time is midnight; two-digit years above 79 are in the 1900s.
    EXPECT_EQ(HTTPDateToDateTime("06 Nov 1994"),
              QDateTime(QDate(1994, 11, 6), QTime(0, 0), QTimeZone::utc()).toLocalTime());
    EXPECT_EQ(HTTPDateToDateTime("06-Nov-85 00:00:00 GMT").date().year() % 100, 85 % 100);
    EXPECT_EQ(HTTPDateToDateTime("01-Jan-05 12:00:00 GMT").toUTC().date(), QDate(2005, 1, 1));
}

TEST(HTTPDate, ZoneOffsets)
{
    using std::chrono::hours;
    using std::chrono::minutes;
    EXPECT_EQ(ZoneOffsetToTime("+0130"), hours(1) + minutes(30));
    EXPECT_EQ(ZoneOffsetToTime("-0500"), -hours(5));
    EXPECT_EQ(ZoneOffsetToTime("GMT"), std::chrono::seconds(0));
    EXPECT_EQ(ZoneOffsetToTime("EST"), std::chrono::seconds(0));
    EXPECT_EQ(ZoneOffsetToTime("+01"), std::chrono::seconds(0));
    EXPECT_EQ(ZoneOffsetToTime("+2500"), std::chrono::seconds(0));
    EXPECT_EQ(ZoneOffsetToTime("+x130"), std::chrono::seconds(0));
    EXPECT_EQ(ZoneOffsetToTime("  +0200 (CEST)"), hours(2));
}

TEST(URLExtra, ReservedBytesAreEscapedOthersKept)
{
    EXPECT_EQ(EncodeURLExtra("?a=b c+d&e=f"), "?a=b%20c%2Bd&e=f");
    EXPECT_EQ(EncodeURLExtra("#%*<>"), "%23%25%2A%3C%3E");
    EXPECT_EQ(EncodeURLExtra(QByteArray("\x01\x1f\x7f", 3)), QByteArray("%01%1F\x7f"));
    EXPECT_EQ(EncodeURLExtra("caf\xc3\xa9"), "caf%C3%A9");
    EXPECT_EQ(EncodeURLExtra("a=1;b=/x?y"), "a=1;b=/x?y");
    // The address form keeps escapes that are already there.
    EXPECT_EQ(EncodeURLPart("a=%26%2b 100%", true), "a=%26%2b%20100%25");
}

TEST(LInfo, CredentialsRoundTripAndMalformedDataIsRefused)
{
    const QByteArray stored = EncodeLInfo("user", "pässword");
    ASSERT_FALSE(stored.isEmpty());
    EXPECT_EQ(static_cast<quint8>(stored.at(0)), 1 + 4 + 9);
    EXPECT_EQ(stored.size(), 1 + 14);
    EXPECT_FALSE(stored.contains("user"));   // not stored in the clear
    QString user, password;
    ASSERT_TRUE(DecodeLInfo(stored, user, password));
    EXPECT_EQ(user, "user");
    EXPECT_EQ(password, "pässword");

    EXPECT_TRUE(EncodeLInfo("", "").isEmpty());
    EXPECT_TRUE(EncodeLInfo(QString(200, 'u'), QString(60, 'p')).isEmpty());   // does not fit one length byte
    ASSERT_TRUE(DecodeLInfo(EncodeLInfo("", "only"), user, password));
    EXPECT_EQ(user, "");
    EXPECT_EQ(password, "only");

    EXPECT_FALSE(DecodeLInfo(QByteArray(), user, password));
    EXPECT_FALSE(DecodeLInfo(stored.left(5), user, password));
    QByteArray badLength = stored;
    badLength[1] = static_cast<char>(static_cast<quint8>(stored.at(1)) ^ 0x7F);   // user longer than all
    EXPECT_FALSE(DecodeLInfo(badLength, user, password));

    TWinHTTP http;
    http.Username = "a";
    http.Password = "b";
    TWinHTTP other;
    ASSERT_TRUE(other.SetLInfo(http.LInfo()));
    EXPECT_EQ(other.Username, "a");
    EXPECT_EQ(other.Password, "b");
}

TEST(Progress, FiguresFollowTheRules)
{
    // Ties go to the even neighbour.
    EXPECT_EQ(ComputeProgress(200, 1, 0).PercentsDone, 0);    // 0.5
    EXPECT_EQ(ComputeProgress(200, 3, 0).PercentsDone, 2);    // 1.5
    EXPECT_EQ(ComputeProgress(200, 5, 0).PercentsDone, 2);    // 2.5
    EXPECT_EQ(ComputeProgress(1000, 1000, 0).PercentsDone, 100);

    const TWinHTTPProgress p = ComputeProgress(1000, 400, 10999);
    EXPECT_EQ(p.ElapsedTime, 10);
    EXPECT_EQ(p.EstimatedTimeLeft, 15);   // round(1000 / 400 * 10) - 10
    EXPECT_FLOAT_EQ(p.TransferRate, 400 / 1024.0f / 10);

    const TWinHTTPProgress early = ComputeProgress(1000, 2048, 999);
    EXPECT_EQ(early.ElapsedTime, 0);
    EXPECT_FLOAT_EQ(early.TransferRate, 2.0f);   // not divided by zero seconds

    const TWinHTTPProgress unknown = ComputeProgress(0, 5000, 7000);
    EXPECT_EQ(unknown.PercentsDone, 0);
    EXPECT_EQ(unknown.EstimatedTimeLeft, -7);
}

TEST(WinHTTPDefaults, PropertiesStartAtTheirDefaults)
{
    TWinHTTP http;
    EXPECT_EQ(http.AcceptTypes, "text/html, */*");
    EXPECT_FALSE(http.IsAcceptTypesStored());
    EXPECT_FALSE(http.Agent.isEmpty());
    EXPECT_EQ(http.RequestMethod, rmAutoDetect);
    EXPECT_EQ(http.TransferBufferSize(), 4096);
    EXPECT_EQ(http.Proxy.AccessType, atPreconfig);
    EXPECT_EQ(http.Proxy.ProxyPort, 8080);
    EXPECT_EQ(http.Proxy.ProxyBypass, "127.0.0.1;");
    EXPECT_TRUE(http.OutputFileAttributes.Complete == TFileAttributes{atrArchive});
    EXPECT_TRUE(http.OutputFileAttributes.Incomplete == (TFileAttributes{atrArchive, atrTemporary}));
    EXPECT_TRUE(http.CacheOptions ==
                (TCacheOptions{coReloadIfNoExpireInformation, coReloadUpdatedObjects, coCreateTempFilesIfCantCache}));
    EXPECT_TRUE(http.InternetOptions == TInternetOptions{ioKeepConnection});
    EXPECT_EQ(http.ThreadPriority(), tpNormal);
    EXPECT_FALSE(http.WaitThread());
    EXPECT_EQ(http.WaitTimeout(), 0);
    EXPECT_FALSE(http.Busy());

    http.SetTransferBufferSize(10);
    EXPECT_EQ(http.TransferBufferSize(), 255);
    http.AcceptTypes = "*/*";
    EXPECT_TRUE(http.IsAcceptTypesStored());

    // Sub-objects copy from each other and go back to defaults from nothing.
    TWinHTTPProxy proxy;
    proxy.AccessType = atUseProxy;
    proxy.ProxyServer = "proxy.local";
    http.Proxy.Assign(&proxy);
    EXPECT_EQ(http.Proxy.ProxyServer, "proxy.local");
    EXPECT_TRUE(http.Proxy.StoresServer());
    http.Proxy.Assign(nullptr);
    EXPECT_EQ(http.Proxy.AccessType, atPreconfig);
    EXPECT_TRUE(http.Proxy.ProxyServer.isEmpty());
    http.Range.StartRange = 5;
    http.Range.Assign(nullptr);
    EXPECT_EQ(http.Range.StartRange, 0u);

    // Abort while idle does nothing.
    http.Abort(true, true);
    EXPECT_FALSE(http.Busy());
}

TEST(WinHTTPDefaults, StatusTexts)
{
    EXPECT_EQ(StatusText(10), "Resolving name");
    EXPECT_EQ(StatusText(42), "CTL Response received");
    EXPECT_EQ(StatusText(110), "Redirect");
    EXPECT_EQ(StatusText(200), "State change");
    EXPECT_EQ(StatusText(7), "Unknown status");
}
