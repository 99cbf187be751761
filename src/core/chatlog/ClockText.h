#pragma once
// "HH:MM" in local time, for the optional times before log lines.

#include <cstdint>
#include <string>

// time: seconds since the epoch (UTC).
std::string ClockText(std::int64_t time);
