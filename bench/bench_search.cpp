// One keystroke of the log search: every match in a full tab of 10,000 lines,
// for each prefix of a query as the user types it. The yardstick is a plain
// byte-exact find over the same lines in the same run.
#include "TextSearch.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t TabLines = 10000;

const std::vector<std::string>& Lines()
{
    static const std::vector<std::string> lines = [] {
        const std::array<std::string_view, 6> names = {"たろう", "KV_Keeper", "ﾊﾅｺ", "ストライカー", "mido", "ｼﾞｮｰ"};
        const std::array<std::string_view, 10> phrases = {
            "こんばんは、今日の試合は何時からですか？",
            "ナイスゴール！ｺﾞｰﾙｷｰﾊﾟｰ見てなかったｗ",
            "http://kickvale.example.jp/reserve#12 予約しました",
            "4-4-2 でいきましょう。ＤＦは３人で",
            "lol that pass was amazing",
            "ｽﾀｼﾞｱﾑ空いてる？",
            "次の部屋で待ってます",
            "ＯＫです、準備できました",
            "ｵﾌｻｲﾄﾞ多すぎ…",
            "GG! また明日",
        };
        std::vector<std::string> out;
        std::uint32_t seed = 12345;
        for (std::size_t i = 0; i < TabLines; ++i) {
            seed = seed * 1103515245u + 12345u;
            const auto& name = names[(seed >> 8) % names.size()];
            const auto& phrase = phrases[(seed >> 16) % phrases.size()];
            out.push_back(std::string(name) + "> " + std::string(phrase));
        }
        return out;
    }();
    return lines;
}

// The query typed one character at a time; the argument is the keystroke.
const std::array<std::string_view, 5> Keystrokes = {"ゴ", "ゴー", "ゴール", "ゴールキ", "ゴールキー"};

void BM_SearchKeystroke(benchmark::State& state)
{
    const auto& lines = Lines();
    const std::string_view query = Keystrokes[static_cast<std::size_t>(state.range(0))];
    std::size_t found = 0;
    for (auto _ : state) {
        TextSearch search(query);
        const auto matches = search.FindAll(lines.size(), [&](std::size_t i) { return std::string_view(lines[i]); });
        found = matches.size();
        benchmark::DoNotOptimize(matches.data());
    }
    state.counters["matches"] = static_cast<double>(found);
}
BENCHMARK(BM_SearchKeystroke)->DenseRange(0, Keystrokes.size() - 1)->Unit(benchmark::kMillisecond);

void BM_YardstickPlainFind(benchmark::State& state)
{
    const auto& lines = Lines();
    const std::string_view query = Keystrokes[static_cast<std::size_t>(state.range(0))];
    for (auto _ : state) {
        std::size_t found = 0;
        for (const std::string& line : lines) {
            for (std::size_t at = line.find(query); at != std::string::npos; at = line.find(query, at + query.size()))
                ++found;
        }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_YardstickPlainFind)->DenseRange(0, Keystrokes.size() - 1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
