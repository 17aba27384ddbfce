#include "cli/console_out.h"

#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#endif

namespace zd::cli {

namespace {

#ifdef _WIN32
std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string utf8(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

void write_text(DWORD which, FILE* stream, const std::string& text) {
    HANDLE h = GetStdHandle(which);
    DWORD mode = 0;
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    if (h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode)) {
        const std::wstring w = wide(crlf);
        DWORD done = 0;
        WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &done, nullptr);
        return;
    }
    std::fwrite(crlf.data(), 1, crlf.size(), stream);
    std::fflush(stream);
}
#endif

void write_bytes(FILE* stream, const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

}  // namespace

CliIo console_io() {
#ifdef _WIN32
    // Line ends are written as they are meant; no text-mode translation.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return CliIo{[](const std::string& t) { write_text(STD_OUTPUT_HANDLE, stdout, t); },
                 [](const std::string& t) { write_text(STD_ERROR_HANDLE, stderr, t); },
                 [](const std::string& b) { write_bytes(stdout, b); }};
#else
    return CliIo{[](const std::string& t) { write_bytes(stdout, t); },
                 [](const std::string& t) { write_bytes(stderr, t); },
                 [](const std::string& b) { write_bytes(stdout, b); }};
#endif
}

std::vector<std::string> utf8_arguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argv;
    int n = 0;
    wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &n);
    std::vector<std::string> args;
    for (int i = 1; i < n; ++i) args.push_back(utf8(wargv[i]));
    if (wargv) LocalFree(wargv);
    (void)argc;
    return args;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

}  // namespace zd::cli
