// SPDX-License-Identifier: MIT
// Movie recording: the compressor, the recording pixel map and the movie writer. Every failure
// is reported through error_msg; functions return true on success and false after the alert.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "pipeline_state.h"
#include "recording_types.h"

class VideoCompressor;
class MovieFile;
class ImageDescription;

// Microseconds of a clock that never goes back; steady_clock when empty.
using RecordingClock = std::function<int64_t()>;

// The recording's process-wide state. main owns the one instance; tests build their own.
// It stays in one place: RecFramePMP and MoviePixMap point into it.
struct RecordingState {
    RecordingState();
    ~RecordingState();
    RecordingState(const RecordingState&) = delete;
    RecordingState& operator=(const RecordingState&) = delete;

    uint8_t RecordingOn = 0;  // nonzero while a movie is recorded

    // The compressor and its pixel map.
    std::unique_ptr<VideoCompressor> RecVideoCI;  // once made, kept for the process
    uint32_t RecCodecType = kJPEGCodecType;
    Rect16 RecFrameRect;  // the size the pixel map's buffer was built for
    PixMap RecFramePM;
    PixMapPtr RecFramePMP = &RecFramePM;
    PixMapHandle MoviePixMap = nullptr;  // &RecFramePMP once the pixel map is built
    std::unique_ptr<uint8_t, void (*)(void*)> recFrameBuffer{nullptr, nullptr};  // owns baseAddr

    // The movie being written.
    std::string RecFSSpec;  // absolute path of the movie file
    std::unique_ptr<MovieFile> RecMovie;
    int16_t RecFRefNum = 0;  // nonzero while the movie file is open
    int RecVideoTrack = -1, RecVideoMedia = -1;
    int32_t RecRTFrameDuration = 0;  // 1/600 s: the frame being added
    int32_t RecMediaDuration = 0;    // 1/600 s: all frames added to this recording
    ImageDescription* RecImageDesc = nullptr;

    // The frame clock, kept for the whole process (not reset per recording).
    RecordingClock clock;
    bool clockStarted = false;
    int64_t startTime = 0;  // whole seconds of the clock at the first frame ever recorded
    uint32_t prevMsec = 0;  // ms since startTime at the previous frame

    // When a frame's failure has ended the recording by itself, this is called instead of
    // error_msg to release the record button and report the failure (the view calls
    // add_media_samples while it paints, where a modal alert must not run). Empty: error_msg.
    std::function<void(const char* message, int16_t code)> recordingAborted;
};

// The time base of every recording: units per second.
constexpr int32_t kMovieTimeScale = 600;
// The duration of the first frame of every recording, 1/600 s.
constexpr int32_t kFirstFrameDuration = 40;
constexpr int kKeyFrameRate = 24;  // frames

// ---- Compressor and pixel map ----

// Builds the recording pixel map for the working size unless it was built for that size:
// 32-bit A, R, G, B, rowBytes 4 x Width + 16. Reports "setup_rec_frame_pixmap".
bool setup_rec_frame_pixmap(RecordingState& r, const PipelineState& s);

// Opens RecVideoCI and gives it the recording's settings: RecCodecType, depth 32, normal
// spatial quality, minimum temporal quality, 600 / RecRTFrameDuration frames per second (15
// before any recording) and a key frame every 24 frames. Call only while RecVideoCI is none.
bool create_video_compressor(RecordingState& r, const PipelineState& s);

// The frame rate of the compressor: 600 / RecRTFrameDuration, or 15 frames per second while
// no recording has set a duration.
Fixed rec_frame_rate(const RecordingState& r);

// Copies Height rows of an output bitmap (R, G, B, spare) into a 32-bit pixel map shifted by
// one byte, so each pixel's R, G, B land on the map's R, G, B: min(sourceRowBytes, map row
// bytes) - 1 bytes per row. Never writes past the map's own height.
void copy_bm_to_pm(const PipelineState& s, const uint8_t* source, int sourceRowBytes,
                   PixMapHandle pixmap);

// An offscreen picture for the settings dialog's test image: 32-bit A, R, G, B of one size.
struct OffscreenWorld {
    PixMap pm;
    PixMapPtr pmp = &pm;
    std::unique_ptr<uint8_t[]> pixels;
    OffscreenWorld() = default;
    OffscreenWorld(const OffscreenWorld&) = delete;
    OffscreenWorld& operator=(const OffscreenWorld&) = delete;
};
// Builds world for the rectangle. Returns 0 or a status.
int16_t new_gworld(OffscreenWorld& world, const Rect16& rect);
inline PixMapHandle gworld_pixmap(OffscreenWorld& world) { return &world.pmp; }

// ---- Movie writing ----

// Starts a recording into a new movie file at path, replacing any file there. On success
// RecordingOn is set. From the moment the movie file exists, a failure deletes it.
bool setup_recording(RecordingState& r, const PipelineState& s, const std::string& path);

// Appends the picture just drawn (rowBytes per row) as one frame timed by the clock: the first
// frame of a recording lasts 40 units, every later one 3 x the elapsed ms / 5, at least 1.
// A failure ends the recording at once: RecordingOn is cleared, the movie finished with every
// picture that could be kept, and the failure reported once (through recordingAborted when set).
bool add_media_samples(RecordingState& r, const PipelineState& s, const uint8_t* bitmapData,
                       int rowBytes);

// As add_media_samples, with the frame's duration given in 1/600 s (at least 1).
bool add_timed_media_sample(RecordingState& r, const PipelineState& s, const uint8_t* bitmapData,
                            int rowBytes, int32_t duration);

// Ends the recording and completes the movie file: a standard movie with its index at the front.
// A recording that got no frame leaves no file. A failure keeps every picture that reached the
// disk (the movie as it was written, cut back to its last complete fragment) and says in the
// alert what happened and where the pictures are; a movie whose folder was removed is saved in
// the home folder.
bool finish_recording(RecordingState& r);

// Ends a recording without keeping it: the file is deleted, nothing is reported.
void cancel_recording(RecordingState& r);

// ---- Failures of a recording, in words ----

// The cause of a failure as a sentence, by errno value: "The disk is full." Empty when the
// value says nothing a user could act on.
std::string recording_cause_text(int causeErrno);
// path with the home folder written as "~".
std::string display_path(const std::string& path);
// A free name for the movie named like `path` in the home folder (the temporary folder when
// there is no home): "~/WobbleMovie.mov", else "~/WobbleMovie 2.mov", ...
std::string home_movie_path(const std::string& path);
// The alert of a failed recording: the looked-up message and code as error_msg shows them, then
// the cause and where the kept pictures are ("The recording was stopped; the 94 pictures
// recorded so far are in ~/WobbleMovie.mov.").
std::string recording_failure_text(const char* message, int16_t code, int causeErrno,
                                   int64_t keptPictures, const std::string& where, bool stopped);

// Applies the settings of the render tool's --codec and --quality to the compressor (making it
// if needed). Reports like the settings dialog and returns false when they are refused.
bool set_compression_settings(RecordingState& r, const PipelineState& s, uint32_t codecType,
                              int32_t spatialQuality);
