// zdrive: a test-only console program that runs beside Zendrill.exe in the
// same Wine prefix and drives its windows the way a user would.
//
// Commands come one per line on stdin (or one per argument); each prints
// zero or more data lines and ends with "OK" or "ERR <why>". Texts are
// printed as Windows-1252 bytes in double quotes with \r, \n, \t, \\, \"
// and every byte outside 0x20..0x7e escaped as \xHH; text arguments use the
// same escapes.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

const wchar_t* const kToolClass = L"ZendrillWindow";
const wchar_t* const kInputBoxClass = L"ZendrillInputBox";
const wchar_t* const kMessageBoxClass = L"#32770";
constexpr int kInputBoxEditId = 101;
constexpr int kInputBoxOkId = 1;

HWND g_tool = nullptr;      // the tool window last found
LARGE_INTEGER g_mark{};     // time of the last user action
LARGE_INTEGER g_freq{};

// --- texts ---

std::string to_1252(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(1252, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(1252, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring from_1252(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(1252, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(1252, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        char buf[8];
        switch (c) {
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            default:
                if (c < 0x20 || c > 0x7e) {
                    std::snprintf(buf, sizeof buf, "\\x%02X", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        if (c == 'r') out += '\r';
        else if (c == 'n') out += '\n';
        else if (c == 't') out += '\t';
        else if (c == 'x' && i + 2 < s.size() + 0 && hex_digit(s[i + 1]) >= 0 && hex_digit(s[i + 2]) >= 0) {
            out += static_cast<char>(hex_digit(s[i + 1]) * 16 + hex_digit(s[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// A double-quoted argument (escapes as above) or the rest of the line.
std::string text_arg(std::istringstream& in) {
    std::string rest;
    std::getline(in, rest);
    const auto start = rest.find_first_not_of(' ');
    if (start == std::string::npos) return {};
    rest = rest.substr(start);
    if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') rest = rest.substr(1, rest.size() - 2);
    return unescape(rest);
}

std::wstring class_of(HWND h) {
    wchar_t buf[128] = {};
    GetClassNameW(h, buf, 127);
    return buf;
}

// The text a window holds, without sending it a message: works while the
// tool is blocked in a device exchange.
std::string stored_text(HWND h) {
    wchar_t buf[16384] = {};
    const int n = InternalGetWindowText(h, buf, 16383);
    return to_1252(std::wstring(buf, static_cast<std::size_t>(n < 0 ? 0 : n)));
}

// WM_GETTEXT (the window answers itself), with a time-out.
bool message_text(HWND h, std::string& out) {
    static wchar_t buf[16384];
    buf[0] = 0;
    DWORD_PTR n = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, 16383, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 3000, &n))
        return false;
    out = to_1252(std::wstring(buf, static_cast<std::size_t>(n)));
    return true;
}

double elapsed_ms() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - g_mark.QuadPart) * 1000.0 / static_cast<double>(g_freq.QuadPart);
}

void mark() { QueryPerformanceCounter(&g_mark); }

// --- finding windows ---

struct Found {
    const wchar_t* cls;
    const std::string* title;
    std::vector<HWND> hits;
};

BOOL CALLBACK collect(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<Found*>(lp);
    if (!IsWindowVisible(h)) return TRUE;
    if (class_of(h) != f->cls) return TRUE;
    if (f->title && stored_text(h) != *f->title) return TRUE;
    f->hits.push_back(h);
    return TRUE;
}

std::vector<HWND> top_level(const wchar_t* cls, const std::string* title = nullptr) {
    Found f{cls, title, {}};
    EnumWindows(collect, reinterpret_cast<LPARAM>(&f));
    return f.hits;
}

HWND find_box() {
    auto boxes = top_level(kInputBoxClass);
    if (!boxes.empty()) return boxes.front();
    boxes = top_level(kMessageBoxClass);
    return boxes.empty() ? nullptr : boxes.front();
}

template <typename Pred>
bool poll(int timeout_ms, Pred pred) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(timeout_ms);
    for (;;) {
        if (pred()) return true;
        if (static_cast<LONG>(GetTickCount() - end) >= 0) return false;
        Sleep(20);
    }
}

std::vector<HWND> children(HWND parent) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
    return out;
}

HWND gadget(int id) { return g_tool ? GetDlgItem(g_tool, id) : nullptr; }

// --- memory in the tool's process, for messages that carry pointers ---

struct Remote {
    HANDLE process = nullptr;
    void* mem = nullptr;
    explicit Remote(HWND h, std::size_t size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process) mem = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~Remote() {
        if (mem) VirtualFreeEx(process, mem, 0, MEM_RELEASE);
        if (process) CloseHandle(process);
    }
    bool ok() const { return mem != nullptr; }
    bool put(const void* data, std::size_t n, std::size_t offset = 0) {
        SIZE_T done = 0;
        return WriteProcessMemory(process, static_cast<char*>(mem) + offset, data, n, &done) && done == n;
    }
    bool get(void* data, std::size_t n, std::size_t offset = 0) {
        SIZE_T done = 0;
        return ReadProcessMemory(process, static_cast<char*>(mem) + offset, data, n, &done) && done == n;
    }
    LPARAM at(std::size_t offset = 0) const { return reinterpret_cast<LPARAM>(static_cast<char*>(mem) + offset); }
};

bool send(HWND h, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result = nullptr, UINT timeout = 10000) {
    DWORD_PTR r = 0;
    const bool ok = SendMessageTimeoutW(h, msg, wp, lp, SMTO_NORMAL, timeout, &r) != 0;
    if (result) *result = static_cast<LRESULT>(r);
    return ok;
}

// --- describing ---

void print_rect_line(const char* name, const RECT& r) {
    std::printf("%s %ld %ld %ld %ld\n", name, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void describe_window(HWND h) {
    RECT outer{}, client{};
    GetWindowRect(h, &outer);
    GetClientRect(h, &client);
    POINT origin{0, 0};
    ClientToScreen(h, &origin);
    std::printf("title %s\n", quote(stored_text(h)).c_str());
    print_rect_line("outer", outer);
    std::printf("client %ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
    std::printf("enabled %d\n", IsWindowEnabled(h) ? 1 : 0);
}

std::string combo_items(HWND h) {
    std::string out;
    LRESULT count = 0, sel = -1;
    send(h, CB_GETCOUNT, 0, 0, &count, 3000);
    send(h, CB_GETCURSEL, 0, 0, &sel, 3000);
    char buf[64];
    std::snprintf(buf, sizeof buf, " items=%ld sel=%ld", static_cast<long>(count), static_cast<long>(sel));
    out += buf;
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t item[1024] = {};
        LRESULT len = 0;
        send(h, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0, &len, 3000);
        if (len >= 0 && len < 1023) send(h, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item), nullptr, 3000);
        std::snprintf(buf, sizeof buf, " item%ld=", static_cast<long>(i));
        out += buf + quote(to_1252(item));
    }
    return out;
}

std::string picker_value(HWND h) {
    Remote r(h, sizeof(SYSTEMTIME));
    if (!r.ok()) return " value=?";
    LRESULT res = GDT_NONE;
    SYSTEMTIME t{};
    if (!send(h, DTM_GETSYSTEMTIME, 0, r.at(), &res, 3000) || !r.get(&t, sizeof t)) return " value=?";
    if (res != GDT_VALID) return " value=none";
    char buf[64];
    std::snprintf(buf, sizeof buf, " value=%04d-%02d-%02d", t.wYear, t.wMonth, t.wDay);
    return buf;
}

void describe_gadget(HWND c) {
    const int id = GetDlgCtrlID(c);
    const std::wstring wcls = class_of(c);
    const std::string cls = to_1252(wcls);
    const LONG style = GetWindowLongW(c, GWL_STYLE);
    RECT r{};
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, GetParent(c), reinterpret_cast<POINT*>(&r), 2);
    std::printf("gadget id=%d class=%s style=0x%08lX rect=%ld,%ld,%ld,%ld visible=%d enabled=%d text=%s", id,
                cls.c_str(), static_cast<unsigned long>(style), r.left, r.top, r.right - r.left, r.bottom - r.top,
                (style & WS_VISIBLE) ? 1 : 0, IsWindowEnabled(c) ? 1 : 0, quote(stored_text(c)).c_str());
    if (_wcsicmp(wcls.c_str(), L"Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX || type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON ||
            type == BS_3STATE || type == BS_AUTO3STATE) {
            LRESULT checked = 0;
            send(c, BM_GETCHECK, 0, 0, &checked, 3000);
            std::printf(" checked=%ld", static_cast<long>(checked));
        }
    } else if (_wcsicmp(wcls.c_str(), L"ComboBox") == 0) {
        std::printf("%s", combo_items(c).c_str());
    } else if (_wcsicmp(wcls.c_str(), TRACKBAR_CLASSW) == 0) {
        LRESULT pos = 0, lo = 0, hi = 0;
        send(c, TBM_GETPOS, 0, 0, &pos, 3000);
        send(c, TBM_GETRANGEMIN, 0, 0, &lo, 3000);
        send(c, TBM_GETRANGEMAX, 0, 0, &hi, 3000);
        std::printf(" pos=%ld min=%ld max=%ld", static_cast<long>(pos), static_cast<long>(lo), static_cast<long>(hi));
    } else if (_wcsicmp(wcls.c_str(), DATETIMEPICK_CLASSW) == 0) {
        std::string shown;
        message_text(c, shown);
        std::printf(" shown=%s%s", quote(shown).c_str(), picker_value(c).c_str());
    }
    std::printf("\n");
}

void describe_box(HWND box) {
    std::printf("box class=%s title=%s\n", to_1252(class_of(box)).c_str(), quote(stored_text(box)).c_str());
    RECT r{};
    GetWindowRect(box, &r);
    print_rect_line("outer", r);
    for (HWND c : children(box)) {
        const std::wstring cls = class_of(c);
        const LONG style = GetWindowLongW(c, GWL_STYLE);
        std::string text;
        if (_wcsicmp(cls.c_str(), L"Edit") == 0) {
            if (!message_text(c, text)) text = stored_text(c);
        } else {
            text = stored_text(c);
        }
        if (_wcsicmp(cls.c_str(), L"Static") == 0 && ((style & SS_TYPEMASK) == SS_ICON || text.empty())) continue;
        std::printf("item id=%d class=%s visible=%d text=%s\n", GetDlgCtrlID(c), to_1252(cls).c_str(),
                    (style & WS_VISIBLE) ? 1 : 0, quote(text).c_str());
    }
}

// --- acting ---

bool click(HWND h) {
    mark();
    return send(h, BM_CLICK, 0, 0);
}

bool send_mouse(int x, int y) {
    if (!g_tool) return false;
    POINT p{x, y};
    ClientToScreen(g_tool, &p);
    // Move as real input first, so that every process sees the new
    // position when it asks for the cursor, then press and release.
    SetCursorPos(p.x, p.y);
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dx = static_cast<LONG>((p.x * 65535 + GetSystemMetrics(SM_CXSCREEN) / 2) / (GetSystemMetrics(SM_CXSCREEN) - 1));
    move.mi.dy = static_cast<LONG>((p.y * 65535 + GetSystemMetrics(SM_CYSCREEN) / 2) / (GetSystemMetrics(SM_CYSCREEN) - 1));
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &move, sizeof(INPUT));
    const bool there = poll(1000, [&] {
        POINT now{};
        GetCursorPos(&now);
        return now.x == p.x && now.y == p.y;
    });
    if (!there) return false;
    Sleep(100);
    INPUT in[2] = {};
    in[0].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].type = INPUT_MOUSE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    mark();
    return SendInput(2, in, sizeof(INPUT)) == 2;
}

bool send_key(WORD vk) {
    INPUT in[2] = {};
    in[0].type = INPUT_KEYBOARD;
    in[0].ki.wVk = vk;
    in[1].type = INPUT_KEYBOARD;
    in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    mark();
    return SendInput(2, in, sizeof(INPUT)) == 2;
}

bool set_picker_date(HWND picker, int year, int month, int day, bool notify) {
    Remote r(picker, sizeof(NMDATETIMECHANGE));
    if (!r.ok()) return false;
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    if (!r.put(&t, sizeof t) || !send(picker, DTM_SETSYSTEMTIME, GDT_VALID, r.at())) return false;
    if (!notify) return true;
    // Wine does not pass WM_NOTIFY between processes; on Windows this reaches the tool.
    NMDATETIMECHANGE n{};
    n.nmhdr.hwndFrom = picker;
    n.nmhdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(picker));
    n.nmhdr.code = DTN_DATETIMECHANGE;
    n.dwFlags = GDT_VALID;
    n.st = t;
    if (!r.put(&n, sizeof n)) return false;
    mark();
    return send(GetParent(picker), WM_NOTIFY, n.nmhdr.idFrom, r.at());
}

int button_id(const std::string& name) {
    if (_stricmp(name.c_str(), "ok") == 0) return IDOK;
    if (_stricmp(name.c_str(), "yes") == 0) return IDYES;
    if (_stricmp(name.c_str(), "no") == 0) return IDNO;
    if (_stricmp(name.c_str(), "cancel") == 0) return IDCANCEL;
    return std::atoi(name.c_str());
}

bool refind_tool() {
    if (g_tool && IsWindow(g_tool) && IsWindowVisible(g_tool)) return true;
    const auto tools = top_level(kToolClass);
    g_tool = tools.empty() ? nullptr : tools.front();
    return g_tool != nullptr;
}

// --- commands ---

int g_fail = 0;

void ok() { std::printf("OK\n"); }
void err(const std::string& why) {
    std::printf("ERR %s\n", why.c_str());
    ++g_fail;
}

void run(const std::string& line) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    if (cmd.empty() || cmd[0] == '#') return;

    if (cmd == "wait") {  // wait MS [TITLE]: a visible tool window
        int ms = 10000;
        in >> ms;
        const std::string title = text_arg(in);
        HWND found = nullptr;
        const bool hit = poll(ms, [&] {
            const auto w = top_level(kToolClass, title.empty() ? nullptr : &title);
            if (w.empty()) return false;
            found = w.front();
            return true;
        });
        if (!hit) return err("no tool window");
        g_tool = found;
        std::printf("hwnd %p\n", static_cast<void*>(g_tool));
        return ok();
    }
    if (cmd == "gone") {  // gone MS: no tool window and no box left
        int ms = 10000;
        in >> ms;
        if (!poll(ms, [] { return top_level(kToolClass).empty() && !find_box(); })) return err("still there");
        return ok();
    }
    if (cmd == "nowindow") {  // nowindow MS: no tool window appears within MS
        int ms = 1000;
        in >> ms;
        if (poll(ms, [] { return !top_level(kToolClass).empty(); })) return err("a tool window appeared");
        return ok();
    }
    if (cmd == "window") {
        if (!refind_tool()) return err("no tool window");
        describe_window(g_tool);
        return ok();
    }
    if (cmd == "gadgets") {
        if (!refind_tool()) return err("no tool window");
        for (HWND c : children(g_tool)) describe_gadget(c);
        return ok();
    }
    if (cmd == "gadget") {
        int id = 0;
        in >> id;
        if (!refind_tool()) return err("no tool window");
        HWND h = gadget(id);
        if (!h) return err("no gadget");
        describe_gadget(h);
        return ok();
    }
    if (cmd == "text") {
        int id = 0;
        in >> id;
        refind_tool();
        HWND h = gadget(id);
        if (!h) return err("no gadget");
        std::printf("text %s\n", quote(stored_text(h)).c_str());
        return ok();
    }
    if (cmd == "waittext" || cmd == "waitnot" || cmd == "waitcontains") {
        // waittext ID MS TEXT: until equal; waitnot: until different; waitcontains: until it holds TEXT
        int id = 0, ms = 0;
        in >> id >> ms;
        const std::string want = text_arg(in);
        std::string got;
        refind_tool();
        const bool hit = poll(ms, [&] {
            refind_tool();
            HWND h = gadget(id);
            if (!h) return false;
            got = stored_text(h);
            if (cmd == "waittext") return got == want;
            if (cmd == "waitnot") return got != want;
            return got.find(want) != std::string::npos;
        });
        std::printf("text %s\nelapsed %.0f\n", quote(got).c_str(), elapsed_ms());
        return hit ? ok() : err("timeout");
    }
    if (cmd == "click") {  // BM_CLICK: buttons, check boxes, options
        int id = 0;
        in >> id;
        refind_tool();
        HWND h = gadget(id);
        if (!h) return err("no gadget");
        return click(h) ? ok() : err("not handled");
    }
    if (cmd == "command") {  // post WM_COMMAND BN_CLICKED to the window
        int id = 0;
        in >> id;
        refind_tool();
        HWND h = gadget(id);
        if (!h) return err("no gadget");
        mark();
        return PostMessageW(g_tool, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(h)) ? ok()
                                                                                                          : err("post");
    }
    if (cmd == "check") {  // check ID 0|1: click when the state differs
        int id = 0, want = 1;
        in >> id >> want;
        refind_tool();
        HWND h = gadget(id);
        if (!h) return err("no gadget");
        LRESULT state = 0;
        send(h, BM_GETCHECK, 0, 0, &state);
        if ((state == BST_CHECKED) != (want != 0) && !click(h)) return err("not handled");
        return ok();
    }
    if (cmd == "select") {  // select ID INDEX
        int id = 0, index = 0;
        in >> id >> index;
        refind_tool();
        HWND h = gadget(id);
        if (!h) return err("no gadget");
        if (!send(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0)) return err("not handled");
        mark();
        return send(g_tool, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(h)) ? ok()
                                                                                                   : err("notify");
    }
    if (cmd == "track") {  // track ID POS
        int id = 0, pos = 0;
        in >> id >> pos;
        refind_tool();
        HWND h = gadget(id);
        if (!h) return err("no gadget");
        if (!send(h, TBM_SETPOS, TRUE, pos)) return err("not handled");
        mark();
        return send(g_tool, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, pos), reinterpret_cast<LPARAM>(h))
                   ? ok()
                   : err("notify");
    }
    if (cmd == "date" || cmd == "setdate") {  // date ID YYYY MM DD; setdate: without the notification
        int id = 0, y = 0, m = 0, d = 0;
        in >> id >> y >> m >> d;
        refind_tool();
        HWND h = gadget(id);
        if (!h) return err("no gadget");
        return set_picker_date(h, y, m, d, cmd == "date") ? ok() : err("not handled");
    }
    if (cmd == "dayat") {  // dayat ID YYYY MM DD: screen point of that day in the open drop-down calendar
        int id = 0, y = 0, m = 0, d = 0;
        in >> id >> y >> m >> d;
        refind_tool();
        HWND h = gadget(id);
        if (!h) return err("no gadget");
        LRESULT cal = 0;
        HWND mc = nullptr;
        poll(3000, [&] {
            send(h, DTM_GETMONTHCAL, 0, 0, &cal, 3000);
            mc = reinterpret_cast<HWND>(cal);
            return mc != nullptr && IsWindowVisible(mc);
        });
        if (!mc) return err("calendar not open");
        RECT rc{};
        GetClientRect(mc, &rc);
        Remote r(mc, sizeof(MCHITTESTINFO));
        if (!r.ok()) return err("no memory in the tool");
        for (LONG py = 2; py < rc.bottom; py += 3) {
            for (LONG px = 2; px < rc.right; px += 3) {
                MCHITTESTINFO hit{};
                hit.cbSize = MCHITTESTINFO_V1_SIZE;
                hit.pt = POINT{px, py};
                LRESULT res = 0;
                if (!r.put(&hit, sizeof hit) || !send(mc, MCM_HITTEST, 0, r.at(), &res, 3000) || !r.get(&hit, sizeof hit))
                    return err("hit test failed");
                if (hit.uHit == MCHT_CALENDARDATE && hit.st.wYear == y && hit.st.wMonth == m && hit.st.wDay == d) {
                    POINT p{px + 2, py + 2};
                    ClientToScreen(mc, &p);
                    std::printf("point %ld %ld\n", p.x, p.y);
                    return ok();
                }
            }
        }
        return err("day not shown");
    }
    if (cmd == "mouse") {
        // mouse X Y: left press at client coordinates, real input. Under Wine
        // the tool's GetCursorPos may still report the previous position when
        // the pointer was moved this way; the harness presses through the X
        // server instead (xdotool), which Wine sees as the user's own pointer.
        int x = 0, y = 0;
        in >> x >> y;
        if (!refind_tool()) return err("no tool window");
        return send_mouse(x, y) ? ok() : err("SendInput");
    }
    if (cmd == "close") {
        if (!refind_tool()) return err("no tool window");
        mark();
        return PostMessageW(g_tool, WM_CLOSE, 0, 0) ? ok() : err("post");
    }
    if (cmd == "box") {  // box MS: a message box or the input box
        int ms = 10000;
        in >> ms;
        HWND box = nullptr;
        if (!poll(ms, [&] { return (box = find_box()) != nullptr; })) return err("no box");
        Sleep(100);  // let it finish building its controls
        describe_box(box);
        std::printf("elapsed %.0f\n", elapsed_ms());
        return ok();
    }
    if (cmd == "nobox") {  // nobox MS: no box shows within MS
        int ms = 1000;
        in >> ms;
        if (poll(ms, [] { return find_box() != nullptr; })) {
            describe_box(find_box());
            return err("a box is open");
        }
        return ok();
    }
    if (cmd == "press") {  // press ok|yes|no|ID: a button of the open box
        std::string name;
        in >> name;
        HWND box = find_box();
        if (!box) return err("no box");
        HWND b = GetDlgItem(box, button_id(name));
        if (!b) return err("no such button");
        return click(b) ? ok() : err("not handled");
    }
    if (cmd == "type") {  // type TEXT: the input box's field
        const std::string text = text_arg(in);
        const auto boxes = top_level(kInputBoxClass);
        if (boxes.empty()) return err("no input box");
        HWND edit = GetDlgItem(boxes.front(), kInputBoxEditId);
        if (!edit) return err("no edit field");
        const std::wstring w = from_1252(text);
        return send(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str())) ? ok() : err("not handled");
    }
    if (cmd == "key") {  // key escape|enter: posted to the input box's field
        std::string name;
        in >> name;
        const auto boxes = top_level(kInputBoxClass);
        if (boxes.empty()) return err("no input box");
        HWND edit = GetDlgItem(boxes.front(), kInputBoxEditId);
        const WPARAM vk = _stricmp(name.c_str(), "escape") == 0 ? VK_ESCAPE : VK_RETURN;
        mark();
        return PostMessageW(edit, WM_KEYDOWN, vk, 1) ? ok() : err("post");
    }
    if (cmd == "realkey") {  // realkey escape|enter: real keyboard input
        std::string name;
        in >> name;
        return send_key(_stricmp(name.c_str(), "escape") == 0 ? VK_ESCAPE : VK_RETURN) ? ok() : err("SendInput");
    }
    if (cmd == "boxgone") {  // boxgone MS: until no box is open
        int ms = 5000;
        in >> ms;
        if (!poll(ms, [] { return find_box() == nullptr; })) return err("a box is still open");
        return ok();
    }
    if (cmd == "move") {  // move X Y: the tool window's outer corner
        int x = 0, y = 0;
        in >> x >> y;
        if (!refind_tool()) return err("no tool window");
        return SetWindowPos(g_tool, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) ? ok()
                                                                                                    : err("move");
    }
    if (cmd == "boxclose") {
        HWND box = find_box();
        if (!box) return err("no box");
        mark();
        return PostMessageW(box, WM_CLOSE, 0, 0) ? ok() : err("post");
    }
    if (cmd == "sleep") {
        int ms = 0;
        in >> ms;
        Sleep(static_cast<DWORD>(ms));
        return ok();
    }
    if (cmd == "mark") {
        mark();
        return ok();
    }
    if (cmd == "elapsed") {
        std::printf("elapsed %.0f\n", elapsed_ms());
        return ok();
    }
    if (cmd == "cursor") {
        POINT p{};
        GetCursorPos(&p);
        if (refind_tool()) ScreenToClient(g_tool, &p);
        std::printf("cursor %ld %ld\n", p.x, p.y);
        return ok();
    }
    if (cmd == "desktop") {  // the desktop window: Wine's desktop process is up on the display
        HWND desktop = GetDesktopWindow();
        RECT r{};
        if (!desktop || !GetWindowRect(desktop, &r)) return err("no desktop window");
        print_rect_line("desktop", r);
        return ok();
    }
    if (cmd == "screen") {
        std::printf("screen %d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        return ok();
    }
    err("unknown command " + cmd);
}

}  // namespace

int main(int argc, char** argv) {
    QueryPerformanceFrequency(&g_freq);
    mark();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            run(argv[i]);
            std::fflush(stdout);
        }
        return g_fail == 0 ? 0 : 1;
    }
    char buf[20000];
    while (std::fgets(buf, sizeof buf, stdin)) {
        std::string line(buf);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line == "quit") break;
        run(line);
        std::fflush(stdout);
    }
    return 0;
}
