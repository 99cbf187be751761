// libFuzzer: one input as a room's logs, read backwards, forwards and searched.
#include "harness/LogReadHarness.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Memory-backed when there is such a folder: the files are written for every input.
    static const std::filesystem::path folder =
        (std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                   : std::filesystem::temp_directory_path()) /
        ("kv_fuzz_logread_" + std::to_string(::getpid()));
    const std::string failure = kvfuzz::RunLogRead(data, size, folder);
    if (!failure.empty()) {
        std::fprintf(stderr, "logread: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
