#pragma once
// The GUI thread's monotonic clock, held still and moved on only by hand, so a
// session's timers fire exactly when its input lets time pass and a replay does
// what the fuzz run did. It replaces clock_gettime in the executable that
// includes it (include it in one file only); the toolkit's timers, its deadline
// timers and std::chrono::steady_clock all read time through it. Other threads
// and the wall clock keep the real time. A timed wait of the holder thread on
// a condition (std::condition_variable::wait_for, as when the log is flushed
// before its tail is read) lasts the real time it asks for: its deadline, on
// the held clock, is moved onto the real one, or it would end at once (or
// only hours later) and what it waits for would be there or not by chance.

#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cstdint>

namespace kvfuzz::clock {

inline std::atomic<bool> held{false};
inline pthread_t holder;
inline std::int64_t heldAt = 0;    // nanoseconds on the real monotonic clock
inline std::int64_t movedOn = 0;   // nanoseconds let pass since

using ClockFunction = int (*)(clockid_t, timespec*);

inline ClockFunction Real()
{
    static const auto real = reinterpret_cast<ClockFunction>(dlsym(RTLD_NEXT, "clock_gettime"));
    return real;
}

inline bool Monotonic(clockid_t id)
{
    return id == CLOCK_MONOTONIC || id == CLOCK_MONOTONIC_RAW || id == CLOCK_MONOTONIC_COARSE || id == CLOCK_BOOTTIME;
}

// From now on the calling thread sees its monotonic clock stand still.
inline void Hold()
{
    timespec now{};
    Real()(CLOCK_MONOTONIC, &now);
    heldAt = std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
    holder = pthread_self();
    held = true;
}

inline void Pass(std::int64_t milliseconds)
{
    movedOn += milliseconds * 1000000;
}

}  // namespace kvfuzz::clock

namespace kvfuzz::clock {

using CondClockWait = int (*)(pthread_cond_t*, pthread_mutex_t*, clockid_t, const timespec*);

inline CondClockWait RealCondClockWait()
{
    static const auto real = reinterpret_cast<CondClockWait>(dlsym(RTLD_NEXT, "pthread_cond_clockwait"));
    return real;
}

}  // namespace kvfuzz::clock

extern "C" int pthread_cond_clockwait(pthread_cond_t* cond, pthread_mutex_t* mutex, clockid_t id,
                                      const timespec* deadline)
{
    using namespace kvfuzz::clock;
    if (RealCondClockWait() == nullptr)
        return EINVAL;
    if (!held || !Monotonic(id) || !pthread_equal(pthread_self(), holder))
        return RealCondClockWait()(cond, mutex, id, deadline);
    timespec real{};
    Real()(id, &real);
    const std::int64_t wait =
        std::int64_t(deadline->tv_sec) * 1000000000 + deadline->tv_nsec - (heldAt + movedOn);
    const std::int64_t until = std::int64_t(real.tv_sec) * 1000000000 + real.tv_nsec + (wait > 0 ? wait : 0);
    const timespec moved{static_cast<time_t>(until / 1000000000), static_cast<long>(until % 1000000000)};
    return RealCondClockWait()(cond, mutex, id, &moved);
}

extern "C" int clock_gettime(clockid_t id, timespec* tp) noexcept
{
    using namespace kvfuzz::clock;
    if (held && Monotonic(id) && pthread_equal(pthread_self(), holder)) {
        const std::int64_t t = heldAt + movedOn;
        tp->tv_sec = static_cast<time_t>(t / 1000000000);
        tp->tv_nsec = static_cast<long>(t % 1000000000);
        return 0;
    }
    return Real()(id, tp);
}
