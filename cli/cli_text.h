#pragma once
#include <string>
#include <vector>

// The core's texts are Windows-1252; the command line speaks UTF-8.
namespace zd::cli {

std::string utf8_from_1252(const std::string& text);
// False when `utf8` is malformed or holds a character Windows-1252 lacks.
bool utf8_to_1252(const std::string& utf8, std::string& out);

// A pane text as the lines the pane shows: one line per "\r", the leading
// empty line left out.
std::vector<std::string> pane_lines(const std::string& pane_text);

}  // namespace zd::cli
