// SPDX-License-Identifier: MIT
// What the FFmpeg side of recording shares between its files: status narrowing, the encoder's
// set-up and the compressor's inner state. Included only by the recording's FFmpeg files.
#pragma once

#include "av_movie.h"
#include "av_owners.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace av {

// The output context owns its I/O context unless the caller gave its own (custom I/O).
struct OutputFree {
    void operator()(AVFormatContext* c) const {
        if (c->pb && !(c->flags & AVFMT_FLAG_CUSTOM_IO) && !(c->oformat->flags & AVFMT_NOFILE))
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
using OutputPtr = std::unique_ptr<AVFormatContext, OutputFree>;

}  // namespace av

// Media units per second: the encoders and the movie count time in 1/600 s.
constexpr int kMediaTimeScale = 600;

// An FFmpeg status as a 16-bit status: 0 stays 0, every failure stays negative.
int16_t narrow(int err);

// The encoder of a codec type that the linked libavcodec has and the QuickTime muxer takes.
const AVCodec* find_encoder(const CodecInfo& info);

// Opens an encoder for w x h frames with these settings; frames are timed in 1/600 s. fmt is
// the pixel format the encoder wants.
int open_encoder(const SCSpatialSettings& sp, const SCTemporalSettings& tp, int w, int h,
                 av::CodecPtr& out, AVPixelFormat& fmt);

// H.264 at 4:2:0 wants even sizes: the odd last row or column is left out.
void encoded_size(uint32_t type, int& w, int& h);

// A 32-bit pixel map with a buffer and a size of at least one pixel.
bool valid_pixmap(PixMapHandle pm);

class ImageDescription {
public:
    av::ParametersPtr par;
};

struct VideoCompressor::Impl {
    SCSpatialSettings spatial;
    SCTemporalSettings temporal;
    // The open sequence.
    av::CodecPtr encoder;
    av::SwsPtr converter;
    av::FramePtr frame;
    av::PacketPtr packet;
    ImageDescription desc;
    int width = 0, height = 0;  // pixels compressed per frame
    int64_t frameIndex = 0;
};
