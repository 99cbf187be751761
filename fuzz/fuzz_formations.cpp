// libFuzzer: kept formation files and pasted formation texts.
#include "harness/FormationHarness.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string failure = kvfuzz::RunFormations(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "formations: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
