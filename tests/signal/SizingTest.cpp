#include <gtest/gtest.h>

#include "signal/Errors.h"
#include "signal/WinFFT.h"

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
