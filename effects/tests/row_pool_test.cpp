// SPDX-License-Identifier: MIT
#include "row_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct PoolCase {
    int threads, rows;
};
void PrintTo(const PoolCase& c, std::ostream* os) { *os << c.threads << " threads, " << c.rows << " rows"; }

class RowPoolBands : public testing::TestWithParam<PoolCase> {};

// Every row exactly once, in at most threads() contiguous bands, the first on the caller, and
// every band's writes seen when run returns; so again over many jobs in a row, where a lost
// wake-up or an early return would show.
TEST_P(RowPoolBands, CoverEveryRowOnceWithTheFirstBandOnTheCaller) {
    const PoolCase c = GetParam();
    RowPool pool(c.threads);
    ASSERT_EQ(pool.threads(), std::clamp(c.threads, 1, RowPool::kMaxThreads));
    for (int job = 0; job < 300; ++job) {
        std::vector<int> seen(c.rows, 0);
        std::vector<std::pair<int, int>> bands;  // first row (-1: empty band), on the caller
        std::mutex m;
        const std::thread::id caller = std::this_thread::get_id();
        pool.run(c.rows, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) ++seen[y];  // bands are disjoint: no lock needed
            std::lock_guard<std::mutex> lock(m);
            bands.emplace_back(y0 < y1 ? y0 : -1, std::this_thread::get_id() == caller);
        });
        ASSERT_EQ(seen, std::vector<int>(c.rows, 1)) << "job " << job;
        ASSERT_LE(static_cast<int>(bands.size()), pool.threads());
        ASSERT_TRUE(std::none_of(bands.begin(), bands.end(), [](auto b) { return b.first < 0; }));
        ASSERT_EQ(std::count(bands.begin(), bands.end(), std::pair{0, 1}), c.rows > 0) << "first band on the caller";
    }
}

INSTANTIATE_TEST_SUITE_P(
    ThreadsAndRows, RowPoolBands,
    testing::Values(PoolCase{0, 5}, PoolCase{1, 7}, PoolCase{2, 0}, PoolCase{2, 1}, PoolCase{2, 1080},
                    PoolCase{3, 2}, PoolCase{3, 7}, PoolCase{8, 7}, PoolCase{8, 1080}, PoolCase{1000, 3}),
    [](const testing::TestParamInfo<PoolCase>& i) {
        return std::to_string(i.param.threads) + "Threads" + std::to_string(i.param.rows) + "Rows";
    });

}  // namespace
