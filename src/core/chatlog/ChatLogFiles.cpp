#include "ChatLogFiles.h"

#include "Cp932.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
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

std::vector<std::string> ReadLastLines(const std::filesystem::path& file, std::size_t count)
{
    std::vector<std::string> lines;
    if (count == 0)
        return lines;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return lines;
    struct stat st {};
    off_t end = ::fstat(fd, &st) == 0 ? st.st_size : 0;
    // Chunks from the end until enough line ends are in hand: count of them, one
    // more that bounds the oldest line, and the file's own final one.
    constexpr off_t Chunk = 64 * 1024;
    std::string tail;
    std::size_t breaks = 0;
    while (end > 0 && breaks <= count + 1) {
        const off_t start = std::max<off_t>(0, end - Chunk);
        std::string chunk(static_cast<std::size_t>(end - start), '\0');
        if (::pread(fd, chunk.data(), chunk.size(), start) != static_cast<ssize_t>(chunk.size())) {
            tail.clear();
            break;
        }
        breaks += static_cast<std::size_t>(std::count(chunk.begin(), chunk.end(), '\n'));
        tail.insert(0, chunk);
        end = start;
    }
    ::close(fd);
    if (tail.empty())
        return lines;
    if (tail.back() == '\n')
        tail.pop_back();
    std::size_t from = 0;
    for (;;) {
        const std::size_t nl = tail.find('\n', from);
        lines.push_back(tail.substr(from, nl == std::string::npos ? std::string::npos : nl - from));
        if (!lines.back().empty() && lines.back().back() == '\r')
            lines.back().pop_back();
        if (nl == std::string::npos)
            break;
        from = nl + 1;
    }
    if (end > 0)
        lines.erase(lines.begin());   // the read began inside this line
    if (lines.size() > count)
        lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
    return lines;
}

std::vector<std::string> ReadRoomTail(const std::filesystem::path& serverFolder, std::string_view stem,
                                      std::size_t count)
{
    // "<stem>_YYYY-MM.log": the month part has a fixed length, so no other stem's files match.
    const std::size_t nameLength = stem.size() + std::string_view("_YYYY-MM.log").size();
    std::vector<std::string> months;
    std::error_code error;
    for (std::filesystem::directory_iterator it(serverFolder, error), last; !error && it != last;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() == nameLength && name.compare(0, stem.size(), stem) == 0 && name[stem.size()] == '_' &&
            name.ends_with(".log"))
            months.push_back(name);
    }
    std::sort(months.rbegin(), months.rend());
    std::vector<std::string> lines;
    for (const std::string& name : months) {
        if (lines.size() >= count)
            break;
        std::vector<std::string> older = ReadLastLines(serverFolder / name, count - lines.size());
        lines.insert(lines.begin(), std::make_move_iterator(older.begin()), std::make_move_iterator(older.end()));
    }
    return lines;
}

}  // namespace chatlog
