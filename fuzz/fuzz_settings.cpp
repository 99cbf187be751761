// libFuzzer: settings files through reading, writing and reading again.
#include "harness/SettingsHarness.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
// One scratch file per process (libFuzzer's -fork and -jobs run several).
const std::string& ScratchPath()
{
    static const std::string path = [] {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(base) + "/kv_fuzz_settings." + std::to_string(getpid()) + ".INI";
    }();
    return path;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string failure = kvfuzz::RunSettings(data, size, ScratchPath());
    if (!failure.empty()) {
        std::fprintf(stderr, "settings: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
