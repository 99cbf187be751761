// Searching every log: which files are searched and in what order, which lines
// match (the find bar's folding, the message only, the days asked for), their
// order and offsets, damaged and huge files, cancelling.

#include "HistoryPager.h"
#include "LogSearch.h"
#include "TempFolderTest.h"

#include <gtest/gtest.h>

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

    const auto hits = Search(file, "ゴール");
    ASSERT_EQ(hits.size(), 4u);
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
    EXPECT_TRUE(Search(file, "2026-12").empty());
    EXPECT_TRUE(Search(file, "").empty());
    chatlog::LogQuery day;
    day.From = day.To = chatlog::LocalDate{2026, 12, 2};
    const auto onDay = Search(file, "ゴール", day);
    ASSERT_EQ(onDay.size(), 3u);   // the two of that day, and the line that has no date
    EXPECT_EQ(onDay[1].Offset, offsets[3]);
    EXPECT_EQ(onDay[2].Offset, offsets[2]);

    // Cancelled before it starts: nothing.
    chatlog::LogSearcher searcher("ゴール");
    std::atomic<bool> cancel{true};
    std::vector<chatlog::LogHit> none;
    searcher.SearchFile(file, 0, {}, cancel, none);
    EXPECT_TRUE(none.empty());
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
