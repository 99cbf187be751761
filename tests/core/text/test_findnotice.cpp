#include "Cp932.h"
#include "InputHistory.h"
#include "LinkFinder.h"
#include "Mention.h"
#include "NameCompletion.h"
#include "TextSearch.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct FoldCase {
    std::string needle;
    std::string line;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;   // byte offsets in line
};

TEST(TextSearch, MatchesAcrossCaseAndWidth)
{
    const std::vector<FoldCase> cases = {
        {"abc", "xABCxabc", {{1, 4}, {5, 8}}},
        {"Ａ", "a A ａ Ａ", {{0, 1}, {2, 3}, {4, 7}, {8, 11}}},
        {"kv", "ｋＶ", {{0, 6}}},
        {"ア", "ｱア", {{0, 3}, {3, 6}}},
        {"ガ", "ｶﾞカ", {{0, 6}}},             // the voiced mark joins its kana
        {"ﾊﾟ", "パハ゜", {{0, 3}}},
        {"ヴ", "ｳﾞ", {{0, 6}}},
        {"カ", "ｶﾞ", {}},                    // ガ is not カ
        {"ﾞ", "ﾞ゛", {{0, 3}, {3, 6}}},      // a lone mark stays a mark
        {"a b", "A\xE3\x80\x80" "B", {{0, 5}}},  // ideographic blank
        {"100%", "１００％です", {{0, 12}}},
        {"", "anything", {}},
        {"x", "\xFF" "x\xC3", {{1, 2}}},     // broken bytes are kept, not fatal
        // Full case folding, beyond ASCII.
        {"ω", "Ω ω \xE2\x84\xA6", {{0, 2}, {3, 5}, {6, 9}}},   // the ohm sign too
        {"ΣΟΦΟΣ", "σοφος", {{0, 10}}},                      // final sigma
        {"привет", "ПРИВЕТ", {{0, 12}}},
        {"ǆ", "Ǆǅ", {{0, 2}, {2, 4}}},
        {"Ａlpha", "ＡＬＰＨＡ", {{0, 15}}},
        {"k", "\xE2\x84\xAA", {{0, 3}}},                   // the Kelvin sign
        {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80", {{0, 4}}},   // outside the basic plane (Deseret)
        {"straße", "STRASSE Strasse", {{0, 7}, {8, 15}}},   // one letter folds to two
        {"SS", "ß", {{0, 2}}},
        {"s", "ß", {}},                                      // never half of a character
        {"file", "\xEF\xAC\x81le", {{0, 5}}},                // the ligature fi
        {"ß", "sß", {{1, 3}}},
        // Look-alikes: the second of each pair is what CP932 reads back.
        {"〜", "～ 〜 ~", {{0, 3}, {4, 7}, {8, 9}}},
        {"−", "－ − -", {{0, 3}, {4, 7}, {8, 9}}},
        {"—", "―—", {{0, 3}, {3, 6}}},
        {"‖", "∥‖", {{0, 3}, {3, 6}}},
        {"¢£¬", "￠￡￢", {{0, 9}}},
        {"￥", "¥", {{0, 2}}},
    };
    for (const FoldCase& c : cases) {
        TextSearch search(c.needle);
        std::vector<TextMatch> found;
        search.FindInLine(c.line, 7, found);
        std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;
        for (const TextMatch& m : found) {
            EXPECT_EQ(m.Line, 7u);
            spans.emplace_back(m.Begin, m.End);
        }
        EXPECT_EQ(spans, c.spans) << c.needle << " in " << c.line;
        EXPECT_EQ(search.CountInLine(c.line), c.spans.size()) << c.needle << " in " << c.line;
    }
}

TEST(TextSearch, WhatOthersTypeFindsWhatTheWireReadsBack)
{
    // CP932 bytes from the wire, the character they read as, and the look-alike a
    // user types on another system.
    const std::vector<std::tuple<std::string, std::string, std::string>> pairs = {
        {"\x81\x60", "～", "〜"}, {"\x81\x7C", "－", "−"}, {"\x81\x5C", "―", "—"}, {"\x81\x61", "∥", "‖"},
        {"\x81\x91", "￠", "¢"}, {"\x81\x92", "￡", "£"}, {"\x81\xCA", "￢", "¬"},
    };
    for (const auto& [wire, readBack, typed] : pairs) {
        const std::string line = "a" + cp932::ToUtf8(wire) + "b";
        EXPECT_EQ(line, "a" + readBack + "b");
        for (const std::string& needle : {typed, readBack, "a" + typed + "b"}) {
            TextSearch search(needle);
            EXPECT_EQ(search.CountInLine(line), 1u) << needle;
        }
        EXPECT_EQ(FoldForMatch(typed), FoldForMatch(readBack)) << typed;
    }
}

TEST(TextSearch, CountsWhatItFindsAndTakesANewNeedle)
{
    const std::string line = "草" + std::string(150, 'w') + " ＷＷ";
    TextSearch search("w");
    std::vector<TextMatch> found;
    search.FindInLine(line, 0, found);
    EXPECT_EQ(found.size(), 152u);
    EXPECT_EQ(search.CountInLine(line), 152u);
    search.SetNeedle("草Ｗ");
    EXPECT_EQ(search.CountInLine(line), 1u);
    search.SetNeedle("");
    EXPECT_TRUE(search.Empty());
    EXPECT_EQ(search.CountInLine(line), 0u);
}

TEST(TextSearch, EveryChangeTheFoldMakesIsListed)
{
    std::map<std::string, std::string> listed;
    ForEachFoldChange([&](std::string_view raw, std::string_view folded) { listed[std::string(raw)] = folded; });
    const auto utf8 = [](char32_t c) {
        std::string s;
        if (c < 0x80) {
            s += static_cast<char>(c);
        } else if (c < 0x800) {
            s += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            s += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                  static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            s += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                  static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        }
        return s;
    };
    std::size_t changed = 0;
    for (char32_t c = 1; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c < 0xE000)
            continue;
        const std::string raw = utf8(c);
        const std::string folded = FoldForMatch(raw);
        if (folded == raw)
            continue;
        ++changed;
        const auto it = listed.find(raw);
        ASSERT_NE(it, listed.end()) << "U+" << std::hex << static_cast<std::uint32_t>(c);
        EXPECT_EQ(it->second, folded);
    }
    // A half-width kana and its voiced mark become one character.
    for (char32_t kana = 0xFF61; kana <= 0xFF9F; ++kana) {
        for (const char32_t mark : {char32_t(0xFF9E), char32_t(0xFF9F)}) {
            const std::string raw = utf8(kana) + utf8(mark);
            const std::string folded = FoldForMatch(raw);
            if (folded == FoldForMatch(utf8(kana)) + FoldForMatch(utf8(mark)))
                continue;
            ++changed;
            EXPECT_EQ(listed[raw], folded);
        }
    }
    EXPECT_EQ(listed.size(), changed);
    EXPECT_EQ(listed["ｶﾞ"], "ガ");
    EXPECT_EQ(listed["ß"], "ss");
    EXPECT_EQ(listed["𐐀"], "𐐨");
}

TEST(TextSearch, FindAllWalksEveryLineInOrderAndCountsUtf16)
{
    const std::vector<std::string> lines = {"ｺﾞｰﾙ!", "none", "ゴール ゴール"};
    TextSearch search("ゴール");
    const auto matches = search.FindAll(lines.size(), [&](std::size_t i) { return std::string_view(lines[i]); });
    const std::vector<TextMatch> expected = {{0, 0, 12}, {2, 0, 9}, {2, 10, 19}};
    EXPECT_EQ(matches, expected);
    EXPECT_EQ(Utf16Length("aゴ\xF0\x9F\x98\x80"), 4u);   // one, one, and a surrogate pair
}

TEST(NameCompletion, KeyFoldsKanaWidthAndCase)
{
    struct KeyCase {
        std::string typed;
        std::string name;
        bool fits;
    };
    const std::vector<KeyCase> cases = {
        {"た", "タロウ", true},     // the input method gives hiragana first
        {"たろ", "ﾀﾛｳ", true},      // half-width katakana
        {"タ", "たろう", true},
        {"だ", "タロウ", false},    // a voiced kana is another kana
        {"ぱん", "ﾊﾟﾝﾀﾞ", true},    // a half-width mark joins its kana
        {"ゔ", "ヴィラ", true},
        {"ゝ", "ヽ", true},
        {"ta", "TARO", true},
        {"ｔａ", "Taro", true},     // full-width Latin
        {"Ｔ", "ｔ", true},
        {"a", "あ", false},
        {"ろ", "タロウ", false},    // the start of the name only
        {"\xE3\x81", "タロウ", false},   // a cut character is no kana
    };
    for (const KeyCase& c : cases)
        EXPECT_EQ(CompletionKey(c.name).starts_with(CompletionKey(c.typed)), c.fits) << c.typed << " / " << c.name;
    EXPECT_EQ(CompletionKey("はハﾊ"), "ハハハ");
}

TEST(NameCompletion, TabCyclesThroughTheRoomAndShiftTabGoesBack)
{
    const std::vector<std::string> names = {"タロウ", "Bob", "たけし", "ﾀﾏ", "tanaka"};
    NameCompleter completer;
    const auto step = [&](std::string_view text, std::size_t cursor, bool forward) {
        const auto done = completer.Step(text, cursor, names, forward);
        return done ? done->Text + "|" + std::to_string(done->Cursor) : std::string("none");
    };
    // The word before the cursor, its tail kept; repeated presses go round.
    EXPECT_EQ(step("hi た", 6, true), "hi タロウ|12");
    EXPECT_EQ(step("hi タロウ", 12, true), "hi たけし|12");
    EXPECT_EQ(step("hi たけし", 12, true), "hi ﾀﾏ|9");
    EXPECT_EQ(step("hi ﾀﾏ", 9, true), "hi タロウ|12");
    EXPECT_EQ(step("hi タロウ", 12, false), "hi ﾀﾏ|9");
    EXPECT_EQ(step("hi ﾀﾏ", 9, false), "hi たけし|12");
    // Shift+Tab first takes the last candidate; the text after the cursor stays.
    EXPECT_EQ(step("た です", 3, false), "ﾀﾏ です|6");
    // An edit in between starts over from the word now before the cursor.
    EXPECT_EQ(step("ﾀﾏ です b", 15, true), "ﾀﾏ です Bob|17");
    EXPECT_EQ(step("x\xE3\x80\x80た", 7, true), "x\xE3\x80\x80タロウ|13");   // ideographic blank
    EXPECT_EQ(step("TA", 2, true), "tanaka|6");   // Latin letters are no kana
    // No word, or no name that starts with it: nothing changes and Tab moves the focus.
    EXPECT_EQ(step("", 0, true), "none");
    EXPECT_EQ(step("hi ", 3, true), "none");
    EXPECT_EQ(step("zz", 2, true), "none");
    EXPECT_EQ(step("zz", 2, true), "none");
    const auto done = completer.Step("a b", 3, names, true);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->Start, 2u);
    EXPECT_EQ(done->Name, "Bob");
}

TEST(NameCompletion, ACycleStartsOverWhenTheMembersChange)
{
    // Between two presses a member leaves, or the user turns to another room:
    // the next press offers only names that are there now.
    NameCompleter completer;
    const std::vector<std::string> room = {"abc", "abd", "abe"};
    ASSERT_EQ(completer.Step("ab", 2, room, true)->Text, "abc");
    const std::vector<std::string> left = {"abc", "abe"};
    const auto after = completer.Step("abc", 3, left, true);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->Text, "abc");
    const std::vector<std::string> other = {"xyz"};
    EXPECT_FALSE(completer.Step("abc", 3, other, true));
}

TEST(LinkFinder, OnlyHttpAndHttpsWithASensibleEnd)
{
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"see http://example.com/a?b=1&c=2#x now", {"http://example.com/a?b=1&c=2#x"}},
        {"HTTPS://Example.com.", {"HTTPS://Example.com"}},
        {"(http://w.jp/a_(b)) and http://w.jp/c),", {"http://w.jp/a_(b)", "http://w.jp/c"}},
        {"http://kv.jp/です", {"http://kv.jp/"}},
        {"<http://a.b/\"onclick>", {"http://a.b/"}},
        {"file:///etc/passwd javascript://x ftp://h/ data://x", {}},
        {"xhttp://a.b/ http:// https://. http:///x", {}},
        {"http://a.b/http://c.d/", {"http://a.b/http://c.d/"}},
    };
    for (const auto& [line, expected] : cases) {
        std::vector<std::string> found;
        for (const TextSpan& span : FindLinks(line))
            found.push_back(line.substr(span.Begin, span.End - span.Begin));
        EXPECT_EQ(found, expected) << line;
    }
}

TEST(InputHistory, NewestFirstBoundedAndTheDraftComesBack)
{
    InputHistory history;
    EXPECT_EQ(history.Older("draft"), std::nullopt);
    for (int i = 0; i < 102; ++i)
        history.Add("line" + std::to_string(i));
    history.Add("line101");   // the same as the newest
    history.Add("");
    ASSERT_EQ(history.Size(), InputHistory::Capacity);
    EXPECT_EQ(history.At(99), "line2");

    EXPECT_EQ(history.Newer(), std::nullopt);
    EXPECT_EQ(history.Older("typing"), "line101");
    EXPECT_EQ(history.Older("ignored"), "line100");
    EXPECT_EQ(history.Newer(), "line101");
    EXPECT_EQ(history.Newer(), "typing");
    EXPECT_EQ(history.Newer(), std::nullopt);
    for (int i = 0; i < 100; ++i)
        history.Older("");
    EXPECT_EQ(history.Older(""), std::nullopt);   // stays on the oldest
    history.Add("sent");
    EXPECT_EQ(history.Older("x"), "sent");       // sending starts browsing over
}

TEST(Mention, NameOrExtraWordInAnyWidth)
{
    EXPECT_EQ(SplitWords(" kv,ゴール　ﾊﾟｽ、 ,"), (std::vector<std::string>{"kv", "ゴール", "ﾊﾟｽ"}));
    MentionMatcher matcher;
    matcher.SetWords("Taro", "パス");
    EXPECT_TRUE(matcher.Matches("hi ｔａｒｏ"));
    EXPECT_TRUE(matcher.Matches("ﾊﾟｽ ください"));
    EXPECT_FALSE(matcher.Matches("ハス"));
    matcher.SetWords("Ωmega", "ＡＢ〜");
    EXPECT_TRUE(matcher.Matches("hi ωMEGA"));
    EXPECT_TRUE(matcher.Matches("ab～"));
    matcher.SetWords("", "");
    EXPECT_FALSE(matcher.Matches(""));
}

TEST(Mention, RateLimitPerKey)
{
    RateLimiter limiter(10000);
    EXPECT_TRUE(limiter.Allow("a", 1000));
    EXPECT_FALSE(limiter.Allow("a", 10999));
    EXPECT_TRUE(limiter.Allow("b", 10999));
    EXPECT_TRUE(limiter.Allow("a", 11000));
    EXPECT_FALSE(limiter.Allow("a", 20999));
}

}  // namespace
