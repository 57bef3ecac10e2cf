#include "gui/WorkWatcher.h"

#include <QCoreApplication>
#include <QTimer>
#include <utility>

namespace sonavir {

WorkWatcher::WorkWatcher(QObject* parent) : QObject(parent), timer_(new QTimer(this))
{
    timer_->setInterval(30);
    connect(timer_, &QTimer::timeout, this, &WorkWatcher::Poll);
}

WorkWatcher::~WorkWatcher()
{
    work_.Stop();
    work_.Wait();
}

void WorkWatcher::Start(std::function<void(RunControl&)> work, const std::function<void(RunControl&)>& seam)
{
    work_.Start(std::move(work), seam);
    if (work_.Finished()) Finish();
    else timer_->start();
}

void WorkWatcher::StopAndFinish()
{
    if (!Running()) return;
    work_.Stop();
    work_.Wait();
    Finish();
}

void WorkWatcher::WaitForRun()
{
    while (Running()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (work_.Finished()) Finish();
    }
}

void WorkWatcher::Poll()
{
    if (work_.Finished()) {
        Finish();
        return;
    }
    if (!Running()) {
        timer_->stop();
        return;
    }
    if (onProgress && work_.Control()) onProgress(*work_.Control());
}

void WorkWatcher::Finish()
{
    timer_->stop();
    const bool stopped = work_.Stopped();
    work_.Collect();
    if (onFinished) onFinished(stopped);
}

}  // namespace sonavir
