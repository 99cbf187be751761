#include "DayLine.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

TEST(DayLine, NamesTheDateAndItsWeekday)
{
    const std::pair<chatlog::LocalDate, std::string> cases[] = {
        {{2026, 12, 7}, "―― 2026年12月7日（月） ――"},  {{2000, 2, 29}, "―― 2000年2月29日（火） ――"},
        {{2026, 1, 1}, "―― 2026年1月1日（木） ――"},    {{1970, 1, 1}, "―― 1970年1月1日（木） ――"},
        {{2024, 3, 31}, "―― 2024年3月31日（日） ――"},  {{2100, 3, 1}, "―― 2100年3月1日（月） ――"},
    };
    for (const auto& [date, text] : cases)
        EXPECT_EQ(chatlog::DayLineText(date), text);
}

TEST(DayLine, DateOfALoggedLineOnlyFromAWellFormedStart)
{
    EXPECT_EQ(chatlog::DateOfLogLine("2026-12-07 23:59:59 アリス> hi"), (chatlog::LocalDate{2026, 12, 7}));
    EXPECT_EQ(chatlog::DateOfLogLine("0999-01-31 x"), (chatlog::LocalDate{999, 1, 31}));
    for (const char* bad : {"", "2026-12-07", "2026-13-07 x", "2026-00-07 x", "2026-12-32 x", "2026-12-00 x",
                            "2026/12/07 x", "old 5", "２０２６-12-07 x", "2026-1-07 x", "0000-01-01 x"})
        EXPECT_FALSE(chatlog::DateOfLogLine(bad)) << bad;
}

TEST(DayLine, LocalDateOfATimeFollowsTheLocalZone)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    EXPECT_EQ(chatlog::LocalDateOf(now), (chatlog::LocalDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday}));
}

}  // namespace
