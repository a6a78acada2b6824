// SPDX-License-Identifier: MIT
#include "row_pool.h"

#include <sched.h>

namespace {

// Spins, then yields, before sleeping: the phases of one pass follow each other within
// microseconds, and a futex wake-up for each would cost more than the phase. Yielding keeps a
// waiting thread from holding a core that a thread with work needs, when there are more threads
// than cores.
constexpr int kSpins = 200, kYields = 2000;

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Waits until a no longer holds `old`, spinning first.
inline uint32_t wait_change(const std::atomic<uint32_t>& a, uint32_t old) {
    for (int i = 0; i < kSpins + kYields; ++i) {
        const uint32_t v = a.load(std::memory_order_acquire);
        if (v != old) return v;
        if (i < kSpins) {
            relax();
        } else {
            std::this_thread::yield();
        }
    }
    for (;;) {
        a.wait(old, std::memory_order_acquire);
        const uint32_t v = a.load(std::memory_order_acquire);
        if (v != old) return v;
    }
}

}  // namespace

RowPool::RowPool(int threads)
    : threads_(threads < 1 ? 1 : threads > kMaxThreads ? kMaxThreads : threads) {
    workers_.reserve(threads_ - 1);
    for (int i = 1; i < threads_; ++i) workers_.emplace_back([this, i] { work(i); });
}

RowPool::~RowPool() {
    stopping_ = true;
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    for (std::thread& t : workers_) t.join();
}

bool RowPool::run_one(uint64_t job) {
    uint64_t t = ticket_.load(std::memory_order_acquire);
    for (;;) {
        const uint64_t bands = (t >> 16) & 0xffff, next = t & 0xffff;
        if ((t >> 32) != job || next >= bands) return false;
        if (ticket_.compare_exchange_weak(t, t + 1, std::memory_order_acq_rel)) {
            const int b = static_cast<int>(next), n = static_cast<int>(bands);
            call_(fn_, band_start(rows_, b, n), band_start(rows_, b + 1, n));
            if (done_.fetch_add(1, std::memory_order_acq_rel) + 1 == bands) done_.notify_one();
            return true;
        }
    }
}

void RowPool::run_bands(int rows, BandFn call, void* fn) {
    if (rows <= 0) return;
    const int bands = rows < threads_ ? rows : threads_;
    if (bands == 1) {
        call(fn, 0, rows);
        return;
    }
    call_ = call;
    fn_ = fn;
    rows_ = rows;
    done_.store(0, std::memory_order_relaxed);
    const uint32_t job = generation_.load(std::memory_order_relaxed) + 1;
    // Band 0 is the caller's own.
    ticket_.store((uint64_t{job} << 32) | (static_cast<uint64_t>(bands) << 16) | 1, std::memory_order_release);
    generation_.store(job, std::memory_order_release);
    generation_.notify_all();
    call(fn, 0, band_start(rows, 1, bands));
    uint32_t finished = done_.fetch_add(1, std::memory_order_acq_rel) + 1;
    while (run_one(job)) {
    }
    while (finished != static_cast<uint32_t>(bands)) {
        finished = wait_change(done_, finished);
    }
}

void RowPool::work(int) {
    uint32_t seen = 0;
    for (;;) {
        seen = wait_change(generation_, seen);
        if (stopping_) return;
        // A worker that wakes late may find a later job than the one that woke it: it helps with
        // that one, and a job it finds finished it leaves alone.
        while (run_one(ticket_.load(std::memory_order_acquire) >> 32)) {
        }
    }
}

int default_thread_count() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return n;
    }
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}
