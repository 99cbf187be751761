// Encoding and decoding must not touch the heap: count every allocation.
#include "GmMessages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t n)
{
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(NoAllocation, EncodeAndDecodeFullMessages)
{
    static GmProtocol proto;
    static GmRoomList::Info list;
    static GmRoomList::Info listBack;
    static GmTalk::Info talk;
    static GmTalk::Info talkBack;
    list.count = 50;
    for (int i = 0; i < 50; ++i) {
        list.rooms[i].room = static_cast<std::int16_t>(i);
        std::memset(list.rooms[i].name, 'r', 30);
    }
    std::memset(talk.text, 't', 200);

    const long before = g_allocations.load();
    bool ok = proto.Talk.Encode(talk);
    ok = proto.Talk.Decode(talkBack) && ok;
    ok = proto.RoomList.Encode(list) && ok;
    ok = proto.RoomList.Decode(listBack) && ok;
    const long after = g_allocations.load();

    EXPECT_TRUE(ok);
    EXPECT_EQ(listBack.count, 50);
    EXPECT_EQ(after - before, 0);
    // The counter works: an allocation outside the measured calls is seen.
    auto* probe = new int(1);
    EXPECT_GT(g_allocations.load(), after);
    delete probe;
}
