#pragma once
#include <deque>
#include <string>

// How fast the device clock runs against the host's, told from the status
// polls' readings of the drift. The clock shows whole seconds, so a stretch
// between two settings of the clock gives its rate by the moments the
// drift first reaches each new second; a slope through those moments is
// free of the rounding that a slope through every reading would carry.
namespace zd::daemon {

struct RateEstimate {
    bool known = false;     // at least two days of readings
    double s_per_day = 0;   // positive: the device clock gains
    double days = 0;        // how many days of readings it rests on
};

// The line's thread (and the main thread before it starts).
class ClockRate {
public:
    static constexpr long long kWindowS = 30LL * 86400;
    static constexpr double kMinDays = 2.0;

    // One reading; `fresh` starts a stretch (the clock was set or moved).
    // True when the reading marks a new second of drift or starts a
    // stretch: those tell the rate and are kept when old readings thin out.
    bool add(long long at, long long drift_s, bool fresh);
    RateEstimate estimate() const;

private:
    struct Stretch {
        long long first_at = 0, last_at = 0;
        long long low = 0, high = 0, last_drift = 0;
        // Over the moments a new second was first seen, x in days from first_at.
        double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    };
    std::deque<Stretch> stretches_;  // the last 30 days, oldest first
};

// "Die Geräteuhr geht 1,8 s pro Tag vor" / "… nach"; with too few readings
// what is missing (Windows-1252).
std::string rate_text(const RateEstimate& e);

}  // namespace zd::daemon
