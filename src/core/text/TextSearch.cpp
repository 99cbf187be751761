#include "TextSearch.h"

#include "CaseFoldTable.h"

#include <algorithm>
#include <array>

namespace {

// Full-width katakana for the half-width forms U+FF61..U+FF9F.
constexpr std::array<char16_t, 63> HalfWidthKana = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
    0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,
    0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9,
    0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C,
};
constexpr char32_t HalfVoicedMark = 0xFF9E;
constexpr char32_t HalfSemiVoicedMark = 0xFF9F;

bool IsHaRow(char32_t c)
{
    return c == 0x30CF || c == 0x30D2 || c == 0x30D5 || c == 0x30D8 || c == 0x30DB;
}

// The kana with the voiced mark, or 0 when the kana has no such form.
char32_t Voiced(char32_t c)
{
    if (c == 0x30A6)
        return 0x30F4;   // ヴ
    if ((c >= 0x30AB && c <= 0x30C2 && (c - 0x30AB) % 2 == 0) || c == 0x30C4 || c == 0x30C6 ||
        c == 0x30C8 || IsHaRow(c))
        return c + 1;
    return 0;
}

char32_t SemiVoiced(char32_t c) { return IsHaRow(c) ? c + 2 : 0; }

// Decodes one character at text[pos]; returns its length in bytes, 0 when the
// byte does not start a valid sequence.
std::size_t Decode(std::string_view text, std::size_t pos, char32_t& c)
{
    const auto b0 = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    if (b0 < 0x80) {
        c = b0;
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        c = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        c = b0 & 0x07;
    } else {
        return 0;
    }
    if (pos + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(text[pos + i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (b & 0x3F);
    }
    // Overlong forms and surrogates are not characters.
    if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

// Appends c as UTF-8 to text, and its origin for each byte when origins is given.
void Encode(char32_t c, std::uint32_t origin, std::string& text, std::vector<std::uint32_t>* origins)
{
    std::array<char, 4> bytes{};
    std::size_t n = 0;
    if (c < 0x80) {
        bytes[n++] = static_cast<char>(c);
    } else if (c < 0x800) {
        bytes[n++] = static_cast<char>(0xC0 | (c >> 6));
        bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        bytes[n++] = static_cast<char>(0xE0 | (c >> 12));
        bytes[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        bytes[n++] = static_cast<char>(0xF0 | (c >> 18));
        bytes[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        bytes[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
    }
    text.append(bytes.data(), n);
    if (origins != nullptr)
        origins->insert(origins->end(), n, origin);
}

char32_t LowerAscii(char32_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// Characters that Shift_JIS text elsewhere writes with a different code than
// CP932 reads back (a wave dash typed here comes back from the wire as a
// fullwidth tilde): each is taken as what CP932 gives.
char32_t Cp932LookAlike(char32_t c)
{
    switch (c) {
    case 0x301C: return 0xFF5E;   // 〜 wave dash: ～
    case 0x2212: return 0xFF0D;   // − minus sign: －
    case 0x2014: return 0x2015;   // — em dash: ―
    case 0x2016: return 0x2225;   // ‖ double vertical line: ∥
    default: return c;
    }
}

// Narrow forms of the fullwidth signs U+FFE0..U+FFE6 (￠ ￡ ￢ ￣ ￤ ￥ ￦).
constexpr std::array<char32_t, 7> FullWidthSigns = {0x00A2, 0x00A3, 0x00AC, 0x00AF, 0x00A6, 0x00A5, 0x20A9};

// Appends c's full case folding (one to three characters), or c itself; true
// when c became several characters.
bool AppendCaseFolded(char32_t c, std::uint32_t origin, std::string& out, std::vector<std::uint32_t>* origins)
{
    // Scripts without case (kana, kanji, hangul) skip the table.
    const bool caseless = (c >= 0x2D30 && c < 0xA640) || (c >= 0xABC0 && c < 0xFB00);
    if (!caseless) {
        const auto entry = std::lower_bound(CaseFoldTable.begin(), CaseFoldTable.end(), c,
                                            [](const CaseFoldEntry& e, char32_t key) { return e.From < key; });
        if (entry != CaseFoldTable.end() && entry->From == c) {
            for (const char32_t to : entry->To) {
                if (to != 0)
                    Encode(to, origin, out, origins);
            }
            return entry->To[1] != 0;
        }
    }
    Encode(c, origin, out, origins);
    return false;
}

// The fold itself; origins, when given, receives each folded byte's source offset.
// True when a character became several (ß: ss).
bool Fold(std::string_view utf8, std::string& out, std::vector<std::uint32_t>* origins)
{
    bool expanded = false;
    out.clear();
    if (origins != nullptr)
        origins->clear();
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto origin = static_cast<std::uint32_t>(pos);
        const auto b = static_cast<unsigned char>(utf8[pos]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(LowerAscii(b)));
            if (origins != nullptr)
                origins->push_back(origin);
            ++pos;
            continue;
        }
        char32_t c = 0;
        const std::size_t length = Decode(utf8, pos, c);
        if (length == 0) {
            out.push_back(static_cast<char>(b));
            if (origins != nullptr)
                origins->push_back(origin);
            ++pos;
            continue;
        }
        pos += length;
        c = Cp932LookAlike(c);
        if (c == 0x3000) {
            c = ' ';
        } else if (c >= 0xFF01 && c <= 0xFF5E) {
            c -= 0xFEE0;
        } else if (c >= 0xFFE0 && c <= 0xFFE6) {
            c = FullWidthSigns[c - 0xFFE0];
        } else if (c >= 0xFF61 && c <= 0xFF9F) {
            c = HalfWidthKana[c - 0xFF61];
            // A half-width voiced mark is a character of its own; it joins the kana before it.
            char32_t mark = 0;
            if (pos < utf8.size() && Decode(utf8, pos, mark) == 3) {
                const char32_t joined = mark == HalfVoicedMark       ? Voiced(c)
                                        : mark == HalfSemiVoicedMark ? SemiVoiced(c)
                                                                     : 0;
                if (joined != 0) {
                    c = joined;
                    pos += 3;
                }
            }
        }
        if (c < 0x80)
            Encode(LowerAscii(c), origin, out, origins);
        else if (AppendCaseFolded(c, origin, out, origins))
            expanded = true;
    }
    if (origins != nullptr)
        origins->push_back(static_cast<std::uint32_t>(utf8.size()));
    return expanded;
}

bool IsValidUtf8(std::string_view text)
{
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t c = 0;
        const std::size_t length = Decode(text, pos, c);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

// The next place of needle in text from byte from on. Matches side by side
// ("wwww") are common, so the place right at from is tried first.
std::size_t FindNext(std::string_view text, std::string_view needle, std::size_t from)
{
    if (from < text.size() && text.size() - from >= needle.size()) {
        std::size_t same = 0;
        while (same < needle.size() && text[from + same] == needle[same])
            ++same;
        if (same == needle.size())
            return from;
    }
    return text.find(needle, from + 1);
}

}  // namespace

void FoldForMatch(std::string_view utf8, FoldedText& out)
{
    Fold(utf8, out.Text, &out.Origin);
}

void FoldForMatch(std::string_view utf8, std::string& out)
{
    Fold(utf8, out, nullptr);
}

std::string FoldForMatch(std::string_view utf8)
{
    std::string folded;
    FoldForMatch(utf8, folded);
    return folded;
}

void ForEachFoldChange(const std::function<void(std::string_view raw, std::string_view folded)>& each)
{
    std::string raw;
    std::string folded;
    const auto tryRaw = [&](char32_t c, char32_t mark) {
        raw.clear();
        Encode(c, 0, raw, nullptr);
        if (mark != 0)
            Encode(mark, 0, raw, nullptr);
        Fold(raw, folded, nullptr);
        if (folded != raw)
            each(raw, folded);
    };
    // Only these are changed by Fold: ASCII capitals, the case table, the
    // look-alikes, the ideographic blank and the fullwidth and half-width forms.
    for (char32_t c = 'A'; c <= 'Z'; ++c)
        tryRaw(c, 0);
    for (const CaseFoldEntry& entry : CaseFoldTable) {
        if (entry.From >= 0x80)
            tryRaw(entry.From, 0);
    }
    for (const char32_t c : {char32_t(0x301C), char32_t(0x2212), char32_t(0x2014), char32_t(0x2016), char32_t(0x3000)})
        tryRaw(c, 0);
    for (char32_t c = 0xFF01; c <= 0xFF5E; ++c)
        tryRaw(c, 0);
    for (char32_t c = 0xFFE0; c <= 0xFFE6; ++c)
        tryRaw(c, 0);
    for (char32_t c = 0xFF61; c <= 0xFF9F; ++c) {
        tryRaw(c, 0);
        for (const char32_t mark : {HalfVoicedMark, HalfSemiVoicedMark}) {
            char32_t joined = 0;
            const char32_t kana = HalfWidthKana[c - 0xFF61];
            joined = mark == HalfVoicedMark ? Voiced(kana) : SemiVoiced(kana);
            if (joined != 0)
                tryRaw(c, mark);
        }
    }
}

TextSearch::TextSearch(std::string_view needleUtf8)
{
    SetNeedle(needleUtf8);
}

void TextSearch::SetNeedle(std::string_view needleUtf8)
{
    FoldForMatch(needleUtf8, Needle);
    WholeCharacters = IsValidUtf8(needleUtf8);
}

template <typename Found>
void TextSearch::Scan(std::string_view lineUtf8, Found&& found)
{
    if (Needle.empty())
        return;
    FoldForMatch(lineUtf8, Scratch);
    const std::string_view folded(Scratch.Text);
    const std::vector<std::uint32_t>& origin = Scratch.Origin;
    std::size_t at = folded.find(Needle);
    while (at != std::string_view::npos) {
        const std::size_t end = at + Needle.size();
        // Bytes folded from one character share its origin: a match must start
        // and end where the line's characters do.
        if ((at == 0 || origin[at - 1] != origin[at]) && origin[end] != origin[end - 1]) {
            found(origin[at], origin[end]);
            at = FindNext(folded, Needle, end);
        } else {
            at = folded.find(Needle, at + 1);
        }
    }
}

void TextSearch::FindInLine(std::string_view lineUtf8, std::size_t lineIndex, std::vector<TextMatch>& out)
{
    Scan(lineUtf8, [&](std::uint32_t begin, std::uint32_t end) { out.push_back({lineIndex, begin, end}); });
}

std::size_t TextSearch::CountInLine(std::string_view lineUtf8)
{
    std::size_t count = 0;
    if (Needle.empty())
        return count;
    // Where no character of the line became several, a needle of whole
    // characters can only match whole characters: no origins are needed.
    if (WholeCharacters && !Fold(lineUtf8, Scratch.Text, nullptr)) {
        const std::string_view folded(Scratch.Text);
        if (Needle.size() == 1)   // the first keystroke, and the one with the most matches
            return static_cast<std::size_t>(std::count(folded.begin(), folded.end(), Needle[0]));
        for (std::size_t at = folded.find(Needle); at != std::string_view::npos;
             at = FindNext(folded, Needle, at + Needle.size()))
            ++count;
        return count;
    }
    Scan(lineUtf8, [&](std::uint32_t, std::uint32_t) { ++count; });
    return count;
}

std::vector<TextMatch> TextSearch::FindAll(std::size_t lineCount,
                                           const std::function<std::string_view(std::size_t)>& lineAt)
{
    std::vector<TextMatch> matches;
    for (std::size_t i = 0; i < lineCount; ++i)
        FindInLine(lineAt(i), i, matches);
    return matches;
}

std::size_t Utf16Length(std::string_view utf8)
{
    std::size_t units = 0;
    for (const char ch : utf8) {
        const auto b = static_cast<unsigned char>(ch);
        if ((b & 0xC0) != 0x80)
            ++units;
        if (b >= 0xF0)
            ++units;   // outside the basic plane: a surrogate pair
    }
    return units;
}
