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
    for (std::size_t i = 0; i < files.size() && !cancel_; ++i) {
        found.clear();
        const std::uint64_t read = searcher.SearchFile(files[i], i, query_, cancel_, found);
        {
            std::lock_guard lock(mutex_);
            done_ += read;
            found_ = searcher.Found();
            for (chatlog::LogHit& hit : found)
                waiting_.push_back(std::move(hit));
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastPost >= BatchInterval || (!anyPosted && !found.empty())) {
            anyPosted = anyPosted || !found.empty();
            lastPost = now;
            Post(false);
        }
    }
    {
        std::lock_guard lock(mutex_);
        refusedLater_ = searcher.Refused();
    }
    Post(true);
}

void LogSearchRun::Post(bool last)
{
    QMetaObject::invokeMethod(
        this, [this, last] {
            auto hits = std::make_shared<std::vector<chatlog::LogHit>>();
            std::uint64_t done = 0;
            std::uint64_t found = 0;
            {
                std::lock_guard lock(mutex_);
                hits->swap(waiting_);
                done = done_;
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
