// The coordinator of a run: stream tables and mapping, codec opening, the packet loop, the end
// of each input (join mode), the flush and the trailers. The stages do the per-packet work.
#include "FFmpegPipelinePrivate.h"
#include "InputSource.h"

#include <QFile>

#include <QByteArray>

#include <chrono>
#include <thread>

const char* MediaTypeName(int type)
{
    static const char* const names[] = {"Video", "Audio", "Data", "Subtitle", "Attachment"};
    return type >= 0 && type < 5 ? names[type] : "Unknown";
}

QString WithError(const QString& prefix, int code)
{
    return FFErrorMessage(prefix, code);
}

std::int64_t NowMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void FailCode(const QString& message, int code)
{
    throw FFmpegException(WithError(message, code));
}

TStreamCoder::~TStreamCoder()
{
    if (Enc) FF.avcodec_free_context(&Enc);
    FF.av_dict_free(&EncOpts);
    for (AVBSFContext*& bsf : Bsfs) FF.av_bsf_free(&bsf);
    for (AVPacket*& pkt : BsfPackets) FF.av_packet_free(&pkt);
    if (PendingClear) FF.av_packet_free(&PendingClear);
    if (Graph) FF.avfilter_graph_free(&Graph);
    if (Filtered) FF.av_frame_free(&Filtered);
    if (Burned) FF.av_frame_free(&Burned);
    if (Swr) FF.swr_free(&Swr);
    FF.av_channel_layout_uninit(&SwrInLayout);
    if (Fifo) FF.av_audio_fifo_free(Fifo);
    if (AudioFrame) FF.av_frame_free(&AudioFrame);
    if (!ConvBuffer.empty()) FF.av_freep(&ConvBuffer[0]);
    if (PassLog) std::fclose(PassLog);
    if (StatsIn) FF.av_freep(&StatsIn);
    if (Scratch) FF.av_packet_free(&Scratch);
    if (PreviewRGB) FF.sws_freeContext(PreviewRGB);
}

TPipelineState::~TPipelineState()
{
    Release();
}

void TPipelineState::Release()
{
    StopStages(); // their threads use everything below
    CloseCodecs();
    ReleaseHooks();
    OutputStreams.clear();
    Coders.clear();
    OutputFiles.clear();
    for (TInputStream& ist : InputStreams) {
        if (ist.Dec) FF.avcodec_free_context(&ist.Dec);
        if (ist.Deint) FF.avfilter_graph_free(&ist.Deint);
    }
    InputStreams.clear();
    for (TInputFile& f : InputFiles)
        if (f.Ctx) CloseInputContext(&f.Ctx);
    InputFiles.clear();
    if (Packet) FF.av_packet_free(&Packet);
    if (CopyPacket) FF.av_packet_free(&CopyPacket);
    if (EncodedPacket) FF.av_packet_free(&EncodedPacket);
    if (SubtitlePacket) FF.av_packet_free(&SubtitlePacket);
    SubtitleBuffer = {};
    if (Decoded) FF.av_frame_free(&Decoded);
    if (Scaled) FF.av_frame_free(&Scaled);
    if (Deinterlaced) FF.av_frame_free(&Deinterlaced);
    if (VStats) std::fclose(VStats);
    VStats = nullptr;
    Join = false;
    CurrentInput = 0;
}

void TPipelineState::BuildTables()
{
    InputStreams.clear();
    for (size_t f = 0; f < InputFiles.size(); ++f) {
        TInputFile& file = InputFiles[f];
        file.FirstStream = int(InputStreams.size());
        file.StreamCount = int(file.Ctx->nb_streams);
        file.EndOfFile = file.NoPacket = false;
        for (unsigned s = 0; s < file.Ctx->nb_streams; ++s) {
            TInputStream ist;
            ist.FileIndex = int(f);
            ist.StreamIndex = int(s);
            ist.St = file.Ctx->streams[s];
            InputStreams.push_back(ist);
        }
    }
    OutputStreams.clear();
    for (size_t e = 0; e < OutputFiles.size(); ++e) {
        if (Coders[e].empty()) Fail(QString::asprintf("Output file #%d does not contain any stream", int(e)));
        for (size_t k = 0; k < Coders[e].size(); ++k) {
            TOutputStream ost;
            ost.FileIndex = int(e);
            ost.StreamIndex = int(k);
            ost.C = Coders[e][k];
            OutputStreams.push_back(ost);
        }
    }
}

void TPipelineState::MapStreams()
{
    const std::vector<TStreamMap>& maps = LiveOptions().StreamMaps;
    auto streamOf = [this](int file, int stream) -> int {
        if (file < 0 || size_t(file) >= InputFiles.size()) return -1;
        if (stream < 0 || unsigned(stream) >= InputFiles[size_t(file)].Ctx->nb_streams) return -1;
        // A stream left out when the file was opened is never read.
        if (InputFiles[size_t(file)].Ctx->streams[stream]->discard == AVDISCARD_ALL) return -1;
        return InputFiles[size_t(file)].FirstStream + stream;
    };
    if (!maps.empty()) {
        if (maps.size() != OutputStreams.size()) Fail("Number of stream maps must match number of output streams");
        for (size_t i = 0; i < maps.size(); ++i) {
            const TStreamMap& m = maps[i];
            TOutputStream& ost = OutputStreams[i];
            ost.SourceIndex = streamOf(m.FileIndex, m.StreamIndex);
            if (ost.SourceIndex < 0)
                Fail(QString::asprintf("Could not find input stream #%d.%d", m.FileIndex, m.StreamIndex));
            ost.SyncIndex = streamOf(m.SyncFileIndex, m.SyncStreamIndex);
            if (ost.SyncIndex < 0)
                Fail(QString::asprintf("Could not find sync stream #%d.%d", m.SyncFileIndex, m.SyncStreamIndex));
            const int inType = InputStreams[size_t(ost.SourceIndex)].St->codecpar->codec_type;
            if (inType != ost.C->Type)
                Fail(QString::asprintf("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)", m.FileIndex,
                                       m.StreamIndex, MediaTypeName(inType), ost.FileIndex, ost.StreamIndex,
                                       MediaTypeName(ost.C->Type)));
        }
    } else {
        for (TOutputStream& ost : OutputStreams) {
            const int only = OutputFiles[size_t(ost.FileIndex)].InputIndex;
            auto search = [&](bool unusedOnly) -> int {
                for (size_t i = 0; i < InputStreams.size(); ++i) {
                    const TInputStream& ist = InputStreams[i];
                    if (only >= 0 && ist.FileIndex != only) continue;
                    if (ist.St->codecpar->codec_type != ost.C->Type) continue;
                    if (ist.St->discard == AVDISCARD_ALL) continue;
                    if (ost.C->Type == AVMEDIA_TYPE_VIDEO && (ist.St->disposition & AV_DISPOSITION_ATTACHED_PIC))
                        continue;
                    if (ost.C->Type == AVMEDIA_TYPE_SUBTITLE && !ost.C->Copy &&
                        !SubtitleKindsMatch(ost.C->Codec, ist.St->codecpar->codec_id))
                        continue;
                    if (unusedOnly && ist.Used) continue;
                    return int(i);
                }
                return -1;
            };
            ost.SourceIndex = search(true);
            if (ost.SourceIndex < 0) ost.SourceIndex = search(false);
            if (ost.SourceIndex < 0)
                Fail(QString::asprintf("Could not find input stream matching output stream #%d.%d (%s)",
                                       ost.FileIndex, ost.StreamIndex, MediaTypeName(ost.C->Type)));
            ost.SyncIndex = ost.SourceIndex;
            InputStreams[size_t(ost.SourceIndex)].Used = true;
        }
    }
    for (TOutputStream& ost : OutputStreams) {
        ost.Source = &InputStreams[size_t(ost.SourceIndex)];
        ost.Source->Used = true;
        // One output that asks for it deinterlaces the stream for all it feeds: the hooks see
        // one picture per decoded frame.
        if (ost.C->Type == AVMEDIA_TYPE_VIDEO && !ost.C->Copy && ost.C->Mux->OutputOptions.DoDeinterlace)
            ost.Source->Deinterlace = true;
    }
    AttachBurnSources();
}

// Answers the input to read next, -1 when the loop ends, -2 to wait for a packet.
int TPipelineState::ChooseInput()
{
    const TFFmpegOptions& o = LiveOptions();
    if (Join) {
        for (const TOutputStream& ost : OutputStreams) {
            if (ost.FileIndex != CurrentInput) continue;
            const int type = ost.C->Type == AVMEDIA_TYPE_VIDEO ? 0 : ost.C->Type == AVMEDIA_TYPE_AUDIO ? 1 : 2;
            if (ost.C->FrameNumber >= OutputFiles[0].Mux->OutputOptions.MaxFrames[size_t(type)]) return -1;
        }
        return CurrentInput < int(InputFiles.size()) ? CurrentInput : -1;
    }
    double best = 1e300;
    int chosen = -1;
    bool anyNoPacket = false;
    for (const TOutputStream& ost : OutputStreams) {
        const TInputStream& ist = *ost.Source;
        const TInputFile& file = InputFiles[size_t(ist.FileIndex)];
        if (ist.PastRecordingTime || file.EndOfFile) continue;
        if (file.NoPacket) {
            anyNoPacket = true;
            continue;
        }
        const int type = ost.C->Type == AVMEDIA_TYPE_VIDEO ? 0 : ost.C->Type == AVMEDIA_TYPE_AUDIO ? 1 : 2;
        // A staged run has no frame limits, one input, and the encoders' figures are theirs.
        if (!Stages && ost.C->FrameNumber >= ost.C->Mux->OutputOptions.MaxFrames[size_t(type)]) return -1;
        const double t = o.InputSync || Stages ? (ist.Pts == AV_NOPTS_VALUE ? 0.0 : double(ist.Pts) / AV_TIME_BASE)
                                               : ost.C->LastTime;
        if (t < best) {
            best = t;
            chosen = ist.FileIndex;
        }
    }
    if (chosen < 0 && anyNoPacket) {
        for (TInputFile& f : InputFiles) f.NoPacket = false;
        return -2;
    }
    return chosen;
}

void TPipelineState::EndOfInput(int fileIndex, bool& endLoop)
{
    TInputFile& file = InputFiles[size_t(fileIndex)];
    if (LiveOptions().LoopInput && !Join && file.Ctx->duration > 0 &&
        FF.av_seek_frame(file.Ctx, -1, file.Ctx->start_time == AV_NOPTS_VALUE ? 0 : file.Ctx->start_time,
                         AVSEEK_FLAG_BACKWARD) >= 0) {
        // Play the input again after itself; a recording time or frame limit ends the run.
        file.TSOffset = SatAdd(file.TSOffset, file.Ctx->duration);
        return;
    }
    file.EndOfFile = true;
    if (!Join) {
        if (LiveOptions().OptShortest) endLoop = true;
        return;
    }
    // Drain the decoders of this input into the shared encoders.
    for (int i = file.FirstStream; i < file.FirstStream + file.StreamCount; ++i) {
        TInputStream& ist = InputStreams[size_t(i)];
        if (!ist.Decoding) continue;
        DecodePacket(ist, nullptr);
        FF.avcodec_flush_buffers(ist.Dec);
        ist.Flushed = true;
    }
    // The next input starts where the longest stream of this one ended.
    double end = 0.0;
    for (TOutputStream& ost : OutputStreams) {
        if (ost.FileIndex != CurrentInput) continue;
        TStreamCoder& c = *ost.C;
        double t = c.LastTime;
        if (c.Enc && c.Type == AVMEDIA_TYPE_VIDEO) t = double(c.SyncOpts) * av_q2d(c.Enc->time_base);
        if (c.Enc && c.Type == AVMEDIA_TYPE_AUDIO)
            t = double(c.SyncOpts + (c.Fifo ? FF.av_audio_fifo_size(c.Fifo) : 0)) / c.Enc->sample_rate;
        if (t > end) end = t;
    }
    if (CurrentInput + 1 >= int(InputFiles.size())) {
        endLoop = true;
        return;
    }
    const std::int64_t startOut = OutputFiles[0].Mux->OutputOptions.StartTime;
    TInputFile& next = InputFiles[size_t(CurrentInput + 1)];
    next.TSOffset = SatAdd(next.TSOffset, SatAdd(SatRound(end * AV_TIME_BASE), startOut));
    ++CurrentInput;
}

void TPipelineState::FlushAll()
{
    for (TInputStream& ist : InputStreams) {
        if (!ist.Decoding || ist.Flushed) continue;
        ist.Flushed = true;
        const int ret = DecodePacket(ist, nullptr);
        if (ret < 0)
            Log(llVerbose, WithError(QString::asprintf("Error while decoding stream #%d.%d (%s)", ist.FileIndex,
                                                      ist.StreamIndex, MediaTypeName(ist.St->codecpar->codec_type)),
                                     ret));
    }
    std::vector<TStreamCoder*> seen;
    for (TOutputStream& ost : OutputStreams) {
        TStreamCoder* c = ost.C.get();
        if (std::find(seen.begin(), seen.end(), c) != seen.end()) continue;
        seen.push_back(c);
        auto flush = [this, &ost, c](AVFrame*) {
            if (c->EncoderOpen) {
                if (c->Type == AVMEDIA_TYPE_VIDEO) PullVideoGraph(ost, true);
                if (c->Type == AVMEDIA_TYPE_AUDIO) EncodeAudioFifo(*c, true);
                if (c->Type != AVMEDIA_TYPE_SUBTITLE) DrainEncoder(*c);
                if (c->PendingClear) {
                    WritePacket(*c, c->PendingClear);
                    FF.av_packet_free(&c->PendingClear);
                }
            }
            if (!c->Bsfs.empty()) DrainBitstreamFilters(*c);
        };
        ToCoder(ost, nullptr, flush);
    }
    // Everything handed to the stages is encoded and written before the trailers.
    if (Stages) Stages->Finish([this] { DeliverPreview(); });
}

void TPipelineState::Run()
{
    TFFmpegOptions& o = LiveOptions();
    Packet = FF.av_packet_alloc();
    CopyPacket = FF.av_packet_alloc();
    EncodedPacket = FF.av_packet_alloc();
    SubtitlePacket = FF.av_packet_alloc();
    Decoded = FF.av_frame_alloc();
    Deinterlaced = FF.av_frame_alloc();
    if (!Packet || !CopyPacket || !EncodedPacket || !SubtitlePacket || !Decoded || !Deinterlaced) Fail("av_mallocz fail");

    BuildTables();
    MapStreams();
    {
        std::vector<TStreamCoder*> seen;
        for (TOutputStream& ost : OutputStreams) {
            if (std::find(seen.begin(), seen.end(), ost.C.get()) == seen.end()) {
                seen.push_back(ost.C.get());
                SetUpOutputStream(ost);
            } else if (!ost.C->Copy) {
                ost.Source->Decoding = true; // later join entries feed the same encoder
            }
        }
    }
    OpenCodecs();

    for (const TMetaDataMap& m : o.MetaDataMaps) {
        if (m.OutFile < 0 || size_t(m.OutFile) >= OutputFiles.size())
            Fail(QString::asprintf("Invalid output file index %d map_meta_data(%d,%d)", m.OutFile, m.OutFile, m.InFile));
        if (m.InFile < 0 || size_t(m.InFile) >= InputFiles.size())
            Fail(QString::asprintf("Invalid input file index %d map_meta_data(%d,%d)", m.InFile, m.OutFile, m.InFile));
        FF.av_dict_copy(&OutputFiles[size_t(m.OutFile)].Mux->Ctx->metadata, InputFiles[size_t(m.InFile)].Ctx->metadata,
                        AV_DICT_DONT_OVERWRITE);
    }

    WriteHeaders();
    LogSessionDescription();
    for (size_t i = 0; i < OutputFiles.size() && (!Join || i == 0); ++i)
        if (o.Verbose >= 0)
            FF.av_dump_format(OutputFiles[i].Mux->Ctx, int(i), OutputFiles[i].Mux->FileName.toUtf8().constData(), 1);
    if (o.Verbose >= 0) {
        Log(llVerbose, "Stream mapping:");
        for (const TOutputStream& ost : OutputStreams) {
            const TInputStream& ist = *ost.Source;
            QString line = QString::asprintf("  Stream #%d.%d -> #%d.%d (%s)", ist.FileIndex, ist.StreamIndex,
                                             ost.FileIndex, ost.StreamIndex, MediaTypeName(ost.C->Type));
            if (ost.SyncIndex != ost.SourceIndex) {
                const TInputStream& sync = InputStreams[size_t(ost.SyncIndex)];
                line += QString::asprintf(" [sync #%d.%d (%s)]", sync.FileIndex, sync.StreamIndex,
                                          MediaTypeName(sync.St->codecpar->codec_type));
            }
            Log(llVerbose, line);
        }
    }

    if (CanStage()) StartStages();
    StartTime = LastReport = NowMicroseconds();
    const TFFmpegOptions& first = OutputFiles[0].Mux->OutputOptions;
    int lastFile = 0;
    try {
        while (!Stopping()) {
            if (Stages) {
                if (Stages->Failed()) Stages->RaiseFailure();
                DeliverPreview();
            }
            const int fileIndex = ChooseInput();
            if (fileIndex == -2) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            if (fileIndex < 0) break;
            lastFile = fileIndex;
            AVFormatContext* oc = OutputFiles[0].Mux->Ctx;
            if (first.LimitFileSize > 0 && oc->pb && FF.avio_seek(oc->pb, 0, SEEK_CUR) >= first.LimitFileSize)
                break;

            TInputFile& file = InputFiles[size_t(fileIndex)];
            int ret = ReadPacket(fileIndex);
            if (ret == AVERROR(EAGAIN)) {
                file.NoPacket = true;
                continue;
            }
            if (ret < 0) {
                // Garbage or a cut file ends the input where the demuxer gives up; data that
                // could not be read at all means the output would be short, which no one may
                // mistake for a result.
                const QString readError = InputReadError(file.Ctx);
                if (!readError.isEmpty()) Fail(file.FileName + QStringLiteral(": ") + readError);
                if (ret != AVERROR_EOF && o.Verbose >= 0)
                    Log(llVerbose, WithError(file.FileName, ret));
                bool endLoop = false;
                EndOfInput(fileIndex, endLoop);
                if (endLoop) break;
                continue;
            }
            for (TInputFile& f : InputFiles) f.NoPacket = false;
            if (o.DoPktDump && FF.av_pkt_dump_log2)
                FF.av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, Packet, o.DoHexDump,
                                    file.Ctx->streams[Packet->stream_index]);

            const int si = Packet->stream_index;
            // Streams that appeared after the tables were built have no record.
            TInputStream* ist = si >= 0 && si < file.StreamCount ? &InputStreams[size_t(file.FirstStream + si)] : nullptr;
            if (!ist || !ist->Used) {
                FF.av_packet_unref(Packet);
                continue;
            }
            AdjustTimestamps(file, *ist, Packet);
            if (o.RateEmu && Packet->dts != AV_NOPTS_VALUE) {
                // Read no faster than the input plays.
                const std::int64_t due = SatSub(FF.av_rescale_q(Packet->dts, ist->St->time_base, AV_TIME_BASE_Q), file.TSOffset);
                const std::int64_t ahead = SatSub(due, NowMicroseconds() - StartTime);
                if (ahead > 0 && !Stopping()) std::this_thread::sleep_for(std::chrono::microseconds(std::min<std::int64_t>(ahead, 1000000)));
            }

            if (first.RecordingTime != INT64_MAX) {
                const std::int64_t ts = Packet->pts != AV_NOPTS_VALUE ? Packet->pts : Packet->dts;
                if (ts != AV_NOPTS_VALUE &&
                    FF.av_compare_ts(ts, ist->St->time_base, SatAdd(first.RecordingTime, first.StartTime), AV_TIME_BASE_Q) >= 0) {
                    ist->PastRecordingTime = true;
                    FF.av_packet_unref(Packet);
                    continue;
                }
            }

            ret = DecodePacket(*ist, Packet);
            FF.av_packet_unref(Packet);
            if (ret < 0) {
                const QString msg = WithError(QString::asprintf("Error while decoding stream #%d.%d (%s)", ist->FileIndex,
                                                               ist->StreamIndex,
                                                               MediaTypeName(ist->St->codecpar->codec_type)),
                                              ret);
                if (o.ExitOnError) Fail(msg);
                if (o.Verbose >= 0) Log(llVerbose, msg);
            }

            const std::int64_t now = NowMicroseconds();
            if (now - LastReport >= T.ProgressInterval) {
                ReportProgress(false, fileIndex);
                LastReport = now;
            }
        }
        FlushAll();
        DeliverPreview();
        StopStages();
        WriteTrailers();
    } catch (...) {
        // Every stage stops and is joined before the files are touched again.
        StopStages();
        // Leave a playable file behind where the muxer still can.
        try { WriteTrailers(); } catch (...) {}
        throw;
    }
    (void)lastFile;
    ReportProgress(true, -1);
    CloseCodecs();
}

// ---------------------------------------------------------------------------------------------

TFFmpegTranscoder::TFFmpegTranscoder(QObject* owner)
    : TCustomFFmpeg(owner), FPipeline(std::make_unique<TPipelineState>(*this))
{
}

TFFmpegTranscoder::~TFFmpegTranscoder()
{
    FPipeline.reset();
}

bool TFFmpegTranscoder::OpenInput(const QString& fileName)
{
    FErrorText.clear();
    try {
        return FPipeline->OpenInput(fileName);
    } catch (const FFmpegException& e) {
        FErrorText = e.Message();
        return false;
    }
}

int TFFmpegTranscoder::CreateOutput(const QString& fileName, bool join)
{
    FErrorText.clear();
    try {
        return FPipeline->CreateOutput(fileName, join);
    } catch (const FFmpegException& e) {
        FErrorText = e.Message();
        return -1;
    }
}

void TFFmpegTranscoder::Run()
{
    FFinished = false;
    FStagesUsed = 0;
    if (FPipeline->OutputFiles.empty()) Fail("At least one output file must be specified");
    if (FPipeline->InputFiles.empty()) Fail("At least one input file must be specified");
    try {
        FPipeline->Run();
    } catch (...) {
        FPipeline->Release();
        throw;
    }
    FFinished = !FStopRequest.load();
    FPipeline->Release();
}

void TFFmpegTranscoder::DropOutputsFrom(int count)
{
    TPipelineState& s = *FPipeline;
    if (count < 0 || size_t(count) >= s.OutputFiles.size()) return;
    std::vector<std::shared_ptr<TMuxer>> dropped;
    while (s.OutputFiles.size() > size_t(count)) {
        std::shared_ptr<TMuxer> mux = s.OutputFiles.back().Mux;
        if (dropped.empty() || dropped.back() != mux) dropped.push_back(mux);
        s.OutputFiles.pop_back();
        if (s.Coders.size() > s.OutputFiles.size()) s.Coders.resize(s.OutputFiles.size());
    }
    s.Join = s.Join && s.OutputFiles.size() > 1;
    for (auto& mux : dropped) {
        // Nothing was written yet: the file we created goes with the output.
        const bool created = mux->Ctx && mux->Ctx->pb && !mux->HeaderWritten;
        const QString name = mux->FileName;
        mux.reset();
        if (created) QFile::remove(name);
    }
}

void TFFmpegTranscoder::CloseAll()
{
    FPipeline->Release();
}

bool TFFmpegTranscoder::Joining() const
{
    return FPipeline->Join;
}

int TFFmpegTranscoder::InputFileCount() const
{
    return int(FPipeline->InputFiles.size());
}

const AVFormatContext* TFFmpegTranscoder::InputFile(int index) const
{
    if (index < 0 || size_t(index) >= FPipeline->InputFiles.size()) return nullptr;
    return FPipeline->InputFiles[size_t(index)].Ctx;
}

int TFFmpegTranscoder::OutputFileCount() const
{
    return int(FPipeline->OutputFiles.size());
}

void TFFmpegTranscoder::NewOutputStream(AVMediaType type)
{
    TCustomFFmpeg::NewOutputStream(type); // refuses without an output
    TPipelineState& s = *FPipeline;
    const int entry = int(s.OutputFiles.size()) - 1;
    TMuxer& mux = *s.OutputFiles.back().Mux;
    switch (type) {
    case AVMEDIA_TYPE_VIDEO: s.NewVideoStream(mux, entry); break;
    case AVMEDIA_TYPE_AUDIO: s.NewAudioStream(mux, entry); break;
    case AVMEDIA_TYPE_SUBTITLE: s.NewSubtitleStream(mux, entry); break;
    default: Fail("invalid codec_type");
    }
    // Join entries share the output's streams.
    if (s.Join)
        for (size_t e = 0; e + 1 < s.Coders.size(); ++e) s.Coders[e] = s.Coders.back();
}
