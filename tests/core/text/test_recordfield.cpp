#include "RecordField.h"

#include <gtest/gtest.h>

#include <string>

TEST(CopyToField, CutsAtByteLimitWithoutSplittingACharacter)
{
    struct Case { std::string text; std::size_t max; std::string kept; };
    const std::string a = "\x82\xa0";   // あ
    const Case cases[] = {
        {"", 26, ""},
        {"short", 26, "short"},
        {std::string(30, 'n'), 26, std::string(26, 'n')},
        {std::string(25, 'n') + a, 26, std::string(25, 'n')},          // the pair would straddle the limit
        {std::string(24, 'n') + a + a, 26, std::string(24, 'n') + a},
        {std::string(25, 'n') + "\x82", 26, std::string(25, 'n') + "\x82"},   // a lone lead byte is one character
        {"\xb1\xb2\xb3", 2, "\xb1\xb2"},                                // half-width katakana pair as one walk step
    };
    for (const Case& c : cases) {
        char field[27];
        std::memset(field, 'X', sizeof field);
        CopyToField(field, c.text, c.max);
        EXPECT_EQ(std::string(field), c.kept) << c.text;
    }
}

TEST(CopyToField, NeverWritesPastTheField)
{
    char field[9];
    CopyToField(field, std::string(50, 'p'), 200);   // max larger than the field
    EXPECT_EQ(std::string(field), std::string(8, 'p'));
}
