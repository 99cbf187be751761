#include "StartRooms.h"
#include "TempFolderTest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string WaitingRoom = "\x91\xd2\x8d\x87\x8e\xba";  // 待合室

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries EntriesOf(const TStartRoomList& list)
{
    Entries entries;
    for (int i = 0; i < list.Count; ++i)
        entries.emplace_back(list.Rooms[i].Name, list.Rooms[i].Password);
    return entries;
}

TStartRoomList ListOf(const Entries& entries)
{
    TStartRoomList list;
    for (const auto& [name, password] : entries)
        EXPECT_TRUE(AddStartRoom(list, name, password)) << name;
    return list;
}

std::string RoomSections(int count)
{
    std::string sections;
    for (int n = 1; n <= count; ++n)
        sections += "[Room" + std::to_string(n) + "]\r\nName=r" + std::to_string(n) + "\r\nPassword=p\r\n";
    return sections;
}

TEST(StartRoomListTest, AddStartRoomAppendsNewNamesOnly)
{
    TStartRoomList list;
    EXPECT_TRUE(AddStartRoom(list, WaitingRoom, ""));
    EXPECT_TRUE(AddStartRoom(list, "abc", "pw1"));
    EXPECT_TRUE(AddStartRoom(list, "ABC", "pw2"));  // names are case-sensitive
    EXPECT_FALSE(AddStartRoom(list, "abc", "other"));
    EXPECT_FALSE(AddStartRoom(list, "", "pw"));
    EXPECT_EQ(EntriesOf(list), (Entries{{WaitingRoom, ""}, {"abc", "pw1"}, {"ABC", "pw2"}}));

    EXPECT_TRUE(FindStartRoom(list, "ABC"));
    EXPECT_FALSE(FindStartRoom(list, "ab"));
    EXPECT_FALSE(FindStartRoom(list, "abc "));
    EXPECT_FALSE(FindStartRoom(list, "pw1"));
}

TEST(StartRoomListTest, FindStartRoomLooksOnlyAtEntriesInUse)
{
    TStartRoomList list = ListOf({{"a", ""}, {"b", ""}});
    list.Count = 1;  // as after the settings dialog dropped the rest
    EXPECT_TRUE(FindStartRoom(list, "a"));
    EXPECT_FALSE(FindStartRoom(list, "b"));
    EXPECT_TRUE(AddStartRoom(list, "c", "x"));
    EXPECT_EQ(EntriesOf(list), (Entries{{"a", ""}, {"c", "x"}}));
}

TEST(StartRoomListTest, FullListRefusesTheFiftyFirstRoom)
{
    TStartRoomList list;
    for (int i = 0; i < MaxStartRooms; ++i)
        ASSERT_TRUE(AddStartRoom(list, "room" + std::to_string(i), "p"));
    const Entries before = EntriesOf(list);
    EXPECT_FALSE(AddStartRoom(list, "room50", "p"));
    EXPECT_EQ(list.Count, 50);
    EXPECT_EQ(EntriesOf(list), before);
}

using StartRoomFileTest = TempFolderTest;

TEST_F(StartRoomFileTest, ReadStartRoomsTakesTheFileAsStored)
{
    Entries fifty;
    for (int n = 1; n <= 50; ++n)
        fifty.emplace_back("r" + std::to_string(n), "p");
    const struct {
        const char* What;
        std::string File;
        Entries Expected;
    } cases[] = {
        {"no rooms stored", "", {{WaitingRoom, ""}}},
        {"count 0 ignores sections", "[Common]\r\nRoomCount=0\r\n" + RoomSections(1), {{WaitingRoom, ""}}},
        {"negative count", "[Common]\r\nRoomCount=-3\r\n" + RoomSections(1), {{WaitingRoom, ""}}},
        {"count not a number", "[Common]\r\nRoomCount=abc\r\n" + RoomSections(1), {{WaitingRoom, ""}}},
        {"hexadecimal count", "[Common]\r\nRoomCount=0x2\r\n" + RoomSections(3), {{"r1", "p"}, {"r2", "p"}}},
        {"missing section gives an empty entry", "[Common]\r\nRoomCount=3\r\n" + RoomSections(2),
         {{"r1", "p"}, {"r2", "p"}, {"", ""}}},
        {"duplicates kept",
         "[Common]\r\nRoomCount=2\r\n[Room1]\r\nName=A\r\nPassword=1\r\n[Room2]\r\nName=A\r\nPassword=2\r\n",
         {{"A", "1"}, {"A", "2"}}},
        {"count above 50 reads 50 sections", "[Common]\r\nRoomCount=60\r\n" + RoomSections(60), fifty},
        {"CP932 name", "[Common]\r\nRoomCount=1\r\n[Room1]\r\nName=" + WaitingRoom + "x\r\n",
         {{WaitingRoom + "x", ""}}},
    };
    for (const auto& c : cases) {
        TStartRoomList list;
        ReadStartRooms(list, LoadBytes(c.File));
        EXPECT_EQ(EntriesOf(list), c.Expected) << c.What;
    }
}

TEST_F(StartRoomFileTest, ReadStartRoomsReplacesEveryEarlierEntry)
{
    TStartRoomList list = ListOf({{"a", "1"}, {"b", "2"}, {"c", "3"}});
    ReadStartRooms(list, LoadBytes("[Common]\r\nRoomCount=1\r\n[Room1]\r\nName=x\r\n"));
    EXPECT_EQ(EntriesOf(list), (Entries{{"x", ""}}));
    EXPECT_EQ(list.Rooms[1].Name, "");
    EXPECT_EQ(list.Rooms[2].Password, "");
}

TEST_F(StartRoomFileTest, DuplicateFromFileStillBlocksAddStartRoom)
{
    TStartRoomList list;
    ReadStartRooms(list, LoadBytes("[Common]\r\nRoomCount=2\r\n[Room1]\r\nName=A\r\n[Room2]\r\nName=A\r\n"));
    EXPECT_FALSE(AddStartRoom(list, "A", "new"));
    EXPECT_TRUE(AddStartRoom(list, "B", ""));
    EXPECT_EQ(EntriesOf(list), (Entries{{"A", ""}, {"A", ""}, {"B", ""}}));
}

TEST_F(StartRoomFileTest, WriteStartRoomsWritesCountAndSectionsInOrder)
{
    IniFile ini = LoadBytes("");
    WriteStartRooms(ListOf({{WaitingRoom, ""}, {"Kick", "ab12"}}), ini);
    EXPECT_EQ(ini.Bytes(),
              "[Common]\r\nRoomCount=2\r\n"
              "[Room1]\r\nName=" + WaitingRoom + "\r\nPassword=\r\n"
              "[Room2]\r\nName=Kick\r\nPassword=ab12\r\n");
}

TEST_F(StartRoomFileTest, ShrinkingKeepsOldSectionsThatAreNotLoadedAgain)
{
    IniFile ini = LoadBytes("[Common]\r\nRoomCount=5\r\n" + RoomSections(5));
    TStartRoomList list;
    ReadStartRooms(list, ini);
    ASSERT_EQ(list.Count, 5);
    list.Count = 2;
    WriteStartRooms(list, ini);
    ASSERT_EQ(ini.Save(), std::nullopt);

    EXPECT_EQ(ReadRaw(), "[Common]\r\nRoomCount=2\r\n" + RoomSections(5));
    IniFile reread;
    ASSERT_TRUE(reread.Load(Path));
    TStartRoomList again;
    ReadStartRooms(again, reread);
    EXPECT_EQ(EntriesOf(again), (Entries{{"r1", "p"}, {"r2", "p"}}));
}

TEST_F(StartRoomFileTest, EmptiedListComesBackAsTheWaitingRoom)
{
    IniFile ini = LoadBytes("[Common]\r\nRoomCount=1\r\n[Room1]\r\nName=x\r\nPassword=\r\n");
    WriteStartRooms(TStartRoomList{}, ini);
    EXPECT_EQ(ini.ReadString("Common", "RoomCount", ""), "0");
    TStartRoomList list;
    ReadStartRooms(list, ini);
    EXPECT_EQ(EntriesOf(list), (Entries{{WaitingRoom, ""}}));
}

}  // namespace
