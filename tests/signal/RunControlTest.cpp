#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"
#include "signal/RunControl.h"
#include "signal/Threads.h"

using namespace sonavir;

TEST(RunControl, ProgressFollowsThePlanAndNeverFalls)
{
    RunControl control;
    control.Plan(4);
    control.BeginStep("a", 1);
    control.StepFraction(0.5);
    EXPECT_EQ(control.Percent(), 12);
    control.StepFraction(0.25);  // a loop that reports out of order
    EXPECT_EQ(control.Percent(), 12);
    control.BeginStep("b", 3);
    EXPECT_EQ(control.StepName(), "b");
    control.StepFraction(1);
    EXPECT_EQ(control.Percent(), 99);  // only Finish says done
    control.Finish();
    EXPECT_EQ(control.Percent(), 100);
}

TEST(RunControl, AStopEndsALongLoopOnEveryWorkerAndAFailureComesFirst)
{
    for (int threads : {1, 2}) {
        SCOPED_TRACE(threads);
        SetWorkThreads(threads);
        RunControl control;
        const RunScope scope(&control);
        control.Plan(1);
        control.BeginStep("loop", 1);
        const int N = 1 << 20;
        std::atomic<int> columns{0};
        // The stop comes a third of the way through; no column after the
        // next checkpoint is touched.
        EXPECT_THROW(detail::ForColumns(0, N,
                                        [&](int b, int e) {
                                            if (columns.fetch_add(e - b) > N / 3) control.RequestStop();
                                        }),
                     RunStopped);
        EXPECT_LT(columns.load(), N / 3 + 2 * threads * detail::kCheckColumns);
        EXPECT_GT(control.Percent(), 0);

        // A real failure on one worker wins over the stop it causes.
        RunControl second;
        const RunScope inner(&second);
        try {
            detail::ForColumns(0, N, [&](int b, int) {
                if (b >= N / 2) {
                    second.RequestStop();
                    RaiseOverflow();
                }
            });
            FAIL() << "the loop should fail";
        } catch (const SonavirError& e) {
            EXPECT_STREQ(e.what(), "Floating point overflow");
        }
    }
    SetWorkThreads(0);
}
