#pragma once
// Conversion between UTF-8 and Shift-JIS as Windows code page 932 defines it.
// Everything the program stores or sends is CP932; only the GUI speaks UTF-8.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace cp932 {

// Never fails: each byte that does not start a valid character becomes U+FFFD
// and decoding goes on with the byte after it.
std::string ToUtf8(std::string_view sjis);

// nullopt when the text is not valid UTF-8 or holds a character without a CP932
// code. Characters with two codes get the one Windows writes.
std::optional<std::string> FromUtf8(std::string_view utf8);

bool CanEncode(std::string_view utf8);

// The number of CP932 bytes the text takes; nullopt if it cannot be encoded.
std::optional<std::size_t> ByteLength(std::string_view utf8);

}  // namespace cp932
