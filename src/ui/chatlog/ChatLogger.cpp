#include "ChatLogger.h"

#include "ChatLogFiles.h"
#include "HistoryPager.h"

#include <QMetaObject>

#include <algorithm>
#include <cstring>

ChatLogger::ChatLogger(QObject* parent) : QObject(parent) {}

// The writer's destructor writes every waiting line: nothing is lost at exit.
ChatLogger::~ChatLogger() = default;

std::shared_ptr<const LogTarget> ChatLogger::Target(const std::string& logsFolder, const std::string& address,
                                                    int port, const std::string& roomName)
{
    auto target = std::make_shared<LogTarget>();
    target->Folder = std::filesystem::path(logsFolder) / chatlog::ServerFolderName(address, port);
    target->Stem = chatlog::RoomFileStem(roomName);
    return target;
}

LogWriter& ChatLogger::writer()
{
    if (!writer_) {
        writer_ = std::make_unique<LogWriter>([this](const std::string& path, int error) {
            const QString message = QStringLiteral("チャットログ %1 に書き込めません（%2）。チャットはこのまま続けられますが、ログが保存されないことがあります")
                                        .arg(QString::fromStdString(path), QString::fromLocal8Bit(std::strerror(error)));
            QMetaObject::invokeMethod(this, [this, message] { emit Failed(message); }, Qt::QueuedConnection);
        });
    }
    return *writer_;
}

void ChatLogger::Write(const std::shared_ptr<const LogTarget>& target, std::int64_t time, std::string_view text)
{
    if (target)
        writer().Append(target, time, text);
}

void ChatLogger::FlushSoon()
{
    if (writer_)
        writer_->FlushSoon();
}

std::vector<std::string> ChatLogger::Tail(const LogTarget& target, std::size_t count)
{
    if (writer_)
        writer_->FlushAndWait(std::chrono::milliseconds(200));
    return chatlog::ReadRoomTail(target.Folder, target.Stem, count);
}

std::shared_ptr<chatlog::HistoryPager> ChatLogger::History(const LogTarget& target, std::size_t skip)
{
    // What Tail wrote out is on disk: the pager starts from there, over the lines Tail gave.
    auto pager = std::make_shared<chatlog::HistoryPager>(target.Folder, target.Stem);
    while (skip > 0 && !pager->AtStart())
        skip -= std::min(skip, std::max<std::size_t>(1, pager->Older(skip).size()));
    return pager;
}
