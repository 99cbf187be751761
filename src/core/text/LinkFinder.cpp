#include "LinkFinder.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<std::string_view, 2> Schemes = {"http://", "https://"};

bool EqualsIgnoringCase(std::string_view text, std::string_view lowerWord)
{
    if (text.size() != lowerWord.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerWord[i])
            return false;
    }
    return true;
}

bool IsAsciiAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool EndsAddress(char c)
{
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b >= 0x7F)
        return true;
    return std::string_view("\"'<>`{}|\\^").find(c) != std::string_view::npos;
}

// The scheme's length when an address starts at pos, else 0.
std::size_t SchemeAt(std::string_view text, std::size_t pos)
{
    // "xhttp://" is not an address that starts at "http".
    if (pos > 0 && IsAsciiAlnum(text[pos - 1]))
        return 0;
    for (const std::string_view scheme : Schemes) {
        if (EqualsIgnoringCase(text.substr(pos, scheme.size()), scheme))
            return scheme.size();
    }
    return 0;
}

// Drops trailing punctuation, and closing brackets without their opening one.
std::size_t TrimEnd(std::string_view address)
{
    std::size_t end = address.size();
    while (end > 0) {
        const char c = address[end - 1];
        if (std::string_view(".,;:!?*").find(c) != std::string_view::npos) {
            --end;
            continue;
        }
        const char open = c == ')' ? '(' : c == ']' ? '[' : 0;
        if (open == 0)
            break;
        const std::string_view kept = address.substr(0, end);
        std::size_t opens = 0;
        std::size_t closes = 0;
        for (const char k : kept) {
            opens += k == open;
            closes += k == c;
        }
        if (closes <= opens)
            break;
        --end;
    }
    return end;
}

}  // namespace

std::vector<TextSpan> FindLinks(std::string_view utf8)
{
    std::vector<TextSpan> links;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t found = utf8.find("://", pos);
        if (found == std::string_view::npos)
            break;
        // The scheme stands just before "://": try both lengths.
        std::size_t begin = std::string_view::npos;
        for (const std::string_view scheme : Schemes) {
            const std::size_t nameLength = scheme.size() - 3;
            if (found >= nameLength && SchemeAt(utf8, found - nameLength) == scheme.size()) {
                begin = found - nameLength;
                break;
            }
        }
        const std::size_t hostStart = found + 3;
        if (begin == std::string_view::npos) {
            pos = hostStart;
            continue;
        }
        std::size_t end = hostStart;
        while (end < utf8.size() && !EndsAddress(utf8[end]))
            ++end;
        end = begin + TrimEnd(utf8.substr(begin, end - begin));
        // Nothing after the scheme, or only punctuation: not an address.
        if (end > hostStart && IsAsciiAlnum(utf8[hostStart]))
            links.push_back({begin, end});
        pos = std::max(end, hostStart);
    }
    return links;
}
