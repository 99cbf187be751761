#pragma once
// A room's logged lines read backwards, a page at a time, from a point fixed
// when the pager is made (what was on disk then) back to the oldest month.
// The files are the room's monthly files found in the server's folder by name;
// nothing read from them picks a path, and folders and files are opened as
// LogPlaces.h says. Every line is untrusted and shown as the restored lines
// are (RestoredLine: U+FFFD for what is not UTF-8, cut after MaxLineBytes with
// "…"). Reading back over a line costs what its bytes cost, in bounded memory,
// however long the line is. Not thread-safe: one reader at a time, though any
// thread may Cancel the read that runs.

#include "ChatLogFiles.h"
#include "LogPlaces.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace chatlog {

// A raw line of a log as it is shown, from no more of it than that needs.
inline std::string ShownLine(std::string_view raw)
{
    // More bytes than fit always come out cut, with the "…".
    return RestoredLine(raw.substr(0, MaxLineBytes + 4));
}

// The most of one line a read on the GUI thread looks at: a damaged log
// (gigabytes without a line end) costs it a few reads of this size at most.
inline constexpr std::uint64_t GuiScanBytes = 64 * 1024;

// The months of a room's log in serverFolder, newest first (file names only).
std::vector<std::string> RoomMonthFiles(const std::filesystem::path& serverFolder, std::string_view stem);

// Up to `count` lines of a log file from byte `offset` on (which should start a
// line), shown as above. The file is opened as LogPlaces.h says (in its server's
// folder). With a scanLimit, a longer run without a line end comes out as
// pieces of that many bytes, each a line, so a damaged log costs a bounded time.
std::vector<std::string> ReadLinesFrom(const std::filesystem::path& file, std::uint64_t offset, std::size_t count,
                                       std::uint64_t scanLimit = 0);

class HistoryPager {
public:
    // Where reading stands: in the File-th month from the newest, before byte Offset.
    struct Position {
        std::size_t File = 0;
        std::uint64_t Offset = 0;
        bool operator==(const Position&) const = default;
    };

    HistoryPager(std::filesystem::path serverFolder, std::string_view stem);
    ~HistoryPager();
    HistoryPager(const HistoryPager&) = delete;
    HistoryPager& operator=(const HistoryPager&) = delete;

    // Up to `count` lines before the position, oldest first, and the position
    // moves back over them. Empty only at the start of the oldest month.
    std::vector<std::string> Older(std::size_t count);
    bool AtStart() const;

    Position Where() const { return pos_; }
    // The server folder read from.
    const std::filesystem::path& Folder() const { return folder_; }
    // Also forgets a Cancel.
    void Seek(Position pos)
    {
        pos_ = pos;
        cancel_ = false;
    }
    // Ends the read that runs (on another thread) at its next block, and every
    // read after it at once, until a Seek: a long damaged line is not read to
    // its end for a page nobody waits for. The place is then somewhere in between.
    void Cancel() { cancel_ = true; }
    // Reading over one line looks at no more than `bytes` of it (0: no bound): a
    // longer run without a line end comes out as pieces of that size, each a
    // line. For reads on the GUI thread, so a damaged log costs a bounded time there.
    void SetScanLimit(std::uint64_t bytes) { scanLimit_ = bytes; }
    // Places the pager just after the line that starts at `offset` in the month
    // file of that name, so the next page ends with that line. False (and the
    // pager stays) when the pager has no such file or the offset is past what
    // it reads. With a scanLimit (for a seek on the GUI thread) it looks no
    // further into the line than that, nor than the pager's own limit. shown,
    // when given, gets the line read there as it is shown (ShownLine), so that
    // the caller can tell it is the line it means; empty when offset starts no line.
    bool SeekAfterLine(std::string_view fileName, std::uint64_t offset, std::uint64_t scanLimit = 0,
                       std::string* shown = nullptr);
    // Whether a place is older than another (reading backwards reaches it later).
    static bool Before(Position a, Position b)
    {
        return a.File != b.File ? a.File > b.File : a.Offset < b.Offset;
    }

private:
    // The offset of the last line end before `end` in the open file, or -1; -2
    // when the file cannot be read there, -3 when the read is cancelled.
    std::int64_t LineEndBefore(std::uint64_t end);
    bool OpenFile(std::size_t index);

    std::filesystem::path folder_;
    UniqueFd folderFd_;
    std::vector<std::string> files_;      // newest first
    std::vector<std::uint64_t> sizes_;    // each file's size when the pager was made
    Position pos_;
    std::size_t openIndex_ = static_cast<std::size_t>(-1);
    int fd_ = -1;
    std::string block_;                   // bytes [blockStart_, blockStart_ + size) of the open file
    std::uint64_t blockStart_ = 0;
    std::atomic<bool> cancel_{false};
    std::uint64_t scanLimit_ = 0;
};

}  // namespace chatlog
