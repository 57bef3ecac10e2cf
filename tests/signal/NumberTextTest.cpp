#include <gtest/gtest.h>

#include <string>

#include "signal/Errors.h"
#include "signal/NumberText.h"

using namespace sonavir;

namespace {

std::string FloatMessage(const std::string& text)
{
    try {
        StrToFloat(text);
    } catch (const SonavirError& e) {
        return e.what();
    }
    return "accepted";
}

}  // namespace

TEST(NumberText, ReadsDecimalCommaSignsExponentsAndBlanks)
{
    EXPECT_EQ(StrToFloat("0,5"), 0.5L);
    EXPECT_EQ(StrToFloat("  -2,25 "), -2.25L);
    EXPECT_EQ(StrToFloat("+3"), 3.0L);
    EXPECT_EQ(StrToFloat("1E9"), 1e9L);
    EXPECT_EQ(StrToFloat("2,5e-3"), 2.5e-3L);
    EXPECT_EQ(StrToFloat("1e+2"), 100.0L);
    EXPECT_EQ(StrToFloat(",5"), 0.5L);
    EXPECT_EQ(StrToFloat("5,"), 5.0L);
    // Read as an extended value, not through a double.
    EXPECT_EQ(StrToFloat("0,01"), 0.01L);
    EXPECT_EQ(StrToFloat("1E4000"), 1e4000L);
}

TEST(NumberText, RejectsForeignSyntaxWithTheTextInTheMessage)
{
    EXPECT_EQ(FloatMessage("0.5"), "'0.5' is not a valid floating point value");
    EXPECT_EQ(FloatMessage(""), "'' is not a valid floating point value");
    for (const char* bad : {"   ", "1 000", "1,000,5", "1.000,5", "INF", "NAN", "-inf", "nan",
                            "1E", "1E+", "E5", ",", "-", "1,5x", "0x10", "1 2", "--1", "1e5,5"}) {
        long double v = 42;
        EXPECT_FALSE(TryStrToFloat(bad, v)) << bad;
        EXPECT_EQ(v, 42) << bad;
        EXPECT_THROW(StrToFloat(bad), SonavirError) << bad;
    }
}

TEST(NumberText, HugeExponentsFailAndTinyOnesUnderflow)
{
    // A value beyond the extended range is not a number the program can use.
    EXPECT_EQ(FloatMessage("1E99999"), "'1E99999' is not a valid floating point value");
    EXPECT_THROW(StrToFloat("-1E5000"), SonavirError);
    // Underflow stays silent, as in arithmetic.
    EXPECT_EQ(StrToFloat("1E-99999"), 0.0L);
    EXPECT_EQ(StrToFloat("0E99999"), 0.0L);
}

TEST(NumberText, IntegersWithin32Bits)
{
    EXPECT_EQ(StrToInt("64"), 64);
    EXPECT_EQ(StrToInt(" -7 "), -7);
    EXPECT_EQ(StrToInt("+2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", "2147483648", "-2147483649", "99999999999999999999", "1,0", "1E2",
                            "0,5", "+", "1 2", "x"}) {
        int v = 9;
        EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
        EXPECT_EQ(v, 9) << bad;
    }
    try {
        StrToInt("4,5");
        FAIL();
    } catch (const SonavirError& e) {
        EXPECT_STREQ(e.what(), "'4,5' is not a valid integer value");
    }

    // A spin edit's text: beyond the int range it is held at the range's
    // end; no whole number gives the fallback.
    EXPECT_EQ(SpinTextValue(" 42 ", 3), 42);
    EXPECT_EQ(SpinTextValue("99999999999", 0), 2147483647);
    EXPECT_EQ(SpinTextValue("-99999999999999999999999", 0), -2147483647 - 1);
    for (const char* none : {"", "-", "+", "1,0", "x", "1 2"}) EXPECT_EQ(SpinTextValue(none, 3), 3) << none;
}

TEST(NumberText, GeneralFormatRoundsAndChoosesTheForm)
{
    EXPECT_EQ(FormatGeneral(1.0L / 49392, 10), "2,024619372E-5");
    EXPECT_EQ(FormatGeneral(0.0088349514L, 4), "0,008835");
    EXPECT_EQ(FormatGeneral(7.0L * 13 / 10300, 4), "0,008835");
    EXPECT_EQ(FormatGeneral(0, 10), "0");
    EXPECT_EQ(FormatGeneral(-0.0L, 10), "0");
    EXPECT_EQ(FormatGeneral(12348, 10), "12348");
    EXPECT_EQ(FormatGeneral(-1.5L, 10), "-1,5");
    // Rounding that carries into a new exponent.
    EXPECT_EQ(FormatGeneral(9.9996L, 4), "10");
    EXPECT_EQ(FormatGeneral(99996, 4), "1E5");
    EXPECT_EQ(FormatGeneral(0.00099996L, 4), "0,001");
    // Integer part padded with zeros; exponent form only past P digits.
    EXPECT_EQ(FormatGeneral(1200, 4), "1200");
    EXPECT_EQ(FormatGeneral(12000, 4), "1,2E4");
    EXPECT_EQ(FormatGeneral(123456, 4), "1,235E5");
    // E = -3 is the last fixed form.
    EXPECT_EQ(FormatGeneral(0.000123L, 4), "0,000123");
    EXPECT_EQ(FormatGeneral(0.0000123L, 4), "1,23E-5");
    // Track-bar hints with 15 digits.
    EXPECT_EQ(FormatGeneral(1 / 10.0L, 15), "0,1");
    EXPECT_EQ(FormatGeneral(25 / 10.0L, 15), "2,5");
    EXPECT_EQ(FormatGeneral(100 / 10.0L, 15), "10");

    // Half a unit in the last digit shown, after any carry.
    EXPECT_DOUBLE_EQ(static_cast<double>(GeneralRounding(0.01L, 4)), 5e-6);
    EXPECT_DOUBLE_EQ(static_cast<double>(GeneralRounding(-26.0L / 3700, 4)), 5e-7);
    EXPECT_DOUBLE_EQ(static_cast<double>(GeneralRounding(9.9996L, 4)), 5e-3);
    EXPECT_DOUBLE_EQ(static_cast<double>(GeneralRounding(12348, 10)), 5e-6);
    EXPECT_EQ(GeneralRounding(0, 4), 0);
}

TEST(NumberText, PictureAndTableFormats)
{
    EXPECT_EQ(FormatPicture(0), "0");
    EXPECT_EQ(FormatPicture(0.5L), "0,5");
    EXPECT_EQ(FormatPicture(-1.0L / 3), "-0,333");
    EXPECT_EQ(FormatPicture(0.0133L), "0,0133");
    EXPECT_EQ(FormatPicture(0.000133L), "0,000133");
    EXPECT_EQ(FormatPicture(0.0000133L), "1,33E-5");
    EXPECT_EQ(FormatPicture(120000), "1,2E5");
    EXPECT_EQ(FormatPicture(999), "999");
    EXPECT_EQ(FormatPicture(1000), "1E3");
    EXPECT_EQ(FormatPicture(0.7L), "0,7");
    EXPECT_EQ(FormatTable(1.0L / 3), "0,33333333");
    EXPECT_EQ(FormatTable(123456789), "1,2345679E8");
    EXPECT_EQ(FormatTable(12345678), "12345678");
}

// The windows' figures: 4 digits, nothing beside the largest reads 0, times
// in the unit their rounded value calls for.
TEST(NumberText, ReadableFiguresAndDurations)
{
    const struct {
        long double value, largest;
        bool time;
        const char* text;
    } cases[] = {
        {246.99812152533735L, 1461349.03L, false, "247"},   {4.92e-17L, 1, false, "0"},
        {-13.94162L, 22.3L, false, "-13,94"},               {1.2e-12L, 1, false, "1,2E-12"},
        {0.0050008098477486232L, 0.0098L, true, "5,001 мс"}, {0.00044304737102915728L, 0, true, "443 мкс"},
        {2.0246193715581471e-05L, 0, true, "20,25 мкс"},    {0.00099996L, 0, true, "1 мс"},
        {0, 0.0098L, true, "0 мс"},                          {3e-19L, 2e-5L, true, "0 мкс"},
        {21.333L, 0, true, "21,33 с"},                       {9.99996L, 0, true, "10 с"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.time ? FormatDuration(c.value, c.largest) : FormatReadable(c.value, c.largest), c.text)
            << static_cast<double>(c.value);
}
