#include "BenchSocket.h"

#include "GmPacket.h"

#include <sys/socket.h>
#include <vector>

namespace bench {

bool ReadExact(int fd, std::uint8_t* data, std::size_t n)
{
    while (n > 0) {
        const ssize_t got = ::recv(fd, data, n, 0);
        if (got <= 0)
            return false;
        data += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t n)
{
    while (n > 0) {
        const ssize_t sent = ::send(fd, data, n, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        n -= static_cast<std::size_t>(sent);
    }
    return true;
}

int ReadFrame(int fd)
{
    std::uint8_t header[2];
    if (!ReadExact(fd, header, 2))
        return -1;
    const int length = (header[0] << 8) | header[1];
    if (length < 3)
        return -1;
    std::vector<std::uint8_t> body(static_cast<std::size_t>(length - 2));
    if (!ReadExact(fd, body.data(), body.size()))
        return -1;
    return body[0];
}

bool SendPacket(int fd, const GmPacket& packet)
{
    return WriteAll(fd, packet.Data(), static_cast<std::uint16_t>(packet.GetLength()));
}

}  // namespace bench
