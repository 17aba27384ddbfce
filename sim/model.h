#pragma once
#include <array>
#include <string>
#include <vector>

#include "sim/time_source.h"

// The devices on the simulated line: the B203 at address 0 with its clock,
// settings, IR receiver and five timers, and identifying devices at 1-9.
// Plain C++ without OS calls; time comes from the injected source.
namespace zd::sim {

constexpr int kTimerCount = 5;
constexpr int kAddressCount = 10;

struct ModelOptions {
    // Answer to accepted set, erase, write and test commands; empty: no answer.
    std::string ack = "OK";
    // Every timer write or erase is refused with BEL and changes nothing.
    bool refuse_writes = false;
};

struct Answer {
    bool has_line = false;
    std::string line;   // the reply line without its "\r\n"
    std::string event;  // what the device did beyond its state, for the log
};

// The device state as texts, for dumps and tests.
struct Snapshot {
    std::string date;      // DDMMYY
    std::string time;      // HHMMSS
    std::string settings;  // four digits
    std::string ir;        // "0" on, "1" off
    std::array<std::string, kTimerCount> timers;     // record or "E"
    std::array<std::string, kAddressCount> devices;  // identifier code, "" when absent
};

// Four digits: language 0-2, easy function 0-2, timer 0-1, power-on 0-4.
bool is_valid_settings(const std::string& settings);
// A 27-character weekday or 26-character date record whose every field is
// in range (day flags, real date, source, station, targets, real times).
bool is_valid_timer_record(const std::string& record);

class Model {
public:
    explicit Model(TimeSource& time, ModelOptions options = {});

    // One command line without its "\r".
    Answer handle_line(const std::string& line);

    std::string status_record();
    std::string date();
    std::string time();
    const std::string& settings() const { return settings_; }
    char ir() const { return ir_; }
    // The record of timer 1-5, "" when empty.
    const std::string& timer(int number) const;
    const std::string& device(int address) const;
    // "N:record" of every timer test run, oldest first.
    const std::vector<std::string>& tests_run() const { return tests_run_; }
    Snapshot snapshot();

    // Each setter checks its argument and changes nothing when it is invalid.
    bool set_date(const std::string& ddmmyy);
    bool set_time(const std::string& hhmmss);
    bool set_settings(const std::string& settings);
    bool set_ir(const std::string& ir);
    // A valid record, or "E" to empty the timer.
    bool set_timer(int number, const std::string& record_or_e);
    // Two printable characters, or "" to remove the device.
    bool set_device(int address, const std::string& code);

    ModelOptions& options() { return options_; }
    // The device clock at `ms` since 01.01.00 00:00:00 from now on.
    void set_clock_ms(long long ms) { set_device_ms(ms); }

private:
    long long now_device_ms();
    void set_device_ms(long long ms);
    Answer b203(const std::string& line);
    Answer timer_write(const std::string& line);
    Answer timer_test(const std::string& line);
    Answer ack() const;

    TimeSource& time_;
    ModelOptions options_;
    long long base_ms_ = 0;  // device time at ref_ms_
    long long ref_ms_ = 0;
    std::string settings_ = "1000";
    char ir_ = '0';
    std::array<std::string, kTimerCount> timers_;
    std::array<std::string, kAddressCount> devices_;
    std::vector<std::string> tests_run_;
};

}  // namespace zd::sim
