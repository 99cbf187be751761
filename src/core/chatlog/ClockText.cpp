#include "ClockText.h"

#include <ctime>

std::string ClockText(std::int64_t time)
{
    // Lines come in bursts from the same minute: the last answer is kept.
    thread_local std::int64_t cachedMinute = -1;
    thread_local std::string cachedText;
    const std::int64_t minute = time >= 0 ? time / 60 : (time - 59) / 60;
    if (minute == cachedMinute)
        return cachedText;
    const auto t = static_cast<std::time_t>(time);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return "--:--";
    char text[8] = {};
    std::strftime(text, sizeof text, "%H:%M", &local);
    cachedMinute = minute;
    cachedText = text;
    return cachedText;
}
