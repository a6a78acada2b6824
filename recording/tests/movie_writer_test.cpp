// SPDX-License-Identifier: MIT
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <limits>

#include "av_movie.h"
#include "recording_test_kit.h"

namespace fs = std::filesystem;

namespace {

using MovieWriterTest = RecordingFixture;

// The top-level boxes of a QuickTime file, in order.
std::vector<std::string> top_level_boxes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> boxes;
    unsigned char head[16];
    while (in.read(reinterpret_cast<char*>(head), 8)) {
        uint64_t size = uint64_t{head[0]} << 24 | head[1] << 16 | head[2] << 8 | head[3];
        boxes.emplace_back(reinterpret_cast<char*>(head) + 4, 4);
        uint64_t header = 8;
        if (size == 1 && in.read(reinterpret_cast<char*>(head + 8), 8)) {
            size = 0;
            for (int i = 8; i < 16; ++i) size = size << 8 | head[i];
            header = 16;
        }
        if (size < header) break;
        in.seekg(static_cast<std::streamoff>(size - header), std::ios::cur);
    }
    return boxes;
}

}  // namespace

// Every recording starts at 40 units (1/600 s) and lasts as the clock says, truncated; a frame
// in the same millisecond or after the clock went back still lasts one unit.
TEST_F(MovieWriterTest, DefaultMovieIsPhotoJpegTimedByTheClockIn600ths) {
    LivePipeline p(r, 160, 120);
    p.drawPictures(2);  // not recording yet
    const std::string path = record(p, "clock.mov", {1000, 1041, 1073});
    const MovieInfo m = read_movie(path);
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.streams, 1);
    EXPECT_EQ(m.timeBaseDen, 600);
    EXPECT_EQ(fourcc_string(m.codecTag), "jpeg");
    EXPECT_EQ(m.width, 160);
    EXPECT_EQ(m.durations, (std::vector<int64_t>{40, 24, 19}));
    EXPECT_EQ(m.title, "screenMovie");
    EXPECT_EQ(read_movie(record(p, "back.mov", {5000, 5000, 4990, 4991, 5024})).durations,
              (std::vector<int64_t>{40, 1, 1, 1, 19}));
    EXPECT_EQ(r.RecordingOn, 0);
    EXPECT_TRUE(alerts.texts().empty());
    // The movie has the permissions of any new file, not the private ones of a temporary file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(static_cast<int>(fs::status(path).permissions()), static_cast<int>(0666 & ~mask));
}

struct CodecRow {
    const char* name;
    uint32_t type;
    double minPsnr;  // dB of the first picture against the one drawn; infinity: exact
};

class EveryCodec : public RecordingFixture, public ::testing::WithParamInterface<CodecRow> {};

// A standard movie with its index first, the drawn (mirrored) pictures, key frames every 24th
// sample, a frame rate players and transcoders read as the real one, nothing for ffmpeg to
// warn about.
TEST_P(EveryCodec, WritesAStandardMovieOfTheDrawnPictures) {
    const CodecRow& c = GetParam();
    const CodecInfo* info = find_codec_info(c.type);
    if (!codec_available(c.type)) GTEST_SKIP() << c.name << " is not built into this FFmpeg";
    LivePipeline p(r, 160, 120);
    ASSERT_TRUE(set_compression_settings(
        r, p.s, c.type, info->hasQuality ? codecNormalQuality : codecLosslessQuality));
    p.drawPictures(3);
    const std::string path = dir.file("movie.mov");
    ASSERT_TRUE(setup_recording(r, p.s, path));
    drawAt(p, 1000);
    const std::vector<uint8_t> first = p.drawn;
    for (int64_t ms : every(33, 59, 1033)) drawAt(p, ms);  // 30.3 pictures a second
    ASSERT_TRUE(finish_recording(r));
    EXPECT_TRUE(alerts.texts().empty());

    const std::vector<std::string> boxes = top_level_boxes(path);
    ASSERT_GE(boxes.size(), 3u);
    EXPECT_EQ(boxes[0], "ftyp");
    EXPECT_LT(std::find(boxes.begin(), boxes.end(), "moov"),
              std::find(boxes.begin(), boxes.end(), "mdat"));
    EXPECT_EQ(std::find(boxes.begin(), boxes.end(), "moof"), boxes.end());
    const MovieInfo m = read_movie(path);
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(fourcc_string(m.codecTag), fourcc_string(c.type));
    ASSERT_EQ(m.durations.size(), 60u);
    EXPECT_EQ(m.durations[0], 40);
    EXPECT_EQ(m.durations[59], 19);
    for (size_t i = 1; i < m.dts.size(); ++i) EXPECT_GT(m.dts[i], m.dts[i - 1]);
    for (size_t i = 0; i < m.sync.size(); ++i)
        EXPECT_EQ(m.sync[i], !info->temporal || i % 24 == 0) << "sample " << i;
    const double real = 1000.0 / 33;
    EXPECT_NEAR(m.avgFrameRate, real, real / 10);
    EXPECT_NEAR(m.rFrameRate, real, real / 10);
    EXPECT_NEAR(m.guessedFrameRate, real, real / 10);
    EXPECT_EQ(ffmpeg_warnings(path), "");

    std::vector<uint8_t> rgb;
    int w = 0, h = 0;
    std::string error;
    ASSERT_TRUE(decode_movie_frame(path, 0, rgb, w, h, error)) << error;
    ASSERT_EQ(w * h, 160 * 120);
    EXPECT_GE(psnr(rgb, first), c.minPsnr);
    std::vector<uint8_t> unmirrored(first.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x)
            unmirrored[3 * y * w + x] = first[3 * (y * w + w - 1 - x / 3) + x % 3];
    EXPECT_LT(psnr(rgb, unmirrored), 30.0);
}

constexpr double kExact = std::numeric_limits<double>::infinity();
INSTANTIATE_TEST_SUITE_P(Codecs, EveryCodec,
                         ::testing::Values(CodecRow{"PhotoJpeg", kJPEGCodecType, 35},
                                           CodecRow{"H264", kH264CodecType, 30},
                                           CodecRow{"ProRes422", kProRes422CodecType, 35},
                                           CodecRow{"Animation", kAnimationCodecType, kExact},
                                           CodecRow{"Png", kPNGCodecType, kExact},
                                           CodecRow{"Raw", kRawCodecType, kExact}),
                         [](const auto& info) { return std::string(info.param.name); });

// A FIFO (without a reader, it would block) and a device are no movie files: refused with one
// alert, left as they were, nothing recorded.
TEST_F(MovieWriterTest, ANonRegularFileIsRefused) {
    LivePipeline p(r, 160, 120);
    const std::string fifo = dir.file("pipe.mov");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/null")}) {
        AlertSpy::texts().clear();
        EXPECT_FALSE(setup_recording(r, p.s, path)) << path;
        EXPECT_EQ(AlertSpy::texts().size(), 1u) << path;
        EXPECT_EQ(r.RecordingOn, 0) << path;
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    p.drawPictures(3);
    EXPECT_EQ(p.recordedFrames, 0);
}

TEST_F(MovieWriterTest, ARecordingWithoutFramesLeavesNoFile) {
    LivePipeline p(r, 160, 120);
    const std::string path = dir.file("empty.mov");
    ASSERT_TRUE(setup_recording(r, p.s, path));
    EXPECT_TRUE(finish_recording(r));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(alerts.texts().empty());
}
