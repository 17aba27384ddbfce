#pragma once
#include <array>

// What the daemon tells as an event, by the name it has on every door.
namespace zd::daemon {

enum class EventType {
    ClockSynced,
    TimerWritten,
    TimerErased,
    TimerRefused,
    TimerTested,
    SettingsSent,
    IrSwitched,
    LinkLost,
    LinkBack,
};

// In the order the discovery announces them.
constexpr std::array<EventType, 9> kEventTypes = {
    EventType::ClockSynced, EventType::TimerWritten, EventType::TimerErased,
    EventType::TimerRefused, EventType::TimerTested, EventType::SettingsSent,
    EventType::IrSwitched, EventType::LinkLost, EventType::LinkBack,
};

constexpr const char* event_name(EventType e) {
    switch (e) {
        case EventType::ClockSynced: return "clock_synced";
        case EventType::TimerWritten: return "timer_written";
        case EventType::TimerErased: return "timer_erased";
        case EventType::TimerRefused: return "timer_refused";
        case EventType::TimerTested: return "timer_tested";
        case EventType::SettingsSent: return "settings_sent";
        case EventType::IrSwitched: return "ir_switched";
        case EventType::LinkLost: return "link_lost";
        case EventType::LinkBack: break;
    }
    return "link_back";
}

}  // namespace zd::daemon
