#pragma once
// Moving text between std::string / QByteArray and the protocol's fixed NUL-terminated fields.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

// Copies at most N-1 bytes (cut at byte level, like the codec) and terminates.
template <std::size_t N>
void CopyText(char (&field)[N], std::string_view text)
{
    const std::size_t n = std::min(text.size(), N - 1);
    if (n > 0)   // an empty view may carry a null pointer, which memcpy must not see
        std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// The text of a field, up to its NUL.
template <std::size_t N>
std::string_view FieldText(const char (&field)[N])
{
    return std::string_view(field, strnlen(field, N));
}
