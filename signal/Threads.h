#pragma once
// Worker threads of the long loops. The system may refuse a thread (a limit
// on processes, a huge stack size): StartThread then throws std::system_error
// and the caller does that work on its own thread. Tests refuse every thread
// to walk those paths.

#include <exception>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace sonavir {

bool ThreadsRefused();
// Makes every StartThread fail as a refusing system does; for tests.
void RefuseThreads(bool refuse);

// Rethrows what the workers of a loop caught, once they are all joined. A
// stop is no failure: a real failure of any worker comes first (the first
// worker's first), then a stop.
void RethrowWorkerErrors(const std::vector<std::exception_ptr>& errors);

// Passes over a buffer share their work among threads from this many
// columns (4 MiB of samples); below it a second thread costs more than it
// saves and the pass is over within a few milliseconds anyway.
inline constexpr long long kThreadedColumns = 1LL << 18;

// How many threads one loop may use at most: the machine's cores (at most
// 8), unless set. Results never depend on it: loops split their work at
// fixed places, so one thread or eight give the same bits. Benchmarks and
// tests set it to compare; a batch that runs its points side by side gives
// each point one (see WorkThreadsScope).
int WorkThreads();
// 0 puts back the machine's own count.
void SetWorkThreads(int threads);
// The calling thread's loops use at most `threads` for the scope's life
// (a point of a batch that already runs on its own core takes 1).
class WorkThreadsScope {
public:
    explicit WorkThreadsScope(int threads) noexcept;
    ~WorkThreadsScope();
    WorkThreadsScope(const WorkThreadsScope&) = delete;
    WorkThreadsScope& operator=(const WorkThreadsScope&) = delete;

private:
    int previous_;
};

template <class F, class... Args>
std::thread StartThread(F&& f, Args&&... args)
{
    if (ThreadsRefused())
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "thread refused");
    return std::thread(std::forward<F>(f), std::forward<Args>(args)...);
}

}  // namespace sonavir
