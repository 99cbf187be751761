#include "GmPacket.h"

#include <algorithm>
#include <cstring>

std::int16_t GmPacket::GetLength() const
{
    return static_cast<std::int16_t>((frame_[0] << 8) | frame_[1]);
}

void GmPacket::SetLength(std::int16_t length)
{
    const auto v = static_cast<std::uint16_t>(length);
    frame_[0] = static_cast<std::uint8_t>(v >> 8);
    frame_[1] = static_cast<std::uint8_t>(v & 0xFF);
}

bool GmPacket::Finish(std::uint8_t type, std::int16_t payloadLength)
{
    if (payloadLength < 0 || payloadLength + FrameHeaderSize > MaxFrameLength)
        return false;
    frame_[2] = type;
    totalLength_ = static_cast<std::int16_t>(payloadLength + FrameHeaderSize);
    SetLength(totalLength_);
    return true;
}

bool GmPacket::Load(const std::uint8_t* data, int length)
{
    if (data == nullptr || length < FrameHeaderSize || length > MaxFrameLength)
        return false;
    std::memmove(frame_.data(), data, static_cast<std::size_t>(length));
    totalLength_ = static_cast<std::int16_t>(length);
    SetLength(totalLength_);
    return true;
}

GmWriter::GmWriter(GmPacket& packet) : area_(packet.FrameArea()) {}

void GmWriter::Put(std::uint8_t b)
{
    // Writes past the frame area are dropped; the length still grows so Finish refuses the frame.
    if (current_ < FrameAreaSize)
        area_[current_] = b;
    ++current_;
}

void GmWriter::PutByte(int v) { Put(static_cast<std::uint8_t>(v & 0xFF)); }

void GmWriter::PutShort(std::int16_t v)
{
    const auto u = static_cast<std::uint16_t>(v);
    Put(static_cast<std::uint8_t>(u >> 8));
    Put(static_cast<std::uint8_t>(u & 0xFF));
}

void GmWriter::PutBytes3(int a, int b, int c)
{
    PutByte(a);
    PutByte(b);
    PutByte(c);
}

void GmWriter::PutString(const char* text, std::int16_t max)
{
    const std::size_t limit = max > 0 ? static_cast<std::size_t>(std::min<int>(max, 255)) : 0;
    const std::size_t n = text ? strnlen(text, limit) : 0;
    Put(static_cast<std::uint8_t>(n));
    if (current_ + static_cast<int>(n) <= FrameAreaSize) {
        if (n > 0)
            std::memcpy(area_ + current_, text, n);
        current_ += static_cast<int>(n);
        return;
    }
    for (std::size_t i = 0; i < n; ++i)
        Put(static_cast<std::uint8_t>(text[i]));
}

std::int16_t GmWriter::Length() const
{
    return static_cast<std::int16_t>(std::min(current_ - FrameHeaderSize, 0x7FFF));
}

GmReader::GmReader(const GmPacket& packet)
    : frame_(packet.Data()), limit_(packet.TotalLength() - FrameHeaderSize)
{
}

bool GmReader::Check(int n)
{
    if (!ok_)
        return false;
    if (n < 0 || (current_ - FrameHeaderSize) + n > limit_) {
        ok_ = false;
        return false;
    }
    return true;
}

std::uint8_t GmReader::GetByte()
{
    if (!Check(1))
        return 0;
    return frame_[current_++];
}

std::int16_t GmReader::GetShort()
{
    if (!Check(2))
        return 0;
    const auto v = static_cast<std::uint16_t>((frame_[current_] << 8) | frame_[current_ + 1]);
    current_ += 2;
    return static_cast<std::int16_t>(v);
}

void GmReader::GetString(char* buffer, std::int16_t capacity)
{
    const int n = GetByte();
    const int keep = capacity > 0 ? std::min(n, capacity - 1) : 0;
    if (!Check(n)) {
        if (capacity > 0)
            buffer[0] = '\0';
        return;
    }
    if (capacity > 0) {
        std::memcpy(buffer, frame_ + current_, static_cast<std::size_t>(keep));
        buffer[keep] = '\0';
    }
    current_ += n;
}

void GmReader::GetRoom(std::int16_t& room)
{
    room = GetByte();
    if (room > MaxRoomNo)
        ok_ = false;
}
