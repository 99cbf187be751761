#include "AppLocations.h"
#include "Options.h"
#include "Settings.h"
#include "TempFolderTest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string WaitingRoom = "\x91\xd2\x8d\x87\x8e\xba";  // 待合室

using SettingsTest = TempFolderTest;

TEST_F(SettingsTest, NoFileGivesDefaults)
{
    IniFile ini;
    ASSERT_TRUE(ini.Load(Path));
    const SettingsRecord record = ReadSettings(ini, FormBounds{});
    EXPECT_EQ(record.Form.Top, 111);
    EXPECT_EQ(record.Form.Left, 411);
    EXPECT_EQ(record.Form.Width, 561);
    EXPECT_EQ(record.Form.Height, 541);
    EXPECT_EQ(record.Form.RoomHeight, 201);
    EXPECT_TRUE(record.RoomVisible);
    EXPECT_EQ(record.UserName, "");
    EXPECT_EQ(record.ServerAddress, "");
    EXPECT_EQ(record.ServerPort, 0);
    EXPECT_EQ(record.UrlHome + record.UrlGate + record.UrlReserve + record.UrlHoudou + record.UrlDownload, "");
    ASSERT_EQ(record.StartRooms.Count, 1);
    EXPECT_EQ(record.StartRooms.Rooms[0].Name, WaitingRoom);
    EXPECT_EQ(record.StartRooms.Rooms[0].Password, "");
}

TEST_F(SettingsTest, FormDefaultsAreTheWindowsCurrentBounds)
{
    const IniFile ini = LoadBytes("[Form]\r\nTop=abc\r\nWidth=700\r\n");
    const SettingsRecord record = ReadSettings(ini, FormBounds{1, 2, 3, 4, 5});
    EXPECT_EQ(record.Form.Top, 1);
    EXPECT_EQ(record.Form.Left, 2);
    EXPECT_EQ(record.Form.Width, 700);
    EXPECT_EQ(record.Form.Height, 4);
    EXPECT_EQ(record.Form.RoomHeight, 5);
}

TEST_F(SettingsTest, ReadsEveryKeyOfAnInstalledFile)
{
    const IniFile ini = LoadBytes(
        "[form]\r\nTop=10\r\nLeft=20\r\nWidth=300\r\nHeight=400\r\nRoomHeight=50\r\nRoomVisible=0\r\n"
        "[Common]\r\nName=" + WaitingRoom + "\r\nIP=192.0.2.7\r\nPort=9010\r\nRoomCount=1\r\n"
        "[URL]\r\nHome=http://h/\r\nGate=http://g/\r\nReserve=http://r/\r\nHoudou=http://n/\r\n"
        "Download=http://d/\r\n"
        "[Room1]\r\nName=Kick\r\nPassword=ab12\r\n");
    const SettingsRecord record = ReadSettings(ini, FormBounds{});
    EXPECT_EQ(record.Form.Top, 10);
    EXPECT_EQ(record.Form.Left, 20);
    EXPECT_EQ(record.Form.Width, 300);
    EXPECT_EQ(record.Form.Height, 400);
    EXPECT_EQ(record.Form.RoomHeight, 50);
    EXPECT_FALSE(record.RoomVisible);
    EXPECT_EQ(record.UserName, WaitingRoom);
    EXPECT_EQ(record.ServerAddress, "192.0.2.7");
    EXPECT_EQ(record.ServerPort, 9010);
    EXPECT_EQ(record.UrlHome, "http://h/");
    EXPECT_EQ(record.UrlGate, "http://g/");
    EXPECT_EQ(record.UrlReserve, "http://r/");
    EXPECT_EQ(record.UrlHoudou, "http://n/");
    EXPECT_EQ(record.UrlDownload, "http://d/");
    ASSERT_EQ(record.StartRooms.Count, 1);
    EXPECT_EQ(record.StartRooms.Rooms[0].Name, "Kick");
    EXPECT_EQ(record.StartRooms.Rooms[0].Password, "ab12");
}

TEST_F(SettingsTest, RoomVisibleAndPortValues)
{
    const struct {
        std::string Line;
        bool RoomVisible;
        int Port;
    } cases[] = {
        {"RoomVisible=5", true, 0},  {"RoomVisible=abc", true, 0}, {"RoomVisible=0", false, 0},
        {"RoomVisible=-1", true, 0}, {"Port=0x2332", true, 9010},  {"Port=9010x", true, 0},
        {"Port=65535", true, 65535}, {"Port=65536", true, 0},      {"Port=-1", true, 0},
    };
    for (const auto& c : cases) {
        const std::string section = c.Line.rfind("Port", 0) == 0 ? "[Common]" : "[Form]";
        const SettingsRecord record = ReadSettings(LoadBytes(section + "\r\n" + c.Line + "\r\n"), FormBounds{});
        EXPECT_EQ(record.RoomVisible, c.RoomVisible) << c.Line;
        EXPECT_EQ(record.ServerPort, c.Port) << c.Line;
    }
}

TEST_F(SettingsTest, FirstSaveWritesExactlyTheseBytes)
{
    IniFile ini;
    ASSERT_TRUE(ini.Load(Path));
    WriteSettings(ini, ReadSettings(ini, FormBounds{}));
    ASSERT_EQ(ini.Save(), std::nullopt);
    EXPECT_EQ(ReadRaw(),
              "[Form]\r\nTop=111\r\nLeft=411\r\nWidth=561\r\nHeight=541\r\nRoomHeight=201\r\nRoomVisible=1\r\n"
              "[Common]\r\nName=\r\nRoomCount=1\r\n"
              "[Room1]\r\nName=" + WaitingRoom + "\r\nPassword=\r\n");
}

TEST_F(SettingsTest, SaveChangesOnlyItsOwnKeys)
{
    const std::string installed =
        "; KV chat settings\r\n"
        "[Common]\n"
        "IP = 192.0.2.7\n"
        "Port=0x2332\r\n"
        "Name = old \r\n"
        "Extra=keep me\r\n"
        "\r\n"
        "[URL]\r\n"
        "Home='http://h/'\r\n"
        "\r\n";
    IniFile ini = LoadBytes(installed);
    SettingsRecord record = ReadSettings(ini, FormBounds{});
    EXPECT_EQ(record.UserName, "old");
    EXPECT_EQ(record.ServerPort, 9010);
    EXPECT_EQ(record.UrlHome, "http://h/");

    record.UserName = WaitingRoom;
    record.RoomVisible = false;
    record.Form = FormBounds{-5, 7, 800, 600, 150};
    AddStartRoom(record.StartRooms, "Kick", "ab12");
    WriteSettings(ini, record);
    ASSERT_EQ(ini.Save(), std::nullopt);

    EXPECT_EQ(ReadRaw(),
              "; KV chat settings\r\n"
              "[Common]\n"
              "IP = 192.0.2.7\n"
              "Port=0x2332\r\n"
              "Name=" + WaitingRoom + "\r\n"
              "Extra=keep me\r\n"
              "RoomCount=2\r\n"
              "\r\n"
              "[URL]\r\n"
              "Home='http://h/'\r\n"
              "\r\n"
              "[Form]\r\nTop=-5\r\nLeft=7\r\nWidth=800\r\nHeight=600\r\nRoomHeight=150\r\nRoomVisible=0\r\n"
              "[Room1]\r\nName=" + WaitingRoom + "\r\nPassword=\r\n"
              "[Room2]\r\nName=Kick\r\nPassword=ab12\r\n");

    IniFile reread;
    ASSERT_TRUE(reread.Load(Path));
    const SettingsRecord again = ReadSettings(reread, FormBounds{});
    EXPECT_EQ(again.Form.Top, -5);
    EXPECT_EQ(again.Form.RoomHeight, 150);
    EXPECT_FALSE(again.RoomVisible);
    EXPECT_EQ(again.UserName, WaitingRoom);
    EXPECT_EQ(again.ServerAddress, "192.0.2.7");
    EXPECT_EQ(again.StartRooms.Count, 2);
    EXPECT_EQ(again.StartRooms.Rooms[1].Password, "ab12");
}

TEST_F(SettingsTest, OptionsRoundTripWithoutTouchingOtherLines)
{
    const std::string before = "[Common]\r\nName=x\r\n; note\r\n[Log]\nFolder=/var/kv\n";
    LoadBytes(before);
    IniFile ini;
    ASSERT_TRUE(ini.Load(Path));
    OptionsRecord options = ReadOptions(ini);
    OptionsRecord expected;   // the defaults, with the folder of the file
    expected.LogFolder = "/var/kv";
    EXPECT_EQ(options, expected);

    options = OptionsRecord{};
    options.Timestamps = true;
    options.Notifications = false;
    options.HighlightWords = "kv \x83\x53\x81\x5B\x83\x8B";
    options.AutoReconnect = false;
    options.LogEnabled = false;
    ASSERT_EQ(SaveOptions(Path, options), std::nullopt);
    EXPECT_EQ(ReadRaw(), "[Common]\r\nName=x\r\n; note\r\n[Log]\nFolder=\nEnabled=0\r\n"
                         "[Option]\r\nTimestamps=1\r\nNotifications=0\r\n"
                         "HighlightWords=kv \x83\x53\x81\x5B\x83\x8B\r\nAutoReconnect=0\r\n");
    IniFile reread;
    ASSERT_TRUE(reread.Load(Path));
    EXPECT_EQ(ReadOptions(reread), options);
}

TEST_F(SettingsTest, FontZoomAndTrayAreNewOptionKeysWrittenOnceSet)
{
    LoadBytes("[Option]\r\nZoom=999\r\nFontSize=-3\r\n");
    IniFile ini;
    ASSERT_TRUE(ini.Load(Path));
    OptionsRecord options = ReadOptions(ini);
    EXPECT_EQ(options.Zoom, OptionsRecord::MaxZoom);   // out of range: the nearest allowed
    EXPECT_EQ(options.FontSize, OptionsRecord::MinFontSize);
    EXPECT_EQ(options.FontFamily, "");
    EXPECT_FALSE(options.KeepInTray);

    options = OptionsRecord{};
    options.FontFamily = "IPA\x83\x53\x83\x56\x83\x62\x83\x4E";   // IPAゴシック
    options.FontSize = 16;
    options.Zoom = 125;
    options.KeepInTray = true;
    options.AnnounceLines = false;
    ASSERT_EQ(SaveOptions(Path, options), std::nullopt);
    IniFile reread;
    ASSERT_TRUE(reread.Load(Path));
    EXPECT_EQ(ReadOptions(reread), options);
    EXPECT_NE(ReadRaw().find("FontFamily=IPA\x83\x53\x83\x56\x83\x62\x83\x4E\r\n"), std::string::npos);
    EXPECT_NE(ReadRaw().find("[Accessibility]\r\nAnnounceLines=0\r\n"), std::string::npos);

    // Back to the defaults: the keys that stand in the file say so; none are added.
    ASSERT_EQ(SaveOptions(Path, OptionsRecord{}), std::nullopt);
    IniFile again;
    ASSERT_TRUE(again.Load(Path));
    EXPECT_EQ(ReadOptions(again), OptionsRecord{});
    EXPECT_NE(ReadRaw().find("Zoom=100\r\n"), std::string::npos);
    LoadBytes("");
    ASSERT_EQ(SaveOptions(Path, OptionsRecord{}), std::nullopt);
    for (const char* key : {"FontFamily", "FontSize", "Zoom", "KeepInTray", "Accessibility"})
        EXPECT_EQ(ReadRaw().find(key), std::string::npos) << key;
}

TEST(ZoomTest, StepsUpAndDownAndStopsAtTheEnds)
{
    const struct {
        int Zoom;
        int Direction;
        int Expected;
    } cases[] = {
        {100, +1, 110}, {100, -1, 90}, {110, -1, 100}, {300, +1, 300}, {50, -1, 50},
        {105, +1, 110}, {105, -1, 100},   // a value from the file between two steps
        {250, +1, 300}, {67, -1, 50},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NextZoom(c.Zoom, c.Direction), c.Expected) << c.Zoom << " " << c.Direction;
}

TEST(SettingsFileNameTest, ReplacesOrAddsTheExtension)
{
    const struct {
        std::string ExePath;
        std::string Expected;
    } cases[] = {
        {"/opt/kv/kvchat", "/opt/kv/kvchat.INI"},
        {"/opt/kv/KVChat.exe", "/opt/kv/KVChat.INI"},
        {"/opt/kv.d/kvchat", "/opt/kv.d/kvchat.INI"},
        {"/opt/kv/kvchat.tar.gz", "/opt/kv/kvchat.tar.INI"},
        {"/opt/kv/kvchat.", "/opt/kv/kvchat.INI"},
        {"/opt/kv/.kvchat", "/opt/kv/.kvchat.INI"},
        {"kvchat.bin", "kvchat.INI"},
        {"kvchat", "kvchat.INI"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SettingsFileName(c.ExePath), c.Expected) << c.ExePath;
}

}  // namespace

// Where the settings and logs live, decided by the same write check the save makes.
class AppLocationsTest : public SettingsTest {
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        Bin = Folder + "/root/usr/bin";
        fs::create_directories(Bin);
        fs::create_directories(Folder + "/root/etc/kvchat");
    }
    void TearDown() override
    {
        fs::permissions(Bin, fs::perms::owner_all);
        SettingsTest::TearDown();
    }
    std::string Bin;
};

TEST_F(AppLocationsTest, FolderWritabilityChoosesPortableOrPerUser)
{
    const std::string portable = Folder + "/portable";
    fs::create_directories(portable);
    const LocationEnvironment home{Folder + "/home", "", ""};
    const LocationEnvironment xdg{Folder + "/home", Folder + "/cfg", Folder + "/data"};
    const struct {
        bool writable;
        std::string explicitFile;
        LocationEnvironment env;
        std::string settings;
        std::string logs;
    } cases[] = {
        {true, "", home, portable + "/kvchat.INI", portable + "/logs"},
        {false, "", home, Folder + "/home/.config/kvchat/kvchat.INI", Folder + "/home/.local/share/kvchat/logs"},
        {false, "", xdg, Folder + "/cfg/kvchat/kvchat.INI", Folder + "/data/kvchat/logs"},
        {false, Folder + "/mine.ini", xdg, Folder + "/mine.ini", Folder + "/logs"},
    };
    for (const auto& c : cases) {
        // Root passes access(); the save's check also honours the missing write bits.
        fs::permissions(portable, c.writable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_exec);
        const AppLocations where = ChooseAppLocations(portable + "/kvchat", c.explicitFile, c.env);
        EXPECT_EQ(where.SettingsFile, c.settings);
        EXPECT_EQ(where.LogFolder, c.logs);
        EXPECT_EQ(where.SeedFiles.empty(), c.settings.starts_with(portable) || !c.explicitFile.empty());
    }
    fs::permissions(portable, fs::perms::owner_all);
}

// The rule is pinned for root above all: root may write into /usr/bin, and
// that must not make an installed program portable.
TEST_F(AppLocationsTest, InstalledProgramUsesXdgFoldersForEveryUserRootIncluded)
{
    const LocationEnvironment home{Folder + "/home", "", ""};
    const std::string xdgSettings = Folder + "/home/.config/kvchat/kvchat.INI";
    const std::string other = Folder + "/others";
    fs::create_directories(other);
    fs::create_directories(Folder + "/home/.local/bin");
    fs::create_directories(Folder + "/mine");
    // A folder of someone else's, writable for this user all the same.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(other.c_str(), 65534, 65534), 0);
    }
    fs::permissions(other, fs::perms::all);
    const struct {
        std::string exe;
        bool portable;
    } cases[] = {
        {Bin + "/kvchat", false},                        // a package, unpacked or in /usr/bin
        {Folder + "/home/.local/bin/kvchat", false},     // installed for one user
        {"/usr/lib/kvchat/kvchat", false},
        {"/opt/kvchat/kvchat", false},
        {Folder + "/mine/kvchat", true},                 // a portable copy of the user's own
        {other + "/kvchat", !root},                      // not the user's own (only root can tell here)
    };
    for (const auto& c : cases) {
        const std::string folder = c.exe.substr(0, c.exe.rfind('/'));
        ASSERT_TRUE(c.exe.starts_with("/usr") || c.exe.starts_with("/opt") || CanWriteInFolder(folder)) << c.exe;
        const AppLocations where = ChooseAppLocations(c.exe, "", home);
        EXPECT_EQ(where.SettingsFile, c.portable ? folder + "/kvchat.INI" : xdgSettings) << c.exe;
        EXPECT_EQ(where.LogFolder, c.portable ? folder + "/logs" : Folder + "/home/.local/share/kvchat/logs") << c.exe;
    }
    // The package's own file seeds the user's copy, not one left beside the executable.
    EXPECT_EQ(ChooseAppLocations(Bin + "/kvchat", "", home).SeedFiles,
              (std::vector<std::string>{Folder + "/root/etc/kvchat/kvchat.INI", "/etc/kvchat/kvchat.INI"}));
    EXPECT_EQ(ChooseAppLocations("/usr/bin/kvchat", "", home).SeedFiles,
              (std::vector<std::string>{"/etc/kvchat/kvchat.INI"}));
}

// One rule: the folder must be writable, since a save replaces the file inside
// it. A settings file beside the executable that is not used is named, with
// the reason, and so is the file used instead.
TEST_F(AppLocationsTest, UnusedSettingsBesideTheProgramAreNamedWithTheReason)
{
    const LocationEnvironment home{Folder + "/home", "", ""};
    const std::string xdgSettings = Folder + "/home/.config/kvchat/kvchat.INI";
    const std::string shared = Folder + "/shared";
    fs::create_directories(shared);
    WriteFile(shared + "/kvchat.INI", "[Common]\r\nIP=shared\r\n");
    WriteFile(Bin + "/kvchat.INI", "[Common]\r\nName=left by an earlier run\r\n");
    fs::permissions(shared, fs::perms::owner_read | fs::perms::owner_exec);
    fs::permissions(shared + "/kvchat.INI", fs::perms::owner_read | fs::perms::owner_write);

    const AppLocations readOnly = ChooseAppLocations(shared + "/kvchat", "", home);
    EXPECT_EQ(readOnly.SettingsFile, xdgSettings);
    EXPECT_EQ(readOnly.Notice, "設定ファイルは " + xdgSettings + " を使います。" + shared
                                   + "/kvchat.INI は使いません: " + shared
                                   + " に書き込めず、設定を保存できないため。初めての起動なので、" + shared
                                   + "/kvchat.INI の内容から始めます。");
    EXPECT_EQ(PrepareSettingsFile(readOnly), std::nullopt);
    Path = xdgSettings;
    EXPECT_EQ(ReadRaw(), "[Common]\r\nIP=shared\r\n");
    EXPECT_EQ(ChooseAppLocations(shared + "/kvchat", "", home).Notice,
              "設定ファイルは " + xdgSettings + " を使います。" + shared + "/kvchat.INI は使いません: " + shared
                  + " に書き込めず、設定を保存できないため。");

    EXPECT_EQ(ChooseAppLocations(Bin + "/kvchat", "", home).Notice,
              "設定ファイルは " + xdgSettings + " を使います。" + Bin
                  + "/kvchat.INI は使いません: インストールされたプログラムは利用者ごとの設定ファイルを使うため。");
    // An installation's file the user may not change is named only when the user's copy is made from it.
    fs::permissions(shared + "/kvchat.INI", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(ChooseAppLocations(shared + "/kvchat", "", home).Notice, "");
    fs::remove(xdgSettings);
    EXPECT_NE(ChooseAppLocations(shared + "/kvchat", "", home).Notice.find("初めての起動なので"), std::string::npos);

    // Used where it is, or another file named on purpose: nothing to say.
    fs::permissions(shared, fs::perms::owner_all);
    EXPECT_EQ(ChooseAppLocations(shared + "/kvchat", "", home).Notice, "");
    EXPECT_EQ(ChooseAppLocations(Bin + "/kvchat", Folder + "/mine.ini", home).Notice, "");
}

// Every folder the settings file needs is made at start, for the user alone;
// one that cannot be made is reported then, with the reason, not at exit.
TEST_F(AppLocationsTest, SettingsFoldersAreMadeAtStartOrTheReasonIsGiven)
{
    fs::permissions(Bin, fs::perms::owner_read | fs::perms::owner_exec);
    // No installation file at all: the user's folders are made all the same.
    const AppLocations installed = ChooseAppLocations(Bin + "/kvchat", "", {Folder + "/home", "", ""});
    EXPECT_EQ(PrepareSettingsFile(installed), std::nullopt);
    EXPECT_EQ(fs::status(Folder + "/home/.config/kvchat").permissions(), fs::perms::owner_all);
    EXPECT_FALSE(fs::exists(installed.SettingsFile));
    EXPECT_TRUE(CanSaveFile(installed.SettingsFile));

    const AppLocations named = ChooseAppLocations(Bin + "/kvchat", Folder + "/missing/dir/k.INI", {});
    EXPECT_EQ(PrepareSettingsFile(named), std::nullopt);
    EXPECT_EQ(fs::status(Folder + "/missing/dir").permissions(), fs::perms::owner_all);

    WriteFile(Folder + "/file", "");
    const AppLocations underFile = ChooseAppLocations(Bin + "/kvchat", Folder + "/file/dir/k.INI", {});
    EXPECT_EQ(PrepareSettingsFile(underFile),
              Folder + "/file/dir を作れません（途中にフォルダではないものがあります）。この実行中の設定は保存されません");

    fs::create_directories(Folder + "/locked");
    fs::permissions(Folder + "/locked", fs::perms::owner_read | fs::perms::owner_exec);
    const AppLocations locked = ChooseAppLocations(Bin + "/kvchat", Folder + "/locked/k.INI", {});
    EXPECT_EQ(PrepareSettingsFile(locked), Folder + "/locked/k.INI を作れません（" + Folder
                                               + "/locked に書き込めません）。この実行中の設定は保存されません");
    fs::permissions(Folder + "/locked", fs::perms::owner_all);
}

TEST_F(AppLocationsTest, FirstStartCopiesTheInstallationFileOnce)
{
    const std::string installed = "[Common]\r\nIP=chat.example.org\r\nPort=9010\r\n[URL]\r\nHome=http://h/\r\n";
    WriteFile(Folder + "/root/etc/kvchat/kvchat.INI", installed);
    fs::permissions(Bin, fs::perms::owner_read | fs::perms::owner_exec);
    const AppLocations where = ChooseAppLocations(Bin + "/kvchat", "", {Folder + "/home", "", ""});
    EXPECT_EQ(PrepareSettingsFile(where), std::nullopt);
    Path = where.SettingsFile;
    EXPECT_EQ(ReadRaw(), installed);
    EXPECT_EQ(fs::status(Folder + "/home/.config/kvchat").permissions(), fs::perms::owner_all);

    // Later starts keep the user's copy whatever the installation says now.
    WriteFile(Path, installed + "[Common]\r\nName=me\r\n");
    WriteFile(Folder + "/root/etc/kvchat/kvchat.INI", "[Common]\r\nIP=other\r\n");
    EXPECT_EQ(PrepareSettingsFile(where), std::nullopt);
    EXPECT_EQ(ReadRaw(), installed + "[Common]\r\nName=me\r\n");
    EXPECT_TRUE(fs::is_empty(Bin));
}
