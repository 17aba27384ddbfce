#pragma once
#include <string>
#include <vector>

// The core's texts are Windows-1252; the command line speaks UTF-8.
namespace zd {

std::string utf8_from_1252(const std::string& text);
// False when `utf8` is malformed or holds a character Windows-1252 lacks.
bool utf8_to_1252(const std::string& utf8, std::string& out);

// A user's UTF-8 words (a file name, an argument) inside a Windows-1252
// message: held between two marks, so that message_utf8 passes them on as
// they are, whatever characters they have. Bytes that are no UTF-8 and
// control characters become U+FFFD: nobody's words can steer a terminal.
std::string embed_utf8(const std::string& utf8);
// A message line (Windows-1252 with embedded words) in UTF-8.
std::string message_utf8(const std::string& line);

}  // namespace zd
