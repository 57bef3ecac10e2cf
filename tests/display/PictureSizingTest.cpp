#include "display/PictureSizing.h"

#include <gtest/gtest.h>

#include "signal/Errors.h"
#include "tests/support/FailureOf.h"

namespace sonavir {
namespace {

using testsupport::FailureOf;

TEST(BmpNameTest, ExtensionAddedOnlyWithoutAnyDot)
{
    EXPECT_EQ(WithBmpExtension("/tmp/picture"), "/tmp/picture.bmp");
    EXPECT_EQ(WithBmpExtension("/tmp/picture.png"), "/tmp/picture.png");
    EXPECT_EQ(WithBmpExtension("/tmp/picture."), "/tmp/picture.");
    // A dot in the folder part is enough to keep the name as it is.
    EXPECT_EQ(WithBmpExtension("/home/a.b/picture"), "/home/a.b/picture");
}

TEST(IntegerTextTest, WholeNumbersOnly)
{
    EXPECT_EQ(ParseIntegerText("1000"), 1000);
    EXPECT_EQ(ParseIntegerText(" 300 "), 300);
    EXPECT_EQ(ParseIntegerText("-5"), -5);
    EXPECT_EQ(FailureOf([] { ParseIntegerText("12a"); }), "'12a' is not a valid integer value");
    EXPECT_EQ(FailureOf([] { ParseIntegerText(""); }), "'' is not a valid integer value");
    EXPECT_EQ(FailureOf([] { ParseIntegerText("1,5"); }), "'1,5' is not a valid integer value");
    EXPECT_EQ(FailureOf([] { ParseIntegerText("-"); }), "'-' is not a valid integer value");
    EXPECT_EQ(FailureOf([] { ParseIntegerText("99999999999"); }),
              "'99999999999' is not a valid integer value");
}

TEST(PictureSizingTest, ShowTakesTheBitmapSizeAndTheCheckBox)
{
    Picture picture(640, 200);
    PictureSizing sizing;
    sizing.autoSizeChecked = false;  // as left by an earlier opening
    sizing.Show(picture);
    EXPECT_EQ(sizing.horizText, "640");
    EXPECT_EQ(sizing.vertText, "200");
    EXPECT_FALSE(sizing.ImageAutoSize);
}

TEST(PictureSizingTest, FixedSizeKeepsFormatAndContent)
{
    Picture picture(100, 50);
    picture.Fill(kWhite);
    PictureSizing sizing;
    sizing.SetAutoSizeChecked(false);
    EXPECT_TRUE(sizing.SizeGroupEnabled());
    sizing.horizText = "1000";
    sizing.vertText = "300";
    sizing.Apply(picture, 785, 484, kBlack);
    EXPECT_FALSE(sizing.aligned);
    EXPECT_EQ(sizing.ControlWidth(785), 1000);
    EXPECT_EQ(sizing.ControlHeight(484), 300);
    EXPECT_EQ(picture.Width(), 1000);
    EXPECT_EQ(picture.Height(), 300);
    EXPECT_EQ(picture.Format(), PixelFormat::Indexed8);
    EXPECT_EQ(picture.PixelAt(10, 10), kWhite);
    // A fixed-size apply leaves the pending auto-size switch for later.
    EXPECT_TRUE(sizing.AutoSizeChanged);
}

TEST(PictureSizingTest, RefusedApplyChangesNothing)
{
    Picture picture(100, 50);
    PictureSizing sizing;
    sizing.SetAutoSizeChecked(false);
    struct Case {
        const char* horiz;
        const char* vert;
        std::string message;
    };
    // Each side names its own range: below it the plots lose their labels.
    const std::string horiz = "Горизонтальный размер изображения должен быть от 360 до 20000 точек";
    const std::string vert = "Вертикальный размер изображения должен быть от 264 до 20000 точек";
    for (const Case& c : {Case{"400", "x", "'x' is not a valid integer value"},
                          Case{"x", "400", "'x' is not a valid integer value"},
                          Case{"400", "0", vert}, Case{"-3", "400", horiz},
                          Case{"359", "400", horiz}, Case{"400", "263", vert},
                          Case{"20001", "400", horiz}, Case{"400", "20001", vert}}) {
        sizing.horizText = c.horiz;
        sizing.vertText = c.vert;
        EXPECT_EQ(FailureOf([&] { sizing.Apply(picture, 785, 484, kBlack); }), c.message)
            << c.horiz << " x " << c.vert;
        EXPECT_TRUE(sizing.aligned);
        EXPECT_EQ(picture.Width(), 100);
        EXPECT_EQ(picture.Height(), 50);
    }
    sizing.horizText = "20000";
    sizing.vertText = "264";
    sizing.Apply(picture, 785, 484, kBlack);
    EXPECT_EQ(picture.Width(), 20000);
    EXPECT_EQ(picture.Height(), 264);
    sizing.horizText = "360";
    sizing.Apply(picture, 785, 484, kBlack);
    EXPECT_EQ(picture.Width(), 360);
}

TEST(PictureSizingTest, AutoSizeClearsToTwoColoursOnlyAfterAClick)
{
    Picture picture(100, 50);
    picture.Fill(kWhite);
    PictureSizing sizing;
    // Auto size without a click: the control's size, content kept.
    sizing.Apply(picture, 400, 300, kBlack);
    EXPECT_EQ(picture.Width(), 400);
    EXPECT_EQ(picture.Format(), PixelFormat::Indexed8);
    EXPECT_EQ(picture.PixelAt(5, 5), kWhite);

    // Off and on again (two clicks): the next auto apply clears it.
    sizing.SetAutoSizeChecked(false);
    sizing.SetAutoSizeChecked(true);
    EXPECT_TRUE(sizing.ImageAutoSize);
    sizing.Apply(picture, 420, 340, kWhite);
    EXPECT_EQ(picture.Format(), PixelFormat::Mono);
    EXPECT_EQ(picture.Width(), 420);
    EXPECT_EQ(picture.PixelAt(5, 5), kWhite);
    EXPECT_FALSE(sizing.AutoSizeChanged);

    picture.Fill(kBlack);
    sizing.Apply(picture, 420, 340, kWhite);
    EXPECT_EQ(picture.PixelAt(5, 5), kBlack);
    // The new size and the refill changed the picture; this apply did not.
    EXPECT_EQ(sizing.pictureChanges, 2u);

    // A smaller area gets a picture of the smallest size; the control keeps
    // the area's size and shows what fits.
    sizing.Apply(picture, 200, 100, kWhite);
    EXPECT_EQ(picture.Width(), kMinPictureWidth);
    EXPECT_EQ(picture.Height(), kMinPictureHeight);
    EXPECT_EQ(sizing.ControlWidth(200), 200);
}

TEST(PictureSizingTest, ResizeRefillsOnlyInAutoSize)
{
    Picture picture(100, 50);
    PictureSizing sizing;
    sizing.Resize(picture, 400, 300, kWhite);
    EXPECT_EQ(picture.Width(), 400);
    EXPECT_EQ(picture.Height(), 300);
    EXPECT_EQ(picture.PixelAt(399, 299), kWhite);
    sizing.Resize(picture, 400, 100, kWhite);
    EXPECT_EQ(picture.Width(), 400);
    EXPECT_EQ(picture.Height(), kMinPictureHeight);
    EXPECT_EQ(sizing.pictureChanges, 2u);  // what was drawn is gone

    sizing.SetAutoSizeChecked(false);
    picture.Fill(kBlack);
    sizing.Resize(picture, 500, 500, kWhite);
    EXPECT_EQ(picture.Width(), 400);
    EXPECT_EQ(picture.PixelAt(0, 0), kBlack);
    EXPECT_EQ(sizing.pictureChanges, 2u);
}

}  // namespace
}  // namespace sonavir
