// Keeping the conversation: log file names from hostile room names, reading a
// log's tail (damaged ones too), the log writer and the places it refuses.

#include "ChatLogFiles.h"
#include "LogSearch.h"
#include "LogWriter.h"
#include "TempFolderTest.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A server's folder in a logs folder of the user's own: the temporary folder
// above that is everyone's, and no log is read or written below it.
class ChatLogTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        Srv = Dir / "srv";
        ASSERT_TRUE(fs::create_directory(Srv));
    }

    fs::path Srv;
};

// Times the threads of this process other than the caller were woken up (left
// the CPU of their own accord): the writer's thread, in these tests.
long OtherThreadsSwitches()
{
    long total = 0;
    const std::string self = std::to_string(gettid());
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        if (task.path().filename() == self)
            continue;
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("voluntary_ctxt_switches:"))
                total += std::stol(line.substr(line.find(':') + 1));
        }
    }
    return total;
}

const std::string Replacement = "\xEF\xBF\xBD";   // U+FFFD
const std::string Ellipsis = "\xE2\x80\xA6";      // …

std::string Repeat(const std::string& piece, std::size_t times)
{
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

}  // namespace

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
    WriteFile(Srv / "room_2026-12.log", big);
    const auto tail = chatlog::ReadLastLines(Srv / "room_2026-12.log", 200);
    ASSERT_EQ(tail.size(), 200u);
    EXPECT_EQ(tail.front(), "line 2800" + std::string(90, '-'));
    EXPECT_EQ(tail.back(), "line 2999" + std::string(90, '-'));

    // A last line cut short by a crash, CR LF line ends, fewer lines than asked.
    WriteFile(Srv / "room_2026-11.log", "a\r\nb\nc");
    EXPECT_EQ(chatlog::ReadLastLines(Srv / "room_2026-11.log", 10), (std::vector<std::string>{"a", "b", "c"}));
    WriteFile(Srv / "room_2026-10.log", "old 1\nold 2\n");
    WriteFile(Srv / "room_x_2026-12.log", "another room\n");
    // Names of a month's length that are no month: neither the newest month nor any other.
    for (const char* name : {"room_2026_12.log", "room_2027-13.log", "room_20x6-12.log", "room_2026-1x.log"})
        WriteFile(Srv / name, "not a month\n");
    WriteFile(Srv / "empty_2026-12.log", "");
    EXPECT_TRUE(chatlog::ReadLastLines(Srv / "empty_2026-12.log", 5).empty());
    EXPECT_TRUE(chatlog::ReadLastLines(Srv / "missing.log", 5).empty());

    const auto room = chatlog::ReadRoomTail(Srv, "room", 3004);
    ASSERT_EQ(room.size(), 3004u);
    EXPECT_EQ(std::vector<std::string>(room.begin(), room.begin() + 5),
              (std::vector<std::string>{"old 2", "a", "b", "c", "line 0" + std::string(90, '-')}));
}

TEST_F(ChatLogTest, DamagedLinesReadBackAsValidUtf8CutToTheLongestWrittenLine)
{
    struct Case {
        const char* what;
        std::string bytes;   // the file's last line
        std::string line;    // as read back
    };
    const std::string longest(1024, 'x');
    const Case cases[] = {
        {"stray bytes", "ok \xff\xfe\xfd abc", "ok " + Repeat(Replacement, 3) + " abc"},
        {"a character cut short, then one whole", "\xE3\x81" "x\xE3\x81\x82", Replacement + "x\xE3\x81\x82"},
        {"a surrogate", "\xED\xA0\x80!", Repeat(Replacement, 3) + "!"},
        {"too large", "\xF4\x90\x80\x80", Repeat(Replacement, 4)},
        {"an overlong slash", "\xC0\xAF", Repeat(Replacement, 2)},
        {"NULs", std::string("a\0\0b", 4), "a" + Repeat(Replacement, 2) + "b"},
        {"the longest line", longest, longest},
        {"longer", longest + "y", longest + Ellipsis},
        {"never cut inside a character", Repeat("\xE3\x81\x82", 400), Repeat("\xE3\x81\x82", 341) + Ellipsis},
        {"a NUL tail after a crash", std::string(4096, '\0'), Repeat(Replacement, 341) + Ellipsis},
    };
    for (const Case& c : cases) {
        WriteFile(Srv / "room_2026-12.log", "before\n" + c.bytes + "\r\n");
        EXPECT_EQ(chatlog::ReadLastLines(Srv / "room_2026-12.log", 5), (std::vector<std::string>{"before", c.line}))
            << c.what;
    }
}

TEST_F(ChatLogTest, ReadingBackStopsAfterLookingBackAsFarAsTheLinesAskedCanTake)
{
    // 200 lines of the longest kind fit in the look-back; a longer run without a
    // line break hides what lies before it instead of being read whole.
    const std::string lines = "one\ntwo\n";
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> tail;
    };
    const Case cases[] = {
        {"2 MiB of NULs", lines + std::string(2u << 20, '\0'), {}},
        {"256 KiB without a line break", lines + std::string(256u << 10, 'x'), {}},
        {"the same, ended", lines + std::string(256u << 10, 'x') + "\nlast\n", {"last"}},
        {"100 KiB without a line break", lines + std::string(100u << 10, 'x'), {"one", "two", std::string(1024, 'x') + Ellipsis}},
        {"a line that begins right where looking back stops",
         lines + std::string(chatlog::LookBackBytes(200) - 1, 'x') + "\n", {std::string(1024, 'x') + Ellipsis}},
    };
    for (const Case& c : cases) {
        WriteFile(Srv / "room_2026-12.log", c.bytes);
        EXPECT_EQ(chatlog::ReadLastLines(Srv / "room_2026-12.log", 200), c.tail) << c.what;
        EXPECT_EQ(chatlog::ReadRoomTail(Srv, "room", 200), c.tail) << c.what;
    }
    // The look-back is shared by the months: a damaged month hides the older ones.
    WriteFile(Srv / "room_2026-12.log", cases[0].bytes);
    WriteFile(Srv / "room_2026-11.log", "november\n");
    EXPECT_TRUE(chatlog::ReadRoomTail(Srv, "room", 200).empty());
    WriteFile(Srv / "room_2026-12.log", "december\n");
    EXPECT_EQ(chatlog::ReadRoomTail(Srv, "room", 200), (std::vector<std::string>{"november", "december"}));
}

TEST_F(ChatLogTest, TheWriterSleepsWhileNothingWaits)
{
    auto target = std::make_shared<LogTarget>(LogTarget{Srv / "srv", "room"});
    LogWriter writer({}, std::chrono::milliseconds(5));
    writer.Append(target, 1796648742, "one line");
    ASSERT_TRUE(writer.FlushAndWait(std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const long before = OtherThreadsSwitches();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));   // 60 intervals
    EXPECT_LE(OtherThreadsSwitches() - before, 1);
}

TEST_F(ChatLogTest, WriterAppendsStampedLinesKeepsWhatWasThereAndReportsAFailureOnce)
{
    WriteFile(Srv / "blocked", "a file where a server folder should be");
    auto bad = std::make_shared<LogTarget>(LogTarget{Srv / "blocked" / "srv", "room"});
    auto good = std::make_shared<LogTarget>(LogTarget{Srv / "127.0.0.1_9010", "room"});
    const std::int64_t time = 1796648742;   // 2026-12-07
    const chatlog::LocalStamp stamp = chatlog::StampOf(time);
    const fs::path file = good->Folder / chatlog::MonthFileName("room", stamp.Year, stamp.Month);
    std::vector<std::string> reports;
    // An earlier run left the file inside a line (disk full, killed, power lost).
    fs::create_directory(good->Folder, Srv);
    WriteFile(file, "earlier> cut sh");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    {
        LogWriter writer([&](const LogFailure& failure) { reports.push_back(failure.Problem.Path); });
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
    std::string expected = "earlier> cut sh\n";
    for (const char* line : {"me> hello", "kept", "kept", "kept", "bye"})
        expected += stamp.Text + line + "\n";
    EXPECT_EQ(ReadFile(file), expected);
}

TEST_F(ChatLogTest, AFloodIsWrittenWithoutWaitingForTheInterval)
{
    auto target = std::make_shared<LogTarget>(LogTarget{Srv / "srv", "room"});
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
    EXPECT_EQ(ReadFile(file).substr(0, stamp.Text.size() + line.size() + 1), stamp.Text + line + "\n");
}

TEST_F(ChatLogTest, LinksAndPlacesOthersCanChangeAreNeitherWrittenNorRead)
{
    // Logs folder "logs", server folder "srv", file "room_2026-12.log"; whatever
    // a planted link leads to holds "secret" and must stay as it is.
    const std::int64_t time = 1796648742;   // 2026-12-07
    const chatlog::LocalStamp stamp = chatlog::StampOf(time);
    const std::string fileName = chatlog::MonthFileName("room", stamp.Year, stamp.Month);
    const fs::path logs = Srv / "logs";
    const fs::path server = logs / "srv";
    const fs::path elsewhere = Srv / "elsewhere";
    const bool root = geteuid() == 0;   // only root can give a place to another user
    enum Setup { FileLink, ServerLink, LogsLink, ServerGroupWritable, LogsOthersWritable, FileOthersWritable,
                 FileForeign, ServerForeign, Fifo, Socket };
    using chatlog::Fault;
    using chatlog::Place;
    struct Case {
        const char* what;
        Setup setup;
        Place where;
        Fault why;
    };
    const Case cases[] = {
        {"the file is a link", FileLink, Place::File, Fault::Link},
        {"the server folder is a link", ServerLink, Place::ServerFolder, Fault::Link},
        {"the logs folder is a link", LogsLink, Place::LogsFolder, Fault::Link},
        {"the server folder is group-writable", ServerGroupWritable, Place::ServerFolder, Fault::OthersCanWrite},
        {"the logs folder is writable by all", LogsOthersWritable, Place::LogsFolder, Fault::OthersCanWrite},
        {"the file is writable by all", FileOthersWritable, Place::File, Fault::OthersCanWrite},
        {"the file is another user's", FileForeign, Place::File, Fault::NotOwn},
        {"the server folder is another user's", ServerForeign, Place::ServerFolder, Fault::NotOwn},
        {"the file is a FIFO", Fifo, Place::File, Fault::WrongKind},
        {"the file is a socket", Socket, Place::File, Fault::WrongKind},
    };
    for (const Case& c : cases) {
        if ((c.setup == FileForeign || c.setup == ServerForeign) && !root)
            continue;
        fs::remove_all(logs);
        fs::remove_all(elsewhere);
        fs::create_directories(elsewhere / "srv");
        fs::permissions(elsewhere, fs::perms::owner_all);
        fs::permissions(elsewhere / "srv", fs::perms::owner_all);
        const fs::path secret = elsewhere / "srv" / fileName;
        WriteFile(secret, "secret\n");
        fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
        if (c.setup == LogsLink) {
            fs::create_directory_symlink(elsewhere, logs);
        } else {
            fs::create_directories(server);
            fs::permissions(logs, fs::perms::owner_all);
            fs::permissions(server, fs::perms::owner_all);
        }
        // Where the planted words are: through the link, or in the file itself.
        fs::path planted = secret;
        const auto plantFile = [&](fs::perms perms) {
            planted = server / fileName;
            WriteFile(planted, "secret\n");
            fs::permissions(planted, perms);
        };
        const fs::perms own = fs::perms::owner_read | fs::perms::owner_write;
        switch (c.setup) {
        case FileLink: fs::create_symlink(secret, server / fileName); break;
        case ServerLink: fs::remove(server); fs::create_directory_symlink(elsewhere / "srv", server); break;
        case LogsLink: break;
        case ServerGroupWritable:
            plantFile(own);
            fs::permissions(server, fs::perms::group_write, fs::perm_options::add);
            break;
        case LogsOthersWritable:
            plantFile(own);
            fs::permissions(logs, fs::perms::all);
            break;
        case FileOthersWritable: plantFile(fs::perms::all); break;
        case FileForeign:
            plantFile(own);
            ASSERT_EQ(chown(planted.c_str(), 65534, 65534), 0);
            break;
        case ServerForeign:
            plantFile(own);
            ASSERT_EQ(chown(server.c_str(), 65534, 65534), 0);
            break;
        case Fifo: ASSERT_EQ(mkfifo((server / fileName).c_str(), 0600), 0); break;
        case Socket: {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const std::string path = (server / fileName).string();
            ASSERT_LT(path.size(), sizeof address.sun_path);
            path.copy(address.sun_path, path.size());
            const int s = socket(AF_UNIX, SOCK_STREAM, 0);
            ASSERT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
            close(s);
            break;
        }
        }

        // Nothing is read through it either.
        EXPECT_TRUE(chatlog::ReadRoomTail(server, "room", 10).empty()) << c.what;
        // The search leaves it out too, and says which place and why, as the writer does.
        std::vector<chatlog::PlaceProblem> refused;
        EXPECT_TRUE(chatlog::ListLogFiles(logs, {}, &refused).empty()) << c.what;
        const fs::path refusedPlace =
            c.where == Place::LogsFolder ? logs : c.where == Place::ServerFolder ? server : server / fileName;
        ASSERT_EQ(refused.size(), 1u) << c.what;
        EXPECT_EQ(refused[0].Where, c.where) << c.what;
        EXPECT_EQ(refused[0].Why, c.why) << c.what;
        EXPECT_EQ(refused[0].Path, refusedPlace.string()) << c.what;
        std::vector<LogFailure> reports;
        {
            LogWriter writer([&](const LogFailure& failure) { reports.push_back(failure); });
            auto target = std::make_shared<LogTarget>(LogTarget{server, "room"});
            for (int i = 0; i < 3; ++i) {
                writer.Append(target, time, "private words");
                ASSERT_TRUE(writer.FlushAndWait(std::chrono::seconds(10))) << c.what;
            }
        }
        EXPECT_EQ(ReadFile(planted), "secret\n") << c.what;
        ASSERT_EQ(reports.size(), 1u) << c.what;
        EXPECT_EQ(reports[0].Problem.Where, c.where) << c.what;
        EXPECT_EQ(reports[0].Problem.Why, c.why) << c.what;
        const fs::path place = c.where == Place::LogsFolder ? logs : c.where == Place::ServerFolder ? server : server / fileName;
        EXPECT_EQ(reports[0].Problem.Path, place.string()) << c.what;
    }
}

TEST_F(ChatLogTest, LinesDroppedBecauseTooMuchWaitsAreReportedAsABacklogOnce)
{
    auto target = std::make_shared<LogTarget>(LogTarget{Srv / "srv", "room"});
    const std::int64_t time = 1796648742;
    const chatlog::LocalStamp stamp = chatlog::StampOf(time);
    std::vector<LogFailure> reports;
    LogWriter writer([&](const LogFailure& failure) { reports.push_back(failure); }, std::chrono::hours(1));
    const std::string tooMuch(LogWriter::MaxWaitingBytes + 1, 'x');
    writer.Append(target, time, tooMuch);
    writer.Append(target, time, tooMuch);
    writer.Append(target, time, "kept");
    ASSERT_TRUE(writer.FlushAndWait(std::chrono::seconds(10)));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].Backlog);
    EXPECT_EQ(reports[0].Problem.Error, 0);   // no disk error: the disk did not keep up
    EXPECT_EQ(reports[0].Problem.Path, (target->Folder / chatlog::MonthFileName("room", stamp.Year, stamp.Month)).string());
    EXPECT_EQ(ReadFile(reports[0].Problem.Path), stamp.Text + "kept\n");
}
