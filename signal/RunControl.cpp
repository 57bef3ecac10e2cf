#include "signal/RunControl.h"

#include <algorithm>

namespace sonavir {

namespace {

thread_local RunControl* current = nullptr;
thread_local bool reports = false;

}  // namespace

void RunControl::Plan(double totalWeight)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    total_ = totalWeight;
    done_ = weight_ = 0;
}

void RunControl::BeginStep(const std::string& name, double weight)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        done_ += weight_;
        weight_ = weight;
        step_ = name;
    }
    Publish(0);
}

void RunControl::StepFraction(double fraction) { Publish(std::clamp(fraction, 0.0, 1.0)); }

void RunControl::Finish() { permille_.store(1000, std::memory_order_relaxed); }

std::string RunControl::StepName() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return step_;
}

void RunControl::Publish(double fraction)
{
    double whole = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (total_ <= 0) return;
        whole = (done_ + weight_ * fraction) / total_;
    }
    // A plan that underestimates stays below 100 % until Finish().
    const int value = static_cast<int>(std::clamp(whole, 0.0, 0.999) * 1000);
    int seen = permille_.load(std::memory_order_relaxed);
    while (value > seen && !permille_.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

RunControl* CurrentRun() noexcept { return current; }

bool ReportsProgress() noexcept { return current && reports; }

RunScope::RunScope(RunControl* control, bool report) noexcept : previous_(current), previousReports_(reports)
{
    current = control;
    reports = report;
}

RunScope::~RunScope()
{
    current = previous_;
    reports = previousReports_;
}

void Checkpoint()
{
    RunControl* control = current;
    if (!control) return;
    if (control->onCheckpoint) control->onCheckpoint();
    if (control->StopRequested()) throw RunStopped();
}

void StepProgress(double fraction)
{
    RunControl* control = current;
    if (!control) return;
    if (reports) control->StepFraction(fraction);
    if (control->onCheckpoint) control->onCheckpoint();
    if (control->StopRequested()) throw RunStopped();
}

}  // namespace sonavir
