#include <gtest/gtest.h>

#include "display/PictureSettings.h"

namespace sonavir {
namespace {

TEST(PictureSettingsTest, DefaultsAreWhiteOnBlackWithFullScale)
{
    PictureSettings s;
    EXPECT_EQ(s.PlotForeColor, kWhite);
    EXPECT_EQ(s.PlotBackColor, kBlack);
    EXPECT_TRUE(s.scale && s.amplitude && s.tc && s.f);
    EXPECT_FALSE(s.db);
    EXPECT_EQ(s.amplitudeCount, 4);
    EXPECT_EQ(s.tcCount, 6);
    EXPECT_EQ(s.fCount, 6);
    EXPECT_EQ(s.WindowHeight(), 267);
    s.shortForm = true;
    EXPECT_EQ(s.WindowHeight(), 155);
}

TEST(PictureSettingsTest, ColourSchemeFollowsTheItemAndIgnoresOthers)
{
    PictureSettings s;
    s.SetColorItem(1);
    EXPECT_EQ(s.PlotForeColor, kBlack);
    EXPECT_EQ(s.PlotBackColor, kWhite);
    s.SetColorItem(5);
    EXPECT_EQ(s.PlotForeColor, kBlack);
    EXPECT_EQ(s.PlotBackColor, kWhite);
    s.SetColorItem(-1);
    EXPECT_EQ(s.PlotBackColor, kWhite);
    s.SetColorItem(0);
    EXPECT_EQ(s.PlotForeColor, kWhite);
    EXPECT_EQ(s.PlotBackColor, kBlack);
}

TEST(PictureSettingsTest, ScaleSwitchCascadesOntoTheTickOptions)
{
    PictureSettings s;
    s.SetTc(false);
    EXPECT_FALSE(s.tcSpinEnabled);
    EXPECT_TRUE(s.amplitudeSpinEnabled);

    s.SetScale(false);
    EXPECT_FALSE(s.amplitude || s.tc || s.f);
    EXPECT_FALSE(s.amplitudeBoxEnabled || s.tcBoxEnabled || s.fBoxEnabled);
    EXPECT_FALSE(s.amplitudeSpinEnabled || s.tcSpinEnabled || s.fSpinEnabled);
    EXPECT_EQ(s.tcCount, 6);  // the counts are kept

    // The dB view changes the curves, drawn without the scale too: the
    // scale leaves it alone either way.
    s.SetDb(true);
    s.SetScale(true);
    s.SetScale(false);
    EXPECT_TRUE(s.db);
    s.SetDb(false);

    // On again: all three options come back on, whatever they were before.
    s.SetScale(true);
    EXPECT_TRUE(s.amplitude && s.tc && s.f);
    EXPECT_TRUE(s.amplitudeBoxEnabled && s.tcBoxEnabled && s.fBoxEnabled);
    EXPECT_TRUE(s.amplitudeSpinEnabled && s.tcSpinEnabled && s.fSpinEnabled);
}

TEST(PictureSettingsTest, CountsStayWithinOneToThirty)
{
    EXPECT_EQ(PictureSettings::ClampCount(0), 1);
    EXPECT_EQ(PictureSettings::ClampCount(-7), 1);
    EXPECT_EQ(PictureSettings::ClampCount(1), 1);
    EXPECT_EQ(PictureSettings::ClampCount(30), 30);
    EXPECT_EQ(PictureSettings::ClampCount(31), 30);
}

}  // namespace
}  // namespace sonavir
