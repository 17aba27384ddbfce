#include "sim/escape.h"

namespace zd::sim {

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The two logs differ only in how they write a byte outside printable ASCII.
std::string escaped(const std::string& bytes, const char* other_prefix) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        default:
            if (c >= 0x20 && c < 0x7f) {
                out.push_back(ch);
            } else {
                out += other_prefix;
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 0x0f]);
            }
        }
    }
    return out;
}

}  // namespace

std::string escape_bytes(const std::string& bytes) { return escaped(bytes, "\\x"); }

std::string json_bytes(const std::string& bytes) { return "\"" + escaped(bytes, "\\u00") + "\""; }

bool unescape_text(const std::string& text, std::string& bytes) {
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes.push_back(text[i]);
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
        case 'r': bytes.push_back('\r'); break;
        case 'n': bytes.push_back('\n'); break;
        case 't': bytes.push_back('\t'); break;
        case '\\': bytes.push_back('\\'); break;
        case '"': bytes.push_back('"'); break;
        case 'x': {
            if (i + 2 >= text.size()) return false;
            const int hi = hex_value(text[i + 1]);
            const int lo = hex_value(text[i + 2]);
            if (hi < 0 || lo < 0) return false;
            bytes.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return true;
}

}  // namespace zd::sim
