#pragma once
// Opening the chat logs' folders and files so that nobody else can steer them.
// No symbolic link is followed at the logs folder, a server's folder or a log
// file, and each of them must be the user's own and writable by nobody else:
// otherwise another user who can plant a link or a file there could make the
// chat go into one of the user's files, or put words into the restored lines.
// The folders above the logs folder are the user's choice and are taken as they are.

#include <cstdint>
#include <filesystem>
#include <string>

namespace chatlog {

// Owns one file descriptor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int Release();

private:
    int fd_ = -1;
};

enum class Place : std::uint8_t { LogsFolder, ServerFolder, File };

// Why a place is refused; None when it was not refused (an errno stopped it instead).
enum class Fault : std::uint8_t { None, Link, NotOwn, OthersCanWrite, WrongKind };

struct PlaceProblem {
    Place Where = Place::File;
    Fault Why = Fault::None;
    int Error = 0;      // the errno when nothing was refused
    std::string Path;   // the place refused, or the log file when an errno stopped it
};

// An open place, or why there is none.
struct OpenedPlace {
    UniqueFd Fd;
    PlaceProblem Problem;
};

// Creates the folder and the missing ones above it, readable by the user alone;
// 0 or the errno.
int MakeFolders(const std::filesystem::path& folder);

// The logs folder, checked as above (for reading what is in it).
OpenedPlace OpenLogsFolder(const std::filesystem::path& logsFolder);

// The folder of a server's logs, whose parent is the logs folder; both are checked.
// With create, the missing ones are made first.
OpenedPlace OpenServerFolder(const std::filesystem::path& serverFolder, bool create);

// A log file in a server folder opened above: for appending and reading (made,
// the user's alone, when missing) or for reading only.
OpenedPlace OpenLogFile(int serverFolderFd, const std::filesystem::path& serverFolder, const std::string& name,
                        bool append);

}  // namespace chatlog
