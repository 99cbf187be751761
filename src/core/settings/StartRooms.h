#pragma once
// The rooms the client enters by itself after every successful connection.

#include "IniFile.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr int MaxStartRooms = 50;
// "待合室" in CP932: the list an empty stored list starts as.
inline constexpr std::string_view DefaultRoomName = "\x91\xd2\x8d\x87\x8e\xba";

struct TStartRoom {
    std::string Name;      // CP932, as the server names the room
    std::string Password;  // CP932, empty for a room without password
};

struct TStartRoomList {
    std::array<TStartRoom, MaxStartRooms> Rooms;
    std::int32_t Count = 0;  // entries 0..Count-1 are in use, in insertion order
};

// Whether an entry in use has exactly this name.
bool FindStartRoom(const TStartRoomList& list, std::string_view name);

// Appends the room unless the list is full, already holds the name, or the
// name is empty (such a room could never be entered). An existing entry's
// password is never replaced. Returns whether the room was added.
bool AddStartRoom(TStartRoomList& list, std::string_view name, std::string_view password);

// Common/RoomCount and the sections Room1..RoomN, taken as stored: duplicates
// stay, missing sections give empty entries. A count above 50 reads the first
// 50 sections, a negative one counts as 0. An empty list becomes the one room
// DefaultRoomName without password.
void ReadStartRooms(TStartRoomList& list, const IniFile& ini);

// Writes Common/RoomCount, then Name and Password of each RoomN. Sections
// beyond the new count stay in the file; reading ignores them.
void WriteStartRooms(const TStartRoomList& list, IniFile& ini);
