#pragma once
// The engine reaches the FFmpeg libraries only through this table of function pointers,
// which the loader fills at run time. Nothing in the engine links the libraries.
//
// Call as FF.avformat_open_input(...). The list of bound functions is FFmpegFunctions.inc;
// add a function there (with its library) before calling it.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

struct TFFmpegApi {
#define FF_FUNC(lib, name) decltype(&::name) name = nullptr;
#define FF_OPTIONAL(lib, name) decltype(&::name) name = nullptr;
#include "FFmpegFunctions.inc"
#undef FF_FUNC
#undef FF_OPTIONAL
};

// The process-wide table. A pointer is null while its library is not loaded.
extern TFFmpegApi FF;
