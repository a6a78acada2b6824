// SPDX-License-Identifier: MIT
#include "row_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

class RowPoolBands : public testing::TestWithParam<std::pair<int, int>> {};  // threads, rows

// Every row exactly once, in at most threads() non-empty bands, the first on the caller, every
// band's writes seen when run returns; so again over many jobs in a row, where a lost wake-up or
// an early return would show.
TEST_P(RowPoolBands, CoverEveryRowOnceWithTheFirstBandOnTheCaller) {
    const auto [threads, rows] = GetParam();
    RowPool pool(threads);
    ASSERT_EQ(pool.threads(), std::clamp(threads, 1, RowPool::kMaxThreads));
    for (int job = 0; job < 300; ++job) {
        std::vector<int> seen(rows, 0);
        std::vector<std::pair<int, bool>> bands;  // first row (-1: none), on the caller
        std::mutex m;
        const std::thread::id caller = std::this_thread::get_id();
        pool.run(rows, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) ++seen[y];  // bands are disjoint: no lock needed
            std::lock_guard<std::mutex> lock(m);
            bands.emplace_back(y0 < y1 ? y0 : -1, std::this_thread::get_id() == caller);
        });
        ASSERT_EQ(seen, std::vector<int>(rows, 1)) << "job " << job;
        ASSERT_LE(static_cast<int>(bands.size()), pool.threads());
        ASSERT_EQ(std::count_if(bands.begin(), bands.end(), [](auto b) { return b.first < 0; }), 0);
        ASSERT_EQ(std::count(bands.begin(), bands.end(), std::pair{0, true}), rows > 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ThreadsAndRows, RowPoolBands,
    testing::ValuesIn(std::vector<std::pair<int, int>>{
        {0, 5}, {1, 7}, {2, 0}, {2, 1}, {2, 1080}, {3, 2}, {3, 7}, {8, 7}, {8, 1080}, {1000, 3}}),
    [](const auto& i) {
        return std::to_string(i.param.first) + "Threads" + std::to_string(i.param.second) + "Rows";
    });

}  // namespace
