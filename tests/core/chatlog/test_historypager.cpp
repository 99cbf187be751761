// Reading a room's logs backwards a page at a time: every line once, in order,
// over its months, whatever the page size; untrusted bytes cleaned; a line of any
// length read in bounded memory and cut.

#include "HistoryPager.h"
#include "TempFolderTest.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The logs are read only from a server's folder inside a logs folder of the
// user's own (the temporary folder's parent is everyone's): Srv is that folder.
class HistoryPagerTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        Srv = Dir / "srv";
        ASSERT_TRUE(fs::create_directory(Srv));
    }
    fs::path Srv;
};

std::vector<std::string> ReadAllBackwards(chatlog::HistoryPager& pager, std::size_t page)
{
    std::vector<std::string> all;
    for (;;) {
        std::vector<std::string> older = pager.Older(page);
        EXPECT_LE(older.size(), page);
        if (older.empty())
            break;
        all.insert(all.begin(), older.begin(), older.end());
    }
    return all;
}

TEST_F(HistoryPagerTest, LinesLookAsTheRestoredOnesHoweverLong)
{
    // What the tail reader shows for a line, the pager shows too, though it reads
    // no more of a line than it keeps.
    std::string longKana;
    for (int i = 0; i < 400; ++i)
        longKana += "あ";   // 3 bytes each: 1024 is not a character's end
    const std::string raws[] = {
        "plain", "crlf\r", "\r\r", "a\xFF" "b", "\x82\xA0 cp932", "\xE3\x81", "\xED\xA0\x80", "\xC0\xAF",
        "\xF4\x90\x80\x80", std::string("nul\0in", 6), std::string(2000, 'x'), std::string(1025, 'y'),
        std::string(1030, 'z') + "\r", longKana, std::string(1023, 'w') + "\xE3\x81\x82",
    };
    std::string bytes;
    for (const std::string& raw : raws)
        bytes += raw + "\n";
    WriteFile(Srv / "room_2026-12.log", bytes);
    chatlog::HistoryPager pager(Srv, "room");
    const std::vector<std::string> lines = ReadAllBackwards(pager, 4);
    ASSERT_EQ(lines.size(), std::size(raws));
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], chatlog::RestoredLine(raws[i])) << i;
    EXPECT_EQ(lines[9], "nul\xEF\xBF\xBDin");
    EXPECT_EQ(lines[10], std::string(1024, 'x') + "…");
    EXPECT_EQ(lines[13], longKana.substr(0, 1023) + "…");
}

TEST_F(HistoryPagerTest, EveryLineOnceInOrderOverTheMonthsWhateverThePage)
{
    std::string december;
    for (int i = 0; i < 3000; ++i)
        december += "2026-12-01 10:00:00 line " + std::to_string(i) + "\n";
    WriteFile(Srv / "room_2026-12.log", december);
    WriteFile(Srv / "room_2026-11.log", "a\r\n\nb\nc");   // an empty line, CR LF, no final line end
    WriteFile(Srv / "room_2026-09.log", "");
    WriteFile(Srv / "room_2026-10.log", "old 1\nold 2\n");
    WriteFile(Srv / "room_x_2026-12.log", "another room\n");
    WriteFile(Srv / "room_2026-08.log.bak", "not a month\n");
    for (const char* name : {"room_2026_12.log", "room_2027-00.log", "room_2026-1x.log"})
        WriteFile(Srv / name, "not a month\n");
    std::vector<std::string> expected = {"old 1", "old 2", "a", "", "b", "c"};
    for (int i = 0; i < 3000; ++i)
        expected.push_back("2026-12-01 10:00:00 line " + std::to_string(i));

    for (const std::size_t page : {1, 7, 200, 5000}) {
        chatlog::HistoryPager pager(Srv, "room");
        EXPECT_FALSE(pager.AtStart());
        EXPECT_EQ(ReadAllBackwards(pager, page), expected) << "page " << page;
        EXPECT_TRUE(pager.AtStart());
    }

    // The point is fixed when the pager is made: lines written later are not history.
    chatlog::HistoryPager pager(Srv, "room");
    WriteFile(Srv / "room_2026-12.log", december + "later\n");
    EXPECT_EQ(pager.Older(1), std::vector<std::string>{expected.back()});
    // A place taken and gone back to reads the same lines again.
    const chatlog::HistoryPager::Position place = pager.Where();
    const std::vector<std::string> page = pager.Older(3000);
    ASSERT_EQ(page.size(), 3000u);
    EXPECT_EQ(page.front(), "c");
    pager.Seek(place);
    EXPECT_EQ(pager.Older(3000), page);

    chatlog::HistoryPager none(Srv, "nobody");
    EXPECT_TRUE(none.AtStart());
    EXPECT_TRUE(none.Older(10).empty());
}

TEST_F(HistoryPagerTest, DamagedLogsAreReadInBoundedPiecesAndCleaned)
{
    // 3 MB without a line end, lines longer than the cut, bytes of another encoding,
    // a file that shrank after the pager was made.
    const std::string huge(3 * 1024 * 1024, 'h');
    WriteFile(Srv / "room_2026-12.log", "first\n" + huge + "\n" + std::string(5000, 'y') + "\nsjis \x82\xA0\n");
    WriteFile(Srv / "room_2026-11.log", huge);
    WriteFile(Srv / "room_2026-10.log", "shrinks away\nand more\n");
    chatlog::HistoryPager pager(Srv, "room");
    WriteFile(Srv / "room_2026-10.log", "gone");
    const std::vector<std::string> expected = {
        std::string(1024, 'h') + "…", "first", std::string(1024, 'h') + "…", std::string(1024, 'y') + "…",
        "sjis \xEF\xBF\xBD\xEF\xBF\xBD"};   // as the tail reader shows them
    EXPECT_EQ(ReadAllBackwards(pager, 2), expected);
    EXPECT_TRUE(pager.AtStart());
}

TEST_F(HistoryPagerTest, ACancelledReadEndsAtOnceAndASeekReadsAgain)
{
    // A tab that goes while its page is read stops the read instead of waiting for it.
    WriteFile(Srv / "room_2026-12.log", "a\nb\nc\n");
    chatlog::HistoryPager pager(Srv, "room");
    const chatlog::HistoryPager::Position place = pager.Where();
    pager.Cancel();
    EXPECT_TRUE(pager.Older(2).empty());
    EXPECT_FALSE(pager.AtStart());
    pager.Seek(place);
    EXPECT_EQ(pager.Older(2), (std::vector<std::string>{"b", "c"}));
}

TEST_F(HistoryPagerTest, WithAScanLimitALongLineComesInPiecesEitherWay)
{
    // For reads that must not take long: a run without a line end is looked at a
    // limited piece at a time, each piece a line; the line end after a piece ends it.
    const std::string huge(300000, 'h');
    WriteFile(Srv / "room_2026-12.log", "a\n" + huge + "\nz\n");
    const std::string piece = std::string(1024, 'h') + "…";
    const std::vector<std::string> expected = {"a", piece, piece, piece, "z"};
    chatlog::HistoryPager pager(Srv, "room");
    pager.SetScanLimit(100000);
    EXPECT_EQ(ReadAllBackwards(pager, 2), expected);
    EXPECT_EQ(chatlog::ReadLinesFrom(Srv / "room_2026-12.log", 0, 10, 100000), expected);
    EXPECT_EQ(chatlog::ReadLinesFrom(Srv / "room_2026-12.log", 0, 10, 70000),
              (std::vector<std::string>{"a", piece, piece, piece, piece, piece, "z"}));
    // The place after a line: no further than the limit into it.
    chatlog::HistoryPager seek(Srv, "room");
    seek.SetScanLimit(100000);
    ASSERT_TRUE(seek.SeekAfterLine("room_2026-12.log", 2));
    EXPECT_EQ(seek.Where().Offset, 100002u);
    EXPECT_EQ(seek.Older(2), (std::vector<std::string>{"a", piece}));
}

TEST_F(HistoryPagerTest, LinesAroundAPlaceForwardsAndBackwards)
{
    std::string november, december;
    for (int i = 0; i < 30; ++i)
        november += "n" + std::to_string(i) + "\n";
    december = "d0\n" + std::string(5000, 'L') + "\nd2\r\nd3";
    WriteFile(Srv / "room_2026-11.log", november);
    WriteFile(Srv / "room_2026-12.log", december);
    const fs::path file = Srv / "room_2026-12.log";
    EXPECT_EQ(chatlog::ReadLinesFrom(file, 0, 2), (std::vector<std::string>{"d0", std::string(1024, 'L') + "…"}));
    EXPECT_EQ(chatlog::ReadLinesFrom(file, 3, 10),
              (std::vector<std::string>{std::string(1024, 'L') + "…", "d2", "d3"}));
    EXPECT_TRUE(chatlog::ReadLinesFrom(file, december.size(), 3).empty());
    EXPECT_TRUE(chatlog::ReadLinesFrom(Srv / "missing.log", 0, 3).empty());

    // The next page ends with the line asked for, and goes on into the month before.
    chatlog::HistoryPager pager(Srv, "room");
    ASSERT_TRUE(pager.SeekAfterLine("room_2026-12.log", 3));
    EXPECT_EQ(pager.Older(3), (std::vector<std::string>{"n29", "d0", std::string(1024, 'L') + "…"}));
    EXPECT_EQ(pager.Older(1), std::vector<std::string>{"n28"});
    ASSERT_TRUE(pager.SeekAfterLine("room_2026-11.log", 0));
    EXPECT_EQ(pager.Older(5), std::vector<std::string>{"n0"});
    const chatlog::HistoryPager::Position place = pager.Where();
    EXPECT_FALSE(pager.SeekAfterLine("room_2026-10.log", 0));
    EXPECT_FALSE(pager.SeekAfterLine("room_2026-12.log", december.size()));
    EXPECT_FALSE(pager.SeekAfterLine("../room_2026-12.log", 0));
    EXPECT_EQ(pager.Where(), place);
    EXPECT_TRUE(chatlog::HistoryPager::Before({1, 5}, {0, 0}));
    EXPECT_TRUE(chatlog::HistoryPager::Before({0, 4}, {0, 5}));
    EXPECT_FALSE(chatlog::HistoryPager::Before({0, 5}, {1, 900}));
}

}  // namespace
