#pragma once
#include <string>

#include "platform/system.h"

namespace zd {

constexpr const char* kCompanionFileName = "Parvolet.ini";
constexpr const char* kCompanionProgramName = "Parvolet.exe";

constexpr int kExportedAddresses = 9;  // 0..8 in the mode text
// "1" or "0" per flag of the addresses 0 to 8, the value of Portmodus.
std::string port_mode_text(const int* flags);

// Rewrites every line whose own key (the text before its first "=", blanks
// around it removed, letters compared case-insensitively) is `key` as
// key + " = " + value. Every line of the result ends with CR LF.
// `found` tells whether any line matched.
std::string replace_key_lines_in_text(const std::string& text, const std::string& key,
                                      const std::string& value, bool& found);
// The same on a file; the file is left untouched when nothing matched.
bool replace_key_lines(System& sys, const std::string& path, const std::string& key,
                       const std::string& value);

}  // namespace zd
