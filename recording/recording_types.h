// SPDX-License-Identifier: MIT
// Plain values of the recording: pixel maps, four-character codes, compression settings.
// Free of Qt and FFmpeg, so the Qt dialog and the FFmpeg adapter can share them.
#pragma once

#include <cstdint>

#include "QTMovie.h"

// A four-character code, first character in the high byte: fourcc("jpeg").
constexpr uint32_t fourcc(const char (&s)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3]));
}

// Compressor types that a recording can be written with.
constexpr uint32_t kJPEGCodecType = fourcc("jpeg");       // Photo-JPEG
constexpr uint32_t kH264CodecType = fourcc("avc1");       // H.264
constexpr uint32_t kProRes422CodecType = fourcc("apcn");  // Apple ProRes 422
constexpr uint32_t kAnimationCodecType = fourcc("rle ");  // Animation
constexpr uint32_t kPNGCodecType = fourcc("png ");        // PNG
constexpr uint32_t kRawCodecType = fourcc("raw ");        // None, uncompressed

// Spatial quality values, in the compressor's own scale.
constexpr int32_t codecMinQuality = 0x000;
constexpr int32_t codecLowQuality = 0x100;
constexpr int32_t codecNormalQuality = 0x200;
constexpr int32_t codecHighQuality = 0x300;
constexpr int32_t codecMaxQuality = 0x3FF;
constexpr int32_t codecLosslessQuality = 0x400;

// 16.16 fixed point.
using Fixed = int32_t;
constexpr Fixed kFixed1 = 0x10000;
// a / b as 16.16 fixed point; b must not be 0.
constexpr Fixed FixRatio(int16_t a, int16_t b) {
    return static_cast<Fixed>((static_cast<int64_t>(a) << 16) / b);
}

// The 32-bit A, R, G, B pixel format code of a pixel map.
constexpr uint32_t k32ARGBPixelFormat = 32;
constexpr int16_t RGBDirect = 16;

// A pixel map: rowBytes x (bounds.bottom - bounds.top) bytes at baseAddr. Fields not used by
// this program stay zero.
struct PixMap {
    uint8_t* baseAddr = nullptr;
    // bytes; 32 bits wide, so that rows of any working width fit (a 16-bit field with two flag
    // bits would stop at 4091 pixels)
    int32_t rowBytes = 0;
    Rect16 bounds;
    int16_t pmVersion = 0, packType = 0;
    int32_t packSize = 0;
    Fixed hRes = 0, vRes = 0;  // dots per inch
    int16_t pixelType = 0, pixelSize = 0, cmpCount = 0, cmpSize = 0;
    uint32_t pixelFormat = 0;
    void* pmTable = nullptr;
    void* pmExt = nullptr;
};
using PixMapPtr = PixMap*;
using PixMapHandle = PixMap**;

// Row length of a pixel map.
inline int pixmap_row_bytes(PixMapHandle pm) {
    return (*pm)->rowBytes;
}

struct SCSpatialSettings {
    uint32_t codecType = 0;
    int32_t codec = 0;  // 0: any compressor of the type
    int16_t depth = 0;
    int32_t spatialQuality = 0;
};

struct SCTemporalSettings {
    int32_t temporalQuality = 0;
    Fixed frameRate = 0;       // frames per second
    int32_t keyFrameRate = 0;  // a key frame at least every this many frames; 0: only the first
};

// Status codes of the compressor that are not FFmpeg's.
constexpr int16_t paramErr = -50;
constexpr int16_t memFullErr = -108;
constexpr int16_t noCodecErr = -8961;
constexpr int16_t scUserCancelled = 1;
