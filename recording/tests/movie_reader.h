// SPDX-License-Identifier: MIT
// Test helpers: movies read back with libavformat, decoded by ffprobe and ffmpeg.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MovieInfo {
    std::string error;  // empty when the file opened and every packet was read
    int streams = 0, videoStreams = 0;
    int timeBaseDen = 0;    // of the (first) video stream
    uint32_t codecTag = 0;  // four-character code, first character high
    int width = 0, height = 0;
    std::string title;
    std::vector<int64_t> durations, dts;  // per sample, stream time base
    std::vector<bool> sync;               // per sample: a sync (key) sample
    // Frames per second as players read them (average, real base) and as a transcoder guesses.
    double avgFrameRate = 0, rFrameRate = 0, guessedFrameRate = 0;
};
MovieInfo read_movie(const std::string& path);

// Decodes sample `index` of the movie's video track to R, G, B bytes, width x height.
bool decode_movie_frame(const std::string& path, int index, std::vector<uint8_t>& rgb, int& width,
                        int& height, std::string& error);

// Decodes every sample of the movie's video track; returns the pictures decoded, -1 when the
// movie cannot be opened or a sample does not decode (error says why).
int decode_movie(const std::string& path, std::string& error);

// What `ffmpeg -v warning -i path -f null -` prints but the mjpeg decoder's "EOI missing".
std::string ffmpeg_warnings(const std::string& path);

// Peak signal-to-noise ratio of two R, G, B pictures of equal size, in dB (inf when equal).
double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);
