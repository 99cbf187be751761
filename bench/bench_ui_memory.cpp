// Memory: peak RSS (VmHWM) of the real main window after 10,000 and after 1,000,000
// chat lines into one room tab, whose scrollback is bounded at 10,000 lines.
// With --tabs T: T room tabs, RSS (VmRSS) with the tabs empty, after N lines into
// each tab (dealt out in turn, the last tab opened on screen, as a day in many
// busy rooms brings them) and after each tab has been on screen once.
//
// The lines go through the window's own receive handlers: each is encoded as a
// GmTalk frame into the window's packet and dispatched, as a read event would, and
// the event loop runs after every 500 lines (the log flushes and paints). Each
// measurement runs in a fresh process (this program again, with --one), since a
// peak cannot go down; the parent prints the medians.
//
//   bench_ui_memory [--runs R] [--lines N] [--tabs T]
// Never fails on a figure.

#include "AppWindows.h"
#include "BenchWindow.h"
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "Cp932.h"
#include "GmMessages.h"
#include "Unitmain.h"

#include <QApplication>
#include <QTabWidget>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::int16_t Room = 1;
constexpr std::int16_t OwnClientId = 7;
constexpr int FirstCheckpoint = 10000;
constexpr int LinesPerLoop = 500;

// A field of /proc/self/status in kB ("VmHWM", "VmRSS").
long StatusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, key.size(), key) == 0)
            return std::atol(line.c_str() + key.size());
    }
    return -1;
}

void Dispatch(TFormMain& window)
{
    window.DispatchPacket();
}

// Opens rooms Room .. Room+tabs-1; the last one opened is on screen.
void OpenRooms(TFormMain& window, int tabs)
{
    GmRoomList::Info rooms;
    rooms.count = static_cast<std::int16_t>(tabs);
    for (int r = 0; r < tabs; ++r) {
        rooms.rooms[r].room = static_cast<std::int16_t>(Room + r);
        std::snprintf(rooms.rooms[r].name, sizeof rooms.rooms[r].name, "memory%d", r);
    }
    window.Protocol.RoomList.Encode(rooms);
    Dispatch(window);
    for (int r = 0; r < tabs; ++r) {
        GmRoomUser::Info members;
        members.room = static_cast<std::int16_t>(Room + r);
        members.count = 3;
        const char* names[] = {"me", "Suzuki", "kicker_09"};
        for (int k = 0; k < 3; ++k) {
            members.members[k].clientID = static_cast<std::int16_t>(k == 0 ? OwnClientId : 100 + k);
            std::strcpy(members.members[k].name, names[k]);
        }
        window.Protocol.RoomUser.Encode(members);
        Dispatch(window);
    }
}

// Line i, into room: the same text as every run of this benchmark.
void Talk(TFormMain& window, std::int16_t room, int i, const std::string& tail)
{
    GmTalk::Info talk;
    talk.room = room;
    talk.clientID = static_cast<std::int16_t>(101 + i % 2);
    talk.style = static_cast<std::uint8_t>(i % 5);
    const std::string text = "line " + std::to_string(i) + tail;
    std::strncpy(talk.text, text.c_str(), MaxTalkBytes);
    window.Protocol.Talk.Encode(talk);
    Dispatch(window);
}

// Many tabs, in this process: prints "rssEmpty rssFull rssVisited hwm seconds kept".
int RunTabs(TFormMain& window, int tabs, int perTab, const std::string& tail)
{
    OpenRooms(window, tabs);
    Settle(200);
    const long rssEmpty = StatusKb("VmRSS");
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < tabs * perTab; ++i) {
        Talk(window, static_cast<std::int16_t>(Room + i % tabs), i, tail);
        if ((i + 1) % LinesPerLoop == 0)
            QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    Settle(200);
    const long rssFull = StatusKb("VmRSS");
    for (int r = 0; r < tabs; ++r) {
        window.PageControl1->setCurrentIndex(r);
        Settle(20);
    }
    window.PageControl1->setCurrentIndex(tabs - 1);
    Settle(200);
    long kept = 0;
    for (int r = 0; r < tabs; ++r)
        kept += static_cast<long>(window.FindSheet(static_cast<std::int16_t>(Room + r))->Lines.Size());
    std::printf("%ld %ld %ld %ld %.3f %ld\n", rssEmpty, rssFull, StatusKb("VmRSS"), StatusKb("VmHWM"), seconds, kept);
    return 0;
}

// One measurement in this process: prints "hwm10k rss10k hwmEnd rssEnd seconds".
int RunOne(int argc, char** argv, int total, int tabs)
{
    UseOffscreenPlatformUnlessSet();
    QApplication app(argc, argv);
    UseFormFont();
    QTemporaryDir dir;
    std::unique_ptr<TFormMain> window = OpenBenchWindow(dir.path() + QStringLiteral("/kvchat.INI"));
    const std::string tail = cp932::FromUtf8(" パス回しからゴール前へ、シュート! nice play").value_or("");
    if (tabs > 1) {
        const int result = RunTabs(*window, tabs, total, tail);
        window.reset();
        ForgetApplicationWindows();
        return result;
    }
    OpenRooms(*window, 1);
    TChatSheet* sheet = window->FindSheet(Room);
    if (sheet == nullptr)
        return 1;
    Settle(100);

    long hwm10k = 0;
    long rss10k = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < total; ++i) {
        Talk(*window, Room, i, tail);
        if ((i + 1) % LinesPerLoop == 0)
            QCoreApplication::processEvents();
        if (i + 1 == FirstCheckpoint) {
            Settle(50);
            hwm10k = StatusKb("VmHWM");
            rss10k = StatusKb("VmRSS");
        }
    }
    Settle(50);
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    const int lines = sheet->ChatLog->LineCount();
    std::printf("%ld %ld %ld %ld %.3f %d\n", hwm10k, rss10k, StatusKb("VmHWM"), StatusKb("VmRSS"), seconds, lines);
    window.reset();
    ForgetApplicationWindows();
    return 0;
}

// This program's own file (popen runs a shell, so /proc/self/exe would be the shell).
std::string SelfPath()
{
    char path[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

// Runs this program again with args; returns the numbers of its last line that has count of them.
std::optional<std::vector<double>> RunChild(const std::string& args, std::size_t count)
{
    std::string command = "'";   // appended piece by piece: GCC 12 warns wrongly on a chain of +
    command += SelfPath();
    command += "' ";
    command += args;
    FILE* child = ::popen(command.c_str(), "r");
    if (child == nullptr)
        return std::nullopt;
    std::optional<std::vector<double>> figures;
    char line[256] = {};
    while (std::fgets(line, sizeof line, child) != nullptr) {
        std::vector<double> numbers;
        std::istringstream in(line);
        for (double x = 0; in >> x;)
            numbers.push_back(x);
        if (numbers.size() == count)
            figures = std::move(numbers);
    }
    ::pclose(child);
    return figures;
}

int RunMany(int runs, int total)
{
    std::vector<double> hwm10k, rss10k, hwmEnd, rssEnd, growth, seconds;
    int lines = 0;
    for (int run = 0; run < runs; ++run) {
        const auto f = RunChild("--one " + std::to_string(total), 6);
        if (!f) {
            std::fprintf(stderr, "run %d gave no figures\n", run + 1);
            return 1;
        }
        const double a = (*f)[0], b = (*f)[1], c = (*f)[2], d = (*f)[3], s = (*f)[4];
        lines = static_cast<int>((*f)[5]);
        hwm10k.push_back(a / 1024.0);
        rss10k.push_back(b / 1024.0);
        hwmEnd.push_back(c / 1024.0);
        rssEnd.push_back(d / 1024.0);
        growth.push_back((c - a) / 1024.0);
        seconds.push_back(s);
        std::fprintf(stderr, "run %d: peak RSS %.1f MB after %d lines, %.1f MB after %d lines (%.1f s)\n", run + 1,
                     a / 1024.0, FirstCheckpoint, c / 1024.0, total, s);
    }
    std::printf("Memory of the real main window, one room tab, %d run(s), medians\n", runs);
    std::printf("  peak RSS after %7d lines: %7.1f MB (RSS %.1f MB)\n", FirstCheckpoint, Median(hwm10k), Median(rss10k));
    std::printf("  peak RSS after %7d lines: %7.1f MB (RSS %.1f MB)\n", total, Median(hwmEnd), Median(rssEnd));
    const double g = Median(growth);
    std::printf("  growth: %.1f MB (bar 40 MB: %s); lines kept in the log: %d; %.2f us per line fed\n", g,
                g <= 40.0 ? "met" : "NOT met", lines, Median(seconds) / total * 1e6);
    return 0;
}

int RunManyTabs(int runs, int tabs, int perTab)
{
    std::vector<double> empty, full, visited, peak, perLineFull, perLineVisited, seconds;
    long kept = 0;
    const double lines = static_cast<double>(tabs) * perTab;
    for (int run = 0; run < runs; ++run) {
        const auto f = RunChild("--one " + std::to_string(perTab) + " --tabs " + std::to_string(tabs), 6);
        if (!f) {
            std::fprintf(stderr, "run %d gave no figures\n", run + 1);
            return 1;
        }
        empty.push_back((*f)[0] / 1024.0);
        full.push_back((*f)[1] / 1024.0);
        visited.push_back((*f)[2] / 1024.0);
        peak.push_back((*f)[3] / 1024.0);
        seconds.push_back((*f)[4]);
        kept = static_cast<long>((*f)[5]);
        perLineFull.push_back(((*f)[1] - (*f)[0]) * 1024.0 / lines);
        perLineVisited.push_back(((*f)[2] - (*f)[0]) * 1024.0 / lines);
        std::fprintf(stderr, "run %d: RSS %.1f MB with %d empty tabs, %.1f MB filled (%.0f bytes/line), %.1f MB after "
                     "showing each (%.0f bytes/line), %.2f s\n", run + 1, empty.back(), tabs, full.back(),
                     perLineFull.back(), visited.back(), perLineVisited.back(), seconds.back());
    }
    const double f = Median(perLineFull), v = Median(perLineVisited);
    std::printf("Memory of the real main window, %d room tabs x %d lines, %d run(s), medians\n", tabs, perTab, runs);
    std::printf("  RSS with the tabs empty: %.1f MB; filled: %.1f MB; after each tab was on screen once: %.1f MB; "
                "peak %.1f MB\n", Median(empty), Median(full), Median(visited), Median(peak));
    std::printf("  bytes per line above the empty tabs: filled %.0f, after showing each %.0f (bar 100: %s); "
                "lines kept %ld; filling took %.2f s (%.2f us per line)\n", f, v, f <= 100 && v <= 100 ? "met" : "NOT met",
                kept, Median(seconds), Median(seconds) / lines * 1e6);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 3;
    int total = 0;
    int tabs = 1;
    int one = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--one" && i + 1 < argc)
            one = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--lines" && i + 1 < argc)
            total = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--tabs" && i + 1 < argc)
            tabs = std::clamp(std::atoi(argv[++i]), 1, static_cast<int>(MaxRoomEntries));
    }
    if (one > 0)
        return RunOne(argc, argv, tabs > 1 ? one : std::max(FirstCheckpoint, one), tabs);
    // With many tabs, --lines is per tab: the scrollback bound by default.
    if (tabs > 1)
        return RunManyTabs(runs, tabs, total > 0 ? total : 10000);
    return RunMany(runs, std::max(FirstCheckpoint, total > 0 ? total : 1000000));
}
