#include "zendrilld/clock_rate.h"

#include <cmath>
#include <cstdio>

namespace zd::daemon {

namespace {

// A jump like this is no drift but a new clock: summer time, a hand on the buttons.
constexpr long long kJumpS = 30;

}  // namespace

bool ClockRate::add(long long at, long long drift, bool fresh) {
    const bool jump = !stretches_.empty() && std::llabs(drift - stretches_.back().last_drift) > kJumpS;
    if (fresh || jump || stretches_.empty() || at < stretches_.back().last_at) {
        Stretch s;
        s.first_at = s.last_at = at;
        s.low = s.high = s.last_drift = drift;
        stretches_.push_back(s);
        while (!stretches_.empty() && stretches_.front().last_at < at - kWindowS) stretches_.pop_front();
        return true;
    }
    Stretch& s = stretches_.back();
    s.last_at = at;
    s.last_drift = drift;
    if (drift >= s.low && drift <= s.high) return false;
    s.low = std::min(s.low, drift);
    s.high = std::max(s.high, drift);
    const double x = static_cast<double>(at - s.first_at) / 86400.0;
    const double y = static_cast<double>(drift);
    s.n += 1;
    s.sx += x;
    s.sy += y;
    s.sxx += x * x;
    s.sxy += x * y;
    return true;
}

RateEstimate ClockRate::estimate() const {
    RateEstimate e;
    double sxx = 0, sxy = 0;
    for (const Stretch& s : stretches_) {
        e.days += static_cast<double>(s.last_at - s.first_at) / 86400.0;
        if (s.n < 2) continue;
        // Each stretch its own offset, one slope for all.
        sxx += s.sxx - s.sx * s.sx / s.n;
        sxy += s.sxy - s.sx * s.sy / s.n;
    }
    e.known = e.days >= kMinDays;
    // No new second in days of readings: slower than the clock can show.
    e.s_per_day = e.known && sxx > 1e-9 ? sxy / sxx : 0.0;
    return e;
}

std::string rate_text(const RateEstimate& e) {
    if (!e.known) {
        char d[32];
        std::snprintf(d, sizeof d, "%.1f", e.days);
        std::string days = d;
        for (char& c : days)
            if (c == '.') c = ',';
        return "Für die Gangabweichung der Geräteuhr fehlen noch Messungen: " + days +
               " von mindestens 2 Tagen";
    }
    char v[32];
    std::snprintf(v, sizeof v, "%.1f", std::fabs(e.s_per_day));
    std::string value = v;
    for (char& c : value)
        if (c == '.') c = ',';
    if (value == "0,0") return "Die Geräteuhr geht genau (weniger als 0,1 s pro Tag Abweichung)";
    return "Die Geräteuhr geht " + value + " s pro Tag " + (e.s_per_day > 0 ? "vor" : "nach");
}

}  // namespace zd::daemon
