// libFuzzer: one received frame through every decoder of the catalogue.
#include "harness/DecoderHarness.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string failure = kvfuzz::RunDecoders(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "decoders: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
