#pragma once
// One fuzz input through every decoder of the message catalogue. Shared by the
// libFuzzer target and the replay test, so both run exactly the same checks.
//
// The input is taken as one received frame (its two length bytes are replaced by
// Load, as on the receive path). Every decoder reads it; each record must come
// back fully defined (strings terminated inside their field, counts within the
// record), a successful decode must hold only valid room numbers, and what it
// decoded must survive an encode and a second decode unchanged.

#include "GmMessages.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KV_FUZZ_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KV_FUZZ_ASAN 1
#endif
#ifdef KV_FUZZ_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace kvfuzz {

namespace decoders {

template <std::size_t N>
bool Terminated(const char (&field)[N])
{
    return std::memchr(field, '\0', N) != nullptr;
}

template <std::size_t N>
bool SameText(const char (&a)[N], const char (&b)[N])
{
    return std::strcmp(a, b) == 0;
}

inline bool ValidRoom(std::int16_t room) { return room >= 0 && room <= MaxRoomNo; }

// Poisons the frame area past the received frame while decoders run, so a read
// beyond the frame's own length is caught even though it stays inside the area.
class PoisonTail {
public:
    explicit PoisonTail(const GmPacket& packet)
        : tail_(packet.Data() + packet.TotalLength()), size_(FrameAreaSize - packet.TotalLength())
    {
#ifdef KV_FUZZ_ASAN
        __asan_poison_memory_region(tail_, size_);
#endif
    }
    ~PoisonTail()
    {
#ifdef KV_FUZZ_ASAN
        __asan_unpoison_memory_region(tail_, size_);
#endif
    }
    PoisonTail(const PoisonTail&) = delete;
    PoisonTail& operator=(const PoisonTail&) = delete;

private:
    const std::uint8_t* tail_;
    std::size_t size_;
};

// Decodes with `decode`, checks the record with `valid`, and when the decode
// succeeded encodes it again and checks that a second decode gives the same.
template <class Message, class Valid, class Same>
std::string Check(GmProtocol& protocol, Message& message, const char* name, Valid valid, Same same)
{
    typename Message::Info first;
    bool ok;
    {
        PoisonTail poison(protocol.Packet);
        ok = message.Decode(first);
    }
    if (!valid(first, ok))
        return std::string(name) + ": decoded record is not well formed";
    if (!ok)
        return {};
    // The packet is rebuilt from the record: keep the received frame.
    static GmPacket received;
    received = protocol.Packet;
    message.Encode(first);
    typename Message::Info second;
    const bool again = message.Decode(second);
    protocol.Packet = received;
    if (!again)
        return std::string(name) + ": re-encoded record does not decode";
    if (!same(first, second))
        return std::string(name) + ": re-encoded record decodes differently";
    return {};
}

} // namespace decoders

// Returns an empty string when every check held, else what went wrong.
inline std::string RunDecoders(const std::uint8_t* data, std::size_t size)
{
    using namespace decoders;
    static GmProtocol protocol;   // big: kept off the stack
    const int length = static_cast<int>(size > 20000 ? 20000 : size);
    if (size < 3 || size > static_cast<std::size_t>(MaxFrameLength)) {
        static GmPacket before;
        before = protocol.Packet;
        if (protocol.Packet.Load(data, length))
            return "Load took a frame of a refused length";
        if (std::memcmp(before.Data(), protocol.Packet.Data(), FrameAreaSize) != 0
            || before.TotalLength() != protocol.Packet.TotalLength())
            return "a refused Load changed the packet";
        return {};
    }
    if (!protocol.Packet.Load(data, length))
        return "Load refused a frame of a valid length";
    GmPacket& p = protocol.Packet;
    if (p.TotalLength() != static_cast<int>(size) || p.GetLength() != static_cast<int>(size)
        || std::memcmp(p.Data() + 2, data + 2, size - 2) != 0)
        return "Load did not keep the frame";

    std::string failure;
    auto run = [&failure](std::string result) {
        if (failure.empty())
            failure = std::move(result);
    };

    run(Check(protocol, protocol.Ready, "GmReady",
              [](const GmReady::Info&, bool) { return true; },
              [](const GmReady::Info& a, const GmReady::Info& b) {
                  return a.kind == b.kind && (a.version[0] & 0xFF) == (b.version[0] & 0xFF)
                         && (a.version[1] & 0xFF) == (b.version[1] & 0xFF)
                         && (a.version[2] & 0xFF) == (b.version[2] & 0xFF);
              }));
    run(Check(protocol, protocol.AReady, "GmAReady",
              [](const GmAReady::Info& i, bool) { return Terminated(i.message) && Terminated(i.message2); },
              [](const GmAReady::Info& a, const GmAReady::Info& b) {
                  return a.status == b.status && SameText(a.message, b.message)
                         && SameText(a.message2, b.message2) && a.clientID == b.clientID;
              }));
    run(Check(protocol, protocol.Connect, "GmConnect",
              [](const GmConnect::Info& i, bool) { return Terminated(i.name); },
              [](const GmConnect::Info& a, const GmConnect::Info& b) { return SameText(a.name, b.name); }));
    run(Check(protocol, protocol.AConnect, "GmAConnect",
              [](const GmAConnect::Info& i, bool) { return Terminated(i.message); },
              [](const GmAConnect::Info& a, const GmAConnect::Info& b) {
                  return a.status == b.status && SameText(a.message, b.message);
              }));
    run(Check(protocol, protocol.UserCount, "GmUserCount",
              [](const GmUserCount::Info& i, bool) { return i.count >= -32768 && i.count <= 32767; },
              [](const GmUserCount::Info& a, const GmUserCount::Info& b) { return a.count == b.count; }));
    run(Check(protocol, protocol.RoomList, "GmRoomList",
              [](const GmRoomList::Info& i, bool ok) {
                  if (i.count < 0 || i.count > MaxRoomEntries)
                      return false;
                  for (int r = 0; r < MaxRoomEntries; ++r) {
                      if (!Terminated(i.rooms[r].name))
                          return false;
                      if (ok && r < i.count && !ValidRoom(i.rooms[r].room))
                          return false;
                  }
                  return true;
              },
              [](const GmRoomList::Info& a, const GmRoomList::Info& b) {
                  if (a.count != b.count)
                      return false;
                  for (int r = 0; r < a.count; ++r) {
                      const auto& x = a.rooms[r];
                      const auto& y = b.rooms[r];
                      if (x.room != y.room || x.attribute != y.attribute || !SameText(x.name, y.name)
                          || x.hasPassword != y.hasPassword)
                          return false;
                  }
                  return true;
              }));
    run(Check(protocol, protocol.RoomUser, "GmRoomUser",
              [](const GmRoomUser::Info& i, bool ok) {
                  if (i.count < 0 || i.count > MaxRoomMembers || (ok && !ValidRoom(i.room)))
                      return false;
                  for (const auto& m : i.members)
                      if (!Terminated(m.name))
                          return false;
                  return true;
              },
              [](const GmRoomUser::Info& a, const GmRoomUser::Info& b) {
                  if (a.room != b.room || a.count != b.count)
                      return false;
                  for (int m = 0; m < a.count; ++m) {
                      const auto& x = a.members[m];
                      const auto& y = b.members[m];
                      if (x.clientID != y.clientID || !SameText(x.name, y.name) || x.flag != y.flag)
                          return false;
                  }
                  return true;
              }));
    run(Check(protocol, protocol.CreateRoom, "GmCreateRoom",
              [](const GmCreateRoom::Info& i, bool) { return Terminated(i.name) && Terminated(i.password); },
              [](const GmCreateRoom::Info& a, const GmCreateRoom::Info& b) {
                  return a.kind == b.kind && SameText(a.name, b.name) && SameText(a.password, b.password);
              }));
    run(Check(protocol, protocol.ACreateRoom, "GmACreateRoom",
              [](const GmACreateRoom::Info&, bool) { return true; },
              [](const GmACreateRoom::Info& a, const GmACreateRoom::Info& b) { return a.status == b.status; }));
    run(Check(protocol, protocol.EnterRoom, "GmEnterRoom",
              [](const GmEnterRoom::Info& i, bool) { return Terminated(i.name) && Terminated(i.password); },
              [](const GmEnterRoom::Info& a, const GmEnterRoom::Info& b) {
                  return a.room == b.room && SameText(a.name, b.name) && SameText(a.password, b.password);
              }));
    run(Check(protocol, protocol.AEnterRoom, "GmAEnterRoom",
              [](const GmAEnterRoom::Info& i, bool ok) { return !ok || ValidRoom(i.room); },
              [](const GmAEnterRoom::Info& a, const GmAEnterRoom::Info& b) {
                  return a.room == b.room && a.status == b.status;
              }));
    run(Check(protocol, protocol.Retire, "GmRetire",
              [](const GmRetire::Info&, bool) { return true; },
              [](const GmRetire::Info& a, const GmRetire::Info& b) { return a.room == b.room; }));
    run(Check(protocol, protocol.RetireUser, "GmRetireUser",
              [](const GmRetireUser::Info& i, bool ok) { return !ok || ValidRoom(i.room); },
              [](const GmRetireUser::Info& a, const GmRetireUser::Info& b) {
                  return a.room == b.room && a.clientID == b.clientID;
              }));
    run(Check(protocol, protocol.Talk, "GmTalk",
              [](const GmTalk::Info& i, bool ok) {
                  return Terminated(i.name) && Terminated(i.text) && (!ok || ValidRoom(i.room));
              },
              [](const GmTalk::Info& a, const GmTalk::Info& b) {
                  return a.room == b.room && a.clientID == b.clientID && SameText(a.name, b.name)
                         && SameText(a.text, b.text) && a.style == b.style;
              }));
    return failure;
}

} // namespace kvfuzz
