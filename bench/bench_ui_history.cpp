// History in a room's log: a tab of the real main window over 1,000,000 logged
// lines (four months of 250,000), scrolled to the top page after page until the
// oldest line, then back to the newest line, which drops the history.
// Measures the longest the event loop did not answer while pages were read and
// shown (a 1 ms timer's longest gap, less its interval, and the GUI thread's CPU
// time in that gap, which other programs on a loaded machine do not inflate), the time to read back
// through everything, and the resident memory before the first page, at the most
// history shown, and after returning to the newest line.
//
//   bench_ui_history [--lines N]
// Never fails on a figure.

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
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <time.h>
#include <fstream>
#include <string>

namespace {

// The resident set in MB, from the kernel's own count.
double ResidentMb()
{
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "VmRSS:") {
            double kb = 0;
            status >> kb;
            return kb / 1024.0;
        }
    }
    return -1;
}

qint64 ThreadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

int main(int argc, char** argv)
{
    long lines = 1000000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--lines")
            lines = std::max(1000L, std::atol(argv[++i]));
    }
    UseOffscreenPlatformUnlessSet();
    QApplication app(argc, argv);
    UseFormFont();

    QTemporaryDir dir;
    std::unique_ptr<TFormMain> window = OpenBenchWindow(dir.path() + QStringLiteral("/kvchat.INI"), [](TFormMain& w) {
        w.Socket1->Address = "127.0.0.1";
        w.Socket1->Port = 9010;
    });
    const std::string folder = window->LogFolder + "/" + chatlog::ServerFolderName("127.0.0.1", 9010);
    QDir().mkpath(QString::fromStdString(folder));
    // Four old months, Japanese and ASCII, a day line's worth of dates in each.
    const long perMonth = lines / 4;
    for (int month = 8; month <= 11; ++month) {
        std::ofstream out(folder + "/" + chatlog::MonthFileName("hist", 2026, month), std::ios::binary);
        char stamp[48];
        for (long i = 0; i < perMonth; ++i) {
            const int day = static_cast<int>(1 + i * 28 / perMonth);
            std::snprintf(stamp, sizeof stamp, "2026-%02d-%02d 10:00:00 ", month, day);
            out << stamp << (i % 2 ? "ゴールキーパー> 今日の試合は " : "bob> the match today ") << i << '\n';
        }
    }

    auto* sheet = new TChatSheet(window->PageControl1, 1, "hist");
    window->PageControl1->setCurrentIndex(window->PageControl1->addTab(sheet, QStringLiteral("hist")));
    window->OpenRoomLog(sheet);
    ChatLogView* log = sheet->ChatLog;
    log->Flush();
    Settle(200);
    const double before = ResidentMb();

    // The longest gap between ticks of a 1 ms timer while the pages come.
    QElapsedTimer clock;
    qint64 lastTick = 0, longestGap = 0, lastCpu = ThreadCpuNs(), longestCpu = 0;
    QTimer heartbeat;
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const qint64 cpu = ThreadCpuNs();
        longestGap = std::max(longestGap, now - lastTick);
        longestCpu = std::max(longestCpu, cpu - lastCpu);
        lastTick = now;
        lastCpu = cpu;
    });
    bool shown = false;
    QObject::connect(log, &ChatLogView::HistoryPageShown, [&] { shown = true; });
    QScrollBar* bar = log->verticalScrollBar();
    double peak = before;
    long pages = 0;
    clock.start();
    heartbeat.start();
    while (!log->HistoryAtStart()) {
        shown = false;
        bar->setValue(bar->minimum());
        log->LoadOlder();
        while (!shown)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        ++pages;
        if (pages % 100 == 0)
            peak = std::max(peak, ResidentMb());
    }
    const double readMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    heartbeat.stop();
    peak = std::max(peak, ResidentMb());
    const int historyShown = log->HistoryLines();

    // Back at the newest line: the history goes.
    bar->setValue(bar->maximum());
    Settle(200);
    const double after = ResidentMb();

    std::printf("History over %ld logged lines in 4 months, platform %s, Qt %s\n", 4 * perMonth,
                qPrintable(QGuiApplication::platformName()), qVersion());
    std::printf("pages of %zu read: %ld in %.0f ms (%.2f ms a page)\n", ChatLogView::HistoryPageLines, pages, readMs,
                readMs / std::max(1L, pages));
    std::printf("longest the window did not answer while pages came: %.1f ms (bar 50 ms: %s); "
                "the GUI thread's CPU time in the longest gap by CPU: %.1f ms\n",
                (static_cast<double>(longestGap) - 1e6) / 1e6, longestGap - 1000000 < 50000000 ? "met" : "NOT met",
                static_cast<double>(longestCpu) / 1e6);
    std::printf("history blocks at the oldest line: %d (at most %d kept)\n", historyShown, ChatLogView::MaxHistoryLines);
    std::printf("RSS before the first page %.1f MB, at most %.1f MB while reading, after returning %.1f MB: "
                "%+.1f MB (bar within 10 MB: %s); history blocks after returning: %d\n",
                before, peak, after, after - before, after - before <= 10 ? "met" : "NOT met", log->HistoryLines());
    window.reset();
    ForgetApplicationWindows();
    return 0;
}
