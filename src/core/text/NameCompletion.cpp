#include "NameCompletion.h"

#include "TextSearch.h"

#include <algorithm>

namespace {

// Hiragana U+3041..U+3096 and the iteration marks U+309D, U+309E sit 0x60 below
// their katakana. In UTF-8 they are E3 81 81..E3 82 9E.
bool ToKatakana(char32_t& c)
{
    if ((c >= 0x3041 && c <= 0x3096) || c == 0x309D || c == 0x309E) {
        c += 0x60;
        return true;
    }
    return false;
}

// The blanks that end a word: ASCII and the ideographic blank.
std::size_t WordStart(std::string_view text, std::size_t cursor)
{
    std::size_t start = cursor;
    while (start > 0) {
        if (text[start - 1] == ' ' || text[start - 1] == '\t')
            break;
        if (start >= 3 && text.substr(start - 3, 3) == "\xE3\x80\x80")
            break;
        --start;
    }
    return start;
}

}  // namespace

std::string CompletionKey(std::string_view utf8)
{
    std::string key = FoldForMatch(utf8);
    // Kana are three bytes long in both forms, so the text is rewritten in place.
    for (std::size_t i = 0; i + 2 < key.size(); ++i) {
        if (key[i] != '\xE3')
            continue;
        const auto b1 = static_cast<unsigned char>(key[i + 1]);
        const auto b2 = static_cast<unsigned char>(key[i + 2]);
        if ((b1 & 0xC0) != 0x80 || (b2 & 0xC0) != 0x80)
            continue;
        char32_t c = 0x3000 | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
        if (!ToKatakana(c))
            continue;
        key[i + 1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        key[i + 2] = static_cast<char>(0x80 | (c & 0x3F));
        i += 2;
    }
    return key;
}

std::optional<CompletedInput> NameCompleter::Step(std::string_view text, std::size_t cursor,
                                                  const std::vector<std::string>& names, bool forward)
{
    cursor = std::min(cursor, text.size());
    // A member who left, or another room, must not be offered by a cycle begun before.
    if (left_ && left_->Text == text && left_->Cursor == cursor && !candidates_.empty() && names == names_) {
        const std::size_t count = candidates_.size();
        index_ = forward ? (index_ + 1) % count : (index_ + count - 1) % count;
        return fill(index_);
    }
    left_.reset();
    candidates_.clear();
    const std::size_t start = WordStart(text, cursor);
    const std::string word = CompletionKey(text.substr(start, cursor - start));
    if (word.empty())
        return std::nullopt;
    for (const std::string& name : names) {
        if (CompletionKey(name).starts_with(word))
            candidates_.push_back(name);
    }
    if (candidates_.empty())
        return std::nullopt;
    names_ = names;
    head_ = text.substr(0, start);
    tail_ = text.substr(cursor);
    index_ = forward ? 0 : candidates_.size() - 1;
    return fill(index_);
}

CompletedInput NameCompleter::fill(std::size_t index)
{
    CompletedInput input;
    input.Start = head_.size();
    input.Name = candidates_[index];
    input.Text = head_ + input.Name;
    input.Cursor = input.Text.size();
    input.Text += tail_;
    left_ = input;
    return input;
}

void NameCompleter::Landed(std::string_view text, std::size_t cursor)
{
    if (!left_)
        return;
    left_->Text = text;
    left_->Cursor = std::min(cursor, text.size());
}
