#pragma once
// Texts of whole numbers, switches, list items, lists and ranges, as scenario
// files and the command line both take them, so that one text is read one way
// and refused with one message wherever it is given. Numbers with a fraction
// are StrToFloat's (signal/NumberText.h). Failures throw SonavirError in the
// windows' wording; the caller puts the line and key, or the option, in front.

#include <cstddef>
#include <string>
#include <vector>

namespace sonavir {

// An optional sign and decimal digits, nothing around them, within 64 bits.
bool TryWholeNumber(const std::string& text, long long& value);
// "ожидается целое число, получено 'T'".
long long WholeNumber(const std::string& text);
// "ожидается целое число от LO до HI, получено 'T'".
long long WholeInRange(const std::string& text, long long lo, long long hi);
int WholeInRange(const std::string& text, int lo, int hi);
// "ожидается целое число от LO, получено 'T'".
long long WholeAtLeast(const std::string& text, long long lo);
// "0" or "1": "ожидается 0 или 1, получено 'T'".
bool SwitchText(const std::string& text);
// The place of TEXT in ITEMS:
// "ожидается один из пунктов списка (2, 4, 8), получено 'T'".
std::size_t ListItem(const std::vector<std::string>& items, const std::string& text);

// The parts between the separators, as given (an empty part stays one).
std::vector<std::string> SplitList(const std::string& text, char separator);
// Exactly COUNT parts: "ожидается 3 значения через ',', получено 'T'".
std::vector<std::string> SplitList(const std::string& text, char separator, std::size_t count);

// "FROM;TO", numbers with the decimal comma, FROM below TO:
// "ожидается ОТ;ДО, ОТ меньше ДО, получено 'T'".
struct TextRange {
    long double from = 0, to = 0;
};
TextRange RangeText(const std::string& text);

}  // namespace sonavir
