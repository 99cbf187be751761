#include "GmMessages.h"

#include <algorithm>

namespace {

bool finish(GmPacket& packet, const GmWriter& w, GmType type)
{
    return packet.Finish(type, w.Length());
}

std::int16_t clampCount(std::int16_t count, std::int16_t capacity)
{
    return std::clamp<std::int16_t>(count, 0, capacity);
}

} // namespace

bool GmReady::Encode(const Info& info)
{
    GmWriter w(packet_);
    w.PutByte(info.kind);
    w.PutBytes3(info.version[0], info.version[1], info.version[2]);
    return finish(packet_, w, GmTypeReady);
}

bool GmReady::Decode(Info& info) const
{
    GmReader r(packet_);
    info.kind = r.GetByte();
    for (auto& v : info.version)
        v = r.GetByte();
    return r.Ok();
}

bool GmAReady::Decode(Info& info) const
{
    GmReader r(packet_);
    info.status = r.GetByte();
    r.GetString(info.message, sizeof info.message);
    r.GetString(info.message2, sizeof info.message2);
    info.clientID = r.GetShort();
    return r.Ok();
}

bool GmAReady::Encode(const Info& info)
{
    GmWriter w(packet_);
    w.PutByte(info.status);
    w.PutString(info.message, MaxMessageBytes);
    w.PutString(info.message2, MaxMessageBytes);
    w.PutShort(info.clientID);
    return finish(packet_, w, GmTypeAReady);
}

bool GmLife::Encode()
{
    GmWriter w(packet_);
    return finish(packet_, w, GmTypeLife);
}

bool GmClose::Encode()
{
    GmWriter w(packet_);
    return finish(packet_, w, GmTypeClose);
}

bool GmConnect::Encode(const Info& info)
{
    GmWriter w(packet_);
    w.PutString(info.name, MaxUserNameBytes);
    return finish(packet_, w, GmTypeConnect);
}

bool GmConnect::Decode(Info& info) const
{
    GmReader r(packet_);
    r.GetString(info.name, sizeof info.name);
    return r.Ok();
}

bool GmAConnect::Decode(Info& info) const
{
    GmReader r(packet_);
    info.status = r.GetByte();
    r.GetString(info.message, sizeof info.message);
    return r.Ok();
}

bool GmAConnect::Encode(const Info& info)
{
    GmWriter w(packet_);
    w.PutByte(info.status);
    w.PutString(info.message, MaxMessageBytes);
    return finish(packet_, w, GmTypeAConnect);
}

bool GmUserCount::Decode(Info& info) const
{
    GmReader r(packet_);
    info.count = r.GetShort();
    return r.Ok();
}

bool GmUserCount::Encode(const Info& info)
{
    GmWriter w(packet_);
    w.PutShort(static_cast<std::int16_t>(info.count));
    return finish(packet_, w, GmTypeUserCount);
}

bool GmRoomList::Decode(Info& info) const
{
    GmReader r(packet_);
    info.count = clampCount(r.GetShort(), MaxRoomEntries);
    for (int i = 0; i < info.count; ++i) {
        Room& room = info.rooms[i];
        r.GetRoom(room.room);
        room.attribute = r.GetByte();
        r.GetString(room.name, sizeof room.name);
        room.hasPassword = r.GetByte() != 0;
    }
    return r.Ok();
}

bool GmRoomList::Encode(const Info& info)
{
    GmWriter w(packet_);
    const std::int16_t count = clampCount(info.count, MaxRoomEntries);
    w.PutShort(count);
    for (int i = 0; i < count; ++i) {
        const Room& room = info.rooms[i];
        w.PutByte(room.room);
        w.PutByte(room.attribute);
        w.PutString(room.name, MaxRoomNameBytes);
        w.PutByte(room.hasPassword ? 1 : 0);
    }
    return finish(packet_, w, GmTypeRoomList);
}

bool GmRoomUser::Decode(Info& info) const
{
    GmReader r(packet_);
    r.GetRoom(info.room);
    info.count = clampCount(r.GetShort(), MaxRoomMembers);
    for (int i = 0; i < info.count; ++i) {
        Member& m = info.members[i];
        m.clientID = r.GetShort();
        r.GetString(m.name, sizeof m.name);
        m.flag = r.GetByte();
    }
    return r.Ok();
}

bool GmRoomUser::Encode(const Info& info)
{
    GmWriter w(packet_);
    const std::int16_t count = clampCount(info.count, MaxRoomMembers);
    w.PutByte(info.room);
    w.PutShort(count);
    for (int i = 0; i < count; ++i) {
        const Member& m = info.members[i];
        w.PutShort(m.clientID);
        w.PutString(m.name, MaxUserNameBytes);
        w.PutByte(m.flag);
    }
    return finish(packet_, w, GmTypeRoomUser);
}

bool GmCreateRoom::Encode(const Info& info)
{
    GmWriter w(packet_);
    w.PutByte(info.kind);
    w.PutString(info.name, MaxRoomNameBytes);
    w.PutString(info.password, MaxPasswordBytes);
    return finish(packet_, w, GmTypeCreateRoom);
}

bool GmCreateRoom::Decode(Info& info) const
{
    GmReader r(packet_);
    info.kind = r.GetByte();
    r.GetString(info.name, sizeof info.name);
    r.GetString(info.password, sizeof info.password);
    return r.Ok();
}

bool GmACreateRoom::Decode(Info& info) const
{
    GmReader r(packet_);
    info.status = r.GetByte();
    return r.Ok();
}

bool GmACreateRoom::Encode(const Info& info)
{
    GmWriter w(packet_);
    w.PutByte(info.status);
    return finish(packet_, w, GmTypeACreateRoom);
}

bool GmEnterRoom::Encode(const Info& info)
{
    GmWriter w(packet_);
    w.PutByte(info.room);
    w.PutString(info.name, MaxRoomNameBytes);
    w.PutString(info.password, MaxPasswordBytes);
    return finish(packet_, w, GmTypeEnterRoom);
}

bool GmEnterRoom::Decode(Info& info) const
{
    GmReader r(packet_);
    info.room = r.GetByte();
    r.GetString(info.name, sizeof info.name);
    r.GetString(info.password, sizeof info.password);
    return r.Ok();
}

bool GmAEnterRoom::Decode(Info& info) const
{
    GmReader r(packet_);
    r.GetRoom(info.room);
    info.status = r.GetByte();
    return r.Ok();
}

bool GmAEnterRoom::Encode(const Info& info)
{
    GmWriter w(packet_);
    w.PutByte(info.room);
    w.PutByte(info.status);
    return finish(packet_, w, GmTypeAEnterRoom);
}

bool GmRetire::Encode(const Info& info)
{
    GmWriter w(packet_);
    w.PutByte(info.room);
    return finish(packet_, w, GmTypeRetire);
}

bool GmRetire::Decode(Info& info) const
{
    GmReader r(packet_);
    info.room = r.GetByte();
    return r.Ok();
}

bool GmRetireUser::Decode(Info& info) const
{
    GmReader r(packet_);
    r.GetRoom(info.room);
    info.clientID = r.GetShort();
    return r.Ok();
}

bool GmRetireUser::Encode(const Info& info)
{
    GmWriter w(packet_);
    w.PutByte(info.room);
    w.PutShort(info.clientID);
    return finish(packet_, w, GmTypeRetireUser);
}

bool GmTalk::Encode(const Info& info)
{
    GmWriter w(packet_);
    w.PutByte(info.room);
    w.PutShort(info.clientID);
    w.PutString(info.name, MaxUserNameBytes);
    w.PutString(info.text, MaxTalkBytes);
    w.PutByte(info.style);
    return finish(packet_, w, GmTypeTalk);
}

bool GmTalk::Decode(Info& info) const
{
    GmReader r(packet_);
    r.GetRoom(info.room);
    info.clientID = r.GetShort();
    r.GetString(info.name, sizeof info.name);
    r.GetString(info.text, sizeof info.text);
    info.style = r.GetByte();
    return r.Ok();
}
