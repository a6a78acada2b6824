// SPDX-License-Identifier: MIT
// Every vector step against its scalar twin: the same output bytes and the same planes, on random
// rings, planes and outputs, at widths that are and are not whole quads.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "effects.h"
#include "testkit.h"

namespace {

struct Case {
    const char* name;
    int largeWidth, largeHeight, size, depth;
};

const Case kCases[] = {
    {"w4", 4, 3, kFullSize, 2},        {"w8", 8, 2, kFullSize, 7},
    {"w12", 12, 3, kFullSize, 60},     {"w22", 22, 5, kFullSize, 13},
    {"w426", 853, 480, kHalfSize, 60}, {"w640", 640, 480, kFullSize, 60},
    {"w853", 853, 480, kFullSize, 31}, {"w5", 5, 1, kFullSize, 3},
    {"w1", 2, 3, kHalfSize, 2},        {"w9tall", 9, 17, kFullSize, 45},
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class Equivalence : public ::testing::TestWithParam<std::tuple<int, Case>> {};

TEST_P(Equivalence, VectorStepMatchesScalarTwin) {
    const int mode = std::get<0>(GetParam());
    const Case& c = std::get<1>(GetParam());
    std::mt19937 rng(1234 + mode * 7 + c.largeWidth);
    testkit::Pipeline vec(c.largeWidth, c.largeHeight, c.size),
        sca(c.largeWidth, c.largeHeight, c.size);
    vec.random_ring(rng, c.depth);
    vec.random_planes(rng);
    vec.random_output(rng);
    vec.s.Oc11 = static_cast<int>(rng() % 3600);
    vec.s.Oc12 = static_cast<int>(rng() % 3600);
    vec.s.Oc21 = static_cast<int>(rng() % 3600);
    vec.s.Oc22 = static_cast<int>(rng() % 3600);
    sca.copy_from(vec);

    // Three passes, a new frame between them, so that state carried between passes is compared.
    for (int pass = 0; pass < 3; ++pass) {
        wobble_srand48(99 + pass);
        vec.begin_pass();
        kEffectSteps[mode](vec.s);
        wobble_srand48(99 + pass);
        sca.begin_pass();
        ref::kEffectSteps[mode](sca.s);

        const std::vector<uint8_t> a = vec.output_bytes(), b = sca.output_bytes();
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) {
            const int px = static_cast<int>(i / 4);
            ASSERT_EQ(a[i], b[i]) << "pass " << pass << " x " << px % c.largeWidth << " y "
                                  << px / vec.s.Width << " channel " << i % 4;
            if (i % 4 == 3) {
                ASSERT_EQ(a[i], testkit::kSentinel) << "byte 3 written";
            }
        }
        ASSERT_TRUE(vec.guards_intact());
        ASSERT_EQ(0, std::memcmp(vec.s.fBuffer, sca.s.fBuffer, vec.s.planeFloats * sizeof(float)))
            << "running average differs";
        if (mode == 5) {
            ASSERT_EQ(
                0, std::memcmp(vec.s.fBuffer2, sca.s.fBuffer2, vec.s.planeFloats * sizeof(float)))
                << "paint plane differs";
        }
        ASSERT_EQ(vec.s.Oc11, sca.s.Oc11);
        ASSERT_EQ(vec.s.Theta, sca.s.Theta);

        // A new frame in the slot written next.
        const int next = vec.s.SFIndex % kHistorySlots;
        for (int y = 0; y < vec.s.Height; ++y) {
            for (int i = 0; i < vec.s.srcRowBytes; ++i) vec.slot_pixel(next, 0, y)[i] = static_cast<uint8_t>(rng());
            std::memcpy(sca.slot_pixel(next, 0, y), vec.slot_pixel(next, 0, y), vec.s.srcRowBytes);
        }
    }
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<int, Case>>& info) {
    static const char* effects[] = {"Wave", "Exposure", "Trace", "Delay", "Scatter", "Paint"};
    return std::string(effects[std::get<0>(info.param)]) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(AllEffects, Equivalence,
                         ::testing::Combine(::testing::Range(0, 6), ::testing::ValuesIn(kCases)),
                         CaseName);

// Edge values: black and white frames, zero and saturated planes, exact ties in the sampler.
TEST(EquivalenceEdges, ExtremeFramesAndPlanes) {
    for (int mode = 0; mode < 6; ++mode) {
        for (uint8_t value : {uint8_t{0}, uint8_t{255}, uint8_t{128}}) {
            testkit::Pipeline vec(22, 4, kFullSize), sca(22, 4, kFullSize);
            std::mt19937 rng(mode);
            vec.random_output(rng);
            for (int k = 0; k < kHistorySlots; ++k) vec.fill_slot(k, k % 2 ? value : 255 - value);
            vec.s.Depth = 60;
            vec.s.SFIndex = 17;
            for (size_t i = 0; i < 4 * vec.s.planeFloats; ++i) vec.s.fBuffer[i] = value;
            sca.copy_from(vec);
            for (int pass = 0; pass < 4; ++pass) {
                wobble_srand48(pass);
                vec.begin_pass();
                kEffectSteps[mode](vec.s);
                wobble_srand48(pass);
                sca.begin_pass();
                ref::kEffectSteps[mode](sca.s);
                ASSERT_EQ(vec.output_bytes(), sca.output_bytes())
                    << "mode " << mode << " value " << int(value);
            }
        }
    }
}

}  // namespace

namespace {

// Whatever the output held before, a pass leaves the same red, green and blue in every column of
// the working size, the columns past the last whole quad included.
TEST(EveryColumn, IsWrittenByEveryEffect) {
    for (int mode = 0; mode < 6; ++mode) {
        for (int width : {853, 22, 7}) {
            testkit::Pipeline a(width, 6, kFullSize), b(width, 6, kFullSize);
            std::mt19937 rng(width + mode);
            a.random_ring(rng, 60);
            a.random_planes(rng);
            std::memset(a.s.bitmap->data, 0x00,
                        static_cast<size_t>(a.s.bitmap->rowBytes) * a.s.Height);
            b.copy_from(a);
            std::memset(b.s.bitmap->data, 0xFF,
                        static_cast<size_t>(b.s.bitmap->rowBytes) * b.s.Height);
            wobble_srand48(7);
            a.begin_pass();
            kEffectSteps[mode](a.s);
            wobble_srand48(7);
            b.begin_pass();
            kEffectSteps[mode](b.s);
            for (int y = 0; y < a.s.Height; ++y)
                for (int x = 0; x < a.s.Width; ++x)
                    for (int c = 0; c < 3; ++c)
                        ASSERT_EQ(a.out(x, y, c), b.out(x, y, c))
                            << "mode " << mode << " width " << width << " x " << x << " y " << y;
        }
    }
}

}  // namespace
