#include "VideoPage.h"

#include "UtilFuncs.h"
#include "VideoService.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace {

QString FirstMatch(const QString& text, const QString& pattern)
{
    // Case-sensitive, "." across line ends, the whole match taken.
    static thread_local QHash<QString, QRegularExpression> cache;
    auto it = cache.find(pattern);
    if (it == cache.end())
        it = cache.insert(pattern, QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption));
    const QRegularExpressionMatch m = it->match(text);
    return m.hasMatch() ? m.captured(0) : QString();
}

QString RemoveFirst(QString text, const QString& what)
{
    const qsizetype at = text.indexOf(what);
    if (at >= 0)
        text.remove(at, what.size());
    return text;
}

QString DecodeTitle(const QString& latin1Text)
{
    const QByteArray bytes = latin1Text.toLatin1();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(bytes);
    return utf8.hasError() ? latin1Text : decoded;
}

// Room left for "(32767)" when the folder already holds the name.
constexpr int CounterRoom = 7;
constexpr int NameBytes = 255;

} // namespace

bool IsYouTubeURL(const QString& text)
{
    const QString lower = text.toLower();
    const TVideoService service = VideoService();
    if (!lower.contains(QLatin1String("http")))
        return false;
    return lower.contains(service.Domain) ||
           (!service.ShortDomain.isEmpty() && lower.contains(service.ShortDomain + QLatin1Char('/')));
}

QString PageText(const QByteArray& page) { return QString::fromLatin1(page); }

QString GetYouTubeTitle(const QString& pageText)
{
    QString title = FirstMatch(pageText, QStringLiteral(R"re(<meta name="title" content="([^<]+)">)re"));
    if (title.isEmpty())
        return title;
    title = RemoveFirst(title, QStringLiteral(R"(<meta name="title" content=")"));
    title = RemoveFirst(title, QStringLiteral(R"(">)"));
    title = DecodeTitle(title);
    title.replace(QLatin1String("&amp;"), QLatin1String("&"));
    title.replace(QLatin1String("&gt;"), QLatin1String(">"));
    title.replace(QLatin1String("&lt;"), QLatin1String("<"));
    title.replace(QLatin1String("&quot;"), QLatin1String("\""));
    title.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    return title;
}

bool HasVideoParameters(const QString& pageText)
{
    return !FirstMatch(pageText, QStringLiteral("video_id=(.*?)&")).isEmpty();
}

QString GetYouTubeRealURL(const QString& pageText)
{
    const QString id = FirstMatch(pageText, QStringLiteral("video_id=(.*?)&"));
    const QString token = FirstMatch(pageText, QStringLiteral("&t=(.*?)&"));
    return QStringLiteral("http://") + VideoService().Host + QStringLiteral("/get_video?") + id + token;
}

QString DownloadRowName(const QString& title)
{
    QString name = title;
    const qsizetype at = name.indexOf(QLatin1Char('&'));
    if (at >= 0)
        name.insert(at, QLatin1Char('&'));
    return name;
}

QString DownloadFileName(const QString& rowName, const QString& extension)
{
    QString name = SanitizeFileName(rowName);
    for (QChar& c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('_');
    while (!name.isEmpty() && (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' '))))
        name.chop(1);
    if (name.startsWith(QLatin1Char('.')))
        name[0] = QLatin1Char('_');
    if (rowName.isEmpty() == false && name.isEmpty())
        name = QStringLiteral("_");

    const int room = NameBytes - CounterRoom - int(SanitizeFileName(extension).toUtf8().size());
    if (name.toUtf8().size() > room) {
        // Cut whole characters (a surrogate pair stays together) until the bytes fit.
        qsizetype bytes = 0, keep = 0;
        while (keep < name.size()) {
            const qsizetype len = (name.at(keep).isHighSurrogate() && keep + 1 < name.size()) ? 2 : 1;
            const qsizetype add = name.mid(keep, len).toUtf8().size();
            if (bytes + add > room)
                break;
            bytes += add;
            keep += len;
        }
        name.truncate(keep);
        while (!name.isEmpty() && (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' '))))
            name.chop(1);
    }
    return name + SanitizeFileName(extension);
}
