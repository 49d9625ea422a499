// Inputs the transcoder must take as a command-line converter takes them, or refuse honestly: a
// read error in the middle fails the task (a cut file still converts as far as it goes), and
// files with many streams or with attachments convert without the streams beyond the limit.
#include "test_pipeline_support.h"

#include "FFmpegLogger.h"
#include "InputSource.h"

#include <QFile>
#include <QFileInfo>

#include <mutex>

namespace {

// A file read through custom I/O that fails at a given byte, as a damaged disc does.
class TFailingSource : public TInputSource {
public:
    TFailingSource(const QString& path, qint64 failAt) : FFile(path), FFailAt(failAt) { FFile.open(QIODevice::ReadOnly); }
    int Read(std::uint8_t* buffer, int size) override
    {
        if (FFile.pos() >= FFailAt) return FFailAt >= FFile.size() ? 0 : AVERROR(EIO);
        const qint64 n = FFile.read(reinterpret_cast<char*>(buffer), std::min<qint64>(size, FFailAt - FFile.pos()));
        return n < 0 ? AVERROR(EIO) : int(n);
    }
    std::int64_t Seek(std::int64_t position) override { return FFile.seek(position) ? position : -1; }
    std::int64_t Position() const override { return FFile.pos(); }
    std::int64_t Size() const override { return FFile.size(); }
    QString LastError() const override { return QStringLiteral("sector unreadable"); }

private:
    QFile FFile;
    qint64 FFailAt;
};

// "failing:<percent>:<path>"
void RegisterFailingScheme()
{
    RegisterInputScheme("failing", [](const QString& name, QString* error) -> std::unique_ptr<TInputSource> {
        const QStringList parts = name.split(':');
        if (parts.size() < 3) {
            *error = "bad name";
            return nullptr;
        }
        const QString path = parts.mid(2).join(':');
        return std::make_unique<TFailingSource>(path, QFileInfo(path).size() * parts[1].toInt() / 100);
    });
}

class PipelineInputs : public PipelineTest {
protected:
    void SetUp() override
    {
        PipelineTest::SetUp();
        FFLogger()->SetTriggerEventInMainThread(false);
        FFLogger()->OnLog = [this](QObject*, std::uint32_t, TLogLevel, const QString& msg) {
            std::lock_guard<std::mutex> lock(LogLock);
            Lines << msg;
        };
    }
    void TearDown() override { FFLogger()->OnLog = nullptr; }
    QStringList Logged(const QString& part)
    {
        std::lock_guard<std::mutex> lock(LogLock);
        return Lines.filter(part);
    }
    std::mutex LogLock;
    QStringList Lines;
};

TEST_F(PipelineInputs, AReadErrorInTheMiddleFailsTheTaskWithItsReason)
{
    RegisterFailingScheme();
    const QString src = Clip("inputs_eio.mpg", 4, {"-c:v", "mpeg2video", "-c:a", "mp2"});
    for (const QString& format : {QStringLiteral("mp3"), QStringLiteral("avi")}) {
        SCOPED_TRACE(format.toStdString());
        TJob job;
        ASSERT_TRUE(job.Input("failing:50:" + src)) << job.Error.toStdString();
        ASSERT_TRUE(job.Output(Out("eio." + format)));
        const QString error = job.Run();
        EXPECT_TRUE(error.startsWith("failing:50:")) << error.toStdString();
        EXPECT_TRUE(error.endsWith(": sector unreadable")) << error.toStdString();
        EXPECT_FALSE(job.T.Finished());
    }
    // The same source read to its end converts: only the failure fails.
    TJob whole;
    ASSERT_TRUE(whole.Input("failing:100:" + src)) << whole.Error.toStdString();
    ASSERT_TRUE(whole.Output(Out("whole.avi")));
    EXPECT_EQ(whole.Run().toStdString(), "");
    EXPECT_NEAR(Duration(Out("whole.avi")), 4.0, 0.3);
}

TEST_F(PipelineInputs, StreamsBeyondTwentyAreLeftOutAndTheFileConverts)
{
    QStringList args{"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:d=2"};
    for (int i = 0; i < 22; ++i)
        args << "-f" << "lavfi" << "-i" << QString("sine=frequency=%1:sample_rate=22050:d=2").arg(200 + 50 * i);
    for (int i = 0; i < 23; ++i) args << "-map" << QString("%1").arg(i);
    args << "-c:v" << "mpeg4" << "-c:a" << "mp2";
    const QString src = MediaFixture("inputs_23streams.mkv", args);
    ASSERT_EQ(ProbeValue(src, "format=nb_streams").toInt(), 23);

    TJob job;
    ASSERT_TRUE(job.Input(src)) << job.Error.toStdString();
    const QString out = Out("many.avi");
    ASSERT_TRUE(job.Output(out, {{"vcodec", "mpeg4"}, {"acodec", "mp2"}})) << job.Error.toStdString();
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), "mpeg4");
    EXPECT_EQ(ProbeValue(out, "stream=codec_name", "a:0"), "mp2");
    EXPECT_NEAR(Duration(out), 2.0, 0.3);
    // Streams #0.20 to #0.22 are the ones past the limit.
    EXPECT_EQ(Logged("left out: more than 20 streams").size(), 3) << Lines.join('\n').toStdString();
    EXPECT_EQ(Logged("Stream #0.22 (Audio) left out").size(), 1);

    // A map naming a stream past the limit finds nothing to read.
    TJob mapped;
    ASSERT_TRUE(mapped.Input(src));
    ASSERT_TRUE(mapped.Output(Out("mapped.avi"), {{"map", "0:0"}, {"map", "0:21"}}));
    EXPECT_EQ(mapped.Run().toStdString(), "Could not find input stream #0.21");
}

TEST_F(PipelineInputs, AttachmentsAreLeftOutAndTheFileConverts)
{
    const QString font = Out("font.ttf");
    {
        QFile f(font);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'F'));
    }
    QStringList args;
    for (int i = 0; i < 16; ++i)
        args << "-f" << "lavfi" << "-i" << QString("sine=frequency=%1:sample_rate=22050:d=2").arg(300 + 40 * i);
    for (int i = 0; i < 16; ++i) args << "-map" << QString::number(i);
    args << "-c:a" << "mp2";
    for (int i = 0; i < 6; ++i)
        args << "-attach" << font << QString("-metadata:s:t:%1").arg(i) << "mimetype=application/x-truetype-font";
    const QString src = MediaFixture("inputs_16audio_6fonts.mkv", args);
    ASSERT_EQ(ProbeValue(src, "format=nb_streams").toInt(), 22);

    TJob job;
    ASSERT_TRUE(job.Input(src)) << job.Error.toStdString();
    const QString out = Out("fonts.mp3");
    ASSERT_TRUE(job.Output(out)) << job.Error.toStdString();
    ASSERT_EQ(job.Run().toStdString(), "");
    EXPECT_NEAR(Duration(out), 2.0, 0.3);
    EXPECT_EQ(Logged("(Attachment) left out: it is not converted").size(), 6) << Lines.join('\n').toStdString();
    EXPECT_TRUE(Logged("more than 20 streams").isEmpty());
}

} // namespace
