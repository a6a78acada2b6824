// SPDX-License-Identifier: MIT
// Every effect on 1, 2, 3 and 8 threads against its scalar twin on one: the same output bytes,
// planes, wave phases and random generator state, pass after pass, at widths that are and are
// not whole quads and with more threads than rows.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "effects.h"
#include "row_pool.h"
#include "testkit.h"

namespace {

struct Size {
    int width, height;
};

// Every width at the short heights; the tall height at the narrow widths, where a band boundary
// falls inside a picture of many rows but the ring stays small.
std::vector<std::tuple<int, Size>> cases() {
    std::vector<std::tuple<int, Size>> c;
    for (int mode = 0; mode < 6; ++mode) {
        for (int w : {1, 5, 22, 853, 1920})
            for (int h : {1, 2, 7}) c.emplace_back(mode, Size{w, h});
        for (int w : {1, 5, 22}) c.emplace_back(mode, Size{w, 1080});
    }
    return c;
}

constexpr int kThreads[] = {1, 2, 3, 8};
constexpr int kPasses = 3;

class Threads : public testing::TestWithParam<std::tuple<int, Size>> {};

TEST_P(Threads, GiveTheBytesOfTheScalarKernelOnOneThread) {
    const int mode = std::get<0>(GetParam());
    const Size size = std::get<1>(GetParam());
    std::mt19937 rng(77 + mode + size.width * 3 + size.height);
    testkit::Pipeline sca(size.width, size.height);
    sca.random_ring(rng, kHistorySlots);
    sca.random_planes(rng);
    sca.random_output(rng);
    sca.s.Oc11 = 1234, sca.s.Oc12 = 3599, sca.s.Oc21 = 7, sca.s.Oc22 = 2000;

    std::vector<std::unique_ptr<testkit::Pipeline>> vec;
    std::vector<std::unique_ptr<RowPool>> pools;
    for (int threads : kThreads) {
        vec.push_back(std::make_unique<testkit::Pipeline>(size.width, size.height));
        pools.push_back(std::make_unique<RowPool>(threads));
        vec.back()->copy_from(sca);
        vec.back()->s.pool = pools.back().get();
    }

    wobble_srand48(5);
    for (int pass = 0; pass < kPasses; ++pass) {
        const Rand48 start = wobble_rand48_state();
        sca.begin_pass();
        ref::kEffectSteps[mode](sca.s);
        const Rand48 end = wobble_rand48_state();
        const std::vector<uint8_t> expected = sca.output_bytes();

        for (size_t t = 0; t < vec.size(); ++t) {
            testkit::Pipeline& p = *vec[t];
            SCOPED_TRACE("threads " + std::to_string(kThreads[t]) + " pass " + std::to_string(pass));
            wobble_set_rand48_state(start);
            p.begin_pass();
            kEffectSteps[mode](p.s);
            ASSERT_EQ(wobble_rand48_state().x, end.x) << "random generator left elsewhere";
            const std::vector<uint8_t> got = p.output_bytes();
            for (size_t i = 0; i < got.size(); ++i) {
                ASSERT_EQ(got[i], expected[i]) << "x " << i / 4 % size.width << " y "
                                               << i / 4 / size.width << " channel " << i % 4;
            }
            ASSERT_TRUE(p.guards_intact());
            ASSERT_EQ(p.s.base - p.s.bitmap->data, sca.s.base - sca.s.bitmap->data);
            ASSERT_EQ(0, std::memcmp(p.s.fBuffer, sca.s.fBuffer, p.s.planeFloats * sizeof(float)))
                << "running average differs";
            ASSERT_EQ(0, std::memcmp(p.s.fBuffer2, sca.s.fBuffer2, p.s.planeFloats * sizeof(float)))
                << "paint differs";
            ASSERT_EQ(p.s.Oc22, sca.s.Oc22);
        }
        wobble_set_rand48_state(end);

        // The next frame arrives, as the ingestion stores it.
        for (int y = 0; y < sca.s.Height; ++y) {
            uint8_t* row = sca.slot_pixel(sca.s.SFIndex, 0, y);
            for (int i = 0; i < sca.s.srcRowBytes; ++i) row[i] = static_cast<uint8_t>(rng());
            for (auto& p : vec) std::memcpy(p->slot_pixel(p->s.SFIndex, 0, y), row, sca.s.srcRowBytes);
        }
        sca.s.SFIndex = (sca.s.SFIndex + 1) % kHistorySlots;
        for (auto& p : vec) p->s.SFIndex = sca.s.SFIndex;
    }
}

std::string case_name(const testing::TestParamInfo<std::tuple<int, Size>>& info) {
    static const char* const names[] = {"Wave", "Exposure", "Trace", "Delay", "Scatter", "Paint"};
    const Size s = std::get<1>(info.param);
    return std::string(names[std::get<0>(info.param)]) + "_" + std::to_string(s.width) + "x" +
           std::to_string(s.height);
}

INSTANTIATE_TEST_SUITE_P(EveryEffect, Threads, testing::ValuesIn(cases()), case_name);

// A band starts its own generator as far on as the rows above it draw.
TEST(Rand48, SkipLandsWhereSingleDrawsLand) {
    for (uint64_t n : {0ull, 1ull, 2ull, 5ull, 384ull, 1000003ull}) {
        wobble_srand48(1733500000L);
        Rand48 jumped = wobble_rand48_state();
        jumped.skip(n);
        for (uint64_t i = 0; i < n; ++i) wobble_lrand48();
        ASSERT_EQ(jumped.x, wobble_rand48_state().x) << n << " draws";
        ASSERT_EQ(jumped.next(), wobble_lrand48());
    }
}

}  // namespace
