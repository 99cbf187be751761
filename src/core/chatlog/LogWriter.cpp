#include "LogWriter.h"

#include "ChatLogFiles.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

LogWriter::LogWriter(FailureHandler onFailure, std::chrono::milliseconds interval)
    : onFailure_(std::move(onFailure)), interval_(interval), thread_([this] { Run(); })
{
}

LogWriter::~LogWriter()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void LogWriter::Append(std::shared_ptr<const LogTarget> target, std::int64_t time, std::string_view text)
{
    std::unique_lock lock(mutex_);
    ++appended_;
    if (waitingBytes_ + text.size() > MaxWaitingBytes) {
        ++done_;
        if (!failed_) {
            failed_ = true;
            // Reported from the caller's thread: the writer may be the one stuck.
            if (onFailure_)
                onFailure_((target->Folder / target->Stem).string(), ENOSPC);
        }
        return;
    }
    waitingBytes_ += text.size();
    waiting_.push_back({std::move(target), time, std::string(text)});
    if (waitingBytes_ >= EarlyWriteBytes && !flushNow_) {
        flushNow_ = true;
        lock.unlock();
        wake_.notify_one();
    }
}

void LogWriter::FlushSoon()
{
    {
        std::lock_guard lock(mutex_);
        flushNow_ = true;
    }
    wake_.notify_one();
}

bool LogWriter::FlushAndWait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    const std::uint64_t goal = appended_;
    flushNow_ = true;
    wake_.notify_one();
    return written_.wait_for(lock, timeout, [&] { return done_ >= goal; });
}

void LogWriter::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, interval_, [this] { return stop_ || flushNow_; });
        flushNow_ = false;
        const bool last = stop_;
        std::vector<Line> batch;
        batch.swap(waiting_);
        waitingBytes_ = 0;
        lock.unlock();
        WriteBatch(batch);
        lock.lock();
        done_ += batch.size();
        written_.notify_all();
        if (last && waiting_.empty())
            return;
    }
}

void LogWriter::WriteBatch(std::vector<Line>& batch)
{
    // One write per file and batch, in the order the lines came.
    std::map<std::filesystem::path, std::string> files;
    std::vector<const std::filesystem::path*> order;
    chatlog::LocalStamp stamp;
    std::optional<std::int64_t> stampTime;
    for (const Line& line : batch) {
        if (line.Time != stampTime) {   // a flood shares its second: one conversion for all
            stamp = chatlog::StampOf(line.Time);
            stampTime = line.Time;
        }
        const std::filesystem::path path =
            line.Target->Folder / chatlog::MonthFileName(line.Target->Stem, stamp.Year, stamp.Month);
        auto [it, added] = files.try_emplace(path);
        if (added)
            order.push_back(&it->first);
        it->second += stamp.Text;
        it->second += line.Text;
        it->second += '\n';
    }
    for (const std::filesystem::path* path : order)
        WriteFile(*path, files[*path]);
}

namespace {

// Creates the missing folders of the path, readable by the user alone.
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

}  // namespace

bool LogWriter::WriteFile(const std::filesystem::path& path, std::string& bytes)
{
    const std::string name = path.string();
    const auto cut = std::find(cutShort_.begin(), cutShort_.end(), name);
    if (cut != cutShort_.end())
        bytes.insert(0, 1, '\n');
    if (const int error = MakeFolders(path.parent_path())) {
        Fail(name, error);
        return false;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        Fail(name, errno);
        return false;
    }
    std::size_t sent = 0;
    int error = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        sent += static_cast<std::size_t>(n);
    }
    ::close(fd);
    // Remember whether the file now ends inside a line; nothing written changes nothing.
    if (sent > 0) {
        const bool midLine = bytes[sent - 1] != '\n';
        if (!midLine && cut != cutShort_.end())
            cutShort_.erase(cut);
        else if (midLine && cut == cutShort_.end())
            cutShort_.push_back(name);
    }
    if (error != 0) {
        Fail(name, error);
        return false;
    }
    return true;
}

void LogWriter::Fail(const std::string& path, int error)
{
    {
        std::lock_guard lock(mutex_);
        if (failed_)
            return;
        failed_ = true;
    }
    if (onFailure_)
        onFailure_(path, error);
}
