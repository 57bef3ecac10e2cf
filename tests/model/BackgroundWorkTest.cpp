#include <gtest/gtest.h>

#include "model/BackgroundWork.h"
#include "signal/Threads.h"

using namespace sonavir;

// Finished() is what the windows poll for before they read a result: once
// collected, the work must not look finished again (a second read would
// take an empty result for a new one), with a thread or without one.
TEST(BackgroundWork, WorkIsFinishedOnceUntilCollectedAndAStopReachesIt)
{
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused);
        RefuseThreads(refused);
        BackgroundWork work;
        bool stopped = false;
        work.Start([&](RunControl& control) {
            while (!control.StopRequested() && !refused) {
            }
            stopped = control.StopRequested();
        });
        EXPECT_TRUE(work.Busy());
        work.Stop();
        work.Wait();
        EXPECT_TRUE(work.Finished());
        EXPECT_EQ(stopped, !refused);
        work.Collect();
        EXPECT_FALSE(work.Busy());
        EXPECT_FALSE(work.Finished());
    }
    RefuseThreads(false);
}
