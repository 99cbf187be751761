// The search over every log, on generated logs (50 rooms x 4 months, Japanese
// and ASCII, 200 MB by default) in the page cache. The yardstick is
// `LC_ALL=C.UTF-8 grep -F -i -c` over the same files, timed in the same run.
// Per query: grep's time; the search engine's whole search on one thread; then
// the real search window (offscreen): its first result, its whole search, and
// the longest the window's event loop went without turning while hits streamed.
//
//   bench_ui_logsearch [--mb N] [--folder F] [--runs R]
// The logs are written once into F (default build-bench/logsearch-data) and
// reused while their size fits. Prints medians over R runs; never fails on a figure.

#include "BenchWindow.h"
#include "LogSearch.h"
#include "LogSearchResults.h"
#include "Unitlogsearch.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int Rooms = 50;
constexpr int Months = 4;
const char* const Server = "127.0.0.1_9010";

// One month file per room and month, each mb/200 MB, lines of a chat.
void WriteLogs(const fs::path& folder, int mb)
{
    const std::array<std::string_view, 6> names = {"たろう", "KV_Keeper", "ﾊﾅｺ", "ストライカー", "mido", "ｼﾞｮｰ"};
    const std::array<std::string_view, 12> phrases = {
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
        "anyone up for a late match tonight?",
        "フォーメーションを変えてみよう",
    };
    const std::size_t fileBytes = static_cast<std::size_t>(mb) * 1024 * 1024 / (Rooms * Months);
    fs::create_directories(folder / Server);
    std::uint32_t seed = 12345;
    for (int room = 0; room < Rooms; ++room) {
        for (int month = 9; month < 9 + Months; ++month) {
            char name[64];
            std::snprintf(name, sizeof name, "room%02d_2026-%02d.log", room, month);
            std::string text;
            text.reserve(fileBytes + 256);
            int second = 0;
            while (text.size() < fileBytes) {
                seed = seed * 1103515245u + 12345u;
                char stamp[32];
                const int day = 1 + second / 86400 % 28;
                std::snprintf(stamp, sizeof stamp, "2026-%02d-%02d %02d:%02d:%02d ", month, day, second / 3600 % 24,
                              second / 60 % 60, second % 60);
                second += 1 + static_cast<int>((seed >> 20) % 7);
                text += stamp;
                text += names[(seed >> 8) % names.size()];
                text += "> ";
                text += phrases[(seed >> 16) % phrases.size()];
                text += '\n';
            }
            std::ofstream(folder / Server / name, std::ios::binary) << text;
        }
    }
    std::ofstream(folder / "size") << mb;
}

double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double GrepMs(const fs::path& folder, const std::string& needle)
{
    // Not into /dev/null: grep sees that and stops at the first match, as with -q.
    const std::string command =
        "LC_ALL=C.UTF-8 grep -F -i -c -r -- '" + needle + "' '" + folder.string() + "' | cat > /dev/null";
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) == -1)
        return -1;
    return Since(start);
}

struct EngineRun {
    double Ms = 0;
    std::size_t Hits = 0;
};

EngineRun Engine(const fs::path& folder, const std::string& needle)
{
    const auto start = std::chrono::steady_clock::now();
    chatlog::LogQuery query;
    query.Text = needle;
    const std::vector<chatlog::LogFile> files = chatlog::ListLogFiles(folder, query);
    // As the window runs it: every line counted, the newest it lists kept.
    chatlog::LogSearcher searcher(needle, LogSearchResults::DefaultLimit);
    std::atomic<bool> cancel{false};
    std::vector<chatlog::LogHit> hits;
    EngineRun run;
    for (std::size_t i = 0; i < files.size(); ++i) {
        hits.clear();
        searcher.SearchFile(files[i], i, query, cancel, hits);
    }
    run.Hits = searcher.Found();
    run.Ms = Since(start);
    return run;
}

struct WindowRun {
    double FirstMs = -1;
    double WholeMs = -1;
    double StallMs = 0;
    int Rows = 0;
};

WindowRun Window(TFormLogSearch& form, const std::string& needle)
{
    WindowRun run;
    form.EditSearch->setText(QString::fromStdString(needle));
    QElapsedTimer clock;
    QElapsedTimer tick;
    QTimer beat;
    beat.setInterval(1);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        run.StallMs = std::max(run.StallMs, static_cast<double>(tick.nsecsElapsed()) / 1e6);
        tick.restart();
    });
    const auto firstRows = QObject::connect(form.Results(), &QAbstractItemModel::rowsInserted, [&] {
        if (run.FirstMs < 0)
            run.FirstMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    });
    clock.start();
    tick.start();
    beat.start();
    form.StartSearch();
    while (form.Searching())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    run.WholeMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    beat.stop();
    QObject::disconnect(firstRows);
    run.Rows = form.Results()->rowCount();
    return run;
}

}  // namespace

int main(int argc, char** argv)
{
    // Each figure as soon as it is known, also into a pipe (the bench script tees its output).
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int mb = 200;
    int runs = 3;
    fs::path folder = "logsearch-data";
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--mb")
            mb = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--runs")
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--folder")
            folder = argv[++i];
    }
    int written = 0;
    std::ifstream(folder / "size") >> written;
    if (written != mb) {
        fs::remove_all(folder);
        const auto start = std::chrono::steady_clock::now();
        WriteLogs(folder, mb);
        std::printf("wrote %d MB of logs (%d rooms x %d months) in %.1f s\n", mb, Rooms, Months, Since(start) / 1000);
    }
    UseOffscreenPlatformUnlessSet();
    QApplication app(argc, argv);
    UseFormFont();
    TFormLogSearch form;
    form.SetLogs(folder.string(), Server);
    form.resize(900, 600);
    form.show();
    Settle(100);

    std::printf("search over every log: %d MB, medians of %d runs (bars: whole search within 5x grep, "
                "first result within 100 ms, no stall over 50 ms)\n",
                mb, runs);
    std::printf("%-16s %9s %11s %8s %10s %9s %11s %9s %9s %7s\n", "query", "grep ms", "engine ms", "x grep", "window ms",
                "x grep", "first ms", "stall ms", "found", "listed");
    GrepMs(folder, "warm");   // into the page cache
    for (const std::string needle : {"存在しない語", "ゴール", "amazing", "kickvale"}) {
        std::vector<double> grep, engine, whole, first, stall;
        std::size_t hits = 0;
        int rows = 0;
        for (int r = 0; r < runs; ++r) {
            grep.push_back(GrepMs(folder, needle));
            const EngineRun e = Engine(folder, needle);
            engine.push_back(e.Ms);
            hits = e.Hits;
            const WindowRun w = Window(form, needle);
            whole.push_back(w.WholeMs);
            first.push_back(w.FirstMs);
            stall.push_back(w.StallMs);
            rows = w.Rows;
        }
        const double g = Median(grep);
        std::printf("%-16s %9.0f %11.0f %7.1fx %10.0f %8.1fx %11.1f %9.1f %9zu %7d\n", needle.c_str(), g, Median(engine),
                    Median(engine) / g, Median(whole), Median(whole) / g, Median(first), Median(stall), hits, rows);
    }
    return 0;
}
