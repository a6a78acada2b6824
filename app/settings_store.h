// SPDX-License-Identifier: MIT
// What the program remembers between runs, under the organisation "Wobblescope" (on Linux
// ~/.config/Wobblescope/Wobblescope.conf). Every value is checked when read: one of the wrong type
// or out of range gives its default. TimerArray is read by the schedule and never written.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "grabber.h"

class QSettings;

struct StoredSettings {
    int effect = 0;                  // mode index 0 to 5
    bool normal = false;             // the plain picture instead of the effect
    bool mirror = true;              // flipped left to right
    bool fullSize = false;           // processing resolution: full (true) or half
    int maxHeight = kMaxCameraHeight;  // lines the camera picture keeps: one of kResolutionHeights
    bool virtualCamera = false;      // the picture offered as a camera (its switch also writes it)
    QString camera;                  // the camera source; empty for the default one
    bool hasCompression = false;     // the three compression values below were stored
    uint32_t codecType = 0;          // fourcc of one of the recording's codecs
    int32_t spatialQuality = 0;      // codecMinQuality to codecLosslessQuality
    int32_t keyFrameRate = 0;        // frames; 0: only the first
    QByteArray windowGeometry;       // QWidget::saveGeometry; empty for the camera's size
    bool snapshotCountdown = false;  // count three seconds down before saving a picture

    bool operator==(const StoredSettings&) const = default;
};

// The keys, as they appear in the file.
namespace settings_key {
inline constexpr const char* effect = "effect";
inline constexpr const char* normal = "normal";
inline constexpr const char* mirror = "mirror";
inline constexpr const char* fullSize = "fullSize";
inline constexpr const char* maxHeight = "maxHeight";
inline constexpr const char* virtualCamera = "virtualCamera";
inline constexpr const char* camera = "camera";
inline constexpr const char* codec = "compression/codec";
inline constexpr const char* quality = "compression/quality";
inline constexpr const char* keyFrameRate = "compression/keyFrameRate";
inline constexpr const char* windowGeometry = "windowGeometry";
inline constexpr const char* snapshotCountdown = "snapshotCountdown";
}  // namespace settings_key

StoredSettings read_settings(const QSettings& settings);
// Writes every value but TimerArray, which the program only reads.
void write_settings(QSettings& settings, const StoredSettings& values);
