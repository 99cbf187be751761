#include "BoardHistory.h"

namespace {

bool SamePosition(const CharItem& a, const CharItem& b) { return a.nX == b.nX && a.nY == b.nY; }

}   // namespace

void BoardHistory::Record(BoardChangeKind kind, int nItem, const CharItemTable& before, const CharItemTable& after,
                          bool extendLast)
{
    Step step{kind, nItem, before, after};
    if (extendLast && !undo.empty() && undo.back().kind == kind && undo.back().nItem == nItem) {
        step.before = undo.back().before;
        undo.pop_back();
    }
    // A change that changed nothing (a name confirmed as it was) is nothing to undo.
    CharItemTable probe = after;
    if (!apply(step, probe, true).Any())
        return;
    undo.push_back(std::move(step));
    if (undo.size() > MaxSteps)
        undo.pop_front();
    redo.clear();
}

BoardTouched BoardHistory::Undo(CharItemTable& items)
{
    if (undo.empty())
        return {};
    Step step = std::move(undo.back());
    undo.pop_back();
    const BoardTouched touched = apply(step, items, true);
    redo.push_back(std::move(step));
    return touched;
}

BoardTouched BoardHistory::Redo(CharItemTable& items)
{
    if (redo.empty())
        return {};
    Step step = std::move(redo.back());
    redo.pop_back();
    const BoardTouched touched = apply(step, items, false);
    undo.push_back(std::move(step));
    return touched;
}

void BoardHistory::Clear()
{
    undo.clear();
    redo.clear();
}

BoardTouched BoardHistory::apply(const Step& step, CharItemTable& items, bool back)
{
    const CharItemTable& from = back ? step.after : step.before;
    const CharItemTable& to = back ? step.before : step.after;
    BoardTouched touched;
    for (int i = 0; i < CharItemCount; ++i) {
        const bool mine = step.kind == BoardChangeKind::Load || step.nItem == i;
        if (!mine)
            continue;
        CharItem& item = items[i];
        const bool position = step.kind != BoardChangeKind::Rename;
        const bool name = step.kind != BoardChangeKind::Move;
        // Only what is still as this step left it goes back: a peer's later change stays.
        if (position && SamePosition(item, from[i]) && !SamePosition(item, to[i])) {
            item.nX = to[i].nX;
            item.nY = to[i].nY;
            touched.positions.set(i);
        }
        if (name && item.Name == from[i].Name && item.Name != to[i].Name) {
            item.Name = to[i].Name;
            touched.names.set(i);
        }
    }
    return touched;
}
