#include "FFmpegApi.h"

TFFmpegApi FF;
