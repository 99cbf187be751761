#pragma once
// Searching every logged line: the month files of the logs folder, newest month
// first, matched with the find bar's folding (width, case, look-alikes). The
// files are found by their names in the folders; nothing read from them picks
// a path. Lines are cleaned as untrusted before they are shown.

#include "DayLine.h"
#include "LineScanner.h"
#include "LogPlaces.h"
#include "TextSearch.h"

#include <array>
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

// The order of the results, newest last: a line's stamp "YYYY-MM-DD HH:MM:SS",
// or for a line without one its month's start "YYYY-MM-00" (the rest zero bytes).
// Unsigned, so that a damaged stamp ranks by its bytes as a string of them does.
using HitKey = std::array<unsigned char, 19>;

// One line that matched.
struct LogHit {
    std::size_t File = 0;         // in the list searched
    std::uint64_t Offset = 0;     // where the line starts in its file
    HitKey Key{};
    std::string Stamp;            // "YYYY-MM-DD HH:MM:SS", empty when the line has none
    std::string Text;             // the line after its stamp, cleaned
    std::vector<TextMatch> Spans; // the matches in Text
    // Key as text.
    std::string SortKey(const LogFile& file) const;
};

// The room's name as its stem reads, with the escapes undone (for the user).
std::string RoomOfStem(std::string_view stem);

// The month files under logsFolder that the query's server, room and dates
// allow, newest month first, then by server and room. Folders and files are
// opened as LogPlaces.h says; each one refused (or that cannot be read) is left
// out and, with refused given, told there, as the writer tells the places it
// refuses, ordered by path.
std::vector<LogFile> ListLogFiles(const std::filesystem::path& logsFolder, const LogQuery& query,
                                  std::vector<PlaceProblem>* refused = nullptr);

// Calls onLine(offset, line) for every line of bytes, in order: without its
// line end; the last line also when no line end closes it.
void SplitLines(std::string_view bytes, const std::function<void(std::size_t, std::string_view)>& onLine);

// Searches one file after another, and keeps of what it finds only the
// newest `keep` lines so far (a common word can match millions): the others are
// counted. Only lines that hold a raw form of the query's rarest character are
// folded and matched, by the find bar's own line search, on the line as it is
// shown. Not thread-safe: one search, one thread.
class LogSearcher {
public:
    static constexpr std::size_t KeepAll = static_cast<std::size_t>(-1);
    explicit LogSearcher(std::string_view query, std::size_t keep = KeepAll);
    bool Empty() const { return search_.Empty(); }

    // The hits of one file that are among the newest kept so far, newest (last)
    // line first, appended to hits. A later file may hold newer ones: whoever
    // gathers the hits keeps the newest `keep` of all it was given. Reads in
    // pieces of bounded size; stops early when cancel is set. Returns the bytes read.
    // With onPiece, a large file's hits are handed over as they are found: it is
    // called after each piece with the file's bytes read so far, and may take the
    // hits (each piece's newest first; a later piece's are newer).
    std::uint64_t SearchFile(const LogFile& file, std::size_t fileIndex, const LogQuery& query,
                             const std::atomic<bool>& cancel, std::vector<LogHit>& hits,
                             const std::function<void(std::uint64_t)>& onPiece = {});
    // Every line found so far, kept or not.
    std::uint64_t Found() const { return found_; }
    // The files that could not be opened when their turn came (changed since they were listed).
    const std::vector<PlaceProblem>& Refused() const { return refused_; }

private:
    // A line that matched and was among the newest then.
    struct Kept {
        std::size_t Start, End;   // in the piece
        HitKey Key;
    };
    void SearchPiece(std::string_view piece, std::uint64_t pieceOffset, std::size_t fileIndex, const LogFile& file,
                     const LogQuery& query, std::vector<LogHit>& hits);
    void TryLine(std::string_view piece, std::size_t start, std::size_t end, const LogFile& file,
                 const LogQuery& query);
    bool Wants(const HitKey& key) const;
    // The characters of the query and the pairs side by side that may anchor the search.
    void ListAnchors();
    // Of these, the cheapest to search a sample of the logs with.
    void ChooseAnchor(std::string_view sample);

    TextSearch search_;
    std::string needle_;   // folded
    bool everyLine_ = false;
    bool literal_ = false;   // a line holding needle_ as it is matches
    bool anchorChosen_ = false;
    std::size_t sampled_ = 0;   // the bytes the anchor was last chosen on
    std::vector<FormScanner> anchors_;
    FormScanner scanner_;       // the one chosen
    std::size_t keep_;
    std::uint64_t found_ = 0;
    std::vector<HitKey> newest_;   // a min-heap: the keys of the newest lines kept
    std::vector<Kept> kept_;       // of the piece being searched
    std::string shown_;            // scratch
    std::string buffer_;           // what a read gives, kept from file to file
    std::string piece_;            // lines across reads
    // The server folder last opened, kept while its files are searched.
    std::filesystem::path folderPath_;
    OpenedPlace folder_;
    std::vector<PlaceProblem> refused_;
};

}  // namespace chatlog
