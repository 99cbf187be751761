#pragma once
// Tab completion of member names in the chat input. The word before the cursor
// is matched against the start of each name the way the log search matches
// (case and width ignored), and hiragana also match katakana: an input method
// gives た before it gives タ. Texts are UTF-8; cursors are byte offsets.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The log search's fold with hiragana turned into katakana: two texts that
// compare equal here are the same name to someone typing it.
std::string CompletionKey(std::string_view utf8);

// The input after a step: Text with the cursor after the name. The step
// replaced the bytes from Start up to the cursor it was given with Name.
struct CompletedInput {
    std::string Text;
    std::size_t Cursor = 0;
    std::size_t Start = 0;
    std::string Name;
};

class NameCompleter {
public:
    // One press of Tab (forward) or Shift+Tab. When text and cursor are what the
    // previous step left, it moves to the next or previous candidate; otherwise
    // it starts over with the word before the cursor, in the order of names.
    // Returns nothing, and forgets the cycle, when no name fits.
    std::optional<CompletedInput> Step(std::string_view text, std::size_t cursor,
                                       const std::vector<std::string>& names, bool forward);
    // What the input shows after the last step, when it took less than the
    // whole name (a byte limit, a character it cannot hold): the next press
    // goes on with the cycle from there.
    void Landed(std::string_view text, std::size_t cursor);

private:
    CompletedInput fill(std::size_t index);

    std::string head_;   // the text before the word
    std::string tail_;   // the text after the cursor
    std::vector<std::string> names_;   // the members the cycle was taken from
    std::vector<std::string> candidates_;
    std::size_t index_ = 0;
    std::optional<CompletedInput> left_;   // what the last step put in the input
};
