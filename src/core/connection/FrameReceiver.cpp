#include "FrameReceiver.h"

#include <array>

ReceiveResult FrameReceiver::ReadOne(ByteSource& source, GmPacket& packet)
{
    int ready = source.ReceiveLength();
    if (PendingLength == 0) {
        if (ready < 2)
            return ReceiveResult::Waiting;
        std::array<std::uint8_t, 2> header{};
        source.ReceiveBuf(header.data(), 2);
        ready -= 2;
        PendingLength = static_cast<std::int16_t>((header[0] << 8) | header[1]);
        if (PendingLength < 2 || PendingLength > FrameAreaSize) {
            PendingLength = 0;
            return ReceiveResult::OutOfStep;
        }
    }
    const int body = PendingLength - 2;
    if (ready < body)
        return ReceiveResult::Waiting;

    std::array<std::uint8_t, FrameAreaSize> staging;   // lives for this read event only
    staging[0] = staging[1] = 0;
    if (body > 0)
        source.ReceiveBuf(staging.data() + 2, body);
    const int length = PendingLength;
    // Cleared before dispatch: a handler's modal box may deliver the next read event.
    PendingLength = 0;
    return packet.Load(staging.data(), length) ? ReceiveResult::Frame : ReceiveResult::Dropped;
}
