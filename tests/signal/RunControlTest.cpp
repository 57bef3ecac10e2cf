#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "signal/ColumnLoops.h"
#include "signal/Envelope.h"
#include "signal/Errors.h"
#include "signal/Generators.h"
#include "signal/MatchedFilter.h"
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

TEST(RunControl, TheLongLoopsOutsideTheColumnLoopsSeeAStopWithinAFewThousandValues)
{
    const int N = 1 << 20;
    TSignalData wave;
    AllocateSignal(wave, N);
    TModelParams p;
    LfmPulse(wave, N, N / 2, p);
    TSignalData envelope;
    Envelope(wave, N, envelope);
    const std::vector<std::pair<const char*, std::function<void()>>> actions = {
        {"allocate", [&] { TSignalData d; AllocateSignal(d, N); }},
        {"pulse", [&] { TSignalData d = wave; LfmPulse(d, N, N, p); }},
        {"envelope", [&] { TSignalData e; Envelope(wave, N, e); }},
        {"measure", [&] { MeasureEnvelope(envelope, N, p.Dt); }},
        {"filter", [&] { TSignalData d = wave; ApplyMatchedFilter(d, N, wave); }},
        {"scale", [&] { TSignalData d = wave; ScaleBuffer(d, N, 0.5L); }},
        {"peak", [&] { ColumnPeak(wave, N); }},
        {"energy", [&] { BufferEnergy(wave, N); }},
    };
    for (int threads : {1, 2}) {
        SetWorkThreads(threads);
        for (const auto& [name, action] : actions) {
            SCOPED_TRACE(std::string(name) + " on " + std::to_string(threads));
            RunControl control;
            const RunScope scope(&control);
            std::atomic<int> seen{0};
            control.onCheckpoint = [&] {
                if (++seen == 3) control.RequestStop();
            };
            EXPECT_THROW(action(), RunStopped);
            // Far fewer checkpoints than the 2^21 values would allow at one
            // per few thousand: the stop ended the loop where it was.
            EXPECT_LE(seen.load(), 3 + threads);
        }
    }
    SetWorkThreads(0);

    // A stopped allocation leaves no half-made buffer behind.
    RunControl control;
    const RunScope scope(&control);
    control.RequestStop();
    TSignalData d;
    EXPECT_THROW(AllocateSignal(d, N), RunStopped);
    EXPECT_TRUE(d[0].empty() && d[1].empty());
}
