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
        std::vector<std::pair<int, int>> bands;
        std::mutex m;
        bool callerRanFirst = false;
        const std::thread::id caller = std::this_thread::get_id();
        pool.run(c.rows, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) ++seen[y];  // bands are disjoint: no lock needed
            std::lock_guard<std::mutex> lock(m);
            bands.emplace_back(y0, y1);
            if (y0 == 0 && std::this_thread::get_id() == caller) callerRanFirst = true;
        });
        ASSERT_EQ(seen, std::vector<int>(c.rows, 1)) << "job " << job;
        ASSERT_EQ(callerRanFirst, c.rows > 0);
        ASSERT_LE(static_cast<int>(bands.size()), pool.threads());
        for (const auto& b : bands) ASSERT_LT(b.first, b.second);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ThreadsAndRows, RowPoolBands,
    testing::Values(PoolCase{0, 5}, PoolCase{1, 7}, PoolCase{2, 0}, PoolCase{2, 1}, PoolCase{2, 1080},
                    PoolCase{3, 2}, PoolCase{3, 7}, PoolCase{8, 7}, PoolCase{8, 1080}, PoolCase{1000, 3}),
    [](const testing::TestParamInfo<PoolCase>& i) {
        return std::to_string(i.param.threads) + "Threads" + std::to_string(i.param.rows) + "Rows";
    });

TEST(RowPool, WithoutAPoolTheCallerRunsAllRowsAndNoRowsRunsNothing) {
    std::vector<std::pair<int, int>> calls;
    run_rows(nullptr, 9, [&](int a, int b) { calls.emplace_back(a, b); });
    run_rows(nullptr, 0, [&](int a, int b) { calls.emplace_back(a, b); });
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{0, 9}}));
    EXPECT_GE(default_thread_count(), 1);
}

}  // namespace
