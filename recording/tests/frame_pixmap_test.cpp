// SPDX-License-Identifier: MIT
#include <cstring>

#include "recording_test_kit.h"

namespace {

PipelineState working_size(int w, int h) {
    PipelineState s;
    s.Width = w;
    s.Height = h;
    return s;
}

}  // namespace

TEST(RecFramePixmap, GeometryFollowsTheWorkingSize) {
    struct Case {
        int w, h, rowBytes;
        size_t bytes;
    };
    for (const Case c : {Case{320, 240, 1296, 311040}, Case{640, 480, 2576, 1236480}}) {
        RecordingState r;
        const PipelineState s = working_size(c.w, c.h);
        ASSERT_TRUE(setup_rec_frame_pixmap(r, s));
        const PixMap& pm = r.RecFramePM;
        EXPECT_EQ(r.MoviePixMap, &r.RecFramePMP);
        EXPECT_EQ(*r.MoviePixMap, &r.RecFramePM);
        EXPECT_EQ(pm.rowBytes, c.rowBytes);
        EXPECT_EQ(static_cast<size_t>(pm.rowBytes) * (pm.bounds.bottom - pm.bounds.top), c.bytes);
        EXPECT_EQ(pm.bounds, (Rect16{0, 0, static_cast<int16_t>(c.h), static_cast<int16_t>(c.w)}));
        EXPECT_EQ(r.RecFrameRect, pm.bounds);
        EXPECT_EQ(pm.hRes, 72 << 16);
        EXPECT_EQ(pm.vRes, 72 << 16);
        EXPECT_EQ(pm.pixelType, 16);
        EXPECT_EQ(pm.pixelSize, 32);
        EXPECT_EQ(pm.cmpCount, 3);
        EXPECT_EQ(pm.cmpSize, 8);
        EXPECT_EQ(pm.pixelFormat, 32u);
        EXPECT_EQ(pm.pmVersion, 0);
        EXPECT_EQ(pm.packType, 0);
        EXPECT_EQ(pm.packSize, 0);
        EXPECT_EQ(pm.pmTable, nullptr);
        EXPECT_EQ(pm.pmExt, nullptr);
        // The whole buffer is ours to write.
        std::memset(pm.baseAddr, 0xA5, c.bytes);
    }
}

TEST(RecFramePixmap, KeptAtTheSameSizeAndRebuiltAfterAChange) {
    RecordingState r;
    PipelineState s = working_size(320, 240);
    ASSERT_TRUE(setup_rec_frame_pixmap(r, s));
    uint8_t* const first = r.RecFramePM.baseAddr;
    ASSERT_TRUE(setup_rec_frame_pixmap(r, s));
    EXPECT_EQ(r.RecFramePM.baseAddr, first);
    s = working_size(640, 480);
    ASSERT_TRUE(setup_rec_frame_pixmap(r, s));
    EXPECT_EQ(r.RecFramePM.rowBytes, 2576);
    EXPECT_EQ(r.RecFrameRect.right, 640);
    std::memset(r.RecFramePM.baseAddr, 0, 2576 * 480);
}

// The row length has 32 bits: any working width fits; only a size beyond the 16-bit bounds
// is refused.
TEST(RecFramePixmap, RowsOfAnyWorkingWidthFitAndOnlyOversizedBoundsAreRefused) {
    AlertSpy alerts;
    RecordingState r;
    ASSERT_TRUE(setup_rec_frame_pixmap(r, working_size(8192, 2)));
    EXPECT_EQ(r.RecFramePM.rowBytes, 4 * 8192 + 16);
    EXPECT_TRUE(AlertSpy::texts().empty());
    EXPECT_FALSE(setup_rec_frame_pixmap(r, working_size(40000, 2)));
    EXPECT_EQ(AlertSpy::texts(), (std::vector<std::string>{"setup_rec_frame_pixmap"}));
    EXPECT_EQ(r.MoviePixMap, nullptr);
}

// A pixel map over a buffer with guard bytes after every row and after the last.
struct GuardedMap {
    GuardedMap(int w, int h, int rowBytes) : bytes(static_cast<size_t>(rowBytes) * h + 64, 0xEE) {
        pm.baseAddr = bytes.data();
        pm.rowBytes = static_cast<int16_t>(rowBytes);
        pm.bounds = Rect16{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
        pm.pixelSize = 32;
    }
    std::vector<uint8_t> bytes;
    PixMap pm;
    PixMapPtr pmp = &pm;
    PixMapHandle handle() { return &pmp; }
};

TEST(CopyBmToPm, ShiftsEachPixelByOneByte) {
    const PipelineState s = working_size(2, 1);
    const uint8_t row[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    GuardedMap map(2, 1, 4 * 2 + 16);
    copy_bm_to_pm(s, row, 8, map.handle());
    const std::vector<uint8_t> pixels(map.bytes.begin(), map.bytes.begin() + 8);
    EXPECT_EQ(pixels, (std::vector<uint8_t>{0xEE, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
    // The row's padding is never written.
    for (size_t i = 8; i < map.bytes.size(); ++i) EXPECT_EQ(map.bytes[i], 0xEE) << i;
}

TEST(CopyBmToPm, CopiesOneByteLessThanTheShorterRow) {
    const PipelineState s = working_size(4, 3);
    std::vector<uint8_t> longRows(3 * 40), shortRows(3 * 12);
    for (size_t i = 0; i < longRows.size(); ++i) longRows[i] = static_cast<uint8_t>(i + 1);
    for (size_t i = 0; i < shortRows.size(); ++i) shortRows[i] = static_cast<uint8_t>(0x80 + i);

    GuardedMap a(4, 3, 32);  // source rows longer: 31 bytes a row
    copy_bm_to_pm(s, longRows.data(), 40, a.handle());
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(a.bytes[y * 32], 0xEE);
        for (int i = 0; i < 31; ++i) EXPECT_EQ(a.bytes[y * 32 + 1 + i], longRows[y * 40 + i]);
    }

    GuardedMap b(4, 3, 32);  // source rows shorter: 11 bytes a row
    copy_bm_to_pm(s, shortRows.data(), 12, b.handle());
    for (int y = 0; y < 3; ++y) {
        for (int i = 0; i < 11; ++i) EXPECT_EQ(b.bytes[y * 32 + 1 + i], shortRows[y * 12 + i]);
        for (int i = 12; i < 32; ++i) EXPECT_EQ(b.bytes[y * 32 + i], 0xEE) << y << " " << i;
    }
}

TEST(CopyBmToPm, NeverWritesPastTheMapsOwnHeight) {
    const PipelineState s = working_size(4, 5);
    std::vector<uint8_t> src(5 * 16, 0x42);
    GuardedMap map(4, 2, 32);
    copy_bm_to_pm(s, src.data(), 16, map.handle());
    for (size_t i = 64; i < map.bytes.size(); ++i) EXPECT_EQ(map.bytes[i], 0xEE) << i;
    EXPECT_EQ(map.bytes[33], 0x42);
}
