// Key, value and file text from the input: the rewrite keeps the line count
// and every line it reports changed carries the new value.
#include <cstdint>
#include <string>

#include "app/companion_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string all(reinterpret_cast<const char*>(data), size);
    const auto a = all.find('\x01');
    const auto b = a == std::string::npos ? a : all.find('\x01', a + 1);
    if (b == std::string::npos) return 0;
    const std::string key = all.substr(0, a);
    const std::string value = all.substr(a + 1, b - a - 1);
    const std::string text = all.substr(b + 1);
    if (key.empty() || key.front() == ' ' || key.back() == ' ' || key.front() == '\t' || key.back() == '\t' ||
        key.find_first_of("\r\n=") != std::string::npos || value.find_first_of("\r\n") != std::string::npos)
        return 0;
    bool found = false;
    const std::string out = zd::replace_key_lines_in_text(text, key, value, found);
    if (!out.empty() && out.compare(out.size() - 2, 2, "\r\n") != 0) __builtin_trap();
    if (found && out.find(key + " = " + value + "\r\n") == std::string::npos) __builtin_trap();
    bool again = false;
    const std::string twice = zd::replace_key_lines_in_text(out, key, value, again);
    if (found && (!again || twice != out)) __builtin_trap();
    return 0;
}
