#include "LogSearch.h"

#include "HistoryPager.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <tuple>
#include <unistd.h>

namespace chatlog {

namespace {

// Bytes read and folded at a time: a file costs no more memory than this, whatever its size.
constexpr std::size_t PieceBytes = 4 * 1024 * 1024;
constexpr std::string_view MonthSuffix = "_YYYY-MM.log";

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool Number(std::string_view text, int& value)
{
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return !text.empty();
}

// "<stem>_YYYY-MM.log" into its parts.
bool ParseMonthFile(std::string_view name, std::string& stem, int& year, int& month)
{
    if (name.size() <= MonthSuffix.size() || !name.ends_with(".log"))
        return false;
    const std::string_view suffix = name.substr(name.size() - MonthSuffix.size());
    if (suffix[0] != '_' || suffix[5] != '-' || !Number(suffix.substr(1, 4), year) ||
        !Number(suffix.substr(6, 2), month) || month < 1 || month > 12)
        return false;
    stem = std::string(name.substr(0, name.size() - MonthSuffix.size()));
    return true;
}

bool MonthInRange(int year, int month, const LogQuery& query)
{
    if (query.From && std::tie(year, month) < std::tie(query.From->Year, query.From->Month))
        return false;
    if (query.To && std::tie(year, month) > std::tie(query.To->Year, query.To->Month))
        return false;
    return true;
}

bool DayInRange(const LocalDate& date, const LogQuery& query)
{
    const auto key = [](const LocalDate& d) { return std::tie(d.Year, d.Month, d.Day); };
    return (!query.From || key(date) >= key(*query.From)) && (!query.To || key(date) <= key(*query.To));
}

// "YYYY-MM-DD HH:MM:SS " at the start of a line.
bool HasStamp(std::string_view line)
{
    return line.size() >= 20 && DateOfLogLine(line) && line[13] == ':' && line[16] == ':' && line[19] == ' ';
}

}  // namespace

std::string LogHit::SortKey(const LogFile& file) const
{
    if (!Stamp.empty())
        return Stamp;
    char key[24];
    std::snprintf(key, sizeof key, "%04d-%02d-00", file.Year, file.Month);
    return key;
}

std::string RoomOfStem(std::string_view stem)
{
    std::string bytes;
    for (std::size_t i = 0; i < stem.size(); ++i) {
        if (stem[i] == '%' && i + 2 < stem.size() && HexValue(stem[i + 1]) >= 0 && HexValue(stem[i + 2]) >= 0) {
            bytes += static_cast<char>(HexValue(stem[i + 1]) * 16 + HexValue(stem[i + 2]));
            i += 2;
        } else {
            bytes += stem[i];
        }
    }
    return RestoredLine(bytes);
}

std::vector<LogFile> ListLogFiles(const std::filesystem::path& logsFolder, const LogQuery& query)
{
    std::vector<LogFile> files;
    std::error_code error;
    for (std::filesystem::directory_iterator server(logsFolder, error), end; !error && server != end;
         server.increment(error)) {
        std::error_code statError;
        if (!server->is_directory(statError) || server->is_symlink(statError))
            continue;
        const std::string serverName = server->path().filename().string();
        if (!query.Server.empty() && serverName != query.Server)
            continue;
        std::error_code inner;
        for (std::filesystem::directory_iterator it(server->path(), inner), last; !inner && it != last;
             it.increment(inner)) {
            LogFile file;
            if (!it->is_regular_file(statError) || it->is_symlink(statError) ||
                !ParseMonthFile(it->path().filename().string(), file.Stem, file.Year, file.Month))
                continue;
            if ((!query.Stem.empty() && file.Stem != query.Stem) || !MonthInRange(file.Year, file.Month, query))
                continue;
            file.Path = it->path();
            file.Server = serverName;
            files.push_back(std::move(file));
        }
    }
    std::sort(files.begin(), files.end(), [](const LogFile& a, const LogFile& b) {
        return std::tie(b.Year, b.Month, a.Server, a.Stem) < std::tie(a.Year, a.Month, b.Server, b.Stem);
    });
    return files;
}

void SplitLines(std::string_view bytes, const std::function<void(std::size_t, std::string_view)>& onLine)
{
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t nl = bytes.find('\n', start);
        const std::size_t end = nl == std::string_view::npos ? bytes.size() : nl;
        onLine(start, bytes.substr(start, end - start));
        start = end + 1;
    }
}

namespace {
std::vector<std::string> Characters(std::string_view text);
bool ValidUtf8(std::string_view text) { return text.empty() || !Characters(text).empty(); }
}  // namespace

LogSearcher::LogSearcher(std::string_view query) : search_(query), needle_(FoldForMatch(query))
{
    // What cleaning puts into a line (the replacement character, the "…" of a cut)
    // is not in its bytes: such a query is tried on every cleaned line.
    // So is a query that is not UTF-8: its bytes may match inside those characters.
    everyLine_ = needle_.find("\xEF\xBF\xBD") != std::string::npos ||
                 needle_.find("\xE2\x80\xA6") != std::string::npos || !ValidUtf8(needle_);
    if (!everyLine_)
        ChooseAnchor();
}

namespace {

std::string Utf8(char32_t c)
{
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// The characters of a valid UTF-8 text, as their bytes; none when it is not valid.
std::vector<std::string> Characters(std::string_view text)
{
    std::vector<std::string> chars;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::size_t n = b < 0x80 ? 1 : b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
        if (n == 0 || i + n > text.size())
            return {};
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return {};
        }
        chars.emplace_back(text.substr(i, n));
        i += n;
    }
    return chars;
}

// How common a raw form is in chat text: lower is rarer.
int Commonness(const std::vector<std::string>& forms)
{
    static constexpr std::string_view ByFrequency = "zqxjkvbpygfwmucldrhsnioate";
    int worst = 0;
    for (const std::string& form : forms) {
        int score = 1;   // a character outside ASCII
        if (form.size() == 1) {
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(form[0])));
            const std::size_t rank = ByFrequency.find(c);
            score = rank == std::string_view::npos ? 30 : 4 + static_cast<int>(rank);
            if (c == ' ')
                score = 60;
        } else if (static_cast<unsigned char>(form[0]) == 0xE3 && form.size() == 3 &&
                   (static_cast<unsigned char>(form[1]) == 0x81 || static_cast<unsigned char>(form[1]) == 0x82 ||
                    static_cast<unsigned char>(form[1]) == 0x83)) {
            score = 3;   // kana, common in Japanese chat
        }
        worst = std::max(worst, score);
    }
    return worst + static_cast<int>(forms.size());
}

}  // namespace

void LogSearcher::ChooseAnchor()
{
    const std::vector<std::string> chars = Characters(needle_);
    if (chars.empty())
        return;
    // Every character below U+10000, and every half-width kana with a voiced
    // mark, that folds to the character: its raw forms.
    std::string folded;
    int best = 1 << 30;
    std::size_t tried = 0;
    for (std::size_t i = chars.size(); i-- > 0 && tried < 8;) {
        const std::string& target = chars[i];
        if (std::find(chars.begin() + static_cast<std::ptrdiff_t>(i) + 1, chars.end(), target) != chars.end())
            continue;
        ++tried;
        std::vector<std::string> forms;
        for (char32_t c = 1; c < 0x10000; ++c) {
            if (c >= 0xD800 && c < 0xE000)
                continue;
            const std::string raw = Utf8(c);
            FoldForMatch(raw, folded);
            if (folded == target)
                forms.push_back(raw);
        }
        for (char32_t kana = 0xFF61; kana <= 0xFF9D; ++kana) {
            for (const char32_t mark : {char32_t(0xFF9E), char32_t(0xFF9F)}) {
                const std::string raw = Utf8(kana) + Utf8(mark);
                FoldForMatch(raw, folded);
                if (folded == target)
                    forms.push_back(raw);
            }
        }
        if (target.size() == 4)
            forms.push_back(target);   // above U+FFFF nothing folds
        if (forms.empty())
            return;   // cannot be: the character folds to itself
        const int score = Commonness(forms);
        if (score < best) {
            best = score;
            anchors_ = std::move(forms);
        }
    }
}

std::uint64_t LogSearcher::SearchFile(const LogFile& file, std::size_t fileIndex, const LogQuery& query,
                                      const std::atomic<bool>& cancel, std::vector<LogHit>& hits)
{
    if (needle_.empty())
        return 0;
    const OpenedPlace folder = OpenServerFolder(file.Path.parent_path(), false);
    if (!folder.Fd)
        return 0;
    const OpenedPlace opened = OpenLogFile(folder.Fd.Get(), file.Path.parent_path(), file.Path.filename().string(), false);
    if (!opened.Fd)
        return 0;
    const int fd = opened.Fd.Get();
    const std::size_t first = hits.size();
    std::string piece;
    std::uint64_t pieceOffset = 0;   // the file offset of piece[0]
    std::uint64_t read = 0;
    bool skipping = false;           // inside a line too long for a piece, already searched
    // A small file is read whole in one go, into no more room than it needs.
    struct stat st {};
    const std::uint64_t fileSize = ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : PieceBytes;
    std::string buffer(static_cast<std::size_t>(std::clamp<std::uint64_t>(fileSize + 1, 1, PieceBytes)), '\0');
    while (!cancel.load(std::memory_order_relaxed)) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got <= 0) {
            if (!piece.empty() && !skipping)
                SearchPiece(piece, pieceOffset, fileIndex, query, hits);
            break;
        }
        read += static_cast<std::uint64_t>(got);
        std::string_view fresh(buffer.data(), static_cast<std::size_t>(got));
        if (skipping) {
            const std::size_t nl = fresh.find('\n');
            pieceOffset += nl == std::string_view::npos ? fresh.size() : nl + 1;
            if (nl == std::string_view::npos)
                continue;
            fresh.remove_prefix(nl + 1);
            skipping = false;
        }
        piece.append(fresh);
        const std::size_t lastBreak = piece.rfind('\n');
        if (lastBreak == std::string::npos) {
            if (piece.size() >= PieceBytes) {
                // One line longer than a piece: searched as far as it goes, the rest skipped.
                SearchPiece(piece, pieceOffset, fileIndex, query, hits);
                pieceOffset += piece.size();
                piece.clear();
                skipping = true;
            }
            continue;
        }
        SearchPiece(std::string_view(piece).substr(0, lastBreak), pieceOffset, fileIndex, query, hits);
        pieceOffset += lastBreak + 1;
        piece.erase(0, lastBreak + 1);
    }
    std::reverse(hits.begin() + static_cast<std::ptrdiff_t>(first), hits.end());
    return read;
}

void LogSearcher::SearchPiece(std::string_view piece, std::uint64_t pieceOffset, std::size_t fileIndex,
                              const LogQuery& query, std::vector<LogHit>& hits)
{
    if (everyLine_) {
        SplitLines(piece, [&](std::size_t at, std::string_view raw) { TryLine(raw, pieceOffset + at, fileIndex, query, hits); });
        return;
    }
    if (!anchors_.empty()) {
        // The lines that hold a raw form of the anchor, in order, each once.
        std::vector<std::size_t> starts;
        for (const std::string& form : anchors_) {
            std::size_t from = 0;
            while (from < piece.size()) {
                const void* hit = ::memmem(piece.data() + from, piece.size() - from, form.data(), form.size());
                if (hit == nullptr)
                    break;
                const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - piece.data());
                const std::size_t lineStart = at == 0 ? 0 : piece.rfind('\n', at - 1) + 1;
                starts.push_back(lineStart);   // no line end before it: npos + 1 is 0
                const std::size_t lineEnd = piece.find('\n', at);
                from = lineEnd == std::string_view::npos ? piece.size() : lineEnd + 1;
            }
        }
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        for (const std::size_t start : starts) {
            const std::size_t end = std::min(piece.find('\n', start), piece.size());
            TryLine(piece.substr(start, end - start), pieceOffset + start, fileIndex, query, hits);
        }
        return;
    }
    FoldForMatch(piece, folded_);
    // Folding keeps every line end where it was, one for one: the n-th line of
    // the folded text is the n-th line of the piece.
    std::size_t foldedLine = 0;
    std::size_t rawLine = 0;
    for (std::size_t at = folded_.find(needle_); at != std::string::npos;) {
        for (std::size_t nl = folded_.find('\n', foldedLine); nl != std::string::npos && nl < at;
             nl = folded_.find('\n', foldedLine)) {
            foldedLine = nl + 1;
            rawLine = piece.find('\n', rawLine) + 1;
        }
        const std::size_t rawEnd = std::min(piece.find('\n', rawLine), piece.size());
        TryLine(piece.substr(rawLine, rawEnd - rawLine), pieceOffset + rawLine, fileIndex, query, hits);
        const std::size_t next = folded_.find('\n', foldedLine);
        if (next == std::string::npos)
            break;
        foldedLine = next + 1;
        rawLine = rawEnd + 1;
        at = folded_.find(needle_, foldedLine);
    }
}

void LogSearcher::TryLine(std::string_view raw, std::uint64_t offset, std::size_t fileIndex, const LogQuery& query,
                          std::vector<LogHit>& hits)
{
    const std::string line = ShownLine(raw);
    const bool stamped = HasStamp(line);
    const std::string_view text = stamped ? std::string_view(line).substr(20) : std::string_view(line);
    if (stamped && (query.From || query.To) && !DayInRange(*DateOfLogLine(line), query))
        return;
    spans_.clear();
    search_.FindInLine(text, 0, spans_);
    // A query of stray bytes can match inside one character: nothing to show, no hit.
    std::erase_if(spans_, [](const TextMatch& span) { return span.End <= span.Begin; });
    if (spans_.empty())
        return;
    LogHit hit;
    hit.File = fileIndex;
    hit.Offset = offset;
    if (stamped)
        hit.Stamp = line.substr(0, 19);
    hit.Text = std::string(text);
    hit.Spans = spans_;
    hits.push_back(std::move(hit));
}

}  // namespace chatlog
