#pragma once
#include "gui/state.h"

// What the buttons of the settings window do; each confirms in the status line.
namespace zd::settings {

void set_status(Context& ctx, const std::string& text);
void send_settings(Context& ctx);
void remember_quick_mode(Context& ctx);
void ask_and_send_time(Context& ctx);
void ask_and_send_date(Context& ctx);
void send_ir(Context& ctx, bool on);
// Reads the device clock and sends it one hour later or earlier; across
// midnight a real date follows.
void shift_device_hour(Context& ctx, bool forward);
void send_pc_date(Context& ctx);
void send_pc_time(Context& ctx);

}  // namespace zd::settings
