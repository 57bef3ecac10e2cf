#pragma once
// The progress and the stop of one long piece of work (a run of the model, a
// series, a batch of trials), as the loops that do it see it.
//
// The thread that does the work installs the control for itself (RunScope).
// The transforms, the column loops, the generators and the other long loops
// then call Checkpoint() between blocks of a few thousand values: once a stop
// has been asked for, the next checkpoint ends the work with RunStopped. The
// work announces its steps with their weights (BeginStep), and the loops of a
// step report how far they have got (StepProgress); any thread reads the
// per cent and the step's name.
//
// Without a control (the tests, the benchmarks, a helper thread that was not
// given one) every call here costs a thread-local load and does nothing.

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <string>

namespace sonavir {

// Thrown by a checkpoint after RequestStop(). Not a failure: it is never shown
// to the user, and it leaves nothing of the work behind.
class RunStopped : public std::exception {
public:
    const char* what() const noexcept override { return "stopped"; }
};

class RunControl {
public:
    // Any thread, at any time; also before the work starts.
    void RequestStop() noexcept { stop_.store(true, std::memory_order_relaxed); }
    bool StopRequested() const noexcept { return stop_.load(std::memory_order_relaxed); }

    // The worker's plan: the sum of the weights of the steps to come, then
    // each step as it begins (the one before counts as done). Weights are in
    // any unit, a transform of the run's size is a natural one.
    void Plan(double totalWeight);
    void BeginStep(const std::string& name, double weight);
    // How far the current step has got, 0 .. 1.
    void StepFraction(double fraction);
    // All done: 100 %.
    void Finish();

    // Any thread: 0 .. 100, never falling; and the current step's name.
    int Percent() const noexcept { return permille_.load(std::memory_order_relaxed) / 10; }
    int Permille() const noexcept { return permille_.load(std::memory_order_relaxed); }
    std::string StepName() const;

    // A seam for tests: called at every checkpoint, on whichever working
    // thread reaches it (so it must be safe to call from several at once).
    // A test slows a run down with it, or holds it at a checkpoint.
    std::function<void()> onCheckpoint;

private:
    void Publish(double fraction);

    std::atomic<bool> stop_{false};
    std::atomic<int> permille_{0};
    mutable std::mutex mutex_;  // the plan and the step's name
    std::string step_;
    double total_ = 0, done_ = 0, weight_ = 0;
};

// The control of the calling thread, or null.
RunControl* CurrentRun() noexcept;
// Whether the calling thread reports progress (the thread that plans the
// steps does; helper threads of a loop and the points of a batch only stop).
bool ReportsProgress() noexcept;

// Installs a control for the calling thread for the scope's life (null:
// none). A loop that hands work to helper threads installs the same control
// in each of them with reports = false.
class RunScope {
public:
    explicit RunScope(RunControl* control, bool reports = true) noexcept;
    ~RunScope();
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

private:
    RunControl* previous_;
    bool previousReports_;
};

// Ends the work with RunStopped once a stop has been asked for.
void Checkpoint();
// The current step's fraction, from the thread that reports; a checkpoint too.
void StepProgress(double fraction);
// StepProgress(done / total) for loops that count.
inline void StepProgress(long long done, long long total)
{
    StepProgress(total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0);
}

}  // namespace sonavir
