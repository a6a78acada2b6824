// SPDX-License-Identifier: MIT
// A small set of worker threads that the render pass keeps for its whole life and hands row
// bands to, so that every phase of a pass runs on all cores without creating a thread or
// allocating memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <type_traits>
#include <vector>

class RowPool {
public:
    // Values below 1 are taken as 1, above kMaxThreads as kMaxThreads; one thread runs
    // everything on the caller.
    explicit RowPool(int threads);
    static constexpr int kMaxThreads = 256;
    ~RowPool();
    RowPool(const RowPool&) = delete;
    RowPool& operator=(const RowPool&) = delete;

    int threads() const { return threads_; }

    // Splits rows [0, rows) into at most threads() bands of nearly equal height and runs
    // fn(y0, y1) on each, the first on the caller; returns when every band is done. One caller
    // at a time; fn must not throw.
    template <class F>
    void run(int rows, F&& fn) {
        using Fn = std::remove_reference_t<F>;
        run_bands(rows, [](void* f, int y0, int y1) { (*static_cast<Fn*>(f))(y0, y1); },
                  const_cast<void*>(static_cast<const void*>(&fn)));
    }

private:
    using BandFn = void (*)(void*, int, int);
    void run_bands(int rows, BandFn call, void* fn);
    void work(int index);
    // Takes the next band of the current job and runs it; false when none is left.
    bool run_one(uint64_t job);

    int threads_;
    std::vector<std::thread> workers_;
    // The job in hand; written by the caller before `ticket_` announces it, read by a thread
    // only after it has taken a band of that job.
    BandFn call_ = nullptr;
    void* fn_ = nullptr;
    int rows_ = 0;
    bool stopping_ = false;
    // Job number (high 32 bits), number of bands (16 bits) and next band (16 bits): a thread
    // takes a band by moving `next` on. Bands are not bound to threads, so the caller runs the
    // bands of a worker that the system has not scheduled yet rather than wait for it.
    alignas(64) std::atomic<uint64_t> ticket_{0};
    alignas(64) std::atomic<uint32_t> generation_{0};  // one step per job; wakes the workers
    alignas(64) std::atomic<uint32_t> done_{0};        // bands finished in the current job
};

// Band b of n over rows [0, rows): the rows it starts and ends at.
inline int band_start(int rows, int b, int n) {
    return static_cast<int>(static_cast<int64_t>(rows) * b / n);
}

// Runs fn over rows [0, rows) on the pool, or all at once on the caller when there is none.
template <class F>
void run_rows(RowPool* pool, int rows, F&& fn) {
    if (rows <= 0) return;
    if (pool) {
        pool->run(rows, fn);
    } else {
        fn(0, rows);
    }
}

// The CPUs this process may run on, at least 1.
int default_thread_count();
