#include "core/ini.h"

namespace zd {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed_front(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    return s;
}

IniLine parse_line(std::string_view text, std::size_t number) {
    IniLine l;
    l.text = text;
    l.number = number;
    if (!text.empty() && text.front() == '[') {
        l.is_section = true;
        return l;
    }
    const std::string_view body = trimmed_front(text);
    if (!body.empty() && body.front() == ';') {
        l.is_comment = true;
        return l;
    }
    const std::size_t eq = body.find('=');
    if (eq == std::string_view::npos) return l;
    l.has_entry = true;
    l.key = blanks_trimmed(body.substr(0, eq));
    l.value = trimmed_front(body.substr(eq + 1));
    return l;
}

}  // namespace

std::string_view blanks_trimmed(std::string_view s) {
    s = trimmed_front(s);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

bool starts_with_bom(std::string_view text) { return text.substr(0, kUtf8Bom.size()) == kUtf8Bom; }

char fold_key_char(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || u >= 0xE0) return static_cast<char>(u - 0x20);
    return c;
}

bool same_key(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold_key_char(a[i]) != fold_key_char(b[i])) return false;
    return true;
}

void for_each_ini_line(std::string_view text, const std::function<bool(const IniLine&)>& take) {
    std::size_t i = starts_with_bom(text) ? kUtf8Bom.size() : 0;
    std::size_t number = 0;
    while (i < text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", i), text.size());
        std::size_t next = end;
        if (next < text.size()) next += text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n' ? 2 : 1;
        if (!take(parse_line(text.substr(i, end - i), ++number))) return;
        i = next;
    }
}

}  // namespace zd
