// SPDX-License-Identifier: MIT
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "av_movie.h"
#include "recording_test_kit.h"

namespace fs = std::filesystem;

namespace {

// A recording on a live pipeline with a clock the test sets, in milliseconds.
class MovieWriterTest : public ::testing::Test {
protected:
    MovieWriterTest() {
        r.clock = [this] { return nowMs * 1000; };
    }

    // Draws one picture at clock time ms.
    void drawAt(LivePipeline& p, int64_t ms) {
        nowMs = ms;
        const int before = p.recordedFrames;
        for (int guard = 0; guard < 8 && p.recordedFrames == before; ++guard) p.frame();
        ASSERT_EQ(p.recordedFrames, before + 1);
    }

    AlertSpy alerts;
    TempDir dir;
    RecordingState r;
    int64_t nowMs = 0;
};

}  // namespace

TEST_F(MovieWriterTest, DefaultMovieIsPhotoJpegTimedByTheClockIn600ths) {
    LivePipeline p(r, 320, 240);
    ASSERT_TRUE(p.cameraOk());
    p.drawPictures(2);  // not recording yet
    const std::string path = dir.file("clock.mov");
    ASSERT_TRUE(setup_recording(r, p.s, path));
    EXPECT_EQ(r.RecordingOn, 1);
    drawAt(p, 1000);
    drawAt(p, 1040);
    drawAt(p, 1073);
    EXPECT_EQ(r.RecMediaDuration, 83);
    ASSERT_TRUE(finish_recording(r));
    EXPECT_EQ(r.RecordingOn, 0);
    EXPECT_TRUE(alerts.texts().empty());

    const MovieInfo m = read_movie(path);
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.streams, 1);
    EXPECT_EQ(m.videoStreams, 1);
    EXPECT_EQ(m.timeBaseNum, 1);
    EXPECT_EQ(m.timeBaseDen, 600);
    EXPECT_EQ(fourcc_string(m.codecTag), "jpeg");
    EXPECT_EQ(m.width, 320);
    EXPECT_EQ(m.height, 240);
    EXPECT_EQ(m.durations, (std::vector<int64_t>{40, 24, 19}));
    EXPECT_EQ(m.totalDuration(), 83);
    EXPECT_EQ(m.title, "screenMovie");
}

TEST_F(MovieWriterTest, EveryRecordingStartsAt40AndIntervalsNeverGiveZero) {
    LivePipeline p(r, 160, 120);
    ASSERT_TRUE(p.cameraOk());
    p.drawPictures(2);
    const std::string first = dir.file("first.mov"), second = dir.file("second.mov");
    ASSERT_TRUE(setup_recording(r, p.s, first));
    drawAt(p, 1000);
    drawAt(p, 1041);  // 24.6 truncated
    drawAt(p, 1043);  // 2 ms: 1 unit
    ASSERT_TRUE(finish_recording(r));

    ASSERT_TRUE(setup_recording(r, p.s, second));
    drawAt(p, 5000);  // first frame of this recording
    drawAt(p, 5000);  // same millisecond
    drawAt(p, 4990);  // the clock went back
    drawAt(p, 4991);  // 1 ms: 0.6 units
    drawAt(p, 5024);  // measured from the previous reading
    ASSERT_TRUE(finish_recording(r));
    EXPECT_TRUE(alerts.texts().empty());

    EXPECT_EQ(read_movie(first).durations, (std::vector<int64_t>{40, 24, 1}));
    const MovieInfo m = read_movie(second);
    EXPECT_EQ(m.durations, (std::vector<int64_t>{40, 1, 1, 1, 19}));
    EXPECT_EQ(m.totalDuration(), 62);
}

TEST_F(MovieWriterTest, KeyFramesEvery24thSampleAndOnlyThoseSync) {
    for (uint32_t type : {kAnimationCodecType, kH264CodecType}) {
        if (!codec_available(type)) continue;
        SCOPED_TRACE(fourcc_string(type));
        RecordingState rs;
        rs.clock = [this] { return nowMs * 1000; };
        LivePipeline p(rs, 160, 120);
        ASSERT_TRUE(set_compression_settings(rs, p.s, type, codecNormalQuality));
        const std::string path = dir.file(fourcc_string(type).substr(0, 3) + ".mov");
        ASSERT_TRUE(setup_recording(rs, p.s, path));
        for (int i = 0; i < 60; ++i) {
            nowMs = 1000 + 33 * i;
            p.frame();
        }
        ASSERT_TRUE(finish_recording(rs));
        const MovieInfo m = read_movie(path);
        ASSERT_EQ(m.error, "");
        EXPECT_EQ(fourcc_string(m.codecTag), fourcc_string(type));
        ASSERT_GE(m.sync.size(), 50u);
        for (size_t i = 0; i < m.sync.size(); ++i) EXPECT_EQ(m.sync[i], i % 24 == 0) << "sample " << i;
    }
    EXPECT_TRUE(alerts.texts().empty());
}

TEST_F(MovieWriterTest, AnExistingFileIsReplaced) {
    const std::string path = dir.file("existing.mov");
    {
        std::ofstream junk(path, std::ios::binary);
        junk << std::string(200000, 'x');
    }
    LivePipeline p(r, 160, 120);
    p.drawPictures(2);
    ASSERT_TRUE(setup_recording(r, p.s, path));
    drawAt(p, 100);
    drawAt(p, 140);
    ASSERT_TRUE(finish_recording(r));
    const MovieInfo m = read_movie(path);
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.durations.size(), 2u);
    std::ifstream in(path, std::ios::binary);
    std::string head(16, '\0');
    in.read(head.data(), 16);
    EXPECT_EQ(head.find("xxxx"), std::string::npos);
    EXPECT_EQ(head.substr(4, 4), "ftyp");
}

TEST_F(MovieWriterTest, FirstFrameIsTheDrawnMirroredPicture) {
    struct Case {
        uint32_t type;
        double minPsnr;  // dB; infinity: exact
    };
    const double exact = std::numeric_limits<double>::infinity();
    for (const Case c : {Case{kJPEGCodecType, 35.0}, Case{kRawCodecType, exact},
                         Case{kPNGCodecType, exact}, Case{kAnimationCodecType, exact}}) {
        if (!codec_available(c.type)) continue;
        SCOPED_TRACE(fourcc_string(c.type));
        RecordingState rs;
        LivePipeline p(rs, 320, 240);
        ASSERT_TRUE(p.v.mirrorMode);
        if (c.type != kJPEGCodecType) {
            ASSERT_TRUE(set_compression_settings(rs, p.s, c.type, codecLosslessQuality));
        }
        p.drawPictures(3);
        const std::string path = dir.file(fourcc_string(c.type).substr(0, 3) + "-first.mov");
        ASSERT_TRUE(setup_recording(rs, p.s, path));
        p.drawPictures(1);
        const std::vector<uint8_t> firstDrawn = p.drawn;
        p.drawPictures(2);
        ASSERT_TRUE(finish_recording(rs));

        std::vector<uint8_t> rgb;
        int w = 0, h = 0;
        std::string error;
        ASSERT_TRUE(decode_movie_frame(path, 0, rgb, w, h, error)) << error;
        ASSERT_EQ(w, 320);
        ASSERT_EQ(h, 240);
        const double db = psnr(rgb, firstDrawn);
        EXPECT_GE(db, c.minPsnr) << "PSNR " << db << " dB";
        // The unmirrored picture is further from it: the movie holds the picture as drawn.
        std::vector<uint8_t> flipped(firstDrawn.size());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int k = 0; k < 3; ++k)
                    flipped[3 * (y * w + x) + k] = firstDrawn[3 * (y * w + (w - 1 - x)) + k];
        EXPECT_LT(psnr(rgb, flipped), 30.0);
    }
    EXPECT_TRUE(alerts.texts().empty());
}

TEST_F(MovieWriterTest, EveryAvailableCodecWritesAPlayableMovie) {
    for (const CodecInfo& c : available_codecs()) {
        SCOPED_TRACE(c.name);
        RecordingState rs;
        rs.clock = [this] { return nowMs * 1000; };
        LivePipeline p(rs, 160, 120);
        ASSERT_TRUE(set_compression_settings(rs, p.s, c.type,
                                             c.hasQuality ? codecHighQuality : codecLosslessQuality));
        const std::string path = dir.file(std::string(c.option) + ".mov");
        ASSERT_TRUE(setup_recording(rs, p.s, path));
        for (int i = 0; i < 8; ++i) {
            nowMs = 2000 + 40 * i;
            p.frame();
        }
        ASSERT_TRUE(finish_recording(rs));
        const MovieInfo m = read_movie(path);
        ASSERT_EQ(m.error, "");
        EXPECT_EQ(fourcc_string(m.codecTag), fourcc_string(c.type));
        EXPECT_EQ(m.timeBaseDen, 600);
        EXPECT_EQ(m.durations.size(), static_cast<size_t>(p.recordedFrames));
        for (size_t i = 1; i < m.durations.size(); ++i) EXPECT_EQ(m.durations[i], 24);
        std::vector<uint8_t> rgb;
        int w = 0, h = 0;
        std::string error;
        EXPECT_TRUE(decode_movie_frame(path, static_cast<int>(m.durations.size()) - 1, rgb, w, h,
                                       error))
            << error;
    }
    EXPECT_TRUE(alerts.texts().empty());
}

TEST_F(MovieWriterTest, AnUnwritableDirectoryGivesCannotCreateNewFile) {
    LivePipeline p(r, 160, 120);
    for (const std::string& path : {dir.file("missing/WobbleMovie.mov"),
                                   std::string("/proc/WobbleMovie.mov")}) {
        AlertSpy::texts().clear();
        EXPECT_FALSE(setup_recording(r, p.s, path));
        EXPECT_EQ(AlertSpy::texts(), (std::vector<std::string>{"Cannot create new file"}));
        EXPECT_EQ(r.RecordingOn, 0);
        EXPECT_FALSE(fs::exists(path));
    }
    p.drawPictures(3);
    EXPECT_EQ(p.recordedFrames, 0);
}

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

// Every codec: a standard movie with its index first, timestamps that rise, a frame rate that
// players and transcoders read as the real one, and nothing for ffmpeg to warn about.
TEST_F(MovieWriterTest, AFinishedMovieIsStandardAndStatesItsRealRate) {
    for (const CodecInfo& c : available_codecs()) {
        SCOPED_TRACE(c.name);
        RecordingState rs;
        rs.clock = [this] { return nowMs * 1000; };
        LivePipeline p(rs, 160, 120);
        ASSERT_TRUE(set_compression_settings(
            rs, p.s, c.type, c.hasQuality ? codecNormalQuality : codecLosslessQuality));
        p.drawPictures(3);
        const std::string path = dir.file(std::string(c.option) + "-std.mov");
        ASSERT_TRUE(setup_recording(rs, p.s, path));
        for (int i = 0; i < 60; ++i) {
            nowMs = 1000 + 33 * i;  // 30.3 pictures a second
            p.frame();
        }
        ASSERT_TRUE(finish_recording(rs));
        const std::vector<std::string> boxes = top_level_boxes(path);
        ASSERT_GE(boxes.size(), 3u);
        EXPECT_EQ(boxes[0], "ftyp");
        const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
        EXPECT_LT(moov, std::find(boxes.begin(), boxes.end(), "mdat"));
        EXPECT_EQ(std::find(boxes.begin(), boxes.end(), "moof"), boxes.end());

        const MovieInfo m = read_movie(path);
        ASSERT_EQ(m.durations.size(), 60u);
        EXPECT_EQ(m.durations[0], 40);
        EXPECT_EQ(m.durations[59], 19);
        for (size_t i = 1; i < m.dts.size(); ++i) EXPECT_GT(m.dts[i], m.dts[i - 1]);
        const double real = 1000.0 / 33;
        EXPECT_NEAR(m.avgFrameRate, real, real / 10);
        EXPECT_NEAR(m.rFrameRate, real, real / 10);
        EXPECT_NEAR(m.guessedFrameRate, real, real / 10);
        EXPECT_EQ(ffmpeg_warnings(path), "");
    }
}

TEST_F(MovieWriterTest, ARecordingWithoutFramesLeavesNoFile) {
    LivePipeline p(r, 160, 120);
    const std::string path = dir.file("empty.mov");
    ASSERT_TRUE(setup_recording(r, p.s, path));
    EXPECT_TRUE(fs::exists(path));
    EXPECT_TRUE(finish_recording(r));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(alerts.texts().empty());
}

TEST_F(MovieWriterTest, TheWorkingSizeHoldsUntilTheRecordingEnds) {
    LivePipeline p(r, 160, 120);
    p.drawPictures(2);
    const std::string path = dir.file("size.mov");
    ASSERT_TRUE(setup_recording(r, p.s, path));
    p.controls.sizeSwitchState = 1;  // full size asked for while recording
    for (int i = 0; i < 4; ++i) drawAt(p, 1000 + 40 * i);
    EXPECT_EQ(p.s.Width, 160);
    EXPECT_EQ(p.v.currentSize, kHalfSize);
    ASSERT_TRUE(finish_recording(r));
    const MovieInfo m = read_movie(path);
    EXPECT_EQ(m.width, 160);
    EXPECT_EQ(m.durations.size(), 4u);
    // The first pass after the recording applies it.
    EXPECT_TRUE(p.frame());
    EXPECT_EQ(p.v.currentSize, kFullSize);
    EXPECT_EQ(p.s.Width, 320);
}
