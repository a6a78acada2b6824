// SPDX-License-Identifier: MIT
// The render pass on 1, 2, 3 and 8 threads: the plain picture and the mirror give the bytes of
// their plain statements, byte 3 and the row padding included.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "render_pass.h"
#include "row_pool.h"
#include "testkit.h"

namespace {

struct PassCase {
    int width, height;
    bool mirror;
};

std::vector<PassCase> cases() {
    std::vector<PassCase> c;
    for (bool mirror : {true, false}) {
        for (int w : {1, 5, 22, 853, 1920})
            for (int h : {1, 2, 7}) c.push_back({w, h, mirror});
        for (int w : {1, 5, 22}) c.push_back({w, 1080, mirror});
    }
    return c;
}

class RenderThreads : public testing::TestWithParam<PassCase> {};

// Output pixel x shows camera pixel x's red, green and blue with camera pixel x + 1's alpha in
// byte 3; the row's last byte keeps what it held; then the row is reversed pixel by pixel.
TEST_P(RenderThreads, PlainPictureIsTheNewestFrameOneByteOnThenMirrored) {
    const PassCase c = GetParam();
    for (int threads : {1, 2, 3, 8}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        testkit::Pipeline p(c.width, c.height);
        RowPool pool(threads);
        p.s.pool = &pool;
        std::mt19937 rng(c.width + c.height + threads);
        p.random_ring(rng, kHistorySlots);
        p.random_output(rng);
        p.v.mirrorMode = c.mirror;
        Controls controls;
        controls.effectEnabled = false;
        controls.sizeSwitchState = 1;
        RenderHooks hooks;
        for (int pass = 0; pass < 2; ++pass) {
            const OutputBitmap& bm = *p.s.bitmap;
            std::vector<uint8_t> expected(bm.data, bm.data + static_cast<size_t>(bm.rowBytes) * bm.height);
            const int newest = newest_slot(p.s);
            for (int y = 0; y < c.height; ++y)
                std::memcpy(&expected[static_cast<size_t>(y) * bm.rowBytes], slot_row(p.s, newest, y) + 1,
                            4 * c.width - 1);
            if (c.mirror) ref::mirror_rows(expected.data(), bm.rowBytes, c.width, c.height);

            ASSERT_TRUE(render_pass(p.s, p.v, controls, hooks));
            ASSERT_EQ(0, std::memcmp(expected.data(), bm.data, expected.size())) << "pass " << pass;
            ASSERT_TRUE(p.guards_intact());
            p.s.SFIndex = (p.s.SFIndex + 1) % kHistorySlots;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RenderThreads, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<PassCase>& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height) +
                                    (info.param.mirror ? "Mirrored" : "Plain");
                         });

// The effects leave the wave's output pointer past the last row; the mirror still works on the
// bitmap from its first row, on every band.
TEST(RenderThreadsMirror, AfterAnEffectMatchesOneThread) {
    testkit::Pipeline one(22, 7), two(22, 7);
    RowPool pool(2);
    two.s.pool = &pool;
    std::mt19937 rng(3);
    one.random_ring(rng, kHistorySlots);
    one.random_planes(rng);
    one.random_output(rng);
    two.copy_from(one);
    Controls controls;
    controls.sizeSwitchState = 1;
    RenderHooks hooks;
    for (int mode = 0; mode < 6; ++mode) {
        controls.selectedRow = mode / 3, controls.selectedColumn = mode % 3;
        wobble_srand48(mode);
        ASSERT_TRUE(render_pass(one.s, one.v, controls, hooks));
        wobble_srand48(mode);
        ASSERT_TRUE(render_pass(two.s, two.v, controls, hooks));
        ASSERT_EQ(one.output_bytes(), two.output_bytes()) << "mode " << mode;
    }
}

}  // namespace
