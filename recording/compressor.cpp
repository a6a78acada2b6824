// SPDX-License-Identifier: MIT
#include "av_movie.h"
#include "error_msg.h"
#include "recording.h"

RecordingState::RecordingState() = default;
RecordingState::~RecordingState() = default;

Fixed rec_frame_rate(const RecordingState& r) {
    // Before any recording the duration is still 0; the rate of a recording's first frame
    // (40 units, 15 frames per second) stands in for it.
    const int32_t d = r.RecRTFrameDuration > 0 && r.RecRTFrameDuration <= INT16_MAX
                          ? r.RecRTFrameDuration
                          : kFirstFrameDuration;
    return FixRatio(kMovieTimeScale, static_cast<int16_t>(d));
}

bool create_video_compressor(RecordingState& r, const PipelineState& s) {
    r.RecVideoCI = VideoCompressor::openDefaultComponent();
    if (!r.RecVideoCI) {
        error_msg("OpenDefaultComponent", 0);
        return false;
    }
    if (!setup_rec_frame_pixmap(r, s)) return false;
    if (r.RecVideoCI->defaultPixMapSettings(r.MoviePixMap, true) < 0) {
        error_msg("SCDefaultPixMapSettings", 0);
        return false;
    }
    SCSpatialSettings spatial;
    spatial.codecType = r.RecCodecType;
    spatial.codec = 0;
    spatial.depth = 32;
    spatial.spatialQuality = codecNormalQuality;
    if (int16_t err = r.RecVideoCI->setInfo(spatial)) {
        error_msg("SCSetInfo scSpatialSettingsType in create_video_compressor", err);
        return false;
    }
    SCTemporalSettings temporal;
    temporal.temporalQuality = codecMinQuality;
    temporal.frameRate = rec_frame_rate(r);
    temporal.keyFrameRate = kKeyFrameRate;
    if (int16_t err = r.RecVideoCI->setInfo(temporal)) {
        error_msg("SCSetInfo scTemporalSettingsType in create_video_compressor", err);
        return false;
    }
    return true;
}

bool set_compression_settings(RecordingState& r, const PipelineState& s, uint32_t codecType,
                              int32_t spatialQuality) {
    if (!r.RecVideoCI && !create_video_compressor(r, s)) return false;
    SCSpatialSettings spatial;
    r.RecVideoCI->getInfo(spatial);
    spatial.codecType = codecType;
    spatial.spatialQuality = spatialQuality;
    if (int16_t err = r.RecVideoCI->setInfo(spatial)) {
        error_msg("SCSetInfo scSpatialSettingsType", err);
        return false;
    }
    r.RecCodecType = codecType;
    return true;
}
