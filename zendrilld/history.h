#pragma once
#include <string>

#include "device/status_record.h"
#include "zendrilld/device_picture.h"
#include "zendrilld/journal.h"

// What the journal's entries say to a person.
namespace zd::daemon {

// A timer record in brief: "Mo Mi Fr 06:30–07:15", "24.12.2026 07:00–08:00",
// "leer" for "" (UTF-8). `with_source` adds ", Tuner 05, LS-A".
std::string timer_brief(const std::string& record, bool with_source = false);
// The entry in one sentence with its door: "Timer 3: Mo Mi Fr 06:30–07:15 →
// Mo–Fr 06:00–06:45 (Home Assistant)" (UTF-8).
std::string history_sentence(const JournalEntry& e, const ValueNames& names);
// A change whose earlier state can be written back.
bool can_undo(const JournalEntry& e);
// Whether the device, as the picture knows it, still holds what the change
// left; true while the picture does not know. Undo is offered only then.
bool still_holds(const JournalEntry& e, const Picture& p);

}  // namespace zd::daemon
