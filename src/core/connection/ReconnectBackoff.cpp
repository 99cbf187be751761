#include "ReconnectBackoff.h"

#include <algorithm>
#include <cmath>
#include <random>

ReconnectBackoff::ReconnectBackoff(ReconnectTiming timing, std::function<double()> random)
    : timing_(timing), random_(std::move(random))
{
    if (!random_) {
        random_ = [engine = std::mt19937_64(std::random_device{}())]() mutable {
            return std::uniform_real_distribution<double>(0.0, 1.0)(engine);
        };
    }
}

std::int64_t ReconnectBackoff::NextDelayMs()
{
    // Doubling stops at the ceiling; the count keeps going for the status line.
    const int doublings = std::min(attempt_, 30);
    ++attempt_;
    const double plain = std::min(static_cast<double>(timing_.MaxDelayMs),
                                  static_cast<double>(timing_.FirstDelayMs) * std::ldexp(1.0, doublings));
    const double r = std::clamp(random_(), 0.0, 1.0);
    const double spread = plain * (1.0 + timing_.Jitter * (2.0 * r - 1.0));
    return std::max<std::int64_t>(0, std::llround(spread));
}

void ReconnectBackoff::SessionEnded(std::int64_t upMs)
{
    if (upMs >= timing_.SettledSessionMs)
        attempt_ = 0;
}
