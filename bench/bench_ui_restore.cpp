// Scrollback restored: a room tab of the real main window opens and shows the last
// 200 lines of its chat log, in grey, with the divider, laid out in the log view.
// Timed from the tab's log being opened to the lines being in the view's document,
// for a log file of 100 MB and, as the yardstick, one of 200 lines.
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

// Milliseconds from opening the room's log to its lines laid out; -1 when the tab
// does not show 200 restored lines and the divider.
double OpenTab(TFormMain& window, const std::string& room)
{
    auto* sheet = new TChatSheet(window.PageControl1, 1, room);
    window.PageControl1->setCurrentIndex(window.PageControl1->addTab(sheet, QString::fromStdString(room)));
    QElapsedTimer clock;
    clock.start();
    window.OpenRoomLog(sheet);
    sheet->ChatLog->Flush();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const bool whole = sheet->ChatLog->LineCount() == 201 && sheet->ChatLog->document()->blockCount() == 201;
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
    std::unique_ptr<TFormMain> window = OpenBenchWindow(dir.path() + QStringLiteral("/kvchat.INI"), [](TFormMain& w) {
        w.Socket1->Address = "127.0.0.1";
        w.Socket1->Port = 9010;
    });

    const chatlog::LocalStamp now = chatlog::StampOf(std::time(nullptr));
    const std::string folder = window->LogFolder + "/" + chatlog::ServerFolderName("127.0.0.1", 9010);
    QDir().mkpath(QString::fromStdString(folder));
    const std::string line = now.Text + "ゴールキーパー> " + std::string(60, 'x') + "\n";
    {
        std::ofstream big(folder + "/" + chatlog::MonthFileName("big", now.Year, now.Month), std::ios::binary);
        for (std::size_t written = 0; written < 100u * 1024 * 1024; written += line.size())
            big << line;
        std::ofstream small(folder + "/" + chatlog::MonthFileName("small", now.Year, now.Month), std::ios::binary);
        for (int i = 0; i < 200; ++i)
            small << line;
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
    window.reset();
    ForgetApplicationWindows();
    return 0;
}
