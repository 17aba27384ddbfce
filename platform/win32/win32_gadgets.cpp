#include "platform/win32/win32_parts.h"

#include <commctrl.h>

#include "platform/win32/text_1252.h"

namespace zd::win32 {

namespace {

struct ClassAndStyle {
    const wchar_t* cls;
    DWORD style;
};

ClassAndStyle class_for(GadgetKind kind) {
    switch (kind) {
        case GadgetKind::Text:
            // No SS_NOTIFY: the label lets mouse presses through to the window.
            return {L"STATIC", SS_LEFT | SS_NOPREFIX};
        case GadgetKind::Button:
            return {L"BUTTON", BS_PUSHBUTTON};
        case GadgetKind::CheckBox:
            return {L"BUTTON", BS_AUTOCHECKBOX};
        case GadgetKind::Option:
            return {L"BUTTON", BS_AUTORADIOBUTTON};
        case GadgetKind::Frame:
            // Clipped by the gadgets created before it, which lie inside it.
            return {L"BUTTON", BS_GROUPBOX | WS_CLIPSIBLINGS};
        case GadgetKind::DropDown:
            return {L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL};
        case GadgetKind::DatePicker:
            return {DATETIMEPICK_CLASSW, DTS_SHORTDATEFORMAT};
        case GadgetKind::TrackBar:
            return {TRACKBAR_CLASSW, TBS_HORZ | TBS_AUTOTICKS};
    }
    return {L"STATIC", SS_LEFT | SS_NOPREFIX};
}

}  // namespace

HWND create_gadget(HINSTANCE inst, HWND parent, const GadgetSpec& def, bool starts_group) {
    const ClassAndStyle cs = class_for(def.kind);
    DWORD style = WS_CHILD | WS_VISIBLE | cs.style;
    if (def.kind != GadgetKind::Option || starts_group) style |= WS_GROUP;
    const std::wstring caption = widen(def.caption);
    HWND h = CreateWindowExW(0, cs.cls, caption.c_str(), style, def.x, def.y, def.w, def.h, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(def.id)), inst, nullptr);
    if (!h) return nullptr;
    if (def.kind == GadgetKind::TrackBar) {
        SendMessageW(h, TBM_SETRANGEMIN, FALSE, def.range_min);
        SendMessageW(h, TBM_SETRANGEMAX, TRUE, def.range_max);
        SendMessageW(h, TBM_SETTICFREQ, 1, 0);
    }
    return h;
}

}  // namespace zd::win32
