#pragma once
// One fuzz input through the board's reading of received chat lines
// (ParseTalk's engine). Shared by the libFuzzer target and the replay test.
//
// Input: byte 0 chooses the board's room and the line's room, the rest is the
// chat text as it would come out of a GmTalk record. Checks: only texts with a
// board prefix are board lines; a line for another room changes nothing; every
// marker stays on the pitch with a name that a name line can carry; and the
// board that results, written out as a position line and a name line, reads
// back into a fresh board as the same board.

#include "BoardLines.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvfuzz {

namespace boardline {

inline bool SameBoard(const CharItemTable& a, const CharItemTable& b)
{
    for (int i = 0; i < CharItemCount; ++i) {
        if (a[i].nX != b[i].nX || a[i].nY != b[i].nY || a[i].Name != b[i].Name)
            return false;
    }
    return true;
}

inline bool OnPitchWithSendableName(const CharItem& item)
{
    if (item.nX < 0 || item.nX > 99 || item.nY < 0 || item.nY > 99)
        return false;
    for (const unsigned char c : item.Name)
        if (c <= 0x20)
            return false;
    return true;
}

} // namespace boardline

inline std::string RunBoardLine(const std::uint8_t* data, std::size_t size)
{
    using namespace boardline;
    if (size == 0)
        return {};
    // Low bits: the line's room; bit 7: a line for a different room; bit 6: a board never shown.
    const int nRoom = data[0] & 0x3F;
    const int nRoomNo = (data[0] & 0x40) ? -1 : (data[0] & 0x80) ? (nRoom + 1) % 52 : nRoom;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string_view shown = text.substr(0, text.find('\0'));

    CharItemTable items;
    ResetCharItems(items, 200, 300);
    const CharItemTable before = items;
    const BoardLineResult result = ParseBoardLine(items, nRoomNo, nRoom, text);

    const bool prefixed = shown.starts_with(PositionLinePrefix) || shown.starts_with(NameLinePrefix);
    if (result.isBoardLine != prefixed)
        return "a text was taken for a board line, or a board line for chat, by mistake";
    if (!prefixed && result.applied)
        return "an ordinary chat line changed the board";
    if (nRoomNo != nRoom || nRoomNo < 0) {
        if (result.applied || !SameBoard(items, before))
            return "a board line for another room changed the board";
    }
    for (const CharItem& item : items)
        if (!OnPitchWithSendableName(item))
            return "a marker left the pitch or got a name that no name line can carry";
    if (!result.applied && !SameBoard(items, before))
        return "the board changed but no redraw was asked for";

    CharItemTable copy;
    ResetCharItems(copy, 200, 300);
    for (CharItem& item : copy) {
        item.nX = 0;
        item.nY = 0;
        item.Name = "?";
    }
    for (const std::string& line : WholeFormationLines(items)) {
        if (line.size() > MaxBoardLineBytes)
            return "a line of the whole formation does not fit a chat line";
        ParseBoardLine(copy, 5, 5, line);
    }
    if (!SameBoard(items, copy))
        return "the board written out as board lines does not read back the same";
    return {};
}

} // namespace kvfuzz
