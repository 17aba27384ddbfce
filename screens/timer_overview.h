#pragma once
#include <string>

#include "app/state.h"

namespace zd {

// Lists the five timers in the output pane (overview mode is switched on by the caller).
void show_timer_overview(Context& ctx);

// The five-line entry of one timer after read timer and parse timer reply:
// failed when the reply is empty, empty timer when it ends with "E",
// otherwise the decoded fields.
std::string timer_overview_entry(int timer_number, const TimerFields& fields, const std::string& last_reply);

}  // namespace zd
