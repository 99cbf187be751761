// Blocking socket helpers for the benchmarks' scripted servers, which write
// frames straight to the client from a thread of their own.
#pragma once

#include <cstddef>
#include <cstdint>

class GmPacket;

namespace bench {

bool ReadExact(int fd, std::uint8_t* data, std::size_t n);
bool WriteAll(int fd, const std::uint8_t* data, std::size_t n);
// Reads one frame sent by the client; returns its type, or -1.
int ReadFrame(int fd);
bool SendPacket(int fd, const GmPacket& packet);

}  // namespace bench
