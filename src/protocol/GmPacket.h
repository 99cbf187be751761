#pragma once
// One frame of the chat protocol and the cursors that build and read it.
// Fixed-size, allocation-free; nothing here knows about sockets.

#include <array>
#include <cstdint>

inline constexpr int MaxFrameLength = 9989;   // header and type included
inline constexpr int FrameAreaSize = 10000;
inline constexpr int FrameHeaderSize = 3;     // 2 length bytes + type
inline constexpr int MaxPayloadLength = MaxFrameLength - FrameHeaderSize;
inline constexpr std::int16_t MaxRoomNo = 51;

class GmPacket {
public:
    // Length decoded from the frame header (what the sender hands to the socket).
    std::int16_t GetLength() const;
    void SetLength(std::int16_t length);
    // Closes a frame built by a GmWriter; refuses (and changes nothing) past MaxFrameLength.
    bool Finish(std::uint8_t type, std::int16_t payloadLength);
    // Takes in one whole received frame; refuses null data or lengths outside 3..9989.
    bool Load(const std::uint8_t* data, int length);

    std::uint8_t Type() const { return frame_[2]; }
    std::int16_t TotalLength() const { return totalLength_; }
    const std::uint8_t* Data() const { return frame_.data(); }
    std::uint8_t* FrameArea() { return frame_.data(); }

private:
    std::array<std::uint8_t, FrameAreaSize> frame_{};
    std::int16_t totalLength_ = 0;
};

class GmWriter {
public:
    explicit GmWriter(GmPacket& packet);
    void PutByte(int v);
    void PutShort(std::int16_t v);
    void PutBytes3(int a, int b, int c);
    // Writes at most `max` bytes of the NUL-terminated text, preceded by the count.
    void PutString(const char* text, std::int16_t max);
    // Payload bytes written so far; past the frame area it exceeds what Finish accepts.
    std::int16_t Length() const;

private:
    void Put(std::uint8_t b);
    std::uint8_t* area_;
    int current_ = FrameHeaderSize;
};

class GmReader {
public:
    explicit GmReader(const GmPacket& packet);
    bool Check(int n);
    std::uint8_t GetByte();
    std::int16_t GetShort();
    // Keeps at most capacity-1 bytes plus a NUL, but always skips the whole string.
    void GetString(char* buffer, std::int16_t capacity);
    void GetRoom(std::int16_t& room);
    bool Ok() const { return ok_; }

private:
    const std::uint8_t* frame_;
    int current_ = FrameHeaderSize;
    std::int32_t limit_;
    bool ok_ = true;
};
