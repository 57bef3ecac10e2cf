#include "signal/NumberText.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#include "signal/Errors.h"

namespace sonavir {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The text between leading and trailing blanks.
std::string Trimmed(const std::string& text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

// The C library reads numbers in the process locale, which Qt sets from the
// environment; the syntax is checked here and the value read in "C".
locale_t CLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return loc;
}

}  // namespace

bool TryStrToFloat(const std::string& text, long double& value)
{
    const std::string t = Trimmed(text);
    std::string c;  // the same number with a decimal point, for strtold
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) c += t[i++];
    int digits = 0;
    bool comma = false;
    for (; i < t.size(); ++i) {
        if (IsDigit(t[i])) {
            c += t[i];
            ++digits;
        } else if (t[i] == ',' && !comma) {
            c += '.';
            comma = true;
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'E' || t[i] == 'e')) {
        c += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) c += t[i++];
        int expDigits = 0;
        for (; i < t.size() && IsDigit(t[i]); ++i, ++expDigits) c += t[i];
        if (expDigits == 0) return false;
    }
    if (i != t.size()) return false;

    errno = 0;
    char* end = nullptr;
    const long double v = strtold_l(c.c_str(), &end, CLocale());
    if (end != c.c_str() + c.size()) return false;
    // Too large for the extended type: not a number the program can use.
    // Too small: it underflows to (nearly) zero silently, as arithmetic does.
    if (!std::isfinite(v)) return false;
    value = v;
    return true;
}

long double StrToFloat(const std::string& text)
{
    long double v = 0;
    if (!TryStrToFloat(text, v))
        throw SonavirError("'" + text + "' is not a valid floating point value");
    return v;
}

bool TryStrToInt(const std::string& text, int& value)
{
    const std::string t = Trimmed(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    if (i == t.size()) return false;
    long long v = 0;
    for (; i < t.size(); ++i) {
        if (!IsDigit(t[i])) return false;
        v = v * 10 + (t[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT_MAX || v < INT_MIN) return false;
    value = static_cast<int>(v);
    return true;
}

int StrToInt(const std::string& text)
{
    int v = 0;
    if (!TryStrToInt(text, v))
        throw SonavirError("'" + text + "' is not a valid integer value");
    return v;
}

int SpinTextValue(const std::string& text, int fallback)
{
    const std::string t = Trimmed(text);
    std::size_t i = 0;
    const bool negative = i < t.size() && t[i] == '-';
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    if (i == t.size()) return fallback;
    long long v = 0;
    for (; i < t.size(); ++i) {
        if (!IsDigit(t[i])) return fallback;
        // Past the int range the digits no longer matter: the value is held
        // at the end of the range.
        v = std::min(v * 10 + (t[i] - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    if (negative) v = -v;
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

long double GeneralRounding(long double value, int precision)
{
    if (value == 0 || !std::isfinite(value)) return 0;
    const int p = std::clamp(precision, 1, 18);
    // The exponent of the rounded value, as FormatGeneral finds it.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*Le", p - 1, std::fabs(value));
    const char* e = std::strchr(buf, 'e');
    const int exp10 = e ? std::atoi(e + 1) : 0;
    return 0.5L * std::pow(10.0L, static_cast<long double>(exp10 - (p - 1)));
}

std::string FormatGeneral(long double value, int precision)
{
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";
    // The extended type carries 18 significant digits and no more.
    const int p = std::clamp(precision, 1, 18);

    // printf rounds correctly to p digits, carrying into the exponent
    // (9,9996 with 4 digits is 1,000e1); only its digits and exponent are used,
    // so its locale's decimal separator does not matter.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*Le", p - 1, std::fabs(value));
    std::string digits;
    const char* s = buf;
    for (; *s && *s != 'e'; ++s)
        if (IsDigit(*s)) digits += *s;
    const int exp10 = *s == 'e' ? std::atoi(s + 1) : 0;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    const int n = static_cast<int>(digits.size());
    const int e = exp10 + 1;  // value = 0.d1d2...dn x 10^e

    std::string out = value < 0 ? "-" : "";
    if (e > p || e < -3) {
        out += digits[0];
        if (n > 1) out += "," + digits.substr(1);
        out += "E" + std::to_string(e - 1);
    } else if (e <= 0) {
        out += "0," + std::string(-e, '0') + digits;
    } else {
        if (n <= e) {
            out += digits + std::string(e - n, '0');
        } else {
            out += digits.substr(0, e) + "," + digits.substr(e);
        }
    }
    return out;
}

std::string FormatPicture(long double value) { return FormatGeneral(value, 3); }

std::string FormatTable(long double value) { return FormatGeneral(value, 8); }

namespace {

bool Negligible(long double value, long double largest)
{
    return std::fabs(value) < 1e-12L * std::fabs(largest);
}

}  // namespace

std::string FormatReadable(long double value, long double largest)
{
    return Negligible(value, largest) ? "0" : FormatGeneral(value, kReadableDigits);
}

std::string FormatDuration(long double seconds, long double largest)
{
    const bool zero = seconds == 0 || Negligible(seconds, largest);
    // The unit goes by the value as shown: 999,96 us reads 1 ms.
    const long double basis = zero && std::isfinite(largest) ? largest : seconds;
    if (!std::isfinite(basis)) return FormatGeneral(seconds, kReadableDigits);
    const long double shown = std::fabs(StrToFloat(FormatGeneral(basis, kReadableDigits)));
    long double scale = 1;
    const char* unit = "с";
    if (shown < 1e-3L) scale = 1e6L, unit = "мкс";
    else if (shown < 10) scale = 1e3L, unit = "мс";
    return (zero ? std::string("0") : FormatGeneral(seconds * scale, kReadableDigits)) + " " + unit;
}

void AppendCsvNumber(std::string& line, long double value)
{
    const double v = static_cast<double>(CheckFinite(value));
    if (!std::isfinite(v)) RaiseOverflow();
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
    line.append(buf, r.ptr);
}

}  // namespace sonavir
