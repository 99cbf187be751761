// Start-up: time from starting the real kvchat program to its main window being
// shown, against a bare Qt program that shows one empty window, measured the same
// way in the same run.
//
// Method: this program starts a private Xvfb server, connects to it as an ordinary X
// client and asks for the root window's substructure events. For each measurement it
// notes the monotonic clock, forks and execs the program on that display, and waits
// (blocking on the X connection, no polling) for the MapNotify of the program's first
// top-level window. That event is sent by the X server when the program maps its
// window, which Qt does when the window is shown. The program is then killed. The two
// programs are measured alternately, after warm-up runs, and the medians compared.
//
// kvchat runs from a copy in a temporary folder with a settings file beside it that
// has no server address, so it never connects; the connect dialog that its first
// activation opens comes after the measured moment.
//
//   bench_ui_startup [--runs R] [--kvchat PATH] [--bare PATH] [--compare PATH]
// --compare measures a second build of kvchat (for instance with a proposed change)
// in the same run.
// Never fails on a figure.
//
// libxcb is opened at run time so that this program needs no link option of its own.

#include "BenchWindow.h"

#include <xcb/xcb.h>

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// The few libxcb calls used, resolved with dlsym.
struct Xcb {
    decltype(&xcb_connect) connect = nullptr;
    decltype(&xcb_connection_has_error) hasError = nullptr;
    decltype(&xcb_get_setup) getSetup = nullptr;
    decltype(&xcb_setup_roots_iterator) rootsIterator = nullptr;
    decltype(&xcb_change_window_attributes_checked) changeAttributes = nullptr;
    decltype(&xcb_request_check) requestCheck = nullptr;
    decltype(&xcb_flush) flush = nullptr;
    decltype(&xcb_poll_for_event) pollForEvent = nullptr;
    decltype(&xcb_get_file_descriptor) fileDescriptor = nullptr;
    decltype(&xcb_disconnect) disconnect = nullptr;

    bool Load()
    {
        void* lib = ::dlopen("libxcb.so.1", RTLD_NOW);
        if (lib == nullptr)
            return false;
        const auto get = [lib](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(lib, name));
            return fn != nullptr;
        };
        return get(connect, "xcb_connect") && get(hasError, "xcb_connection_has_error") &&
               get(getSetup, "xcb_get_setup") && get(rootsIterator, "xcb_setup_roots_iterator") &&
               get(changeAttributes, "xcb_change_window_attributes_checked") &&
               get(requestCheck, "xcb_request_check") && get(flush, "xcb_flush") &&
               get(pollForEvent, "xcb_poll_for_event") && get(fileDescriptor, "xcb_get_file_descriptor") &&
               get(disconnect, "xcb_disconnect");
    }
};

// A private X server on a display number it picks itself.
struct XServer {
    pid_t pid = -1;
    std::string display;

    bool Start()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 1);
            ::dup2(null, 2);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                     static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        ::close(fds[1]);
        std::string number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (pid <= 0 || number.empty())
            return false;
        display = ":" + number;
        return true;
    }

    void Stop()
    {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

struct Watcher {
    Xcb x;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;

    bool Open(const std::string& display)
    {
        if (!x.Load())
            return false;
        connection = x.connect(display.c_str(), nullptr);
        if (connection == nullptr || x.hasError(connection) != 0)
            return false;
        root = x.rootsIterator(x.getSetup(connection)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_generic_error_t* error =
            x.requestCheck(connection, x.changeAttributes(connection, root, XCB_CW_EVENT_MASK, &mask));
        std::free(error);
        return error == nullptr;
    }

    // Waits for the next top-level window to be mapped; false on timeout.
    bool WaitForMap(int timeoutMs)
    {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            while (xcb_generic_event_t* event = x.pollForEvent(connection)) {
                bool mapped = false;
                if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                    const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                    mapped = map->event == root && map->override_redirect == 0;
                }
                std::free(event);
                if (mapped)
                    return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0 || x.hasError(connection) != 0)
                return false;
            pollfd p{x.fileDescriptor(connection), POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left));
        }
    }

    // Reads and forgets what is queued, for a while (the killed program's windows go away).
    void Drain(int ms)
    {
        const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            while (xcb_generic_event_t* event = x.pollForEvent(connection))
                std::free(event);
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            if (left <= 0)
                return;
            pollfd p{x.fileDescriptor(connection), POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left));
        }
    }
};

struct Sample {
    double seconds = 0;      // start to main window shown
    double cpuSeconds = 0;   // the program's own CPU time until it was killed
};

std::optional<Sample> Measure(Watcher& watcher, const std::vector<std::string>& command, const std::string& display)
{
    watcher.Drain(0);
    const Clock::time_point start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::setenv("DISPLAY", display.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        std::vector<char*> args;
        for (const std::string& arg : command)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        std::_Exit(127);
    }
    if (pid < 0)
        return std::nullopt;
    const bool shown = watcher.WaitForMap(30000);
    const Clock::time_point end = Clock::now();
    ::kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    watcher.Drain(150);
    if (!shown)
        return std::nullopt;
    const auto cpu = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return Sample{std::chrono::duration<double>(end - start).count(), cpu(usage.ru_utime) + cpu(usage.ru_stime)};
}


std::string SelfDirectory()
{
    char path[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? fs::path(std::string(path, static_cast<std::size_t>(n))).parent_path().string() : ".";
}

// A copy of kvchat in a fresh folder, with the settings file an installation supplies,
// minus the server address.
std::optional<std::string> PrepareKvchat(const std::string& source, std::string& folder)
{
    char pattern[] = "/tmp/kvchat-startup-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        return std::nullopt;
    folder = pattern;
    const fs::path program = fs::path(folder) / "kvchat";
    std::error_code error;
    fs::copy_file(source, program, error);
    if (error)
        return std::nullopt;
    std::ofstream settings(fs::path(folder) / "kvchat.INI", std::ios::binary);
    settings << "[Form]\r\nTop=40\r\nLeft=40\r\nWidth=700\r\nHeight=520\r\nRoomHeight=201\r\nRoomVisible=1\r\n"
                "[Common]\r\nName=tester\r\nPort=9010\r\nRoomCount=2\r\n"
                "[URL]\r\nHome=http://localhost/\r\nGate=http://localhost/gate\r\nReserve=http://localhost/reserve\r\n"
                "Houdou=http://localhost/houdou\r\nDownload=http://localhost/download\r\n"
                "[Room1]\r\nName=lobby\r\nPassword=\r\n[Room2]\r\nName=match\r\nPassword=abc123\r\n";
    return program.string();
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 15;
    const std::string here = SelfDirectory();
    std::string kvchat = (fs::path(here) / ".." / "app" / "kvchat").lexically_normal().string();
    std::string bare = (fs::path(here) / "bare_window").string();
    std::string compare;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs")
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--kvchat")
            kvchat = argv[++i];
        else if (arg == "--bare")
            bare = argv[++i];
        else if (arg == "--compare")
            compare = argv[++i];
    }
    for (const std::string& program : {kvchat, bare}) {
        if (::access(program.c_str(), X_OK) != 0) {
            std::fprintf(stderr, "not found: %s\n", program.c_str());
            return 1;
        }
    }

    std::string folder;
    std::string compareFolder;
    const std::optional<std::string> copy = PrepareKvchat(kvchat, folder);
    const std::optional<std::string> compareCopy =
        compare.empty() ? std::nullopt : PrepareKvchat(compare, compareFolder);
    if (!copy || (!compare.empty() && !compareCopy)) {
        std::fprintf(stderr, "cannot copy kvchat\n");
        return 1;
    }
    XServer server;
    Watcher watcher;
    if (!server.Start() || !watcher.Open(server.display)) {
        std::fprintf(stderr, "cannot start Xvfb or connect to it (is Xvfb installed?)\n");
        server.Stop();
        return 1;
    }

    // What is measured: kvchat, the bare empty window, and the bare window with one
    // line of text (which pays the toolkit's font set-up that any text needs).
    struct Subject {
        const char* name;
        std::vector<std::string> command;
        std::vector<double> times, cpu;
    };
    std::vector<Subject> subjects = {{"kvchat", {*copy}, {}, {}},
                                     {"bare window", {bare}, {}, {}},
                                     {"bare window + text", {bare, "--label"}, {}, {}}};
    if (compareCopy)
        subjects.push_back({"kvchat (compared)", {*compareCopy}, {}, {}});
    const int warmup = 2;
    bool failed = false;
    for (int run = 0; run < warmup + runs && !failed; ++run) {
        // Rotate the order, so that none always follows the same one.
        for (std::size_t k = 0; k < subjects.size() && !failed; ++k) {
            Subject& subject = subjects[(k + static_cast<std::size_t>(run)) % subjects.size()];
            const std::optional<Sample> sample = Measure(watcher, subject.command, server.display);
            if (!sample) {
                std::fprintf(stderr, "%s showed no window\n", subject.name);
                failed = true;
            } else if (run >= warmup) {
                subject.times.push_back(sample->seconds);
                subject.cpu.push_back(sample->cpuSeconds);
            }
        }
    }
    watcher.x.disconnect(watcher.connection);
    server.Stop();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    if (!compareFolder.empty())
        fs::remove_all(compareFolder, ignored);
    if (failed)
        return 1;

    std::printf("Start-up to the main window shown (Xvfb, MapNotify), %d runs each after %d warm-up, medians\n", runs,
                warmup);
    for (const Subject& subject : subjects)
        std::printf("  %-20s %7.1f ms (its CPU %6.1f ms)\n", subject.name, Median(subject.times) * 1e3,
                    Median(subject.cpu) * 1e3);
    const double app = Median(subjects[0].times);
    const double ratio = app / Median(subjects[1].times);
    std::printf("  kvchat / bare window: %.2f (bar 1.3: %s); CPU ratio %.2f\n", ratio, ratio <= 1.3 ? "met" : "NOT met",
                Median(subjects[0].cpu) / Median(subjects[1].cpu));
    std::printf("  kvchat / bare window + text: %.2f; CPU ratio %.2f\n", app / Median(subjects[2].times),
                Median(subjects[0].cpu) / Median(subjects[2].cpu));
    if (compareCopy) {
        const double other = Median(subjects[3].times);
        std::printf("  kvchat (compared) / bare window: %.2f (bar 1.3: %s); / bare window + text: %.2f; "
                    "/ kvchat: %.2f\n",
                    other / Median(subjects[1].times), other / Median(subjects[1].times) <= 1.3 ? "met" : "NOT met",
                    other / Median(subjects[2].times), other / app);
    }
    return 0;
}
