#include "StartRooms.h"

#include <algorithm>

namespace {

std::string RoomSection(int index)
{
    return "Room" + std::to_string(index + 1);
}

int CountInUse(const TStartRoomList& list)
{
    return std::clamp(list.Count, 0, MaxStartRooms);
}

}  // namespace

bool FindStartRoom(const TStartRoomList& list, std::string_view name)
{
    const auto inUse = list.Rooms.begin() + CountInUse(list);
    return std::any_of(list.Rooms.begin(), inUse,
                       [name](const TStartRoom& room) { return room.Name == name; });
}

bool AddStartRoom(TStartRoomList& list, std::string_view name, std::string_view password)
{
    if (name.empty() || list.Count >= MaxStartRooms || FindStartRoom(list, name))
        return false;
    list.Rooms[list.Count] = TStartRoom{std::string(name), std::string(password)};
    ++list.Count;
    return true;
}

void ReadStartRooms(TStartRoomList& list, const IniFile& ini)
{
    list.Count = std::clamp(ini.ReadInteger("Common", "RoomCount", 0), 0, MaxStartRooms);
    for (int i = 0; i < MaxStartRooms; ++i) {
        if (i < list.Count) {
            const std::string section = RoomSection(i);
            list.Rooms[i] = TStartRoom{ini.ReadString(section, "Name", ""),
                                       ini.ReadString(section, "Password", "")};
        } else {
            list.Rooms[i] = TStartRoom{};
        }
    }
    if (list.Count == 0)
        AddStartRoom(list, DefaultRoomName, "");
}

void WriteStartRooms(const TStartRoomList& list, IniFile& ini)
{
    const int count = CountInUse(list);
    ini.WriteInteger("Common", "RoomCount", count);
    for (int i = 0; i < count; ++i) {
        const std::string section = RoomSection(i);
        ini.WriteString(section, "Name", list.Rooms[i].Name);
        ini.WriteString(section, "Password", list.Rooms[i].Password);
    }
}
