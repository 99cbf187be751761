// Scrollback restored: a room tab of the real main window opens and shows the last
// 200 lines of its chat log, in grey, with the divider, laid out in the log view.
// Timed from the tab's log being opened to the lines being in the view's document,
// for a log file of 100 MB and, as the yardstick, one of 200 lines.
// Then logs with a damaged end after 200 lines (NULs left by a crash, a long run
// without a line break): timed from the tab's log being opened to the window
// painted and its events handled, that is, answering the user again.
//
//   bench_ui_restore [--runs R]
// Prints medians over R runs; never fails on a figure.

#include "AppWindows.h"
#include "BenchWindow.h"
#include "ChatLogFiles.h"
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "Unitmain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Milliseconds from opening the room's log to its lines laid out (and, with
// answer, to the window painted and its waiting events handled); -1 when the
// tab does not show `lines` lines (restored ones and the divider).
double OpenTab(TFormMain& window, const std::string& room, int lines = 201, bool answer = false)
{
    auto* sheet = new TChatSheet(window.PageControl1, 1, room);
    window.PageControl1->setCurrentIndex(window.PageControl1->addTab(sheet, QString::fromStdString(room)));
    QElapsedTimer clock;
    clock.start();
    window.OpenRoomLog(sheet);
    sheet->ChatLog->Flush();
    if (answer) {
        window.repaint();
        QCoreApplication::processEvents();
    }
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const bool whole = sheet->ChatLog->LineCount() == lines && sheet->ChatLog->document()->blockCount() == std::max(lines, 1);
    delete sheet;
    return whole ? ms : -1.0;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 21;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--runs")
            runs = std::max(1, std::atoi(argv[++i]));
    }
    UseOffscreenPlatformUnlessSet();
    QApplication app(argc, argv);
    UseFormFont();

    QTemporaryDir dir;
    std::unique_ptr<TFormMain> window = OpenBenchWindow(dir.path() + QStringLiteral("/kvchat.INI"), AimAtBenchServer);

    const chatlog::LocalStamp now = chatlog::StampOf(std::time(nullptr));
    const std::string folder = BenchServerLogFolder(*window);
    const std::string line = now.Text + "ゴールキーパー> " + std::string(60, 'x') + "\n";
    {
        std::ofstream big(folder + "/" + chatlog::MonthFileName("big", now.Year, now.Month), std::ios::binary);
        for (std::size_t written = 0; written < 100u * 1024 * 1024; written += line.size())
            big << line;
        std::ofstream small(folder + "/" + chatlog::MonthFileName("small", now.Year, now.Month), std::ios::binary);
        for (int i = 0; i < 200; ++i)
            small << line;
    }
    // 200 good lines, then the damage. Nothing can be restored when the damage
    // runs back further than 200 of the longest lines: only the bounded look-back
    // is read. A shorter damage is one line, cut and marked.
    struct Damaged {
        const char* room;
        const char* what;
        std::string tail;
        int lines;   // shown: restored and the divider
    };
    const std::vector<Damaged> damaged = {
        {"nul2m", "2 MiB of NULs", std::string(2u << 20, '\0'), 0},
        {"long256k", "a 256 KiB line without a line break", std::string(256u << 10, 'x'), 0},
        {"nul4k", "4 KiB of NULs", std::string(4u << 10, '\0'), 201},
        {"long100k", "a 100 KiB line without a line break", std::string(100u << 10, 'x'), 201},
    };
    // A file per run: opening a tab logs the entry into it, which would end the damage.
    const auto damagedRoom = [](const Damaged& d, int run) { return std::string(d.room) + "_" + std::to_string(run); };
    for (const Damaged& d : damaged) {
        for (int run = 0; run < runs; ++run) {
            std::ofstream out(folder + "/" + chatlog::MonthFileName(damagedRoom(d, run), now.Year, now.Month),
                              std::ios::binary);
            for (int i = 0; i < 200; ++i)
                out << line;
            out << d.tail;
        }
    }

    std::vector<double> big, small;
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        for (auto [room, out] : {std::pair{"big", &big}, std::pair{"small", &small}}) {
            const double ms = OpenTab(*window, room);
            if (ms < 0)
                ++failures;
            else
                out->push_back(ms);
            Settle(20);
        }
    }
    std::printf("Scrollback restored into a new room tab, %d run(s), platform %s, Qt %s; medians\n", runs,
                qPrintable(QGuiApplication::platformName()), qVersion());
    std::printf("200 lines of a 100 MB log: %.2f ms (bar 50 ms: %s)\n", Median(big), Median(big) < 50 ? "met" : "NOT met");
    std::printf("200 lines of a 200-line log (yardstick): %.2f ms; ratio %.2f\n", Median(small),
                Median(big) / std::max(1e-9, Median(small)));
    std::printf("tabs that did not show 200 lines and the divider: %d\n", failures);

    // Damaged ends: the yardstick is the 200-line log, timed the same way.
    std::vector<double> yardstick;
    std::vector<std::vector<double>> times(damaged.size());
    int wrong = 0;
    for (int run = 0; run < runs; ++run) {
        const double ms = OpenTab(*window, "small", 201, true);
        if (ms >= 0)
            yardstick.push_back(ms);
        Settle(20);
        for (std::size_t i = 0; i < damaged.size(); ++i) {
            const double damagedMs = OpenTab(*window, damagedRoom(damaged[i], run), damaged[i].lines, true);
            if (damagedMs < 0)
                ++wrong;
            else
                times[i].push_back(damagedMs);
            Settle(20);
        }
    }
    std::printf("Tab over a log with a damaged end after 200 lines, until the window answers again; medians\n");
    std::printf("200-line log (yardstick): %.2f ms\n", Median(yardstick));
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        const double ms = Median(times[i]);
        std::printf("%s (%d lines shown): %.2f ms (bar 1000 ms: %s); ratio %.2f\n", damaged[i].what, damaged[i].lines,
                    ms, ms < 1000 ? "met" : "NOT met", ms / std::max(1e-9, Median(yardstick)));
    }
    std::printf("tabs that did not show what a damaged log allows: %d\n", wrong);
    window.reset();
    ForgetApplicationWindows();
    return 0;
}
