// libFuzzer: a user working the real main window while a scripted server talks
// to it over loopback TCP; the input interleaves the two (harness/SessionHarness.h).
#include "harness/SessionHarness.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {
kvfuzz::SessionHarness* harness = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_NO_GLIB", "1");
    // Desktop notices are counted by the harness; nothing is to reach a session bus.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    static int argc = 1;
    static char name[] = "fuzz_session";
    static char* argv[] = {name, nullptr};
    static QTemporaryDir dir;
    // The application and the window live until the process ends: torn down by
    // the exit handlers, after the toolkit's own statics, they would crash.
    auto* app = new QApplication(argc, argv);
    static_cast<void>(app);
    harness = new kvfuzz::SessionHarness(dir.path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string failure = harness->Run(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "session: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
