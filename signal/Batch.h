#pragma once
// Many independent pieces of work (the points of a series, the values of a
// sweep, Monte-Carlo trials, the rows of a map) side by side on the cores.
// Each piece runs alone on its thread with one thread for its own loops, so
// its result is exactly what running it by itself gives, whatever the
// number of threads and whichever thread it lands on.

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "signal/RunControl.h"
#include "signal/Threads.h"

namespace sonavir {

// Runs task(i, worker) for every i in [0, count), worker in [0, workers):
// side by side on up to WorkThreads() threads when sideBySide, in order on
// the calling thread otherwise (large pieces whose own loops already use the
// cores). A task keeps its own failures (the caller decides the order in
// which they count); anything it throws (a stop, above all) ends the batch
// at the next piece and is rethrown here. done(finished) follows every
// finished piece, one call at a time, on the thread that finished it.
template <typename Task, typename Done>
void RunBatch(int count, bool sideBySide, Task task, Done done);

// The workers such a batch uses, so that the caller can size what each
// worker keeps (buffers reused from piece to piece).
inline int BatchWorkers(int count, bool sideBySide)
{
    return count <= 0 ? 0 : sideBySide ? std::clamp(WorkThreads(), 1, count) : 1;
}

template <typename Task, typename Done>
void RunBatch(int count, bool sideBySide, Task task, Done done)
{
    if (count <= 0) return;
    const int workers = BatchWorkers(count, sideBySide);
    RunControl* const control = CurrentRun();
    const bool reports = ReportsProgress();
    std::atomic<int> next{0};
    std::atomic<bool> ended{false};
    std::mutex mutex;
    int finished = 0;
    std::exception_ptr error;
    auto work = [&](int worker, bool lead) {
        const RunScope scope(control, reports && lead);
        // Side by side, each piece's own loops keep to its thread.
        const WorkThreadsScope threads(workers > 1 ? 1 : WorkThreads());
        try {
            for (int i; !ended.load(std::memory_order_relaxed) && (i = next.fetch_add(1)) < count;) {
                Checkpoint();
                task(i, worker);
                const std::lock_guard<std::mutex> lock(mutex);
                done(++finished);
            }
        } catch (...) {
            const std::lock_guard<std::mutex> lock(mutex);
            if (!error) error = std::current_exception();
            ended.store(true, std::memory_order_relaxed);
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(workers - 1));
    try {
        for (int w = 1; w < workers; ++w) threads.push_back(StartThread(work, w, false));
    } catch (const std::system_error&) {
        // Fewer threads than asked for: the rest of the pieces wait for those there are.
    }
    work(0, true);
    for (auto& t : threads) t.join();
    if (error) std::rethrow_exception(error);
}

}  // namespace sonavir
