#pragma once
// Work on a thread of its own, watched from the program's thread: the runs of
// the main window and the series of the evaluation window go here, so that
// the windows keep repainting, moving and taking input while they compute.
// The program's thread polls (a timer in the window, a loop on the command
// line), reads the per cent and the step's name, and collects the result
// once the work has returned; it never blocks on the work except to wait
// for a stop to take hold.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "signal/RunControl.h"

namespace sonavir {

class BackgroundWork {
public:
    BackgroundWork() = default;
    // Stops the work and waits for it: nothing outlives its window.
    ~BackgroundWork();
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // Starts work(control) on a worker thread with a fresh control, which
    // the work's own loops see. When the system refuses the thread, the work
    // is done on the calling thread before Start returns, as it was before
    // there were threads (Finished() is then true at once). Calls
    // `prepare(control)` first, on this thread (a test's seam, say).
    void Start(std::function<void(RunControl&)> work, const std::function<void(RunControl&)>& prepare = {});
    // Started and not yet collected.
    bool Busy() const { return busy_; }
    // The work has returned and is not yet collected; its results may be read.
    bool Finished() const { return busy_ && finished_ && finished_->load(std::memory_order_acquire); }
    // Asks the work to stop; returns at once. Stopped() tells afterwards.
    void Stop();
    bool Stopped() const { return control_ && control_->StopRequested(); }
    // Until the work has returned.
    void Wait();
    // After the work has returned: the runner is idle again.
    void Collect();

    // The current work's control (progress), or null when idle.
    const RunControl* Control() const { return control_.get(); }
    // Since the work started.
    std::chrono::steady_clock::duration Elapsed() const { return std::chrono::steady_clock::now() - started_; }

private:
    std::unique_ptr<RunControl> control_;
    std::shared_ptr<std::atomic<bool>> finished_;
    std::thread thread_;
    bool busy_ = false;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace sonavir
