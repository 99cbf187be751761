// Encode/decode cost of the largest everyday messages.
#include "GmMessages.h"

#include <benchmark/benchmark.h>

#include <cstring>

static void BM_TalkEncode(benchmark::State& state)
{
    GmProtocol proto;
    GmTalk::Info info;
    std::memset(info.text, 'x', 200);
    std::strcpy(info.name, "player");
    for (auto _ : state) {
        benchmark::DoNotOptimize(proto.Talk.Encode(info));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TalkEncode);

static void BM_TalkDecode(benchmark::State& state)
{
    GmProtocol proto;
    GmTalk::Info info;
    std::memset(info.text, 'x', 200);
    proto.Talk.Encode(info);
    GmTalk::Info out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(proto.Talk.Decode(out));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TalkDecode);

static void BM_RoomList50Encode(benchmark::State& state)
{
    GmProtocol proto;
    static GmRoomList::Info info;
    info.count = 50;
    for (int i = 0; i < 50; ++i)
        std::memset(info.rooms[i].name, 'r', 30);
    for (auto _ : state) {
        benchmark::DoNotOptimize(proto.RoomList.Encode(info));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RoomList50Encode);

static void BM_RoomList50Decode(benchmark::State& state)
{
    GmProtocol proto;
    static GmRoomList::Info info;
    info.count = 50;
    for (int i = 0; i < 50; ++i)
        std::memset(info.rooms[i].name, 'r', 30);
    proto.RoomList.Encode(info);
    static GmRoomList::Info out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(proto.RoomList.Decode(out));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RoomList50Decode);

BENCHMARK_MAIN();
