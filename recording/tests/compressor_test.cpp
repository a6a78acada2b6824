// SPDX-License-Identifier: MIT
#include "av_movie.h"
#include "recording_test_kit.h"

// Made before any recording: Photo-JPEG at normal quality, a key frame every 24 and the 15
// frames a second of a recording's first frame; refused settings keep those.
TEST(VideoCompressor, StartsWithTheRecordingSettingsAndKeepsThemWhenRefused) {
    AlertSpy alerts;
    RecordingState r;
    const PipelineState s = working_size(320, 240);
    ASSERT_TRUE(create_video_compressor(r, s));
    EXPECT_TRUE(alerts.texts().empty());
    EXPECT_FALSE(set_compression_settings(r, s, fourcc("cvid"), codecNormalQuality));
    EXPECT_FALSE(set_compression_settings(r, s, kJPEGCodecType, codecLosslessQuality));
    ASSERT_EQ(AlertSpy::texts().size(), 2u);
    EXPECT_EQ(AlertSpy::texts()[1].rfind("SCSetInfo scSpatialSettingsType\nerror code = -50", 0),
              0u);
    EXPECT_EQ(r.RecCodecType, kJPEGCodecType);
    SCSpatialSettings sp;
    SCTemporalSettings tp;
    r.RecVideoCI->getInfo(sp);
    r.RecVideoCI->getInfo(tp);
    EXPECT_EQ(sp.codecType, kJPEGCodecType);
    EXPECT_EQ(sp.spatialQuality, codecNormalQuality);
    EXPECT_EQ(tp.keyFrameRate, 24);
    EXPECT_EQ(tp.frameRate, 15 << 16);
    r.RecRTFrameDuration = 24;
    EXPECT_EQ(rec_frame_rate(r), 25 << 16);
}

// The settings dialog's preview: every lossless compressor gives the test image back.
TEST(CompressPreview, DecodesBackTheTestImage) {
    RecordingState r;
    ASSERT_TRUE(setup_rec_frame_pixmap(r, working_size(64, 48)));
    const PixMap& pm = r.RecFramePM;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            for (int k = 0; k < 4; ++k)
                pm.baseAddr[y * pm.rowBytes + 4 * x + k] = static_cast<uint8_t>(k == 0   ? 0xFF
                                                                                : k == 1 ? 4 * x
                                                                                : k == 2 ? 5 * y
                                                                                         : x ^ y);
    for (const CodecInfo& c : available_codecs()) {
        SCOPED_TRACE(c.name);
        PreviewImage out;
        SCSpatialSettings sp{c.type, 0, 32, c.hasQuality ? codecHighQuality : codecLosslessQuality};
        ASSERT_EQ(compress_preview(sp, SCTemporalSettings{0, 15 << 16, 24}, r.MoviePixMap, out), 0);
        ASSERT_EQ(out.width * out.height, 64 * 48);
        EXPECT_GT(out.compressedBytes, 0);
        for (int i = 0; i < 64 * 48 && !c.hasQuality; ++i)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(out.rgbx[4 * i + k],
                          pm.baseAddr[i / 64 * pm.rowBytes + 4 * (i % 64) + 1 + k]);
    }
}
