#pragma once
// Searching every logged line: the month files of the logs folder, newest month
// first, matched with the find bar's folding (width, case, look-alikes). The
// files are found by their names in the folders; nothing read from them picks
// a path. Lines are cleaned as untrusted before they are shown.

#include "DayLine.h"
#include "TextSearch.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chatlog {

// One month file of one room of one server.
struct LogFile {
    std::filesystem::path Path;
    std::string Server;   // the server folder's name ("address_port")
    std::string Stem;     // the room's file-name stem
    int Year = 0;
    int Month = 0;
};

// What to search and where.
struct LogQuery {
    std::string Text;                   // UTF-8, as typed
    std::string Server;                 // a server folder's name; empty: every server
    std::string Stem;                   // a room's stem; empty: every room
    std::optional<LocalDate> From, To;  // the days searched, both included
};

// One line that matched.
struct LogHit {
    std::size_t File = 0;         // in the list searched
    std::uint64_t Offset = 0;     // where the line starts in its file
    std::string Stamp;            // "YYYY-MM-DD HH:MM:SS", empty when the line has none
    std::string Text;             // the line after its stamp, cleaned
    std::vector<TextMatch> Spans; // the matches in Text
    // The order of the results: newest first; a line without a stamp counts as its month's start.
    std::string SortKey(const LogFile& file) const;
};

// The room's name as its stem reads, with the escapes undone (for the user).
std::string RoomOfStem(std::string_view stem);

// The month files under logsFolder that the query's server, room and dates
// allow, newest month first, then by server and room.
std::vector<LogFile> ListLogFiles(const std::filesystem::path& logsFolder, const LogQuery& query);

// Calls onLine(offset, line) for every line of bytes, in order: without its
// line end; the last line also when no line end closes it.
void SplitLines(std::string_view bytes, const std::function<void(std::size_t, std::string_view)>& onLine);

// Searches one file after another. The whole text of a file is folded once and
// searched for the folded query; a line found so is confirmed, and its spans
// taken, by the find bar's own line search on the cleaned line.
class LogSearcher {
public:
    explicit LogSearcher(std::string_view query);
    bool Empty() const { return search_.Empty(); }

    // The hits of one file, newest (last) line first, appended to hits. Reads in
    // pieces of bounded size; stops early when cancel is set. Returns the bytes read.
    std::uint64_t SearchFile(const LogFile& file, std::size_t fileIndex, const LogQuery& query,
                             const std::atomic<bool>& cancel, std::vector<LogHit>& hits);

private:
    void SearchPiece(std::string_view piece, std::uint64_t pieceOffset, std::size_t fileIndex, const LogQuery& query,
                     std::vector<LogHit>& hits);
    // Cleans one line, and keeps it when its message matches on a day asked for.
    void TryLine(std::string_view raw, std::uint64_t offset, std::size_t fileIndex, const LogQuery& query,
                 std::vector<LogHit>& hits);

    // The raw forms (UTF-8 bytes) of the query's rarest character: every line
    // the query matches holds one of them, so only such lines are folded.
    void ChooseAnchor();

    TextSearch search_;
    bool everyLine_ = false;
    std::vector<std::string> anchors_;   // empty: fold every piece whole
    std::string needle_;   // folded
    std::string folded_;   // a piece, folded
    std::vector<TextMatch> spans_;
};

}  // namespace chatlog
