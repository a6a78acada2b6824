// SPDX-License-Identifier: MIT
// The compressor and the movie file of a recording, on libavcodec, libswscale and libavformat's
// QuickTime muxer. This header names no FFmpeg type; every FFmpeg object is owned inside.
// Calls return 0 on success, otherwise a status narrowed to 16 bits (never 0 on failure).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recording_types.h"

// A compressor type that a movie can be written with.
struct CodecInfo {
    uint32_t type;         // four-character code of the sample description
    const char* name;      // the compressor's usual name, "Photo-JPEG"
    const char* option;    // its name on the command line, "jpeg"
    const char* encoder;   // the libavcodec encoder behind it
    bool hasQuality;       // the spatial quality changes the result
    bool hasLossless;      // offers codecLosslessQuality
    bool temporal;         // compresses frames against earlier ones: the key-frame rate matters
};

// Every compressor type this program knows, present or not; null for an unknown type.
const CodecInfo* find_codec_info(uint32_t type);
// The types whose encoder the linked libavcodec has and the QuickTime muxer accepts, in menu
// order (Photo-JPEG first).
std::vector<CodecInfo> available_codecs();
bool codec_available(uint32_t type);

// The codec parameters of a compression sequence; every sample of a movie refers to one.
class ImageDescription;

// The standard compression component: holds the spatial and temporal settings and compresses a
// sequence of frames from a 32-bit A, R, G, B pixel map.
class VideoCompressor {
public:
    // Null when the linked libavcodec offers no usable compressor at all.
    static std::unique_ptr<VideoCompressor> openDefaultComponent();
    ~VideoCompressor();

    // Settings that suit the pixel map: Photo-JPEG, depth 32, normal quality, 15 frames per
    // second, a key frame every 24 frames. Negative when the pixel map cannot be compressed.
    int16_t defaultPixMapSettings(PixMapHandle pm, bool motion);
    int16_t setInfo(const SCSpatialSettings& spatial);
    int16_t setInfo(const SCTemporalSettings& temporal);
    void getInfo(SCSpatialSettings& spatial) const;
    void getInfo(SCTemporalSettings& temporal) const;

    // Opens the encoder of the current settings for frames of the pixel map's size (srcRect
    // null: the whole map). desc stays valid until compressSequenceEnd.
    int16_t compressSequenceBegin(PixMapHandle pm, const Rect16* srcRect, ImageDescription** desc);
    // Compresses rect of the pixel map as the next frame, which starts at mediaTime (1/600 s,
    // rising from frame to frame; negative: 1/15 s after the previous frame). data stays valid
    // until the next call; notSyncFlag is nonzero unless the frame is a key frame.
    int16_t compressSequenceFrame(PixMapHandle pm, const Rect16& rect, const uint8_t** data,
                                  int32_t* size, int16_t* notSyncFlag, int64_t mediaTime = -1);
    // Drains and closes the encoder; without an open sequence it does nothing.
    int16_t compressSequenceEnd();
    bool inSequence() const;

private:
    VideoCompressor();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// One picture compressed with given settings and decoded back: R, G, B, 0xFF per pixel.
struct PreviewImage {
    std::vector<uint8_t> rgbx;
    int width = 0, height = 0, rowBytes = 0;
    int compressedBytes = 0;
};
// Compresses the whole pixel map once with these settings and decodes the result.
int16_t compress_preview(const SCSpatialSettings& spatial, const SCTemporalSettings& temporal,
                         PixMapHandle pm, PreviewImage& out);

// A QuickTime movie file being written. While samples are added the file is a fragmented movie
// that a player reads at every moment: a fragment is cut at a key frame once it holds half a
// second, and at any frame before it would hold more than a second, so a crash loses at most the
// last second. addMovieResource rewrites it, packet for packet, into a standard movie with its
// index at the front.
class MovieFile {
public:
    // Creates the file at path, replacing any file there, with an empty movie.
    static int16_t createMovieFile(const std::string& path, std::unique_ptr<MovieFile>& out);
    ~MovieFile();

    // A new track of width x height (16.16 fixed point) pixels.
    int16_t newMovieTrack(Fixed width, Fixed height, int& track);
    // The track's media of this type ('vide') counting timeScale units per second.
    int16_t newTrackMedia(int track, uint32_t mediaType, int32_t timeScale, int& media);
    int16_t beginMediaEdits(int media);
    // Appends one sample of duration media units described by desc. The first sample fixes the
    // track's description and writes the file's header. sampleFlags nonzero: not a sync sample.
    int16_t addMediaSample(int media, const uint8_t* data, int32_t size, int32_t duration,
                           const ImageDescription* desc, int16_t sampleFlags);
    // Writes the last fragment.
    int16_t endMediaEdits(int media);
    // Sum of the durations of the samples added, in media units.
    int64_t getMediaDuration(int media) const;
    // Places media time [mediaTime, mediaTime + duration) in the track from trackStart on.
    int16_t insertMediaIntoTrack(int track, int64_t trackStart, int64_t mediaTime,
                                 int64_t duration, Fixed rate);
    // Completes the fragmented file and rewrites it as a standard movie named name at the
    // destination (the file's own path unless set). On failure the fragmented file stays.
    int16_t addMovieResource(const std::string& name);
    // Closes the file; later calls do nothing.
    int16_t closeMovieFile();
    // Samples added so far.
    int64_t sampleCount() const;

    // Samples in complete fragments on disk: what a reader finds whatever happens next.
    int64_t keptSamples() const;
    // What went wrong with the file, as an errno value (ENOSPC, EFBIG, ENOENT, EIO...), 0 while
    // nothing did.
    int failureErrno() const;
    // Whether the file has been removed from its folder (the folder deleted, say).
    bool fileGone();
    // Cuts off whatever follows the last complete fragment, so the file holds keptSamples()
    // samples that every reader decodes.
    void keepCompleteFragments();
    // The rewrite of addMovieResource alone, of the complete fragments: for a file whose writing
    // failed and was cut back.
    int16_t rewriteAsStandardMovie(const std::string& name);
    // Where addMovieResource puts the standard movie; the file's path by default.
    void setDestination(const std::string& path);
    const std::string& destination() const;

private:
    MovieFile();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Rewrites the fragmented movie at source into a standard movie named title at dest: the same
// packets, times and key frames in one track of time scale 600, the index at the front; the
// last sample lasts until mediaDuration (1/600 s). It is written under a temporary name beside
// dest and renamed into place. Returns 0 or a status; causeErrno receives the errno value behind
// a failure.
int16_t rewrite_standard_movie(const std::string& source, const std::string& dest,
                               const std::string& title, int64_t mediaDuration, int& causeErrno);

// Removes the file at path.
int16_t delete_movie_file(const std::string& path);
