// Memory: peak RSS (VmHWM) of the real main window after 10,000 and after 1,000,000
// chat lines into one room tab, whose scrollback is bounded at 10,000 lines.
//
// The lines go through the window's own receive handlers: each is encoded as a
// GmTalk frame into the window's packet and dispatched, as a read event would, and
// the event loop runs after every 500 lines (the log flushes and paints). Each
// measurement runs in a fresh process (this program again, with --one), since a
// peak cannot go down; the parent prints the medians.
//
//   bench_ui_memory [--runs R] [--lines N]
// Never fails on a figure.

#include "AppWindows.h"
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "Cp932.h"
#include "GmMessages.h"
#include "Unitmain.h"

#include <QApplication>
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

void Settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Dispatch(TFormMain& window)
{
    window.DispatchPacket();
}

void OpenRoom(TFormMain& window)
{
    GmRoomList::Info rooms;
    rooms.count = 1;
    rooms.rooms[0].room = Room;
    std::strcpy(rooms.rooms[0].name, "memory");
    window.Protocol.RoomList.Encode(rooms);
    Dispatch(window);
    GmRoomUser::Info members;
    members.room = Room;
    members.count = 3;
    const char* names[] = {"me", "Suzuki", "kicker_09"};
    for (int k = 0; k < 3; ++k) {
        members.members[k].clientID = static_cast<std::int16_t>(k == 0 ? OwnClientId : 100 + k);
        std::strcpy(members.members[k].name, names[k]);
    }
    window.Protocol.RoomUser.Encode(members);
    Dispatch(window);
}

// One measurement in this process: prints "hwm10k rss10k hwmEnd rssEnd seconds".
int RunOne(int argc, char** argv, int total)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    QApplication::setFont(FormFont());
    QTemporaryDir dir;
    std::unique_ptr<TFormMain> window = CreateApplicationWindows((dir.path() + QStringLiteral("/kvchat.INI")).toStdString());
    window->FirstActivate = false;
    window->show();
    Settle(100);
    OpenRoom(*window);
    TChatSheet* sheet = window->FindSheet(Room);
    if (sheet == nullptr)
        return 1;
    Settle(100);

    const std::string tail = cp932::FromUtf8(" パス回しからゴール前へ、シュート! nice play").value_or("");
    long hwm10k = 0;
    long rss10k = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < total; ++i) {
        GmTalk::Info talk;
        talk.room = Room;
        talk.clientID = static_cast<std::int16_t>(101 + i % 2);
        talk.style = static_cast<std::uint8_t>(i % 5);
        const std::string text = "line " + std::to_string(i) + tail;
        std::strncpy(talk.text, text.c_str(), MaxTalkBytes);
        window->Protocol.Talk.Encode(talk);
        Dispatch(*window);
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

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

int RunMany(int runs, int total)
{
    std::vector<double> hwm10k, rss10k, hwmEnd, rssEnd, growth, seconds;
    int lines = 0;
    for (int run = 0; run < runs; ++run) {
        std::string command = "'";
        command += SelfPath();
        command += "' --one ";
        command += std::to_string(total);
        FILE* child = ::popen(command.c_str(), "r");
        if (child == nullptr)
            return 1;
        long a = 0, b = 0, c = 0, d = 0;
        double s = 0;
        char line[256] = {};
        bool ok = false;
        while (std::fgets(line, sizeof line, child) != nullptr) {
            if (std::sscanf(line, "%ld %ld %ld %ld %lf %d", &a, &b, &c, &d, &s, &lines) == 6)
                ok = true;
        }
        ::pclose(child);
        if (!ok) {
            std::fprintf(stderr, "run %d gave no figures\n", run + 1);
            return 1;
        }
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

} // namespace

int main(int argc, char** argv)
{
    int runs = 3;
    int total = 1000000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--one" && i + 1 < argc)
            return RunOne(argc, argv, std::max(FirstCheckpoint, std::atoi(argv[i + 1])));
        if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--lines" && i + 1 < argc)
            total = std::max(FirstCheckpoint, std::atoi(argv[++i]));
    }
    return RunMany(runs, total);
}
