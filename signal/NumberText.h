#pragma once
// Number texts of the interface: Russian style, decimal comma.

#include <string>

namespace sonavir {

// Text to number: optional surrounding blanks, an optional sign, digits with
// at most one decimal comma, an optional exponent (E or e, optional sign,
// digits). A decimal point, thousands separators, INF and NAN are rejected
// with "'%s' is not a valid floating point value" (the text as given).
long double StrToFloat(const std::string& text);
// Text to integer: optional blanks and sign, decimal digits, within 32 bits;
// otherwise "'%s' is not a valid integer value".
int StrToInt(const std::string& text);
// Same rules without throwing: false when the text is not a valid value.
bool TryStrToFloat(const std::string& text, long double& value);
bool TryStrToInt(const std::string& text, int& value);
// An integer spin edit's text: the whole number in it, held to the int range
// when it has more digits than an int takes, or `fallback` when the text is
// no whole number (empty, "-", "5a").
int SpinTextValue(const std::string& text, int fallback);

// The general format with precision P: P significant digits, trailing zeros
// dropped, exponent form when the decimal exponent E (value = 0.d1d2.. x 10^E)
// is above P or below -3. Examples: 1/49392, P = 10 -> "2,024619372E-5";
// 0.0088349514, P = 4 -> "0,008835"; 120000, P = 3 -> "1,2E5".
std::string FormatGeneral(long double value, int precision);
// Half a unit in the last place that FormatGeneral(value, precision) can
// show: how far the value a text of that format stood for may lie from it.
long double GeneralRounding(long double value, int precision);
// The picture's labels: the general format with 3 digits.
std::string FormatPicture(long double value);
// The evaluation table: the general format with 8 digits.
std::string FormatTable(long double value);

// Figures in the windows' tables, for a person to read: 4 significant digits,
// and 0 for a value below 1e-12 of the largest magnitude shown beside it (the
// rounding left over from nothing, which would read 4,92E-17).
inline constexpr int kReadableDigits = 4;
std::string FormatReadable(long double value, long double largest);
// A time or a width read so, with its unit: microseconds below a
// millisecond, milliseconds below 10 s, seconds beyond, by the value as
// rounded ("398,5 мкс", "10,37 мс"); a time shown as 0 takes the largest's
// unit.
std::string FormatDuration(long double seconds, long double largest);

// CSV files for other programs: a decimal point whatever the locale and 17
// significant digits, as printf's %.17g writes a double; a value beyond the
// range of a double fails with "Floating point overflow".
void AppendCsvNumber(std::string& line, long double value);

}  // namespace sonavir
