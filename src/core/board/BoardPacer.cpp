#include "BoardPacer.h"

bool BoardPacer::Position(int nItem, std::int64_t nowMs, bool waitForRest)
{
    const bool quiet = !Pending();
    positions.set(static_cast<std::size_t>(nItem));
    return noted(nowMs, waitForRest || !quiet);
}

bool BoardPacer::Name(int nItem, std::int64_t nowMs)
{
    const bool quiet = !Pending();
    names.set(static_cast<std::size_t>(nItem));
    return noted(nowMs, !quiet);
}

bool BoardPacer::All(std::int64_t nowMs)
{
    const bool quiet = !Pending();
    all = true;
    return noted(nowMs, !quiet);
}

bool BoardPacer::noted(std::int64_t nowMs, bool waitForRest)
{
    if (!waitForRest && (!sentOnce || nowMs - lastSent >= BoardRestMs))
        return true;
    deadline = nowMs + BoardRestMs;
    return false;
}

BoardOutgoing BoardPacer::Take(std::int64_t nowMs)
{
    BoardOutgoing out;
    if (all || positions.count() > 1 || names.count() > 1) {
        out.all = true;
    } else {
        for (int i = 0; i < CharItemCount; ++i) {
            if (positions.test(static_cast<std::size_t>(i)))
                out.position = i;
            if (names.test(static_cast<std::size_t>(i)))
                out.name = i;
        }
    }
    Drop();
    if (out.Any()) {
        sentOnce = true;
        lastSent = nowMs;
    }
    return out;
}

void BoardPacer::Drop()
{
    positions.reset();
    names.reset();
    all = false;
}
