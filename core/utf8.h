#pragma once
#include <string>
#include <vector>

// The core's texts are Windows-1252; the command line speaks UTF-8.
namespace zd {

std::string utf8_from_1252(const std::string& text);
// False when `utf8` is malformed or holds a character Windows-1252 lacks.
bool utf8_to_1252(const std::string& utf8, std::string& out);

}  // namespace zd
