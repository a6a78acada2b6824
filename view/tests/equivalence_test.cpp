// SPDX-License-Identifier: MIT
// Every effect and the plain picture, mirrored, on 1, 2, 3 and 8 threads with the vector steps
// against one thread with the scalar steps and the scalar mirror: the same bitmap bytes, planes,
// wave phases and random generator state, pass after pass, at widths that are and are not whole
// quads, with more threads than rows, while the ring fills and at half size. The scalar bytes of
// the rows seven high and at most 22 wide are kept as hex text in golden/ (UPDATE_GOLDEN=1 writes
// them from the scalar path), so that a change of both kernels shows too.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <memory>
#include <string>

#include "render_pass.h"
#include "row_pool.h"
#include "testkit.h"

namespace {

const char* const kNames[7] = {"Plain", "Wave", "Exposure", "Trace", "Delay", "Scatter", "Paint"};

struct Row {
    int mode, largeWidth, largeHeight, depth, size = kFullSize;  // mode -1: the plain picture
    bool edges = false;  // only 0 and 255 in the ring, the planes and the frames that arrive
};

std::string row_name(const Row& r) {
    return std::string(kNames[r.mode + 1]) + "_" + std::to_string(r.largeWidth) + "x" +
           std::to_string(r.largeHeight) + (r.depth < kHistorySlots ? "Filling" : "") +
           (r.size == kHalfSize ? "Half" : "") + (r.edges ? "Edges" : "");
}
void PrintTo(const Row& r, std::ostream* os) {
    *os << row_name(r);
}

std::vector<Row> rows() {
    std::vector<Row> rows;
    for (int mode = -1; mode < 6; ++mode) {
        for (int w : {1, 5, 22, 853, 1920})
            for (int h : {1, 2, 7}) rows.push_back({mode, w, h, kHistorySlots});
        for (int w : {1, 5, 22}) rows.push_back({mode, w, 1080, kHistorySlots});
        rows.insert(rows.end(),
                    {{mode, 5, 2, 2}, {mode, 22, 7, 13}, {mode, 853, 14, 31, kHalfSize},
                     {mode, 853, 3, kHistorySlots, kFullSize, true}});
    }
    return rows;
}

// Equal rows give equal pipelines, but the scalar one's picture starts with its colours
// inverted, so a pixel that a pass leaves unwritten differs.
std::unique_ptr<testkit::Pipeline> make(const Row& r, bool scalar) {
    auto p = std::make_unique<testkit::Pipeline>(r.largeWidth, r.largeHeight, r.size);
    PipelineState& s = p->s;
    p->randomise(77 * r.mode + r.largeWidth + r.largeHeight, r.depth);
    const size_t ringBytes = static_cast<size_t>(s.srcRowBytes) * s.Height * kHistorySlots;
    for (size_t i = 0; r.edges && i < ringBytes; ++i)
        s.sourceFrames[0][i] = s.sourceFrames[0][i] & 0x80 ? 0xFF : 0;
    for (size_t i = 0; r.edges && i < 4 * s.planeFloats; ++i)
        s.fBuffer[i] = s.fBuffer[i] < 127.5f ? 0.0f : 255.0f;
    for (int y = 0; scalar && y < s.Height; ++y)
        for (int i = 0; i < 4 * s.Width; ++i)
            s.bitmap->data[y * s.bitmap->rowBytes + i] ^= i % 4 == 3 ? 0 : 0xFF;
    p->v.mirrorMode = !scalar;
    return p;
}

class Equivalence : public testing::TestWithParam<Row> {};

TEST_P(Equivalence, ThreadsAndVectorStepsGiveTheBytesOfOneScalarThread) {
    const Row& r = GetParam();
    const auto sca = make(r, true);
    std::vector<std::unique_ptr<testkit::Pipeline>> vec;
    std::vector<std::unique_ptr<RowPool>> pools;
    for (int threads : {1, 2, 3, 8}) {
        vec.push_back(make(r, false));
        pools.push_back(std::make_unique<RowPool>(threads));
        vec.back()->s.pool = pools.back().get();
    }
    PipelineState& s = sca->s;
    const OutputBitmap& bm = *s.bitmap;
    const Controls c{r.mode >= 0, r.mode / 3, r.mode % 3, r.size == kFullSize};
    const RenderHooks scalarSteps{{}, nullptr, {}, ref::kEffectSteps};
    std::mt19937 rng(5);
    wobble_srand48(5);
    std::vector<uint8_t> recorded;  // the scalar bytes of every pass
    for (int pass = 0; pass < 3; ++pass) {
        const Rand48 start = wobble_rand48_state();
        ASSERT_TRUE(render_pass(s, sca->v, c, scalarSteps));
        ref::mirror_rows(bm.data, bm.rowBytes, s.Width, s.Height);
        const Rand48 end = wobble_rand48_state();
        const std::vector<uint8_t> expected = sca->output_bytes();
        recorded.insert(recorded.end(), expected.begin(), expected.end());
        for (auto& p : vec) {
            SCOPED_TRACE("threads " + std::to_string(p->s.pool->threads()) + " pass " +
                         std::to_string(pass));
            wobble_set_rand48_state(start);
            ASSERT_TRUE(render_pass(p->s, p->v, c, RenderHooks{}));
            ASSERT_EQ(wobble_rand48_state().x, end.x) << "random generator left elsewhere";
            const std::vector<uint8_t> got = p->output_bytes();
            for (size_t i = 0; i < got.size(); ++i)
                ASSERT_EQ(got[i], r.mode >= 0 && i % 4 == 3 ? testkit::kSentinel : expected[i])
                    << "x " << i / 4 % s.Width << " y " << i / 4 / s.Width << " channel " << i % 4;
            ASSERT_EQ(0, std::memcmp(p->s.bitmap->data, bm.data, bm.rowBytes * bm.height))
                << "row padding";
            ASSERT_TRUE(p->guards_intact());
            ASSERT_EQ(0, std::memcmp(p->s.fBuffer, s.fBuffer, s.planeFloats * 4)) << "average";
            ASSERT_EQ(0, std::memcmp(p->s.fBuffer2, s.fBuffer2, s.planeFloats * 4)) << "paint";
            ASSERT_EQ(
                std::tie(p->s.Oc11, p->s.Oc12, p->s.Oc21, p->s.Oc22, p->s.Theta, p->s.Phi, p->s.TT),
                std::tie(s.Oc11, s.Oc12, s.Oc21, s.Oc22, s.Theta, s.Phi, s.TT));
        }
        wobble_set_rand48_state(end);

        // The next frame arrives, as the ingestion stores it.
        for (int y = 0; y < s.Height; ++y) {
            uint8_t* row = sca->slot_pixel(s.SFIndex, 0, y);
            for (int i = 0; i < s.srcRowBytes; ++i)
                row[i] = static_cast<uint8_t>(r.edges ? (rng() & 1) * 255 : rng());
            for (auto& p : vec) std::memcpy(p->slot_pixel(s.SFIndex, 0, y), row, s.srcRowBytes);
        }
        const int next = (s.SFIndex + 1) % kHistorySlots,
                  depth = std::min(s.Depth + 1, kHistorySlots);
        for (PipelineState* t : {&s, &vec[0]->s, &vec[1]->s, &vec[2]->s, &vec[3]->s})
            t->SFIndex = next, t->Depth = depth;
    }
    if (r.largeHeight != 7 || r.largeWidth > 22) return;
    const std::string path = std::string(GOLDEN_DIR) + "/" + row_name(r) + ".hex";
    if (std::getenv("UPDATE_GOLDEN")) {
        std::ofstream out(path);
        for (size_t i = 0; i < recorded.size(); ++i)
            out << std::hex << std::setw(2) << std::setfill('0') << int{recorded[i]}
                << (i % 32 == 31 || i + 1 == recorded.size() ? '\n' : ' ');
        GTEST_SKIP() << "wrote " << path;
    }
    std::ifstream in(path);
    size_t i = 0;
    for (int byte; in >> std::hex >> byte; ++i)
        ASSERT_EQ(i < recorded.size() ? recorded[i] : -1, byte)
            << "pass " << i / (4 * s.Width * s.Height) << " x " << i / 4 % s.Width << " y "
            << i / 4 / s.Width % s.Height << " channel " << i % 4;
    ASSERT_EQ(i, recorded.size()) << path << " is missing or short (UPDATE_GOLDEN=1 writes it)";
}

INSTANTIATE_TEST_SUITE_P(EveryEffect, Equivalence, testing::ValuesIn(rows()),
                         [](const auto& info) { return row_name(info.param); });

}  // namespace
