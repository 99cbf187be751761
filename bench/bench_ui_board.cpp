// A busy room with the formation board: what board lines from peers cost the
// client's GUI thread, beside the same traffic as plain chat lines in the same run.
//
// A server thread of this program answers the handshake, opens one room and then
// writes lines into it at a steady rate (1,000 a second by default), as a peer's
// script or many peers dragging would. Three loads per run, each the same count
// of lines at the same rate:
//   plain   ordinary chat lines of the same length (the yardstick)
//   hidden  board lines, the board bound to the room and closed
//   shown   board lines, the board on screen
// Each is timed by the GUI thread's own CPU time (CLOCK_THREAD_CPUTIME_ID) from
// the first line written to the moment a closing plain line is in the tab's log;
// the server thread's writing is not counted. Paints of the pitch are counted
// beside the frames (at 60 a second) the load lasted. Last, the board's own part
// alone: the same lines handed straight to the closed board's ParseTalk.
//
//   bench_ui_board [--runs R] [--lines N] [--rate L]
// Prints medians over R runs; never fails on a figure.

#include "BenchSocket.h"
#include "BenchWindow.h"
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "GmMessages.h"
#include "MessageBoxes.h"
#include "Unitboard.h"
#include "Unitmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <condition_variable>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::int16_t Room = 1;
constexpr std::int16_t OwnId = 7;
constexpr std::int16_t PeerId = 20;

double ThreadCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Line i of a load: a position line moving the ball (every one applies), or a
// plain line of the same length.
std::string LineOf(bool board, int i)
{
    char text[32];
    if (board)
        std::snprintf(text, sizeof text, "*!B!*A%02d%02d", i % 100, (i / 100) % 100);
    else
        std::snprintf(text, sizeof text, "ok %07d", i);
    return text;
}

// The room's other side: a listening socket, the handshake, then loads on request.
class PeerServer {
public:
    bool Start()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0
            || ::listen(listener_, 1) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return false;
        port = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Serve(); });
        return true;
    }

    // Writes n lines at `rate` a second, then the closing plain line "end".
    void Load(bool board, int n, int rate)
    {
        std::lock_guard lock(mutex_);
        job_ = Job{board, n, rate};
        wake_.notify_one();
    }

    void Stop()
    {
        {
            std::lock_guard lock(mutex_);
            job_ = Job{false, -1, 0};
            wake_.notify_one();
        }
        if (thread_.joinable())
            thread_.join();
        ::close(listener_);
    }

    int port = 0;

private:
    struct Job {
        bool board = false;
        int n = 0;   // 0: none waiting; -1: stop
        int rate = 0;
    };

    void Serve()
    {
        const int fd = ::accept(listener_, nullptr, nullptr);
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        GmProtocol protocol;
        bench::ReadFrame(fd);   // GmReady
        GmAReady::Info ready;
        ready.clientID = OwnId;
        protocol.AReady.Encode(ready);
        bench::SendPacket(fd, protocol.Packet);
        bench::ReadFrame(fd);   // GmConnect
        GmAConnect::Info connected;
        protocol.AConnect.Encode(connected);
        bench::SendPacket(fd, protocol.Packet);
        GmRoomList::Info rooms;
        rooms.count = 1;
        rooms.rooms[0].room = Room;
        std::strcpy(rooms.rooms[0].name, "busy");
        protocol.RoomList.Encode(rooms);
        bench::SendPacket(fd, protocol.Packet);
        GmRoomUser::Info members;
        members.room = Room;
        members.count = 2;
        members.members[0].clientID = OwnId;
        std::strcpy(members.members[0].name, "me");
        members.members[1].clientID = PeerId;
        std::strcpy(members.members[1].name, "peer");
        protocol.RoomUser.Encode(members);
        bench::SendPacket(fd, protocol.Packet);

        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return job_.n != 0; });
                job = std::exchange(job_, Job{});
            }
            if (job.n < 0)
                break;
            const auto step = std::chrono::nanoseconds(1'000'000'000 / job.rate);
            auto next = std::chrono::steady_clock::now();
            for (int i = 0; i <= job.n; ++i) {
                GmTalk::Info talk;
                talk.room = Room;
                talk.clientID = PeerId;
                const std::string text = i == job.n ? std::string("end") : LineOf(job.board, i);
                std::strncpy(talk.text, text.c_str(), MaxTalkBytes);
                protocol.Talk.Encode(talk);
                bench::SendPacket(fd, protocol.Packet);
                next += step;
                std::this_thread::sleep_until(next);
            }
        }
        ::close(fd);
    }

    int listener_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    Job job_;
};

// Counts the pitch's paints.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

struct LoadResult {
    double cpu = 0;    // GUI thread, seconds
    double wall = 0;
    int paints = 0;
};

LoadResult RunLoad(PeerServer& server, TChatSheet* sheet, PaintCounter& counter, bool board, int n, int rate)
{
    const int before = sheet->ChatLog->LineCount();
    counter.paints = 0;
    QElapsedTimer wall;
    wall.start();
    const double cpu = ThreadCpuSeconds();
    server.Load(board, n, rate);
    const int want = before + (board ? 1 : n + 1);
    while (sheet->ChatLog->LineCount() < want && wall.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    LoadResult result{ThreadCpuSeconds() - cpu, static_cast<double>(wall.nsecsElapsed()) / 1e9, counter.paints};
    Settle(100);
    return result;
}

const char* Verdict(bool met) { return met ? "met" : "NOT met"; }

}   // namespace

int main(int argc, char** argv)
{
    int runs = 5;
    int lines = 3000;
    int rate = 1000;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs")
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--lines")
            lines = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--rate")
            rate = std::max(1, std::atoi(argv[++i]));
    }

    UseOffscreenPlatformUnlessSet();
    QApplication app(argc, argv);
    UseFormFont();
    SetBoxInterceptor([](const QString&, const QString& text) { std::fprintf(stderr, "box: %s\n", qPrintable(text)); });
    QTemporaryDir dir;
    std::unique_ptr<TFormMain> window = OpenBenchWindow(dir.path() + QStringLiteral("/kvchat.INI"),
                                                        [](TFormMain& w) { w.UserName = "me"; });
    PeerServer server;
    if (!server.Start()) {
        std::fprintf(stderr, "cannot listen\n");
        return 1;
    }
    window->Socket1->Address = "127.0.0.1";
    window->Socket1->Port = static_cast<std::uint16_t>(server.port);
    window->Socket1->Open();
    QElapsedTimer wait;
    wait.start();
    while (window->FindSheet(Room) == nullptr && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    TChatSheet* sheet = window->FindSheet(Room);
    if (sheet == nullptr) {
        std::fprintf(stderr, "the room tab did not open\n");
        server.Stop();
        return 1;
    }
    PaintCounter counter;
    FormBoard->ImageGround->installEventFilter(&counter);
    window->ButtonBoardClick();   // bound to the room
    Settle(200);

    std::printf("board lines from a busy room: %d lines at %d a second per load, %d runs\n", lines, rate, runs);
    std::vector<double> plain, hidden, shown, paintsShown, paintsHidden;
    for (int r = 0; r < runs; ++r) {
        const LoadResult p = RunLoad(server, sheet, counter, false, lines, rate);
        FormBoard->close();
        Settle(100);
        const LoadResult h = RunLoad(server, sheet, counter, true, lines, rate);
        window->ButtonBoardClick();
        Settle(200);
        const LoadResult s = RunLoad(server, sheet, counter, true, lines, rate);
        std::printf("  run %d: GUI thread CPU plain %.3f s, board hidden %.3f s, board shown %.3f s "
                    "(hidden/plain %.2f, shown/plain %.2f); pitch paints hidden %d, shown %d in %.1f s (%.0f frames)\n",
                    r + 1, p.cpu, h.cpu, s.cpu, h.cpu / p.cpu, s.cpu / p.cpu, h.paints, s.paints, s.wall, s.wall * 60);
        std::fflush(stdout);
        plain.push_back(p.cpu);
        hidden.push_back(h.cpu / p.cpu);
        shown.push_back(s.cpu / p.cpu);
        paintsHidden.push_back(h.paints);
        paintsShown.push_back(s.paints / (s.wall * 60));
    }
    // The board's own part alone: lines handed straight to it, closed, no event loop.
    FormBoard->close();
    Settle(100);
    const double direct = ThreadCpuSeconds();
    for (int i = 0; i < lines; ++i)
        FormBoard->ParseTalk(Room, LineOf(true, i).c_str(), "peer");
    std::printf("ParseTalk alone, board closed: %.1f us per line\n", (ThreadCpuSeconds() - direct) * 1e6 / lines);
    const double hiddenRatio = Median(hidden);
    const double shownRatio = Median(shown);
    std::printf("median GUI thread CPU of the plain load: %.3f s (%.0f %% of a core)\n", Median(plain),
                100 * Median(plain) * rate / lines);
    std::printf("board hidden: %.2f x plain lines (bar: at most 1): %s; paints %.0f\n", hiddenRatio,
                Verdict(hiddenRatio <= 1.0), Median(paintsHidden));
    std::printf("board shown:  %.2f x plain lines (bar: at most 2): %s; paints per frame %.2f (bar: at most 1): %s\n",
                shownRatio, Verdict(shownRatio <= 2.0), Median(paintsShown), Verdict(Median(paintsShown) <= 1.0));
    server.Stop();
    window->Socket1->Close();
    return 0;
}
