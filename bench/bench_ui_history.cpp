// Scrolling back through a room's logs: a tab of the real main window whose room
// has 1,000,000 logged lines over five months is scrolled to the top again and
// again until the oldest line is in view, then sent back to the newest line
// (Ctrl+End). Measured: the time per page of history, the longest the event
// loop went without turning while pages loaded (a stall the user feels), and
// the resident memory before, at the peak and after returning.
//
//   bench_ui_history [--lines N] [--months M]
// Prints its figures; never fails on a figure.

#include "AppWindows.h"
#include "BenchWindow.h"
#include "ChatLogFiles.h"
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "Unitmain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

namespace {

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double ResidentMb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    }
    return 0;
}

// Months before now's, oldest first, each with its share of the lines: Japanese
// and ASCII chat with a time every few seconds.
void WriteLogs(const std::string& folder, const chatlog::LocalStamp& now, long lines, int months)
{
    const char* texts[] = {"ゴール！ナイスシュート", "nice pass, keep the ball moving", "ｷｰﾊﾟｰ前に出すぎ",
                           "4-4-2 でいこう、サイドは高めに", "gg"};
    long written = 0;
    for (int m = months; m >= 1; --m) {
        int year = now.Year;
        int month = now.Month - m;
        while (month < 1) {
            month += 12;
            --year;
        }
        std::ofstream out(folder + "/" + chatlog::MonthFileName("hist", year, month), std::ios::binary);
        const long share = lines / months + (m == 1 ? lines % months : 0);
        char stamp[32];
        for (long i = 0; i < share; ++i, ++written) {
            const long second = i * 2;
            std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02ld:%02ld:%02ld ", year, month,
                          static_cast<int>(1 + second / 86400 % 28), second / 3600 % 24, second / 60 % 60, second % 60);
            out << stamp << "player" << (written % 37) << "> " << texts[written % 5] << " #" << written << "\n";
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    long lines = 1000000;
    int months = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--lines")
            lines = std::max(1L, std::atol(argv[++i]));
        else if (arg == "--months")
            months = std::max(1, std::atoi(argv[++i]));
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    UseOffscreenPlatformUnlessSet();
    QApplication app(argc, argv);
    UseFormFont();

    QTemporaryDir dir;
    std::unique_ptr<TFormMain> window = OpenBenchWindow(dir.path() + QStringLiteral("/kvchat.INI"), AimAtBenchServer);
    const chatlog::LocalStamp now = chatlog::StampOf(std::time(nullptr));
    const std::string folder = BenchServerLogFolder(*window);
    WriteLogs(folder, now, lines, months);

    auto* sheet = new TChatSheet(window->PageControl1, 1, "hist");
    window->PageControl1->setCurrentIndex(window->PageControl1->addTab(sheet, QStringLiteral("hist")));
    window->OpenRoomLog(sheet);
    ChatLogView* log = sheet->ChatLog;
    log->Flush();
    Settle(300);
    const double before = ResidentMb();

    // The longest gap between turns of the event loop while history loads.
    // On a busy machine the wall clock also counts the time other processes had the
    // core, so the GUI thread's own CPU time between turns is kept as well.
    QElapsedTimer sinceTurn;
    double longest = 0, longestCpu = 0, cpuAtTurn = 0;
    int over50 = 0, turns = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double wall = static_cast<double>(sinceTurn.nsecsElapsed()) / 1e6;
        const double cpu = ThreadCpuMs();
        longest = std::max(longest, wall);
        longestCpu = std::max(longestCpu, cpu - cpuAtTurn);
        over50 += wall > 50 ? 1 : 0;
        ++turns;
        cpuAtTurn = cpu;
        sinceTurn.restart();
    });

    int pages = 0;
    QObject::connect(log, &ChatLogView::HistoryPageShown, [&] { ++pages; });
    double peak = before;
    QElapsedTimer clock;
    clock.start();
    sinceTurn.start();
    cpuAtTurn = ThreadCpuMs();
    ticker.start();
    QScrollBar* bar = log->verticalScrollBar();
    while (!log->HistoryAtStart() && clock.elapsed() < 600000) {
        const int shown = pages;
        bar->setValue(bar->minimum());
        QElapsedTimer waiting;
        waiting.start();
        while (pages == shown && !log->HistoryAtStart()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            if (waiting.elapsed() > 2000) {
                std::printf("stuck after %d pages: history %d, bar %d of %d..%d, loading %d\n", pages,
                            log->HistoryLines(), bar->value(), bar->minimum(), bar->maximum(), log->HistoryLoading());
                return 1;
            }
        }
        if (pages % 100 == 0)
            peak = std::max(peak, ResidentMb());
    }
    const double scrollMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    peak = std::max(peak, ResidentMb());
    const double loadStall = longest, loadStallCpu = longestCpu;
    const int loadOver50 = over50, loadTurns = turns;
    const bool reached = log->HistoryAtStart();

    longest = longestCpu = 0;
    log->setFocus();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QCoreApplication::sendEvent(log, &press);
    QElapsedTimer returning;
    returning.start();
    while (log->HistoryLines() > 0 && returning.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (log->HistoryLines() > 0)
        std::printf("Ctrl+End left %d lines of history: bar %d of %d..%d\n", log->HistoryLines(), bar->value(),
                    bar->minimum(), bar->maximum());
    const double dropStall = longest;
    ticker.stop();
    Settle(300);
    const double after = ResidentMb();

    std::printf("History: %ld logged lines over %d months scrolled back, platform %s, Qt %s\n", lines, months,
                qPrintable(QGuiApplication::platformName()), qVersion());
    std::printf("reached the oldest line: %s, %d pages of %zu lines in %.0f ms (%.2f ms a page)\n",
                reached ? "yes" : "NO", pages, ChatLogView::HistoryPageLines, scrollMs,
                scrollMs / std::max(1, pages));
    std::printf("longest stall while loading: %.1f ms wall clock (%d of %d turns over 50 ms), %.1f ms of the GUI "
                "thread's own CPU time (bar 50 ms: %s); on returning: %.1f ms\n",
                loadStall, loadOver50, loadTurns, loadStallCpu, loadStallCpu <= 50 ? "met" : "NOT met", dropStall);
    std::printf("RSS: %.1f MB before, %.1f MB at the peak, %.1f MB after returning: %+.1f MB (bar 10 MB: %s)\n",
                before, peak, after, after - before, after - before <= 10 ? "met" : "NOT met");
    return 0;
}
