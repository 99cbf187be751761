#pragma once
// Whether a chat line names the user: their chat name or one of their extra
// words, matched like the log search (case and full/half width ignored).
// Texts are UTF-8.

#include "TextSearch.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class MentionMatcher {
public:
    // extraWords: the words of the options, separated by blanks (either width)
    // or commas ("," or "、").
    void SetWords(std::string_view userName, std::string_view extraWords);
    bool Matches(std::string_view text);

private:
    std::vector<std::string> Words;   // folded
    std::string Scratch;              // reused: one fold per line whatever the number of words
};

// The words of an extra-words setting, in order, without empty ones.
std::vector<std::string> SplitWords(std::string_view words);

// At most one event per key in each interval; the caller passes the time, so
// the rule is tested without waiting.
class RateLimiter {
public:
    explicit RateLimiter(std::int64_t intervalMs) : IntervalMs(intervalMs) {}
    // True, and the key's interval starts, when the key's last allowed event
    // is at least an interval before nowMs.
    bool Allow(const std::string& key, std::int64_t nowMs);

private:
    std::int64_t IntervalMs;
    std::map<std::string, std::int64_t> LastAllowed;
};
