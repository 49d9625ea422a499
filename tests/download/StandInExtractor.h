#pragma once
// A stand-in for the external extractor: a shell script in the build folder, named through
// VORNIC_EXTRACTOR, that answers per video id (the text after the link's last "="): prints
// <id>.json, or prints <id>.err on standard error and exits 1, or hangs when <id>.hang exists
// (its process id in <id>.pid), or prints <id>.junk, or 40 MB of zeros when <id>.flood exists.
// Every call's arguments land in <id>.args.
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class TStandInExtractor {
public:
    TStandInExtractor()
        : dir_(FixtureDir() + QStringLiteral("/extractor-XXXXXX"))
    {
        const QString script = Program();
        QFile f(script);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral(R"(#!/bin/sh
dir='%1'
if [ "$1" = --version ]; then echo 2099.01.01-stand-in; exit 0; fi
for a; do link=$a; done
id=${link##*=}
printf '%s\n' "$@" > "$dir/$id.args"
if [ -f "$dir/$id.hang" ]; then echo $$ > "$dir/$id.pid"; sleep 120; exit 0; fi
if [ -f "$dir/$id.err" ]; then cat "$dir/$id.err" >&2; exit 1; fi
if [ -f "$dir/$id.junk" ]; then cat "$dir/$id.junk"; exit 0; fi
if [ -f "$dir/$id.flood" ]; then head -c 40000000 /dev/zero; exit 0; fi
if [ -f "$dir/$id.json" ]; then cat "$dir/$id.json"; exit 0; fi
echo "ERROR: Unsupported URL: $link" >&2
exit 1
)")
                    .arg(dir_.path())
                    .toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("VORNIC_EXTRACTOR", script.toUtf8());
    }
    ~TStandInExtractor() { qunsetenv("VORNIC_EXTRACTOR"); }

    QString Program() const { return dir_.filePath(QStringLiteral("extractor.sh")); }

    void Json(const QString& id, const QJsonObject& video) { Write(id + ".json", QJsonDocument(video).toJson()); }
    void Error(const QString& id, const QByteArray& text) { Write(id + ".err", text); }
    void Junk(const QString& id, const QByteArray& text) { Write(id + ".junk", text); }
    void Hang(const QString& id) { Write(id + ".hang", "1"); }
    void Flood(const QString& id) { Write(id + ".flood", "1"); }
    // The process id of the hanging call, 0 before it has started.
    qint64 HangingPid(const QString& id) const { return FileBytes(dir_.filePath(id + ".pid")).trimmed().toLongLong(); }
    QStringList Arguments(const QString& id) const
    {
        return QString::fromUtf8(FileBytes(dir_.filePath(id + ".args"))).split(u'\n', Qt::SkipEmptyParts);
    }

private:
    void Write(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir_.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QTemporaryDir dir_;
};

// One entry of "formats" as the extractor writes it.
inline QJsonObject FormatJson(const QString& id, const QString& ext, const QString& url, int height,
                              const QString& vcodec, const QString& acodec, qint64 chunk = 0,
                              const QString& protocol = QStringLiteral("https"))
{
    QJsonObject f{{"format_id", id}, {"ext", ext}, {"url", url}, {"protocol", protocol},
                  {"vcodec", vcodec}, {"acodec", acodec}};
    if (height > 0)
        f["height"] = height;
    if (chunk > 0)
        f["downloader_options"] = QJsonObject{{"http_chunk_size", chunk}};
    f["http_headers"] = QJsonObject{{"User-Agent", "StandIn/1.0 (test)"},
                                    {"Accept", "*/*"},
                                    {"Cookie", "session=abc123"},
                                    {"Referer", "https://video.example/watch"}};
    return f;
}

// The whole description: title, formats, and the extractor's own choice.
inline QJsonObject VideoJson(const QString& title, const QJsonArray& formats, const QString& chosen,
                             const QString& chosenExt)
{
    return QJsonObject{{"id", "x"}, {"title", title}, {"formats", formats}, {"format_id", chosen},
                       {"ext", chosenExt}, {"_type", "video"}};
}

// Whether a process of that id is still there (a zombie counts as gone).
// The two parts a site serves separately for its full-HD slot: 2 s of H.264 1920x1080 video
// without sound, and 2 s of AAC sound, made once in the fixture folder.
inline QString FullHDVideoPart()
{
    return MediaFixture(QStringLiteral("dl_1080_video.mp4"),
                        {"-f", "lavfi", "-i", "testsrc=size=1920x1080:rate=10", "-t", "2", "-c:v", "libx264",
                         "-preset", "ultrafast", "-an"});
}
inline QString AudioPart()
{
    return MediaFixture(QStringLiteral("dl_audio.m4a"),
                        {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t", "2", "-c:a", "aac", "-vn"});
}

inline bool ProcessAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
    const QByteArray stat = FileBytes(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.isEmpty())
        return false;
    const qsizetype close = stat.lastIndexOf(')');
    return close < 0 || stat.mid(close + 2, 1) != "Z";
}
