// SPDX-License-Identifier: MIT
#include "settings_store.h"

#include <QSettings>
#include <QVariant>
#include <algorithm>
#include <iterator>

#include "recording_types.h"

namespace {

constexpr int kMaxKeyFrameRate = 1000;  // frames
constexpr int kMaxCameraLength = 4096;  // characters
constexpr uint32_t kCodecs[] = {kJPEGCodecType,      kH264CodecType, kProRes422CodecType,
                                kAnimationCodecType, kPNGCodecType,  kRawCodecType};

bool is_text(const QVariant& v) {
    return v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray;
}

// A file stores booleans as "true"/"false"; a native store may give a real bool.
bool read_bool(const QSettings& s, const char* key, bool fallback) {
    const QVariant v = s.value(QLatin1String(key));
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    if (!is_text(v)) return fallback;
    const QString t = v.toString();
    if (t == QLatin1String("true")) return true;
    if (t == QLatin1String("false")) return false;
    return fallback;
}

int read_int(const QSettings& s, const char* key, int low, int high, int fallback) {
    const QVariant v = s.value(QLatin1String(key));
    bool ok = false;
    qlonglong n = 0;
    if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong ||
        v.typeId() == QMetaType::UInt) {
        n = v.toLongLong(&ok);
    } else if (is_text(v)) {
        n = v.toString().toLongLong(&ok);
    }
    return ok && n >= low && n <= high ? static_cast<int>(n) : fallback;
}

QString read_text(const QSettings& s, const char* key) {
    const QVariant v = s.value(QLatin1String(key));
    if (v.typeId() != QMetaType::QString) return {};
    const QString t = v.toString();
    if (t.size() > kMaxCameraLength || t.contains(QLatin1Char('\n')) || t.contains(QChar(0)))
        return {};
    return t;
}

QString fourcc_text(uint32_t type) {
    QString t;
    for (int shift = 24; shift >= 0; shift -= 8) t += QChar((type >> shift) & 0xFF);
    return t;
}

uint32_t read_codec(const QSettings& s) {
    const QString t = read_text(s, settings_key::codec);
    for (uint32_t c : kCodecs) {
        if (t == fourcc_text(c)) return c;
    }
    return 0;
}

}  // namespace

StoredSettings read_settings(const QSettings& s) {
    StoredSettings d;
    StoredSettings r;
    r.effect = read_int(s, settings_key::effect, 0, 5, d.effect);
    r.normal = read_bool(s, settings_key::normal, d.normal);
    r.mirror = read_bool(s, settings_key::mirror, d.mirror);
    r.fullSize = read_bool(s, settings_key::fullSize, d.fullSize);
    r.maxHeight = read_int(s, settings_key::maxHeight, 0, kNativeMaxHeight, d.maxHeight);
    if (std::find(std::begin(kResolutionHeights), std::end(kResolutionHeights), r.maxHeight) ==
        std::end(kResolutionHeights))
        r.maxHeight = d.maxHeight;
    r.virtualCamera = read_bool(s, settings_key::virtualCamera, d.virtualCamera);
    r.camera = read_text(s, settings_key::camera);
    r.codecType = read_codec(s);
    r.spatialQuality =
        read_int(s, settings_key::quality, codecMinQuality, codecLosslessQuality, -1);
    r.keyFrameRate = read_int(s, settings_key::keyFrameRate, 0, kMaxKeyFrameRate, -1);
    // The three go together: a compressor is set up from all of them or from none.
    r.hasCompression = r.codecType != 0 && r.spatialQuality >= 0 && r.keyFrameRate >= 0;
    if (!r.hasCompression) {
        r.codecType = d.codecType;
        r.spatialQuality = d.spatialQuality;
        r.keyFrameRate = d.keyFrameRate;
    }
    const QVariant g = s.value(QLatin1String(settings_key::windowGeometry));
    if (g.typeId() == QMetaType::QByteArray) r.windowGeometry = g.toByteArray();
    r.snapshotCountdown = read_bool(s, settings_key::snapshotCountdown, d.snapshotCountdown);
    return r;
}

void write_settings(QSettings& s, const StoredSettings& v) {
    s.setValue(QLatin1String(settings_key::effect), v.effect);
    s.setValue(QLatin1String(settings_key::normal), v.normal);
    s.setValue(QLatin1String(settings_key::mirror), v.mirror);
    s.setValue(QLatin1String(settings_key::fullSize), v.fullSize);
    s.setValue(QLatin1String(settings_key::maxHeight), v.maxHeight);
    s.setValue(QLatin1String(settings_key::virtualCamera), v.virtualCamera);
    s.setValue(QLatin1String(settings_key::camera), v.camera);
    if (v.hasCompression) {
        s.setValue(QLatin1String(settings_key::codec), fourcc_text(v.codecType));
        s.setValue(QLatin1String(settings_key::quality), v.spatialQuality);
        s.setValue(QLatin1String(settings_key::keyFrameRate), v.keyFrameRate);
    }
    s.setValue(QLatin1String(settings_key::windowGeometry), v.windowGeometry);
    s.setValue(QLatin1String(settings_key::snapshotCountdown), v.snapshotCountdown);
    s.sync();
}
