#pragma once
// The server's rooms, numbered 0..50 (51 addresses the active tab and is never a room).
// Qt-free so its rules can be reasoned about apart from the sockets.

#include "GmPacket.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using ClientId = std::int16_t;
inline constexpr ClientId NoClient = 0;   // identifiers handed out are never 0

struct Room {
    std::int16_t number = 0;
    std::string name;       // CP932, unique among the rooms
    std::string password;   // empty: no password
    bool userCreated = false;
    ClientId creator = NoClient;   // NoClient once the creator has gone
    std::vector<ClientId> members;  // in order of entry

    bool HasMember(ClientId id) const;
    bool Accepts(std::string_view givenPassword) const;
    // Both return whether the membership changed.
    bool AddMember(ClientId id);
    bool RemoveMember(ClientId id);
};

class RoomTable {
public:
    static constexpr int RoomCount = MaxRoomNo;   // numbers 0 .. RoomCount-1

    Room* Find(int number);
    const Room* Find(int number) const;
    Room* FindByName(std::string_view name);
    // Lowest free number, if any.
    std::optional<std::int16_t> FreeNumber() const;
    int CountCreatedBy(ClientId creator) const;

    // Creates the room at the lowest free number; the caller has checked the rules.
    Room& Create(std::string_view name, std::string_view password, bool userCreated, ClientId creator);
    void Remove(int number);

    // Rooms the client is in, lowest number first.
    std::vector<std::int16_t> RoomsOf(ClientId id) const;
    // The rooms that still exist lose track of a creator who has gone.
    void ForgetCreator(ClientId id);

    std::vector<const Room*> All() const;   // lowest number first

private:
    std::array<std::optional<Room>, RoomCount> rooms_;
};
