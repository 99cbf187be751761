#pragma once
// The user's own changes to the board, for undo and redo. Undoing puts back a
// marker only where it still is as the user left it: what a peer changed since
// stays. The history belongs to one room binding.

#include "Board.h"

#include <bitset>
#include <cstddef>
#include <deque>

enum class BoardChangeKind { Move, Rename, Load };

// Which markers' positions and names a change, an undo or a redo touched.
struct BoardTouched {
    std::bitset<CharItemCount> positions;
    std::bitset<CharItemCount> names;

    bool Any() const { return positions.any() || names.any(); }
};

class BoardHistory {
public:
    static constexpr std::size_t MaxSteps = 100;

    // Records a change the user made: the table before it and as it is now.
    // A Move or Rename names its marker; a Load covers every marker. With
    // extendLast, a change of the same kind and marker as the newest step joins
    // it (the steps of a key held down undo as one).
    void Record(BoardChangeKind kind, int nItem, const CharItemTable& before, const CharItemTable& after,
                bool extendLast = false);

    bool CanUndo() const { return !undo.empty(); }
    bool CanRedo() const { return !redo.empty(); }

    // Takes back the newest change still on the stack; returns what changed in
    // the table (nothing when peers changed all of it since).
    BoardTouched Undo(CharItemTable& items);
    BoardTouched Redo(CharItemTable& items);

    void Clear();

private:
    struct Step {
        BoardChangeKind kind;
        int nItem;
        CharItemTable before;
        CharItemTable after;
    };
    static BoardTouched apply(const Step& step, CharItemTable& items, bool back);

    std::deque<Step> undo;
    std::deque<Step> redo;
};
