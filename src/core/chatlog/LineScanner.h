#pragma once
// Finding the lines of a log that may hold a query before any line is folded:
// every line the query matches holds one raw form of each of its characters
// (each byte string that folds to the character), so only lines that hold one
// raw form of a chosen character are folded and matched.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace chatlog {

// The raw forms of the character at byte `at` of a folded query: what folds to
// it alone, and what folds to several characters of the query that include it
// (ß for either s of "ss"). None when the query is not UTF-8.
std::vector<std::string> RawFormsAt(std::string_view foldedQuery, std::size_t at);

// The raw forms of two characters side by side, from the raw forms of each
// (RawFormsAt): rarer than either alone. None when a form of either folds to
// more than its character (ß for an s of "ss"): then the pair is no sure anchor.
std::vector<std::string> RawFormsOfPair(std::string_view first, const std::vector<std::string>& firsts,
                                        std::string_view second, const std::vector<std::string>& seconds);

// Finds the first place of any of a few short byte strings, in one pass over
// the text whatever their number.
class FormScanner {
public:
    void SetForms(std::vector<std::string> forms);
    bool Empty() const { return forms_.empty(); }
    // How many cheap tests each place costs (what a scan costs, besides its lines).
    std::size_t Probes() const { return probes_.size(); }
    // Where the first of the forms starts at or after from; npos when none does.
    std::size_t Next(std::string_view text, std::size_t from) const;
    // How many lines of text hold a form (to choose the rarest character).
    std::size_t CountLines(std::string_view text) const;

private:
    bool FormAt(std::string_view text, std::size_t at) const;
    // From at on, 32 places at a time: true with at on a place, or false with at where it stopped.
    bool NextWide(std::string_view text, std::size_t& at) const;

    // A cheap test of a place: its first byte and the last byte of the form
    // (both compared with bit 0x20 set when the form's case does not matter there).
    struct Probe {
        std::uint8_t First = 0, Last = 0, FirstOr = 0, LastOr = 0;
        std::uint8_t Length = 0;
    };
    std::vector<std::string> forms_;
    std::vector<Probe> probes_;
    std::size_t longest_ = 0;
    bool firstByte_[256] = {};
    bool wide_ = false;   // the processor has 32-byte compares
};

}  // namespace chatlog
