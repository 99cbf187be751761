#pragma once
// The lines sent from the chat input during this run, for recalling them with
// Up and Down. Kept in memory only. Texts are UTF-8.

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

class InputHistory {
public:
    static constexpr std::size_t Capacity = 100;

    // A line was sent: it becomes the newest entry (an empty line, or the same
    // line as the newest, adds nothing) and browsing starts over.
    void Add(std::string_view line);

    // Up: the next older entry; the first step keeps `current` as the draft.
    // nullopt when there is nothing older.
    std::optional<std::string> Older(std::string_view current);
    // Down: the next newer entry, or the draft after the newest. nullopt when
    // not browsing.
    std::optional<std::string> Newer();

    std::size_t Size() const { return Entries.size(); }
    // 0 is the newest.
    const std::string& At(std::size_t index) const { return Entries[index]; }

private:
    std::deque<std::string> Entries;   // newest first
    std::optional<std::size_t> Position;   // the entry on show while browsing
    std::string Draft;
};
