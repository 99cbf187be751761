#pragma once
// Finding text in chat lines the way Japanese users expect: letters match
// regardless of case (full Unicode case folding: Ω/ω, ß/ss), full-width and
// half-width forms match each other (Ａ/A, ｱ/ア, ｶﾞ/ガ, ￠/¢, the ideographic
// blank/the ASCII blank), and so do the look-alikes that CP932 reads back as
// another character (〜/～, −/－, —/―, ‖/∥). Texts are UTF-8. This is the one
// fold of the program: every search and match of user text goes through it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A text brought to the one form that matching compares, with the way back to
// the source: Origin[i] is the byte offset in the source of the character that
// produced folded byte i; Origin[Text.size()] is the source's length.
struct FoldedText {
    std::string Text;
    std::vector<std::uint32_t> Origin;
};

// Replaces out's content. Bytes that are not valid UTF-8 are kept as they are.
// A character may fold to several (ß to ss): the folded text can be longer.
void FoldForMatch(std::string_view utf8, FoldedText& out);
// The folded text alone, for a yes-or-no match.
void FoldForMatch(std::string_view utf8, std::string& out);
std::string FoldForMatch(std::string_view utf8);

// Calls each(raw, folded) for every character, and every half-width kana with
// its voiced mark, that the fold changes: with what folds to itself, these are
// all the ways a text can come to hold a folded character.
void ForEachFoldChange(const std::function<void(std::string_view raw, std::string_view folded)>& each);

// A match inside one line, as byte offsets [Begin, End) into that line's UTF-8 text.
struct TextMatch {
    std::size_t Line = 0;
    std::uint32_t Begin = 0;
    std::uint32_t End = 0;
    bool operator==(const TextMatch&) const = default;
};

// Matches cover whole characters of the line: "s" does not match half of "ß".
class TextSearch {
public:
    explicit TextSearch(std::string_view needleUtf8 = {});
    // Searches for another needle; the scratch memory is kept.
    void SetNeedle(std::string_view needleUtf8);

    // True when the needle folds to nothing: it matches nowhere.
    bool Empty() const { return Needle.empty(); }

    // Appends the non-overlapping matches in one line, left to right.
    void FindInLine(std::string_view lineUtf8, std::size_t lineIndex, std::vector<TextMatch>& out);
    // How many FindInLine would append, without recording them.
    std::size_t CountInLine(std::string_view lineUtf8);

    // Every match in lines 0..lineCount-1, in order; lineAt gives a line's text.
    std::vector<TextMatch> FindAll(std::size_t lineCount,
                                   const std::function<std::string_view(std::size_t)>& lineAt);

private:
    // Calls found(begin, end) for each match, with byte offsets into the line.
    template <typename Found>
    void Scan(std::string_view lineUtf8, Found&& found);

    std::string Needle;
    bool WholeCharacters = true;   // the needle is valid UTF-8
    FoldedText Scratch;   // reused, so a search over many lines allocates once
};

// The number of UTF-16 code units that the first utf8Bytes bytes of a text take,
// for positions in toolkit strings.
std::size_t Utf16Length(std::string_view utf8);
