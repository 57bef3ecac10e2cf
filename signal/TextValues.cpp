#include "signal/TextValues.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <system_error>

#include "signal/Errors.h"
#include "signal/NumberText.h"

namespace sonavir {

namespace {

[[noreturn]] void Refuse(const std::string& expected, const std::string& text)
{
    throw SonavirError("ожидается " + expected + ", получено '" + text + "'");
}

// 1 значение, 3 значения, 5 значений, 21 значение.
std::string Values(std::size_t n)
{
    const std::size_t last = n % 10, lastTwo = n % 100;
    const char* word = lastTwo >= 11 && lastTwo <= 14 ? "значений"
                       : last == 1                    ? "значение"
                       : last >= 2 && last <= 4       ? "значения"
                                                      : "значений";
    return std::to_string(n) + " " + word;
}

}  // namespace

bool TryWholeNumber(const std::string& text, long long& value)
{
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    if (first == last || (first != text.data() && (*first == '+' || *first == '-'))) return false;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last;
}

long long WholeNumber(const std::string& text)
{
    long long v = 0;
    if (!TryWholeNumber(text, v)) Refuse("целое число", text);
    return v;
}

long long WholeInRange(const std::string& text, long long lo, long long hi)
{
    long long v = 0;
    if (!TryWholeNumber(text, v) || v < lo || v > hi)
        Refuse("целое число от " + std::to_string(lo) + " до " + std::to_string(hi), text);
    return v;
}

int WholeInRange(const std::string& text, int lo, int hi)
{
    return static_cast<int>(WholeInRange(text, static_cast<long long>(lo), static_cast<long long>(hi)));
}

long long WholeAtLeast(const std::string& text, long long lo)
{
    long long v = 0;
    if (!TryWholeNumber(text, v) || v < lo) Refuse("целое число от " + std::to_string(lo), text);
    return v;
}

bool SwitchText(const std::string& text)
{
    if (text != "0" && text != "1") Refuse("0 или 1", text);
    return text == "1";
}

std::size_t ListItem(const std::vector<std::string>& items, const std::string& text)
{
    const auto it = std::find(items.begin(), items.end(), text);
    if (it == items.end()) {
        std::string list;
        for (const auto& item : items) list += (list.empty() ? "" : ", ") + item;
        Refuse("один из пунктов списка (" + list + ")", text);
    }
    return static_cast<std::size_t>(it - items.begin());
}

std::vector<std::string> SplitList(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    for (std::string::size_type start = 0;;) {
        const auto pos = text.find(separator, start);
        parts.push_back(text.substr(start, pos - start));
        if (pos == std::string::npos) break;
        start = pos + 1;
    }
    return parts;
}

std::vector<std::string> SplitList(const std::string& text, char separator, std::size_t count)
{
    auto parts = SplitList(text, separator);
    if (parts.size() != count) Refuse(Values(count) + " через '" + std::string(1, separator) + "'", text);
    return parts;
}

TextRange RangeText(const std::string& text)
{
    const auto parts = SplitList(text, ';');
    if (parts.size() != 2) Refuse("ОТ;ДО", text);
    const TextRange r{StrToFloat(parts[0]), StrToFloat(parts[1])};
    if (!(r.from < r.to)) Refuse("ОТ;ДО, ОТ меньше ДО", text);
    return r;
}

}  // namespace sonavir
