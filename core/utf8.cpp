#include "core/utf8.h"

#include <algorithm>

namespace zd {

namespace {

// Code points of the bytes 0x80-0x9F; the five unassigned ones stand for
// themselves, as Windows maps them.
const unsigned short kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

unsigned code_point_of(unsigned char byte) { return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte; }

void append_utf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool byte_of(unsigned cp, char& byte) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        byte = static_cast<char>(cp);
        return true;
    }
    for (unsigned i = 0; i < 32; ++i) {
        if (kHigh[i] == cp) {
            byte = static_cast<char>(0x80 + i);
            return true;
        }
    }
    return false;
}

constexpr char kEmbedStart = '\x01';
constexpr char kEmbedEnd = '\x02';
constexpr unsigned kReplacement = 0xFFFD;

// The length of the well-formed UTF-8 character at `i` and its code point;
// 0 when the bytes there are none.
std::size_t decode_one(const std::string& s, std::size_t i, unsigned& cp) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t extra = 0;
    unsigned min = 0;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        cp = lead & 0x1Fu, extra = 1, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        cp = lead & 0x0Fu, extra = 2, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        cp = lead & 0x07u, extra = 3, min = 0x10000;
    } else {
        return 0;
    }
    if (i + extra >= s.size()) return 0;
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto cont = static_cast<unsigned char>(s[i + k]);
        if ((cont & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (cont & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return extra + 1;
}

void append_any_utf8(std::string& out, unsigned cp) {
    if (cp < 0x10000) return append_utf8(out, cp);
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
}

// Well-formed UTF-8 without control characters.
std::string clean_utf8(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned cp = 0;
        const std::size_t n = decode_one(s, i, cp);
        const bool control = cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
        append_any_utf8(out, n == 0 || control ? kReplacement : cp);
        i += n == 0 ? 1 : n;
    }
    return out;
}

}  // namespace

std::string embed_utf8(const std::string& utf8) { return kEmbedStart + clean_utf8(utf8) + kEmbedEnd; }

std::string message_utf8(const std::string& line) {
    std::string out;
    for (std::size_t i = 0; i < line.size();) {
        if (line[i] != kEmbedStart) {
            append_utf8(out, code_point_of(static_cast<unsigned char>(line[i++])));
            continue;
        }
        const std::size_t end = std::min(line.find(kEmbedEnd, i + 1), line.size());
        out += clean_utf8(line.substr(i + 1, end - i - 1));
        i = end + 1;
    }
    return out;
}

std::string utf8_from_1252(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) append_utf8(out, code_point_of(static_cast<unsigned char>(c)));
    return out;
}

bool utf8_to_1252(const std::string& utf8, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        unsigned cp = 0;
        std::size_t extra = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1Fu;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0Fu;
            extra = 2;
        } else {
            return false;  // four-byte characters have no Windows-1252 byte either
        }
        if (extra > 0 && i + extra >= utf8.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cont = static_cast<unsigned char>(utf8[i + k]);
            if ((cont & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cont & 0x3Fu);
        }
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800)) return false;  // overlong
        char byte = 0;
        if (!byte_of(cp, byte)) return false;
        out += byte;
        i += extra + 1;
    }
    return true;
}

}  // namespace zd
