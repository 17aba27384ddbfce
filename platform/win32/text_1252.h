#pragma once
#include <string>

namespace zd::win32 {

constexpr unsigned kCp1252 = 1252;
constexpr unsigned kCpUtf8 = 65001;

// The tool's texts are Windows-1252 bytes whatever the system's code page;
// the windows are Unicode, so every text crosses this pair. The console
// programs use the same pair with UTF-8.
std::wstring widen(const std::string& text, unsigned code_page = kCp1252);
std::string narrow(const std::wstring& text, unsigned code_page = kCp1252);

}  // namespace zd::win32
