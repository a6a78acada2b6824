// SPDX-License-Identifier: MIT
#include "row_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct PoolCase {
    int threads, rows;
};

class RowPoolBands : public testing::TestWithParam<PoolCase> {};

// Every row exactly once, in at most threads() contiguous bands, the first on the caller; and
// so again over many jobs in a row, where a lost wake-up or an early return would show.
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
        ASSERT_TRUE(callerRanFirst);
        ASSERT_LE(static_cast<int>(bands.size()), pool.threads());
        for (const auto& b : bands) ASSERT_LT(b.first, b.second);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ThreadsAndRows, RowPoolBands,
    testing::Values(PoolCase{0, 5}, PoolCase{1, 7}, PoolCase{2, 1}, PoolCase{2, 1080},
                    PoolCase{3, 2}, PoolCase{3, 7}, PoolCase{8, 7}, PoolCase{8, 1080},
                    PoolCase{1000, 3}),
    [](const testing::TestParamInfo<PoolCase>& i) {
        return std::to_string(i.param.threads) + "Threads" + std::to_string(i.param.rows) + "Rows";
    });

// A job's writes are all seen by the caller once run returns.
TEST(RowPool, ResultsOfEveryBandAreVisibleAfterRun) {
    RowPool pool(4);
    std::vector<uint64_t> row(64);
    for (uint64_t pass = 1; pass <= 2000; ++pass) {
        pool.run(64, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) row[y] += pass;
        });
    }
    EXPECT_EQ(row, std::vector<uint64_t>(64, 2000ull * 2001 / 2));
}

TEST(RowPool, NoRowsRunsNothing) {
    RowPool pool(2);
    std::atomic<int> calls{0};
    pool.run(0, [&](int, int) { ++calls; });
    run_rows(nullptr, 0, [&](int, int) { ++calls; });
    EXPECT_EQ(calls.load(), 0);
}

TEST(RowPool, WithoutAPoolTheCallerRunsAllRows) {
    int y0 = -1, y1 = -1;
    run_rows(nullptr, 9, [&](int a, int b) { y0 = a, y1 = b; });
    EXPECT_EQ(y0, 0);
    EXPECT_EQ(y1, 9);
}

TEST(RowPool, DefaultThreadCountIsAtLeastOne) { EXPECT_GE(default_thread_count(), 1); }

}  // namespace
