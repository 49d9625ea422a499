// Audio output: conversion to the encoder's rate, layout and sample format, audio sync (drop
// samples, add silence or stretch), the sample FIFO and encoding in whole encoder frames.
#include "FFmpegPipelinePrivate.h"

#include <cmath>
#include <cstdlib>

void TPipelineState::BuildResampler(TStreamCoder& c, const AVFrame* frame)
{
    AVCodecContext* enc = c.Enc;
    if (c.Swr) FF.swr_free(&c.Swr);
    const int ret = FF.swr_alloc_set_opts2(&c.Swr, &enc->ch_layout, enc->sample_fmt, enc->sample_rate,
                                           const_cast<AVChannelLayout*>(&frame->ch_layout), AVSampleFormat(frame->format), frame->sample_rate, 0,
                                           nullptr);
    if (ret < 0 || FF.swr_init(c.Swr) < 0) {
        if (c.Swr) FF.swr_free(&c.Swr);
        Fail(QString::asprintf("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                               frame->ch_layout.nb_channels, frame->sample_rate, enc->ch_layout.nb_channels,
                               enc->sample_rate));
    }
    c.SwrInRate = frame->sample_rate;
    c.SwrInFormat = frame->format;
    FF.av_channel_layout_uninit(&c.SwrInLayout);
    FF.av_channel_layout_copy(&c.SwrInLayout, &frame->ch_layout);
    c.SwrBuilt = true;
}

// Silence in pieces of at most a second, encoded as they fill, so memory stays bounded.
void TPipelineState::InsertSilence(TStreamCoder& c, std::int64_t samples)
{
    AVCodecContext* enc = c.Enc;
    const int piece = int(std::min<std::int64_t>(samples, std::max(enc->sample_rate, 1)));
    if (piece <= 0) return;
    std::uint8_t** buf = nullptr;
    if (FF.av_samples_alloc_array_and_samples(&buf, nullptr, enc->ch_layout.nb_channels, piece, enc->sample_fmt, 0) < 0)
        Fail("Out of memory in do_audio_out");
    FF.av_samples_set_silence(buf, 0, piece, enc->ch_layout.nb_channels, enc->sample_fmt);
    bool failed = false;
    for (std::int64_t left = samples; left > 0 && !failed && !Stopping();) {
        const int n = int(std::min<std::int64_t>(left, piece));
        failed = FF.av_audio_fifo_write(c.Fifo, reinterpret_cast<void**>(buf), n) < n;
        left -= n;
        if (!failed) EncodeAudioFifo(c, false);
    }
    FF.av_freep(&buf[0]);
    FF.av_freep(&buf);
    if (failed) Fail("av_fifo_realloc2() failed");
}

void TPipelineState::AudioOut(TOutputStream& ost, AVFrame* frame, std::int64_t ptsUs)
{
    TStreamCoder& c = *ost.C;
    const TFFmpegOptions& o = c.Mux->OutputOptions;
    AVCodecContext* enc = c.Enc;
    if (o.StartTime && ptsUs < o.StartTime) return;
    if (frame->sample_rate <= 0 || frame->nb_samples <= 0) return;

    const bool same = frame->format == enc->sample_fmt && frame->sample_rate == enc->sample_rate &&
                      FF.av_channel_layout_compare(&frame->ch_layout, &enc->ch_layout) == 0;
    const bool needSwr = !same || o.AudioSyncMethod > 1;
    if (needSwr && (!c.SwrBuilt || frame->sample_rate != c.SwrInRate || frame->format != c.SwrInFormat ||
                    FF.av_channel_layout_compare(&frame->ch_layout, &c.SwrInLayout) != 0))
        BuildResampler(c, frame);

    const int rate = enc->sample_rate;
    const int fifoSamples = FF.av_audio_fifo_size(c.Fifo);
    const double ipts = (double(ptsUs) - double(o.StartTime)) / AV_TIME_BASE;
    int skip = 0; // input samples dropped from the start of this frame
    if (o.AudioSyncMethod > 0) {
        const double delta = ipts * rate - c.SyncSkew - double(c.SyncOpts) - fifoSamples;
        if (std::fabs(delta) > 50) {
            if (!c.Started || std::fabs(delta) > o.AudioDriftThreshold * rate) {
                if (delta < 0) {
                    const std::int64_t drop = SatRound(-delta * frame->sample_rate / rate);
                    if (o.Verbose > 2) Log(llVerbose, QString::asprintf("discarding %d audio samples", int(-delta)));
                    if (drop >= frame->nb_samples) {
                        c.Started = true;
                        return;
                    }
                    skip = int(drop);
                } else if (delta > double(o.DtsDeltaThreshold) * rate) {
                    // A gap beyond the discontinuity threshold is a timestamp fault, not lost
                    // audio: filling it could take gigabytes. The output stays continuous.
                    Log(llWarning, QString::asprintf("audio timestamp gap of %0.3f s is too large to fill with "
                                                     "silence, skipping it", delta / rate));
                    c.SyncSkew += delta;
                } else {
                    const std::int64_t silence = std::llround(delta);
                    if (o.Verbose > 2)
                        Log(llVerbose, QString::asprintf("adding %lld audio samples of silence", (long long)silence));
                    InsertSilence(c, silence);
                }
            } else if (o.AudioSyncMethod > 1 && c.Swr) {
                const int comp = std::clamp(int(std::lround(delta)), -o.AudioSyncMethod, o.AudioSyncMethod);
                if (o.Verbose > 2)
                    Log(llVerbose, QString::asprintf("compensating audio timestamp drift:%f compensation:%d in:%d",
                                                     delta, comp, rate));
                FF.swr_set_compensation(c.Swr, comp, rate);
            }
        }
    } else {
        // Without sync the output position follows the input clock.
        const std::int64_t pos = SatSub(SatRound(ipts * rate), fifoSamples);
        if (pos > c.SyncOpts) c.SyncOpts = pos;
    }
    c.Started = true;

    const int inSamples = frame->nb_samples - skip;
    const AVSampleFormat inFmt = AVSampleFormat(frame->format);
    const int inChannels = frame->ch_layout.nb_channels;
    const std::uint8_t* in[AV_NUM_DATA_POINTERS * 8];
    const bool planar = FF.av_sample_fmt_is_planar(inFmt);
    const int bps = FF.av_get_bytes_per_sample(inFmt);
    const int planes = planar ? inChannels : 1;
    if (planes > int(sizeof(in) / sizeof(in[0]))) Fail("Buffer sizes too large in do_audio_out");
    for (int p = 0; p < planes; ++p)
        in[p] = frame->extended_data[p] + size_t(skip) * size_t(bps) * size_t(planar ? 1 : inChannels);

    if (needSwr) {
        const int outMax = FF.swr_get_out_samples(c.Swr, inSamples);
        if (outMax < 0) Fail("Buffer sizes too large in do_audio_out");
        if (outMax > c.ConvCapacity) {
            if (!c.ConvBuffer.empty()) FF.av_freep(&c.ConvBuffer[0]);
            c.ConvBuffer.assign(size_t(std::max(enc->ch_layout.nb_channels, 1)), nullptr);
            if (FF.av_samples_alloc(c.ConvBuffer.data(), nullptr, enc->ch_layout.nb_channels, outMax, enc->sample_fmt,
                                    0) < 0)
                Fail("Out of memory in do_audio_out");
            c.ConvCapacity = outMax;
        }
        const int n = FF.swr_convert(c.Swr, c.ConvBuffer.data(), c.ConvCapacity, in, inSamples);
        if (n < 0) FailCode("av_audio_convert() failed", n);
        if (n > 0 && FF.av_audio_fifo_write(c.Fifo, reinterpret_cast<void**>(c.ConvBuffer.data()), n) < n)
            Fail("av_fifo_realloc2() failed");
    } else if (FF.av_audio_fifo_write(c.Fifo, reinterpret_cast<void**>(const_cast<std::uint8_t**>(in)), inSamples) <
               inSamples) {
        Fail("av_fifo_realloc2() failed");
    }
    EncodeAudioFifo(c, false);
}

void TPipelineState::EncodeAudioFifo(TStreamCoder& c, bool flush)
{
    if (!c.Fifo || !c.AudioFrame) return;
    AVCodecContext* enc = c.Enc;
    // Samples still inside the resampler belong to the end of the stream.
    if (flush && c.Swr) {
        const int outMax = FF.swr_get_out_samples(c.Swr, 0);
        if (outMax > 0 && outMax <= c.ConvCapacity) {
            const int n = FF.swr_convert(c.Swr, c.ConvBuffer.data(), c.ConvCapacity, nullptr, 0);
            if (n > 0) FF.av_audio_fifo_write(c.Fifo, reinterpret_cast<void**>(c.ConvBuffer.data()), n);
        }
    }
    const bool fixed = enc->frame_size > 0 && !(c.Codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    const int frameSize = fixed ? enc->frame_size : 4096;
    const bool smallLast = !fixed || (c.Codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
    for (;;) {
        const int available = FF.av_audio_fifo_size(c.Fifo);
        if (available <= 0 || (available < frameSize && !flush)) return;
        if (Stopping() && !flush) return;
        AVFrame* frame = c.AudioFrame;
        if (FF.av_frame_make_writable(frame) < 0) Fail("Out of memory in do_audio_out");
        const int n = std::min(available, frameSize);
        frame->nb_samples = frameSize;
        if (FF.av_audio_fifo_read(c.Fifo, reinterpret_cast<void**>(frame->data), n) < n) Fail("Audio encoding failed");
        if (n < frameSize) {
            if (smallLast) frame->nb_samples = n;
            else FF.av_samples_set_silence(frame->extended_data, n, frameSize - n, enc->ch_layout.nb_channels,
                                           enc->sample_fmt);
        }
        frame->pts = c.SyncOpts;
        c.SyncOpts = SatAdd(c.SyncOpts, frame->nb_samples);
        ++c.FrameNumber;
        const int ret = FF.avcodec_send_frame(enc, frame);
        if (ret < 0) FailCode("Audio encoding failed", ret);
        ReceivePackets(c);
    }
}
