#pragma once
// Lets the frame reassembly read from a Qt socket.

#include "FrameReceiver.h"

#include <QIODevice>

#include <algorithm>
#include <climits>

class SocketByteSource final : public ByteSource {
public:
    explicit SocketByteSource(QIODevice& device) : device_(device) {}

    int ReceiveLength() override
    {
        return static_cast<int>(std::min<qint64>(device_.bytesAvailable(), INT_MAX));
    }

    int ReceiveBuf(std::uint8_t* buffer, int n) override
    {
        return static_cast<int>(device_.read(reinterpret_cast<char*>(buffer), n));
    }

private:
    QIODevice& device_;
};
