#include "LogWriter.h"

#include "ChatLogFiles.h"

#include <algorithm>
#include <cerrno>
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
            if (onFailure_) {
                const chatlog::LocalStamp stamp = chatlog::StampOf(time);
                LogFailure failure;
                failure.Problem.Path = (target->Folder / chatlog::MonthFileName(target->Stem, stamp.Year, stamp.Month)).string();
                failure.Backlog = true;
                onFailure_(failure);
            }
        }
        return;
    }
    const bool first = waiting_.empty();
    waitingBytes_ += text.size();
    waiting_.push_back({std::move(target), time, std::string(text)});
    // The first line starts the interval of a sleeping writer; a flood wakes it at once.
    const bool early = waitingBytes_ >= EarlyWriteBytes && !flushNow_;
    if (early)
        flushNow_ = true;
    if (first || early) {
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
        // Asleep until a line comes; then the lines gather for one interval at most.
        wake_.wait(lock, [this] { return stop_ || flushNow_ || !waiting_.empty(); });
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
    struct File {
        const LogTarget* Target;
        std::string Name;
        std::string Bytes;
    };
    std::map<std::filesystem::path, File> files;
    std::vector<File*> order;
    chatlog::LocalStamp stamp;
    std::optional<std::int64_t> stampTime;
    for (const Line& line : batch) {
        if (line.Time != stampTime) {   // a flood shares its second: one conversion for all
            stamp = chatlog::StampOf(line.Time);
            stampTime = line.Time;
        }
        std::string name = chatlog::MonthFileName(line.Target->Stem, stamp.Year, stamp.Month);
        auto [it, added] = files.try_emplace(line.Target->Folder / name);
        if (added) {
            it->second.Target = line.Target.get();
            it->second.Name = std::move(name);
            order.push_back(&it->second);
        }
        it->second.Bytes += stamp.Text;
        it->second.Bytes += line.Text;
        it->second.Bytes += '\n';
    }
    for (File* file : order)
        WriteFile(*file->Target, file->Name, file->Bytes);
}

bool LogWriter::WriteFile(const LogTarget& target, const std::string& name, std::string& bytes)
{
    const std::string path = (target.Folder / name).string();
    const auto problem = [&](chatlog::PlaceProblem found) {
        if (found.Why == chatlog::Fault::None)
            found.Path = path;   // an errno is told with the file it kept from
        Fail({std::move(found), false});
        return false;
    };
    chatlog::OpenedPlace folder = chatlog::OpenServerFolder(target.Folder, true);
    if (!folder.Fd)
        return problem(folder.Problem);
    chatlog::OpenedPlace file = chatlog::OpenLogFile(folder.Fd.Get(), target.Folder, name, true);
    if (!file.Fd)
        return problem(file.Problem);
    const int fd = file.Fd.Get();
    // The file may end inside a line: a write cut short, now or in an earlier run
    // (disk full, the program killed, power lost). The new lines begin on a line of their own.
    struct stat st {};
    char lastByte = '\n';
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &lastByte, 1, st.st_size - 1) == 1 && lastByte != '\n')
        bytes.insert(0, 1, '\n');
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
    if (error != 0) {
        chatlog::PlaceProblem failed;
        failed.Error = error;
        return problem(failed);
    }
    return true;
}

void LogWriter::Fail(const LogFailure& failure)
{
    if (failure.Problem.Why != chatlog::Fault::None) {
        // Each refused place is told once; the others' lines go on being written.
        if (std::find(refused_.begin(), refused_.end(), failure.Problem.Path) != refused_.end())
            return;
        refused_.push_back(failure.Problem.Path);
    } else {
        std::lock_guard lock(mutex_);
        if (failed_)
            return;
        failed_ = true;
    }
    if (onFailure_)
        onFailure_(failure);
}
