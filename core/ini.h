#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// The one way the project reads "key = value" files: its configuration,
// the companion's file and the backups.
namespace zd {

// The most any of these files may hold to be read: far more than a
// configuration or a companion file ever does.
constexpr std::size_t kIniFileLimit = 1 << 20;

// The UTF-8 byte-order mark some editors put before the first line.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
bool starts_with_bom(std::string_view text);

// Keys compare without regard to case: a-z and the Windows-1252 letters
// 0xE0-0xFF fold onto their capitals.
char fold_key_char(char c);
bool same_key(std::string_view a, std::string_view b);

// Blanks and tabs off both ends, as every "key = value" reader wants them.
std::string_view blanks_trimmed(std::string_view s);

struct IniLine {
    std::string_view text;   // the whole line, without its end mark
    std::size_t number = 0;  // counted from 1
    bool is_section = false; // starts with "["
    bool is_comment = false; // first character past blanks and tabs is ";"
    bool has_entry = false;  // neither of those, and holds "="
    std::string_view key;    // before the first "=", blanks and tabs around it removed
    std::string_view value;  // after it, leading blanks and tabs removed
};

// Hands every line to `take` in file order until it returns false. A line
// ends at a carriage return, a line feed, or both together; the last line
// may have no end mark. A byte-order mark before the first line is no part
// of it.
void for_each_ini_line(std::string_view text, const std::function<bool(const IniLine&)>& take);

}  // namespace zd
