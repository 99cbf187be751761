#include "IniFile.h"
#include "TempFolderTest.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class IniFileTest : public TempFolderTest {
protected:
    std::set<std::string> FolderEntries() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(Folder))
            names.insert(entry.path().filename().string());
        return names;
    }
    mode_t ModeOf(const std::string& path) const
    {
        struct stat status {};
        EXPECT_EQ(stat(path.c_str(), &status), 0);
        return status.st_mode & 07777;
    }
};

struct ReadCase {
    const char* What;
    std::string File;
    std::string Section;
    std::string Key;
    std::string Expected;
};

TEST_F(IniFileTest, ReadStringFindsTheRightValue)
{
    const std::string longValue(3000, 'a');
    const ReadCase cases[] = {
        {"exact names", "[Form]\r\nTop=5\r\n", "Form", "Top", "5"},
        {"case of names ignored", "[fORM]\r\ntOP=5\r\n", "Form", "TOP", "5"},
        {"LF line ends", "[S]\nk=v\n", "S", "k", "v"},
        {"last line without line end", "[S]\r\nk=v", "S", "k", "v"},
        {"blanks around names and value", " [ S ] \r\n \tk \t= \t a b \t\r\n", "S", "k", "a b"},
        {"empty value is not missing", "[S]\r\nk=\r\n", "S", "k", ""},
        {"double quotes removed", "[S]\r\nk= \"  a \" \r\n", "S", "k", "  a "},
        {"single quotes removed", "[S]\r\nk='a'\r\n", "S", "k", "a"},
        {"only one pair removed", "[S]\r\nk=\"\"a\"\"\r\n", "S", "k", "\"a\""},
        {"mismatched quotes kept", "[S]\r\nk=\"a'\r\n", "S", "k", "\"a'"},
        {"lone quote kept", "[S]\r\nk=\"\r\n", "S", "k", "\""},
        {"value holds equals signs", "[S]\r\nk=a=b\r\n", "S", "k", "a=b"},
        {"first section of a name wins", "[S]\r\nk=1\r\n[s]\r\nk=2\r\n", "S", "k", "1"},
        {"first key of a name wins", "[S]\r\nk=1\r\nK=2\r\n", "S", "k", "1"},
        {"key of another section not seen", "[A]\r\nk=1\r\n[B]\r\n", "B", "k", "def"},
        {"key before any section not seen", "k=1\r\n[S]\r\n", "S", "k", "def"},
        {"comment is no key", "[S]\r\n;k=1\r\n", "S", ";k", "def"},
        {"missing section", "[S]\r\nk=1\r\n", "T", "k", "def"},
        {"CP932 value kept", "[S]\r\nk=\x91\xd2\x8d\x87\x8e\xba\r\n", "S", "k",
         "\x91\xd2\x8d\x87\x8e\xba"},
        {"trail byte is no letter to fold", "[\x83\x41]\r\nk=1\r\n", "\x83\x61", "k", "def"},
        {"trail byte compared exactly", "[\x82\x41]\r\nk=1\r\n", "\x82\x61", "k", "def"},
        {"letters after a CP932 character folded", "[\x83\x41x]\r\nk=1\r\n", "\x83\x41X", "k", "1"},
        {"CP932 key names", "[S]\r\n\x83\x41=1\r\n\x83\x61=2\r\n", "S", "\x83\x61", "2"},
        {"bracket as trail byte", "[\x81\x5d]\r\nk=1\r\n", "\x81\x5d", "k", "1"},
        {"cut at 2047 bytes", "[S]\r\nk=" + longValue + "\r\n", "S", "k", std::string(2047, 'a')},
        {"2047 bytes kept whole", "[S]\r\nk=" + std::string(2047, 'b') + "\r\n", "S", "k",
         std::string(2047, 'b')},
    };
    for (const ReadCase& c : cases) {
        const IniFile ini = LoadBytes(c.File);
        EXPECT_EQ(ini.ReadString(c.Section, c.Key, "def"), c.Expected) << c.What;
    }
}

TEST_F(IniFileTest, MissingFileIsEmptyAndUnreadableFileIsReported)
{
    IniFile ini;
    EXPECT_TRUE(ini.Load(Path));
    EXPECT_EQ(ini.ReadString("S", "k", "def"), "def");
    EXPECT_EQ(ini.Bytes(), "");

    EXPECT_FALSE(ini.Load(Folder));  // a folder cannot be read as a file
    EXPECT_EQ(ini.LoadFailure(), "ファイルではなくフォルダです");
    EXPECT_EQ(ini.Bytes(), "");
}

TEST_F(IniFileTest, ReadIntegerAcceptsDecimalAndHexOnlyWhenWhole)
{
    const struct {
        std::string Value;
        int Expected;
    } cases[] = {
        {"0x2332", 9010},      {"0X2332", 9010},  {"$2332", 9010},    {"-$10", -16},
        {"9010x", -7},         {"-5", -5},        {"+7", 7},          {"", -7},
        {"0x", -7},            {"$", -7},         {"-", -7},          {"0x-5", -7},
        {"-0x10", -7},         {"0xg", -7},       {"abc", -7},        {"12 3", -7},
        {" 42 ", 42},          {"\"7\"", 7},      {"007", 7},         {"0x7FFFFFFF", INT_MAX},
        {"0x80000000", -7},    {"2147483647", INT_MAX}, {"2147483648", -7},
        {"-2147483648", INT_MIN}, {"-2147483649", -7}, {"99999999999999999999", -7},
    };
    for (const auto& c : cases) {
        const IniFile ini = LoadBytes("[S]\r\nk=" + c.Value + "\r\n");
        EXPECT_EQ(ini.ReadInteger("S", "k", -7), c.Expected) << '"' << c.Value << '"';
    }
    const IniFile empty = LoadBytes("");
    EXPECT_EQ(empty.ReadInteger("S", "k", 12), 12);
}

TEST_F(IniFileTest, ReadBoolIsAnyNonZeroInteger)
{
    const struct {
        std::string Value;
        bool WithDefaultTrue;
        bool WithDefaultFalse;
    } cases[] = {
        {"0", false, false}, {"1", true, true}, {"5", true, true},
        {"-1", true, true},  {"abc", true, false}, {"", true, false},
    };
    for (const auto& c : cases) {
        const IniFile ini = LoadBytes("[S]\r\nb=" + c.Value + "\r\n");
        EXPECT_EQ(ini.ReadBool("S", "b", true), c.WithDefaultTrue) << c.Value;
        EXPECT_EQ(ini.ReadBool("S", "b", false), c.WithDefaultFalse) << c.Value;
    }
}

TEST_F(IniFileTest, UntouchedFileIsKeptByteForByte)
{
    const std::string file =
        "; head comment\r\n"
        "stray line before sections\n"
        "\r\n"
        "  [Form]  \r\n"
        "Top = 10 \r\n"
        "\tmalformed line\r\n"
        "[\x91\xd2\x8d\x87\x8e\xba]\n"
        "\x83\x41=\x83\x61\r\n"
        "last=no line end\r";
    IniFile ini = LoadBytes(file);
    EXPECT_EQ(ini.Bytes(), file);
    ASSERT_EQ(ini.Save(), std::nullopt);
    EXPECT_EQ(ReadRaw(), file);
}

struct WriteCase {
    const char* What;
    std::string File;
    std::string Section;
    std::string Key;
    std::string Value;
    std::string Expected;
};

TEST_F(IniFileTest, WriteStringChangesOnlyItsOwnLine)
{
    const std::string rich =
        "; comment\r\n"
        "[Form]\r\n"
        "  Top = 10 \r\n"
        "Odd=\x83\x41\n"
        "\r\n"
        "[Common]\r\n"
        "IP=1.2.3.4\r\n";
    const WriteCase cases[] = {
        {"replace keeps indentation, spelling and every other line", rich, "form", "TOP", "20",
         "; comment\r\n[Form]\r\n  Top=20\r\nOdd=\x83\x41\n\r\n[Common]\r\nIP=1.2.3.4\r\n"},
        {"replace keeps the line's own LF", rich, "Form", "Odd", "x",
         "; comment\r\n[Form]\r\n  Top = 10 \r\nOdd=x\n\r\n[Common]\r\nIP=1.2.3.4\r\n"},
        {"new key after the last key, before the blank line", rich, "Form", "Left", "5",
         "; comment\r\n[Form]\r\n  Top = 10 \r\nOdd=\x83\x41\nLeft=5\r\n\r\n[Common]\r\nIP=1.2.3.4\r\n"},
        {"new key at the end of the last section", rich, "COMMON", "Name", "\x83\x41",
         rich + "Name=\x83\x41\r\n"},
        {"new section at the end", rich, "Room1", "Name", "a", rich + "[Room1]\r\nName=a\r\n"},
        {"new section after a last line without line end", "[A]\r\nx=1", "B", "k", "v",
         "[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
        {"new key after a last line without line end", "[A]\r\nx=1", "A", "k", "v",
         "[A]\r\nx=1\r\nk=v\r\n"},
        {"new key in a section without keys", "[A]\r\n; note\r\n[B]\r\n", "A", "k", "v",
         "[A]\r\nk=v\r\n; note\r\n[B]\r\n"},
        {"new key before a trailing comment", "[A]\r\nx=1\r\n; about B\r\n[B]\r\n", "A", "k", "v",
         "[A]\r\nx=1\r\nk=v\r\n; about B\r\n[B]\r\n"},
        {"empty file", "", "S", "k", "v", "[S]\r\nk=v\r\n"},
        {"only the first of duplicate keys", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "3",
         "[S]\r\nk=3\r\nk=2\r\n"},
        {"only in the first of duplicate sections", "[S]\r\n[S]\r\nk=1\r\n", "S", "k", "3",
         "[S]\r\nk=3\r\n[S]\r\nk=1\r\n"},
        {"trail byte letter makes another section", "[\x83\x41]\r\nk=1\r\n", "\x83\x61", "k", "2",
         "[\x83\x41]\r\nk=1\r\n[\x83\x61]\r\nk=2\r\n"},
        {"key outside sections is not reused", "k=1\r\n", "S", "k", "2", "k=1\r\n[S]\r\nk=2\r\n"},
        {"value ends at a line break", "", "S", "k", "a\r\n[Evil]", "[S]\r\nk=a\r\n"},
        {"outer blanks quoted", "", "S", "k", " a ", "[S]\r\nk=\" a \"\r\n"},
        {"outer quotes quoted", "", "S", "k", "'a'", "[S]\r\nk=\"'a'\"\r\n"},
        {"inner quote left alone", "", "S", "k", "a\"b", "[S]\r\nk=a\"b\r\n"},
    };
    for (const WriteCase& c : cases) {
        IniFile ini = LoadBytes(c.File);
        ini.WriteString(c.Section, c.Key, c.Value);
        EXPECT_EQ(ini.Bytes(), c.Expected) << c.What;
    }
}

TEST_F(IniFileTest, WrittenValuesReadBackAsGiven)
{
    const std::string values[] = {
        "", "plain", " lead", "trail\t", "\"q\"", "'q'", "\"", "\x91\xd2\x8d\x87\x8e\xba", "a=b", ";x",
    };
    IniFile ini = LoadBytes("");
    for (const std::string& value : values) {
        ini.WriteString("S", "k", value);
        ASSERT_EQ(ini.Save(), std::nullopt);
        IniFile reread;
        ASSERT_TRUE(reread.Load(Path));
        EXPECT_EQ(reread.ReadString("S", "k", "def"), value);
    }
    ini.WriteInteger("S", "n", -2147483647 - 1);
    ini.WriteBool("S", "t", true);
    ini.WriteBool("S", "f", false);
    EXPECT_EQ(ini.ReadInteger("S", "n", 0), INT_MIN);
    EXPECT_EQ(ini.ReadString("S", "t", ""), "1");
    EXPECT_EQ(ini.ReadString("S", "f", ""), "0");
}

TEST_F(IniFileTest, SaveCreatesNewFileReadableOnlyByItsOwner)
{
    const mode_t oldMask = umask(0);
    IniFile ini;
    ASSERT_TRUE(ini.Load(Path));
    ini.WriteString("Room1", "Password", "secret");
    const auto error = ini.Save();
    umask(oldMask);
    ASSERT_EQ(error, std::nullopt);
    EXPECT_EQ(ReadRaw(), "[Room1]\r\nPassword=secret\r\n");
    EXPECT_EQ(ModeOf(Path), 0600u);
    EXPECT_EQ(FolderEntries(), std::set<std::string>{"KVCHAT.INI"});
}

TEST_F(IniFileTest, SaveKeepsModeOfExistingFile)
{
    WriteRaw("[S]\r\nk=1\r\n");
    ASSERT_EQ(chmod(Path.c_str(), 0640), 0);
    IniFile ini;
    ASSERT_TRUE(ini.Load(Path));
    ini.WriteString("S", "k", "2");
    ASSERT_EQ(ini.Save(), std::nullopt);
    EXPECT_EQ(ReadRaw(), "[S]\r\nk=2\r\n");
    EXPECT_EQ(ModeOf(Path), 0640u);
}

TEST_F(IniFileTest, SaveWritesThroughSymbolicLink)
{
    const std::string target = Folder + "/real.ini";
    std::ofstream(target, std::ios::binary) << "[S]\r\nk=1\r\n";
    fs::create_symlink(target, Path);
    IniFile ini;
    ASSERT_TRUE(ini.Load(Path));
    ini.WriteString("S", "k", "2");
    ASSERT_EQ(ini.Save(), std::nullopt);
    EXPECT_TRUE(fs::is_symlink(Path));
    EXPECT_EQ(ReadRaw(), "[S]\r\nk=2\r\n");
}

TEST_F(IniFileTest, SaveRefusesReadOnlyFileAndFolderAndKeepsOldFile)
{
    const std::string old = "[S]\r\nk=1\r\n";
    const struct {
        const char* What;
        mode_t FileMode;
        mode_t FolderMode;
    } cases[] = {
        {"read-only file", 0444, 0700},
        {"read-only folder", 0644, 0500},
    };
    for (const auto& c : cases) {
        WriteRaw(old);
        ASSERT_EQ(chmod(Path.c_str(), c.FileMode), 0);
        IniFile ini;
        ASSERT_TRUE(ini.Load(Path));
        ini.WriteString("S", "k", "2");
        ASSERT_EQ(chmod(Folder.c_str(), c.FolderMode), 0);

        EXPECT_EQ(ini.Save(), Path + " に書き込めません（書き込みの権限がありません）") << c.What;

        ASSERT_EQ(chmod(Folder.c_str(), 0700), 0);
        EXPECT_EQ(ReadRaw(), old) << c.What;
        EXPECT_EQ(ModeOf(Path), c.FileMode) << c.What;
        EXPECT_EQ(FolderEntries(), std::set<std::string>{"KVCHAT.INI"}) << c.What;
        ASSERT_EQ(chmod(Path.c_str(), 0600), 0);
    }
}

TEST_F(IniFileTest, SaveRefusesNewFileInReadOnlyFolder)
{
    IniFile ini;
    ASSERT_TRUE(ini.Load(Path));
    ini.WriteString("S", "k", "v");
    ASSERT_EQ(chmod(Folder.c_str(), 0500), 0);
    EXPECT_EQ(ini.Save(), Path + " に書き込めません（書き込みの権限がありません）");
    ASSERT_EQ(chmod(Folder.c_str(), 0700), 0);
    EXPECT_TRUE(FolderEntries().empty());
}

// Root may write anywhere; an ordinary user must be stopped by the system
// itself, including for a file it may not write in a folder it may.
TEST_F(IniFileTest, SaveRefusesFileOfAnotherUser)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    const std::string old = "[S]\r\nk=1\r\n";
    WriteRaw(old);
    ASSERT_EQ(chmod(Path.c_str(), 0644), 0);
    ASSERT_EQ(chmod(Folder.c_str(), 0777), 0);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        IniFile ini;
        if (!ini.Load(Path))
            _exit(3);
        ini.WriteString("S", "k", "2");
        _exit(ini.Save() == Path + " に書き込めません（書き込みの権限がありません）" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadRaw(), old);
    EXPECT_EQ(FolderEntries(), std::set<std::string>{"KVCHAT.INI"});
}

TEST_F(IniFileTest, SaveCutShortBeforeRenameLeavesOldFileAndNextSaveCleansUp)
{
    const std::string old = "[S]\r\nk=1\r\n";
    WriteRaw(old);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        WriteFileAtomically(Path, "[S]\r\nk=2\r\n", [] { _exit(0); });
        _exit(1);  // the hook never ran
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    EXPECT_EQ(ReadRaw(), old);
    const std::string leftOver = "KVCHAT.INI." + std::to_string(child) + ".tmp";
    EXPECT_EQ(FolderEntries(), (std::set<std::string>{"KVCHAT.INI", leftOver}));

    IniFile ini;
    ASSERT_TRUE(ini.Load(Path));
    EXPECT_EQ(ini.ReadString("S", "k", ""), "1");
    ini.WriteString("S", "k", "3");
    ASSERT_EQ(ini.Save(), std::nullopt);
    EXPECT_EQ(ReadRaw(), "[S]\r\nk=3\r\n");
    EXPECT_EQ(FolderEntries(), std::set<std::string>{"KVCHAT.INI"});
}

TEST_F(IniFileTest, SaveLeavesTemporaryFilesOfLiveProcessesAlone)
{
    const std::string ours = "KVCHAT.INI." + std::to_string(getppid()) + ".tmp";
    const std::string unrelated = "KVCHAT.INI.backup.tmp";
    std::ofstream(Folder + "/" + ours) << "x";
    std::ofstream(Folder + "/" + unrelated) << "x";
    IniFile ini;
    ASSERT_TRUE(ini.Load(Path));
    ini.WriteString("S", "k", "v");
    ASSERT_EQ(ini.Save(), std::nullopt);
    EXPECT_EQ(FolderEntries(), (std::set<std::string>{"KVCHAT.INI", ours, unrelated}));
}

}  // namespace
