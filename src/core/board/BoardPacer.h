#pragma once
// The rate rule for the board lines the user makes. A change made while the
// board has been quiet for a while goes out at once; changes that follow each
// other (a key held down, undo pressed again and again) wait until the user has
// rested, and then go out together. Keyboard moves always wait, so a key
// repeat never sends a line per step.

#include "Board.h"

#include <bitset>
#include <cstdint>

inline constexpr std::int64_t BoardRestMs = 300;

// What to send, in this order: the whole formation as the full position line
// and the full name line; or else one marker's position line, then one
// marker's name line.
struct BoardOutgoing {
    bool all = false;
    int position = -1;
    int name = -1;

    bool Any() const { return all || position >= 0 || name >= 0; }
};

class BoardPacer {
public:
    // Notes a change at nowMs. Returns true when it may go out now (call Take);
    // otherwise Take is due at Deadline().
    bool Position(int nItem, std::int64_t nowMs, bool waitForRest = false);
    bool Name(int nItem, std::int64_t nowMs);
    bool All(std::int64_t nowMs);

    bool Pending() const { return all || positions.any() || names.any(); }
    std::int64_t Deadline() const { return deadline; }

    // What has gathered, as lines to send; several markers go out as the whole
    // formation. Starts the quiet time anew.
    BoardOutgoing Take(std::int64_t nowMs);

    // Forgets what has not gone out (the board was bound to another room).
    void Drop();

private:
    bool noted(std::int64_t nowMs, bool waitForRest);

    std::bitset<CharItemCount> positions;
    std::bitset<CharItemCount> names;
    bool all = false;
    bool sentOnce = false;
    std::int64_t lastSent = 0;
    std::int64_t deadline = 0;
};
