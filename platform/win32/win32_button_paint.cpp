#include <string>

#include "platform/win32/win32_parts.h"

namespace zd::win32 {

void paint_coloured_button(const DRAWITEMSTRUCT& item, COLORREF text, HBRUSH background) {
    HDC dc = item.hDC;
    RECT rc = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0;

    // A normal push button's edges, its face in the window background colour.
    DrawFrameControl(dc, &rc, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    RECT face = rc;
    InflateRect(&face, -2, -2);
    FillRect(dc, &face, background);

    wchar_t caption[256] = {};
    const int len = GetWindowTextW(item.hwndItem, caption, 256);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
    HGDIOBJ old_font = font ? SelectObject(dc, font) : nullptr;
    const int old_mode = SetBkMode(dc, TRANSPARENT);
    RECT label = face;
    if (pressed) OffsetRect(&label, 1, 1);
    const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
    if (disabled) {
        // Etched grey text, as the system draws a disabled caption.
        RECT shade = label;
        OffsetRect(&shade, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
        DrawTextW(dc, caption, len, &shade, format);
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    } else {
        SetTextColor(dc, text);
    }
    DrawTextW(dc, caption, len, &label, format);
    SetBkMode(dc, old_mode);
    if (old_font) SelectObject(dc, old_font);

    if (focused && !disabled) {
        RECT focus = face;
        InflateRect(&focus, -1, -1);
        DrawFocusRect(dc, &focus);
    }
}

}  // namespace zd::win32
