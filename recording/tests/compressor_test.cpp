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
