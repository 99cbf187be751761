#pragma once
// Web addresses inside chat lines. Only http:// and https:// addresses are
// found: chat text comes from other people, and no other scheme may ever be
// offered for opening.

#include <cstddef>
#include <string_view>
#include <vector>

struct TextSpan {
    std::size_t Begin = 0;   // byte offsets [Begin, End) into the text
    std::size_t End = 0;
    bool operator==(const TextSpan&) const = default;
};

// The addresses in a UTF-8 line, left to right. An address ends before a blank,
// a control code, any non-ASCII character (Japanese text often follows an
// address directly), a quote or angle bracket, and it does not take trailing
// punctuation or a closing bracket that it did not open.
std::vector<TextSpan> FindLinks(std::string_view utf8);
