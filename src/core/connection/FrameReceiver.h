#pragma once
// Takes whole frames off a byte stream, at most one per read event, so that a
// handler opening a modal box never sees a half-consumed stream.

#include "GmPacket.h"

#include <cstdint>

// What the receive path needs from a socket.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual int ReceiveLength() = 0;                       // bytes ready to read now
    virtual int ReceiveBuf(std::uint8_t* buffer, int n) = 0;  // reads exactly n ready bytes
};

enum class ReceiveResult {
    Waiting,    // not a whole frame yet; PendingLength keeps the progress
    Frame,      // the packet holds a new frame to dispatch
    Dropped,    // a frame of 2 or 9990..10000 bytes was read whole and refused
    OutOfStep,  // the declared length cannot be read; the stream must be closed
};

class FrameReceiver {
public:
    ReceiveResult ReadOne(ByteSource& source, GmPacket& packet);
    // A new connection starts clean.
    void Reset() { PendingLength = 0; }

    std::int16_t PendingLength = 0;
};
