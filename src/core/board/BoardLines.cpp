#include "BoardLines.h"

#include "TextRules.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

constexpr std::string_view CopyTextHeading =
    // "※下記の2行をチャットに入力すると初期フォーメーションを設定できます。1行ずつ分けて送信してください"
    "\x81\xa6\x89\xba\x8b\x4c\x82\xcc\x32\x8d\x73\x82\xf0\x83\x60\x83\x83\x83\x62\x83\x67\x82\xc9\x93"
    "\xfc\x97\xcd\x82\xb7\x82\xe9\x82\xc6\x8f\x89\x8a\xfa\x83\x74\x83\x48\x81\x5b\x83\x81\x81\x5b\x83"
    "\x56\x83\x87\x83\x93\x82\xf0\x90\xdd\x92\xe8\x82\xc5\x82\xab\x82\xdc\x82\xb7\x81\x42\x31\x8d\x73"
    "\x82\xb8\x82\xc2\x95\xaa\x82\xaf\x82\xc4\x91\x97\x90\x4d\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3"
    "\x82\xa2";

constexpr int PositionItemBytes = 5;

// Bytes are read as signed 8-bit values, so any byte of 0x80 and above is
// negative and fails every range check below.
int SignedByte(char c) { return static_cast<signed char>(c); }

int LetterIndex(char c)
{
    const int i = SignedByte(c) - 'A';
    return (i >= 0 && i < CharItemCount) ? i : -1;
}

// Two bytes read as decimal digits by arithmetic alone: "0:" reads as 10.
int TwoDigits(char tens, char units)
{
    return 10 * (SignedByte(tens) - '0') + (SignedByte(units) - '0');
}

BoardItemsResult ParsePositions(CharItemTable& items, std::string_view rest)
{
    BoardItemsResult result;
    while (rest.size() >= PositionItemBytes) {
        const int i = LetterIndex(rest[0]);
        if (i < 0)
            break;
        const int x = TwoDigits(rest[1], rest[2]);
        if (x < 0 || x > 99)
            break;
        const int y = TwoDigits(rest[3], rest[4]);
        if (y < 0 || y > 99)
            break;
        items[i].nX = x;
        items[i].nY = y;
        result.Add(i);
        rest.remove_prefix(PositionItemBytes);
    }
    result.complete = rest.empty();
    return result;
}

bool IsNameByte(char c) { return static_cast<unsigned char>(c) > 0x20; }

BoardItemsResult ParseNames(CharItemTable& items, std::string_view rest)
{
    BoardItemsResult result;
    while (rest.size() >= 2) {
        const int i = LetterIndex(rest[0]);
        if (i < 0)
            break;
        rest.remove_prefix(1);
        std::size_t nameLength = 0;
        while (nameLength < rest.size() && IsNameByte(rest[nameLength]))
            ++nameLength;
        const std::string_view name = rest.substr(0, nameLength);
        items[i].Name.assign(name.substr(0, CharBoundaryPrefix(name, MaxBoardNameBytes)));
        result.Add(i);
        rest.remove_prefix(nameLength);
        while (!rest.empty() && rest.front() == ' ')
            rest.remove_prefix(1);
    }
    result.complete = rest.empty();
    return result;
}

}   // namespace

void AppendPosition(const CharItemTable& items, int nItem, std::string& Text, bool bPrefix)
{
    if (bPrefix)
        Text += PositionLinePrefix;
    Text += CharItemLetter(nItem);
    char digits[32];
    const int n = std::snprintf(digits, sizeof digits, "%02d%02d",
                                static_cast<int>(items[nItem].nX), static_cast<int>(items[nItem].nY));
    Text.append(digits, static_cast<std::size_t>(n));
}

void AppendAllPositions(const CharItemTable& items, std::string& Text)
{
    Text += PositionLinePrefix;
    for (int i = 0; i < CharItemCount; ++i)
        AppendPosition(items, i, Text, false);
}

void AppendName(const CharItemTable& items, int nItem, std::string& Text, bool bPrefix)
{
    if (bPrefix)
        Text += NameLinePrefix;
    Text += CharItemLetter(nItem);
    Text += items[nItem].Name;
    Text += ' ';
}

void AppendAllNames(const CharItemTable& items, std::string& Text)
{
    Text += NameLinePrefix;
    for (int i = 0; i < CharItemCount; ++i)
        AppendName(items, i, Text, false);
}

std::vector<std::string> NameLines(const CharItemTable& items, int first, int last)
{
    std::vector<std::string> lines;
    std::string line;
    for (int i = first; i <= last; ++i) {
        const std::string_view name = items[i].Name;
        const std::size_t nameBytes = CharBoundaryPrefix(name, MaxBoardNameBytes);
        // A letter alone at the line's end is not read: an empty name needs its blank.
        const std::size_t itemBytes = 1 + std::max<std::size_t>(nameBytes, 1);
        if (!line.empty() && line.size() + itemBytes > MaxBoardLineBytes)
            lines.push_back(std::exchange(line, {}));
        if (line.empty())
            line = NameLinePrefix;
        line += CharItemLetter(i);
        line += name.substr(0, nameBytes);
        // A full line ends the name with its own end.
        if (line.size() < MaxBoardLineBytes)
            line += ' ';
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    return lines;
}

std::vector<std::string> WholeFormationLines(const CharItemTable& items)
{
    std::vector<std::string> lines(1);
    AppendAllPositions(items, lines[0]);
    for (std::string& names : NameLines(items, 0, CharItemCount - 1))
        lines.push_back(std::move(names));
    return lines;
}

BoardLineResult ParseBoardLine(CharItemTable& items, int nRoomNo, int nRoom, std::string_view Text)
{
    Text = Text.substr(0, Text.find('\0'));
    const bool positions = Text.starts_with(PositionLinePrefix);
    if (!positions && !Text.starts_with(NameLinePrefix))
        return {};
    BoardLineResult result;
    result.isBoardLine = true;
    if (nRoomNo < 0 || nRoom != nRoomNo)
        return result;
    result.items = ApplyBoardLine(items, Text);
    result.applied = result.items.count > 0;
    return result;
}

BoardItemsResult ApplyBoardLine(CharItemTable& items, std::string_view Text)
{
    BoardItemsResult result;
    result.positions = Text.starts_with(PositionLinePrefix);
    if (!result.positions && !Text.starts_with(NameLinePrefix))
        return result;
    const std::string_view rest = Text.substr(PositionLinePrefix.size());
    const bool positions = result.positions;
    result = positions ? ParsePositions(items, rest) : ParseNames(items, rest);
    result.positions = positions;
    result.boardLine = true;
    return result;
}

bool ApplyBoardCopyText(CharItemTable& items, std::string_view Text)
{
    CharItemTable pasted = items;
    bool applied = false;
    while (!Text.empty()) {
        const std::size_t end = Text.find('\n');
        std::string_view line = Text.substr(0, end);
        Text.remove_prefix(end == std::string_view::npos ? Text.size() : end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        line = line.substr(0, line.find('\0'));
        applied = ApplyBoardLine(pasted, line).count > 0 || applied;
    }
    if (applied)
        items = std::move(pasted);
    return applied;
}

std::string BuildBoardCopyText(const CharItemTable& items)
{
    std::string text(CopyTextHeading);
    text += '\n';
    AppendAllPositions(items, text);
    text += '\n';
    AppendAllNames(items, text);
    text += '\n';
    return text;
}
