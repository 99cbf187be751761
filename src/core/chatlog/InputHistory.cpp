#include "InputHistory.h"

void InputHistory::Add(std::string_view line)
{
    Position.reset();
    Draft.clear();
    if (line.empty() || (!Entries.empty() && Entries.front() == line))
        return;
    Entries.emplace_front(line);
    if (Entries.size() > Capacity)
        Entries.pop_back();
}

std::optional<std::string> InputHistory::Older(std::string_view current)
{
    const std::size_t next = Position ? *Position + 1 : 0;
    if (next >= Entries.size())
        return std::nullopt;
    if (!Position)
        Draft = current;
    Position = next;
    return Entries[next];
}

std::optional<std::string> InputHistory::Newer()
{
    if (!Position)
        return std::nullopt;
    if (*Position == 0) {
        Position.reset();
        return std::move(Draft);
    }
    --*Position;
    return Entries[*Position];
}
