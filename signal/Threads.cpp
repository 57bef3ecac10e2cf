#include "signal/Threads.h"

#include <atomic>

namespace sonavir {

namespace {
std::atomic<bool> refused{false};
}  // namespace

bool ThreadsRefused() { return refused.load(std::memory_order_relaxed); }

void RefuseThreads(bool refuse) { refused.store(refuse, std::memory_order_relaxed); }

}  // namespace sonavir
