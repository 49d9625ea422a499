#include "LinkList.h"

#include "VideoPage.h"

QStringList SplitPastedLines(const QString& text)
{
    QStringList lines;
    QString line;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            if (!line.isEmpty())
                lines << line;
            line.clear();
            continue;
        }
        if (c == u'"' || c == u'\'') {
            const qsizetype close = text.indexOf(c, i + 1);
            if (close > i) {
                line += text.mid(i, close - i + 1);
                i = close;
                continue;
            }
        }
        line += c;
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

QString LinkRefusal(const QString& link, const QStringList& accepted)
{
    if (!IsYouTubeURL(link))
        return QStringLiteral("This is not a YouTube video link.");
    if (accepted.contains(link, Qt::CaseSensitive))
        return QStringLiteral("This video is already in the download list.");
    return {};
}
