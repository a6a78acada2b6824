// SPDX-License-Identifier: MIT
// Forced into every file of the image core. FFmpeg's headers sit on the compiler's default
// include path, so a missing include directory cannot keep them out: their types are poisoned
// instead, and any FFmpeg or Qt header included here fails to compile.
#pragma once
#pragma GCC poison AVFrame AVPacket AVCodecContext AVFormatContext SwsContext AVFilterGraph
#pragma GCC poison QObject QWidget QImage
