#include "Board.h"
#include "BoardLines.h"
#include "BoardName.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using namespace std::string_literals;

constexpr std::string_view DefaultPositionLine =
    "*!B!*A5050B5007C6018D3519E8119F1318G4925H7130I2331J6241K5036L3641"
    "M5093N5182O2081P7980Q3672R6473S2064T7964U3756V5164W6456";
constexpr std::string_view DefaultNameLine =
    "*!N!*A B1 C2 D3 E4 F5 G6 H7 I8 J9 K10 L11 M1 N2 O3 P4 Q5 R6 S7 T8 U9 V10 W11 ";

CharItemTable DefaultBoard()
{
    CharItemTable items;
    ResetCharItems(items, 200, 300);
    return items;
}

constexpr int BoardRoom = 7;

BoardLineResult Parse(CharItemTable& items, std::string_view text, int nRoom = BoardRoom)
{
    return ParseBoardLine(items, BoardRoom, nRoom, text);
}

// --- default formation ---------------------------------------------------------

TEST(BoardDefaults, NewRecordDefaults)
{
    const CharItem item;
    EXPECT_EQ(item.nX, 0);
    EXPECT_EQ(item.nY, 0);
    EXPECT_EQ(item.nWidth, 100);
    EXPECT_EQ(item.nHeight, 100);
    EXPECT_TRUE(item.Name.empty());
    EXPECT_EQ(item.Color, 0xFFFFFFu);
    EXPECT_EQ(item.nRadius, 7);
}

TEST(BoardDefaults, CentresOnTheDefaultPitch)
{
    struct Centre { int x, y; };
    constexpr Centre expected[CharItemCount] = {
        {100, 150}, {100, 21}, {120, 54}, {70, 57},  {162, 57},  {26, 54},  {98, 75},  {142, 90},
        {46, 93},   {124, 123}, {100, 108}, {72, 123}, {100, 279}, {102, 246}, {40, 243}, {158, 240},
        {72, 216},  {128, 219}, {40, 192}, {158, 192}, {74, 168}, {102, 192}, {128, 168},
    };
    const CharItemTable items = DefaultBoard();
    for (int i = 0; i < CharItemCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(items[i].CenterX(), expected[i].x);
        EXPECT_EQ(items[i].CenterY(), expected[i].y);
        EXPECT_EQ(items[i].nRadius, 7);
    }
}

TEST(BoardDefaults, ColoursBySide)
{
    const CharItemTable items = DefaultBoard();
    EXPECT_EQ(items[0].Color, 0xFFFFFFu);
    for (int i = 1; i <= 11; ++i)
        EXPECT_EQ(items[i].Color, 0x0000FFu) << i;
    for (int i = 12; i <= 22; ++i)
        EXPECT_EQ(items[i].Color, 0xFF0000u) << i;
}

TEST(BoardDefaults, ResetUndoesMovesAndNamesButKeepsRadius)
{
    CharItemTable items = DefaultBoard();
    items[4].nX = 3;
    items[4].Name = "xyz";
    items[4].Color = 0x123456;
    items[4].nRadius = 9;
    ResetCharItems(items, 200, 300);
    EXPECT_EQ(items[4].nX, 81);
    EXPECT_EQ(items[4].Name, "4");
    EXPECT_EQ(items[4].Color, 0x0000FFu);
    EXPECT_EQ(items[4].nRadius, 9);
}

TEST(BoardDefaults, ScalingTruncates)
{
    CharItem item;
    item.nX = 33;
    item.nY = 99;
    item.nWidth = 50;
    item.nHeight = 7;
    EXPECT_EQ(item.CenterX(), 16);   // 16.5
    EXPECT_EQ(item.CenterY(), 6);    // 6.93
}

// --- building lines ------------------------------------------------------------

TEST(BoardLinesBuild, DefaultFullLinesByteForByte)
{
    const CharItemTable items = DefaultBoard();
    std::string positions = "x";
    AppendAllPositions(items, positions);
    EXPECT_EQ(positions, "x"s.append(DefaultPositionLine));
    EXPECT_EQ(DefaultPositionLine.size(), 120u);

    std::string names;
    AppendAllNames(items, names);
    EXPECT_EQ(names, DefaultNameLine);
    EXPECT_EQ(names.size(), 77u);
}

TEST(BoardLinesBuild, SingleItems)
{
    CharItemTable items = DefaultBoard();
    items[1].nY = 10;
    std::string text;
    AppendPosition(items, 1, text, true);
    EXPECT_EQ(text, "*!B!*B5010");

    text.clear();
    items[22].nX = 0;
    items[22].nY = 9;
    AppendPosition(items, 22, text, false);
    EXPECT_EQ(text, "W0009");

    text.clear();
    AppendName(items, 0, text, true);
    EXPECT_EQ(text, "*!N!*A ");

    text.clear();
    items[13].Name = "\x83\x5c\xb1";   // "ソ" and a half-width katakana
    AppendName(items, 13, text, true);
    EXPECT_EQ(text, "*!N!*N\x83\x5c\xb1 ");
}

TEST(BoardLinesBuild, CopyText)
{
    const CharItemTable items = DefaultBoard();
    const std::string heading =
        "\x81\xa6\x89\xba\x8b\x4c\x82\xcc" "2" "\x8d\x73\x82\xf0\x83\x60\x83\x83\x83\x62\x83\x67\x82\xc9"
        "\x93\xfc\x97\xcd\x82\xb7\x82\xe9\x82\xc6\x8f\x89\x8a\xfa\x83\x74\x83\x48\x81\x5b\x83\x81\x81\x5b"
        "\x83\x56\x83\x87\x83\x93\x82\xf0\x90\xdd\x92\xe8\x82\xc5\x82\xab\x82\xdc\x82\xb7\x81\x42" "1"
        "\x8d\x73\x82\xb8\x82\xc2\x95\xaa\x82\xaf\x82\xc4\x91\x97\x90\x4d\x82\xb5\x82\xc4\x82\xad\x82\xbe"
        "\x82\xb3\x82\xa2";
    const std::string expected = heading + "\n" + std::string(DefaultPositionLine) + "\n" +
                                 std::string(DefaultNameLine) + "\n";
    EXPECT_EQ(BuildBoardCopyText(items), expected);
}

TEST(BoardLinesBuild, CopiedLinesRestoreTheBoard)
{
    CharItemTable source = DefaultBoard();
    source[5].nX = 0;
    source[5].nY = 99;
    source[0].Name = "\x83\x7b\x81\x5b\x83\x8b";   // "ボール"
    source[17].Name = "";
    std::string positions, names;
    AppendAllPositions(source, positions);
    AppendAllNames(source, names);

    CharItemTable target = DefaultBoard();
    EXPECT_TRUE(Parse(target, positions).applied);
    EXPECT_TRUE(Parse(target, names).applied);
    for (int i = 0; i < CharItemCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(target[i].nX, source[i].nX);
        EXPECT_EQ(target[i].nY, source[i].nY);
        EXPECT_EQ(target[i].Name, source[i].Name);
    }
}

// --- parsing position lines ----------------------------------------------------

struct PositionCase {
    const char* label;
    std::string text;
    bool applied;
    // Expected positions of B and C afterwards (defaults: B 50,7 and C 60,18).
    int bx, by, cx, cy;
};

// Test output names the case instead of dumping its bytes.
void PrintTo(const PositionCase& c, std::ostream* os) { *os << c.label; }

class PositionLineParse : public testing::TestWithParam<PositionCase> {};

TEST_P(PositionLineParse, AppliesItemsUpToTheFirstStop)
{
    const PositionCase& c = GetParam();
    CharItemTable items = DefaultBoard();
    const BoardLineResult result = Parse(items, c.text);
    EXPECT_TRUE(result.isBoardLine);
    EXPECT_EQ(result.applied, c.applied);
    EXPECT_EQ(items[1].nX, c.bx);
    EXPECT_EQ(items[1].nY, c.by);
    EXPECT_EQ(items[2].nX, c.cx);
    EXPECT_EQ(items[2].nY, c.cy);
}

INSTANTIATE_TEST_SUITE_P(
    Board, PositionLineParse,
    testing::Values(
        PositionCase{"TwoItems", "*!B!*B1020C3040", true, 10, 20, 30, 40},
        PositionCase{"BarePrefix", "*!B!*", false, 50, 7, 60, 18},
        PositionCase{"LastItemFourBytes", "*!B!*B1020C304", true, 10, 20, 60, 18},
        PositionCase{"OnlyItemTruncated", "*!B!*B102", false, 50, 7, 60, 18},
        PositionCase{"ZeroColonReadsTen", "*!B!*B0:0:", true, 10, 10, 60, 18},
        PositionCase{"ColonZeroIsHundred", "*!B!*B:000C3040", false, 50, 7, 60, 18},
        PositionCase{"NegativeYStops", "*!B!*B1020C30/9", true, 10, 20, 60, 18},
        PositionCase{"SameValuesStillApply", "*!B!*B5007", true, 50, 7, 60, 18},
        PositionCase{"LowerCaseLetterStops", "*!B!*B1020c3040C3040", true, 10, 20, 60, 18},
        PositionCase{"LetterAfterWStops", "*!B!*X1020C3040", false, 50, 7, 60, 18},
        PositionCase{"AtSignStops", "*!B!*@1020C3040", false, 50, 7, 60, 18},
        PositionCase{"HighByteLetterStops", "*!B!*B1020\xc3" "3040C3040", true, 10, 20, 60, 18},
        PositionCase{"HighByteDigitStops", "*!B!*B1020C3\xb0" "40", true, 10, 20, 60, 18},
        PositionCase{"BlankBetweenItemsStops", "*!B!*B1020 C3040", true, 10, 20, 60, 18},
        PositionCase{"EmbeddedNulEndsText", "*!B!*B1020\0C3040"s, true, 10, 20, 60, 18},
        PositionCase{"LaterItemWins", "*!B!*B1020B1121", true, 11, 21, 60, 18}),
    [](const testing::TestParamInfo<PositionCase>& info) { return info.param.label; });

TEST(BoardLinesParse, PositionItemsReachEveryLetter)
{
    CharItemTable items = DefaultBoard();
    EXPECT_TRUE(Parse(items, "*!B!*A0000W9999").applied);
    EXPECT_EQ(items[0].nX, 0);
    EXPECT_EQ(items[0].nY, 0);
    EXPECT_EQ(items[22].nX, 99);
    EXPECT_EQ(items[22].nY, 99);
}

// --- parsing name lines --------------------------------------------------------

struct NameCase {
    const char* label;
    std::string text;
    bool applied;
    std::string b, c, d;   // names of markers B, C and D afterwards (defaults "1", "2", "3")
};

// Test output names the case instead of dumping its bytes.
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.label; }

class NameLineParse : public testing::TestWithParam<NameCase> {};

TEST_P(NameLineParse, AppliesItemsUpToTheFirstStop)
{
    const NameCase& c = GetParam();
    CharItemTable items = DefaultBoard();
    const BoardLineResult result = Parse(items, c.text);
    EXPECT_TRUE(result.isBoardLine);
    EXPECT_EQ(result.applied, c.applied);
    EXPECT_EQ(items[1].Name, c.b);
    EXPECT_EQ(items[2].Name, c.c);
    EXPECT_EQ(items[3].Name, c.d);
}

INSTANTIATE_TEST_SUITE_P(
    Board, NameLineParse,
    testing::Values(
        NameCase{"TwoItems", "*!N!*Bab Ccd ", true, "ab", "cd", "3"},
        NameCase{"BarePrefix", "*!N!*", false, "1", "2", "3"},
        NameCase{"NoFinalBlank", "*!N!*Bab", true, "ab", "2", "3"},
        NameCase{"EmptyName", "*!N!*B C9 ", true, "", "9", "3"},
        NameCase{"SeveralBlanksSkipped", "*!N!*Bx   Cy", true, "x", "y", "3"},
        NameCase{"BlankThenLetterRenamesIt", "*!N!*BFoo Dar ", true, "Foo", "2", "ar"},
        NameCase{"BlankThenDigitStops", "*!N!*B1 2 C5 ", true, "1", "2", "3"},
        NameCase{"LoneLetterAtEndIgnored", "*!N!*Bx C", true, "x", "2", "3"},
        NameCase{"LetterAndBlankClearsName", "*!N!*Bx C ", true, "x", "", "3"},
        NameCase{"TabEndsNameAndLine", "*!N!*Bx\tCy ", true, "x", "2", "3"},
        NameCase{"LowerCaseLetterStops", "*!N!*bx Cy ", false, "1", "2", "3"},
        NameCase{"HighByteLetterStops", "*!N!*Bx \x83\x5c Cy ", true, "x", "2", "3"},
        NameCase{"DoubleByteNamesWhole", "*!N!*B\x83\x5c\x81\x40 C\xb1\xb2 ", true,
                 "\x83\x5c\x81\x40", "\xb1\xb2", "3"},
        NameCase{"EmbeddedNulEndsText", "*!N!*Bx\0Cy "s, true, "x", "2", "3"}),
    [](const testing::TestParamInfo<NameCase>& info) { return info.param.label; });

// --- which texts are board lines -----------------------------------------------

TEST(BoardLinesParse, AnotherRoomIsSwallowedUnapplied)
{
    for (const std::string_view text : {"*!B!*B1020", "*!N!*Bxx "}) {
        CharItemTable items = DefaultBoard();
        const BoardLineResult result = Parse(items, text, BoardRoom + 1);
        EXPECT_TRUE(result.isBoardLine) << text;
        EXPECT_FALSE(result.applied) << text;
        EXPECT_EQ(items[1].nX, 50);
        EXPECT_EQ(items[1].Name, "1");
    }
}

TEST(BoardLinesParse, UnboundBoardSwallowsEveryRoom)
{
    for (const int nRoom : {-1, 0, 51}) {
        CharItemTable items = DefaultBoard();
        const BoardLineResult result = ParseBoardLine(items, -1, nRoom, "*!B!*B1020");
        EXPECT_TRUE(result.isBoardLine) << nRoom;
        EXPECT_FALSE(result.applied) << nRoom;
        EXPECT_EQ(items[1].nX, 50) << nRoom;
    }
}

TEST(BoardLinesParse, OrdinaryChatIsNotABoardLine)
{
    for (const std::string_view text : {"", "hello", " *!B!*B1020", "x*!N!*Bx ", "*!B!", "*!b!*B1020",
                                        "*!X!*B1020", "*!N!B1020"}) {
        CharItemTable items = DefaultBoard();
        const BoardLineResult result = Parse(items, text);
        EXPECT_FALSE(result.isBoardLine) << text;
        EXPECT_FALSE(result.applied) << text;
        EXPECT_EQ(items[1].nX, 50) << text;
    }
}

// --- hit test ------------------------------------------------------------------

TEST(BoardHitTest, HalfOpenSquareAroundTheCentre)
{
    CharItemTable items = DefaultBoard();   // the ball at 50,50: centre 100,150
    struct Probe { int x, y, expected; };
    for (const Probe p : {Probe{93, 143, 0}, Probe{106, 156, 0}, Probe{93, 156, 0},
                          Probe{107, 150, -1}, Probe{100, 157, -1}, Probe{92, 150, -1},
                          Probe{100, 142, -1}, Probe{0, 0, -1}}) {
        EXPECT_EQ(FindCharAt(items, p.x, p.y), p.expected) << p.x << "," << p.y;
    }
}

TEST(BoardHitTest, LowestIndexWinsWhereMarkersOverlap)
{
    CharItemTable items = DefaultBoard();
    items[20].nX = 50;   // U over the ball, 3 px right of it
    items[20].nY = 50;
    items[20].nWidth = 206;
    items[3].nX = 62;    // D exactly on J
    items[3].nY = 41;
    EXPECT_EQ(FindCharAt(items, 101, 150), 0);
    EXPECT_EQ(FindCharAt(items, 108, 150), 20);   // outside the ball, inside U
    EXPECT_EQ(FindCharAt(items, 124, 123), 3);
}

// --- drag arithmetic -----------------------------------------------------------

struct DragCase {
    const char* label;
    int startX, startY, dx, dy;
    bool moved;
    int endX, endY;
};

// Test output names the case instead of dumping its bytes.
void PrintTo(const DragCase& c, std::ostream* os) { *os << c.label; }

class BoardDrag : public testing::TestWithParam<DragCase> {};

TEST_P(BoardDrag, MovesByTheTruncatedDisplacement)
{
    const DragCase& c = GetParam();
    CharItem item = DefaultBoard()[0];
    item.nX = c.startX;
    item.nY = c.startY;
    EXPECT_EQ(ApplyDrag(item, c.dx, c.dy), c.moved);
    EXPECT_EQ(item.nX, c.endX);
    EXPECT_EQ(item.nY, c.endY);
}

INSTANTIATE_TEST_SUITE_P(
    Board, BoardDrag,
    testing::Values(
        DragCase{"TwoRight", 50, 50, 2, 0, true, 51, 50},
        DragCase{"OneRightTwoDown", 50, 50, 1, 2, false, 50, 50},
        DragCase{"ThreeDown", 50, 50, 0, 3, true, 50, 51},
        DragCase{"OneLeftTwoUpTruncatesToZero", 50, 50, -1, -2, false, 50, 50},
        DragCase{"ThreeLeftSixUp", 50, 50, -3, -6, true, 49, 48},
        DragCase{"RightEdgeOut", 99, 50, 2, 30, false, 99, 50},
        DragCase{"LeftEdgeOut", 0, 50, -2, 30, false, 0, 50},
        DragCase{"TopEdgeOut", 50, 0, 20, -3, false, 50, 0},
        DragCase{"BottomEdgeOut", 50, 99, 20, 3, false, 50, 99},
        DragCase{"ToTheCorner", 1, 98, -2, 3, true, 0, 99},
        DragCase{"LongDrag", 50, 50, 98, -150, true, 99, 0}),
    [](const testing::TestParamInfo<DragCase>& info) { return info.param.label; });

// --- names typed by the user ---------------------------------------------------

TEST(BoardName, BlanksAndControlBytesAreRefused)
{
    struct Case { std::string name; bool valid; };
    for (const Case& c : {Case{"", true}, Case{"10", true}, Case{"\x83\x5c\x83\x5c", true},
                          Case{"\x81\x40", true},   // full-width blank: one character, no byte <= 0x20
                          Case{"\xb1\xb2\xb3", true}, Case{"a b", false}, Case{" ", false},
                          Case{"ab\t", false}, Case{"\x01", false}, Case{"a\nb", false},
                          Case{"x\0y"s, false}, Case{"\x83\x5c ", false}}) {
        EXPECT_EQ(IsValidBoardName(c.name), c.valid) << c.name;
    }
}

}   // namespace
