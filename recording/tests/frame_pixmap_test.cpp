// SPDX-License-Identifier: MIT
#include <cstring>

#include "recording_test_kit.h"

// Rows of 4 x width + 16 bytes, kept while the working size stays, rebuilt when it changes;
// only a size beyond the 16-bit bounds is refused.
using RecFramePixmap = RecordingFixture;

TEST_F(RecFramePixmap, FollowsTheWorkingSize) {
    ASSERT_TRUE(setup_rec_frame_pixmap(r, working_size(320, 240)));
    uint8_t* const first = r.RecFramePM.baseAddr;
    ASSERT_TRUE(setup_rec_frame_pixmap(r, working_size(320, 240)));
    EXPECT_EQ(r.RecFramePM.baseAddr, first);
    EXPECT_EQ(r.RecFramePM.rowBytes, 1296);
    for (const auto& [w, h] : {std::pair{640, 480}, {640, 2}, {8192, 2}}) {
        ASSERT_TRUE(setup_rec_frame_pixmap(r, working_size(w, h)));
        ASSERT_EQ(*r.MoviePixMap, &r.RecFramePM);
        EXPECT_EQ(r.RecFramePM.rowBytes, 4 * w + 16);
        EXPECT_EQ(r.RecFramePM.bounds,
                  (Rect16{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)}));
        std::memset(r.RecFramePM.baseAddr, 0xA5, static_cast<size_t>(4 * w + 16) * h);
    }
    EXPECT_TRUE(alerts.calls().empty());
    EXPECT_FALSE(setup_rec_frame_pixmap(r, working_size(40000, 2)));
    ASSERT_EQ(alerts.calls().size(), 1u);
    EXPECT_EQ(alerts.calls()[0].text, "setup_rec_frame_pixmap");
    EXPECT_EQ(r.MoviePixMap, nullptr);
}

struct CopyRow {
    const char* name;
    int width, height;   // working size
    int sourceRowBytes;  // the drawn bitmap's rows
    int mapRows;         // the pixel map's own height; its rows are 32 bytes
    friend void PrintTo(const CopyRow& row, std::ostream* os) { *os << row.name; }
};

class CopyBmToPm : public ::testing::TestWithParam<CopyRow> {};

// Each row is shifted by one byte (A, R, G, B from the drawn R, G, B, X) and one byte shorter
// than the shorter of the two rows; nothing past the map's rows or its own height is written.
TEST_P(CopyBmToPm, ShiftsEachRowByOneByteWithinTheMap) {
    const CopyRow& c = GetParam();
    std::vector<uint8_t> source(static_cast<size_t>(c.sourceRowBytes) * c.height);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i + 1);
    std::vector<uint8_t> map(32 * c.mapRows + 64, 0xEE);
    PixMap pm;
    pm.baseAddr = map.data();
    pm.rowBytes = 32;
    pm.bounds = Rect16{0, 0, static_cast<int16_t>(c.mapRows), static_cast<int16_t>(c.width)};
    pm.pixelSize = 32;
    PixMapPtr pmp = &pm;
    copy_bm_to_pm(working_size(c.width, c.height), source.data(), c.sourceRowBytes, &pmp);

    std::vector<uint8_t> expected(map.size(), 0xEE);
    const int n = std::min(c.sourceRowBytes, 32) - 1;
    for (int y = 0; y < std::min(c.height, c.mapRows); ++y)
        std::memcpy(&expected[32 * y + 1], &source[c.sourceRowBytes * y], n);
    EXPECT_EQ(map, expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, CopyBmToPm,
                         ::testing::Values(CopyRow{"LongerSourceRows", 4, 3, 40, 3},
                                           CopyRow{"ShorterSourceRows", 4, 3, 12, 3},
                                           CopyRow{"MapLowerThanTheWorkingSize", 4, 5, 16, 2}),
                         [](const auto& info) { return std::string(info.param.name); });
