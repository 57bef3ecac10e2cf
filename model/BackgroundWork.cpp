#include "model/BackgroundWork.h"

#include <system_error>
#include <utility>

#include "signal/Threads.h"

namespace sonavir {

BackgroundWork::~BackgroundWork()
{
    Stop();
    Wait();
}

void BackgroundWork::Start(std::function<void(RunControl&)> work, const std::function<void(RunControl&)>& prepare)
{
    Stop();
    Wait();
    control_ = std::make_unique<RunControl>();
    finished_ = std::make_shared<std::atomic<bool>>(false);
    if (prepare) prepare(*control_);
    busy_ = true;
    started_ = std::chrono::steady_clock::now();
    RunControl* control = control_.get();
    auto body = [work = std::move(work), control, finished = finished_] {
        work(*control);
        finished->store(true, std::memory_order_release);
    };
    try {
        thread_ = StartThread(body);
    } catch (const std::system_error&) {
        body();  // no thread to be had: here and now, as before
    }
}

void BackgroundWork::Stop()
{
    if (control_) control_->RequestStop();
}

void BackgroundWork::Wait()
{
    if (thread_.joinable()) thread_.join();
}

void BackgroundWork::Collect()
{
    Wait();
    busy_ = false;
}

}  // namespace sonavir
