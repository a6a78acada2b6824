// SPDX-License-Identifier: MIT
// The FFmpeg side of the camera: opens a camera device, a video file or a libavfilter source
// (av_input_open.cpp), decodes its pictures to A, R, G, B bytes (av_decode.cpp), keeps the newest
// one on a reader thread (camera_reader.cpp) and scales pictures with libswscale (av_scale.cpp).
// No FFmpeg type appears here.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One decoded picture: height rows of rowBytes bytes, A, R, G, B per pixel.
struct ArgbFrame {
    std::vector<uint8_t> pixels;
    int width = 0, height = 0;  // pixels
    int rowBytes = 0;           // bytes
    double time = -1;           // seconds after the input's first picture; negative when unknown
    long long number = -1;      // pictures decoded before this one since the input was opened
};

// Prepares the libraries once per process (devices registered, FFmpeg's own log kept to
// errors). Returns 0.
int av_enter_movies();

// The built-in scene of `--camera demo`: a moving, textured libavfilter graph, 640 x 480 at
// 30 frames per second.
extern const char* const kDemoGraph;

// How a camera source text is opened: FFmpeg input format ("" to probe a file) and URL.
struct CameraSource {
    std::string format;  // "v4l2", "lavfi", "avfoundation", "dshow" or "" for a file
    std::string url;
    bool device = false;  // a live device that paces itself
    bool file = false;    // a file: seekable, paced by its own timestamps and looped live
                          // (a named pipe is neither device nor file: paced, never looped)
};

// "" is the platform's default camera (the first V4L2 device on Linux), "demo" the built-in
// scene, "lavfi:GRAPH" a libavfilter source, "v4l2:PATH", "avfoundation:NAME", "dshow:NAME" a
// device of that kind, a path under /dev/ a V4L2 device, anything else a video file. Returns
// false (with why: "no camera found") when the default camera is asked for and none is found.
bool resolve_camera_source(const std::string& source, CameraSource& out, std::string& why);

// One camera found on this machine.
struct CameraInfo {
    std::string source;       // what --camera takes to open it
    std::string description;  // the device's own name
};
// The video devices found, then the built-in demo scene.
std::vector<CameraInfo> list_cameras();

// The status of AvInput::open for a file whose contents no demuxer recognises.
extern const int kUnrecognisedInput;

// One video input, decoded picture by picture. Not thread-safe: one thread at a time.
class AvInput {
public:
    enum class Read { Frame, End, Error };

    // Opens the input (the container or device only). live: a file starts over at its end, a
    // packet that cannot be decoded is skipped. On failure returns null, with the FFmpeg status
    // and why in plain words, naming the input: "/dev/video9: No such file or directory".
    // Numbers in the source text are read in the C locale, whatever the process's locale.
    // maxHeight: a V4L2 device is asked for its best mode for pictures of so many lines
    // (choose_camera_mode); 0 leaves it in the mode it is in. Other inputs keep their size.
    static std::unique_ptr<AvInput> open(const std::string& source, bool live, int& status,
                                         std::string& error, int maxHeight = 0);
    ~AvInput();

    // Reads the stream information. Returns 0 or the FFmpeg status (error() says why).
    int findStreamInfo();
    // Picks the best video stream and opens its decoder. Returns 0 or a status.
    int openVideo();
    // The size of the pictures read gives from now on, reached in the same libswscale pass that
    // converts them; 0 x 0 (the start) is each picture's own size.
    void setOutputSize(int width, int height);

    int width() const;             // pixels, of the video stream; 0 before openVideo
    int height() const;            // pixels
    long long frameCount() const;  // pictures in the stream when the container says so, else -1
    bool paced() const;  // live and not a device: the reader keeps the input's own frame rate
    double frameInterval() const;  // seconds between pictures at the stream's rate (1/30 unknown)
    const std::string& name() const;  // the source text, for messages

    // Makes a read in progress, and every later one, give up (End) soon. Any thread may call it.
    void interrupt();

    // Decodes the next picture into out, converted to A, R, G, B at the output size.
    Read read(ArgbFrame& out);
    int status() const;                // FFmpeg status of the last failure
    const std::string& error() const;  // text of the last failure, naming the input

private:
    AvInput();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Scales A, R, G, B pictures with libswscale. A picture that already has the target size is
// copied byte for byte. One instance per thread.
class ArgbScaler {
public:
    ArgbScaler();
    ~ArgbScaler();
    ArgbScaler(const ArgbScaler&) = delete;
    ArgbScaler& operator=(const ArgbScaler&) = delete;
    // Writes dw x dh pixels at dst with rows dstRowBytes apart, nothing else. False when the
    // scaler cannot be made for these sizes (nothing is written then).
    bool scale(const uint8_t* src, int sw, int sh, int srcRowBytes, uint8_t* dst, int dw, int dh,
               int dstRowBytes);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Reads and decodes an input on its own thread and keeps only the newest picture: a picture not
// taken before the next one is decoded is dropped. The thread starts with the first start().
class CameraReader {
public:
    explicit CameraReader(std::unique_ptr<AvInput> input);
    ~CameraReader();  // ends and joins the thread
    CameraReader(const CameraReader&) = delete;
    CameraReader& operator=(const CameraReader&) = delete;

    // Pictures are kept from now on. Pacing restarts from the next picture.
    void start();
    // No picture decoded from now on is kept; the one waiting is dropped. Returns at once.
    void stop();
    // Pictures decoded from now on come at this size (0 x 0: the input's own), converted and
    // scaled in one pass on the reader thread. One decoded meanwhile may still have the old size.
    void setPictureSize(int width, int height);
    // Moves the newest picture not taken yet into frame (frame's old buffer goes back to the
    // reader). False when there is none.
    bool takeNewest(ArgbFrame& frame);
    // Ends and joins the thread; nothing is delivered afterwards.
    void shutdown();

    struct Stats {
        long long decoded = 0;  // pictures decoded while started
        long long taken = 0;    // pictures handed out by takeNewest
        long long dropped = 0;  // pictures replaced by a newer one before they were taken
    };
    Stats stats() const;
    // Waits until at least `decoded` pictures were decoded or the input ended; false on timeout.
    bool waitDecoded(long long decoded, std::chrono::milliseconds timeout) const;
    // True once the input ended or failed; status() is then 0 for an end, else the FFmpeg status.
    bool finished() const;
    int status() const;
    std::string error() const;
    int width() const;  // of the input's video stream
    int height() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
