#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/console.h"
#include "platform/win32/text_1252.h"

namespace zd {

namespace {

// Line ends are written as they are meant; no text-mode translation.
void binary_streams() {
    static const bool done = [] {
        _setmode(_fileno(stdout), _O_BINARY);
        _setmode(_fileno(stderr), _O_BINARY);
        return true;
    }();
    (void)done;
}

bool write_all(FILE* stream, const std::string& bytes) {
    binary_streams();
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    return std::fflush(stream) == 0 && written;
}

}  // namespace

bool write_console_text(ConsoleStream stream, const std::string& text) {
    const bool out = stream == ConsoleStream::Out;
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    HANDLE h = GetStdHandle(out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode)) {
        const std::wstring w = win32::widen(crlf, win32::kCpUtf8);
        DWORD done = 0;
        return WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &done, nullptr) && done == w.size();
    }
    return write_all(out ? stdout : stderr, crlf);
}

bool write_console_bytes(const std::string& bytes) { return write_all(stdout, bytes); }

std::vector<std::string> utf8_arguments(int, char**) {
    int n = 0;
    wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &n);
    std::vector<std::string> args;
    for (int i = 1; i < n; ++i) args.push_back(win32::narrow(wargv[i], win32::kCpUtf8));
    if (wargv) LocalFree(wargv);
    return args;
}

}  // namespace zd
