// SPDX-License-Identifier: MIT
// The running average that exposure, motion trace, motion-driven delay and motion paint share:
// new = sample * 0.02 + old * 0.98, each product rounded before the sum.
#pragma once

#include "quad.h"

constexpr float kAverageNew = 0.02f;
constexpr float kAverageOld = 0.98f;

inline float running_average(float sample, float old) {
    return sample * kAverageNew + old * kAverageOld;
}

inline quad::f4 running_average4(quad::f4 sample4, quad::f4 old4) {
    using namespace quad;
    return add(mul(sample4, set4(kAverageNew)), mul(old4, set4(kAverageOld)));
}

// Float to output byte: nearest integer, ties to even, low 8 bits.
inline uint8_t to_byte(float v) { return static_cast<uint8_t>(static_cast<int32_t>(std::nearbyint(v))); }
