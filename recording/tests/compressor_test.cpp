// SPDX-License-Identifier: MIT
#include "av_movie.h"
#include "recording_test_kit.h"

namespace {

PipelineState working_size(int w, int h) {
    PipelineState s;
    s.Width = w;
    s.Height = h;
    return s;
}

}  // namespace

TEST(CreateVideoCompressor, GivesTheRecordingSettings) {
    AlertSpy alerts;
    RecordingState r;
    const PipelineState s = working_size(320, 240);
    ASSERT_TRUE(create_video_compressor(r, s));
    ASSERT_TRUE(r.RecVideoCI);
    SCSpatialSettings sp;
    SCTemporalSettings tp;
    r.RecVideoCI->getInfo(sp);
    r.RecVideoCI->getInfo(tp);
    EXPECT_EQ(sp.codecType, kJPEGCodecType);
    EXPECT_EQ(sp.codec, 0);
    EXPECT_EQ(sp.depth, 32);
    EXPECT_EQ(sp.spatialQuality, codecNormalQuality);
    EXPECT_EQ(tp.temporalQuality, codecMinQuality);
    EXPECT_EQ(tp.keyFrameRate, 24);
    // Made before any recording (RecRTFrameDuration still 0): 15 frames per second, as a
    // recording's first frame gives.
    EXPECT_EQ(r.RecRTFrameDuration, 0);
    EXPECT_EQ(tp.frameRate, 15 << 16);
    EXPECT_EQ(r.RecFramePM.rowBytes, 1296);
    EXPECT_TRUE(alerts.texts().empty());
}

TEST(CreateVideoCompressor, FrameRateFollowsTheFrameDuration) {
    RecordingState r;
    r.RecRTFrameDuration = 40;
    EXPECT_EQ(rec_frame_rate(r), 15 << 16);
    r.RecRTFrameDuration = 24;
    EXPECT_EQ(rec_frame_rate(r), 25 << 16);
    r.RecRTFrameDuration = 0;
    EXPECT_EQ(rec_frame_rate(r), 15 << 16);
}

TEST(CreateVideoCompressor, RefusedSettingsAreReportedAndKeepTheOldOnes) {
    AlertSpy alerts;
    RecordingState r;
    const PipelineState s = working_size(160, 120);
    EXPECT_FALSE(set_compression_settings(r, s, fourcc("cvid"), codecNormalQuality));
    EXPECT_FALSE(set_compression_settings(r, s, kJPEGCodecType, codecLosslessQuality));
    ASSERT_EQ(AlertSpy::texts().size(), 2u);
    EXPECT_EQ(AlertSpy::texts()[0].rfind("SCSetInfo scSpatialSettingsType\nerror code = -8961", 0),
              0u);
    EXPECT_EQ(r.RecCodecType, kJPEGCodecType);
    SCSpatialSettings sp;
    r.RecVideoCI->getInfo(sp);
    EXPECT_EQ(sp.codecType, kJPEGCodecType);
    EXPECT_EQ(sp.spatialQuality, codecNormalQuality);
}

TEST(AvailableCodecs, PhotoJpegFirstAndEachUnderItsQuickTimeCode) {
    const std::vector<CodecInfo> codecs = available_codecs();
    ASSERT_FALSE(codecs.empty());
    EXPECT_EQ(codecs[0].type, kJPEGCodecType);
    EXPECT_STREQ(codecs[0].name, "Photo-JPEG");
    for (uint32_t t : {kJPEGCodecType, kProRes422CodecType, kAnimationCodecType, kPNGCodecType,
                       kRawCodecType})
        EXPECT_TRUE(codec_available(t)) << fourcc_string(t);
    EXPECT_FALSE(codec_available(fourcc("cvid")));
    EXPECT_EQ(find_codec_info(kRawCodecType)->name, std::string("None"));
}

TEST(CompressPreview, DecodesBackTheTestImage) {
    RecordingState r;
    const PipelineState s = working_size(64, 48);
    ASSERT_TRUE(setup_rec_frame_pixmap(r, s));
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* px = r.RecFramePM.baseAddr + y * r.RecFramePM.rowBytes + 4 * x;
            px[0] = 0xFF;
            px[1] = static_cast<uint8_t>(4 * x);
            px[2] = static_cast<uint8_t>(5 * y);
            px[3] = static_cast<uint8_t>(x ^ y);
        }
    SCTemporalSettings tp{0, 15 << 16, 24};
    for (const CodecInfo& c : available_codecs()) {
        SCOPED_TRACE(c.name);
        PreviewImage out;
        SCSpatialSettings sp{c.type, 0, 32, c.hasQuality ? codecHighQuality : codecLosslessQuality};
        ASSERT_EQ(compress_preview(sp, tp, r.MoviePixMap, out), 0);
        ASSERT_EQ(out.width, 64);
        ASSERT_EQ(out.height, 48);
        EXPECT_GT(out.compressedBytes, 0);
        if (c.hasQuality) continue;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                for (int k = 0; k < 3; ++k)
                    ASSERT_EQ(out.rgbx[y * out.rowBytes + 4 * x + k],
                              r.RecFramePM.baseAddr[y * r.RecFramePM.rowBytes + 4 * x + 1 + k]);
    }
}
