// The reconnect waits: doubling to the ceiling within the jitter, and when they start again.
#include "ReconnectBackoff.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

TEST(ReconnectBackoff, DoublesFromTwoSecondsToTheCeilingWithinTheJitter)
{
    struct Case {
        double random;
        std::vector<std::int64_t> delays;
    };
    const Case cases[] = {
        {0.5, {2000, 4000, 8000, 16000, 32000, 60000, 60000}},
        {0.0, {1600, 3200, 6400, 12800, 25600, 48000, 48000}},
        {1.0, {2400, 4800, 9600, 19200, 38400, 72000, 72000}},
    };
    for (const Case& c : cases) {
        ReconnectBackoff backoff({}, [&] { return c.random; });
        for (std::size_t i = 0; i < c.delays.size(); ++i) {
            EXPECT_EQ(backoff.NextDelayMs(), c.delays[i]) << "random " << c.random << " attempt " << i + 1;
            EXPECT_EQ(backoff.Attempt(), int(i + 1));
        }
        backoff.Reset();
        EXPECT_EQ(backoff.NextDelayMs(), c.delays[0]);
    }
}

TEST(ReconnectBackoff, OnlyASettledSessionStartsTheWaitsAgain)
{
    // Sessions the server ends right after each login keep doubling to the ceiling.
    ReconnectBackoff backoff({}, [] { return 0.5; });
    std::vector<std::int64_t> delays;
    for (int i = 0; i < 7; ++i) {
        delays.push_back(backoff.NextDelayMs());
        backoff.SessionEnded(1000);
    }
    EXPECT_EQ(delays, (std::vector<std::int64_t>{2000, 4000, 8000, 16000, 32000, 60000, 60000}));
    backoff.SessionEnded(59999);
    EXPECT_EQ(backoff.NextDelayMs(), 60000);
    // One that stayed up a minute starts again from the first wait.
    backoff.SessionEnded(60000);
    EXPECT_EQ(backoff.Attempt(), 0);
    EXPECT_EQ(backoff.NextDelayMs(), 2000);
}
