#include "core/companion_file.h"

#include "core/ini.h"

namespace zd {

std::string replace_key_lines_in_text(const std::string& text, const std::string& key,
                                      const std::string& value, bool& found) {
    found = false;
    std::string out;
    out.reserve(text.size() + 64);
    // The companion wrote its mark; it keeps it.
    if (starts_with_bom(text)) out.append(kUtf8Bom);
    for_each_ini_line(text, [&](const IniLine& l) {
        if (l.has_entry && same_key(l.key, key)) {
            out.append(key).append(" = ").append(value);
            found = true;
        } else {
            out.append(l.text);
        }
        out.append("\r\n");
        return true;
    });
    return out;
}

bool replace_key_lines(System& sys, const std::string& path, const std::string& key,
                       const std::string& value) {
    const auto text = sys.read_file(path, kIniFileLimit).content;
    if (!text) return false;
    bool found = false;
    const std::string out = replace_key_lines_in_text(*text, key, value, found);
    if (found) sys.replace_file(path, out);
    return found;
}

std::string port_mode_text(const int* flags) {
    std::string text;
    for (int a = 0; a < kExportedAddresses; ++a) text += flags[a] ? "1" : "0";
    return text;
}

}  // namespace zd
