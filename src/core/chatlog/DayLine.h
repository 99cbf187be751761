#pragma once
// The grey lines a room's log shows between its lines, never written to disk:
// the day line where the local date changes, and the marker of the first line
// that arrived while the user was away.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace chatlog {

inline constexpr std::string_view UnreadMarkerText = "――― ここから未読 ―――";

struct LocalDate {
    int Year = 1970;
    int Month = 1;
    int Day = 1;
    bool operator==(const LocalDate&) const = default;
};

// The local date of `time` (seconds since the epoch).
LocalDate LocalDateOf(std::int64_t time);

// The date a logged line starts with ("YYYY-MM-DD HH:MM:SS "); none when the
// line does not start with a plausible one (a damaged or foreign line).
std::optional<LocalDate> DateOfLogLine(std::string_view line);

// "―― 2026年12月7日（月） ――".
std::string DayLineText(LocalDate date);

}  // namespace chatlog
