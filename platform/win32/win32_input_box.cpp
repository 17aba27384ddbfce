#include "platform/win32/text_1252.h"
#include "platform/win32/win32_parts.h"

namespace zd::win32 {

namespace {

constexpr int kBoxWidth = 300;
constexpr int kBoxHeight = 130;
constexpr int kMaxChars = 9999;

struct BoxState {
    HWND box = nullptr;
    HWND edit = nullptr;
    bool done = false;
    bool accepted = false;
    std::wstring text;
};

void finish(BoxState& st, bool accept) {
    if (st.done) return;
    st.done = true;
    st.accepted = accept;
    if (accept) {
        const int n = GetWindowTextLengthW(st.edit);
        std::wstring buf(static_cast<std::size_t>(n) + 1, L'\0');
        const int got = GetWindowTextW(st.edit, buf.data(), n + 1);
        buf.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
        if (buf.size() > kMaxChars) buf.resize(kMaxChars);
        st.text = buf;
    }
    // The Ok button may have been clicked by a message another program sent,
    // which GetMessage handles without returning: wake the loop.
    PostMessageW(st.box, WM_NULL, 0, 0);
}

LRESULT CALLBACK box_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* st = reinterpret_cast<BoxState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
        case WM_COMMAND:
            if (st && HIWORD(wp) == BN_CLICKED) {
                if (LOWORD(wp) == kInputBoxOkId) finish(*st, true);
                if (LOWORD(wp) == IDCANCEL) finish(*st, false);
            }
            return 0;
        case WM_CLOSE:
            if (st) finish(*st, false);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void register_class(HINSTANCE inst) {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = box_proc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kInputBoxClass;
    registered = RegisterClassExW(&wc) != 0;
}

HWND add_control(HINSTANCE inst, HWND box, const wchar_t* cls, const std::wstring& text, DWORD style,
                 DWORD ex_style, int id, int x, int y, int w, int h) {
    HWND c = CreateWindowExW(ex_style, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h, box,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return c;
}

}  // namespace

std::optional<std::string> run_input_box(HINSTANCE inst, HWND owner, const std::string& title,
                                         const std::string& prompt, const std::string& default_text) {
    register_class(inst);
    BoxState st;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kBoxWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kBoxHeight) / 2;
    HWND box = CreateWindowExW(WS_EX_DLGMODALFRAME, kInputBoxClass, widen(title).c_str(),
                               WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y, kBoxWidth, kBoxHeight, owner, nullptr,
                               inst, &st);
    if (!box) return std::nullopt;
    st.box = box;
    RECT client{};
    GetClientRect(box, &client);
    const int cw = client.right;
    add_control(inst, box, L"STATIC", widen(prompt), SS_LEFT | SS_NOPREFIX, 0, kInputBoxPromptId, 10, 8, cw - 20,
                28);
    st.edit = add_control(inst, box, L"EDIT", widen(default_text), ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP,
                          WS_EX_CLIENTEDGE, kInputBoxEditId, 10, 38, cw - 20, 22);
    SendMessageW(st.edit, EM_LIMITTEXT, kMaxChars, 0);
    add_control(inst, box, L"BUTTON", L"Ok", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, kInputBoxOkId,
                cw - 85, client.bottom - 30, 75, 23);

    if (owner) EnableWindow(owner, FALSE);
    ShowWindow(box, SW_SHOW);
    SetForegroundWindow(box);
    SetFocus(st.edit);
    SendMessageW(st.edit, EM_SETSEL, 0, -1);

    MSG msg;
    while (!st.done) {
        const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
        if (r <= 0) {
            if (r == 0) PostQuitMessage(static_cast<int>(msg.wParam));
            finish(st, false);
            break;
        }
        if (msg.message == WM_KEYDOWN && (msg.hwnd == box || IsChild(box, msg.hwnd))) {
            if (msg.wParam == VK_RETURN) {
                finish(st, true);
                continue;
            }
            if (msg.wParam == VK_ESCAPE) {
                finish(st, false);
                continue;
            }
        }
        if (IsDialogMessageW(box, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (owner) EnableWindow(owner, TRUE);
    DestroyWindow(box);
    if (!st.accepted) return std::nullopt;
    return narrow(st.text);
}

}  // namespace zd::win32
