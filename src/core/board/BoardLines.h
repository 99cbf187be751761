#pragma once
// Board lines: formations carried inside ordinary chat text. A position line is
// "*!B!*" followed by 5-byte items (letter, "%02d%02d" of nX and nY); a name line
// is "*!N!*" followed by items of a letter, the name's bytes and one blank.

#include "Board.h"

#include <bitset>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view PositionLinePrefix = "*!B!*";
inline constexpr std::string_view NameLinePrefix = "*!N!*";

// A chat line's bytes, and so a sent board line's.
inline constexpr std::size_t MaxBoardLineBytes = 200;
// The longest name a name line can carry whole: names read from any source are
// cut to it (on a character boundary), so every name can reach peers as it is.
inline constexpr std::size_t MaxBoardNameBytes = MaxBoardLineBytes - NameLinePrefix.size() - 1;

void AppendPosition(const CharItemTable& items, int nItem, std::string& Text, bool bPrefix);
void AppendAllPositions(const CharItemTable& items, std::string& Text);
void AppendName(const CharItemTable& items, int nItem, std::string& Text, bool bPrefix);
void AppendAllNames(const CharItemTable& items, std::string& Text);

// Name lines for markers first..last, each within MaxBoardLineBytes and every
// item whole: as many lines as the names need, each one a line any client applies.
// An item's closing blank is left off only where it would not fit the line.
std::vector<std::string> NameLines(const CharItemTable& items, int first, int last);

// The whole formation as the board sends it: the full position line, then the
// name lines (one, unless peers brought long names).
std::vector<std::string> WholeFormationLines(const CharItemTable& items);

// The items of one board line read into the table.
struct BoardItemsResult {
    bool boardLine = false;   // the text starts with a board line prefix
    bool positions = false;   // a position line, else a name line
    int count = 0;            // items applied
    int firstItem = -1;       // the marker of the first item applied
    std::bitset<CharItemCount> markers;   // every marker an item applied to
    bool complete = false;    // every byte after the prefix was read as items

    void Add(int nItem)
    {
        if (count++ == 0)
            firstItem = nItem;
        markers.set(static_cast<std::size_t>(nItem));
    }
};

struct BoardLineResult {
    bool isBoardLine = false;   // the text must not reach a chat log
    bool applied = false;       // at least one item changed the table: redraw
    BoardItemsResult items;     // what was applied, for telling who moved what
};

// Applies a received chat text to the table when it is a board line of the
// board's room. A board that was never bound (nRoomNo -1) swallows every board
// line. The text ends at its first NUL byte.
BoardLineResult ParseBoardLine(CharItemTable& items, int nRoomNo, int nRoom, std::string_view Text);

// Applies a board line whatever its room, as read from a formation file or a
// pasted text. The line ends at its end, not at a NUL.
BoardItemsResult ApplyBoardLine(CharItemTable& items, std::string_view Text);

// Applies the board lines found among the lines of a pasted text (the copy
// text, its heading and anything else being skipped). The table changes only
// when at least one item applies; returns whether one did.
bool ApplyBoardCopyText(CharItemTable& items, std::string_view Text);

// The clipboard text: one line of explanation, the full position line and the
// full name line, each ended by a single LF.
std::string BuildBoardCopyText(const CharItemTable& items);
