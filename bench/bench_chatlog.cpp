// Restoring a room's scrollback: the last 200 lines of a 100 MB chat log, beside
// the same read from a log of 200 lines (the yardstick). The read goes backwards
// from the end, so the two should cost about the same. So should logs whose end
// is damaged after 200 lines (2 MiB of NULs, 256 KiB without a line break): the
// read looks back no further than 200 of the longest lines.
#include "ChatLogFiles.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path& Folder()
{
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "kv_bench_chatlog_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        // The server's folder in a logs folder of the user's own, as the reader requires.
        const fs::path path = fs::path(pattern) / "srv";
        fs::create_directory(path);
        const std::string line = "2026-12-07 13:05:42 ゴールキーパー> " + std::string(60, 'x') + "\n";
        std::ofstream big(path / "big_2026-12.log", std::ios::binary);
        for (std::size_t written = 0; written < 100u * 1024 * 1024; written += line.size())
            big << line;
        std::ofstream small(path / "small_2026-12.log", std::ios::binary);
        for (int i = 0; i < 200; ++i)
            small << line;
        for (const auto& [stem, damage] : {std::pair{"nul", std::string(2u << 20, '\0')},
                                           std::pair{"long", std::string(256u << 10, 'x')}}) {
            std::ofstream damaged(path / (std::string(stem) + "_2026-12.log"), std::ios::binary);
            for (int i = 0; i < 200; ++i)
                damaged << line;
            damaged << damage;
        }
        std::atexit([] { fs::remove_all(Folder().parent_path()); });
        return path;
    }();
    return folder;
}

void Tail(benchmark::State& state, const char* stem, std::size_t expected = 200)
{
    const fs::path& folder = Folder();
    for (auto _ : state) {
        auto lines = chatlog::ReadRoomTail(folder, stem, 200);
        if (lines.size() != expected)
            state.SkipWithError("wrong line count");
        benchmark::DoNotOptimize(lines);
    }
}

void BM_TailOf100MBLog(benchmark::State& state) { Tail(state, "big"); }
void BM_TailOf200LineLog(benchmark::State& state) { Tail(state, "small"); }
// The damage reaches back past the look-back: nothing can be restored.
void BM_TailOf2MiBNulEnd(benchmark::State& state) { Tail(state, "nul", 0); }
void BM_TailOf256KiBLineEnd(benchmark::State& state) { Tail(state, "long", 0); }

}  // namespace

BENCHMARK(BM_TailOf100MBLog)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TailOf200LineLog)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TailOf2MiBNulEnd)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TailOf256KiBLineEnd)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
