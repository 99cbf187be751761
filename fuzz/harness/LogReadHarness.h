#pragma once
// One fuzz input as a room's log on disk, read every way the client reads logs:
// backwards a page at a time (the history pager), forwards from a line (the
// lines around a search hit) and by the search's line splitter. Shared by the
// libFuzzer target and the replay test.
//
// Byte 0: the page size (1 + its low 4 bits); byte 1: where the rest is split
// into an older and a newer month file (as a fraction of 255); byte 2: the
// length of the query (low 3 bits), taken from the start of the newer file's
// second line, and how many of the newest lines found a second search keeps
// (1 + the next 2 bits). The rest: the files' bytes.
//
// What must hold: every line read is valid UTF-8 without a line end and no
// longer than a cut line; reading backwards gives exactly the lines that the
// splitter gives forwards, cleaned alike, in the same order; reading forwards
// from a line gives the same; the search finds exactly the lines whose message
// the find bar's line search matches, newest first, each at the start of its line;
// keeping only the newest few, it counts them all and keeps the newest;
// handed over piece by piece, it gives the same hits. Seeking after a line tells
// that line as shown, and nothing for a place inside a line. A name taken from
// the input is a month file only when it is exactly what the writer would name it.

#include "HistoryPager.h"
#include "LogSearch.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kvfuzz {

namespace logread {

inline bool ValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t n = b < 0x80 ? 1 : (b >= 0xC2 && b <= 0xDF) ? 2 : (b >= 0xE0 && b <= 0xEF) ? 3
                                     : (b >= 0xF0 && b <= 0xF4) ? 4 : 0;
        if (n == 0 || i + n > text.size())
            return false;
        char32_t c = n == 1 ? b : (b & (0x7F >> n));
        for (std::size_t k = 1; k < n; ++k) {
            const auto t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (t & 0x3F);
        }
        if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

// A raw line as every reader must show it.
inline std::string Shown(std::string_view raw)
{
    return chatlog::RestoredLine(raw);   // the whole line, as the tail reader shows it
}

inline bool WriteFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    // An empty view may hold no pointer at all, which fwrite must not be given.
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace logread

inline std::string RunLogRead(const std::uint8_t* data, std::size_t size, const std::filesystem::path& folder)
{
    using namespace logread;
    if (size < 3)
        return {};
    const std::size_t page = 1 + (data[0] & 15);
    const std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
    const std::size_t split = rest.size() * data[1] / 255;
    const std::string_view older = rest.substr(0, split);
    const std::string_view newer = rest.substr(split);
    // A server's folder in a logs folder of the user's own, as the program reads them.
    const std::filesystem::path server = folder / "logs" / "srv";
    const std::filesystem::path olderFile = server / "room_2026-11.log";
    const std::filesystem::path newerFile = server / "room_2026-12.log";
    // The folders and the files' modes are made once a folder; rewriting a file keeps its mode.
    static std::filesystem::path prepared;
    if (prepared != folder) {
        std::error_code error;
        std::filesystem::create_directories(server, error);
        if (!WriteFile(olderFile, {}) || !WriteFile(newerFile, {}))
            return "cannot write the scratch files in " + folder.string();
        using std::filesystem::perms;
        for (const std::filesystem::path& place : {folder / "logs", server})
            std::filesystem::permissions(place, perms::owner_all, error);
        for (const std::filesystem::path& file : {olderFile, newerFile})
            std::filesystem::permissions(file, perms::owner_read | perms::owner_write, error);
        prepared = folder;
    }
    if (!WriteFile(olderFile, older) || !WriteFile(newerFile, newer))
        return "cannot write the scratch files in " + folder.string();

    // Forwards, by the splitter.
    std::vector<std::string> forward;
    std::vector<std::uint64_t> newerStarts;
    for (const std::string_view bytes : {older, newer}) {
        chatlog::SplitLines(bytes, [&](std::size_t at, std::string_view line) {
            if (bytes.data() == newer.data())
                newerStarts.push_back(at);
            forward.push_back(Shown(line));
        });
    }
    for (const std::string& line : forward) {
        if (!ValidUtf8(line) || line.find('\n') != std::string::npos || line.size() > chatlog::MaxLineBytes + 3)
            return "a line is not shown clean: " + line.substr(0, 40);
    }

    // Backwards, by the pager.
    chatlog::HistoryPager pager(server, "room");
    std::vector<std::string> backward;
    for (std::size_t guard = 0; guard <= rest.size() + 2; ++guard) {
        std::vector<std::string> lines = pager.Older(page);
        if (lines.size() > page)
            return "a page holds more lines than asked";
        if (lines.empty())
            break;
        backward.insert(backward.begin(), lines.begin(), lines.end());
    }
    if (!pager.AtStart() || !pager.Older(page).empty())
        return "the pager does not end at the start";
    if (backward != forward)
        return "backwards " + std::to_string(backward.size()) + " lines, forwards " + std::to_string(forward.size());

    // Forwards from the newer month's first, middle and last line, and the page
    // that ends with each (every line is read alike; three keep an input cheap).
    const std::size_t firstNewer = forward.size() - newerStarts.size();
    std::vector<std::size_t> starts;
    for (const std::size_t k : {std::size_t{0}, newerStarts.size() / 2, newerStarts.size() - 1}) {
        if (k < newerStarts.size() && std::find(starts.begin(), starts.end(), k) == starts.end())
            starts.push_back(k);
    }
    for (const std::size_t k : starts) {
        const std::vector<std::string> from = chatlog::ReadLinesFrom(newerFile, newerStarts[k], 3);
        const std::vector<std::string> expected(forward.begin() + static_cast<std::ptrdiff_t>(firstNewer + k),
                                                forward.begin() + static_cast<std::ptrdiff_t>(
                                                                      std::min(forward.size(), firstNewer + k + 3)));
        if (from != expected)
            return "reading forwards from line " + std::to_string(k) + " differs";
        std::string there;
        if (!pager.SeekAfterLine("room_2026-12.log", newerStarts[k], chatlog::GuiScanBytes, &there) ||
            there != forward[firstNewer + k] || pager.Older(1) != std::vector<std::string>{forward[firstNewer + k]})
            return "the page before a line does not end with it";
        // One byte into a line that has more: no line starts there.
        const std::uint64_t end = k + 1 < newerStarts.size() ? newerStarts[k + 1] - 1 : newer.size();
        if (newerStarts[k] + 1 < end && pager.SeekAfterLine("room_2026-12.log", newerStarts[k] + 1, 0, &there) &&
            !there.empty())
            return "a place inside a line was told as a line";
    }

    // The name rule: what it takes is what the writer makes.
    {
        const std::string_view name = rest.substr(0, std::min<std::size_t>(rest.size(), 24));
        std::string_view stem;
        int year = 0;
        int month = 0;
        if (chatlog::ParseMonthFileName(name, stem, year, month) &&
            (stem.empty() || month < 1 || month > 12 || chatlog::MonthFileName(stem, year, month) != name))
            return "a name taken as a month file is not one";
    }

    // The search, for a piece of the newer file's second line.
    std::string query;
    if (newerStarts.size() > 1) {
        const std::string_view second = newer.substr(newerStarts[1]);
        query = std::string(second.substr(0, std::min<std::size_t>(data[2] & 7, second.find('\n'))));
    }
    chatlog::LogSearcher searcher(query);
    TextSearch check(query);
    std::vector<std::uint64_t> expectedHits;   // offsets, newest first
    std::vector<std::string> expectedKeys;     // their order among all
    for (std::size_t k = newerStarts.size(); k-- > 0;) {
        const std::string& line = forward[firstNewer + k];
        const bool stamped = line.size() >= 20 && chatlog::DateOfLogLine(line) && line[13] == ':' &&
                             line[16] == ':' && line[19] == ' ';
        std::vector<TextMatch> spans;
        check.FindInLine(stamped ? std::string_view(line).substr(20) : std::string_view(line), 0, spans);
        // A match inside one character (a query of stray bytes) shows nothing and is no hit.
        std::erase_if(spans, [](const TextMatch& span) { return span.End <= span.Begin; });
        if (!spans.empty()) {
            expectedHits.push_back(newerStarts[k]);
            expectedKeys.push_back(stamped ? line.substr(0, 19) : "2026-12-00");
        }
    }
    std::atomic<bool> cancel{false};
    std::vector<chatlog::LogHit> hits;
    searcher.SearchFile({newerFile, "s", "room", 2026, 12}, 0, {}, cancel, hits);
    std::vector<std::uint64_t> found;
    for (const chatlog::LogHit& hit : hits) {
        found.push_back(hit.Offset);
        if (hit.Spans.empty() || !ValidUtf8(hit.Text))
            return "a hit without a match or not clean";
        for (const TextMatch& span : hit.Spans) {
            if (span.Begin >= span.End || span.End > hit.Text.size())
                return "a span outside its line";
        }
    }
    if (found != expectedHits)
        return "the search found " + std::to_string(found.size()) + " lines, the line search " +
               std::to_string(expectedHits.size());
    // Handed over piece by piece: the same hits.
    chatlog::LogSearcher byPiece(query);
    std::vector<chatlog::LogHit> pieceHits;
    std::vector<std::uint64_t> handed;
    byPiece.SearchFile({newerFile, "s", "room", 2026, 12}, 0, {}, cancel, pieceHits, [&](std::uint64_t) {
        for (const chatlog::LogHit& hit : pieceHits)
            handed.push_back(hit.Offset);
        pieceHits.clear();
    });
    for (const chatlog::LogHit& hit : pieceHits)
        handed.push_back(hit.Offset);
    std::sort(handed.begin(), handed.end(), std::greater<>());
    if (handed != expectedHits)
        return "handed over piece by piece, the search found other lines";

    // Keeping only the newest few (byte 2's next bits): every line is still
    // counted, and the newest of what it gives are the newest of all.
    const std::size_t keep = 1 + ((data[2] >> 3) & 3);
    chatlog::LogSearcher newest(query, keep);
    std::vector<chatlog::LogHit> kept;
    newest.SearchFile({newerFile, "s", "room", 2026, 12}, 0, {}, cancel, kept);
    if (newest.Found() != expectedHits.size())
        return "counted " + std::to_string(newest.Found()) + " lines of " + std::to_string(expectedHits.size());
    std::vector<std::string> keptKeys;
    for (const chatlog::LogHit& hit : kept) {
        if (std::find(expectedHits.begin(), expectedHits.end(), hit.Offset) == expectedHits.end())
            return "kept a line that does not match";
        keptKeys.push_back(hit.SortKey({}));
    }
    const auto newestOf = [keep](std::vector<std::string> keys) {
        std::sort(keys.begin(), keys.end(), std::greater<>());
        keys.resize(std::min(keys.size(), keep));
        return keys;
    };
    if (newestOf(keptKeys) != newestOf(expectedKeys))
        return "the lines kept are not the newest";
    return {};
}

}  // namespace kvfuzz
