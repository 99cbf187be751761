// libFuzzer: a byte stream from a hostile server, cut into arbitrary reads,
// through frame reassembly and DispatchPacket into the real main window.
#include "harness/ReceiveHarness.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {
kvfuzz::ReceiveHarness* harness = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_receive";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    static QTemporaryDir dir;
    static kvfuzz::ReceiveHarness instance((dir.path() + QStringLiteral("/kvchat.INI")).toStdString());
    harness = &instance;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string failure = harness->Run(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "receive: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
