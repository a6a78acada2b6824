// SPDX-License-Identifier: MIT
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <limits>

#include "av_movie.h"
#include "recording_test_kit.h"

namespace fs = std::filesystem;

using MovieWriterTest = RecordingFixture;

// Made before any recording: Photo-JPEG at normal quality, a key frame every 24 and the 15
// frames a second of a recording's first frame; refused settings keep those.
TEST_F(MovieWriterTest, CompressorStartsWithTheRecordingSettingsAndKeepsThemWhenRefused) {
    ASSERT_TRUE(create_video_compressor(r, pictures.s));
    EXPECT_FALSE(set_compression_settings(r, pictures.s, fourcc("cvid"), codecNormalQuality));
    EXPECT_FALSE(set_compression_settings(r, pictures.s, kJPEGCodecType, codecLosslessQuality));
    ASSERT_EQ(alerts.calls().size(), 2u);
    EXPECT_EQ(alerts.calls()[1].text.rfind("SCSetInfo scSpatialSettingsType\nerror code = -50", 0), 0u);
    SCSpatialSettings sp;
    SCTemporalSettings tp;
    r.RecVideoCI->getInfo(sp);
    r.RecVideoCI->getInfo(tp);
    EXPECT_EQ(r.RecCodecType, kJPEGCodecType);
    EXPECT_EQ(sp.codecType, kJPEGCodecType);
    EXPECT_EQ(sp.spatialQuality, codecNormalQuality);
    EXPECT_EQ(tp.keyFrameRate, 24);
    EXPECT_EQ(tp.frameRate, 15 << 16);
    r.RecRTFrameDuration = 24;
    EXPECT_EQ(rec_frame_rate(r), 25 << 16);
}

// Every recording starts at 40 units (1/600 s) and lasts as the clock says, truncated; a frame
// in the same millisecond or after the clock went back still lasts one unit. Without a frame
// there is no movie.
TEST_F(MovieWriterTest, TimesFramesByTheClockIn600thsAndLeavesNoFileWithoutFrames) {
    EXPECT_EQ(read_movie(record("clock.mov", {1000, 1041, 1073})).durations,
              (std::vector<int64_t>{40, 24, 19}));
    EXPECT_EQ(read_movie(record("back.mov", {5000, 5000, 4990, 4991, 5024})).durations,
              (std::vector<int64_t>{40, 1, 1, 1, 19}));
    EXPECT_FALSE(fs::exists(record("empty.mov", {})));
    EXPECT_EQ(r.RecordingOn, 0);
    EXPECT_TRUE(alerts.calls().empty());
}

struct DestinationRow {
    const char* name;
    const char* path;   // in the test's folder, where pipe.mov is a FIFO without a reader
    const char* alert;  // how the one alert starts
    friend void PrintTo(const DestinationRow& row, std::ostream* os) { *os << row.name; }
};

class Destination : public RecordingFixture, public ::testing::WithParamInterface<DestinationRow> {};

// What is no movie file is refused at once, with one alert, and left as it was. The alarm ends a
// recording that would wait for a reader instead.
TEST_P(Destination, ThatIsNoMovieFileIsRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(dir.path("pipe.mov").c_str(), 0600), 0);
    const fs::path path = dir.path(GetParam().path);
    const fs::file_type before = fs::status(path).type();
    ::alarm(20);
    EXPECT_FALSE(setup_recording(r, pictures.s, path));
    ::alarm(0);
    ASSERT_EQ(alerts.calls().size(), 1u);
    EXPECT_EQ(alerts.calls()[0].text.rfind(GetParam().alert, 0), 0u) << alerts.calls()[0].text;
    EXPECT_EQ(r.RecordingOn, 0);
    EXPECT_EQ(fs::status(path).type(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Refused, Destination,
    ::testing::Values(DestinationRow{"FifoWithoutReader", "pipe.mov", "Cannot create new file"},
                      DestinationRow{"DevNull", "/dev/null", "FSGetCatalogInfo"},
                      DestinationRow{"MissingFolder", "missing/movie.mov", "Cannot create new file"}),
    [](const auto& info) { return std::string(info.param.name); });

struct CodecRow {
    const char* name;
    uint32_t type;
    double minPsnr;  // dB of the first picture against the one drawn; infinity: exact
    friend void PrintTo(const CodecRow& row, std::ostream* os) { *os << row.name; }
};

class EveryCodec : public RecordingFixture, public ::testing::WithParamInterface<CodecRow> {};

// A standard movie with its index first, the drawn pictures, key frames every 24th
// sample, a frame rate players and transcoders read as the real one, nothing for ffmpeg to
// warn about, the permissions of any new file. Photo-JPEG at normal quality is the default.
TEST_P(EveryCodec, WritesAStandardMovieOfTheDrawnPictures) {
    const CodecRow& c = GetParam();
    const CodecInfo* info = find_codec_info(c.type);
    if (!codec_available(c.type)) GTEST_SKIP() << c.name << " is not built into this FFmpeg";
    ASSERT_TRUE(c.type == kJPEGCodecType ||  // the default
                set_compression_settings(r, pictures.s, c.type,
                                         info->hasQuality ? codecNormalQuality : codecLosslessQuality));
    const std::string path = record("movie.mov", every(33, 60));  // 30.3 pictures a second
    EXPECT_TRUE(alerts.calls().empty());

    std::ifstream in(path, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(bytes.substr(4, 4), "ftyp");
    EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
    EXPECT_EQ(bytes.find("moof"), std::string::npos);  // no longer fragmented
    const MovieInfo m = read_movie(path);
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.streams, 1);
    EXPECT_EQ(m.timeBaseDen, 600);
    EXPECT_EQ(m.codecTag, c.type);
    EXPECT_EQ(m.width, 160);
    EXPECT_EQ(m.title, "screenMovie");
    ASSERT_EQ(m.durations.size(), 60u);
    EXPECT_EQ(m.durations[0], 40);
    EXPECT_EQ(m.durations[59], 19);
    for (size_t i = 1; i < m.dts.size(); ++i) EXPECT_GT(m.dts[i], m.dts[i - 1]);
    for (size_t i = 0; i < m.sync.size(); ++i)
        EXPECT_EQ(m.sync[i], !info->temporal || i % 24 == 0) << "sample " << i;
    for (double rate : {m.avgFrameRate, m.rFrameRate, m.guessedFrameRate})
        EXPECT_NEAR(rate, 1000.0 / 33, 3.0);
    EXPECT_EQ(ffmpeg_warnings(path), "");
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(static_cast<int>(fs::status(path).permissions()), static_cast<int>(0666 & ~mask));

    std::vector<uint8_t> rgb;
    int w = 0, h = 0;
    std::string error;
    ASSERT_TRUE(decode_movie_frame(path, 0, rgb, w, h, error)) << error;
    ASSERT_EQ(w * h, 160 * 120);
    pictures.draw(1);  // the first one recorded
    EXPECT_GE(psnr(rgb, pictures.rgb), c.minPsnr);
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
