#include "TextRules.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::uint16_t IdeographicSpace = 0x8140;

constexpr std::array<std::uint16_t, 8> RefusedSigns = {
    0x20, '"', '\'', ',', '.', '<', '>', '\\',
};

bool IsRefusedInName(std::uint16_t code)
{
    if (code < 0x20 || code == IdeographicSpace)
        return true;
    // Unpaired bytes of 0x80 and above: a lone lead byte or 0xFF.
    if (code >= 0x80 && code <= 0xFF)
        return true;
    return std::find(RefusedSigns.begin(), RefusedSigns.end(), code) != RefusedSigns.end();
}

bool IsAsciiAlphanumeric(std::uint16_t code)
{
    return (code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z') ||
           (code >= 'a' && code <= 'z');
}

// Calls accept for each character code of text; stops and returns false as
// soon as accept does.
template <typename Accept>
bool AllChars(std::string_view text, Accept accept)
{
    int remaining = static_cast<int>(text.size());
    std::uint16_t code = 0;
    for (const char* p = NextChar(text.data(), code, remaining); p != nullptr;
         p = NextChar(p, code, remaining)) {
        if (!accept(code))
            return false;
    }
    return true;
}

}  // namespace

bool IsLeadByte(unsigned char b)
{
    return b >= 0x80 && b <= 0xFE;
}

bool IsTrailByte(unsigned char b)
{
    return b >= 0x20;
}

const char* NextChar(const char* p, std::uint16_t& code, int& remaining)
{
    if (remaining <= 0)
        return nullptr;
    const auto first = static_cast<unsigned char>(p[0]);
    if (remaining >= 2 && IsLeadByte(first) && IsTrailByte(static_cast<unsigned char>(p[1]))) {
        code = static_cast<std::uint16_t>(first * 256 + static_cast<unsigned char>(p[1]));
        remaining -= 2;
        return p + 2;
    }
    code = first;
    remaining -= 1;
    return p + 1;
}

bool IsValidName(std::string_view text)
{
    if (text.empty())
        return false;
    return AllChars(text, [](std::uint16_t code) { return !IsRefusedInName(code); });
}

bool IsValidPassword(std::string_view text)
{
    return AllChars(text, IsAsciiAlphanumeric);
}

std::size_t CharBoundaryPrefix(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text.size();
    int remaining = static_cast<int>(text.size());
    std::uint16_t code = 0;
    std::size_t length = 0;
    for (const char* p = NextChar(text.data(), code, remaining); p != nullptr;
         p = NextChar(p, code, remaining)) {
        const auto end = static_cast<std::size_t>(p - text.data());
        if (end > maxBytes)
            break;
        length = end;
    }
    return length;
}
