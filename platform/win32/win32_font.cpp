#include <cwchar>

#include "platform/win32/win32_parts.h"

namespace zd::win32 {

namespace {

HFONT make_font(int height, const wchar_t* face) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirectW(&lf);
}

// Line height of `font` when the mapper really chose `face` (any face when
// `face` is empty) with a fixed pitch; 0 otherwise.
int probe(HDC dc, HFONT font, const wchar_t* face) {
    if (!font) return 0;
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t chosen[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, chosen);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    // The "fixed pitch" bit is set for variable-pitch fonts.
    const bool fixed = (tm.tmPitchAndFamily & TMPF_FIXED_PITCH) == 0;
    const bool face_ok = face[0] == L'\0' || _wcsicmp(chosen, face) == 0;
    return face_ok && fixed ? static_cast<int>(tm.tmHeight) : 0;
}

// A stand-in face whose line is exactly `line` pixels high, as the
// 10-point line of the real face, so the reports keep their rows.
HFONT stand_in(HDC dc, const wchar_t* face, int line, int& line_height) {
    HFONT font = make_font(line, face);
    const int first = probe(dc, font, face);
    if (first == 0) {
        if (font) DeleteObject(font);
        return nullptr;
    }
    line_height = first;
    for (int delta : {1, -1, 2, -2}) {
        if (line_height == line) break;
        HFONT other = make_font(line + delta, face);
        if (probe(dc, other, face) == line) {
            DeleteObject(font);
            font = other;
            line_height = line;
        } else if (other) {
            DeleteObject(other);
        }
    }
    return font;
}

}  // namespace

GadgetFont create_gadget_font() {
    GadgetFont out;
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    HFONT font = make_font(-MulDiv(10, dpi, 72), L"Lucida Console");
    const int real = probe(dc, font, L"Lucida Console");
    if (real > 0) {
        out.line_height = real;
    } else {
        if (font) DeleteObject(font);
        font = nullptr;
        const int line = MulDiv(13, dpi, 96);
        for (const wchar_t* face : {L"DejaVu Sans Mono", L"Liberation Mono", L"Courier New", L""}) {
            font = stand_in(dc, face, line, out.line_height);
            if (font) break;
        }
    }
    if (!font) {
        TEXTMETRICW tm{};
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        GetTextMetricsW(dc, &tm);
        SelectObject(dc, old);
        out.line_height = static_cast<int>(tm.tmHeight);
    }
    ReleaseDC(nullptr, dc);
    out.font = font;
    return out;
}

}  // namespace zd::win32
