#include "Mention.h"

#include <array>

std::vector<std::string> SplitWords(std::string_view words)
{
    constexpr std::array<std::string_view, 5> Separators = {" ", "\t", ",", "\xE3\x80\x80" /* 　 */,
                                                            "\xE3\x80\x81" /* 、 */};
    std::vector<std::string> result;
    std::string word;
    std::size_t pos = 0;
    while (pos < words.size()) {
        bool separator = false;
        for (const std::string_view s : Separators) {
            if (words.substr(pos, s.size()) == s) {
                if (!word.empty())
                    result.push_back(std::move(word));
                word.clear();
                pos += s.size();
                separator = true;
                break;
            }
        }
        if (!separator)
            word.push_back(words[pos++]);
    }
    if (!word.empty())
        result.push_back(std::move(word));
    return result;
}

void MentionMatcher::SetWords(std::string_view userName, std::string_view extraWords)
{
    Words.clear();
    std::vector<std::string> words = SplitWords(extraWords);
    words.insert(words.begin(), std::string(userName));
    for (const std::string& word : words) {
        std::string folded = FoldForMatch(word);
        if (!folded.empty())
            Words.push_back(std::move(folded));
    }
}

bool MentionMatcher::Matches(std::string_view text)
{
    if (Words.empty())
        return false;
    FoldForMatch(text, Scratch);
    for (const std::string& word : Words) {
        if (Scratch.find(word) != std::string::npos)
            return true;
    }
    return false;
}

bool RateLimiter::Allow(const std::string& key, std::int64_t nowMs)
{
    const auto [it, added] = LastAllowed.try_emplace(key, nowMs);
    if (added)
        return true;
    if (nowMs - it->second < IntervalMs)
        return false;
    it->second = nowMs;
    return true;
}
