#include "app/companion_file.h"

#include <algorithm>
#include <string_view>

namespace zd {

namespace {

char fold_upper(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || u >= 0xE0) return static_cast<char>(u - 0x20);
    return c;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool line_has_key(std::string_view line, const std::string& key) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    std::size_t b = 0, e = eq;
    while (b < e && is_blank(line[b])) ++b;
    while (e > b && is_blank(line[e - 1])) --e;
    if (e - b != key.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i)
        if (fold_upper(line[b + i]) != fold_upper(key[i])) return false;
    return true;
}

}  // namespace

std::string replace_key_lines_in_text(const std::string& text, const std::string& key,
                                      const std::string& value, bool& found) {
    found = false;
    std::string out;
    const std::string_view all(text);
    // Line ends by memchr, each byte looked at once, and a view per line
    // instead of strings: long files stay cheap.
    std::size_t lf = std::min(all.find('\n'), all.size());  // the next line feed, or the end
    std::size_t i = 0;
    while (i < text.size()) {
        if (lf < i) lf = std::min(all.find('\n', i), all.size());
        std::size_t end = i + std::min(all.substr(i, lf - i).find('\r'), lf - i);
        const std::string_view line = all.substr(i, end - i);
        if (end < text.size()) {
            if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') end += 2;
            else end += 1;
        }
        if (line_has_key(line, key)) {
            out.append(key).append(" = ").append(value);
            found = true;
        } else {
            out.append(line);
        }
        out.append("\r\n");
        i = end;
    }
    return out;
}

bool replace_key_lines(System& sys, const std::string& path, const std::string& key,
                       const std::string& value) {
    const auto text = sys.read_file(path);
    if (!text) return false;
    bool found = false;
    const std::string out = replace_key_lines_in_text(*text, key, value, found);
    if (found) sys.replace_file(path, out);
    return found;
}

}  // namespace zd
