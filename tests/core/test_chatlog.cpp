// Keeping the conversation: reconnect waits, log file names from hostile room
// names, reading a log's tail, the log writer.

#include "ChatLogFiles.h"
#include "LogWriter.h"
#include "ReconnectBackoff.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace {

class ChatLogTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "kv_chatlog_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        Folder = pattern;
    }
    void TearDown() override { fs::remove_all(Folder); }

    static std::string Read(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

    fs::path Folder;
};

}  // namespace

TEST(ReconnectBackoff, DoublesFromTwoSecondsToTheCeilingWithinTheJitter)
{
    struct Case {
        double random;
        std::vector<std::int64_t> delays;
    };
    const Case cases[] = {
        {0.5, {2000, 4000, 8000, 16000, 32000, 60000, 60000}},
        {0.0, {1600, 3200, 6400, 12800, 25600, 48000, 48000}},
        {1.0, {2400, 4800, 9600, 19200, 38400, 72000, 72000}},
    };
    for (const Case& c : cases) {
        ReconnectBackoff backoff({}, [&] { return c.random; });
        for (std::size_t i = 0; i < c.delays.size(); ++i) {
            EXPECT_EQ(backoff.NextDelayMs(), c.delays[i]) << "random " << c.random << " attempt " << i + 1;
            EXPECT_EQ(backoff.Attempt(), int(i + 1));
        }
        backoff.Reset();
        EXPECT_EQ(backoff.NextDelayMs(), c.delays[0]);
    }
}

TEST(ReconnectBackoff, OnlyASettledSessionStartsTheWaitsAgain)
{
    // Sessions the server ends right after each login keep doubling to the ceiling.
    ReconnectBackoff backoff({}, [] { return 0.5; });
    std::vector<std::int64_t> delays;
    for (int i = 0; i < 7; ++i) {
        delays.push_back(backoff.NextDelayMs());
        backoff.SessionEnded(1000);
    }
    EXPECT_EQ(delays, (std::vector<std::int64_t>{2000, 4000, 8000, 16000, 32000, 60000, 60000}));
    backoff.SessionEnded(59999);
    EXPECT_EQ(backoff.NextDelayMs(), 60000);
    // One that stayed up a minute starts again from the first wait.
    backoff.SessionEnded(60000);
    EXPECT_EQ(backoff.Attempt(), 0);
    EXPECT_EQ(backoff.NextDelayMs(), 2000);
}

TEST(ChatLogNames, HostileRoomNamesStayInsideTheFolderAndApart)
{
    const std::vector<std::string> names = {
        "../../x", "..", ".", std::string(30, '.'), "a/b", "a%2Fb", "a\\b", std::string("\x01\x1f\x7f", 3),
        "", std::string("\0", 1), "\x81", "\x81\x3f", "a:b*c?", std::string(200, 'r'), std::string(200, 'r') + "2",
        "\x91\xd2\x8d\x87\x8e\xba",
    };
    std::set<std::string> stems;
    for (const std::string& name : names) {
        const std::string stem = chatlog::RoomFileStem(name);
        EXPECT_FALSE(stem.empty());
        EXPECT_LE(stem.size(), chatlog::MaxStemBytes) << stem;
        EXPECT_NE(stem.front(), '.') << stem;
        for (const char c : stem)
            EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 && c != '/' && c != '\\' && c != 0x7f) << stem;
        EXPECT_TRUE(stems.insert(stem).second) << "shared: " << stem;
        const fs::path file = fs::path("/logs/srv") / chatlog::MonthFileName(stem, 2026, 12);
        EXPECT_EQ(file.lexically_normal().parent_path(), fs::path("/logs/srv")) << stem;
    }
    EXPECT_EQ(chatlog::RoomFileStem("\x91\xd2\x8d\x87\x8e\xba"), "待合室");
    EXPECT_EQ(chatlog::ServerFolderName("127.0.0.1", 9010), "127.0.0.1_9010");
    EXPECT_EQ(chatlog::MonthFileName("待合室", 2026, 3), "待合室_2026-03.log");
}

TEST_F(ChatLogTest, TailComesFromTheEndOfLargeFilesAndAcrossMonths)
{
    std::string big;
    for (int i = 0; i < 3000; ++i)
        big += "line " + std::to_string(i) + std::string(90, '-') + "\n";
    Write(Folder / "room_2026-12.log", big);
    const auto tail = chatlog::ReadLastLines(Folder / "room_2026-12.log", 200);
    ASSERT_EQ(tail.size(), 200u);
    EXPECT_EQ(tail.front(), "line 2800" + std::string(90, '-'));
    EXPECT_EQ(tail.back(), "line 2999" + std::string(90, '-'));

    // A last line cut short by a crash, CR LF line ends, fewer lines than asked.
    Write(Folder / "room_2026-11.log", "a\r\nb\nc");
    EXPECT_EQ(chatlog::ReadLastLines(Folder / "room_2026-11.log", 10), (std::vector<std::string>{"a", "b", "c"}));
    Write(Folder / "room_2026-10.log", "old 1\nold 2\n");
    Write(Folder / "room_x_2026-12.log", "another room\n");
    Write(Folder / "empty_2026-12.log", "");
    EXPECT_TRUE(chatlog::ReadLastLines(Folder / "empty_2026-12.log", 5).empty());
    EXPECT_TRUE(chatlog::ReadLastLines(Folder / "missing.log", 5).empty());

    const auto room = chatlog::ReadRoomTail(Folder, "room", 3004);
    ASSERT_EQ(room.size(), 3004u);
    EXPECT_EQ(std::vector<std::string>(room.begin(), room.begin() + 5),
              (std::vector<std::string>{"old 2", "a", "b", "c", "line 0" + std::string(90, '-')}));
}

TEST_F(ChatLogTest, WriterAppendsStampedLinesKeepsWhatWasThereAndReportsAFailureOnce)
{
    Write(Folder / "blocked", "a file where a server folder should be");
    auto bad = std::make_shared<LogTarget>(LogTarget{Folder / "blocked" / "srv", "room"});
    auto good = std::make_shared<LogTarget>(LogTarget{Folder / "127.0.0.1_9010", "room"});
    const std::int64_t time = 1796648742;   // 2026-12-07
    const chatlog::LocalStamp stamp = chatlog::StampOf(time);
    const fs::path file = good->Folder / chatlog::MonthFileName("room", stamp.Year, stamp.Month);
    std::vector<std::string> reports;
    {
        LogWriter writer([&](const std::string& path, int) { reports.push_back(path); });
        writer.Append(good, time, "me> hello");
        ASSERT_TRUE(writer.FlushAndWait(std::chrono::seconds(10)));
        // Chat is private: the files the writer makes are the user's alone.
        EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
        for (int i = 0; i < 3; ++i) {
            writer.Append(bad, time, "lost");
            writer.Append(good, time, "kept");
            ASSERT_TRUE(writer.FlushAndWait(std::chrono::seconds(10)));
        }
        writer.Append(good, time, "bye");
    }   // destruction writes what waits
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("blocked"), std::string::npos);
    EXPECT_EQ(stamp.Text.substr(0, 8), "2026-12-");
    EXPECT_EQ(stamp.Text.size(), 20u);
    std::string expected;
    for (const char* line : {"me> hello", "kept", "kept", "kept", "bye"})
        expected += stamp.Text + line + "\n";
    EXPECT_EQ(Read(file), expected);
}

TEST_F(ChatLogTest, AFloodIsWrittenWithoutWaitingForTheInterval)
{
    auto target = std::make_shared<LogTarget>(LogTarget{Folder / "srv", "room"});
    const std::int64_t time = 1796648742;
    const chatlog::LocalStamp stamp = chatlog::StampOf(time);
    const fs::path file = target->Folder / chatlog::MonthFileName("room", stamp.Year, stamp.Month);
    const std::string line(100, 'x');
    LogWriter writer({}, std::chrono::hours(1));
    for (std::size_t bytes = 0; bytes <= LogWriter::EarlyWriteBytes; bytes += line.size())
        writer.Append(target, time, line);
    // Only the amount waiting can wake the writer here: the interval is an hour away.
    for (int i = 0; i < 1000 && !fs::exists(file); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(Read(file).substr(0, stamp.Text.size() + line.size() + 1), stamp.Text + line + "\n");
}
