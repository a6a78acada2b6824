// SPDX-License-Identifier: MIT
// Inputs and outputs of the headless render tool.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pipeline_state.h"

// A stream of camera frames, each A, R, G, B per pixel.
class FrameSource {
public:
    enum class Read { Frame, End, Error };
    virtual ~FrameSource() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Total frames when known, else -1.
    virtual long long frameCount() const { return -1; }
    // Reads the next frame into dst (height() rows of rowBytes bytes). On Error, error() says why.
    virtual Read read(uint8_t* dst, int rowBytes) = 0;
    // Asks for the frames at width x height from now on, reached in the same pass that converts
    // them, as the live camera does; read then fills that many rows and columns. False when the
    // source cannot (its frames keep their size).
    virtual bool setPictureSize(int /*width*/, int /*height*/) { return false; }
    // The frame's presentation time in seconds, when the source has timestamps; else negative.
    virtual double frameTime() const { return -1; }
    virtual std::string error() const = 0;
};

// Where the drawn pictures go.
class PictureSink {
public:
    virtual ~PictureSink() = default;
    // One drawn picture: width x height pixels of R, G, B and one unshown byte.
    virtual bool write(const uint8_t* data, int rowBytes, int width, int height, double time) = 0;
    // Completes the output; false (with error()) when it could not be completed. An output that
    // got no picture is not written, and a file already at its place stays.
    virtual bool finish() = 0;
    // Completes what was written under the temporary name OUTPUT.part and leaves it there: the
    // output of an interrupted run, never passed off as complete.
    virtual bool finishPartial() = 0;
    // Why pictures of width x height cannot be written; empty when they can.
    virtual std::string refuseSize(int, int) const { return ""; }
    // Whether a failure left the pictures written so far under OUTPUT.part (and said so).
    virtual bool keptPartial() const { return false; }
    // Pictures written so far.
    virtual long long pictures() const = 0;
    // Removes whatever was written; called after any failure.
    virtual void abort() = 0;
    virtual std::string error() const = 0;
};

// OUTPUT's temporary name while it is written.
inline std::string partial_name(const std::string& output) {
    return output + ".part";
}

// Raw A, R, G, B frames back to back; "-" reads standard input.
std::unique_ptr<FrameSource> open_raw_source(const std::string& path, int width, int height,
                                             std::string& error);

// R, G, B bytes of every picture appended to a file, written to a temporary name first and
// renamed into place by finish().
std::unique_ptr<PictureSink> open_rgb_sink(const std::string& path, std::string& error);

// What a render output is asked for on the command line.
struct SinkOptions {
    std::string codec;    // --codec, "" for the default
    std::string quality;  // --quality, "" for the default
};

// Opens INPUT for `wobblescope render`: raw frames when rawWidth > 0, otherwise whatever the
// camera layer can open. On failure returns null and says why in error.
std::unique_ptr<FrameSource> open_frame_source(const std::string& input, int rawWidth,
                                               int rawHeight, std::string& error);

// Opens OUTPUT by its ending. On failure returns null and says why in error.
std::unique_ptr<PictureSink> open_picture_sink(const std::string& output,
                                               const SinkOptions& options, std::string& error);
