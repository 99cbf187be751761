#include "ChatLogFiles.h"

#include "Cp932.h"
#include "GmMessages.h"
#include "LogPlaces.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace chatlog {

namespace {

constexpr std::string_view Marker = "%~";
constexpr std::size_t HashedKeepBytes = MaxStemBytes - Marker.size() - 16;

bool MustEscape(unsigned char c, bool first)
{
    if (c < 0x20 || c == 0x7f)
        return true;
    if (first && c == '.')
        return true;
    return std::string_view("/\\:*?\"<>|%").find(static_cast<char>(c)) != std::string_view::npos;
}

std::uint64_t Fnv1a(std::string_view bytes)
{
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ULL;
    }
    return h;
}

// Escapes, remembering where each whole character ends so a cut never splits one.
std::string Escape(std::string_view utf8, std::vector<std::size_t>& boundaries)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (MustEscape(c, i == 0)) {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
        const bool continues = i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80;
        if (!continues)
            boundaries.push_back(out.size());
    }
    return out;
}

std::string Stem(std::string_view original, std::string_view utf8, bool exact)
{
    std::vector<std::size_t> boundaries;
    std::string stem = Escape(utf8, boundaries);
    if (exact && !stem.empty() && stem.size() <= MaxStemBytes)
        return stem;
    std::size_t keep = 0;
    for (const std::size_t b : boundaries) {
        if (b > HashedKeepBytes)
            break;
        keep = b;
    }
    stem.resize(keep);
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(original)));
    stem += Marker;
    stem += hash;
    return stem;
}

}  // namespace

std::string RoomFileStem(std::string_view roomNameCp932)
{
    const std::string utf8 = cp932::ToUtf8(roomNameCp932);
    const auto back = cp932::FromUtf8(utf8);
    return Stem(roomNameCp932, utf8, back && *back == roomNameCp932);
}

std::string ServerFolderName(std::string_view addressCp932, int port)
{
    return RoomFileStem(addressCp932) + "_" + std::to_string(port);
}

std::string MonthFileName(std::string_view stem, int year, int month)
{
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "_%04d-%02d.log", year, month);
    return std::string(stem) + suffix;
}

namespace {

bool Digits(std::string_view text, int& value)
{
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return !text.empty();
}

}  // namespace

bool ParseMonthFileName(std::string_view name, std::string_view& stem, int& year, int& month)
{
    constexpr std::string_view Suffix = "_YYYY-MM.log";
    if (name.size() <= Suffix.size() || !name.ends_with(".log"))
        return false;
    const std::string_view suffix = name.substr(name.size() - Suffix.size());
    if (suffix[0] != '_' || suffix[5] != '-' || !Digits(suffix.substr(1, 4), year) ||
        !Digits(suffix.substr(6, 2), month) || month < 1 || month > 12)
        return false;
    stem = name.substr(0, name.size() - Suffix.size());
    return true;
}

bool IsMonthFileOf(std::string_view name, std::string_view stem)
{
    std::string_view its;
    int year = 0;
    int month = 0;
    return ParseMonthFileName(name, its, year, month) && its == stem;
}

LocalStamp StampOf(std::int64_t time)
{
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    localtime_r(&t, &local);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d ", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return {local.tm_year + 1900, local.tm_mon + 1, text};
}

namespace {

constexpr std::string_view ReplacementUtf8 = "\xEF\xBF\xBD";   // U+FFFD
constexpr std::string_view Ellipsis = "\xE2\x80\xA6";          // …

// A chat line as written: the stamp, a name, "> " and the text, every byte of
// which may take three in UTF-8 (half-width katakana).
static_assert(std::string_view("YYYY-MM-DD HH:MM:SS ").size() + 3 * MaxUserNameBytes + 2 + 3 * MaxTalkBytes <=
              MaxLineBytes);

// The length of the well-formed UTF-8 character at the start of bytes; 0 when
// there is none, and then bad is the length of the maximal ill-formed part there.
std::size_t WellFormedAt(std::string_view bytes, std::size_t& bad)
{
    const auto lead = static_cast<unsigned char>(bytes[0]);
    if (lead < 0x80)
        return 1;
    std::size_t more = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        bad = 1;
        return 0;
    }
    for (std::size_t i = 1; i <= more; ++i) {
        if (i >= bytes.size() || static_cast<unsigned char>(bytes[i]) < low || static_cast<unsigned char>(bytes[i]) > high) {
            bad = i;
            return 0;
        }
        low = 0x80;
        high = 0xBF;
    }
    return more + 1;
}

}  // namespace

std::string RestoredLine(std::string_view bytes)
{
    if (!bytes.empty() && bytes.back() == '\r')
        bytes.remove_suffix(1);
    std::string line;
    line.reserve(std::min(bytes.size(), MaxLineBytes) + Ellipsis.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Most of a log is ASCII: a run of it goes in at once.
        std::size_t run = 0;
        while (i + run < bytes.size() && bytes[i + run] != '\0' && static_cast<unsigned char>(bytes[i + run]) < 0x80)
            ++run;
        if (run > 0) {
            const std::size_t fits = MaxLineBytes - std::min(line.size(), MaxLineBytes);
            line.append(bytes.substr(i, std::min(run, fits)));
            if (run > fits) {
                line += Ellipsis;
                break;
            }
            i += run;
            continue;
        }
        std::size_t bad = 0;
        const std::size_t good = bytes[i] == '\0' ? 0 : WellFormedAt(bytes.substr(i), bad);
        const std::string_view piece = good > 0 ? bytes.substr(i, good) : ReplacementUtf8;
        if (line.size() + piece.size() > MaxLineBytes) {
            line += Ellipsis;
            break;
        }
        line += piece;
        i += good > 0 ? good : std::max<std::size_t>(bad, 1);
    }
    return line;
}

namespace {

// The last `count` lines of the open file, looking back at most lookBack bytes,
// which are taken from the budget.
std::vector<std::string> LastLinesOf(int fd, std::size_t count, std::uint64_t& lookBack)
{
    std::vector<std::string> lines;
    struct stat st {};
    if (count == 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return lines;
    off_t end = st.st_size;
    const off_t limit = end - static_cast<off_t>(std::min<std::uint64_t>(lookBack, static_cast<std::uint64_t>(end)));
    // Chunks from the end until enough line ends are in hand: count of them, one
    // more that bounds the oldest line, and the file's own final one.
    constexpr off_t Chunk = 64 * 1024;
    std::vector<std::string> chunks;
    std::size_t total = 0;
    std::size_t breaks = 0;
    while (end > limit && breaks <= count + 1) {
        const off_t start = std::max<off_t>(limit, end - Chunk);
        std::string chunk(static_cast<std::size_t>(end - start), '\0');
        if (::pread(fd, chunk.data(), chunk.size(), start) != static_cast<ssize_t>(chunk.size()))
            return lines;
        breaks += static_cast<std::size_t>(std::count(chunk.begin(), chunk.end(), '\n'));
        total += chunk.size();
        chunks.push_back(std::move(chunk));
        end = start;
    }
    lookBack -= total;
    std::string tail;
    tail.reserve(total);
    for (auto it = chunks.rbegin(); it != chunks.rend(); ++it)
        tail += *it;
    if (tail.empty())
        return lines;
    // A line that begins right where looking back stopped is whole.
    char before = 0;
    const bool lineStart = end == 0 || (end == limit && ::pread(fd, &before, 1, end - 1) == 1 && before == '\n');
    std::string_view rest(tail);
    if (!rest.empty() && rest.back() == '\n')
        rest.remove_suffix(1);
    if (!lineStart) {
        // The read began inside the oldest line, or looked back as far as it may
        // without reaching its start: that line is left out.
        const std::size_t nl = rest.find('\n');
        rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
        if (rest.empty())
            return lines;
    }
    // Only the last `count` are made into lines.
    std::size_t from = rest.size();
    std::vector<std::string_view> found;
    for (;;) {
        const std::size_t nl = from == 0 ? std::string_view::npos : rest.rfind('\n', from - 1);
        const std::size_t begin = nl == std::string_view::npos ? 0 : nl + 1;
        found.push_back(rest.substr(begin, from - begin));
        if (nl == std::string_view::npos || found.size() == count)
            break;
        from = nl;
    }
    lines.reserve(found.size());
    for (auto it = found.rbegin(); it != found.rend(); ++it)
        lines.push_back(RestoredLine(*it));
    return lines;
}

}  // namespace

std::vector<std::string> ReadLastLines(const std::filesystem::path& file, std::size_t count)
{
    const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return {};
    std::uint64_t lookBack = LookBackBytes(count);
    return LastLinesOf(fd.Get(), count, lookBack);
}

std::vector<std::string> ReadRoomTail(const std::filesystem::path& serverFolder, std::string_view stem,
                                      std::size_t count)
{
    const OpenedPlace folder = OpenServerFolder(serverFolder, false);
    if (!folder.Fd || count == 0)
        return {};
    // Of a stem's month files the names sort as their months do.
    std::vector<std::string> months;
    if (DIR* dir = ::fdopendir(::dup(folder.Fd.Get()))) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (IsMonthFileOf(name, stem))
                months.emplace_back(name);
        }
        ::closedir(dir);
    }
    std::sort(months.rbegin(), months.rend());
    std::vector<std::string> lines;
    std::uint64_t lookBack = LookBackBytes(count);
    for (const std::string& name : months) {
        if (lines.size() >= count || lookBack == 0)
            break;
        const OpenedPlace file = OpenLogFile(folder.Fd.Get(), serverFolder, name, false);
        if (!file.Fd)
            continue;
        std::vector<std::string> older = LastLinesOf(file.Fd.Get(), count - lines.size(), lookBack);
        lines.insert(lines.begin(), std::make_move_iterator(older.begin()), std::make_move_iterator(older.end()));
    }
    return lines;
}

}  // namespace chatlog
