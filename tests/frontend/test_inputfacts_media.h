#pragma once
// Generated media for the input-list tests, and the engine libraries they need.
#include "FFmpegLoader.h"
#include "TestSupport.h"

#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <unistd.h>

inline void LoadInputEngine()
{
    FFLoader().SetLibraryFolder({});
    ASSERT_TRUE(FFLoader().LoadLibraries(EngineLibrarySet)) << FFLoader().LastError().toStdString();
}

inline QStringList InputSource(double seconds, bool audio)
{
    QStringList args{"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25"};
    if (audio)
        args << "-f" << "lavfi" << "-i" << "sine=frequency=440:sample_rate=44100";
    args << "-t" << QString::number(seconds);
    return args;
}

// H.264 + AAC in MP4: the video stream declares its bit rate.
inline QString VideoAudioFile()
{
    return MediaFixture("inputs_video_audio.mp4",
                        InputSource(4, true) + QStringList{"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"});
}

inline QString Mp3File()
{
    return MediaFixture("inputs_audio.mp3", {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t", "3",
                                             "-c:a", "libmp3lame", "-b:a", "128k"});
}

// An audio file with a 320x240 cover picture attached, as taggers write them.
inline QString CoverArtFile(const QString& extension, const QString& audioCodec)
{
    return MediaFixture("inputs_cover." + extension,
                        {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=3", "-f", "lavfi", "-i",
                         "color=c=blue:size=320x240:d=0.04", "-frames:v", "1", "-map", "0:a", "-map", "1:v", "-c:a",
                         audioCodec, "-b:a", "128k", "-c:v", extension == "mp3" ? "mjpeg" : "png",
                         "-disposition:v:0", "attached_pic"});
}

// Matroska declares no per-stream bit rate.
inline QString NoBitrateVideoFile()
{
    return MediaFixture("inputs_no_bitrate.mkv",
                        InputSource(2, false) + QStringList{"-c:v", "libx264", "-pix_fmt", "yuv420p"});
}

// A raw elementary stream: the container knows no duration.
// A photograph of 8200 x 8000 pixels: above the thumbnail's limit.
inline QString HugePictureFile()
{
    return MediaFixture("huge_8200x8000.jpg",
                        {"-f", "lavfi", "-i", "color=c=navy:size=8200x8000", "-frames:v", "1", "-c:v", "mjpeg", "-update", "1"});
}

inline QString UnknownDurationFile()
{
    return MediaFixture("inputs_unknown_duration.h264",
                        InputSource(2, false) + QStringList{"-c:v", "libx264", "-pix_fmt", "yuv420p", "-f", "h264"});
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The head of a real MP4 whose index (written at the end) is cut off.
inline QByteArray CorruptBytes()
{
    QFile f(VideoAudioFile());
    return f.open(QIODevice::ReadOnly) ? f.read(2048) : QByteArray();
}

// True when the process really cannot read path (root reads everything).
inline bool Unreadable(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), R_OK) != 0;
}
