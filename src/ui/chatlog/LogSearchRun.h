#pragma once
// One search over the logs on a thread of its own: the files newest month
// first, the hits handed to the GUI thread in batches (at most every few tens of
// milliseconds, so a flood of hits never holds the window up), with the
// progress in bytes and the number of lines found. Only the newest `keep` lines
// found become hits; the others are counted. Destroying the run cancels it and waits for the thread,
// which stops within one piece of a file.

#include "LogSearch.h"

#include <QObject>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class LogSearchRun : public QObject {
    Q_OBJECT
public:
    LogSearchRun(std::filesystem::path logsFolder, chatlog::LogQuery query, std::size_t keep,
                 QObject* parent = nullptr);
    ~LogSearchRun() override;

    // The files searched, in order (known once Started is emitted).
    const std::vector<chatlog::LogFile>& Files() const { return files_; }
    // The places left out, and why (known once Started is emitted; more may come by Finished).
    const std::vector<chatlog::PlaceProblem>& Refused() const { return refused_; }
    void Cancel() { cancel_ = true; }
    bool Running() const { return running_; }

signals:
    void Started(qint64 totalBytes);
    // Hits found since the last batch, none at times (some may be older than the newest `keep`
    // given before); File indexes Files(). found: the lines found so far, kept or not.
    void Found(std::shared_ptr<std::vector<chatlog::LogHit>> hits, qint64 found);
    void Progress(qint64 doneBytes);
    void Finished(bool cancelled);

private:
    void Run();
    void Post(bool last);

    std::filesystem::path folder_;
    chatlog::LogQuery query_;
    std::size_t keep_;
    std::vector<chatlog::LogFile> files_;
    std::vector<chatlog::PlaceProblem> refused_;   // GUI thread
    std::vector<chatlog::PlaceProblem> refusedLater_;   // by the search thread, under the mutex
    std::atomic<bool> cancel_{false};
    bool running_ = true;
    std::mutex mutex_;
    std::vector<chatlog::LogHit> waiting_;   // found, not handed over yet
    std::uint64_t done_ = 0;
    std::uint64_t found_ = 0;
    std::thread thread_;
};
