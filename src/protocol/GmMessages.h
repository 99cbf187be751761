#pragma once
// The message catalogue. Each class works on one shared GmPacket; records are
// fixed-size with NUL-terminated Shift-JIS text fields one byte wider than their limit.
// Client-direction and server-direction codecs live side by side so the local
// server and the tests share the same cursors.

#include "GmPacket.h"

#include <cstdint>

enum GmType : std::uint8_t {
    GmTypeReady = 1,
    GmTypeAReady = 2,
    GmTypeLife = 3,
    GmTypeClose = 4,
    GmTypeConnect = 10,
    GmTypeAConnect = 11,
    GmTypeUserCount = 12,
    GmTypeRoomList = 13,
    GmTypeRoomUser = 14,
    GmTypeCreateRoom = 15,
    GmTypeACreateRoom = 16,
    GmTypeEnterRoom = 17,
    GmTypeAEnterRoom = 18,
    GmTypeRetire = 19,
    GmTypeRetireUser = 20,
    GmTypeTalk = 21,
};

inline constexpr int MaxUserNameBytes = 26;
inline constexpr int MaxRoomNameBytes = 30;
inline constexpr int MaxPasswordBytes = 8;
inline constexpr int MaxTalkBytes = 200;
inline constexpr int MaxMessageBytes = 200;
inline constexpr int MaxRoomEntries = 50;
inline constexpr int MaxRoomMembers = 200;

class GmMessage {
public:
    explicit GmMessage(GmPacket& packet) : packet_(packet) {}
    GmMessage(const GmMessage&) = delete;
    GmMessage& operator=(const GmMessage&) = delete;

protected:
    GmPacket& packet_;
};

class GmReady : public GmMessage {
public:
    struct Info {
        std::uint8_t kind = 0;
        std::int16_t version[3] = {0, 0, 0};
    };
    using GmMessage::GmMessage;
    bool Encode(const Info& info);
    bool Decode(Info& info) const;   // server side
};

class GmAReady : public GmMessage {
public:
    struct Info {
        std::uint8_t status = 0;
        char message[MaxMessageBytes + 1] = {};
        char message2[MaxMessageBytes + 1] = {};
        std::int16_t clientID = 0;
    };
    using GmMessage::GmMessage;
    bool Decode(Info& info) const;
    bool Encode(const Info& info);   // server side
};

class GmLife : public GmMessage {
public:
    using GmMessage::GmMessage;
    bool Encode();   // server side
};

class GmClose : public GmMessage {
public:
    using GmMessage::GmMessage;
    bool Encode();   // server side
};

class GmConnect : public GmMessage {
public:
    struct Info {
        char name[MaxUserNameBytes + 1] = {};
    };
    using GmMessage::GmMessage;
    bool Encode(const Info& info);
    bool Decode(Info& info) const;   // server side
};

class GmAConnect : public GmMessage {
public:
    struct Info {
        std::uint8_t status = 0;
        char message[MaxMessageBytes + 1] = {};
    };
    using GmMessage::GmMessage;
    bool Decode(Info& info) const;
    bool Encode(const Info& info);   // server side
};

class GmUserCount : public GmMessage {
public:
    struct Info {
        std::int32_t count = 0;
    };
    using GmMessage::GmMessage;
    bool Decode(Info& info) const;
    bool Encode(const Info& info);   // server side
};

class GmRoomList : public GmMessage {
public:
    struct Room {
        std::int16_t room = 0;
        std::uint8_t attribute = 0;
        char name[MaxRoomNameBytes + 1] = {};
        bool hasPassword = false;
    };
    struct Info {
        std::int16_t count = 0;
        Room rooms[MaxRoomEntries];
    };
    using GmMessage::GmMessage;
    bool Decode(Info& info) const;
    bool Encode(const Info& info);   // server side
};

class GmRoomUser : public GmMessage {
public:
    struct Member {
        std::int16_t clientID = 0;
        char name[MaxUserNameBytes + 1] = {};
        std::uint8_t flag = 0;
    };
    struct Info {
        std::int16_t room = 0;
        std::int16_t count = 0;
        Member members[MaxRoomMembers];
    };
    using GmMessage::GmMessage;
    bool Decode(Info& info) const;
    bool Encode(const Info& info);   // server side
};

class GmCreateRoom : public GmMessage {
public:
    struct Info {
        std::uint8_t kind = 2;
        char name[MaxRoomNameBytes + 1] = {};
        char password[MaxPasswordBytes + 1] = {};
    };
    using GmMessage::GmMessage;
    bool Encode(const Info& info);
    bool Decode(Info& info) const;   // server side
};

class GmACreateRoom : public GmMessage {
public:
    struct Info {
        std::uint8_t status = 0;
    };
    using GmMessage::GmMessage;
    bool Decode(Info& info) const;
    bool Encode(const Info& info);   // server side
};

class GmEnterRoom : public GmMessage {
public:
    struct Info {
        std::int16_t room = 0;
        char name[MaxRoomNameBytes + 1] = {};
        char password[MaxPasswordBytes + 1] = {};
    };
    using GmMessage::GmMessage;
    bool Encode(const Info& info);
    bool Decode(Info& info) const;   // server side; the room is a plain byte here
};

class GmAEnterRoom : public GmMessage {
public:
    struct Info {
        std::int16_t room = 0;
        std::uint8_t status = 0;
    };
    using GmMessage::GmMessage;
    bool Decode(Info& info) const;
    bool Encode(const Info& info);   // server side
};

class GmRetire : public GmMessage {
public:
    struct Info {
        std::int16_t room = 0;
    };
    using GmMessage::GmMessage;
    bool Encode(const Info& info);
    bool Decode(Info& info) const;   // server side; the room is a plain byte here
};

class GmRetireUser : public GmMessage {
public:
    struct Info {
        std::int16_t room = 0;
        std::int16_t clientID = 0;
    };
    using GmMessage::GmMessage;
    bool Decode(Info& info) const;
    bool Encode(const Info& info);   // server side
};

class GmTalk : public GmMessage {
public:
    struct Info {
        std::int16_t room = 0;
        std::int16_t clientID = 0;
        char name[MaxUserNameBytes + 1] = {};
        char text[MaxTalkBytes + 1] = {};
        std::uint8_t style = 0;
    };
    using GmMessage::GmMessage;
    bool Encode(const Info& info);
    bool Decode(Info& info) const;
};

// The packet and one object per message class, in type order, all bound to Packet.
struct GmProtocol {
    GmProtocol() = default;
    GmProtocol(const GmProtocol&) = delete;
    GmProtocol& operator=(const GmProtocol&) = delete;

    GmPacket Packet;
    GmReady Ready{Packet};
    GmAReady AReady{Packet};
    GmLife Life{Packet};
    GmClose Close{Packet};
    GmConnect Connect{Packet};
    GmAConnect AConnect{Packet};
    GmUserCount UserCount{Packet};
    GmRoomList RoomList{Packet};
    GmRoomUser RoomUser{Packet};
    GmCreateRoom CreateRoom{Packet};
    GmACreateRoom ACreateRoom{Packet};
    GmEnterRoom EnterRoom{Packet};
    GmAEnterRoom AEnterRoom{Packet};
    GmRetire Retire{Packet};
    GmRetireUser RetireUser{Packet};
    GmTalk Talk{Packet};
};

// The version the client announces in GmReady.
inline constexpr std::int16_t ProtocolVersion[3] = {1, 1, 1};
inline constexpr std::uint8_t ClientKind = 1;
