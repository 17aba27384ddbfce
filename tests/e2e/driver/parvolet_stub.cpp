// A stand-in companion program for the end-to-end tests: it records that it
// was started, with its command line and whether the serial port was free.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmdline, int) {
    // The tool closes the port before it starts the companion; give it a
    // moment to end, then try the port ourselves.
    bool port_free = false;
    for (int i = 0; i < 30 && !port_free; ++i) {
        HANDLE h = CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            port_free = true;
            CloseHandle(h);
        } else {
            Sleep(100);
        }
    }
    char dir[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, dir);
    // Written aside and renamed into place: the test reads the file as soon
    // as it appears, so it must appear whole.
    FILE* f = std::fopen("parvolet-started.tmp", "wb");
    if (!f) return 1;
    std::fprintf(f, "started\ncmdline=%s\ncwd=%s\ncom1=%s\n", cmdline ? cmdline : "", dir,
                 port_free ? "free" : "busy");
    if (std::fclose(f) != 0) return 1;
    return MoveFileExA("parvolet-started.tmp", "parvolet-started.txt", MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
