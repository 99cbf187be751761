#pragma once
// The double-byte-aware walk over Shift-JIS text and the rules for names and
// passwords built on it.

#include <cstddef>
#include <cstdint>
#include <string_view>

bool IsLeadByte(unsigned char b);
bool IsTrailByte(unsigned char b);

// Reads one character at p: code receives it (a pair as first * 256 + second),
// remaining counts the bytes left and is reduced by the bytes read. Returns the
// position after the character, or nullptr when remaining is 0.
const char* NextChar(const char* p, std::uint16_t& code, int& remaining);

// User and room names: non-empty, no blanks, control codes or the signs
// " ' , . < > \, and no byte of 0x80 or above that does not form a pair.
bool IsValidName(std::string_view text);

// Room passwords: empty, or ASCII letters and digits only.
bool IsValidPassword(std::string_view text);

// The length of the longest prefix of at most maxBytes bytes that does not cut
// a character of the walk in two.
std::size_t CharBoundaryPrefix(std::string_view text, std::size_t maxBytes);
