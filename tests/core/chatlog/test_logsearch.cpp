// Searching every log: which files are searched and in what order, which lines
// match (the find bar's folding, the message only, the days asked for), their
// order and offsets, damaged and huge files, cancelling.

#include "HistoryPager.h"
#include "LineScanner.h"
#include "LogSearch.h"
#include "TempFolderTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using LogSearchTest = TempFolderTest;

std::vector<std::string> Names(const std::vector<chatlog::LogFile>& files)
{
    std::vector<std::string> names;
    for (const chatlog::LogFile& file : files)
        names.push_back(file.Server + "/" + file.Path.filename().string());
    return names;
}

std::vector<chatlog::LogHit> Search(const chatlog::LogFile& file, std::string_view text,
                                    const chatlog::LogQuery& query = {})
{
    chatlog::LogSearcher searcher(text);
    std::atomic<bool> cancel{false};
    std::vector<chatlog::LogHit> hits;
    searcher.SearchFile(file, 0, query, cancel, hits);
    return hits;
}

TEST(LogSearchLines, SplitLinesGivesEveryLineWithItsOffset)
{
    const struct {
        std::string bytes;
        std::vector<std::pair<std::size_t, std::string>> lines;
    } cases[] = {
        {"", {}},
        {"\n", {{0, ""}}},
        {"a\nbc\n", {{0, "a"}, {2, "bc"}}},
        {"a\n\nlast", {{0, "a"}, {2, ""}, {3, "last"}}},
        {"cr\r\n", {{0, "cr\r"}}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<std::size_t, std::string>> lines;
        chatlog::SplitLines(c.bytes, [&](std::size_t at, std::string_view line) { lines.emplace_back(at, line); });
        EXPECT_EQ(lines, c.lines) << c.bytes;
    }
}

TEST(LogSearchLines, RawFormsAreEveryWayToWriteACharacterOrAPair)
{
    const auto has = [](const std::vector<std::string>& forms, const std::vector<std::string>& wanted) {
        for (const std::string& form : wanted) {
            if (std::find(forms.begin(), forms.end(), form) == forms.end())
                return testing::AssertionFailure() << "no " << form;
        }
        return testing::AssertionSuccess();
    };
    EXPECT_TRUE(has(chatlog::RawFormsAt("ss", 1), {"s", "S", "ſ", "ｓ", "Ｓ", "ß", "ẞ"}));
    EXPECT_FALSE(has(chatlog::RawFormsAt("s", 0), {"ß"}));   // ß is two: no form of one s alone
    EXPECT_TRUE(has(chatlog::RawFormsAt("ガ", 0), {"ガ", "ｶﾞ"}));
    EXPECT_TRUE(has(chatlog::RawFormsAt("k", 0), {"k", "K", "\xE2\x84\xAA", "ｋ", "Ｋ"}));
    EXPECT_TRUE(chatlog::RawFormsAt("\xFF", 0).empty());   // not UTF-8

    const auto a = chatlog::RawFormsAt("ab", 0);
    const auto b = chatlog::RawFormsAt("ab", 1);
    const auto pairs = chatlog::RawFormsOfPair("a", a, "b", b);
    EXPECT_EQ(pairs.size(), a.size() * b.size());
    EXPECT_TRUE(has(pairs, {"ab", "aB", "Ａb", "ａＢ"}));
    // A form that is more than its character leaves no sure pair.
    EXPECT_TRUE(chatlog::RawFormsOfPair("s", chatlog::RawFormsAt("ss", 0), "s", chatlog::RawFormsAt("ss", 1)).empty());
}

TEST(LogSearchLines, ScannerFindsEachFormWhereverItStands)
{
    // Forms at the start, across the 16- and 32-byte blocks, in the last bytes;
    // letters in either case share a test of the bytes but not a match.
    std::string text(100, '.');
    const std::vector<std::pair<std::size_t, std::string>> placed = {
        {0, "Z"}, {15, "ゴ"}, {30, "ｺﾞ"}, {47, "z"}, {63, "ｚ"}, {90, "Ｚ"}, {99, "z"}};
    for (const auto& [at, form] : placed)
        text.replace(at, form.size(), form);
    text[50] = 'y';   // 'y' | 0x20 is not 'z'
    chatlog::FormScanner scanner;
    scanner.SetForms({"z", "Z", "ｚ", "Ｚ", "ゴ", "ｺﾞ"});
    for (const std::size_t from : {std::size_t{0}, std::size_t{1}, std::size_t{31}, std::size_t{64}, std::size_t{99}}) {
        std::vector<std::size_t> found, expected;
        for (std::size_t at = scanner.Next(text, from); at != std::string_view::npos; at = scanner.Next(text, at + 1))
            found.push_back(at);
        for (const auto& [at, form] : placed) {
            if (at >= from)
                expected.push_back(at);
        }
        EXPECT_EQ(found, expected) << "from " << from;
    }
    EXPECT_EQ(scanner.CountLines("z\nnone\nＺ and z\n"), 2u);
    scanner.SetForms({});
    EXPECT_EQ(scanner.Next(text, 0), std::string_view::npos);
}

TEST_F(LogSearchTest, FilesOfTheServerRoomAndDaysAskedForNewestMonthFirst)
{
    for (const char* server : {"a.example_9010", "b.example_9010"})
        fs::create_directories(Dir / server);
    for (const char* name : {"a.example_9010/room_2026-11.log", "a.example_9010/room_2026-12.log",
                             "a.example_9010/lobby_2026-12.log", "a.example_9010/lobby_2025-01.log",
                             "b.example_9010/room_2026-10.log", "b.example_9010/room_2026-13.log",
                             "b.example_9010/room_2026-1.log", "b.example_9010/notes.txt",
                             "b.example_9010/_2026-12.log", "stray_2026-12.log"})
        WriteFile(Dir / name, "x\n");
    fs::create_directories(Dir / "b.example_9010" / "dir_2026-12.log");
    fs::create_symlink(Dir / "a.example_9010" / "room_2026-12.log", Dir / "b.example_9010" / "link_2026-12.log");

    EXPECT_EQ(Names(chatlog::ListLogFiles(Dir, {})),
              (std::vector<std::string>{"a.example_9010/lobby_2026-12.log", "a.example_9010/room_2026-12.log",
                                        "a.example_9010/room_2026-11.log", "b.example_9010/room_2026-10.log",
                                        "a.example_9010/lobby_2025-01.log"}));
    chatlog::LogQuery query;
    query.Server = "a.example_9010";
    query.Stem = "room";
    EXPECT_EQ(Names(chatlog::ListLogFiles(Dir, query)),
              (std::vector<std::string>{"a.example_9010/room_2026-12.log", "a.example_9010/room_2026-11.log"}));
    chatlog::LogQuery days;
    days.From = chatlog::LocalDate{2026, 10, 31};
    days.To = chatlog::LocalDate{2026, 11, 1};
    EXPECT_EQ(Names(chatlog::ListLogFiles(Dir, days)),
              (std::vector<std::string>{"a.example_9010/room_2026-11.log", "b.example_9010/room_2026-10.log"}));
    EXPECT_TRUE(chatlog::ListLogFiles(Dir / "missing", {}).empty());
    EXPECT_EQ(chatlog::RoomOfStem("a%2Fb%25%~0123 %ZZ %8"), "a/b%%~0123 %ZZ %8");
    EXPECT_EQ(chatlog::RoomOfStem("%FF"), "\xEF\xBF\xBD");
}

TEST_F(LogSearchTest, LinesMatchAsInTheFindBarNewestFirstWithOffsetsAndSpans)
{
    const std::string lines[] = {
        "2026-12-01 10:00:00 アリス> ｺﾞｰﾙ！",                 // 0: half-width kana and voiced mark
        "2026-12-01 10:00:01 bob> no match here",            // 1
        "2026-12-02 11:00:00 bob> ゴール and ゴール",          // 2: two spans
        "2026-12-02 11:00:01 bob> \xFF broken ｺﾞｰﾙ",          // 3: damaged bytes
        "no stamp ゴール",                                    // 4
        "2026-12-03 12:00:00 ＧＯＡＬ ゴ\r",                   // 5: a partial match only
        "2026-12-04 12:0\xD1:00 ゴール",                     // 6: a damaged byte inside the stamp
    };
    std::string bytes;
    std::vector<std::uint64_t> offsets;
    for (const std::string& line : lines) {
        offsets.push_back(bytes.size());
        bytes += line + "\n";
    }
    fs::create_directory(Dir / "s_1");   // a server's folder in a logs folder of the user's own
    WriteFile(Dir / "s_1" / "room_2026-12.log", bytes);
    chatlog::LogFile file{Dir / "s_1" / "room_2026-12.log", "s_1", "room", 2026, 12};

    // Shown with U+FFFD, the damaged stamp is no stamp: the whole line is the message.
    const auto damaged = Search(file, "2026-12-04");
    ASSERT_EQ(damaged.size(), 1u);
    EXPECT_EQ(damaged[0].Offset, offsets[6]);
    EXPECT_EQ(damaged[0].Stamp, "");
    EXPECT_EQ(damaged[0].Text, "2026-12-04 12:0\xEF\xBF\xBD:00 ゴール");

    auto hits = Search(file, "ゴール");
    ASSERT_EQ(hits.size(), 5u);
    EXPECT_EQ(hits[0].Offset, offsets[6]);
    hits.erase(hits.begin());
    EXPECT_EQ(hits[0].Offset, offsets[4]);
    EXPECT_EQ(hits[0].Stamp, "");
    EXPECT_EQ(hits[0].Text, "no stamp ゴール");
    EXPECT_EQ(hits[0].SortKey(file), "2026-12-00");
    EXPECT_EQ(hits[1].Offset, offsets[3]);
    EXPECT_EQ(hits[1].Text, "bob> \xEF\xBF\xBD broken ｺﾞｰﾙ");
    EXPECT_EQ(hits[2].Offset, offsets[2]);
    EXPECT_EQ(hits[2].Stamp, "2026-12-02 11:00:00");
    ASSERT_EQ(hits[2].Spans.size(), 2u);
    EXPECT_EQ(hits[2].Text.substr(hits[2].Spans[1].Begin, hits[2].Spans[1].End - hits[2].Spans[1].Begin), "ゴール");
    EXPECT_EQ(hits[3].Offset, offsets[0]);
    EXPECT_EQ(hits[3].Text.substr(hits[3].Spans[0].Begin, hits[3].Spans[0].End - hits[3].Spans[0].Begin), "ｺﾞｰﾙ");

    // Case and width fold; the stamp is not searched; the days asked for.
    EXPECT_EQ(Search(file, "goal").size(), 1u);
    EXPECT_TRUE(Search(file, "2026-12-01").empty());
    EXPECT_TRUE(Search(file, "").empty());
    chatlog::LogQuery day;
    day.From = day.To = chatlog::LocalDate{2026, 12, 2};
    const auto onDay = Search(file, "ゴール", day);
    ASSERT_EQ(onDay.size(), 4u);   // the two of that day, and the lines that have no date
    EXPECT_EQ(onDay[0].Offset, offsets[6]);
    EXPECT_EQ(onDay[2].Offset, offsets[3]);
    EXPECT_EQ(onDay[3].Offset, offsets[2]);

    // Cancelled before it starts: nothing.
    chatlog::LogSearcher searcher("ゴール");
    std::atomic<bool> cancel{true};
    std::vector<chatlog::LogHit> none;
    searcher.SearchFile(file, 0, {}, cancel, none);
    EXPECT_TRUE(none.empty());
}

TEST_F(LogSearchTest, EveryLineTheFindBarMatchesIsFoundAndNoOther)
{
    // Query, line, whether it is a hit. Each verdict is also the find bar's own
    // line search's, so the two cannot drift apart.
    const struct {
        std::string query, line;
        bool hit;
    } cases[] = {
        {"ss", "groß", true},              // one character that folds to several
        {"SS", "GROẞ", true},
        {"ß", "strasse", true},
        {"s", "ß", false},                 // a match inside one character is none
        {"st", "ﬆop", true},               // a ligature
        {"i\xCC\x87", "İstanbul", true},   // a capital that folds to two characters
        {"𐐨", "𐐀", true},                  // a case pair outside the basic plane
        {"𐐀", "𐐨", true},
        {"ガ", "ｶﾞ", true},
        {"ｶﾞ", "ガ", true},
        {"カ", "ｶﾞ", false},                // the voiced mark joins the kana before it
        {"ﾞ", "ｶﾞ", false},
        {"~", "〜", true},                  // wave dash, fullwidth tilde, tilde
        {"ｋ", "\xE2\x84\xAA", true},        // the Kelvin sign is a K
        {"ΣΑΣ", "σας", true},
        {"abc", "ＡＢＣ", true},
        {"abc", "ab c", false},
    };
    std::string bytes;
    std::vector<std::uint64_t> offsets;
    for (const auto& c : cases) {
        offsets.push_back(bytes.size());
        bytes += "2026-12-01 10:00:00 " + c.line + "\n";
    }
    fs::create_directory(Dir / "s_1");
    WriteFile(Dir / "s_1" / "room_2026-12.log", bytes);
    const chatlog::LogFile file{Dir / "s_1" / "room_2026-12.log", "s_1", "room", 2026, 12};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        TextSearch findBar(cases[i].query);
        EXPECT_EQ(findBar.CountInLine(cases[i].line) > 0, cases[i].hit) << cases[i].query << " in " << cases[i].line;
        bool found = false;
        for (const chatlog::LogHit& hit : Search(file, cases[i].query)) {
            const std::size_t line = static_cast<std::size_t>(
                std::find(std::begin(offsets), std::end(offsets), hit.Offset) - std::begin(offsets));
            ASSERT_LT(line, std::size(cases));
            found = found || line == i;
            // Other lines may match too; each only where the find bar agrees.
            EXPECT_GT(TextSearch(cases[i].query).CountInLine(cases[line].line), 0u)
                << cases[i].query << " found in " << cases[line].line;
        }
        EXPECT_EQ(found, cases[i].hit) << cases[i].query << " in " << cases[i].line;
    }
}

TEST_F(LogSearchTest, KeepsTheNewestLinesOfEveryFileAndCountsTheRest)
{
    // Two rooms of one month whose lines interleave in time, and an older month.
    // Only the newest `keep` lines found become hits; every line is counted.
    fs::create_directory(Dir / "s_1");
    const auto write = [&](const std::string& name, const std::string& day, const std::vector<int>& minutes) {
        std::string bytes;
        for (const int m : minutes) {
            const std::string time = day + " 10:" + (m < 10 ? "0" : "") + std::to_string(m);
            bytes += time + ":00 x> ｷｰﾊﾟｰ\n" + time + ":30 x> other\n";
        }
        WriteFile(Dir / "s_1" / name, bytes);
    };
    write("a_2026-12.log", "2026-12-01", {1, 3, 5, 7, 9, 11});
    write("b_2026-12.log", "2026-12-01", {2, 4, 6, 8, 10, 12});
    write("a_2026-11.log", "2026-11-30", {50, 51, 52});
    const std::vector<chatlog::LogFile> files = chatlog::ListLogFiles(Dir, {});
    ASSERT_EQ(files.size(), 3u);

    const struct {
        std::size_t keep;
        std::vector<std::vector<int>> perFile;   // the minutes each file gives, newest first
        std::vector<int> newest;                 // the newest `keep` of all
    } cases[] = {
        {3, {{11, 9, 7}, {12, 10}, {}}, {12, 11, 10}},
        {1, {{11}, {12}, {}}, {12}},
        {20, {{11, 9, 7, 5, 3, 1}, {12, 10, 8, 6, 4, 2}, {52, 51, 50}}, {12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 52, 51, 50}},
        {0, {{}, {}, {}}, {}},
    };
    for (const auto& c : cases) {
        chatlog::LogSearcher searcher("キーパー", c.keep);
        std::atomic<bool> cancel{false};
        std::vector<chatlog::LogHit> all;
        for (std::size_t i = 0; i < files.size(); ++i) {
            std::vector<chatlog::LogHit> hits;
            searcher.SearchFile(files[i], i, {}, cancel, hits);
            std::vector<int> minutes;
            for (const chatlog::LogHit& hit : hits) {
                EXPECT_EQ(hit.File, i);
                EXPECT_EQ(hit.Text, "x> ｷｰﾊﾟｰ");
                EXPECT_EQ(hit.SortKey(files[i]), hit.Stamp);
                minutes.push_back(std::stoi(hit.Stamp.substr(14, 2)));
            }
            EXPECT_EQ(minutes, c.perFile[i]) << "keep " << c.keep << ", file " << i;
            all.insert(all.end(), hits.begin(), hits.end());
        }
        EXPECT_EQ(searcher.Found(), 15u) << "keep " << c.keep;
        std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.Key > b.Key; });
        all.resize(std::min(all.size(), c.keep));
        std::vector<int> newest;
        for (const chatlog::LogHit& hit : all)
            newest.push_back(std::stoi(hit.Stamp.substr(14, 2)));
        EXPECT_EQ(newest, c.newest) << "keep " << c.keep;
    }

    // A time of other bytes than digits ranks by its bytes, above every digit,
    // as the window orders its hits: kept or not, the order is the same.
    WriteFile(Dir / "s_1" / "c_2026-12.log", "2026-12-01 10:00:\xC3\x9F x> ｷｰﾊﾟｰ\n2026-12-01 10:00:59 x> ｷｰﾊﾟｰ\n");
    chatlog::LogSearcher newestOnly("キーパー", 1);
    std::atomic<bool> cancel{false};
    std::vector<chatlog::LogHit> kept;
    newestOnly.SearchFile({Dir / "s_1" / "c_2026-12.log", "s_1", "c", 2026, 12}, 0, {}, cancel, kept);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].Stamp, "2026-12-01 10:00:\xC3\x9F");
}

TEST_F(LogSearchTest, HugeLinesAndLinesAcrossPiecesAreFoundOnceAndCut)
{
    // A line far longer than a piece, with the word at its start and far in;
    // many lines so that some cross the pieces' bounds.
    std::string bytes = "2026-12-01 10:00:00 needle " + std::string(9 * 1024 * 1024, 'x') + " needle\n";
    const std::uint64_t afterHuge = bytes.size();
    std::string filler;
    for (int i = 0; i < 200000; ++i)
        filler += "2026-12-01 10:00:00 line " + std::to_string(i) + (i % 1000 == 7 ? " NEEDLE" : "") + "\n";
    bytes += filler;
    fs::create_directory(Dir / "s_1");   // a server's folder in a logs folder of the user's own
    WriteFile(Dir / "s_1" / "room_2026-12.log", bytes);
    chatlog::LogFile file{Dir / "s_1" / "room_2026-12.log", "s_1", "room", 2026, 12};
    const auto hits = Search(file, "needle");
    ASSERT_EQ(hits.size(), 201u);
    EXPECT_EQ(hits.back().Offset, 0u);
    EXPECT_LE(hits.back().Text.size(), chatlog::MaxLineBytes + 3);
    EXPECT_TRUE(hits.back().Text.ends_with("…"));
    EXPECT_EQ(hits[199].Offset, afterHuge + filler.find("line 7 ") - 20);   // where its stamp starts
    for (std::size_t i = 0; i + 1 < hits.size(); ++i)
        ASSERT_GT(hits[i].Offset, hits[i + 1].Offset);
}

}  // namespace
