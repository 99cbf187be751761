#pragma once
// Filling the fixed text fields of protocol records from longer CP932 texts.

#include "TextRules.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

// Copies at most max bytes of text into a NUL-terminated record field, cutting
// before a double-byte character rather than sending half of one.
template <std::size_t N>
void CopyToField(char (&field)[N], std::string_view text, std::size_t max)
{
    const std::size_t n = CharBoundaryPrefix(text, std::min(max, N - 1));
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}
