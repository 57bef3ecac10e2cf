#pragma once
// A window's work on a thread of its own (model/BackgroundWork.h), watched
// from the program's thread: a timer polls it, shows its progress and, once
// the work has returned, finishes it there, exactly once. Declare it after
// whatever the work writes into: it stops and waits for the work as it goes.

#include <QObject>
#include <chrono>
#include <functional>

#include "model/BackgroundWork.h"

class QTimer;

namespace sonavir {

class WorkWatcher : public QObject {
public:
    explicit WorkWatcher(QObject* parent = nullptr);
    ~WorkWatcher() override;

    // While the work runs, at every poll.
    std::function<void(const RunControl&)> onProgress;
    // On this thread once the work has returned: whether it was stopped.
    std::function<void(bool stopped)> onFinished;

    // Starts the work (stopping and waiting for any before); the seam is given
    // the fresh control first. A refused thread does the work here and now,
    // and it is finished before Start returns.
    void Start(std::function<void(RunControl&)> work, const std::function<void(RunControl&)>& seam = {});
    bool Running() const { return work_.Busy(); }
    // Asks the work to stop; the next poll finishes it once it has ended.
    void Stop() { work_.Stop(); }
    // Asks, waits and finishes here and now.
    void StopAndFinish();
    // Serves the event loop until the work has been finished.
    void WaitForRun();
    std::chrono::steady_clock::duration Elapsed() const { return work_.Elapsed(); }

private:
    void Poll();
    void Finish();

    BackgroundWork work_;
    QTimer* timer_;
};

}  // namespace sonavir
