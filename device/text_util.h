#pragma once
#include <string>

namespace zd {

// Leading decimal value in the manner of atoi: blanks skipped, optional
// sign, digits up to the first other character; 0 without digits.
// Saturates instead of overflowing.
long leading_number(const std::string& text);
// Decimal text with a "0" in front when it has a single character.
std::string two_digit(long value);
// Characters from 1-based position `pos`, `count` of them; what lies
// beyond the end of `text` is left out.
std::string mid(const std::string& text, std::size_t pos, std::size_t count);

}  // namespace zd
