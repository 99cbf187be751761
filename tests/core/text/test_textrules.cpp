#include "TextRules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Walk {
    std::string text;
    std::vector<std::uint16_t> codes;
};

std::vector<std::uint16_t> WalkCodes(const std::string& text)
{
    std::vector<std::uint16_t> codes;
    int remaining = static_cast<int>(text.size());
    std::uint16_t code = 0;
    const char* p = text.data();
    while ((p = NextChar(p, code, remaining)) != nullptr) {
        codes.push_back(code);
        EXPECT_EQ(remaining, text.data() + text.size() - p);
    }
    EXPECT_EQ(remaining, 0);
    return codes;
}

TEST(TextRulesWalk, PairsLeadAndTrailBytes)
{
    const std::vector<Walk> cases = {
        {"", {}},
        {"ab", {'a', 'b'}},
        {"\x88\x9F", {0x889F}},
        {"\x82\x2E", {0x822E}},           // any byte from 0x20 trails
        {"\xB1\xB2", {0xB1B2}},           // half-width katakana pair up too
        {"\x82", {0x82}},                 // nothing left to pair with
        {"\x82\x1F", {0x82, 0x1F}},       // a control byte does not trail
        {"\xFF\x41", {0xFF, 0x41}},       // 0xFF does not lead
        {"\x80\xFF", {0x80FF}},
        {"\xFE\x20", {0xFE20}},
        {"\x7F\x40", {0x7F, 0x40}},
        {"a\x81\x40\x82", {'a', 0x8140, 0x82}},
        {"\x81\x81\x81", {0x8181, 0x81}},
    };
    for (const auto& [text, codes] : cases)
        EXPECT_EQ(WalkCodes(text), codes) << testing::PrintToString(text);
}

TEST(TextRulesWalk, ByteClasses)
{
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        EXPECT_EQ(IsLeadByte(byte), b >= 0x80 && b <= 0xFE) << b;
        EXPECT_EQ(IsTrailByte(byte), b >= 0x20) << b;
    }
}

TEST(TextRulesWalk, EndsAtZeroRemaining)
{
    std::uint16_t code = 0x1234;
    int remaining = 0;
    EXPECT_EQ(NextChar("abc", code, remaining), nullptr);
    EXPECT_EQ(code, 0x1234);
    // The walk only goes as far as it is told, whatever follows in memory.
    const char text[] = "\x88\x9F";
    remaining = 1;
    EXPECT_EQ(NextChar(text, code, remaining), text + 1);
    EXPECT_EQ(code, 0x88);
}

struct Verdict {
    std::string text;
    bool valid;
};

TEST(TextRulesName, Verdicts)
{
    const std::vector<Verdict> cases = {
        {"", false},
        {"Taro", true},
        {"taro2024", true},
        {"Taro!#", true},
        {"\x93\xFA\x96\x7B", true},             // two kanji
        {"\x88\x9F\x5C", false},               // backslash after a pair
        {"\x83\x5C", true},                    // 0x5C as a trail byte
        {"\x82\x2E", true},                    // 0x2E as a trail byte
        {"\xB1", false},                       // lone half-width katakana
        {"\xB1\xB2", true},                    // taken as a pair
        {"Taro\x82", false},                   // lone lead byte at the end
        {"\x82\x0Ax", false},                  // lead byte before a control byte
        {"\x81\x40", false},                   // ideographic space
        {"Ta\x81\x40ro", false},
        {"\xFF", false},
        {"a\xFF" "b", false},
        {"\x7F", true},
        {"a\x7F" "b", true},
        {std::string("a\0b", 3), false},
        {"\t", false},
        {"!#$%&()*+-/:;=?@[]^_`{|}~", true},
        // The rule looks at the walk's codes: a refused sign swallowed as the
        // trail of a pair does not refuse the name.
        {"\xB1 ", true},
        {"\x82.", true},
    };
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(IsValidName(text), valid) << testing::PrintToString(text);
}

TEST(TextRulesName, EachRefusedSignAnywhere)
{
    for (char sign : {' ', '.', ',', '\'', '"', '\\', '<', '>'}) {
        const std::string s(1, sign);
        EXPECT_FALSE(IsValidName(s)) << s;
        EXPECT_FALSE(IsValidName(s + "ab")) << s;
        EXPECT_FALSE(IsValidName("a" + s + "b")) << s;
        EXPECT_FALSE(IsValidName("ab" + s)) << s;
    }
}

TEST(TextRulesName, EverySingleByteAlone)
{
    for (int b = 0; b < 256; ++b) {
        const bool refusedSign = b == ' ' || b == '"' || b == '\'' || b == ',' || b == '.' ||
                                 b == '<' || b == '>' || b == '\\';
        const bool expected = b > 0x20 && b < 0x80 && !refusedSign;
        EXPECT_EQ(IsValidName(std::string(1, static_cast<char>(b))), expected) << b;
    }
}

TEST(TextRulesPassword, Verdicts)
{
    const std::vector<Verdict> cases = {
        {"", true},
        {"abc", true},
        {"ABC123", true},
        {"0aZ9", true},
        {"pass word", false},
        {" ", false},
        {"ab-c", false},
        {"-", false},
        {"abc_", false},
        {"\x82\x60", false},                   // full-width A
        {"a\x88\x9F", false},
        {"\xB1", false},
        {"a\x80", false},
        {"\xFF", false},
        {std::string("a\0", 2), false},
    };
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(IsValidPassword(text), valid) << testing::PrintToString(text);
}

struct Cut {
    std::string text;
    std::size_t maxBytes;
    std::size_t length;
};

TEST(TextRulesCut, NeverSplitsAPair)
{
    const std::vector<Cut> cases = {
        {"", 5, 0},
        {"abc", 5, 3},
        {"abc", 3, 3},
        {"abc", 2, 2},
        {"abc", 0, 0},
        {"\x88\x9F\x88\x9F", 3, 2},
        {"\x88\x9F\x88\x9F", 4, 4},
        {"\x88\x9F\x88\x9F", 1, 0},
        {"a\x88\x9F", 2, 1},
        {"\x82\x2E\x41", 1, 0},
        {"\x82\x1F\x41", 1, 1},                // 0x82 stands alone before a control byte
        {"\xFF\x41", 1, 1},
        {"\xB1\xB2\xB3", 2, 2},
        {"\xB1\xB2\xB3", 1, 0},
    };
    for (const auto& [text, maxBytes, length] : cases)
        EXPECT_EQ(CharBoundaryPrefix(text, maxBytes), length)
            << testing::PrintToString(text) << " max " << maxBytes;
}

TEST(TextRulesCut, TwoHundredByteChatLine)
{
    std::string line = "a";
    for (int i = 0; i < 120; ++i)
        line += "\x88\x9F";
    EXPECT_EQ(CharBoundaryPrefix(line, 200), 199u);
    EXPECT_EQ(CharBoundaryPrefix(line.substr(1), 200), 200u);
}

}  // namespace
