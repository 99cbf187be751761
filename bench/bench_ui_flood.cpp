// Flood: the real main window with one room tab open takes N chat lines from a
// loopback server that writes them as fast as the socket takes them. Timed from the
// first byte sent to the moment the last line is in the tab's log; the longest gap
// between ticks of a 10 ms timer on the GUI thread is recorded meanwhile.
//
// In the same process and run, the toolkit's floor for the same lines and colours:
// a visible QPlainTextEdit of the same size and font, fed with one cursor insert
// per line (naive) and with edit blocks of 1000 lines (batched).
//
// The server is this program again, started with --flood-server: a second process,
// so that writing the flood never competes with the window's event loop. It answers
// the handshake, opens the rooms, then floods on each command read from its stdin
// and reports on its stdout when (CLOCK_MONOTONIC) it began and finished writing.
//
// --decorated: every line also carries a web address (a link) and names the user
// (a highlighted mention), and the log shows times; the floors insert the same
// text with the same formats (time, underlined anchor, background).
// The client logs the flood to disk as it normally does; --no-log turns that off
// ([Log] Enabled=0) to show what logging costs.
//
// With --tabs T (many rooms): T room tabs open, the first on screen. Per run: N
// lines into the tab on screen; N lines into a background tab; T x 10,000 lines
// dealt out to all rooms in turn; then switches to tabs of 10,000 lines, timed to
// the end of the first paint that shows the tab's last line. A background flood
// ends when a marker line sent after it reaches the tab on screen. Last, the GUI
// thread's wake-ups while the window idles.
//
//   bench_ui_flood [--runs R] [--lines N[,N...]] [--no-naive] [--client-only] [--no-log]
//                  [--tabs T] [--idle SECONDS] [--decorated]
// Prints medians over R runs; never fails on a figure.

#include "AppWindows.h"
#include "BenchSocket.h"
#include "BenchWindow.h"
#include "LogColours.h"
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "Cp932.h"
#include "DesktopNotice.h"
#include "GmMessages.h"
#include "MessageBoxes.h"
#include "SjisText.h"
#include "Unitmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using bench::ReadFrame;
using bench::SendPacket;
using bench::WriteAll;

using Clock = std::chrono::steady_clock;   // CLOCK_MONOTONIC: the same clock in both processes

constexpr std::int16_t FloodRoom = 1;
constexpr std::int16_t OwnClientId = 7;
constexpr int SpeakerCount = 5;
constexpr std::int16_t FirstSpeakerId = 100;
const char* const SpeakerNames[SpeakerCount] = {"山田", "Suzuki", "佐藤太郎", "kicker_09", "ゴールキーパー"};

std::int64_t Nanos(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

double Seconds(std::int64_t nanos) { return static_cast<double>(nanos) / 1e9; }

// CPU time of this process (all its threads; the server is another process). On a
// busy machine it tells how much of a wall-clock figure was spent waiting for a core.
double CpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::string Cp932(const char* utf8)
{
    return cp932::FromUtf8(utf8).value_or(std::string());
}

// Line i of a flood: who says it, in which style, and the CP932 text. Every line is
// different (run tag and number) so the last one can be recognised.
struct FloodLine {
    std::int16_t clientId;
    std::uint8_t style;
    std::string text;
};

// A tag that starts with "d" marks a decorated flood (see --decorated).
FloodLine MakeLine(const std::string& tag, int i)
{
    static const std::string tail = Cp932(" パス回しからゴール前へ、シュート! nice play <b>&amp;</b>");
    static const std::string link = " https://kickvale.example/match?id=42";
    char head[48];
    std::snprintf(head, sizeof head, "%s #%07d", tag.c_str(), i);
    return {static_cast<std::int16_t>(FirstSpeakerId + i % SpeakerCount), static_cast<std::uint8_t>(i % 5),
            head + tail + (tag.starts_with('d') ? link : std::string())};
}

// ---------------------------------------------------------------- server process

void Append(std::vector<std::uint8_t>& out, const GmPacket& packet)
{
    out.insert(out.end(), packet.Data(), packet.Data() + static_cast<std::uint16_t>(packet.GetLength()));
}

std::int16_t RoomOf(int k) { return static_cast<std::int16_t>(FloodRoom + k); }

// The server's command for a flood of n lines (see RunFloodServer).
std::string FloodCommand(int n, const std::string& tag, int room = FloodRoom, int mark = 0)
{
    char command[128];
    std::snprintf(command, sizeof command, "flood %d %s %d %d", n, tag.c_str(), room, mark);
    return command;
}

int RunFloodServer(int tabs)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener, 1) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 2;
    std::printf("port %d\n", ntohs(addr.sin_port));
    std::fflush(stdout);
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0)
        return 2;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    GmProtocol protocol;
    if (ReadFrame(fd) != GmTypeReady)
        return 3;
    GmAReady::Info ready;
    ready.status = 0;
    ready.clientID = OwnClientId;
    protocol.AReady.Encode(ready);
    SendPacket(fd, protocol.Packet);
    if (ReadFrame(fd) != GmTypeConnect)
        return 3;
    GmAConnect::Info connected;
    connected.status = 0;
    protocol.AConnect.Encode(connected);
    SendPacket(fd, protocol.Packet);

    GmRoomList::Info rooms;
    rooms.count = static_cast<std::int16_t>(tabs);
    for (int k = 0; k < tabs; ++k) {
        rooms.rooms[k].room = RoomOf(k);
        std::snprintf(rooms.rooms[k].name, sizeof rooms.rooms[k].name, k == 0 ? "flood" : "flood%d", k + 1);
    }
    protocol.RoomList.Encode(rooms);
    SendPacket(fd, protocol.Packet);
    for (int r = 0; r < tabs; ++r) {
        GmRoomUser::Info members;
        members.room = RoomOf(r);
        members.count = SpeakerCount + 1;
        members.members[0].clientID = OwnClientId;
        std::strcpy(members.members[0].name, "me");
        for (int k = 0; k < SpeakerCount; ++k) {
            members.members[k + 1].clientID = static_cast<std::int16_t>(FirstSpeakerId + k);
            std::strncpy(members.members[k + 1].name, Cp932(SpeakerNames[k]).c_str(), MaxUserNameBytes);
        }
        protocol.RoomUser.Encode(members);
        SendPacket(fd, protocol.Packet);
    }

    // Commands: "flood N TAG [ROOM MARK]" or "quit". ROOM 0 deals the lines out to
    // all rooms in turn; MARK, when not 0, is the room of one more line (number N)
    // after the flood. The whole flood is encoded before the clock starts.
    char command[256];
    while (std::fgets(command, sizeof command, stdin) != nullptr) {
        int n = 0;
        char tag[64] = {};
        int room = FloodRoom;
        int mark = 0;
        if (std::sscanf(command, "flood %d %63s %d %d", &n, tag, &room, &mark) < 2)
            break;
        std::vector<std::uint8_t> bytes;
        bytes.reserve(static_cast<std::size_t>(n) * 100);
        for (int i = 0; i < n + (mark != 0 ? 1 : 0); ++i) {
            const FloodLine line = MakeLine(tag, i);
            GmTalk::Info talk;
            talk.room = i == n ? static_cast<std::int16_t>(mark) : room != 0 ? static_cast<std::int16_t>(room) : RoomOf(i % tabs);
            talk.clientID = line.clientId;
            std::strncpy(talk.text, line.text.c_str(), MaxTalkBytes);
            talk.style = line.style;
            protocol.Talk.Encode(talk);
            Append(bytes, protocol.Packet);
        }
        const Clock::time_point start = Clock::now();
        const bool ok = WriteAll(fd, bytes.data(), bytes.size());
        const Clock::time_point end = Clock::now();
        std::printf("%s %lld %lld\n", ok ? "sent" : "failed", static_cast<long long>(Nanos(start)),
                    static_cast<long long>(Nanos(end)));
        std::fflush(stdout);
    }
    ::close(fd);
    ::close(listener);
    return 0;
}

// ---------------------------------------------------------------- the client side

struct ServerProcess {
    pid_t pid = -1;
    FILE* commands = nullptr;   // its stdin
    FILE* replies = nullptr;    // its stdout
    int port = 0;

    bool Start(const char* self, int tabs)
    {
        int toChild[2];
        int fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0)
            return false;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(toChild[0], 0);
            ::dup2(fromChild[1], 1);
            ::close(toChild[1]);
            ::close(fromChild[0]);
            const std::string rooms = std::to_string(tabs);
            ::execl(self, self, "--flood-server", rooms.c_str(), static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        commands = ::fdopen(toChild[1], "w");
        replies = ::fdopen(fromChild[0], "r");
        char line[64];
        return pid > 0 && std::fgets(line, sizeof line, replies) != nullptr &&
               std::sscanf(line, "port %d", &port) == 1;
    }

    // Returns the monotonic time at which the first byte of the flood was sent.
    std::optional<std::int64_t> Reply()
    {
        char line[128];
        long long start = 0;
        long long end = 0;
        if (std::fgets(line, sizeof line, replies) == nullptr || std::sscanf(line, "sent %lld %lld", &start, &end) != 2)
            return std::nullopt;
        return start;
    }

    void Stop()
    {
        if (commands != nullptr) {
            std::fputs("quit\n", commands);
            std::fclose(commands);
        }
        if (replies != nullptr)
            std::fclose(replies);
        if (pid > 0)
            ::waitpid(pid, nullptr, 0);
    }
};

QString Speaker(int k)
{
    return QString::fromUtf8(SpeakerNames[k]);
}

// The line as the log shows it and its colour.
struct ShownLine {
    QString text;
    QColor color;
    int linkFrom = -1;       // decorated floors: where the link starts (it runs to the end)
    bool mention = false;    // decorated floors: the mention background
};

ShownLine Shown(const FloodLine& line)
{
    // The log's colours follow its palette, so the check takes them as the log does.
    static const LogColours colours = LogColoursFor(QGuiApplication::palette());
    return {Speaker(line.clientId - FirstSpeakerId) + QStringLiteral("> ") + FromSjis(line.text),
            colours.Text[static_cast<std::size_t>(StyleLook(line.style))]};
}

struct FloodResult {
    double seconds = 0;
    double cpuSeconds = 0;
    double maxGapMs = 0;
    bool verified = false;
};

// Sends command to the server and waits until the log of sheet (on screen) ends
// with last; times from the first byte sent, and records the longest GUI stall.
FloodResult TimedFlood(TChatSheet* sheet, ServerProcess& server, const std::string& command, const QString& last)
{
    FloodResult result;
    QTextDocument* doc = sheet->ChatLog->document();
    QEventLoop loop;
    bool done = false;
    Clock::time_point doneAt;
    // Cheap: runs once per edit block of the log, not per line.
    const auto watch = QObject::connect(doc, &QTextDocument::contentsChange, [&] {
        if (!done && doc->lastBlock().text().endsWith(last)) {
            done = true;
            doneAt = Clock::now();
            loop.quit();
        }
    });
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    Clock::time_point lastTick;
    std::int64_t maxGap = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        maxGap = std::max<std::int64_t>(maxGap, Nanos(now) - Nanos(lastTick));
        lastTick = now;
    });
    // A lost line must not hang the bench. A timer of this scope: one left behind
    // would wake the idle measurement.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(180000);

    const double cpuStart = CpuSeconds();
    tick.start();
    lastTick = Clock::now();
    std::fprintf(server.commands, "%s\n", command.c_str());
    std::fflush(server.commands);
    loop.exec();
    const double cpuEnd = CpuSeconds();
    tick.stop();
    QObject::disconnect(watch);
    const std::optional<std::int64_t> start = server.Reply();
    if (!done || !start)
        return result;
    maxGap = std::max<std::int64_t>(maxGap, Nanos(doneAt) - Nanos(lastTick));
    result.seconds = Seconds(Nanos(doneAt) - *start);
    result.maxGapMs = static_cast<double>(maxGap) / 1e6;
    result.cpuSeconds = cpuEnd - cpuStart;
    return result;
}

FloodResult FloodClient(TChatSheet* sheet, ServerProcess& server, int n, const std::string& tag)
{
    FloodResult result = TimedFlood(sheet, server, FloodCommand(n, tag),
                                    Shown(MakeLine(tag, n - 1)).text);
    if (result.seconds <= 0)
        return result;

    // Not timed: the newest lines of the log are this flood's last lines, in order and colour.
    ChatLogView* log = sheet->ChatLog;
    const int count = log->LineCount();
    const int kept = std::min(count, n);
    result.verified = count == ChatLogView::MaxLines;
    for (int k = 0; k < kept && result.verified; ++k) {
        const ShownLine expected = Shown(MakeLine(tag, n - kept + k));
        const int row = count - kept + k;
        const QString shown = log->LineText(row).mid(ChatLogView::ShowTimes ? 6 : 0);   // after "HH:MM "
        result.verified = shown == expected.text && log->LineColor(row) == expected.color;
    }
    return result;
}

// The toolkit's floor: the same lines into a plain visible QPlainTextEdit set up like
// the log (read-only, no undo, same size and font), kept scrolled to its newest line
// and given the chance to paint after every 1000 lines. blockLines 1 is one cursor
// insert per line; otherwise that many lines go into one edit block.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

Timing FloorRun(const std::vector<ShownLine>& lines, int blockLines, const QWidget* like, int maxBlocks)
{
    QPlainTextEdit edit;
    edit.setReadOnly(true);
    edit.setUndoRedoEnabled(false);
    edit.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit.setMaximumBlockCount(maxBlocks);
    edit.setFont(like->font());
    edit.resize(like->size());
    edit.show();
    Settle(50);

    QTextCursor cursor(edit.document());
    QTextCharFormat format;
    const std::size_t n = lines.size();
    const double cpuStart = CpuSeconds();
    const Clock::time_point start = Clock::now();
    for (std::size_t i = 0; i < n; ++i) {
        const bool blockStart = blockLines > 1 && i % static_cast<std::size_t>(blockLines) == 0;
        if (blockStart)
            cursor.beginEditBlock();
        // The cursor stays at the end after each insert: moving it there again would
        // make the toolkit lay out the line it leaves.
        const ShownLine& line = lines[i];
        format.setForeground(line.color);
        if (line.mention)
            format.setBackground(QColor(255, 240, 160));
        if (i > 0)
            cursor.insertBlock(QTextBlockFormat(), format);
        if (line.linkFrom < 0) {
            cursor.insertText(line.text, format);
        } else {
            cursor.insertText(line.text.left(line.linkFrom), format);
            QTextCharFormat link = format;
            link.setAnchor(true);
            link.setAnchorHref(line.text.mid(line.linkFrom));
            link.setFontUnderline(true);
            cursor.insertText(line.text.mid(line.linkFrom), link);
        }
        const bool blockEnd = (i + 1) % static_cast<std::size_t>(std::max(blockLines, 1)) == 0 || i + 1 == n;
        if (blockLines > 1 && blockEnd)
            cursor.endEditBlock();
        if ((i + 1) % 1000 == 0 || i + 1 == n) {
            edit.verticalScrollBar()->setValue(edit.verticalScrollBar()->maximum());
            QCoreApplication::processEvents();
        }
    }
    const Clock::time_point end = Clock::now();
    const double cpuEnd = CpuSeconds();
    if (edit.document()->lastBlock().text() != lines.back().text)
        std::fprintf(stderr, "floor: last line missing\n");
    return {Seconds(Nanos(end) - Nanos(start)), cpuEnd - cpuStart};
}

// The measurements of one flood size over all runs.
struct Series {
    std::vector<double> client, clientCpu, gap;
    std::vector<double> batched, batchedCpu, bounded, boundedCpu, naive, naiveCpu;
    int verifiedRuns = 0;

    void AddFloor(std::vector<double>& wall, std::vector<double>& cpu, Timing t)
    {
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
};

const char* Verdict(bool met) { return met ? "met" : "NOT met"; }

// Lets the many-tabs benchmark see every event and the end of a paint.
class BenchApp : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (BeforeEvent)
            BeforeEvent(receiver, event);
        const QEvent::Type type = event->type();   // the event may be gone afterwards, the receiver too
        const bool result = QApplication::notify(receiver, event);
        if (AfterEvent)
            AfterEvent(receiver, type);
        return result;
    }
    std::function<void(QObject*, QEvent*)> BeforeEvent;
    std::function<void(QObject*, QEvent::Type)> AfterEvent;   // receiver only to compare with
};

// Context switches of the calling thread: each time it went to sleep.
long ThreadSwitches()
{
    std::ifstream status("/proc/self/task/" + std::to_string(::syscall(SYS_gettid)) + "/status");
    long total = 0;
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
            total += std::atol(line.c_str() + line.find(':') + 1);
    }
    return total;
}

// Checks the rows of a log against lines first..first+count-1 of a flood; not timed.
bool LogHolds(TChatSheet* sheet, const std::string& tag, int first, int count, int step = 1)
{
    ChatLogView* log = sheet->ChatLog;
    if (log->LineCount() != count)
        return false;
    for (int k = 0; k < count; ++k) {
        const ShownLine expected = Shown(MakeLine(tag, first + k * step));
        if (log->LineText(k) != expected.text || log->LineColor(k) != expected.color)
            return false;
    }
    return true;
}

// The many-tabs benchmark; the first tab is on screen.
int RunTabs(BenchApp& app, TFormMain& window, ServerProcess& server, int tabs, int runs, int n, int idleSeconds)
{
    constexpr int PerTab = ChatLogView::MaxLines;
    TChatSheet* front = window.FindSheet(FloodRoom);
    TChatSheet* back = window.FindSheet(RoomOf(1));
    window.PageControl1->setCurrentWidget(front);
    Settle(200);
    std::printf("%d room tabs in the real main window, %d run(s), platform %s, Qt %s; figures are medians\n", tabs,
                runs, qPrintable(QGuiApplication::platformName()), qVersion());
    std::fflush(stdout);

    std::vector<double> active, background, fill, switches, gaps;
    int verified = 0;
    int switched = 0;
    for (int run = 0; run < runs; ++run) {
        const std::string tag = "r" + std::to_string(run);
        const FloodResult a = TimedFlood(front, server, FloodCommand(n, tag + "a"), Shown(MakeLine(tag + "a", n - 1)).text);
        Settle(300);
        const FloodResult b = TimedFlood(front, server, FloodCommand(n, tag + "b", RoomOf(1), FloodRoom),
                                         Shown(MakeLine(tag + "b", n)).text);
        Settle(300);
        const FloodResult f = TimedFlood(front, server, FloodCommand(tabs * PerTab, tag + "f", 0, FloodRoom),
                                         Shown(MakeLine(tag + "f", tabs * PerTab)).text);
        Settle(300);
        if (a.seconds <= 0 || b.seconds <= 0 || f.seconds <= 0) {
            std::fprintf(stderr, "a flood did not complete\n");
            return 1;
        }
        active.push_back(a.seconds);
        background.push_back(b.seconds);
        fill.push_back(f.seconds);
        gaps.insert(gaps.end(), {a.maxGapMs, b.maxGapMs, f.maxGapMs});

        // Switches: from the switch to the end of the first paint that shows the tab's last line.
        double worstSwitch = 0;
        for (int k = 0; k < 5; ++k) {
            const int index = 1 + (run * 5 + k) % (tabs - 1);
            if (window.PageControl1->currentIndex() == index) {   // few tabs: it is on screen already
                window.PageControl1->setCurrentWidget(front);
                Settle(100);
            }
            auto* sheet = static_cast<TChatSheet*>(window.PageControl1->widget(index));
            const QString last = Shown(MakeLine(tag + "f", tabs * PerTab - tabs + index)).text;
            QEventLoop loop;
            Clock::time_point paintedAt;
            app.AfterEvent = [&](QObject* receiver, QEvent::Type type) {
                ChatLogView* log = sheet->ChatLog;
                if (type == QEvent::Paint && receiver == log->viewport() &&
                    log->document()->lastBlock().text() == last &&
                    log->verticalScrollBar()->value() == log->verticalScrollBar()->maximum()) {
                    paintedAt = Clock::now();
                    loop.quit();
                }
            };
            QTimer guard;
            guard.setSingleShot(true);
            QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
            guard.start(10000);
            const Clock::time_point start = Clock::now();
            window.PageControl1->setCurrentIndex(index);
            loop.exec();
            app.AfterEvent = {};
            if (paintedAt == Clock::time_point()) {
                std::fprintf(stderr, "tab %d never showed its last line\n", index);
                return 1;
            }
            switches.push_back(Seconds(Nanos(paintedAt) - Nanos(start)) * 1000);
            worstSwitch = std::max(worstSwitch, switches.back());
            ++switched;
            Settle(100);
        }
        // Not timed: what the last tab switched to shows, and the background tab's lines.
        auto* shown = static_cast<TChatSheet*>(window.PageControl1->currentWidget());
        const int shownIndex = window.PageControl1->currentIndex();
        const bool ok = LogHolds(shown, tag + "f", shownIndex, PerTab, tabs);
        window.PageControl1->setCurrentWidget(front);
        Settle(200);
        verified += ok && back->Lines.Size() == std::size_t(PerTab) ? 1 : 0;
        std::fprintf(stderr, "run %d: active %.3f s (stall %.1f ms), background %.3f s (stall %.1f ms), fill %d x %d "
                     "%.3f s (stall %.1f ms), slowest switch %.1f ms, %s\n", run + 1, a.seconds, a.maxGapMs,
                     b.seconds, b.maxGapMs, tabs, PerTab, f.seconds, f.maxGapMs, worstSwitch,
                     ok ? "log verified" : "log NOT as expected");
    }

    // Idle: nothing arrives; the GUI thread should sleep until the end of the period.
    // The chat input's blinking caret would wake it twice a second while it has
    // the focus, as any text input's does; a window in the background has none.
    if (QWidget* focus = QApplication::focusWidget())
        focus->clearFocus();
    Settle(500);
    QEventLoop idle;
    QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
    int events = 0;
    QStringList seen;   // what the events were, to tell a wake-up's cause
    app.BeforeEvent = [&](QObject* receiver, QEvent* event) {
        ++events;
        const QString what = QStringLiteral("%1 %2").arg(receiver->metaObject()->className()).arg(int(event->type()));
        if (!seen.contains(what))
            seen << what;
    };
    const long before = ThreadSwitches();
    idle.exec();
    const long wakeUps = std::max(0L, ThreadSwitches() - before - 1);   // the last is the period's end
    app.BeforeEvent = {};

    const double ma = Median(active), mb = Median(background), mf = Median(fill), ms = Median(switches);
    const double worstGap = *std::max_element(gaps.begin(), gaps.end());
    const double worstSwitch = *std::max_element(switches.begin(), switches.end());
    std::printf("  flood of %d lines into the tab on screen: %.3f s (%.2f us/line)\n", n, ma, ma / n * 1e6);
    std::printf("  flood of %d lines into a background tab:  %.3f s (%.2f us/line); background / on screen %.2f "
                "(bar 1.5: %s)\n", n, mb, mb / n * 1e6, mb / ma, Verdict(mb / ma <= 1.5));
    std::printf("  %d tabs x %d lines dealt out in turn: %.3f s (%.2f us/line); / flood on screen %.2f (bar 5: %s)\n",
                tabs, PerTab, mf, mf / (tabs * PerTab) * 1e6, mf / ma, Verdict(mf / ma <= 5));
    std::printf("  switch to a tab of %d lines until its last line is painted: median %.1f ms, worst %.1f ms over %d "
                "switches (bar 100: %s)\n", PerTab, ms, worstSwitch, switched, Verdict(worstSwitch <= 100));
    std::printf("  longest GUI stall during the floods: median %.1f ms, worst %.1f ms (bar 100: %s); logs verified "
                "in %d/%d runs\n", Median(gaps), worstGap, Verdict(worstGap <= 100), verified, runs);
    std::printf("  idle %d s with %d tabs, no keyboard focus: GUI thread woke %ld times, %d events delivered counting the end of the period (bar 0: %s)\n",
                idleSeconds, tabs,
                wakeUps, events, Verdict(wakeUps == 0));
    std::printf("    events (receiver, type): %s\n", qPrintable(seen.join(QStringLiteral("; "))));
    return 0;
}

int RunBench(int argc, char** argv)
{
    int runs = 3;
    std::vector<int> sizes = {100000, 200000};
    bool naive = true;
    bool floors = true;   // --client-only leaves them out (for profiling the client)
    bool decorated = false;
    bool logging = true;
    int tabs = 1;
    int idleSeconds = 20;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--lines" && i + 1 < argc) {
            sizes.clear();
            for (const QString& part : QString::fromLatin1(argv[++i]).split(u','))
                sizes.push_back(std::max(1, part.toInt()));
        } else if (arg == "--tabs" && i + 1 < argc) {
            tabs = std::clamp(std::atoi(argv[++i]), 1, static_cast<int>(MaxRoomEntries));
        } else if (arg == "--idle" && i + 1 < argc) {
            idleSeconds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--no-naive") {
            naive = false;
        } else if (arg == "--no-log") {
            logging = false;
        } else if (arg == "--client-only") {
            floors = false;
            naive = false;
        } else if (arg == "--decorated") {
            decorated = true;
        }
    }

    UseOffscreenPlatformUnlessSet();
    BenchApp app(argc, argv);
    UseFormFont();

    QTemporaryDir dir;
    int boxes = 0;
    SetBoxInterceptor([&boxes](const QString&, const QString& text) {
        ++boxes;
        std::fprintf(stderr, "box: %s\n", qPrintable(text));
    });
    const QString settings = dir.path() + QStringLiteral("/kvchat.INI");
    if (!logging) {
        QFile file(settings);
        if (!file.open(QIODevice::WriteOnly) || file.write("[Log]\r\nEnabled=0\r\n") < 0)
            return 1;
    }
    int notices = 0;
    std::unique_ptr<TFormMain> window = OpenBenchWindow(settings, [&](TFormMain& w) {
        w.UserName = "me";
        if (decorated) {
            w.Options.Timestamps = true;
            w.Options.HighlightWords = Cp932("パス");
            w.ApplyOptions();
            SetNotificationInterceptor([&notices](const QString&, const QString&) { ++notices; });
        }
    });

    ServerProcess server;
    if (!server.Start("/proc/self/exe", tabs)) {
        std::fprintf(stderr, "cannot start the flood server\n");
        return 1;
    }
    window->Socket1->Address = "127.0.0.1";
    window->Socket1->Port = server.port;
    window->Socket1->Open();
    QElapsedTimer wait;
    wait.start();
    while (window->PageControl1->count() < tabs && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    TChatSheet* sheet = window->FindSheet(FloodRoom);
    if (sheet == nullptr) {
        std::fprintf(stderr, "the room tab did not open\n");
        server.Stop();
        return 1;
    }
    Settle(200);
    if (tabs > 1) {
        const int result = RunTabs(app, *window, server, tabs, runs, sizes.front(), idleSeconds);
        server.Stop();
        window.reset();
        ForgetApplicationWindows();
        SetBoxInterceptor({});
        return result;
    }

    std::printf("Flood into one room tab of the real main window, %d run(s), platform %s, Qt %s%s\n", runs,
                qPrintable(QGuiApplication::platformName()), qVersion(),
                decorated ? "; every line with a link and a mention, times shown" : "");
    std::printf("log view %dx%d, chat log to disk %s; figures are medians; floors use the same lines and colours\n",
                sheet->ChatLog->width(), sheet->ChatLog->height(), logging ? "on" : "off");
    std::fflush(stdout);

    std::vector<Series> series(sizes.size());
    for (int run = 0; run < runs; ++run) {
        for (std::size_t s = 0; s < sizes.size(); ++s) {
            const int n = sizes[s];
            Series& out = series[s];
            char tag[32];
            std::snprintf(tag, sizeof tag, "%sr%dn%d", decorated ? "d" : "", run, n);
            const FloodResult flood = FloodClient(sheet, server, n, tag);
            if (flood.seconds <= 0) {
                std::fprintf(stderr, "flood of %d lines did not complete\n", n);
                server.Stop();
                return 1;
            }
            out.client.push_back(flood.seconds);
            out.clientCpu.push_back(flood.cpuSeconds);
            out.gap.push_back(flood.maxGapMs);
            out.verifiedRuns += flood.verified ? 1 : 0;
            Settle(300);
            if (!floors) {
                std::fprintf(stderr, "run %d, %d lines: client %.3f s (cpu %.3f, stall %.1f ms), log %s\n", run + 1,
                             n, flood.seconds, flood.cpuSeconds, flood.maxGapMs,
                             flood.verified ? "verified" : "NOT as expected");
                continue;
            }

            std::vector<ShownLine> lines;
            lines.reserve(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i) {
                lines.push_back(Shown(MakeLine(tag, i)));
                if (decorated) {   // what the log shows: time, link and mention background
                    ShownLine& line = lines.back();
                    line.text.prepend(QStringLiteral("12:34 "));
                    line.linkFrom = static_cast<int>(line.text.indexOf(QStringLiteral("https://")));
                    line.mention = true;
                }
            }
            out.AddFloor(out.batched, out.batchedCpu, FloorRun(lines, 1000, sheet->ChatLog, 0));
            Settle(100);
            out.AddFloor(out.bounded, out.boundedCpu, FloorRun(lines, 1000, sheet->ChatLog, ChatLogView::MaxLines));
            Settle(100);
            if (naive) {
                out.AddFloor(out.naive, out.naiveCpu, FloorRun(lines, 1, sheet->ChatLog, 0));
                Settle(100);
            }
            std::fprintf(stderr, "run %d, %d lines: client %.3f s (cpu %.3f, stall %.1f ms), batched %.3f s (cpu %.3f), "
                         "bounded %.3f s (cpu %.3f)",
                         run + 1, n, flood.seconds, flood.cpuSeconds, flood.maxGapMs, out.batched.back(),
                         out.batchedCpu.back(), out.bounded.back(), out.boundedCpu.back());
            if (naive)
                std::fprintf(stderr, ", naive %.3f s (cpu %.3f)", out.naive.back(), out.naiveCpu.back());
            std::fprintf(stderr, "\n");
        }
    }
    server.Stop();
    if (!floors)
        return 0;

    const auto perLine = [](double seconds, int n) { return seconds / n * 1e6; };
    std::printf("\nwall-clock medians (us/line in brackets)\n");
    std::printf("%8s %18s %18s %18s %18s %9s %9s %9s\n", "lines", "client", "batched floor", "bounded floor",
                "naive floor", "c/batch", "c/bound", "c/naive");
    for (std::size_t s = 0; s < sizes.size(); ++s) {
        const Series& x = series[s];
        const int n = sizes[s];
        const double c = Median(x.client), b = Median(x.batched), bb = Median(x.bounded), nv = Median(x.naive);
        std::printf("%8d %8.3f s (%5.2f) %8.3f s (%5.2f) %8.3f s (%5.2f) %8.3f s (%5.2f) %9.2f %9.2f %9.2f\n", n, c,
                    perLine(c, n), b, perLine(b, n), bb, perLine(bb, n), nv, perLine(nv, n), c / b, c / bb,
                    naive ? c / nv : 0.0);
    }
    std::printf("process CPU medians, same runs (us/line in brackets)\n");
    for (std::size_t s = 0; s < sizes.size(); ++s) {
        const Series& x = series[s];
        const int n = sizes[s];
        const double c = Median(x.clientCpu), b = Median(x.batchedCpu), bb = Median(x.boundedCpu),
                     nv = Median(x.naiveCpu);
        std::printf("%8d %8.3f s (%5.2f) %8.3f s (%5.2f) %8.3f s (%5.2f) %8.3f s (%5.2f) %9.2f %9.2f %9.2f\n", n, c,
                    perLine(c, n), b, perLine(b, n), bb, perLine(bb, n), nv, perLine(nv, n), c / b, c / bb,
                    naive ? c / nv : 0.0);
    }

    std::printf("\nbars (wall-clock medians of the same run)\n");
    bool barsMet = true;
    for (std::size_t s = 0; s < sizes.size(); ++s) {
        const Series& x = series[s];
        const double ratio = Median(x.client) / Median(x.batched);
        const double worstGap = *std::max_element(x.gap.begin(), x.gap.end());
        const bool stallMet = worstGap <= 100.0;
        std::printf("%8d lines: client / batched floor %.2f%s; longest GUI stall median %.1f ms, worst %.1f ms "
                    "(bar 100: %s); log verified in %d/%d runs\n",
                    sizes[s], ratio, s == 0 ? (ratio <= 1.5 ? " (bar 1.5: met)" : " (bar 1.5: NOT met)") : "",
                    Median(x.gap), worstGap, Verdict(stallMet), x.verifiedRuns, runs);
        barsMet = barsMet && stallMet && (s != 0 || ratio <= 1.5) && x.verifiedRuns == runs;
    }
    for (std::size_t s = 1; s < sizes.size(); ++s) {
        const double ratio = Median(series[s].client) / Median(series[0].client);
        const double allowed = 2.2 * sizes[s] / (2.0 * sizes[0]);
        std::printf("client %d / %d lines: %.2f (bar %.2f: %s)\n", sizes[s], sizes[0], ratio, allowed,
                    Verdict(ratio <= allowed));
        barsMet = barsMet && ratio <= allowed;
    }
    std::printf("error boxes during the floods: %d\n", boxes);
    if (decorated)
        std::printf("mention notifications during the floods: %d\n", notices);
    std::printf("flood bars: %s\n", barsMet ? "all met" : "NOT all met");

    window.reset();
    ForgetApplicationWindows();
    SetBoxInterceptor({});
    SetNotificationInterceptor({});
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--flood-server") == 0)
        return RunFloodServer(argc > 2 ? std::max(1, std::atoi(argv[2])) : 1);
    return RunBench(argc, argv);
}
