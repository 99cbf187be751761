#pragma once
// Where a room's chat log lives on disk and how its last lines are read back.
// Room names come from the server, so they are turned into file names that can
// never leave the logs folder and that never let two rooms share a file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace chatlog {

// Longest file-name stem made from a name, in bytes; longer names are cut and marked.
inline constexpr std::size_t MaxStemBytes = 120;

// The folder of one server's logs: "address_port", made safe like a room name.
std::string ServerFolderName(std::string_view addressCp932, int port);

// The room's file-name stem, from the room name as the server sends it (CP932):
// UTF-8, with "/", "\", control characters, a leading dot and the characters
// other systems refuse written as %XX. Distinct names give distinct stems: a name
// that is empty, cut to length or not valid CP932 gets "%~" and a hash, which an
// escaped name can never contain.
std::string RoomFileStem(std::string_view roomNameCp932);

// "<stem>_YYYY-MM.log".
std::string MonthFileName(std::string_view stem, int year, int month);

// The one rule for what is a month file, used by everything that reads the logs:
// a name as MonthFileName writes it (a stem of at least one byte, four digits, a
// month 01 to 12), split into its parts. False for any other name.
bool ParseMonthFileName(std::string_view name, std::string_view& stem, int& year, int& month);
// Whether name is one of the stem's month files.
bool IsMonthFileOf(std::string_view name, std::string_view stem);

// The local date and time of `time` (seconds since the epoch) as a log line's
// prefix, "YYYY-MM-DD HH:MM:SS ", with its year and month.
struct LocalStamp {
    int Year = 1970;
    int Month = 1;
    std::string Text;
};
LocalStamp StampOf(std::int64_t time);

// The longest line the program writes, in bytes: the stamp, a name and a chat
// text of the widest characters. A line read back is cut to this, then "…".
inline constexpr std::size_t MaxLineBytes = 1024;

// A line read back from a log, made fit to show: cut as above, with U+FFFD for
// each NUL and for each part that is not UTF-8 (one per maximal ill-formed part,
// as the toolkit decodes), and without a CR at its end.
std::string RestoredLine(std::string_view bytes);

// How far back from the end reading the last `count` lines may look: room for that
// many of the longest lines. A longer run without a line break (a damaged end, a
// foreign file) gives fewer lines instead of a longer wait.
inline constexpr std::uint64_t LookBackBytes(std::size_t count)
{
    return (static_cast<std::uint64_t>(count) + 1) * MaxLineBytes;
}

// Up to `count` last lines of the file, oldest first, without line ends and made
// fit to show as RestoredLine does; reads backwards from the end, at most
// LookBackBytes(count), so a large file costs no more than a small one. A link
// or anything but a regular file gives nothing.
std::vector<std::string> ReadLastLines(const std::filesystem::path& file, std::size_t count);

// Up to `count` last lines of a room's logs in serverFolder, over its monthly
// files from the newest back, oldest first, looking back LookBackBytes(count) in
// all. Folders and files are opened as LogPlaces.h says; a refused one gives nothing.
std::vector<std::string> ReadRoomTail(const std::filesystem::path& serverFolder, std::string_view stem,
                                      std::size_t count);

}  // namespace chatlog
