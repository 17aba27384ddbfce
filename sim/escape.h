#pragma once
#include <string>

namespace zd::sim {

// Log form of raw bytes: printable ASCII as is, \r \n \t \\ \" by name,
// everything else as \xHH (lower-case hex). Always one line.
std::string escape_bytes(const std::string& bytes);

// Raw bytes as a JSON string, quotes included: each byte is the code point
// of the same value (as Latin-1 reads it), so any byte survives a JSON
// parser; all but printable ASCII as \r \n \t or \u00HH. Always ASCII.
std::string json_bytes(const std::string& bytes);

// Reads the same escapes back (\xHH takes exactly two hex digits), so
// option texts can carry control characters. False on a broken escape.
bool unescape_text(const std::string& text, std::string& bytes);

}  // namespace zd::sim
