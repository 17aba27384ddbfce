#pragma once
#include <string>

namespace zd::win32 {

// The tool's texts are Windows-1252 bytes whatever the system's code page;
// the windows are Unicode, so every text crosses this pair.
std::wstring widen(const std::string& text);
std::string narrow(const std::wstring& text);

}  // namespace zd::win32
