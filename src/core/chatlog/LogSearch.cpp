#include "LogSearch.h"

#include "HistoryPager.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <tuple>
#include <unistd.h>

namespace chatlog {

namespace {

// Bytes read and folded at a time: a file costs no more memory than this, whatever its size.
constexpr std::size_t PieceBytes = 4 * 1024 * 1024;

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

std::vector<LogFile> ListLogFiles(const std::filesystem::path& logsFolder, const LogQuery& query,
                                  std::vector<PlaceProblem>* refused)
{
    std::vector<LogFile> files;
    std::vector<PlaceProblem> problems;
    // A place that is gone (no logs yet, or removed while listed) is nothing to tell.
    const auto refuse = [&](const PlaceProblem& problem) {
        if (problem.Why != Fault::None || problem.Error != ENOENT)
            problems.push_back(problem);
    };
    const OpenedPlace logs = OpenLogsFolder(logsFolder);
    if (!logs.Fd)
        refuse(logs.Problem);
    std::error_code error;
    for (std::filesystem::directory_iterator server = logs.Fd ? std::filesystem::directory_iterator(logsFolder, error)
                                                              : std::filesystem::directory_iterator(),
                                             end;
         !error && server != end; server.increment(error)) {
        std::error_code statError;
        if (!server->is_directory(statError) && !server->is_symlink(statError))
            continue;   // a stray file is no server's folder
        const std::string serverName = server->path().filename().string();
        if (!query.Server.empty() && serverName != query.Server)
            continue;
        const OpenedPlace folder = OpenServerFolder(server->path(), false);
        if (!folder.Fd) {
            refuse(folder.Problem);
            continue;
        }
        std::error_code inner;
        for (std::filesystem::directory_iterator it(server->path(), inner), last; !inner && it != last;
             it.increment(inner)) {
            LogFile file;
            const std::string name = it->path().filename().string();
            std::string_view stem;
            if (!ParseMonthFileName(name, stem, file.Year, file.Month))
                continue;
            file.Stem = std::string(stem);
            if ((!query.Stem.empty() && file.Stem != query.Stem) || !MonthInRange(file.Year, file.Month, query))
                continue;
            // Opened and checked as the search will open it: a refused file is told now, not skipped later.
            const OpenedPlace opened = OpenLogFile(folder.Fd.Get(), server->path(), name, false);
            if (!opened.Fd) {
                refuse(opened.Problem);
                continue;
            }
            file.Path = it->path();
            file.Server = serverName;
            files.push_back(std::move(file));
        }
    }
    if (refused != nullptr) {
        std::sort(problems.begin(), problems.end(),
                  [](const PlaceProblem& a, const PlaceProblem& b) { return a.Path < b.Path; });
        *refused = std::move(problems);
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

// Lines read as they are shown, without a copy: no NUL, nothing that is not
// UTF-8, no CR at the end, not so long that it is cut.
bool ShownAsIs(std::string_view raw)
{
    if (raw.size() > MaxLineBytes || (!raw.empty() && raw.back() == '\r'))
        return false;
    for (std::size_t i = 0; i < raw.size();) {
        const auto b = static_cast<unsigned char>(raw[i]);
        if (b >= 0x20 && b < 0x80) {
            ++i;
            continue;
        }
        if (b == 0)
            return false;
        if (b < 0x80) {
            ++i;
            continue;
        }
        const std::size_t n = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
        if (n == 0 || i + n > raw.size())
            return false;
        const auto b1 = static_cast<unsigned char>(raw[i + 1]);
        // The second byte's range rules out overlong forms, surrogates and what lies past U+10FFFF.
        const unsigned char low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        if (b1 < low || b1 > high)
            return false;
        for (std::size_t k = 2; k < n; ++k) {
            if ((static_cast<unsigned char>(raw[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += n;
    }
    return true;
}

HitKey KeyOf(std::string_view line, bool stamped, const LogFile& file)
{
    HitKey key{};
    if (stamped) {
        std::copy_n(line.begin(), key.size(), key.begin());
    } else {
        char month[16];
        std::snprintf(month, sizeof month, "%04d-%02d-00", std::clamp(file.Year, 0, 9999), std::clamp(file.Month, 0, 99));
        std::copy_n(month, 10, key.begin());
    }
    return key;
}

// The anchor is chosen on this much of the first pieces searched.
constexpr std::size_t SampleBytes = 256 * 1024;

}  // namespace

std::string LogHit::SortKey(const LogFile&) const
{
    return std::string(Key.data(), std::find(Key.begin(), Key.end(), '\0'));
}

LogSearcher::LogSearcher(std::string_view query, std::size_t keep)
    : search_(query), needle_(FoldForMatch(query)), keep_(keep)
{
    // What cleaning puts into a line (the replacement character, the "…" of a cut)
    // is not in its bytes: such a query is tried on every cleaned line.
    // So is a query that is not UTF-8: its bytes may match inside those characters.
    everyLine_ = needle_.find("\xEF\xBF\xBD") != std::string::npos ||
                 needle_.find("\xE2\x80\xA6") != std::string::npos || RawFormsAt(needle_, 0).empty();
    // A line that holds the folded query as it is matches: each of its characters
    // folds to itself, and none joins a neighbour (only half-width kana and
    // marks do, and a folded text has none). Most hits are found so, unfolded.
    literal_ = !everyLine_ && FoldForMatch(needle_) == needle_;
    if (!everyLine_)
        ListAnchors();
    if (anchors_.empty())
        everyLine_ = true;   // no anchor fits: every line is matched
}

void LogSearcher::ListAnchors()
{
    std::vector<std::string_view> characters;
    std::vector<std::vector<std::string>> singles;
    for (std::size_t at = 0; at < needle_.size() && characters.size() < 16;) {
        std::size_t length = 1;
        while (at + length < needle_.size() && (static_cast<unsigned char>(needle_[at + length]) & 0xC0) == 0x80)
            ++length;
        characters.push_back(std::string_view(needle_).substr(at, length));
        singles.push_back(RawFormsAt(needle_, at));
        at += length;
    }
    std::vector<std::vector<std::string>> listed;
    const auto add = [&](std::vector<std::string> forms) {
        if (forms.empty() || forms.size() > 64 || std::find(listed.begin(), listed.end(), forms) != listed.end())
            return;
        listed.push_back(forms);
        anchors_.emplace_back().SetForms(std::move(forms));
    };
    for (std::size_t k = 0; k < characters.size(); ++k) {
        add(singles[k]);
        if (k + 1 < characters.size())
            add(RawFormsOfPair(characters[k], singles[k], characters[k + 1], singles[k + 1]));
    }
}

void LogSearcher::ChooseAnchor(std::string_view sample)
{
    // A small first file is a poor sample: choose again on a later piece twice
    // as large, until one was large enough.
    if (sampled_ > 0 && sample.size() < 2 * sampled_)
        return;
    sampled_ = sample.size();
    anchorChosen_ = sample.size() >= SampleBytes;
    // Each character of the query, and each pair side by side, is tried on the
    // sample: what its scan costs (its probes over every byte) and what its
    // lines cost (each folded and matched). The cheapest is the anchor.
    constexpr std::size_t ProbeCost = 3;     // a probe over 16 bytes
    constexpr std::size_t LineCost = 600;    // a line folded and matched
    std::size_t best = static_cast<std::size_t>(-1);
    for (const FormScanner& anchor : anchors_) {
        const std::size_t cost =
            anchor.Probes() * ProbeCost * (sample.size() / 16 + 1) + anchor.CountLines(sample) * LineCost;
        if (cost < best) {
            best = cost;
            scanner_ = anchor;
        }
    }
}

bool LogSearcher::Wants(const HitKey& key) const
{
    if (keep_ == 0)
        return false;
    return newest_.size() < keep_ || key > newest_.front();
}

std::uint64_t LogSearcher::SearchFile(const LogFile& file, std::size_t fileIndex, const LogQuery& query,
                                      const std::atomic<bool>& cancel, std::vector<LogHit>& hits,
                                      const std::function<void(std::uint64_t)>& onPiece)
{
    if (needle_.empty())
        return 0;
    // The files of one server come one after another: its folder is opened and checked once.
    if (!folder_.Fd || folderPath_ != file.Path.parent_path()) {
        folderPath_ = file.Path.parent_path();
        folder_ = OpenServerFolder(folderPath_, false);
    }
    if (!folder_.Fd) {
        refused_.push_back(folder_.Problem);
        return 0;
    }
    const OpenedPlace opened = OpenLogFile(folder_.Fd.Get(), folderPath_, file.Path.filename().string(), false);
    if (!opened.Fd) {
        refused_.push_back(opened.Problem);
        return 0;
    }
    const int fd = opened.Fd.Get();
    std::size_t first = hits.size();
    std::string& piece = piece_;
    piece.clear();
    std::uint64_t pieceOffset = 0;   // the file offset of piece[0]
    bool skipping = false;           // inside a line too long for a piece, already searched
    // A small file is read whole in one go, into no more room than it needs.
    struct stat st {};
    const std::uint64_t fileSize = ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : PieceBytes;
    // The buffer is kept from file to file, grown when a larger file needs it.
    const auto wanted = static_cast<std::size_t>(std::clamp<std::uint64_t>(fileSize + 1, 1, PieceBytes));
    if (buffer_.size() < wanted)
        buffer_.resize(wanted);
    std::string_view buffer(buffer_.data(), wanted);
    std::uint64_t read = 0;
    // What a piece found goes to whoever waits for it, newest first.
    const auto search = [&](std::string_view bytes, std::uint64_t at) {
        SearchPiece(bytes, at, fileIndex, file, query, hits);
        if (!onPiece)
            return;
        std::reverse(hits.begin() + static_cast<std::ptrdiff_t>(first), hits.end());
        onPiece(read);
        first = hits.size();
    };
    while (!cancel.load(std::memory_order_relaxed)) {
        const ssize_t got = ::read(fd, buffer_.data(), buffer.size());
        if (got <= 0) {
            if (!piece.empty() && !skipping)
                search(piece, pieceOffset);
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
        // The whole of a small file is searched where it was read.
        if (piece.empty() && static_cast<std::uint64_t>(got) == fileSize && pieceOffset == 0 && !fresh.empty() &&
            fresh.back() == '\n') {
            search(fresh.substr(0, fresh.size() - 1), pieceOffset);
            pieceOffset += fresh.size();
            continue;
        }
        piece.append(fresh);
        const std::size_t lastBreak = piece.rfind('\n');
        if (lastBreak == std::string::npos) {
            if (piece.size() >= PieceBytes) {
                // One line longer than a piece: searched as far as it goes, the rest skipped.
                search(piece, pieceOffset);
                pieceOffset += piece.size();
                piece.clear();
                skipping = true;
            }
            continue;
        }
        search(std::string_view(piece).substr(0, lastBreak), pieceOffset);
        pieceOffset += lastBreak + 1;
        piece.erase(0, lastBreak + 1);
    }
    std::reverse(hits.begin() + static_cast<std::ptrdiff_t>(first), hits.end());
    return read;
}

void LogSearcher::SearchPiece(std::string_view piece, std::uint64_t pieceOffset, std::size_t fileIndex,
                              const LogFile& file, const LogQuery& query, std::vector<LogHit>& hits)
{
    if (!everyLine_ && !anchorChosen_)
        ChooseAnchor(piece.substr(0, SampleBytes));
    kept_.clear();
    if (everyLine_) {
        SplitLines(piece, [&](std::size_t at, std::string_view raw) { TryLine(piece, at, at + raw.size(), file, query); });
    } else {
        // Lines holding a raw form of the anchor, each once, in order.
        std::size_t lineStart = 0;
        for (std::size_t at = scanner_.Next(piece, 0); at != std::string_view::npos;) {
            const void* before = at > lineStart ? ::memrchr(piece.data() + lineStart, '\n', at - lineStart) : nullptr;
            if (before != nullptr)
                lineStart = static_cast<std::size_t>(static_cast<const char*>(before) - piece.data()) + 1;
            const void* after = ::memchr(piece.data() + at, '\n', piece.size() - at);
            const std::size_t lineEnd =
                after == nullptr ? piece.size() : static_cast<std::size_t>(static_cast<const char*>(after) - piece.data());
            TryLine(piece, lineStart, lineEnd, file, query);
            if (after == nullptr)
                break;
            lineStart = lineEnd + 1;
            at = scanner_.Next(piece, lineStart);
        }
    }
    // What is still among the newest once the whole piece is seen becomes a hit.
    for (const Kept& line : kept_) {
        if (newest_.empty() || line.Key < newest_.front())
            continue;
        LogHit hit;
        hit.File = fileIndex;
        hit.Offset = pieceOffset + line.Start;
        hit.Key = line.Key;
        const std::string shown = ShownLine(piece.substr(line.Start, line.End - line.Start));
        const bool stamped = HasStamp(shown);
        const std::string_view text = stamped ? std::string_view(shown).substr(20) : std::string_view(shown);
        search_.FindInLine(text, 0, hit.Spans);
        if (hit.Spans.empty())
            continue;   // cannot be: the line matched
        if (stamped)
            hit.Stamp = shown.substr(0, 19);
        hit.Text = std::string(text);
        hits.push_back(std::move(hit));
    }
}

void LogSearcher::TryLine(std::string_view piece, std::size_t start, std::size_t end, const LogFile& file,
                          const LogQuery& query)
{
    // The line as it is shown; most lines are so already and are not copied.
    // (A damaged byte inside a stamp makes it no stamp once shown.)
    const std::string_view raw = piece.substr(start, end - start);
    std::string_view line = raw;
    if (!ShownAsIs(raw)) {
        shown_ = ShownLine(raw);
        line = shown_;
    }
    const bool stamped = HasStamp(line);
    if (stamped && (query.From || query.To) && !DayInRange(*DateOfLogLine(line), query))
        return;
    const std::string_view message = stamped ? line.substr(20) : line;
    if ((!literal_ || ::memmem(message.data(), message.size(), needle_.data(), needle_.size()) == nullptr) &&
        search_.CountInLine(message) == 0)
        return;
    ++found_;
    const HitKey key = KeyOf(line, stamped, file);
    if (!Wants(key))
        return;
    if (newest_.size() >= keep_) {
        std::pop_heap(newest_.begin(), newest_.end(), std::greater<>());
        newest_.pop_back();
    }
    newest_.push_back(key);
    std::push_heap(newest_.begin(), newest_.end(), std::greater<>());
    kept_.push_back({start, end, key});
}

}  // namespace chatlog
