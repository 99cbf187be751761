#pragma once
// Formations a coach starts from: the built-in line-ups for either side, and
// loading a whole kept formation onto the board.

#include "Board.h"

#include <array>
#include <span>
#include <string_view>

enum class BoardSide { Side1, Side2 };

struct FormationSpot {
    std::int32_t x;
    std::int32_t y;
};

// Positions of a side's 11 markers (its number 1, the keeper, first) for side 1,
// which defends the top goal. Side 2 takes them turned half round the centre spot.
struct BuiltInFormation {
    std::string_view Title;
    std::array<FormationSpot, 11> Spots;
};

std::span<const BuiltInFormation> BuiltInFormations();

// The first marker index of a side (1 for side 1, 12 for side 2).
int FirstItemOf(BoardSide side);

// Moves one side's 11 markers to the formation; names, the ball and the other
// side stay as they are.
void ApplyBuiltInFormation(CharItemTable& items, const BuiltInFormation& formation, BoardSide side);

// Takes positions and names of all 23 markers from a kept formation; pixel
// sizes, colours and radii stay the board's own.
void ApplyFormation(CharItemTable& items, const CharItemTable& formation);
