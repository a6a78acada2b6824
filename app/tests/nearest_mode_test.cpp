// SPDX-License-Identifier: MIT
// The choice of the display mode for full screen, over mode lists as monitors offer them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display_mode.h"

namespace {

struct ModeCase {
    std::string name;
    std::vector<ModeSize> modes;
    int current;   // index of the mode in force, -1 for none
    int expected;  // index chosen for a 640 x 480 camera
};
void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class NearestMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(NearestMode, ForA640By480Camera) {
    const ModeCase& c = GetParam();
    EXPECT_EQ(nearest_mode(c.modes, 640, 480, c.current), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    ModeLists, NearestMode,
    ::testing::Values(
        ModeCase{"Exact", {{1920, 1080}, {800, 600}, {640, 480}, {320, 240}}, 0, 2},
        ModeCase{"ExactTwiceTakesTheFirst", {{1024, 768}, {640, 480}, {640, 480}}, -1, 1},
        ModeCase{"ExactTwiceKeepsTheCurrent", {{1024, 768}, {640, 480}, {640, 480}}, 2, 2},
        ModeCase{"LargerOnly", {{1920, 1080}, {1024, 768}, {800, 600}}, 0, 2},
        ModeCase{"LargerInOneDirectionIsNotLargeEnough", {{1280, 400}, {800, 600}}, -1, 1},
        ModeCase{"SmallerOnly", {{320, 240}, {512, 384}, {400, 300}}, -1, 1},
        ModeCase{
            "MixedPrefersLargerOverANearerSmaller", {{1920, 1080}, {632, 474}, {720, 576}}, 0, 2},
        ModeCase{"MixedBestIsCurrent", {{1920, 1080}, {800, 600}, {600, 400}}, 1, 1},
        ModeCase{"Empty", {}, -1, -1}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return info.param.name; });

}  // namespace
