#pragma once
#include <string>

namespace zd::win32 {

// A GetLastError value in German, worded to follow a colon; one without a
// text of its own names its number.
std::string error_text(unsigned long err);

}  // namespace zd::win32
