#pragma once
#include <string>

#include "device/timer_ops.h"
#include "gui/state.h"

// The timer editor's steps, one by one, for the editor itself and its tests.
namespace zd::editor {

constexpr const char* kEditorTitle = "B203 Timer bearbeiten";

// Window and timer display.
// Remembers and closes the main window, opens the editor and loads the
// timer. False when the editor window could not be opened.
bool open_editor(Context& ctx);
void create_editor_gadgets(Context& ctx);
void load_timer(Context& ctx);
void show_timer_fields(Context& ctx);
void show_timer_days(Context& ctx);
void show_station_list(Context& ctx);
// "HHMM" as "HH:MM"; "DDMMYY" as "DD.MM.YY".
std::string time_text(const std::string& hhmm);
std::string date_display(const std::string& ddmmyy);

// Actions.
void write_timer(Context& ctx);
void erase_timer(Context& ctx);
void test_timer(Context& ctx);
void apply_preset(Context& ctx);
void store_preset(Context& ctx);
void rename_preset(Context& ctx);
// One gadget event; false when the editor is to be left.
bool handle_editor_event(Context& ctx, const UiEvent& event);
void run_editor_loop(Context& ctx);

}  // namespace zd::editor
