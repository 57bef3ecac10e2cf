#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>

#include "signal/Errors.h"
#include "signal/WinFFT.h"
#include "tests/support/FailureOf.h"

using namespace sonavir;

TEST(Sizing, TransformSizeDoublesPastTwiceThePulse)
{
    EXPECT_EQ(TransformSize(0), 1);
    EXPECT_EQ(TransformSize(1), 2);
    EXPECT_EQ(TransformSize(3), 8);
    EXPECT_EQ(TransformSize(4), 8);
    EXPECT_EQ(TransformSize(5), 16);
    EXPECT_EQ(TransformSize(-7), 1);
}

TEST(Sizing, HalfSampleCountRoundsHalfToEven)
{
    EXPECT_EQ(HalfSampleCount(494.5L, 1), 247);
    EXPECT_EQ(HalfSampleCount(495.5L, 1), 248);
}

namespace {

using testsupport::FailureOf;

}  // namespace

TEST(Sizing, AbsurdDurationsFailBeforeAnyAllocation)
{
    // A typed Tc of 1E9 s at the default step: far more than memory holds.
    EXPECT_EQ(FailureOf([] { HalfSampleCount(1e9L, 1.0L / 49392); }), "Out of memory");
    EXPECT_EQ(FailureOf([] { HalfSampleCount(1e4000L, 1e-4000L); }), "Floating point overflow");
    // Largest size that may still exist, and one pair more.
    EXPECT_EQ(TransformSize(kMaxSignalSize / 2), kMaxSignalSize);
    EXPECT_EQ(FailureOf([] { TransformSize(kMaxSignalSize / 2 + 1); }), "Out of memory");
    EXPECT_EQ(FailureOf([] { TransformSize(std::numeric_limits<int>::max()); }), "Out of memory");
}

TEST(Sizing, NegativeOrZeroInputsGiveSaneSizes)
{
    EXPECT_EQ(HalfSampleCount(-0.01L, 1.0L / 49392), -247);
    // An odd negative count halves toward zero, as the memory figures show it.
    EXPECT_EQ(HalfSampleCount(-495, 1), -247);
    EXPECT_EQ(HalfSampleCount(-1, 1), 0);
    EXPECT_EQ(TransformSize(HalfSampleCount(-1e12L, 1e-6L)), 1);
    EXPECT_EQ(TransformSize(std::numeric_limits<int>::min()), 1);
    EXPECT_EQ(HalfSampleCount(0, 1), 0);
    EXPECT_EQ(HalfSampleCount(1, 1), 0);  // a pulse shorter than two samples
    EXPECT_EQ(FailureOf([] { HalfSampleCount(0.01L, 0); }), "Floating point division by zero");
    EXPECT_EQ(FailureOf([] { HalfSampleCount(0, 0); }), "Invalid floating point operation");
}

TEST(Sizing, AllocationRefusesImpossibleSizes)
{
    TSignalData d;
    for (int n : {0, -4, kMaxSignalSize + 1})
        EXPECT_EQ(FailureOf([&] { AllocateSignal(d, n); }), "Out of memory") << n;
    AllocateSignal(d, 8);
    EXPECT_EQ(d[0], TSignalRow(8, 0.0));
    EXPECT_EQ(d[1], TSignalRow(8, 0.0));
    ReleaseSignal(d);
    EXPECT_TRUE(d[0].empty() && d[1].empty());
}
