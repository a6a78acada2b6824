// SPDX-License-Identifier: MIT
// The sequence grabber: one camera input with one video channel that draws each new picture,
// scaled to the channel bounds, into an offscreen world during idle calls on the calling thread.
// Decoding runs on a reader thread; drawing and the callback happen only inside idle().
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "QTMovie.h"

class CameraReader;
class AvInput;
struct ArgbFrame;

// Statuses besides 0 (success) and FFmpeg's, which come narrowed to 16 bits (an errno-based
// one as minus errno).
constexpr int16_t kParamErr = -50;             // a null or out-of-range argument
constexpr int16_t kMemFullErr = -108;          // out of memory
constexpr int16_t kNoGWorldErr = -9400;        // the preview needs an offscreen world first
constexpr int16_t kNotInitializedErr = -9401;  // SGInitialize or SGNewChannel has not run
constexpr int16_t kCameraEndedErr = -9402;     // the input has ended or failed; see lastError()

constexpr uint32_t kVideoMediaType = 0x76696465;        // 'vide'
constexpr uint32_t kSeqGrabComponentType = 0x62617267;  // 'barg'
constexpr int kSeqGrabPreview = 2;                      // channel usage: preview only

// Narrows an FFmpeg status to the grabber's 16 bits; 0 stays 0, a failure never becomes 0.
int16_t narrow_status(int status);

// The channel's bottleneck record: a count, then the grab procedure and the grab-complete
// procedure, then the rest, kept as read.
struct VideoBottlenecks {
    int16_t procCount = 0;
    void* grabProc = nullptr;
    SGGrabCompleteBottleProc grabCompleteProc = nullptr;
    void* otherProcs[7] = {};
};

struct SGVideoChannel {
    SeqGrabber* grabber = nullptr;
    Rect16 bounds;  // where pictures are drawn in the offscreen world
    int usage = 0;
    void* refCon = nullptr;
    VideoBottlenecks bottlenecks;
    int16_t completeBuffer = -1;  // buffer holding a drawn picture during the callback, else -1
};

class SeqGrabber : public Grabber {
public:
    // OpenDefaultComponent: opens the camera source (see resolve_camera_source), a device in its
    // best mode for pictures of maxHeight lines (0: as it is). Null when it cannot be opened;
    // why says what failed.
    static std::shared_ptr<SeqGrabber> open(const std::string& source, std::string* why = nullptr,
                                            int maxHeight = 0);
    ~SeqGrabber() override;

    int16_t initialize();                                                 // SGInitialize
    int16_t newChannel(uint32_t mediaType, SGChannel* out);               // SGNewChannel
    int16_t getSrcVideoBounds(SGChannel c, Rect16& r);                    // SGGetSrcVideoBounds
    int16_t setChannelUsage(SGChannel c, int usage);                      // SGSetChannelUsage
    int16_t setChannelBounds(SGChannel c, const Rect16& r);               // SGSetChannelBounds
    int16_t setGWorld(GWorld* world);                                     // SGSetGWorld
    int16_t setChannelRefCon(SGChannel c, void* refCon);                  // SGSetChannelRefCon
    int16_t getVideoBottlenecks(SGChannel c, VideoBottlenecks& b);        // SGGetVideoBottlenecks
    int16_t setVideoBottlenecks(SGChannel c, const VideoBottlenecks& b);  // SGSetVideoBottlenecks
    // SGIdle: draws the newest picture not drawn yet, if any, and calls the grab-complete
    // bottleneck. Returns its status, or kCameraEndedErr once the input is gone.
    int16_t idle();
    // SGGrabFrameComplete: done is set when bufferNum holds a completely drawn picture.
    int16_t grabFrameComplete(SGChannel c, int16_t bufferNum, uint8_t* done);
    // Ends and joins the reader thread; nothing is drawn afterwards.
    void close();

    // Grabber: SGStop, SGSetChannelBounds on the one channel, SGStartPreview.
    int16_t stop() override;
    int16_t setChannelBounds(const Rect16& bounds) override;
    int16_t startPreview() override;

    bool previewing() const { return previewing_; }
    long long picturesDrawn() const { return drawn_; }  // into the offscreen world, since open
    CameraReader* reader() const { return reader_.get(); }
    std::string lastError() const;  // the input's failure in plain words, when it had one

private:
    SeqGrabber();
    bool validChannel(SGChannel c) const { return c && c == channel_.get(); }
    bool fitsWorld(const Rect16& r) const;

    std::unique_ptr<AvInput> input_;  // until SGNewChannel hands it to the reader
    std::unique_ptr<CameraReader> reader_;
    std::unique_ptr<SGVideoChannel> channel_;
    std::unique_ptr<ArgbFrame> front_;  // the picture being drawn; its buffer is reused
    GWorld* world_ = nullptr;
    bool initialized_ = false;
    bool previewing_ = false;
    long long drawn_ = 0;
};

// QTNewGWorldFromPtr: an offscreen world of pixelFormat (32: A, R, G, B) over memory the caller
// owns, rows rowBytes apart.
int16_t QTNewGWorldFromPtr(std::unique_ptr<GWorld>& out, int pixelFormat, const Rect16& bounds,
                           uint8_t* baseAddr, int rowBytes);

// Free-function names of the grabber operations the callback uses.
int16_t SGGrabFrameComplete(SGChannel c, int16_t bufferNum, uint8_t* done);
int16_t SGIdle(SeqGrabber* g);
