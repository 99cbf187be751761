#include "GmMessages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes frameOf(const GmPacket& p)
{
    return {p.Data(), p.Data() + static_cast<std::uint16_t>(p.GetLength())};
}

// Builds a frame: 2 length bytes, type, payload.
Bytes frame(std::uint8_t type, const Bytes& payload)
{
    Bytes f;
    f.reserve(payload.size() + 3);
    f.push_back(0);
    f.push_back(0);
    f.push_back(type);
    for (std::uint8_t b : payload)
        f.push_back(b);
    f[0] = static_cast<std::uint8_t>(f.size() >> 8);
    f[1] = static_cast<std::uint8_t>(f.size() & 0xFF);
    return f;
}

void appendString(Bytes& b, const std::string& s)
{
    b.push_back(static_cast<std::uint8_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
}

void load(GmProtocol& proto, const Bytes& f)
{
    ASSERT_TRUE(proto.Packet.Load(f.data(), static_cast<int>(f.size())));
}

} // namespace

TEST(ClientEncoders, ReadyIsSevenBytes)
{
    GmProtocol proto;
    GmReady::Info info;
    info.kind = ClientKind;
    std::copy(std::begin(ProtocolVersion), std::end(ProtocolVersion), info.version);
    ASSERT_TRUE(proto.Ready.Encode(info));
    EXPECT_EQ(frameOf(proto.Packet), (Bytes{0x00, 0x07, 0x01, 0x01, 0x01, 0x01, 0x01}));
}

TEST(ClientEncoders, RetireRoom5)
{
    GmProtocol proto;
    ASSERT_TRUE(proto.Retire.Encode({5}));
    EXPECT_EQ(frameOf(proto.Packet), (Bytes{0x00, 0x04, 0x13, 0x05}));
}

TEST(ClientEncoders, ConnectCutsNameTo26)
{
    GmProtocol proto;
    GmConnect::Info info;
    // The record is 27 bytes wide, so a 30-byte name can only come through the cursor.
    std::memcpy(info.name, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 27);
    ASSERT_TRUE(proto.Connect.Encode(info));
    Bytes expected{0x00, 30, 0x0A};
    appendString(expected, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(frameOf(proto.Packet), expected);
}

TEST(ClientEncoders, CreateAndEnterRoomLayouts)
{
    GmProtocol proto;
    GmCreateRoom::Info create;
    std::strcpy(create.name, "Lobby");
    std::strcpy(create.password, "pw12");
    ASSERT_TRUE(proto.CreateRoom.Encode(create));
    Bytes payload{0x02};
    appendString(payload, "Lobby");
    appendString(payload, "pw12");
    EXPECT_EQ(frameOf(proto.Packet), frame(15, payload));

    GmEnterRoom::Info enter;
    enter.room = 4;
    std::strcpy(enter.password, "abc");
    ASSERT_TRUE(proto.EnterRoom.Encode(enter));
    EXPECT_EQ(frameOf(proto.Packet), frame(17, Bytes{0x04, 0x00, 0x03, 'a', 'b', 'c'}));
}

TEST(ClientEncoders, TalkLayoutAndTextCut)
{
    GmProtocol proto;
    GmTalk::Info info;
    info.room = 3;
    info.clientID = -2;
    std::strcpy(info.name, "me");
    std::memset(info.text, 'x', 200);
    info.text[200] = '\0';
    ASSERT_TRUE(proto.Talk.Encode(info));
    Bytes payload{0x03, 0xFF, 0xFE};
    appendString(payload, "me");
    appendString(payload, std::string(200, 'x'));
    payload.push_back(0);
    EXPECT_EQ(frameOf(proto.Packet), frame(21, payload));
    EXPECT_EQ(proto.Packet.GetLength(), 3 + 1 + 2 + 3 + 201 + 1);
}

TEST(ClientDecoders, AReadyKeeps200AndReadsOnward)
{
    Bytes payload{0x00};
    appendString(payload, std::string(250, 'm'));
    appendString(payload, "second");
    payload.push_back(0x00);
    payload.push_back(0x07);
    GmProtocol proto;
    load(proto, frame(2, payload));
    GmAReady::Info info;
    ASSERT_TRUE(proto.AReady.Decode(info));
    EXPECT_EQ(std::strlen(info.message), 200u);
    EXPECT_STREQ(info.message2, "second");
    EXPECT_EQ(info.clientID, 7);
}

TEST(ClientDecoders, RoomListClampsCount)
{
    struct Case { std::uint16_t wire; int count; };
    for (Case c : {Case{60, 50}, Case{0x8000, 0}, Case{0xFFFF, 0}, Case{0, 0}, Case{2, 2}}) {
        SCOPED_TRACE(c.wire);
        Bytes payload{static_cast<std::uint8_t>(c.wire >> 8), static_cast<std::uint8_t>(c.wire & 0xFF)};
        for (int i = 0; i < 60; ++i) {
            payload.push_back(static_cast<std::uint8_t>(i % 51));
            payload.push_back(9);
            appendString(payload, "R" + std::to_string(i));
            payload.push_back(static_cast<std::uint8_t>(i & 1));
        }
        GmProtocol proto;
        load(proto, frame(13, payload));
        GmRoomList::Info info;
        EXPECT_TRUE(proto.RoomList.Decode(info));
        EXPECT_EQ(info.count, c.count);
        if (c.count > 1) {
            EXPECT_STREQ(info.rooms[1].name, "R1");
            EXPECT_TRUE(info.rooms[1].hasPassword);
            EXPECT_EQ(info.rooms[c.count - 1].room, (c.count - 1) % 51);
        }
    }
}

TEST(ClientDecoders, RoomListEntry52FailsWholeMessage)
{
    Bytes payload{0x00, 0x02};
    payload.push_back(3);
    payload.push_back(0);
    appendString(payload, "Lobby");
    payload.push_back(0);
    payload.push_back(52);
    payload.push_back(0);
    appendString(payload, "Bad");
    payload.push_back(7);   // non-zero password byte
    GmProtocol proto;
    load(proto, frame(13, payload));
    GmRoomList::Info info;
    EXPECT_FALSE(proto.RoomList.Decode(info));
    EXPECT_EQ(info.rooms[1].room, 52);
    EXPECT_STREQ(info.rooms[0].name, "Lobby");
    EXPECT_STREQ(info.rooms[1].name, "") << "reads after the failure yield empty fields";
    EXPECT_FALSE(info.rooms[1].hasPassword);
}

TEST(ClientDecoders, RoomUserNameCutAndFollowersDecoded)
{
    Bytes payload{4, 0x00, 0x02};
    payload.push_back(0x00);
    payload.push_back(0x01);
    appendString(payload, std::string(30, 'n'));
    payload.push_back(1);
    payload.push_back(0x01);
    payload.push_back(0x00);
    appendString(payload, "bob");
    payload.push_back(0);
    GmProtocol proto;
    load(proto, frame(14, payload));
    GmRoomUser::Info info;
    ASSERT_TRUE(proto.RoomUser.Decode(info));
    EXPECT_EQ(info.room, 4);
    ASSERT_EQ(info.count, 2);
    EXPECT_EQ(std::string(info.members[0].name), std::string(26, 'n'));
    EXPECT_EQ(info.members[0].flag, 1);
    EXPECT_EQ(info.members[1].clientID, 256);
    EXPECT_STREQ(info.members[1].name, "bob");
}

TEST(ClientDecoders, RoomUserCountClampedTo200)
{
    Bytes payload{1, 0x01, 0x2C};   // 300 members announced
    for (int i = 0; i < 300; ++i) {
        payload.push_back(0);
        payload.push_back(static_cast<std::uint8_t>(i));
        appendString(payload, "u");
        payload.push_back(0);
    }
    GmProtocol proto;
    load(proto, frame(14, payload));
    GmRoomUser::Info info;
    EXPECT_TRUE(proto.RoomUser.Decode(info));
    EXPECT_EQ(info.count, 200);
}

TEST(ClientDecoders, TruncatedMessagesFail)
{
    struct Case { std::uint8_t type; Bytes payload; };
    const Case cases[] = {
        {2, {0x00, 0x01, 'a'}},               // AReady: message2 and id missing
        {11, {}},                             // AConnect: no status
        {12, {0x01}},                         // UserCount: half a short
        {14, {1, 0x00, 0x01, 0x00}},          // RoomUser: member cut
        {16, {}},                             // ACreateRoom
        {18, {3}},                            // AEnterRoom: no status
        {20, {3, 0x00}},                      // RetireUser: half an id
        {21, {3, 0x00, 0x01, 0x05, 'a'}},     // Talk: name runs past the frame
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.type));
        GmProtocol proto;
        load(proto, frame(c.type, c.payload));
        bool ok = true;
        switch (c.type) {
        case 2: { GmAReady::Info i; ok = proto.AReady.Decode(i); break; }
        case 11: { GmAConnect::Info i; ok = proto.AConnect.Decode(i); break; }
        case 12: { GmUserCount::Info i; ok = proto.UserCount.Decode(i); break; }
        case 14: { GmRoomUser::Info i; ok = proto.RoomUser.Decode(i); break; }
        case 16: { GmACreateRoom::Info i; ok = proto.ACreateRoom.Decode(i); break; }
        case 18: { GmAEnterRoom::Info i; ok = proto.AEnterRoom.Decode(i); break; }
        case 20: { GmRetireUser::Info i; ok = proto.RetireUser.Decode(i); break; }
        case 21: {
            GmTalk::Info i;
            ok = proto.Talk.Decode(i);
            EXPECT_STREQ(i.name, "");
            EXPECT_STREQ(i.text, "");
            EXPECT_EQ(i.style, 0);
            break;
        }
        }
        EXPECT_FALSE(ok);
    }
}

TEST(ClientDecoders, UserCountWidensSigned)
{
    GmProtocol proto;
    load(proto, frame(12, {0xFF, 0xFF}));
    GmUserCount::Info info;
    ASSERT_TRUE(proto.UserCount.Decode(info));
    EXPECT_EQ(info.count, -1);
}

TEST(ClientDecoders, TalkRoom51DecodesRoom52Fails)
{
    for (int room : {51, 52}) {
        Bytes payload{static_cast<std::uint8_t>(room), 0x00, 0x05};
        appendString(payload, "al");
        appendString(payload, "hi");
        payload.push_back(2);
        GmProtocol proto;
        load(proto, frame(21, payload));
        GmTalk::Info info;
        EXPECT_EQ(proto.Talk.Decode(info), room == 51);
        EXPECT_EQ(info.room, room);
        EXPECT_STREQ(info.text, room == 51 ? "hi" : "");
        EXPECT_EQ(info.style, room == 51 ? 2 : 0);
    }
}

// The server-side codecs must agree with the client-side ones.
TEST(ServerCodecs, RoundTrips)
{
    GmProtocol proto;
    GmRoomList::Info list;
    list.count = 2;
    list.rooms[0] = {3, 1, "Lobby", false};
    list.rooms[1] = {4, 0, "Team", true};
    ASSERT_TRUE(proto.RoomList.Encode(list));
    GmRoomList::Info back;
    ASSERT_TRUE(proto.RoomList.Decode(back));
    EXPECT_EQ(back.count, 2);
    EXPECT_STREQ(back.rooms[1].name, "Team");
    EXPECT_TRUE(back.rooms[1].hasPassword);
    EXPECT_EQ(back.rooms[0].attribute, 1);

    GmAReady::Info ready;
    ready.status = 2;
    std::strcpy(ready.message, "old");
    ready.clientID = -5;
    ASSERT_TRUE(proto.AReady.Encode(ready));
    GmAReady::Info readyBack;
    ASSERT_TRUE(proto.AReady.Decode(readyBack));
    EXPECT_EQ(readyBack.status, 2);
    EXPECT_STREQ(readyBack.message, "old");
    EXPECT_EQ(readyBack.clientID, -5);

    GmEnterRoom::Info enter;
    std::strcpy(enter.name, "待合室");
    ASSERT_TRUE(proto.EnterRoom.Encode(enter));
    GmEnterRoom::Info enterBack;
    ASSERT_TRUE(proto.EnterRoom.Decode(enterBack));
    EXPECT_STREQ(enterBack.name, "待合室");

    ASSERT_TRUE(proto.Life.Encode());
    EXPECT_EQ(frameOf(proto.Packet), (Bytes{0x00, 0x03, 0x03}));
}
