#include "Formations.h"

namespace {

// Side 1 defends the top goal, so its back line is the row nearest y = 0; the
// forwards stop short of the halfway line (y = 50) to leave room for side 2.
constexpr std::array<BuiltInFormation, 5> BuiltIns{{
    {"4-4-2", {{{50, 7},
                {15, 20}, {38, 18}, {62, 18}, {85, 20},
                {15, 32}, {38, 30}, {62, 30}, {85, 32},
                {38, 43}, {62, 43}}}},
    {"4-3-3", {{{50, 7},
                {15, 20}, {38, 18}, {62, 18}, {85, 20},
                {30, 30}, {50, 28}, {70, 30},
                {18, 42}, {50, 44}, {82, 42}}}},
    {"3-5-2", {{{50, 7},
                {28, 18}, {50, 17}, {72, 18},
                {10, 32}, {30, 29}, {50, 27}, {70, 29}, {90, 32},
                {38, 43}, {62, 43}}}},
    {"4-2-3-1", {{{50, 7},
                  {15, 20}, {38, 18}, {62, 18}, {85, 20},
                  {38, 27}, {62, 27},
                  {18, 36}, {50, 35}, {82, 36},
                  {50, 44}}}},
    {"5-3-2", {{{50, 7},
                {8, 23}, {29, 19}, {50, 17}, {71, 19}, {92, 23},
                {30, 30}, {50, 29}, {70, 30},
                {38, 43}, {62, 43}}}},
}};

}   // namespace

std::span<const BuiltInFormation> BuiltInFormations() { return BuiltIns; }

int FirstItemOf(BoardSide side) { return side == BoardSide::Side1 ? 1 : 12; }

void ApplyBuiltInFormation(CharItemTable& items, const BuiltInFormation& formation, BoardSide side)
{
    const int first = FirstItemOf(side);
    for (int k = 0; k < 11; ++k) {
        const FormationSpot spot = formation.Spots[k];
        CharItem& item = items[first + k];
        // Turned half round the centre spot (50, 50), as side 2's default is.
        item.nX = side == BoardSide::Side1 ? spot.x : 100 - spot.x;
        item.nY = side == BoardSide::Side1 ? spot.y : 100 - spot.y;
    }
}

void ApplyFormation(CharItemTable& items, const CharItemTable& formation)
{
    for (int i = 0; i < CharItemCount; ++i) {
        items[i].nX = formation[i].nX;
        items[i].nY = formation[i].nY;
        items[i].Name = formation[i].Name;
    }
}
