#pragma once
// How long to wait before each automatic reconnect: a first short pause, doubling
// up to a ceiling, each wait spread by a random share so that many clients cut off
// together do not all come back in the same second.

#include <cstdint>
#include <functional>

struct ReconnectTiming {
    std::int64_t FirstDelayMs = 2000;
    std::int64_t MaxDelayMs = 60000;
    double Jitter = 0.2;                          // each wait is spread by up to this share either way
    std::int64_t SameNameWindowMs = 5 * 60 * 1000;   // how long a lingering old session is waited out
    // A session that stayed up this long starts the waits again from the first; one
    // the server ends sooner (right after each login, say) lets them keep growing.
    std::int64_t SettledSessionMs = 60000;
    // From the connect to the server's answer to the login; a server that says
    // nothing for longer is given up on.
    std::int64_t HandshakeLimitMs = 30000;
};

class ReconnectBackoff {
public:
    // random: uniform in [0, 1); the default draws from a seeded engine.
    explicit ReconnectBackoff(ReconnectTiming timing = {}, std::function<double()> random = {});

    // The wait before the next attempt; counts the attempt.
    std::int64_t NextDelayMs();
    // Attempts counted since the last Reset; the one being waited for is this number.
    int Attempt() const { return attempt_; }
    void Reset() { attempt_ = 0; }
    // A logged-in session ended after upMs: only a settled one starts the waits again.
    void SessionEnded(std::int64_t upMs);

    const ReconnectTiming& Timing() const { return timing_; }

private:
    ReconnectTiming timing_;
    std::function<double()> random_;
    int attempt_ = 0;
};
