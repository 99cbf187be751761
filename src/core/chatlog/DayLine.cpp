#include "DayLine.h"

#include <array>
#include <ctime>

namespace chatlog {

namespace {

bool Digits(std::string_view text, std::size_t from, std::size_t count, int& value)
{
    value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// 0 = Sunday; the proleptic Gregorian calendar, whatever the year.
int Weekday(LocalDate date)
{
    static constexpr std::array<int, 12> Offsets = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    const int y = date.Month < 3 ? date.Year - 1 : date.Year;
    return (y + y / 4 - y / 100 + y / 400 + Offsets[static_cast<std::size_t>(date.Month - 1)] + date.Day) % 7;
}

}  // namespace

LocalDate LocalDateOf(std::int64_t time)
{
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    localtime_r(&t, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::optional<LocalDate> DateOfLogLine(std::string_view line)
{
    LocalDate date;
    if (!Digits(line, 0, 4, date.Year) || line.size() < 11 || line[4] != '-' || !Digits(line, 5, 2, date.Month) ||
        line[7] != '-' || !Digits(line, 8, 2, date.Day) || line[10] != ' ')
        return std::nullopt;
    if (date.Year < 1 || date.Month < 1 || date.Month > 12 || date.Day < 1 || date.Day > 31)
        return std::nullopt;
    return date;
}

std::string DayLineText(LocalDate date)
{
    static constexpr std::array<std::string_view, 7> Days = {"日", "月", "火", "水", "木", "金", "土"};
    std::string text = "―― ";
    text += std::to_string(date.Year) + "年" + std::to_string(date.Month) + "月" + std::to_string(date.Day) + "日（";
    text += Days[static_cast<std::size_t>(Weekday(date))];
    text += "） ――";
    return text;
}

}  // namespace chatlog
