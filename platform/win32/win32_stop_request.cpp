#include <windows.h>

#include "platform/stop_request.h"

namespace zd {

namespace {

volatile LONG g_stop_requested = 0;

BOOL WINAPI note_stop(DWORD event) {
    // Closing the console, logging off and shutting down end the program as before.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    // Asked twice: FALSE lets Windows end the program, which frees the port and its run lock.
    return InterlockedExchange(&g_stop_requested, 1) == 0 ? TRUE : FALSE;
}

}  // namespace

void catch_stop_requests() { SetConsoleCtrlHandler(note_stop, TRUE); }

bool stop_requested() { return InterlockedCompareExchange(&g_stop_requested, 0, 0) != 0; }

}  // namespace zd
