#include "Board.h"

CharItemTable CharItems;

namespace {

struct DefaultChar {
    const char* name;
    std::int32_t x;
    std::int32_t y;
};

// Side 1 defends the top goal, side 2 the bottom one; the ball lies on the centre spot.
constexpr std::array<DefaultChar, CharItemCount> DefaultFormation{{
    {"", 50, 50},
    {"1", 50, 7},  {"2", 60, 18}, {"3", 35, 19}, {"4", 81, 19}, {"5", 13, 18},
    {"6", 49, 25}, {"7", 71, 30}, {"8", 23, 31}, {"9", 62, 41}, {"10", 50, 36},
    {"11", 36, 41},
    {"1", 50, 93}, {"2", 51, 82}, {"3", 20, 81}, {"4", 79, 80}, {"5", 36, 72},
    {"6", 64, 73}, {"7", 20, 64}, {"8", 79, 64}, {"9", 37, 56}, {"10", 51, 64},
    {"11", 64, 56},
}};

constexpr std::uint32_t DefaultColor(int nItem)
{
    if (nItem == BallItem)
        return BallColor;
    return nItem <= 11 ? Side1Color : Side2Color;
}

constexpr bool OnPitch(std::int32_t v) { return v >= 0 && v <= 99; }

}   // namespace

void ResetCharItems(CharItemTable& items, std::int32_t nWidth, std::int32_t nHeight)
{
    for (int i = 0; i < CharItemCount; ++i) {
        CharItem& item = items[i];
        item.nWidth = nWidth;
        item.nHeight = nHeight;
        item.Name = DefaultFormation[i].name;
        item.Color = DefaultColor(i);
        item.nX = DefaultFormation[i].x;
        item.nY = DefaultFormation[i].y;
    }
}

int FindCharAt(const CharItemTable& items, std::int32_t X, std::int32_t Y)
{
    for (int i = 0; i < CharItemCount; ++i) {
        const CharItem& item = items[i];
        const std::int32_t cx = item.CenterX();
        const std::int32_t cy = item.CenterY();
        const std::int32_t r = item.nRadius;
        if (X >= cx - r && X < cx + r && Y >= cy - r && Y < cy + r)
            return i;
    }
    return -1;
}

bool ApplyDrag(CharItem& item, std::int32_t dx, std::int32_t dy)
{
    if (item.nWidth <= 0 || item.nHeight <= 0)
        return false;
    const std::int32_t nx = item.nX + dx * 100 / item.nWidth;
    const std::int32_t ny = item.nY + dy * 100 / item.nHeight;
    if (!OnPitch(nx) || !OnPitch(ny) || (nx == item.nX && ny == item.nY))
        return false;
    item.nX = nx;
    item.nY = ny;
    return true;
}
