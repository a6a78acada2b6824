// SPDX-License-Identifier: MIT
// One owner for each kind of FFmpeg object: a unique_ptr whose deleter is the matching free
// function. Included only by the FFmpeg adapters and their tests.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace av {

struct InputCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct DictFreer {
    void operator()(AVDictionary* d) const { av_dict_free(&d); }
};
struct ParametersFreer {
    void operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;  // an opened input
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFreer>;
using DictPtr = std::unique_ptr<AVDictionary, DictFreer>;
using ParametersPtr = std::unique_ptr<AVCodecParameters, ParametersFreer>;

}  // namespace av
