#pragma once
#include <chrono>

namespace zd::daemon {

// The daemon's one measure of time between events: steady, unaffected by
// the wall clock being set. Rules that are tested in virtual time take a
// Steady::time_point from their caller.
using Steady = std::chrono::steady_clock;

}  // namespace zd::daemon
