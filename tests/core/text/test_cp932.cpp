#include "Cp932.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Utf8(std::u32string_view text)
{
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string Utf8(char32_t c)
{
    return Utf8(std::u32string_view(&c, 1));
}

// Only well-formed input is expected here: it parses what ToUtf8 returned.
std::u32string CodePoints(std::string_view utf8)
{
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? b : b & (0xFF >> (length + 1));
        for (int k = 1; k < length; ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out += c;
        i += length;
    }
    return out;
}

std::string Sjis(std::uint16_t code)
{
    if (code < 0x100)
        return std::string(1, static_cast<char>(code));
    return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

std::uint16_t CodeOf(const std::string& sjis)
{
    if (sjis.size() == 1)
        return static_cast<unsigned char>(sjis[0]);
    if (sjis.size() == 2)
        return static_cast<std::uint16_t>(static_cast<unsigned char>(sjis[0]) << 8 |
                                          static_cast<unsigned char>(sjis[1]));
    return 0;
}

constexpr char32_t Replacement = 0xFFFD;

struct CodeAndChar {
    std::uint16_t code;
    char32_t character;
};

TEST(Cp932Decode, CodesWhoseCharacterDiffersBetweenMappingsGetTheWindowsCharacter)
{
    const std::vector<CodeAndChar> cases = {
        {0x5C, 0x005C},   {0x7E, 0x007E},   {0x815C, 0x2015}, {0x815F, 0xFF3C},
        {0x8160, 0xFF5E}, {0x8161, 0x2225}, {0x817C, 0xFF0D}, {0x8191, 0xFFE0},
        {0x8192, 0xFFE1}, {0x81CA, 0xFFE2}, {0x8740, 0x2460}, {0x8754, 0x2160},
        {0x8782, 0x2116}, {0x879C, 0x222A}, {0xED40, 0x7E8A}, {0xEEEF, 0x2170},
        {0xEEFC, 0xFF02}, {0xFA40, 0x2170}, {0xFA55, 0xFFE4}, {0xFC4B, 0x9ED1},
        {0x889F, 0x4E9C}, {0x82A0, 0x3042}, {0x8140, 0x3000}, {0xEAA4, 0x7199},
    };
    for (const auto& [code, character] : cases)
        EXPECT_EQ(CodePoints(cp932::ToUtf8(Sjis(code))), std::u32string(1, character))
            << std::hex << "code 0x" << code;
}

TEST(Cp932Decode, SingleBytes)
{
    for (int b = 0; b < 0x80; ++b)
        EXPECT_EQ(CodePoints(cp932::ToUtf8(Sjis(b))), std::u32string(1, char32_t(b))) << b;
    for (int b = 0xA1; b <= 0xDF; ++b)
        EXPECT_EQ(CodePoints(cp932::ToUtf8(Sjis(b))), std::u32string(1, char32_t(0xFF61 + b - 0xA1)))
            << std::hex << b;
    for (int b : {0x80, 0xA0, 0xFD, 0xFE, 0xFF})
        EXPECT_EQ(CodePoints(cp932::ToUtf8(Sjis(b))), std::u32string(1, Replacement)) << std::hex << b;
}

// Where a character has several codes, Windows writes the JIS X 0208 one first,
// then NEC row 13, then the IBM extension, and the NEC-selected copy last.
int Preference(std::uint16_t code)
{
    const int lead = code >> 8;
    if (lead == 0x87)
        return 1;
    if (lead >= 0xFA && lead <= 0xFC)
        return 2;
    if (lead == 0xED || lead == 0xEE)
        return 3;
    return 0;
}

bool IsTrail(int b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

struct LeadRange {
    int first;
    int last;
    int assigned;  // codes with a character in the Windows table
};

TEST(Cp932Table, EveryDoubleByteCodeDecodesToOneCharacterAndEncodesToTheWindowsChoice)
{
    const std::vector<LeadRange> ranges = {
        {0x81, 0x84, -1}, {0x87, 0x87, 83},  {0x88, 0x9F, -1}, {0xE0, 0xEA, -1},
        {0xED, 0xEE, 374}, {0xFA, 0xFC, 388},
    };
    std::map<char32_t, std::vector<std::uint16_t>> codesOf;
    int jisAssigned = 0;
    for (const auto& range : ranges) {
        int assigned = 0;
        for (int lead = range.first; lead <= range.last; ++lead) {
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (!IsTrail(trail))
                    continue;
                const auto code = static_cast<std::uint16_t>(lead << 8 | trail);
                const std::u32string decoded = CodePoints(cp932::ToUtf8(Sjis(code)));
                ASSERT_FALSE(decoded.empty());
                if (decoded.front() == Replacement)
                    continue;
                ASSERT_EQ(decoded.size(), 1u) << std::hex << "code 0x" << code;
                codesOf[decoded.front()].push_back(code);
                ++assigned;
            }
        }
        if (range.assigned >= 0)
            EXPECT_EQ(assigned, range.assigned) << std::hex << "leads 0x" << range.first;
        else
            jisAssigned += assigned;
    }
    EXPECT_EQ(jisAssigned, 6879);

    int duplicated = 0;
    for (const auto& [character, codes] : codesOf) {
        std::uint16_t preferred = codes.front();
        for (std::uint16_t code : codes)
            if (Preference(code) < Preference(preferred))
                preferred = code;
        duplicated += codes.size() > 1;
        const auto encoded = cp932::FromUtf8(Utf8(character));
        ASSERT_TRUE(encoded.has_value()) << std::hex << "U+" << std::uint32_t(character);
        EXPECT_EQ(CodeOf(*encoded), preferred) << std::hex << "U+" << std::uint32_t(character);
    }
    EXPECT_EQ(duplicated, 396);
}

TEST(Cp932Table, LeadBytesWithoutCharactersDecodeToReplacements)
{
    for (int lead : {0x85, 0x86, 0xEB, 0xEC, 0xEF}) {
        for (int trail = 0x80; trail <= 0xFC; ++trail) {
            const auto code = static_cast<std::uint16_t>(lead << 8 | trail);
            const std::u32string decoded = CodePoints(cp932::ToUtf8(Sjis(code)));
            ASSERT_FALSE(decoded.empty());
            EXPECT_EQ(decoded.front(), Replacement) << std::hex << code;
        }
    }
}

TEST(Cp932Table, UserDefinedAreaMapsToPrivateUse)
{
    char32_t expected = 0xE000;
    for (int lead = 0xF0; lead <= 0xF9; ++lead) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (!IsTrail(trail))
                continue;
            const auto code = static_cast<std::uint16_t>(lead << 8 | trail);
            ASSERT_EQ(CodePoints(cp932::ToUtf8(Sjis(code))), std::u32string(1, expected))
                << std::hex << code;
            ASSERT_EQ(cp932::FromUtf8(Utf8(expected)), Sjis(code)) << std::hex << code;
            ++expected;
        }
    }
    EXPECT_EQ(expected, char32_t(0xE758));
}

struct CharAndCode {
    char32_t character;
    std::uint16_t code;
};

TEST(Cp932Encode, DuplicatedCharactersTakeTheCodeWindowsPrefers)
{
    const std::vector<CharAndCode> cases = {
        // In JIS X 0208 and NEC row 13 or the IBM extension.
        {0x2235, 0x81E6}, {0x2252, 0x81E0}, {0x2261, 0x81DF}, {0x222B, 0x81E7},
        {0x221A, 0x81E3}, {0x22A5, 0x81DB}, {0x2220, 0x81DA}, {0x2229, 0x81BF},
        {0x222A, 0x81BE}, {0xFFE2, 0x81CA},
        // In NEC row 13 and the IBM extension.
        {0x2160, 0x8754}, {0x2169, 0x875D}, {0x2116, 0x8782}, {0x2121, 0x8784},
        {0x3231, 0x878A},
        // In the NEC-selected and the IBM extension.
        {0x2170, 0xFA40}, {0x2179, 0xFA49}, {0x7E8A, 0xFA5C}, {0xFFE4, 0xFA55},
        {0xFF07, 0xFA56}, {0xFF02, 0xFA57},
    };
    for (const auto& [character, code] : cases)
        EXPECT_EQ(cp932::FromUtf8(Utf8(character)), Sjis(code)) << std::hex << "U+" << std::uint32_t(character);
}

TEST(Cp932Encode, CharactersTypedOnLinuxTakeTheirConventionalCode)
{
    const std::vector<CharAndCode> cases = {
        {0x301C, 0x8160}, {0x2016, 0x8161}, {0x2212, 0x817C}, {0x00A2, 0x8191},
        {0x00A3, 0x8192}, {0x00AC, 0x81CA}, {0x2014, 0x815C}, {0x2015, 0x815C},
        {0xFF5E, 0x8160}, {0xFF3C, 0x815F},
    };
    for (const auto& [character, code] : cases)
        EXPECT_EQ(cp932::FromUtf8(Utf8(character)), Sjis(code)) << std::hex << "U+" << std::uint32_t(character);
}

TEST(Cp932Encode, TextWithACharacterWithoutACodeIsRefusedWhole)
{
    const std::vector<std::string> refused = {
        Utf8(0x00A5),             // yen sign: Windows' best fit would make it a backslash
        Utf8(0x203E),             // overline: best fit would make it a tilde
        Utf8(0x00E9),             // é
        Utf8(0xAC00),             // Hangul
        Utf8(0x1F600),            // emoji, outside the BMP
        Utf8(0x0080),
        "abc" + Utf8(0x00A5),
        Utf8(U"日本") + Utf8(0x1F600) + "x",
    };
    for (const auto& text : refused) {
        EXPECT_EQ(cp932::FromUtf8(text), std::nullopt) << text;
        EXPECT_FALSE(cp932::CanEncode(text)) << text;
        EXPECT_EQ(cp932::ByteLength(text), std::nullopt) << text;
    }
}

TEST(Cp932Encode, InvalidUtf8IsRefused)
{
    const std::vector<std::string> invalid = {
        "\xC3", "a\xFF", "\xC0\xAF", "\xED\xA0\x80", "\x80", "\xE6\x97", "\xE6\x97" "a",
    };
    for (const auto& text : invalid)
        EXPECT_EQ(cp932::FromUtf8(text), std::nullopt);
}

TEST(Cp932Encode, MixedText)
{
    EXPECT_EQ(cp932::FromUtf8(""), std::string());
    EXPECT_EQ(cp932::FromUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(cp932::FromUtf8(Utf8(U"Aあｱ\\~亜")), std::string("A\x82\xA0\xB1\\~\x88\x9F"));
}

struct Length {
    std::u32string text;
    std::size_t bytes;
};

TEST(Cp932Encode, ByteLengthCountsCp932Bytes)
{
    const std::vector<Length> cases = {
        {U"", 0},        {U"abc", 3},     {U"ｱｲｳ", 3},      {U"あいう", 6},
        {U"aあｱ", 4},    {U"①Ⅰⅰ", 6},    {U"〜", 2},       {U"一二三四五六七八九十百千万", 26},
    };
    for (const auto& [text, bytes] : cases) {
        EXPECT_EQ(cp932::ByteLength(Utf8(text)), bytes) << Utf8(text);
        EXPECT_TRUE(cp932::CanEncode(Utf8(text))) << Utf8(text);
    }
}

struct BadInput {
    std::string sjis;
    std::u32string expected;
};

TEST(Cp932Decode, BadBytesBecomeReplacementsAndDecodingResumes)
{
    const std::vector<BadInput> cases = {
        {"\x82", U"\uFFFD"},                     // lone lead byte at the end
        {"ab\x88", U"ab\uFFFD"},
        {"\x81\x20" "a", U"\uFFFD a"},           // lead byte, invalid trail
        {"\x81\x7F", U"\uFFFD\x7F"},
        {"\x82\x0A", U"\uFFFD\n"},
        {"\x80\x88\x9F", U"\uFFFD亜"},           // a valid pair after garbage
        {"\xA0\xFD\xFE\xFF" "A", U"\uFFFD\uFFFD\uFFFD\uFFFD" "A"},
        {"\x85\x40", U"\uFFFD@"},                // unassigned code: its trail reads as itself
        {"\x82\x88\x9F", U"ｈ\uFFFD"},           // a stray lead byte pairs with what follows
        {"\x88\x9F\x82", U"亜\uFFFD"},
        {std::string("\x82\0\x82\xA0", 4), std::u32string(U"\uFFFD") + char32_t(0) + U"あ"},
    };
    for (const auto& [sjis, expected] : cases)
        EXPECT_EQ(CodePoints(cp932::ToUtf8(sjis)), expected) << testing::PrintToString(sjis);
}

TEST(Cp932Decode, AsciiPassesUnchanged)
{
    const std::string ascii("\x01 Hello\\world~\x7F\0end", 19);
    EXPECT_EQ(cp932::ToUtf8(ascii), ascii);
    EXPECT_EQ(cp932::ToUtf8(""), "");
}

TEST(Cp932Decode, LongTextWithErrorsSpreadThroughIt)
{
    // Long enough to need several rounds of output; errors land at every
    // alignment relative to the pairs around them.
    std::string sjis;
    std::u32string expected;
    for (int i = 0; i < 3000; ++i) {
        sjis += "\x88\x9F";
        expected += U'亜';
        if (i % 7 == 0) {
            sjis += '\xFF';
            expected += Replacement;
        }
        if (i % 11 == 0) {
            sjis += 'x';
            expected += U'x';
        }
    }
    sjis += '\x82';
    expected += Replacement;
    EXPECT_EQ(CodePoints(cp932::ToUtf8(sjis)), expected);

    const std::string longUtf8 = Utf8(std::u32string(2000, U'亜'));
    const auto longSjis = cp932::FromUtf8(longUtf8);
    ASSERT_TRUE(longSjis.has_value());
    EXPECT_EQ(longSjis->size(), 4000u);
    EXPECT_EQ(cp932::ToUtf8(*longSjis), longUtf8);
}

TEST(Cp932Threads, EachThreadConvertsIndependently)
{
    const std::string sjis = "\x82\xA0\xFF\x88\x9F";
    const std::string expected = Utf8(U"あ\uFFFD亜");
    std::vector<std::string> results(4);
    std::vector<std::thread> threads;
    for (auto& result : results)
        threads.emplace_back([&result, &sjis] {
            for (int i = 0; i < 200; ++i)
                result = cp932::ToUtf8(sjis) + *cp932::FromUtf8(Utf8(U"亜"));
        });
    for (auto& thread : threads)
        thread.join();
    for (const auto& result : results)
        EXPECT_EQ(result, expected + "\x88\x9F");
}

}  // namespace
