#include "signal/Threads.h"

#include "signal/RunControl.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace sonavir {

namespace {
std::atomic<bool> refused{false};
std::atomic<int> threadsSet{0};
thread_local int threadLimit = 0;  // 0: no limit of this thread's own

int MachineThreads()
{
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}
}  // namespace

bool ThreadsRefused() { return refused.load(std::memory_order_relaxed); }

void RefuseThreads(bool refuse) { refused.store(refuse, std::memory_order_relaxed); }

int WorkThreads()
{
    const int set = threadsSet.load(std::memory_order_relaxed);
    const int threads = set > 0 ? set : MachineThreads();
    return threadLimit > 0 ? std::min(threads, threadLimit) : threads;
}

void SetWorkThreads(int threads) { threadsSet.store(std::clamp(threads, 0, 8), std::memory_order_relaxed); }

WorkThreadsScope::WorkThreadsScope(int threads) noexcept : previous_(threadLimit)
{
    threadLimit = std::max(1, threads);
}

WorkThreadsScope::~WorkThreadsScope() { threadLimit = previous_; }

void RethrowWorkerErrors(const std::vector<std::exception_ptr>& errors)
{
    std::exception_ptr stopped;
    for (const auto& e : errors) {
        if (!e) continue;
        try {
            std::rethrow_exception(e);
        } catch (const RunStopped&) {
            stopped = e;
        }
    }
    if (stopped) std::rethrow_exception(stopped);
}

}  // namespace sonavir
