#include "LineScanner.h"

#include "TextSearch.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace chatlog {

namespace {

// The length of the UTF-8 character that starts with b; 0 when none does.
std::size_t CharLength(unsigned char b)
{
    return b < 0x80 ? 1 : b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
}

bool WholeCharacters(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = CharLength(static_cast<unsigned char>(text[i]));
        if (n == 0 || i + n > text.size())
            return false;
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += n;
    }
    return true;
}

// What the fold changes, listed once: by what a character folds to when that is
// one character, and apart those that fold to several.
struct FoldChangeIndex {
    std::unordered_map<std::string, std::vector<std::string>> ToOne;
    std::vector<std::pair<std::string, std::string>> ToSeveral;
};

const FoldChangeIndex& FoldChanges()
{
    static const FoldChangeIndex index = [] {
        FoldChangeIndex made;
        ForEachFoldChange([&](std::string_view raw, std::string_view folded) {
            if (CharLength(static_cast<unsigned char>(folded[0])) == folded.size())
                made.ToOne[std::string(folded)].emplace_back(raw);
            else
                made.ToSeveral.emplace_back(raw, folded);
        });
        return made;
    }();
    return index;
}

}  // namespace

std::vector<std::string> RawFormsAt(std::string_view foldedQuery, std::size_t at)
{
    std::vector<std::string> forms;
    if (!WholeCharacters(foldedQuery) || at >= foldedQuery.size())
        return forms;
    const std::string_view target = foldedQuery.substr(at, CharLength(static_cast<unsigned char>(foldedQuery[at])));
    if (FoldForMatch(target) == target)
        forms.emplace_back(target);
    const FoldChangeIndex& changes = FoldChanges();
    if (const auto one = changes.ToOne.find(std::string(target)); one != changes.ToOne.end())
        forms.insert(forms.end(), one->second.begin(), one->second.end());
    for (const auto& [raw, folded] : changes.ToSeveral) {
        // Several characters: a form when they stand in the query over the character.
        if (folded.size() <= target.size() || foldedQuery.find(folded) == std::string_view::npos)
            continue;
        for (std::size_t from = at + target.size() > folded.size() ? at + target.size() - folded.size() : 0;
             from <= at; ++from) {
            // Starting on a character's first byte, a UTF-8 text ends on a character's last.
            if ((static_cast<unsigned char>(foldedQuery[from]) & 0xC0) != 0x80 &&
                foldedQuery.substr(from, folded.size()) == folded) {
                forms.push_back(raw);
                break;
            }
        }
    }
    std::sort(forms.begin(), forms.end());
    forms.erase(std::unique(forms.begin(), forms.end()), forms.end());
    return forms;
}

std::vector<std::string> RawFormsOfPair(std::string_view first, const std::vector<std::string>& firsts,
                                        std::string_view second, const std::vector<std::string>& seconds)
{
    for (const std::string& form : firsts) {
        if (FoldForMatch(form) != first)
            return {};
    }
    for (const std::string& form : seconds) {
        if (FoldForMatch(form) != second)
            return {};
    }
    std::vector<std::string> pairs;
    for (const std::string& a : firsts) {
        for (const std::string& b : seconds)
            pairs.push_back(a + b);
    }
    return pairs;
}

void FormScanner::SetForms(std::vector<std::string> forms)
{
    std::erase_if(forms, [](const std::string& form) { return form.empty() || form.size() > 255; });
    forms_ = std::move(forms);
    probes_.clear();
    longest_ = 0;
    std::fill(std::begin(firstByte_), std::end(firstByte_), false);
#if defined(__x86_64__) && defined(__GNUC__)
    wide_ = __builtin_cpu_supports("avx2");
#endif
    for (const std::string& form : forms_) {
        longest_ = std::max(longest_, form.size());
        firstByte_[static_cast<unsigned char>(form.front())] = true;
        Probe probe;
        probe.First = static_cast<std::uint8_t>(form.front());
        probe.Last = static_cast<std::uint8_t>(form.back());
        probe.Length = static_cast<std::uint8_t>(form.size());
        // Forms that differ only in bit 0x20 of these two bytes (z and Z, ａ and Ａ) share one probe.
        const auto same = std::find_if(probes_.begin(), probes_.end(), [&](const Probe& p) {
            return p.Length == probe.Length && (p.First | 0x20) == (probe.First | 0x20) &&
                   (p.Last | 0x20) == (probe.Last | 0x20);
        });
        if (same == probes_.end()) {
            probes_.push_back(probe);
            continue;
        }
        if (same->First != probe.First)
            same->FirstOr = 0x20;
        if (same->Last != probe.Last)
            same->LastOr = 0x20;
        same->First |= same->FirstOr;
        same->Last |= same->LastOr;
    }
}

bool FormScanner::FormAt(std::string_view text, std::size_t at) const
{
    if (!firstByte_[static_cast<unsigned char>(text[at])])
        return false;
    for (const std::string& form : forms_) {
        if (form.size() <= text.size() - at && std::memcmp(text.data() + at, form.data(), form.size()) == 0)
            return true;
    }
    return false;
}

#if defined(__x86_64__) && defined(__GNUC__)
// Thirty-two places at a time, where the processor can.
__attribute__((target("avx2"))) bool FormScanner::NextWide(std::string_view text, std::size_t& at) const
{
    const char* data = text.data();
    while (text.size() >= longest_ + 31 && at <= text.size() - longest_ - 31) {
        const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at));
        unsigned mask = 0;
        for (const Probe& probe : probes_) {
            __m256i hit = _mm256_cmpeq_epi8(_mm256_or_si256(block, _mm256_set1_epi8(static_cast<char>(probe.FirstOr))),
                                            _mm256_set1_epi8(static_cast<char>(probe.First)));
            if (probe.Length > 1) {
                const __m256i tail = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at + probe.Length - 1));
                hit = _mm256_and_si256(
                    hit, _mm256_cmpeq_epi8(_mm256_or_si256(tail, _mm256_set1_epi8(static_cast<char>(probe.LastOr))),
                                           _mm256_set1_epi8(static_cast<char>(probe.Last))));
            }
            mask |= static_cast<unsigned>(_mm256_movemask_epi8(hit));
        }
        while (mask != 0) {
            const std::size_t place = at + static_cast<std::size_t>(__builtin_ctz(mask));
            if (FormAt(text, place)) {
                at = place;
                return true;
            }
            mask &= mask - 1;
        }
        at += 32;
    }
    return false;
}
#else
bool FormScanner::NextWide(std::string_view, std::size_t&) const
{
    return false;
}
#endif

std::size_t FormScanner::Next(std::string_view text, std::size_t from) const
{
    if (forms_.empty())
        return std::string_view::npos;
    std::size_t at = from;
    // The wide loop finds a place, or leaves the last few bytes to the loops below.
    if (wide_ && NextWide(text, at))
        return at;
#if defined(__SSE2__)
    // Sixteen places at a time: a place passes when a probe's first and last
    // bytes both fit, and is then compared whole.
    const char* data = text.data();
    while (text.size() >= longest_ + 15 && at <= text.size() - longest_ - 15) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        unsigned mask = 0;
        for (const Probe& probe : probes_) {
            __m128i hit = _mm_cmpeq_epi8(_mm_or_si128(block, _mm_set1_epi8(static_cast<char>(probe.FirstOr))),
                                         _mm_set1_epi8(static_cast<char>(probe.First)));
            if (probe.Length > 1) {
                const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + probe.Length - 1));
                hit = _mm_and_si128(hit, _mm_cmpeq_epi8(_mm_or_si128(tail, _mm_set1_epi8(static_cast<char>(probe.LastOr))),
                                                        _mm_set1_epi8(static_cast<char>(probe.Last))));
            }
            mask |= static_cast<unsigned>(_mm_movemask_epi8(hit));
        }
        while (mask != 0) {
            const std::size_t place = at + static_cast<std::size_t>(__builtin_ctz(mask));
            if (FormAt(text, place))
                return place;
            mask &= mask - 1;
        }
        at += 16;
    }
#endif
    for (; at < text.size(); ++at) {
        if (FormAt(text, at))
            return at;
    }
    return std::string_view::npos;
}

std::size_t FormScanner::CountLines(std::string_view text) const
{
    std::size_t lines = 0;
    for (std::size_t at = Next(text, 0); at != std::string_view::npos;) {
        ++lines;
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            break;
        at = Next(text, end + 1);
    }
    return lines;
}

}  // namespace chatlog
