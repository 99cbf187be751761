// libFuzzer: received chat texts through the board's reading of board lines.
#include "harness/BoardLineHarness.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string failure = kvfuzz::RunBoardLine(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "parsetalk: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
