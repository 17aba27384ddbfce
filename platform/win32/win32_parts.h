#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "platform/ui.h"

namespace zd::win32 {

// Class names test drivers look for.
constexpr const wchar_t* kWindowClass = L"ZendrillWindow";
constexpr const wchar_t* kInputBoxClass = L"ZendrillInputBox";
// Control ids inside the input box.
constexpr int kInputBoxPromptId = 100;
constexpr int kInputBoxEditId = 101;
constexpr int kInputBoxOkId = IDOK;

struct GadgetFont {
    HFONT font = nullptr;  // null: the system's gadget font
    int line_height = 13;  // pixels of one text line
};

// "Lucida Console" 10 pt, or a fixed-pitch face with the same line height
// where that face is missing.
GadgetFont create_gadget_font();

// Creates the control for a gadget; `starts_group` marks the first of a run
// of options (every other kind starts a group of its own).
HWND create_gadget(HINSTANCE inst, HWND parent, const GadgetSpec& def, bool starts_group);

// Draws an owner-drawn push button with a coloured caption on `background`.
void paint_coloured_button(const DRAWITEMSTRUCT& item, COLORREF text, HBRUSH background);

// The modal text input box; nullopt when cancelled.
std::optional<std::string> run_input_box(HINSTANCE inst, HWND owner, const std::string& title,
                                         const std::string& prompt, const std::string& default_text);

}  // namespace zd::win32
