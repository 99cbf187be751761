#pragma once
// Appends chat log lines to their files from a thread of its own, so the disk never
// holds up the caller. Lines wait in memory and are written within one interval of
// the first of them, on request, and when the writer is destroyed; with nothing
// waiting the thread sleeps. Files are only ever appended to, so a crash loses at
// most the lines still waiting; a file that ends inside a line (a write cut short,
// now or in an earlier run) gets a line break before the next lines, so they stay
// whole. Folders and files are opened as LogPlaces.h says.

#include "LogPlaces.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// One room's log: the server's folder, whose parent is the logs folder, and the
// room's file-name stem (ChatLogFiles.h).
struct LogTarget {
    std::filesystem::path Folder;
    std::string Stem;
};

// Why lines did not reach their file.
struct LogFailure {
    chatlog::PlaceProblem Problem;   // a refused place, or an errno and the file
    bool Backlog = false;            // dropped because too much was waiting: the disk does not keep up
};

class LogWriter {
public:
    // Called for the first error or backlog of a run, and for each refused place
    // once; on the writer thread, or on the caller's for a backlog.
    using FailureHandler = std::function<void(const LogFailure&)>;
    // Lines beyond this many bytes waiting (a disk that stalls) are dropped and reported.
    static constexpr std::size_t MaxWaitingBytes = 64 * 1024 * 1024;
    // A flood does not wait for the interval: this many bytes waiting wake the writer,
    // so the memory a flood holds stays small.
    static constexpr std::size_t EarlyWriteBytes = 256 * 1024;

    explicit LogWriter(FailureHandler onFailure = {},
                       std::chrono::milliseconds interval = std::chrono::seconds(1));
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // One line (without line end) for the target's monthly file at the local time
    // `time` (seconds since the epoch), prefixed with that date and time.
    void Append(std::shared_ptr<const LogTarget> target, std::int64_t time, std::string_view text);
    // Writes what waits now, without waiting for it.
    void FlushSoon();
    // Writes what waits now and waits for it, at most `timeout`; true when done.
    bool FlushAndWait(std::chrono::milliseconds timeout);

private:
    struct Line {
        std::shared_ptr<const LogTarget> Target;
        std::int64_t Time;
        std::string Text;
    };
    void Run();
    void WriteBatch(std::vector<Line>& batch);
    bool WriteFile(const LogTarget& target, const std::string& name, std::string& bytes);
    void Fail(const LogFailure& failure);

    FailureHandler onFailure_;
    std::chrono::milliseconds interval_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable written_;
    std::vector<Line> waiting_;
    std::size_t waitingBytes_ = 0;
    std::uint64_t appended_ = 0;   // lines handed in, dropped ones included
    std::uint64_t done_ = 0;       // lines written or given up
    bool flushNow_ = false;
    bool stop_ = false;
    bool failed_ = false;
    std::vector<std::string> refused_;   // places already reported as refused (writer thread only)
    std::thread thread_;
};
