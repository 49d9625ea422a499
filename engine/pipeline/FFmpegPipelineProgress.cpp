// Progress reports of a run: the figures of TProgressInfo, the report line and the end summary.
#include "FFmpegPipelinePrivate.h"

#include <algorithm>
#include <cmath>

void TPipelineState::ReportProgress(bool isLast, int fileIndex)
{
    const TFFmpegOptions& o = LiveOptions();
    if (OutputFiles.empty()) return;
    AVFormatContext* oc = OutputFiles[0].Mux->Ctx;
    std::int64_t size = 0;
    if (Stages) {
        // The muxing thread owns the file while the stages run.
        std::lock_guard lock(Stages->FiguresLock);
        size = Stages->ShownSize;
    } else if (oc->pb) {
        size = FF.avio_size(oc->pb);
        if (size < 0) size = FF.avio_seek(oc->pb, 0, SEEK_CUR);
        if (size < 0) size = 0;
    }

    const double elapsed = double(NowMicroseconds() - StartTime) / AV_TIME_BASE;
    QString line;
    int frameNumber = -1, fps = -1;
    float quality = -1.0f;
    bool firstVideo = true;
    double outTime = 1e300;
    for (const TOutputStream& ost : OutputStreams) {
        const TStreamCoder& c = *ost.C;
        if (Join && ost.FileIndex != 0) continue; // the join entries share their streams
        const TCoderFigures f = Figures(c);
        if (c.Type == AVMEDIA_TYPE_VIDEO) {
            const float q = c.Copy ? -1.0f : f.Quality;
            if (firstVideo) {
                frameNumber = f.FrameNumber;
                fps = elapsed > 1.0 ? int(frameNumber / elapsed + 0.5) : 0;
                quality = q;
                line += QString::asprintf("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, double(q));
                if (isLast) line += "L";
                if (o.QPHist) {
                    for (int j = 0; j < 32; ++j)
                        line += QString::asprintf("%X", int(std::lround(std::log2(double(QPHistogram[j] + 1)))) & 15);
                }
                if (!c.Copy && c.Enc && (c.Enc->flags & AV_CODEC_FLAG_PSNR)) {
                    const double pixels = double(c.Enc->width) * c.Enc->height;
                    const double frames = isLast ? std::max(f.FrameNumber, 1) : 1.0;
                    const auto& err = isLast ? f.TotalError : f.FrameError;
                    auto psnr = [](double e) { return e > 0 ? -10.0 * std::log10(e) : 99.99; };
                    line += "PSNR=";
                    double sum = 0;
                    for (int j = 0; j < 3; ++j) {
                        const double scale = (j ? pixels / 4 : pixels) * frames;
                        sum += double(err[size_t(j)]);
                        line += QString::asprintf("%c:%2.2f ", "YUV"[j], psnr(double(err[size_t(j)]) / (scale * 255.0 * 255.0)));
                    }
                    line += QString::asprintf("*:%2.2f ", psnr(sum / (pixels * 1.5 * frames * 255.0 * 255.0)));
                }
                firstVideo = false;
            } else {
                line += QString::asprintf("q=%2.1f ", double(q));
            }
        }
        if (f.LastTime < outTime) outTime = f.LastTime;
    }
    if (outTime == 1e300 || outTime < 0.01) outTime = 0.01;

    const double bitrate = double(size) * 8 / outTime / 1000;
    line += QString::asprintf("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", double(size) / 1024, outTime, bitrate);
    if (DupFrames || DropFrames) line += QString::asprintf(" dup=%d drop=%d", DupFrames.load(), DropFrames.load());

    if (T.OnProgressReport) {
        TProgressInfo info;
        info.FileIndex = fileIndex;
        info.FrameNumber = frameNumber;
        info.FPS = fps;
        info.Quality = quality;
        info.BitRate = float(bitrate);
        info.CurrentSize = size;
        info.CurrentDuration = SatRound(std::trunc(outTime * AV_TIME_BASE));
        info.TotalDuration = o.TotalDuration;
        T.OnProgressReport(info);
        if (DupDropChanged && o.Verbose >= 0) Log(llVerbose, line);
    } else if (o.Verbose >= 0 && (o.Verbose > 0 || isLast)) {
        Log(llVerbose, line);
    }
    DupDropChanged = false;

    if (isLast && o.Verbose >= 0) {
        const double sum = double(VideoSize + AudioSize + ExtraSize);
        Log(llVerbose, QString::asprintf("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
                                         double(VideoSize) / 1024, double(AudioSize) / 1024, double(ExtraSize) / 1024,
                                         sum > 0 ? (double(size) - sum) * 100.0 / sum : 0.0));
    }
}
