// SPDX-License-Identifier: MIT
// The running average that exposure, motion trace, motion-driven delay and motion paint share:
// new = sample * 0.02 + old * 0.98, each product rounded before the sum.
#pragma once

#include <cmath>
#include <cstdint>

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

// Red, green and blue of one quad, one vector each.
struct Quad3 {
    quad::f4 r, g, b;
};

// The camera samples of four pixels (A, R, G, B) starting at px.
inline Quad3 camera_quad(const uint8_t* px) {
    using namespace quad;
    return {channel4<0>(px), channel4<1>(px), channel4<2>(px)};
}

// Updates the running average of one quad (12 floats at a: 4 red, 4 green, 4 blue) from the
// samples and returns the new averages; the averages before the update go to `before`.
inline Quad3 update_average4(const Quad3& sample, float* a, Quad3& before) {
    using namespace quad;
    before = {load4(a), load4(a + 4), load4(a + 8)};
    const Quad3 n = {running_average4(sample.r, before.r), running_average4(sample.g, before.g),
                     running_average4(sample.b, before.b)};
    store4(a, n.r);
    store4(a + 4, n.g);
    store4(a + 8, n.b);
    return n;
}

// How far the average moved, summed over red, green and blue: |r - r'| + |g - g'| + |b - b'|.
inline quad::f4 average_change4(const Quad3& avg, const Quad3& before) {
    using namespace quad;
    f4 m = vfabf(sub(avg.r, before.r));
    m = add(m, vfabf(sub(avg.g, before.g)));
    return add(m, vfabf(sub(avg.b, before.b)));
}

// Updates the average of one pixel and channel from a camera byte; returns how far it moved.
inline float update_average(float& a, uint8_t sample) {
    const float before = a;
    a = running_average(sample, before);
    return std::fabs(a - before);
}

// Float to output byte: nearest integer, ties to even, low 8 bits.
inline uint8_t to_byte(float v) { return static_cast<uint8_t>(static_cast<int32_t>(std::nearbyint(v))); }
