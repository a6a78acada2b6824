// SPDX-License-Identifier: MIT
// Four-lane single-precision vectors: the few operations the effects need, on SSE2 where the
// target has it and as plain lanes elsewhere. Every operation rounds exactly as its scalar
// counterpart does, so a vector kernel can match its scalar twin byte for byte.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define WOBBLE_SSE2 1
#endif

namespace quad {

#if WOBBLE_SSE2

using f4 = __m128;
using i4 = __m128i;

inline f4 load4(const float* p) { return _mm_load_ps(p); }
inline f4 loadu4(const float* p) { return _mm_loadu_ps(p); }
inline void store4(float* p, f4 v) { _mm_store_ps(p, v); }
inline f4 set4(float x) { return _mm_set1_ps(x); }
inline f4 set4(float a, float b, float c, float d) { return _mm_setr_ps(a, b, c, d); }
inline f4 zero4() { return _mm_setzero_ps(); }
inline f4 add(f4 a, f4 b) { return _mm_add_ps(a, b); }
inline f4 sub(f4 a, f4 b) { return _mm_sub_ps(a, b); }
inline f4 mul(f4 a, f4 b) { return _mm_mul_ps(a, b); }
// a < b ? a : b and a > b ? a : b, lane by lane.
inline f4 min4(f4 a, f4 b) { return _mm_min_ps(a, b); }
inline f4 max4(f4 a, f4 b) { return _mm_max_ps(a, b); }
inline float lane(f4 v, int k) {
    alignas(16) float t[4];
    _mm_store_ps(t, v);
    return t[k];
}


// (prev3, v0, v1, v2): the lanes moved one place up, the last lane of prev shifted in.
inline f4 shift_in4(f4 v, f4 prev) {
    return _mm_castsi128_ps(_mm_or_si128(_mm_slli_si128(_mm_castps_si128(v), 4),
                                         _mm_srli_si128(_mm_castps_si128(prev), 12)));
}
// (v1, v2, v3, next0): the lanes moved one place down, the first lane of next shifted in.
inline f4 shift_out4(f4 v, f4 next) {
    return _mm_castsi128_ps(_mm_or_si128(_mm_srli_si128(_mm_castps_si128(v), 4),
                                         _mm_slli_si128(_mm_castps_si128(next), 12)));
}

// Absolute value of each lane: the sign bit cleared.
inline f4 vfabf(f4 v) { return _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))); }

// floorf of each lane, for |x| < 2^31.
inline f4 floor4(f4 v) {
    f4 t = _mm_cvtepi32_ps(_mm_cvttps_epi32(v));
    return _mm_sub_ps(t, _mm_and_ps(_mm_cmpgt_ps(t, v), _mm_set1_ps(1.0f)));
}
// odd ? a : b for each lane, odd taken from the low bit of the lane's integer.
inline f4 select_odd(i4 n, f4 a, f4 b) {
    f4 m = _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(n, _mm_set1_epi32(1)),
                                            _mm_set1_epi32(1)));
    return _mm_or_ps(_mm_and_ps(m, a), _mm_andnot_ps(m, b));
}

inline i4 truncate_to_int(f4 v) { return _mm_cvttps_epi32(v); }
// base - n for each lane, brought into [0, depth) by adding depth where it is negative; requires
// 0 <= base < depth and 0 <= n < depth.
inline i4 slots_back(int base, i4 n, int depth) {
    const i4 v = _mm_sub_epi32(_mm_set1_epi32(base), n);
    return _mm_add_epi32(v, _mm_and_si128(_mm_cmplt_epi32(v, _mm_setzero_si128()), _mm_set1_epi32(depth)));
}
// Round to nearest, ties to even (the default rounding mode).
inline i4 round_to_int(f4 v) { return _mm_cvtps_epi32(v); }
inline f4 to_float(i4 v) { return _mm_cvtepi32_ps(v); }
inline void store_ints(int32_t* p, i4 v) { _mm_storeu_si128(reinterpret_cast<i4*>(p), v); }

// Channel c (0 red, 1 green, 2 blue) of four camera pixels (A, R, G, B) starting at px.
template <int c>
inline f4 channel4(const uint8_t* px) {
    i4 v = _mm_loadu_si128(reinterpret_cast<const i4*>(px));
    return _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(v, 8 * (1 + c)), _mm_set1_epi32(0xff)));
}
// The same from four pixel words gathered from anywhere.
template <int c>
inline f4 channel4(i4 words) {
    return _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(words, 8 * (1 + c)), _mm_set1_epi32(0xff)));
}
inline i4 gather_words(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, const uint8_t* p3) {
    uint32_t w0, w1, w2, w3;
    std::memcpy(&w0, p0, 4);
    std::memcpy(&w1, p1, 4);
    std::memcpy(&w2, p2, 4);
    std::memcpy(&w3, p3, 4);
    return _mm_setr_epi32(static_cast<int>(w0), static_cast<int>(w1), static_cast<int>(w2),
                          static_cast<int>(w3));
}

// Writes the low bytes of r, g and b into bytes 0..2 of four output pixels; byte 3 is kept.
inline void store_rgb(uint8_t* out, i4 r, i4 g, i4 b) {
    const i4 lo = _mm_set1_epi32(0xff);
    i4 old = _mm_loadu_si128(reinterpret_cast<const i4*>(out));
    i4 v = _mm_and_si128(old, _mm_set1_epi32(static_cast<int>(0xff000000u)));
    v = _mm_or_si128(v, _mm_and_si128(r, lo));
    v = _mm_or_si128(v, _mm_slli_epi32(_mm_and_si128(g, lo), 8));
    v = _mm_or_si128(v, _mm_slli_epi32(_mm_and_si128(b, lo), 16));
    _mm_storeu_si128(reinterpret_cast<i4*>(out), v);
}

// A hint that p will be read soon; changes no result.
inline void prefetch(const void* p) { _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0); }

// The same for the lines of a whole row: the ring's rows lie apart, so the hardware does not see
// the next one coming.
inline void prefetch_row(const uint8_t* p, size_t bytes) {
    for (size_t k = 0; k < bytes; k += 64) prefetch(p + k);
}

// Reverses the order of four 32-bit pixels.
inline i4 reverse_pixels(i4 v) { return _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3)); }
inline i4 loadu_pixels(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const i4*>(p)); }
inline void storeu_pixels(uint8_t* p, i4 v) { _mm_storeu_si128(reinterpret_cast<i4*>(p), v); }
inline void store_pixels(uint8_t* p, i4 v) { _mm_store_si128(reinterpret_cast<i4*>(p), v); }
// Bytes 1 to 15 of v, then byte 0 of next: 16 bytes read one byte further on.
inline i4 bytes_from_one(i4 v, i4 next) { return _mm_or_si128(_mm_srli_si128(v, 1), _mm_slli_si128(next, 15)); }

#else  // portable lanes

struct f4 {
    float v[4];
};
struct i4 {
    int32_t v[4];
};

template <typename F>
inline f4 map2(f4 a, f4 b, F f) {
    return {{f(a.v[0], b.v[0]), f(a.v[1], b.v[1]), f(a.v[2], b.v[2]), f(a.v[3], b.v[3])}};
}
inline f4 load4(const float* p) { return {{p[0], p[1], p[2], p[3]}}; }
inline f4 loadu4(const float* p) { return load4(p); }
inline void store4(float* p, f4 a) { std::memcpy(p, a.v, sizeof a.v); }
inline f4 set4(float x) { return {{x, x, x, x}}; }
inline f4 set4(float a, float b, float c, float d) { return {{a, b, c, d}}; }
inline f4 zero4() { return set4(0.0f); }
inline f4 add(f4 a, f4 b) { return map2(a, b, [](float x, float y) { return x + y; }); }
inline f4 sub(f4 a, f4 b) { return map2(a, b, [](float x, float y) { return x - y; }); }
inline f4 mul(f4 a, f4 b) { return map2(a, b, [](float x, float y) { return x * y; }); }
inline f4 min4(f4 a, f4 b) { return map2(a, b, [](float x, float y) { return x < y ? x : y; }); }
inline f4 max4(f4 a, f4 b) { return map2(a, b, [](float x, float y) { return x > y ? x : y; }); }
inline float lane(f4 a, int k) { return a.v[k]; }
inline f4 shift_in4(f4 a, f4 prev) { return {{prev.v[3], a.v[0], a.v[1], a.v[2]}}; }
inline f4 shift_out4(f4 a, f4 next) { return {{a.v[1], a.v[2], a.v[3], next.v[0]}}; }
inline f4 vfabf(f4 a) { return {{std::fabs(a.v[0]), std::fabs(a.v[1]), std::fabs(a.v[2]), std::fabs(a.v[3])}}; }
inline f4 floor4(f4 a) {
    return {{std::floor(a.v[0]), std::floor(a.v[1]), std::floor(a.v[2]), std::floor(a.v[3])}};
}
inline f4 select_odd(i4 n, f4 a, f4 b) {
    f4 r;
    for (int k = 0; k < 4; ++k) r.v[k] = (n.v[k] & 1) ? a.v[k] : b.v[k];
    return r;
}
inline i4 truncate_to_int(f4 a) {
    i4 r;
    for (int k = 0; k < 4; ++k) r.v[k] = static_cast<int32_t>(a.v[k]);
    return r;
}
inline i4 slots_back(int base, i4 n, int depth) {
    i4 r;
    for (int k = 0; k < 4; ++k) r.v[k] = base - n.v[k] < 0 ? base - n.v[k] + depth : base - n.v[k];
    return r;
}
inline i4 round_to_int(f4 a) {
    i4 r;
    for (int k = 0; k < 4; ++k) r.v[k] = static_cast<int32_t>(std::nearbyint(a.v[k]));
    return r;
}
inline f4 to_float(i4 a) {
    f4 r;
    for (int k = 0; k < 4; ++k) r.v[k] = static_cast<float>(a.v[k]);
    return r;
}
inline void store_ints(int32_t* p, i4 a) { std::memcpy(p, a.v, sizeof a.v); }
inline i4 gather_words(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, const uint8_t* p3) {
    i4 r;
    std::memcpy(&r.v[0], p0, 4);
    std::memcpy(&r.v[1], p1, 4);
    std::memcpy(&r.v[2], p2, 4);
    std::memcpy(&r.v[3], p3, 4);
    return r;
}
template <int c>
inline f4 channel4(const uint8_t* px) {
    return {{float(px[1 + c]), float(px[5 + c]), float(px[9 + c]), float(px[13 + c])}};
}
template <int c>
inline f4 channel4(i4 words) {
    f4 r;
    for (int k = 0; k < 4; ++k) r.v[k] = float((static_cast<uint32_t>(words.v[k]) >> (8 * (1 + c))) & 0xff);
    return r;
}
inline void store_rgb(uint8_t* out, i4 r, i4 g, i4 b) {
    for (int k = 0; k < 4; ++k) {
        out[4 * k] = static_cast<uint8_t>(r.v[k]);
        out[4 * k + 1] = static_cast<uint8_t>(g.v[k]);
        out[4 * k + 2] = static_cast<uint8_t>(b.v[k]);
    }
}
inline void prefetch(const void* p) { __builtin_prefetch(p); }
inline void prefetch_row(const uint8_t* p, size_t bytes) {
    for (size_t k = 0; k < bytes; k += 64) prefetch(p + k);
}
inline i4 reverse_pixels(i4 a) { return {{a.v[3], a.v[2], a.v[1], a.v[0]}}; }
inline i4 loadu_pixels(const uint8_t* p) {
    i4 r;
    std::memcpy(r.v, p, 16);
    return r;
}
inline void storeu_pixels(uint8_t* p, i4 a) { std::memcpy(p, a.v, 16); }
inline void store_pixels(uint8_t* p, i4 a) { std::memcpy(p, a.v, 16); }
inline i4 bytes_from_one(i4 a, i4 next) {
    i4 r;
    uint8_t b[32];
    std::memcpy(b, a.v, 16);
    std::memcpy(b + 16, next.v, 16);
    std::memcpy(r.v, b + 1, 16);
    return r;
}

#endif

}  // namespace quad
