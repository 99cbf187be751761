#include "Board.h"
#include "BoardLines.h"
#include "BoardHistory.h"
#include "BoardName.h"
#include "BoardPacer.h"
#include "FormationFile.h"
#include "Formations.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

// Whole formations with long names from peers, paste or the file: every line
// within a chat line's 200 bytes, every item whole, and a board that takes the
// lines ends as the sender's.
struct LongNames {
    const char* label;
    std::string name;   // given to every marker but the ball
    int emptyItem = -1;   // a marker whose name is cleared (a peer's "*!N!*C ")
};

void PrintTo(const LongNames& names, std::ostream* out) { *out << names.label; }

class WholeFormationLinesTest : public ::testing::TestWithParam<LongNames> {};

TEST_P(WholeFormationLinesTest, FitAndRebuildTheSameBoard)
{
    CharItemTable sent = DefaultBoard();
    for (int i = 1; i < CharItemCount; ++i)
        sent[i].Name = GetParam().name;
    if (GetParam().emptyItem >= 0)
        sent[GetParam().emptyItem].Name.clear();
    sent[4].nX = 3;
    const std::vector<std::string> lines = WholeFormationLines(sent);
    CharItemTable peer = DefaultBoard();
    for (int i = 0; i < CharItemCount; ++i)
        peer[i].Name = "old";
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), 200u) << line;
        const BoardLineResult read = Parse(peer, line);
        EXPECT_TRUE(read.items.complete) << line;
    }
    for (int i = 0; i < CharItemCount; ++i) {
        EXPECT_EQ(peer[i].Name, sent[i].Name) << i;
        EXPECT_EQ(peer[i].nX, sent[i].nX) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    BoardLinesBuild, WholeFormationLinesTest,
    ::testing::Values(LongNames{"dialog_names", "abcdef"},
                      LongNames{"peer_names_193", std::string(193, 'x')},
                      LongNames{"peer_names_194", std::string(194, 'y')},
                      // "A " and B's 190 bytes fill 199: C's clearing item needs two more.
                      LongNames{"empty_name_at_line_end", std::string(190, 'z'), 2},
                      LongNames{"double_byte_97", [] {
                                    std::string n;
                                    for (int k = 0; k < 97; ++k)
                                        n += "\x83\x7b";
                                    return n;
                                }()}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(BoardLinesBuild, DefaultWholeFormationIsTheTwoUsualLines)
{
    EXPECT_EQ(WholeFormationLines(DefaultBoard()),
              (std::vector<std::string>{std::string(DefaultPositionLine), std::string(DefaultNameLine)}));
}

TEST(BoardLinesParse, NamesPastOneLineAreCutWholeWhereTheyComeIn)
{
    // A pasted or filed name longer than any line can carry, ending in
    // double-byte characters: kept up to 194 bytes, never half a character.
    std::string name(193, 'z');
    name += "\x83\x7b\x83\x7b";
    CharItemTable items = DefaultBoard();
    const BoardItemsResult read = ApplyBoardLine(items, "*!N!*B" + name + " C\x83\x7b ");
    EXPECT_EQ(items[1].Name, std::string(193, 'z'));
    EXPECT_EQ(items[2].Name, "\x83\x7b");
    EXPECT_EQ(read.count, 2);
}

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

// --- formations ------------------------------------------------------------------

struct PresetCase {
    int formation;
    BoardSide side;
};

void PrintTo(const PresetCase& c, std::ostream* os)
{
    *os << BuiltInFormations()[c.formation].Title << (c.side == BoardSide::Side1 ? " side 1" : " side 2");
}

class BuiltInPreset : public testing::TestWithParam<PresetCase> {};

TEST_P(BuiltInPreset, GivesValidLinesForItsSideOnly)
{
    const PresetCase c = GetParam();
    const CharItemTable start = DefaultBoard();
    CharItemTable items = start;
    ApplyBuiltInFormation(items, BuiltInFormations()[c.formation], c.side);

    const int first = FirstItemOf(c.side);
    for (int i = 0; i < CharItemCount; ++i) {
        SCOPED_TRACE(i);
        const bool ofSide = i >= first && i < first + 11;
        if (!ofSide) {
            EXPECT_EQ(items[i].nX, start[i].nX);
            EXPECT_EQ(items[i].nY, start[i].nY);
        }
        EXPECT_EQ(items[i].Name, start[i].Name);
        // Own half, on the pitch, and not hidden under another marker of the board.
        EXPECT_GE(items[i].nX, 0);
        EXPECT_LE(items[i].nX, 99);
        if (ofSide) {
            EXPECT_TRUE(c.side == BoardSide::Side1 ? items[i].nY < 50 : items[i].nY > 50);
        }
        EXPECT_EQ(FindCharAt(items, items[i].CenterX(), items[i].CenterY()), i);
    }
    // The keeper stands in front of the side's own goal.
    EXPECT_EQ(items[first].nX, 50);
    EXPECT_EQ(items[first].nY, c.side == BoardSide::Side1 ? 7 : 93);

    // The full position line is what ButtonAll sends: 120 bytes that set every
    // marker of a default board to the preset.
    std::string line;
    AppendAllPositions(items, line);
    EXPECT_EQ(line.size(), 120u);
    CharItemTable receiver = DefaultBoard();
    const BoardLineResult result = Parse(receiver, line);
    EXPECT_EQ(result.items.count, CharItemCount);
    EXPECT_TRUE(result.items.complete);
    for (int i = 0; i < CharItemCount; ++i)
        EXPECT_TRUE(receiver[i].nX == items[i].nX && receiver[i].nY == items[i].nY) << i;
}

std::vector<PresetCase> AllPresets()
{
    std::vector<PresetCase> cases;
    for (int k = 0; k < static_cast<int>(BuiltInFormations().size()); ++k)
        for (const BoardSide side : {BoardSide::Side1, BoardSide::Side2})
            cases.push_back({k, side});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Formations, BuiltInPreset, testing::ValuesIn(AllPresets()));

TEST(Formations, BuiltInTitles)
{
    std::vector<std::string_view> titles;
    for (const BuiltInFormation& f : BuiltInFormations())
        titles.push_back(f.Title);
    EXPECT_EQ(titles, (std::vector<std::string_view>{"4-4-2", "4-3-3", "3-5-2", "4-2-3-1", "5-3-2"}));
}

TEST(Formations, ApplyFormationTakesPositionsAndNamesOnly)
{
    CharItemTable items = DefaultBoard();
    CharItemTable kept = DefaultBoard();
    kept[3].nX = 1;
    kept[3].Name = "x";
    kept[3].nWidth = 9;
    kept[3].Color = 0x123456;
    ApplyFormation(items, kept);
    EXPECT_EQ(items[3].nX, 1);
    EXPECT_EQ(items[3].Name, "x");
    EXPECT_EQ(items[3].nWidth, 200);
    EXPECT_EQ(items[3].Color, Side1Color);
}

// --- pasted copy text ------------------------------------------------------------

TEST(BoardPaste, CopyTextSetsTheBoard)
{
    CharItemTable source = DefaultBoard();
    ApplyBuiltInFormation(source, BuiltInFormations()[2], BoardSide::Side2);
    source[4].Name = "\x83\x7b";
    CharItemTable target = DefaultBoard();
    // Windows line ends and a NUL-terminated clipboard text read the same.
    std::string text = BuildBoardCopyText(source);
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.insert(at, 1, '\r');
    text.push_back('\0');
    EXPECT_TRUE(ApplyBoardCopyText(target, text));
    for (int i = 0; i < CharItemCount; ++i)
        EXPECT_TRUE(target[i].nX == source[i].nX && target[i].nY == source[i].nY && target[i].Name == source[i].Name)
            << i;
}

TEST(BoardPaste, TextWithoutBoardLinesChangesNothing)
{
    for (const std::string& text : {""s, "hello\nworld"s, " *!B!*B0101"s, "*!B!*\n*!N!*"s, "*!B!*b0101"s}) {
        CharItemTable items = DefaultBoard();
        items[1].Name = "kept";
        EXPECT_FALSE(ApplyBoardCopyText(items, text)) << text;
        EXPECT_EQ(items[1].nX, 50);
        EXPECT_EQ(items[1].Name, "kept");
    }
    // One good line is enough; the bad rest of it is ignored as on the wire.
    CharItemTable items = DefaultBoard();
    EXPECT_TRUE(ApplyBoardCopyText(items, "chat\n*!B!*B0102Cxx\n"));
    EXPECT_EQ(items[1].nX, 1);
    EXPECT_EQ(items[2].nX, 60);
}

// --- the formation file ----------------------------------------------------------

std::string FormationText(const std::string& title, const CharItemTable& items)
{
    std::string text = "[" + title + "]\n";
    AppendAllPositions(items, text);
    text += '\n';
    AppendAllNames(items, text);
    text += '\n';
    return text;
}

TEST(FormationFile, WrittenFileReadsBackWhole)
{
    CharItemTable a = DefaultBoard();
    ApplyBuiltInFormation(a, BuiltInFormations()[0], BoardSide::Side1);
    a[0].Name = "\x83\x7b\x81\x5b\x83\x8b";
    CharItemTable b = DefaultBoard();
    b[22].Name = "";
    const std::vector<SavedFormation> formations{{"\x8e\x8e\x8d\x87 1]", a}, {"b", b}};
    const std::string bytes = FormatFormationFile(formations);
    EXPECT_TRUE(bytes.starts_with(";"));
    EXPECT_NE(bytes.find(FormationText("b", b)), std::string::npos);

    const FormationFileContents read = ParseFormationFile(bytes);
    EXPECT_FALSE(read.Damaged);
    ASSERT_EQ(read.Formations.size(), 2u);
    for (std::size_t f = 0; f < 2; ++f) {
        EXPECT_EQ(read.Formations[f].Title, formations[f].Title);
        for (int i = 0; i < CharItemCount; ++i)
            EXPECT_TRUE(read.Formations[f].Items[i].nX == formations[f].Items[i].nX
                        && read.Formations[f].Items[i].nY == formations[f].Items[i].nY
                        && read.Formations[f].Items[i].Name == formations[f].Items[i].Name)
                << f << " " << i;
    }
}

struct FileCase {
    const char* label;
    std::string bytes;
    std::vector<std::string> titles;   // what is kept, in order
    bool damaged;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.label; }

class FormationFileBadInput : public testing::TestWithParam<FileCase> {};

TEST_P(FormationFileBadInput, KeepsWhatCanBeRead)
{
    const FileCase& c = GetParam();
    const FormationFileContents read = ParseFormationFile(c.bytes);
    std::vector<std::string> titles;
    for (const SavedFormation& f : read.Formations)
        titles.push_back(f.Title);
    EXPECT_EQ(titles, c.titles);
    EXPECT_EQ(read.Damaged, c.damaged);
}

const std::string Good = FormationText("a", DefaultBoard());
const std::string GoodB = FormationText("b", DefaultBoard());
const std::string Positions(DefaultPositionLine);
const std::string Names(DefaultNameLine);

INSTANTIATE_TEST_SUITE_P(
    Formations, FormationFileBadInput,
    testing::Values(
        FileCase{"empty", "", {}, false},
        FileCase{"comments and blank lines", ";x\n\n\r\n" + Good + ";y\n", {"a"}, false},
        FileCase{"windows line ends", "[a]\r\n" + Positions + "\r\n" + Names + "\r\n", {"a"}, false},
        FileCase{"no line end at the end", "[a]\n" + Positions + "\n" + Names, {"a"}, false},
        FileCase{"stray text between", Good + "garbage\n" + GoodB, {"a", "b"}, true},
        FileCase{"lines before any title", Positions + "\n" + Good, {"a"}, true},
        FileCase{"title alone", "[x]\n" + Good, {"a"}, true},
        FileCase{"names missing", "[x]\n" + Positions + "\n" + GoodB, {"x", "b"}, true},
        FileCase{"lines swapped", "[x]\n" + Names + "\n" + Positions + "\n" + GoodB, {"x", "b"}, true},
        FileCase{"third board line", Good + Names + "\n" + GoodB, {"a", "b"}, true},
        FileCase{"cut item", "[x]\n*!B!*A505\n" + Names + "\n", {"x"}, true},
        FileCase{"bad letter", "[x]\n*!B!*a5050\n" + Names + "\n" + GoodB, {"x", "b"}, true},
        FileCase{"NUL in a name", "[x]\n" + Positions + "\n*!N!*Aa\0b B1 \n"s + GoodB, {"x", "b"}, true},
        FileCase{"duplicate title", Good + Good + GoodB, {"a", "b"}, true},
        FileCase{"empty title", "[]\n" + Positions + "\n" + Names + "\n" + GoodB, {"b"}, true},
        FileCase{"title with a tab", "[a\tb]\n" + Positions + "\n" + Names + "\n", {}, true},
        FileCase{"title too long", "[" + std::string(41, 'x') + "]\n" + Positions + "\n" + Names + "\n", {}, true},
        FileCase{"unclosed title", "[a\n" + Positions + "\n" + Names + "\n", {}, true},
        FileCase{"binary", std::string("\x00\xff\x81[\n]\x1a", 7), {}, true}));

TEST(FormationFile, TooManyFormationsKeepsTheFirstHundred)
{
    std::string bytes;
    for (int n = 0; n < 105; ++n)
        bytes += FormationText(std::to_string(n), DefaultBoard());
    const FormationFileContents read = ParseFormationFile(bytes);
    EXPECT_EQ(read.Formations.size(), MaxFormations);
    EXPECT_TRUE(read.Damaged);
    EXPECT_EQ(read.Formations.back().Title, "99");
}

TEST(FormationFile, OversizedFileIsReadUpToItsLimit)
{
    std::string bytes = Good + std::string(MaxFormationFileBytes, ';');
    const FormationFileContents read = ParseFormationFile(bytes);
    ASSERT_EQ(read.Formations.size(), 1u);
    EXPECT_TRUE(read.Damaged);
}

TEST(FormationFile, PathIsBesideTheSettingsFile)
{
    EXPECT_EQ(FormationFilePath("/home/u/.config/kvchat/kvchat.INI"), "/home/u/.config/kvchat/kvchat-formations.txt");
    EXPECT_EQ(FormationFilePath("kvchat.INI"), "kvchat-formations.txt");
}

class FormationStoreFiles : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kvformXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        path = dir + "/kvchat-formations.txt";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void Write(const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
    std::string Read(const std::string& file) const
    {
        std::ifstream in(file, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    std::string dir;
    std::string path;
};

TEST_F(FormationStoreFiles, MissingFileIsAnEmptyListWithoutAMessage)
{
    FormationStore store(path);
    EXPECT_EQ(store.Load(), std::nullopt);
    EXPECT_TRUE(store.Formations().empty());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(FormationStoreFiles, SaveReplaceRemoveAndReadAgain)
{
    FormationStore store(path);
    ASSERT_EQ(store.Load(), std::nullopt);
    CharItemTable items = DefaultBoard();
    EXPECT_EQ(store.Save("a", items), std::nullopt);
    items[1].nX = 3;
    EXPECT_EQ(store.Save("b", items), std::nullopt);
    items[1].nX = 4;
    EXPECT_EQ(store.Save("a", items), std::nullopt);   // same title: replaced in place
    EXPECT_NE(store.Save(" padded", items), std::nullopt);
    EXPECT_NE(store.Save("", items), std::nullopt);

    FormationStore again(path);
    EXPECT_EQ(again.Load(), std::nullopt);
    ASSERT_EQ(again.Formations().size(), 2u);
    EXPECT_EQ(again.Formations()[0].Title, "a");
    EXPECT_EQ(again.Formations()[0].Items[1].nX, 4);
    EXPECT_EQ(again.Formations()[1].Items[1].nX, 3);

    EXPECT_EQ(again.Remove("a"), std::nullopt);
    EXPECT_EQ(again.Remove("nothing"), std::nullopt);
    FormationStore third(path);
    third.Load();
    ASSERT_EQ(third.Formations().size(), 1u);
    EXPECT_EQ(third.Formations()[0].Title, "b");
}

TEST_F(FormationStoreFiles, SaveThatWouldPassTheReadLimitIsRefusedBeforeWriting)
{
    FormationStore store(path);
    ASSERT_EQ(store.Load(), std::nullopt);
    CharItemTable items = DefaultBoard();
    for (CharItem& item : items)
        item.Name = std::string(193, 'n');
    std::optional<std::string> refused;
    int kept = 0;
    while (kept < 100 && !(refused = store.Save("f" + std::to_string(kept), items)))
        ++kept;
    ASSERT_TRUE(refused.has_value());
    EXPECT_NE(refused->find("KB"), std::string::npos) << *refused;
    const std::string bytes = Read(path);
    EXPECT_LE(bytes.size(), MaxFormationFileBytes);
    EXPECT_EQ(store.Formations().size(), static_cast<std::size_t>(kept));
    // What was kept reads back whole, the newest included.
    FormationStore again(path);
    EXPECT_EQ(again.Load(), std::nullopt);
    ASSERT_EQ(again.Formations().size(), static_cast<std::size_t>(kept));
    EXPECT_EQ(again.Formations().back().Items[22].Name, items[22].Name);
}

TEST_F(FormationStoreFiles, DamagedFileIsToldAndKeptAsideBeforeItIsWrittenOver)
{
    const std::string damaged = Good + "garbage\n" + GoodB;
    Write(damaged);
    FormationStore store(path);
    const auto message = store.Load();
    ASSERT_TRUE(message.has_value());
    EXPECT_NE(message->find(path), std::string::npos);
    EXPECT_EQ(store.Formations().size(), 2u);
    EXPECT_EQ(Read(path), damaged);   // reading changes nothing

    EXPECT_EQ(store.Save("c", DefaultBoard()), std::nullopt);
    EXPECT_EQ(Read(path + ".damaged"), damaged);
    FormationStore again(path);
    EXPECT_EQ(again.Load(), std::nullopt);
    EXPECT_EQ(again.Formations().size(), 3u);

    // Set aside once: later saves of the now sound file add no copies.
    EXPECT_EQ(again.Save("d", DefaultBoard()), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(path + ".damaged.1"));
}

TEST_F(FormationStoreFiles, SaveKeepsWhatAnotherInstanceSavedMeanwhile)
{
    FormationStore mine(path);
    FormationStore theirs(path);
    ASSERT_EQ(mine.Load(), std::nullopt);
    ASSERT_EQ(theirs.Load(), std::nullopt);
    EXPECT_EQ(theirs.Save("theirs", DefaultBoard()), std::nullopt);
    EXPECT_EQ(theirs.Save("gone", DefaultBoard()), std::nullopt);

    EXPECT_EQ(mine.Save("mine", DefaultBoard()), std::nullopt);
    EXPECT_EQ(theirs.Remove("gone"), std::nullopt);
    EXPECT_EQ(mine.Remove("nothing"), std::nullopt);
    EXPECT_EQ(mine.Save("mine", DefaultBoard()), std::nullopt);

    FormationStore again(path);
    EXPECT_EQ(again.Load(), std::nullopt);
    std::vector<std::string> titles;
    for (const SavedFormation& f : again.Formations())
        titles.push_back(f.Title);
    EXPECT_EQ(titles, (std::vector<std::string>{"theirs", "mine"}));
    EXPECT_EQ(mine.Formations().size(), 2u);
}

TEST_F(FormationStoreFiles, SomethingElseInTheFilesPlaceIsToldAndLeftAlone)
{
    // A pipe with no writer would block a plain open for ever; a folder reads as nothing.
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    FormationStore pipe(path);
    EXPECT_NE(pipe.Load(), std::nullopt);
    EXPECT_TRUE(pipe.Formations().empty());
    EXPECT_NE(pipe.Save("a", DefaultBoard()), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_fifo(path));
    std::filesystem::remove(path);

    std::filesystem::create_directory(path);
    FormationStore folder(path);
    EXPECT_NE(folder.Load(), std::nullopt);
    EXPECT_NE(folder.Save("a", DefaultBoard()), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST_F(FormationStoreFiles, FullDiskLeavesNoHalfDamagedCopy)
{
    // A damaged file larger than what the "disk" (the file size limit) still takes.
    const std::string damaged = Good + std::string(64 * 1024, ';') + "\ngarbage\n";
    Write(damaged);
    FormationStore store(path);
    ASSERT_TRUE(store.Load().has_value());
    struct rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = 16 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto failure = store.Save("c", DefaultBoard());
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, oldHandler);

    ASSERT_TRUE(failure.has_value());
    // The reason is the disk's (here the size limit's), not a vague input/output error.
    EXPECT_NE(failure->find("ファイルが大きすぎます"), std::string::npos) << *failure;
    EXPECT_EQ(Read(path), damaged);
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        EXPECT_EQ(entry.path().string(), path) << "left behind: " << entry.path();
    // With room again, the copy is made whole.
    EXPECT_EQ(store.Save("c", DefaultBoard()), std::nullopt);
    EXPECT_EQ(Read(path + ".damaged"), damaged);
}

TEST_F(FormationStoreFiles, WriteFailureSaysWhy)
{
    FormationStore store(path);
    ASSERT_EQ(store.Save("a", DefaultBoard()), std::nullopt);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    const auto failure = store.Save("b", DefaultBoard());
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find(path), std::string::npos) << *failure;
    EXPECT_NE(failure->find("書き込みの権限がありません"), std::string::npos) << *failure;
}

TEST_F(FormationStoreFiles, FailedSaveKeepsTheListAsItWas)
{
    FormationStore store(dir + "/missing-folder/kvchat-formations.txt");
    store.Load();
    EXPECT_NE(store.Save("a", DefaultBoard()), std::nullopt);
    EXPECT_TRUE(store.Formations().empty());
}

// --- undo ------------------------------------------------------------------------

TEST(BoardUndo, OwnStepsGoBackAndForth)
{
    CharItemTable items = DefaultBoard();
    BoardHistory history;
    CharItemTable before = items;
    items[1].nX = 10;
    history.Record(BoardChangeKind::Move, 1, before, items);
    before = items;
    items[2].Name = "x";
    history.Record(BoardChangeKind::Rename, 2, before, items);
    before = items;
    ApplyBuiltInFormation(items, BuiltInFormations()[1], BoardSide::Side2);
    history.Record(BoardChangeKind::Load, -1, before, items);

    BoardTouched t = history.Undo(items);
    EXPECT_EQ(t.positions.count(), 10u);   // side 2 back where it was; its keeper never moved
    EXPECT_EQ(t.names.count(), 0u);
    EXPECT_EQ(items[12].nY, 93);
    EXPECT_EQ(items[13].nX, 51);
    t = history.Undo(items);
    EXPECT_TRUE(t.names.test(2) && t.names.count() == 1 && t.positions.none());
    EXPECT_EQ(items[2].Name, "2");
    t = history.Undo(items);
    EXPECT_TRUE(t.positions.test(1) && t.positions.count() == 1);
    EXPECT_EQ(items[1].nX, 50);
    EXPECT_FALSE(history.CanUndo());
    EXPECT_FALSE(history.Undo(items).Any());

    t = history.Redo(items);
    EXPECT_EQ(items[1].nX, 10);
    t = history.Redo(items);
    EXPECT_EQ(items[2].Name, "x");
    EXPECT_TRUE(history.CanRedo());
    // A new change ends what could be redone.
    before = items;
    items[3].nX = 0;
    history.Record(BoardChangeKind::Move, 3, before, items);
    EXPECT_FALSE(history.CanRedo());
}

TEST(BoardUndo, PeersChangesStay)
{
    CharItemTable items = DefaultBoard();
    BoardHistory history;
    CharItemTable before = items;
    ApplyBuiltInFormation(items, BuiltInFormations()[0], BoardSide::Side1);
    items[0].Name = "ball";
    history.Record(BoardChangeKind::Load, -1, before, items);
    // A peer then moves B and renames C.
    items[1].nX = 77;
    items[3].Name = "peer";

    const BoardTouched t = history.Undo(items);
    EXPECT_EQ(items[1].nX, 77);
    EXPECT_EQ(items[3].Name, "peer");
    EXPECT_FALSE(t.positions.test(1));
    EXPECT_TRUE(t.positions.test(2));
    EXPECT_EQ(items[2].nX, 60);
    EXPECT_EQ(items[0].Name, "");
    EXPECT_TRUE(t.names.test(0));

    // A move a peer has since overridden undoes to nothing.
    before = items;
    items[5].nX = 1;
    history.Record(BoardChangeKind::Move, 5, before, items);
    items[5].nX = 2;
    EXPECT_FALSE(history.Undo(items).Any());
    EXPECT_EQ(items[5].nX, 2);
}

TEST(BoardUndo, NothingChangedIsNoStepAndKeyRunsJoin)
{
    CharItemTable items = DefaultBoard();
    BoardHistory history;
    history.Record(BoardChangeKind::Rename, 4, items, items);
    EXPECT_FALSE(history.CanUndo());

    for (int step = 0; step < 5; ++step) {
        const CharItemTable before = items;
        ++items[4].nX;
        history.Record(BoardChangeKind::Move, 4, before, items, step > 0);
    }
    EXPECT_EQ(items[4].nX, 86);
    history.Undo(items);
    EXPECT_EQ(items[4].nX, 81);
    EXPECT_FALSE(history.CanUndo());
}

TEST(BoardUndo, KeepsTheNewestHundredSteps)
{
    CharItemTable items = DefaultBoard();
    BoardHistory history;
    for (int n = 0; n < 150; ++n) {
        const CharItemTable before = items;
        items[6].nX = n % 2 == 0 ? 0 : 99;
        history.Record(BoardChangeKind::Move, 6, before, items);
    }
    int undone = 0;
    while (history.CanUndo()) {
        history.Undo(items);
        ++undone;
    }
    EXPECT_EQ(undone, 100);
}

// --- the rate rule -----------------------------------------------------------------

struct PaceEvent {
    std::int64_t at;
    char what;   // 'p' position, 'k' keyboard position, 'n' name, 'a' all, 't' the timer fires
    int nItem;
};

struct PaceCase {
    const char* label;
    std::vector<PaceEvent> events;
    std::vector<std::string> sent;   // "B@0" position of B at 0 ms, "nB@0" name, "all@0"
};

void PrintTo(const PaceCase& c, std::ostream* os) { *os << c.label; }

class BoardRateRule : public testing::TestWithParam<PaceCase> {};

TEST_P(BoardRateRule, SendsOnceTheUserRests)
{
    const PaceCase& c = GetParam();
    BoardPacer pacer;
    std::vector<std::string> sent;
    auto take = [&](std::int64_t at) {
        const BoardOutgoing out = pacer.Take(at);
        const std::string when = "@" + std::to_string(at);
        if (out.all)
            sent.push_back("all" + when);
        if (out.position >= 0)
            sent.push_back(std::string(1, CharItemLetter(out.position)) + when);
        if (out.name >= 0)
            sent.push_back("n" + std::string(1, CharItemLetter(out.name)) + when);
    };
    for (const PaceEvent& e : c.events) {
        bool now = false;
        switch (e.what) {
        case 'p': now = pacer.Position(e.nItem, e.at); break;
        case 'k': now = pacer.Position(e.nItem, e.at, true); break;
        case 'n': now = pacer.Name(e.nItem, e.at); break;
        case 'a': now = pacer.All(e.at); break;
        case 't':
            // The timer is due at the deadline; it fires only when something waits.
            if (pacer.Pending()) {
                EXPECT_GE(e.at, pacer.Deadline()) << c.label;
                take(e.at);
            }
            continue;
        }
        if (now)
            take(e.at);
    }
    EXPECT_EQ(sent, c.sent);
    EXPECT_FALSE(pacer.Pending());
}

std::vector<PaceEvent> KeyRepeat(int nItem, std::int64_t from, int presses)
{
    std::vector<PaceEvent> events;
    for (int k = 0; k < presses; ++k)
        events.push_back({from + 33 * k, 'k', nItem});
    events.push_back({from + 33 * (presses - 1) + BoardRestMs, 't', 0});
    return events;
}

INSTANTIATE_TEST_SUITE_P(
    Board, BoardRateRule,
    testing::Values(
        PaceCase{"a lone drag goes at once", {{0, 'p', 1}}, {"B@0"}},
        PaceCase{"a key held down sends one line after it rests", KeyRepeat(1, 1000, 30), {"B@2257"}},
        PaceCase{"drags a second apart each go at once", {{0, 'p', 1}, {1000, 'p', 2}}, {"B@0", "C@1000"}},
        PaceCase{"a quick second drag waits", {{0, 'p', 1}, {100, 'p', 1}, {400, 't', 0}}, {"B@0", "B@400"}},
        PaceCase{"two markers in one rest go as the formation",
                 {{0, 'p', 1}, {50, 'p', 2}, {80, 'p', 3}, {380, 't', 0}},
                 {"B@0", "all@380"}},
        PaceCase{"a move and a rename of one marker in one rest",
                 {{0, 'n', 4}, {100, 'k', 4}, {400, 't', 0}},
                 {"nE@0", "E@400"}},
        PaceCase{"a load goes at once as the formation", {{0, 'a', 0}}, {"all@0"}},
        PaceCase{"clicks on send-all in a row send twice, not ten times",
                 {{0, 'a', 0}, {50, 'a', 0}, {100, 'a', 0}, {150, 'a', 0}, {450, 't', 0}},
                 {"all@0", "all@450"}},
        PaceCase{"a drag while keys wait joins them",
                 {{0, 'k', 1}, {100, 'p', 1}, {400, 't', 0}},
                 {"B@400"}},
        PaceCase{"renames in a row", {{0, 'n', 5}, {20, 'n', 5}, {320, 't', 0}}, {"nF@0", "nF@320"}}));
