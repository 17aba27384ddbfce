#include "platform/win32/win32_parts.h"

namespace zd::win32 {

GadgetFont create_gadget_font() {
    GadgetFont out;
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    // 10 points as a character height. Where the face is not installed the
    // font mapper picks a fixed-pitch face, so the reports keep their columns.
    HFONT font = CreateFontA(-MulDiv(10, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN,
                             "Lucida Console");
    TEXTMETRICA tm{};
    HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    if (GetTextMetricsA(dc, &tm)) out.line_height = static_cast<int>(tm.tmHeight);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    out.font = font;
    return out;
}

}  // namespace zd::win32
