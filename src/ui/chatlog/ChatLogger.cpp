#include "ChatLogger.h"

#include "ChatLogFiles.h"
#include "HistoryPager.h"
#include "LogPlaces.h"

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

namespace {

QString PlaceName(chatlog::Place place)
{
    switch (place) {
    case chatlog::Place::LogsFolder: return QStringLiteral("ログフォルダ");
    case chatlog::Place::ServerFolder: return QStringLiteral("サーバのログフォルダ");
    case chatlog::Place::File: break;
    }
    return QStringLiteral("チャットログ");
}

QString WhyRefused(const chatlog::PlaceProblem& problem)
{
    switch (problem.Why) {
    case chatlog::Fault::Link: return QStringLiteral("シンボリックリンクのため");
    case chatlog::Fault::NotOwn: return QStringLiteral("ほかのユーザーのもののため");
    case chatlog::Fault::OthersCanWrite: return QStringLiteral("ほかのユーザーも書き込めるため");
    case chatlog::Fault::WrongKind:
        return problem.Where == chatlog::Place::File ? QStringLiteral("通常のファイルではないため")
                                                     : QStringLiteral("フォルダではないため");
    case chatlog::Fault::None: break;
    }
    return QStringLiteral("開けないため（%1）").arg(QString::fromLocal8Bit(std::strerror(problem.Error)));
}

}  // namespace

QString ChatLogger::DescribeNotSearched(const chatlog::PlaceProblem& problem)
{
    return QStringLiteral("%1 %2 は%3検索しませんでした")
        .arg(PlaceName(problem.Where), QString::fromStdString(problem.Path), WhyRefused(problem));
}

QString ChatLogger::Describe(const LogFailure& failure)
{
    const chatlog::PlaceProblem& problem = failure.Problem;
    const QString path = QString::fromStdString(problem.Path);
    if (failure.Backlog)
        return QStringLiteral("チャットログ %1 への書き込みがディスクに追いつかないため、書き込み待ちの行の一部を保存できませんでした。チャットはこのまま続けられます")
            .arg(path);
    if (problem.Why == chatlog::Fault::None)
        return QStringLiteral("チャットログ %1 に書き込めません（%2）。チャットはこのまま続けられますが、ログが保存されないことがあります")
            .arg(path, QString::fromLocal8Bit(std::strerror(problem.Error)));
    return QStringLiteral("%1 %2 は%3使えません。チャットはこのまま続けられますが、このログは保存されません")
        .arg(PlaceName(problem.Where), path, WhyRefused(problem));
}

LogWriter& ChatLogger::writer()
{
    if (!writer_) {
        writer_ = std::make_unique<LogWriter>([this](const LogFailure& failure) {
            const QString message = Describe(failure);
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
