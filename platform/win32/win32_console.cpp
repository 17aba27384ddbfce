#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdio>

#include "platform/console.h"
#include "platform/win32/text_1252.h"
#include "platform/win32/win32_error.h"

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

IoResult write_all(FILE* stream, const std::string& bytes) {
    binary_streams();
    errno = 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    if (std::fflush(stream) == 0 && written) return IoResult::done();
    const int err = errno != 0 ? errno : EIO;
    std::clearerr(stream);
    return IoResult::failed(io_text::errno_text(err));
}

}  // namespace

void guard_standard_streams() {}

IoResult write_console_text(ConsoleStream stream, const std::string& text) {
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
        if (!WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &done, nullptr))
            return IoResult::failed(win32::error_text(GetLastError()));
        if (done != w.size()) return IoResult::failed(win32::error_text(ERROR_WRITE_FAULT));
        return IoResult::done();
    }
    return write_all(out ? stdout : stderr, crlf);
}

IoResult write_console_bytes(const std::string& bytes) { return write_all(stdout, bytes); }

ReadResult read_console_input(std::size_t limit) {
    _setmode(_fileno(stdin), _O_BINARY);
    std::string content;
    char buf[4096];
    for (;;) {
        errno = 0;
        const std::size_t n = std::fread(buf, 1, sizeof buf, stdin);
        if (n > limit - content.size()) return ReadResult::failed(io_text::too_large(limit));
        content.append(buf, n);
        if (n == sizeof buf) continue;
        if (std::ferror(stdin)) return ReadResult::failed(io_text::errno_text(errno != 0 ? errno : EIO));
        return {std::move(content), {}};
    }
}

std::vector<std::string> utf8_arguments(int, char**) {
    int n = 0;
    wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &n);
    std::vector<std::string> args;
    for (int i = 1; i < n; ++i) args.push_back(win32::narrow(wargv[i], win32::kCpUtf8));
    if (wargv) LocalFree(wargv);
    return args;
}

}  // namespace zd
