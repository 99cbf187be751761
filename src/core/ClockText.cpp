#include "ClockText.h"

#include <ctime>

std::string ClockText(std::int64_t time)
{
    const auto t = static_cast<std::time_t>(time);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return "--:--";
    char text[8] = {};
    std::strftime(text, sizeof text, "%H:%M", &local);
    return text;
}
