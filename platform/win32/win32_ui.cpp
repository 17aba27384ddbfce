#include "platform/win32/win32_ui.h"

#include <commctrl.h>

#include "platform/win32/text_1252.h"

namespace zd {

using win32::narrow;
using win32::widen;

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
// Posted to wake GetMessage when an event was recorded while it handled a
// sent message (a control clicked by another program), which it does not return for.
constexpr UINT kWakeMessage = WM_APP + 1;

COLORREF to_colorref(Rgb c) {
    return RGB(static_cast<BYTE>(c.r), static_cast<BYTE>(c.g), static_cast<BYTE>(c.b));
}

bool is_input_message(UINT m) {
    return (m >= WM_KEYFIRST && m <= WM_KEYLAST) || (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) ||
           (m >= WM_NCMOUSEMOVE && m <= WM_NCXBUTTONDBLCLK) || m == WM_NCMOUSEHOVER || m == WM_NCMOUSELEAVE ||
           m == WM_MOUSEHOVER || m == WM_MOUSELEAVE;
}

std::string window_text(HWND h) {
    if (!h) return {};
    const int n = GetWindowTextLengthW(h);
    std::wstring buf(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(h, buf.data(), n + 1);
    buf.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    return narrow(buf);
}

}  // namespace

Win32Ui::Win32Ui(HINSTANCE inst) : inst_(inst) {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_DATE_CLASSES | ICC_BAR_CLASSES;
    InitCommonControlsEx(&icc);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32Ui::window_proc;
    wc.hInstance = inst_;
    wc.hIcon = LoadIconW(inst_, MAKEINTRESOURCEW(1));
    wc.hIconSm = static_cast<HICON>(LoadImageW(inst_, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = win32::kWindowClass;
    RegisterClassExW(&wc);

    font_ = win32::create_gadget_font();
}

Win32Ui::~Win32Ui() {
    close_window();
    for (auto& [colour, b] : brushes_) DeleteObject(b);
    if (font_.font) DeleteObject(font_.font);
}

// --- the window ---

bool Win32Ui::open_window(const std::string& title, int x, int y, int client_w, int client_h) {
    close_window();
    RECT r{0, 0, client_w, client_h};
    AdjustWindowRectEx(&r, kWindowStyle, FALSE, 0);
    HWND h = CreateWindowExW(0, win32::kWindowClass, widen(title).c_str(), kWindowStyle, 0, 0, r.right - r.left,
                             r.bottom - r.top, nullptr, nullptr, inst_, this);
    if (!h) return false;
    wnd_ = h;
    // Exactly the stored corner, wherever it lies on (or off) the screen.
    SetWindowPos(h, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    groups_ = 0;
    last_was_option_ = false;
    ShowWindow(h, SW_SHOWNORMAL);
    UpdateWindow(h);
    SetForegroundWindow(h);
    return true;
}

void Win32Ui::close_window() {
    if (wnd_) {
        HWND h = wnd_;
        wnd_ = nullptr;
        DestroyWindow(h);
    }
    gadgets_.clear();
    events_.clear();
}

void Win32Ui::window_position(int& x, int& y) {
    RECT r{};
    if (wnd_ && GetWindowRect(wnd_, &r)) {
        x = r.left;
        y = r.top;
    }
}

Rgb Win32Ui::sample_pixel(int x, int y) {
    COLORREF c = CLR_INVALID;
    if (wnd_) {
        UpdateWindow(wnd_);
        HDC dc = GetDC(wnd_);
        c = GetPixel(dc, x, y);
        ReleaseDC(wnd_, dc);
    }
    // A pixel that cannot be read (window off the screen) has the class background.
    if (c == CLR_INVALID) c = GetSysColor(COLOR_BTNFACE);
    return Rgb{GetRValue(c), GetGValue(c), GetBValue(c)};
}

// --- gadgets ---

Win32Ui::Gadget* Win32Ui::find(int id) {
    const auto it = gadgets_.find(id);
    return it == gadgets_.end() ? nullptr : &it->second;
}

HWND Win32Ui::item(int id) {
    const Gadget* g = find(id);
    return g ? g->hwnd : nullptr;
}

const Win32Ui::Gadget* Win32Ui::gadget_of(HWND child) const {
    if (!child) return nullptr;
    const auto it = gadgets_.find(GetDlgCtrlID(child));
    return it != gadgets_.end() && it->second.hwnd == child ? &it->second : nullptr;
}

HBRUSH Win32Ui::brush(COLORREF colour) {
    auto& b = brushes_[colour];
    if (!b) b = CreateSolidBrush(colour);
    return b;
}

void Win32Ui::add_gadget(const GadgetSpec& def) {
    if (!wnd_) return;
    const bool option = def.kind == GadgetKind::Option;
    const bool starts_group = !option || !last_was_option_;
    if (option && starts_group) ++groups_;
    last_was_option_ = option;
    Quiet quiet(*this);
    HWND h = win32::create_gadget(inst_, wnd_, def, starts_group);
    if (!h) return;
    if (font_.font) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_.font), TRUE);
    Gadget g;
    g.hwnd = h;
    g.kind = def.kind;
    g.group = option ? groups_ : -1;
    gadgets_[def.id] = g;
}

void Win32Ui::set_text(int id, const std::string& text) {
    Quiet quiet(*this);
    if (HWND h = item(id)) SetWindowTextW(h, widen(text).c_str());
}

std::string Win32Ui::text(int id) { return window_text(item(id)); }

void Win32Ui::set_colours(int id, Rgb text, Rgb background) {
    Gadget* g = find(id);
    if (!g) return;
    g->coloured = true;
    g->text = to_colorref(text);
    g->background = to_colorref(background);
    brush(g->background);
    if (g->kind == GadgetKind::Button) {
        // Push buttons ignore colour messages; this one draws its own face.
        const LONG_PTR style = GetWindowLongPtrW(g->hwnd, GWL_STYLE);
        SetWindowLongPtrW(g->hwnd, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    }
    InvalidateRect(g->hwnd, nullptr, TRUE);
}

void Win32Ui::set_enabled(int id, bool enabled) {
    if (HWND h = item(id)) EnableWindow(h, enabled);
}

void Win32Ui::set_visible(int id, bool visible) {
    if (HWND h = item(id)) ShowWindow(h, visible ? SW_SHOW : SW_HIDE);
}

void Win32Ui::set_checked(int id, bool checked) {
    const Gadget* g = find(id);
    if (!g) return;
    Quiet quiet(*this);
    if (checked && g->kind == GadgetKind::Option) {
        for (auto& [other_id, other] : gadgets_) {
            if (other_id != id && other.kind == GadgetKind::Option && other.group == g->group)
                SendMessageW(other.hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
        }
    }
    SendMessageW(g->hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32Ui::is_checked(int id) {
    HWND h = item(id);
    return h && SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32Ui::add_item(int id, const std::string& text) {
    Quiet quiet(*this);
    if (HWND h = item(id)) SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(text).c_str()));
}

void Win32Ui::set_item_text(int id, int index, const std::string& text) {
    HWND h = item(id);
    if (!h || index < 0 || index >= SendMessageW(h, CB_GETCOUNT, 0, 0)) return;
    Quiet quiet(*this);
    const LRESULT selected = SendMessageW(h, CB_GETCURSEL, 0, 0);
    SendMessageW(h, CB_DELETESTRING, static_cast<WPARAM>(index), 0);
    SendMessageW(h, CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(widen(text).c_str()));
    if (selected == index) SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void Win32Ui::select_item(int id, int index) {
    Quiet quiet(*this);
    if (HWND h = item(id)) SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(index < 0 ? -1 : index), 0);
}

int Win32Ui::selected_item(int id) {
    HWND h = item(id);
    if (!h) return -1;
    const LRESULT r = SendMessageW(h, CB_GETCURSEL, 0, 0);
    return r == CB_ERR ? -1 : static_cast<int>(r);
}

void Win32Ui::set_track_position(int id, int position) {
    Quiet quiet(*this);
    if (HWND h = item(id)) SendMessageW(h, TBM_SETPOS, TRUE, position);
}

int Win32Ui::track_position(int id) {
    HWND h = item(id);
    return h ? static_cast<int>(SendMessageW(h, TBM_GETPOS, 0, 0)) : 0;
}

void Win32Ui::set_date_display(int id, const std::string& pattern) {
    HWND h = item(id);
    if (!h) return;
    // Quoted, so letters such as d, M or y show as themselves.
    std::wstring format = L"'";
    for (wchar_t c : widen(pattern)) {
        if (c == L'\'') format += L'\'';
        format += c;
    }
    format += L"'";
    Quiet quiet(*this);
    SendMessageW(h, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(format.c_str()));
}

PickedDate Win32Ui::picked_date(int id) {
    PickedDate d;
    HWND h = item(id);
    SYSTEMTIME t{};
    if (h && SendMessageW(h, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&t)) == GDT_VALID) {
        d.year = t.wYear;
        d.month = t.wMonth;
        d.day = t.wDay;
    }
    return d;
}

int Win32Ui::line_height(int) { return font_.line_height; }

// --- events ---

void Win32Ui::record(const UiEvent& event) {
    if (dropping_ || quiet_ > 0) return;
    events_.push_back(event);
    if (wnd_) PostMessageW(wnd_, kWakeMessage, 0, 0);
}

void Win32Ui::record_gadget(int id) {
    UiEvent e;
    e.kind = EventKind::Gadget;
    e.id = id;
    record(e);
}

bool Win32Ui::handle_command(WPARAM wp, LPARAM lp) {
    const Gadget* g = gadget_of(reinterpret_cast<HWND>(lp));
    if (!g) return false;
    const WORD code = HIWORD(wp);
    switch (g->kind) {
        case GadgetKind::Button:
        case GadgetKind::CheckBox:
        case GadgetKind::Option:
            // An owner-drawn button reports the second press of a double click on its own.
            if (code == BN_CLICKED || (code == BN_DOUBLECLICKED && g->kind == GadgetKind::Button))
                record_gadget(LOWORD(wp));
            return true;
        case GadgetKind::DropDown:
            if (code == CBN_SELCHANGE) record_gadget(LOWORD(wp));
            return true;
        default:
            return true;
    }
}

LRESULT CALLBACK Win32Ui::window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32Ui*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    return self->handle(hwnd, msg, wp, lp);
}

LRESULT Win32Ui::handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (hwnd != wnd_) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_COMMAND:
            if (lp && handle_command(wp, lp)) return 0;
            break;
        case WM_HSCROLL: {
            const Gadget* g = gadget_of(reinterpret_cast<HWND>(lp));
            if (g && g->kind == GadgetKind::TrackBar) {
                record_gadget(GetDlgCtrlID(g->hwnd));
                return 0;
            }
            break;
        }
        case WM_NOTIFY: {
            const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
            const Gadget* g = hdr ? gadget_of(hdr->hwndFrom) : nullptr;
            if (g && g->kind == GadgetKind::DatePicker && hdr->code == DTN_DATETIMECHANGE)
                record_gadget(static_cast<int>(hdr->idFrom));
            break;
        }
        case WM_LBUTTONDOWN: {
            UiEvent e;
            e.kind = EventKind::LeftButtonDown;
            POINT p{};
            RECT client{};
            GetCursorPos(&p);
            ScreenToClient(hwnd, &p);
            GetClientRect(hwnd, &client);
            e.client_y = PtInRect(&client, p) ? p.y : -1;
            record(e);
            return 0;
        }
        case WM_CLOSE: {
            UiEvent e;
            e.kind = EventKind::CloseRequest;
            record(e);
            return 0;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            const Gadget* g = gadget_of(reinterpret_cast<HWND>(lp));
            if (g && g->coloured) {
                HDC dc = reinterpret_cast<HDC>(wp);
                SetTextColor(dc, g->text);
                SetBkColor(dc, g->background);
                return reinterpret_cast<LRESULT>(brush(g->background));
            }
            break;
        }
        case WM_DRAWITEM: {
            const auto* di = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            const Gadget* g = di && di->CtlType == ODT_BUTTON ? gadget_of(di->hwndItem) : nullptr;
            if (g && g->coloured) {
                win32::paint_coloured_button(*di, g->text, brush(g->background));
                return TRUE;
            }
            break;
        }
        case kWakeMessage:
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

UiEvent Win32Ui::wait_event() {
    while (events_.empty()) {
        if (!wnd_) {
            UiEvent close;
            close.kind = EventKind::CloseRequest;
            return close;
        }
        MSG msg;
        const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
        if (r <= 0) {
            UiEvent close;
            close.kind = EventKind::CloseRequest;
            return close;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    const UiEvent e = events_.front();
    events_.pop_front();
    return e;
}

void Win32Ui::drop_queued_events() {
    dropping_ = true;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        // Input is thrown away unseen; everything else (paint, commands a
        // control posts) runs, and what it would report is swallowed.
        if (is_input_message(msg.message)) continue;
        DispatchMessageW(&msg);
    }
    dropping_ = false;
    events_.clear();
}

// --- modal boxes ---

void Win32Ui::show_note(const std::string& text) {
    MessageBoxW(wnd_, widen(text).c_str(), L"Hinweis:", MB_OK | MB_SETFOREGROUND);
}

bool Win32Ui::ask_yes_no(const std::string& title, const std::string& text) {
    return MessageBoxW(wnd_, widen(text).c_str(), widen(title).c_str(), MB_YESNO | MB_SETFOREGROUND) == IDYES;
}

std::optional<std::string> Win32Ui::ask_text(const std::string& title, const std::string& prompt,
                                             const std::string& default_text) {
    return win32::run_input_box(inst_, wnd_, title, prompt, default_text);
}

}  // namespace zd
