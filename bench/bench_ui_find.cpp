// The find bar over a room full of laughter: 10,000 lines of "草" followed by 150
// "w", the most matches a tab can hold for a one-letter search. In the real main
// window, on screen:
//   - one keystroke: "w" typed into the find bar until the log is painted with its
//     highlights; yardstick: a plain byte-exact count of "w" over the same lines,
//     read from the room's store (no case, width or look-alikes);
//   - 20 scroll steps (mouse wheel notches) with the bar open, each until painted;
//     yardstick: the same 20 steps with the bar closed;
//   - RSS after 20 keystrokes and 400 scroll steps over Japanese lines, against
//     RSS before them (decoded lines must not pile up).
//
//   bench_ui_find [--runs R]
// Prints medians over R runs; never fails on a figure.

#include "AppWindows.h"
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "FindBar.h"
#include "LogFind.h"
#include "Unitmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int Lines = 10000;
constexpr int ScrollSteps = 20;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

void Settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

long RssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

double Ms(const QElapsedTimer& clock)
{
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// CPU time of the GUI thread: on a busy machine, what a wall figure spent waiting for a core shows beside it.
double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

TChatSheet* OpenRoom(TFormMain& window, std::int16_t number, const std::string& name)
{
    auto* sheet = new TChatSheet(window.PageControl1, number, name);
    window.PageControl1->setCurrentIndex(window.PageControl1->addTab(sheet, QString::fromStdString(name)));
    return sheet;
}

// One wheel notch up or down over the log, then its paint.
void WheelStep(ChatLogView* log, int direction)
{
    const QPointF at(log->viewport()->width() / 2.0, log->viewport()->height() / 2.0);
    QWheelEvent wheel(at, log->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * direction), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(log->viewport(), &wheel);
    log->viewport()->repaint();
}

struct Timing {
    double wall = 0;
    double cpu = 0;
};

// 20 wheel steps, half up and half back down, from the middle of the log.
Timing ScrollTwenty(ChatLogView* log)
{
    log->verticalScrollBar()->setValue(log->verticalScrollBar()->maximum() / 2);
    log->viewport()->repaint();
    QElapsedTimer clock;
    clock.start();
    const double cpu = CpuMs();
    for (int i = 0; i < ScrollSteps; ++i)
        WheelStep(log, i < ScrollSteps / 2 ? 1 : -1);
    return {Ms(clock), CpuMs() - cpu};
}

std::vector<double> Walls(const std::vector<Timing>& timings)
{
    std::vector<double> out;
    for (const Timing& t : timings)
        out.push_back(t.wall);
    return out;
}

std::vector<double> Cpus(const std::vector<Timing>& timings)
{
    std::vector<double> out;
    for (const Timing& t : timings)
        out.push_back(t.cpu);
    return out;
}

double Worst(const std::vector<Timing>& timings)
{
    double worst = 0;
    for (const Timing& t : timings)
        worst = std::max(worst, t.wall);
    return worst;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 11;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--runs")
            runs = std::max(1, std::atoi(argv[++i]));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    QApplication::setFont(FormFont());

    QTemporaryDir dir;
    std::unique_ptr<TFormMain> window = CreateApplicationWindows((dir.path() + QStringLiteral("/kvchat.INI")).toStdString());
    window->FirstActivate = false;
    window->resize(800, 600);
    window->show();
    Settle(100);

    TChatSheet* sheet = OpenRoom(*window, 1, "laughter");
    const std::string laughter = "草" + std::string(150, 'w');
    for (int i = 0; i < Lines; ++i)
        sheet->AddLine(laughter, static_cast<std::uint8_t>(i % 5));
    ChatLogView* log = sheet->ChatLog;
    log->Flush();
    Settle(100);
    FindBar* bar = window->FindBar1;
    window->FindMenuClick();
    Settle(50);

    std::vector<Timing> keystroke, yardstick, scrollOpen, scrollClosed;
    int matches = 0;
    std::size_t plainMatches = 0;
    std::string utf8;
    for (int run = 0; run < runs; ++run) {
        bar->EditFind->clear();
        Settle(20);
        QElapsedTimer clock;
        clock.start();
        double cpu = CpuMs();
        bar->EditFind->setText(QStringLiteral("w"));
        log->viewport()->repaint();
        keystroke.push_back({Ms(clock), CpuMs() - cpu});
        matches = window->LogFinder->MatchCount();

        clock.restart();
        cpu = CpuMs();
        plainMatches = 0;
        for (std::size_t i = 0; i < sheet->Lines.Size(); ++i) {
            const std::string_view text = sheet->Lines.At(i, utf8).text;
            plainMatches += static_cast<std::size_t>(std::count(text.begin(), text.end(), 'w'));
        }
        yardstick.push_back({Ms(clock), CpuMs() - cpu});
        Settle(20);

        scrollOpen.push_back(ScrollTwenty(log));
        bar->Close();
        Settle(20);
        scrollClosed.push_back(ScrollTwenty(log));
        window->FindMenuClick();
        Settle(20);
    }

    // Memory: the same keystrokes and scrolling over Japanese lines, kept in CP932.
    bar->Close();
    TChatSheet* talk = OpenRoom(*window, 2, "talk");
    for (int i = 0; i < Lines; ++i)
        talk->AddLine("ゴールキーパーさん、今日の試合は何時からですか？ ナイスゴール " + std::to_string(i), 0);
    talk->ChatLog->Flush();
    window->FindMenuClick();
    bar->EditFind->clear();
    Settle(100);
    const long rssBefore = RssKb();
    const QString query = QStringLiteral("ゴールキーパーさん");
    for (int k = 0; k < 20; ++k) {
        bar->EditFind->setText(query.left(k % query.size() + 1));
        for (int s = 0; s < 20; ++s)
            WheelStep(talk->ChatLog, s < 10 ? 1 : -1);
    }
    Settle(100);
    const long rssAfter = RssKb();

    std::printf("Find bar over %d lines of \"草\" + 150 \"w\", %d run(s), platform %s, Qt %s; medians\n", Lines, runs,
                qPrintable(QGuiApplication::platformName()), qVersion());
    std::printf("matches of \"w\": %d (plain count %zu)\n", matches, plainMatches);
    const auto report = [](const char* what, const std::vector<Timing>& t, double bar) {
        const double wall = Median(Walls(t));
        std::printf("%s: %.2f ms, CPU %.2f ms", what, wall, Median(Cpus(t)));
        if (bar > 0)
            std::printf(" (bar %.0f ms: %s); worst %.2f ms", bar, wall < bar ? "met" : "NOT met", Worst(t));
        std::printf("\n");
    };
    report("one keystroke, until painted", keystroke, 50);
    report("yardstick, plain byte count over the stored lines", yardstick, 0);
    std::printf("keystroke / yardstick: %.2f (CPU %.2f)\n", Median(Walls(keystroke)) / std::max(1e-9, Median(Walls(yardstick))),
                Median(Cpus(keystroke)) / std::max(1e-9, Median(Cpus(yardstick))));
    report("20 scroll steps with the bar open, each painted", scrollOpen, 100);
    report("yardstick, the same steps with the bar closed", scrollClosed, 0);
    std::printf("open / closed: %.2f (CPU %.2f)\n", Median(Walls(scrollOpen)) / std::max(1e-9, Median(Walls(scrollClosed))),
                Median(Cpus(scrollOpen)) / std::max(1e-9, Median(Cpus(scrollClosed))));
    std::printf("RSS over %d Japanese lines: %.1f MB before 20 keystrokes and 400 scroll steps, %.1f MB after (%+.1f MB)\n",
                Lines, rssBefore / 1024.0, rssAfter / 1024.0, (rssAfter - rssBefore) / 1024.0);
    window.reset();
    ForgetApplicationWindows();
    return 0;
}
