#pragma once
// The formation board's marker table: 23 markers on a pitch, the default
// formation, the hit test and the drag arithmetic. Positions are hundredths of
// the pitch, scaled to pixels by the pitch size each marker carries.

#include <array>
#include <cstdint>
#include <string>

struct CharItem {
    std::int32_t nX = 0;          // centre, hundredths of the pitch width (0..99)
    std::int32_t nY = 0;          // centre, hundredths of the pitch height (0..99)
    std::int32_t nWidth = 100;    // pitch width in pixels
    std::int32_t nHeight = 100;   // pitch height in pixels
    std::string Name;             // Shift-JIS bytes, may be empty
    std::uint32_t Color = 0xFFFFFF;   // 0x00BBGGRR
    std::int32_t nRadius = 7;

    // Centre in pitch pixels; the division truncates toward zero.
    std::int32_t CenterX() const { return nX * nWidth / 100; }
    std::int32_t CenterY() const { return nY * nHeight / 100; }
};

inline constexpr int CharItemCount = 23;
inline constexpr int BallItem = 0;

// Colours in the 0x00BBGGRR form.
inline constexpr std::uint32_t BallColor = 0xFFFFFF;
inline constexpr std::uint32_t Side1Color = 0x0000FF;   // red
inline constexpr std::uint32_t Side2Color = 0xFF0000;   // blue

using CharItemTable = std::array<CharItem, CharItemCount>;

// The program's one marker table.
extern CharItemTable CharItems;

// A marker's letter in board lines: 'A' for index 0 up to 'W' for index 22.
inline constexpr char CharItemLetter(int nItem) { return static_cast<char>('A' + nItem); }

// Default formation on a pitch of the given pixel size; radii are left as they are.
void ResetCharItems(CharItemTable& items, std::int32_t nWidth, std::int32_t nHeight);

// Index of the first marker whose bounding square holds (X, Y), or -1. Squares
// include their left and top edges and exclude their right and bottom edges.
int FindCharAt(const CharItemTable& items, std::int32_t X, std::int32_t Y);

// Moves a marker by a pointer displacement in pixels. Returns true only when the
// new position is on the pitch (0..99 both ways) and differs from the old one;
// otherwise the marker is left alone.
bool ApplyDrag(CharItem& item, std::int32_t dx, std::int32_t dy);
