#include "LogPlaces.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace chatlog {

UniqueFd::~UniqueFd()
{
    if (fd_ >= 0)
        ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

int UniqueFd::Release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

namespace {

Fault Check(const struct stat& st, bool folder)
{
    if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode))
        return Fault::WrongKind;
    if (st.st_uid != ::geteuid())
        return Fault::NotOwn;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return Fault::OthersCanWrite;
    return Fault::None;
}

// Opens name in the folder dirFd (AT_FDCWD: name is a whole path) without following
// a link at its last part, and checks what it opened.
OpenedPlace OpenChecked(int dirFd, const std::filesystem::path& name, int flags, Place where,
                        const std::filesystem::path& shownPath)
{
    const bool folder = where != Place::File;
    OpenedPlace opened;
    opened.Problem.Where = where;
    opened.Problem.Path = shownPath.string();
    // Non-blocking, so a planted FIFO cannot hold the open; it is refused below.
    opened.Fd = UniqueFd(::openat(dirFd, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!opened.Fd) {
        const int error = errno;
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(st.st_mode)) {
                opened.Problem.Why = Fault::Link;
                return opened;
            }
            // A socket is not opened at all (ENXIO), yet it is refused like a FIFO.
            if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) {
                opened.Problem.Why = Fault::WrongKind;
                return opened;
            }
        }
        opened.Problem.Error = error;
        return opened;
    }
    struct stat st {};
    if (::fstat(opened.Fd.Get(), &st) != 0) {
        opened.Problem.Error = errno;
        opened.Fd = UniqueFd();
        return opened;
    }
    opened.Problem.Why = Check(st, folder);
    if (opened.Problem.Why != Fault::None)
        opened.Fd = UniqueFd();
    return opened;
}

}  // namespace

int MakeFolders(const std::filesystem::path& folder)
{
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

OpenedPlace OpenLogsFolder(const std::filesystem::path& logsFolder)
{
    return OpenChecked(AT_FDCWD, logsFolder.empty() ? "." : logsFolder, O_RDONLY | O_DIRECTORY, Place::LogsFolder,
                       logsFolder);
}

OpenedPlace OpenServerFolder(const std::filesystem::path& serverFolder, bool create)
{
    const std::filesystem::path logsFolder = serverFolder.parent_path();
    const std::filesystem::path serverName = serverFolder.filename();
    if (create) {
        if (const int error = MakeFolders(logsFolder)) {
            OpenedPlace failed;
            failed.Problem = {Place::LogsFolder, Fault::None, error, logsFolder.string()};
            return failed;
        }
    }
    OpenedPlace logs =
        OpenChecked(AT_FDCWD, logsFolder.empty() ? "." : logsFolder, O_RDONLY | O_DIRECTORY, Place::LogsFolder, logsFolder);
    if (!logs.Fd)
        return logs;
    if (create && ::mkdirat(logs.Fd.Get(), serverName.c_str(), 0700) != 0 && errno != EEXIST) {
        OpenedPlace failed;
        failed.Problem = {Place::ServerFolder, Fault::None, errno, serverFolder.string()};
        return failed;
    }
    return OpenChecked(logs.Fd.Get(), serverName, O_RDONLY | O_DIRECTORY, Place::ServerFolder, serverFolder);
}

OpenedPlace OpenLogFile(int serverFolderFd, const std::filesystem::path& serverFolder, const std::string& name,
                        bool append)
{
    const int flags = append ? O_RDWR | O_APPEND | O_CREAT : O_RDONLY;
    return OpenChecked(serverFolderFd, name, flags, Place::File, serverFolder / name);
}

}  // namespace chatlog
