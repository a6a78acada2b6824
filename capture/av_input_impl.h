// SPDX-License-Identifier: MIT
// The inside of AvInput, shared by the files that open, decode and convert an input. Included
// only by the FFmpeg adapter.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "av_camera.h"
#include "av_owners.h"

constexpr double kDefaultInterval = 1.0 / 30;  // seconds between pictures of unknown rate
// Live pictures skipped in a row before the input counts as failed.
constexpr int kMaxBadInARow = 300;

// Words of ours in a failure's text, looked up in the alert's catalogue (as they are without
// one).
std::string our_words(const char* words);

// FFmpeg's description of a status ("No such file or directory").
std::string av_error_text(int status);

// The last error FFmpeg logged on this thread since clear_av_log_error(), without its newline.
std::string last_av_log_error();
void clear_av_log_error();

// While alive, this thread parses and prints numbers in the C locale ("0.015", not "0,015"),
// whatever the process's locale: FFmpeg's option parser reads numbers with strtod.
class CNumericScope {
public:
    CNumericScope();
    ~CNumericScope();
    CNumericScope(const CNumericScope&) = delete;
    CNumericScope& operator=(const CNumericScope&) = delete;

private:
    void* c_ = nullptr;       // locale_t of "C" numbers
    void* before_ = nullptr;  // the thread's locale_t before
};

struct BufferUnref {
    void operator()(AVBufferRef* b) const { av_buffer_unref(&b); }
};

// What picture_to_argb keeps from one picture to the next.
struct ArgbConversion {
    av::SwsPtr sws;  // the context for these sizes and source format
    int sw = 0, sh = 0, dw = 0, dh = 0;
    AVPixelFormat sf = AV_PIX_FMT_NONE;
    av::FramePtr in, out;                            // the planes of one conversion, lent
    std::unique_ptr<AVBufferRef, BufferUnref> lent;  // the lent planes' owner, frees nothing
    std::vector<uint8_t> full;  // A, R, G, B at the picture's own size, before it is halved
};

struct AvInput::Impl {
    static int interrupted_cb(void* opaque) {
        return static_cast<const Impl*>(opaque)->interrupted.load() ? 1 : 0;
    }

    std::atomic<bool> interrupted{false};
    std::string name;
    CameraSource src;
    bool live = false;
    av::InputPtr fmt;
    av::CodecPtr dec;
    av::FramePtr frame = av::FramePtr(av_frame_alloc());
    av::PacketPtr pkt = av::PacketPtr(av_packet_alloc());
    ArgbConversion conversion;
    int outWidth = 0, outHeight = 0;  // pixels of the pictures read gives; 0: their own size
    int stream = -1;
    bool flushing = false;       // the demuxer ended; the decoder is being drained
    long long decoded = 0;       // pictures since opening
    long long passPictures = 0;  // pictures since the last start-over
    int badInARow = 0;           // live: failed packets and pictures since the last good picture
    int64_t firstPts = AV_NOPTS_VALUE;
    int status = 0;
    std::string error;

    // Records a failure: "<name>: <what>[: <FFmpeg's words for code>]". Returns code.
    int fail(int code, const std::string& what);
    // A live input skips a picture it cannot decode, but not endlessly. Returns false (with the
    // failure recorded) when the input is not live or has failed too often in a row.
    bool skipBad(int code);
    // Goes back to the first picture; false when the input cannot seek.
    bool startOver();
    // Converts the decoded picture into out, at the output size, as picture_to_argb does.
    bool convert(ArgbFrame& out);
};

// sw / 2 x sh / 2 pixels at dst: each the mean of its 2 x 2 block of source pixels, every byte
// (alpha too) on its own, halves rounded up; a last odd column or row of the source is left out.
void halve_argb(const uint8_t* src, int sw, int sh, int srcRowBytes, uint8_t* dst, int dstRowBytes);

// Writes a picture of pixel format sf as A, R, G, B, dw x dh pixels at dst (rows dstRowBytes
// apart). An A, R, G, B picture of the same size is copied byte for byte; a picture of twice the
// size (remainders dropped) is converted at its own size and halved by halve_argb, which costs a
// fraction of libswscale's reduction; any other in one libswscale pass. False when no context can
// be made for these sizes.
bool picture_to_argb(ArgbConversion& conv, const uint8_t* const src[4], const int srcStride[4],
                     int sw, int sh, AVPixelFormat sf, uint8_t* dst, int dw, int dh,
                     int dstRowBytes);
