#pragma once
// Worker threads of the long loops. The system may refuse a thread (a limit
// on processes, a huge stack size): StartThread then throws std::system_error
// and the caller does that work on its own thread. Tests refuse every thread
// to walk those paths.

#include <system_error>
#include <thread>
#include <utility>

namespace sonavir {

bool ThreadsRefused();
// Makes every StartThread fail as a refusing system does; for tests.
void RefuseThreads(bool refuse);

template <class F, class... Args>
std::thread StartThread(F&& f, Args&&... args)
{
    if (ThreadsRefused())
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "thread refused");
    return std::thread(std::forward<F>(f), std::forward<Args>(args)...);
}

}  // namespace sonavir
