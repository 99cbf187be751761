#include "LogSearchRun.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>

namespace {
// Hits are handed over at most this often, and at every file's end after it.
constexpr std::chrono::milliseconds BatchInterval(30);
}  // namespace

LogSearchRun::LogSearchRun(std::filesystem::path logsFolder, chatlog::LogQuery query, std::size_t keep,
                           QObject* parent)
    : QObject(parent), folder_(std::move(logsFolder)), query_(std::move(query)), keep_(keep)
{
    thread_ = std::thread([this] { Run(); });
}

LogSearchRun::~LogSearchRun()
{
    cancel_ = true;
    if (thread_.joinable())
        thread_.join();
}

void LogSearchRun::Run()
{
    // The list is made here too: a large logs folder is not listed on the GUI thread.
    std::vector<chatlog::PlaceProblem> refused;
    const std::vector<chatlog::LogFile> files = chatlog::ListLogFiles(folder_, query_, &refused);
    std::uint64_t total = 0;
    for (const chatlog::LogFile& file : files) {
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(file.Path, error);
        total += error ? 0 : size;
    }
    // Queued like every batch after it, so the window has the files before any hit.
    QMetaObject::invokeMethod(
        this, [this, files, total, refused] {
            files_ = files;
            refused_ = refused;
            emit Started(static_cast<qint64>(total));
        },
        Qt::QueuedConnection);
    chatlog::LogSearcher searcher(query_.Text, keep_);
    auto lastPost = std::chrono::steady_clock::now();
    bool anyPosted = false;   // the first hit goes at once
    std::vector<chatlog::LogHit> found;
    std::uint64_t fileDone = 0;   // of the file being searched, counted in done_
    // A large file's hits and progress go while it is read, piece by piece.
    const auto handOver = [&](std::uint64_t read) {
        const bool any = !found.empty();
        {
            std::lock_guard lock(mutex_);
            done_ += read - fileDone;
            found_ = searcher.Found();
            for (chatlog::LogHit& hit : found)
                waiting_.push_back(std::move(hit));
        }
        fileDone = read;
        found.clear();
        const auto now = std::chrono::steady_clock::now();
        if (now - lastPost >= BatchInterval || (!anyPosted && any)) {
            anyPosted = anyPosted || any;
            lastPost = now;
            Post(false);
        }
    };
    for (std::size_t i = 0; i < files.size() && !cancel_; ++i) {
        fileDone = 0;
        handOver(searcher.SearchFile(files[i], i, query_, cancel_, found, handOver));
    }
    {
        std::lock_guard lock(mutex_);
        refusedLater_ = searcher.Refused();
    }
    Post(true);
}

void LogSearchRun::Post(bool last)
{
    // The progress as it is now: a batch handed over part-way through a file says so,
    // even if the window takes it only once the file is done.
    std::uint64_t done = 0;
    {
        std::lock_guard lock(mutex_);
        done = done_;
    }
    QMetaObject::invokeMethod(
        this, [this, last, done] {
            auto hits = std::make_shared<std::vector<chatlog::LogHit>>();
            std::uint64_t found = 0;
            {
                std::lock_guard lock(mutex_);
                hits->swap(waiting_);
                found = found_;
            }
            emit Found(hits, static_cast<qint64>(found));
            emit Progress(static_cast<qint64>(done));
            if (last) {
                std::lock_guard lock(mutex_);
                for (chatlog::PlaceProblem& problem : refusedLater_) {
                    if (std::none_of(refused_.begin(), refused_.end(),
                                     [&](const chatlog::PlaceProblem& p) { return p.Path == problem.Path; }))
                        refused_.push_back(std::move(problem));
                }
            }
            if (last) {
                running_ = false;
                emit Finished(cancel_);
            }
        },
        Qt::QueuedConnection);
}
