#pragma once
// The rooms' chat logs on disk: one folder per server, one file per room and month,
// written by a thread of its own (LogWriter). A log that cannot be written is
// reported once, and so is each place refused (LogPlaces.h); the chat goes on.

#include "LogWriter.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace chatlog {
class HistoryPager;
}

class ChatLogger : public QObject {
    Q_OBJECT
public:
    explicit ChatLogger(QObject* parent = nullptr);
    ~ChatLogger() override;

    // The log of a room (name in CP932) of the server at address:port, inside logsFolder.
    static std::shared_ptr<const LogTarget> Target(const std::string& logsFolder, const std::string& address,
                                                   int port, const std::string& roomName);

    // One line as shown (UTF-8); a null target writes nothing.
    void Write(const std::shared_ptr<const LogTarget>& target, std::int64_t time, std::string_view text);
    // Hands what waits to the disk now (disconnect).
    void FlushSoon();
    // The last `count` lines of the room's log, oldest first; lines still
    // waiting are written first, for a short while at most.
    std::vector<std::string> Tail(const LogTarget& target, std::size_t count);

    // A reader of the room's older lines, standing before the last `skip` lines
    // (those a Tail just gave).
    std::shared_ptr<chatlog::HistoryPager> History(const LogTarget& target, std::size_t skip);
    // The box text for a failure.
    static QString Describe(const LogFailure& failure);
    // A place left out of a search and why, in the words Describe uses.
    static QString DescribeNotSearched(const chatlog::PlaceProblem& problem);

signals:
    // A failure the writer reports, on the GUI thread, worded for the user.
    void Failed(const QString& message);

private:
    LogWriter& writer();

    std::unique_ptr<LogWriter> writer_;   // started with the first line
};
