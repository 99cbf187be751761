#include "RoomTable.h"

#include <algorithm>

bool Room::HasMember(ClientId id) const
{
    return std::find(members.begin(), members.end(), id) != members.end();
}

bool Room::Accepts(std::string_view givenPassword) const
{
    return password.empty() || password == givenPassword;
}

bool Room::AddMember(ClientId id)
{
    if (HasMember(id))
        return false;
    members.push_back(id);
    return true;
}

bool Room::RemoveMember(ClientId id)
{
    const auto it = std::find(members.begin(), members.end(), id);
    if (it == members.end())
        return false;
    members.erase(it);
    return true;
}

Room* RoomTable::Find(int number)
{
    if (number < 0 || number >= RoomCount || !rooms_[number])
        return nullptr;
    return &*rooms_[number];
}

const Room* RoomTable::Find(int number) const
{
    return const_cast<RoomTable*>(this)->Find(number);
}

Room* RoomTable::FindByName(std::string_view name)
{
    for (auto& room : rooms_) {
        if (room && room->name == name)
            return &*room;
    }
    return nullptr;
}

std::optional<std::int16_t> RoomTable::FreeNumber() const
{
    for (int i = 0; i < RoomCount; ++i) {
        if (!rooms_[i])
            return static_cast<std::int16_t>(i);
    }
    return std::nullopt;
}

int RoomTable::CountCreatedBy(ClientId creator) const
{
    if (creator == NoClient)
        return 0;
    return static_cast<int>(std::count_if(rooms_.begin(), rooms_.end(), [creator](const auto& room) {
        return room && room->userCreated && room->creator == creator;
    }));
}

Room& RoomTable::Create(std::string_view name, std::string_view password, bool userCreated, ClientId creator)
{
    const std::int16_t number = FreeNumber().value();
    Room& room = rooms_[number].emplace();
    room.number = number;
    room.name = name;
    room.password = password;
    room.userCreated = userCreated;
    room.creator = creator;
    return room;
}

void RoomTable::Remove(int number)
{
    if (number >= 0 && number < RoomCount)
        rooms_[number].reset();
}

std::vector<std::int16_t> RoomTable::RoomsOf(ClientId id) const
{
    std::vector<std::int16_t> numbers;
    for (const auto& room : rooms_) {
        if (room && room->HasMember(id))
            numbers.push_back(room->number);
    }
    return numbers;
}

void RoomTable::ForgetCreator(ClientId id)
{
    for (auto& room : rooms_) {
        if (room && room->creator == id)
            room->creator = NoClient;
    }
}

std::vector<const Room*> RoomTable::All() const
{
    std::vector<const Room*> all;
    for (const auto& room : rooms_) {
        if (room)
            all.push_back(&*room);
    }
    return all;
}
