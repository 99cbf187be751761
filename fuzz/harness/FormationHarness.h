#pragma once
// One fuzz input through the readers of kept and pasted formations. Shared by
// the libFuzzer target and the replay test.
//
// Input: byte 0 even: the rest is a formation file; odd: the rest is text
// pasted from the clipboard. Checks: what is read keeps every marker on the
// pitch with a name a name line can carry; a file keeps at most its limit of
// formations with valid, distinct titles, and what was read, written out and
// read again, is the same and no longer damaged; a paste that applies nothing
// leaves the board as it was, and the pasted board copied and pasted again
// gives the same board.

#include "BoardLines.h"
#include "BoardLineHarness.h"
#include "FormationFile.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace kvfuzz {

namespace formation {

inline bool Readable(const CharItemTable& items)
{
    for (const CharItem& item : items)
        if (!boardline::OnPitchWithSendableName(item))
            return false;
    return true;
}

inline std::string RunFile(std::string_view bytes)
{
    const FormationFileContents read = ParseFormationFile(bytes);
    if (read.Formations.size() > MaxFormations)
        return "more formations kept than the file may hold";
    std::set<std::string> titles;
    for (const SavedFormation& f : read.Formations) {
        if (!IsValidFormationTitle(f.Title) || !titles.insert(f.Title).second)
            return "a formation kept with an invalid or repeated title";
        if (!Readable(f.Items))
            return "a kept formation has a marker off the pitch or a name no line can carry";
    }
    const std::string written = FormatFormationFile(read.Formations);
    const FormationFileContents again = ParseFormationFile(written);
    if (again.Damaged)
        return "a file the program wrote reads as damaged";
    if (again.Formations.size() != read.Formations.size())
        return "formations were lost between writing and reading";
    for (std::size_t k = 0; k < read.Formations.size(); ++k) {
        if (again.Formations[k].Title != read.Formations[k].Title
            || !boardline::SameBoard(again.Formations[k].Items, read.Formations[k].Items))
            return "a formation read back differs from the one written";
    }
    if (FormatFormationFile(again.Formations) != written)
        return "writing the file again changed its bytes";
    return {};
}

inline std::string RunPaste(std::string_view text)
{
    CharItemTable items;
    ResetCharItems(items, 200, 300);
    const CharItemTable before = items;
    const bool applied = ApplyBoardCopyText(items, text);
    if (!applied && !boardline::SameBoard(items, before))
        return "a paste that applied nothing changed the board";
    if (!Readable(items))
        return "a paste left a marker off the pitch or a name no line can carry";
    CharItemTable copy;
    ResetCharItems(copy, 200, 300);
    ApplyBoardCopyText(copy, BuildBoardCopyText(items));
    if (!boardline::SameBoard(items, copy))
        return "the pasted board, copied and pasted again, differs";
    return {};
}

} // namespace formation

inline std::string RunFormations(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return {};
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    return (data[0] & 1) == 0 ? formation::RunFile(rest) : formation::RunPaste(rest);
}

} // namespace kvfuzz
