#include "BotSwarm.h"

#include "Cp932Texts.h"
#include "ServerLog.h"

#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

BotSwarm::BotSwarm(BotSwarmOptions options, QObject* parent)
    : QObject(parent)
    , options_(std::move(options))
{
    if (options_.room.isEmpty())
        options_.room = QByteArray(kvtext::LobbyRoomName.data(), static_cast<qsizetype>(kvtext::LobbyRoomName.size()));
}

void BotSwarm::Start()
{
    for (int i = 1; i <= options_.count; ++i)
        AddBot(options_.namePrefix + QByteArray::number(i));
    if (running_ == 0)
        QMetaObject::invokeMethod(this, [this] { emit finished(0); }, Qt::QueuedConnection);
}

void BotSwarm::AddBot(const QByteArray& botName)
{
    auto* bot = new ChatBot(botName, this);
    bot->SetKeepTalks(false);
    auto* timer = new QTimer(bot);
    timer->setSingleShot(true);
    const QString name = QString::fromLatin1(botName);

    connect(bot, &ChatBot::loggedIn, this, [this, bot, name] {
        anyLoggedIn_ = true;
        Log(QStringLiteral("bot %1 logged in as client %2").arg(name).arg(bot->ClientId()));
    });
    connect(bot, &ChatBot::refused, this, [this, name](int answerType, int status) {
        Log(QStringLiteral("bot %1 refused (message %2, status %3)").arg(name).arg(answerType).arg(status));
    });
    connect(bot, &ChatBot::answerReceived, this, [this, bot](int answerType, int status) {
        FindWayIntoRoom(bot, answerType, status);
    });
    connect(bot, &ChatBot::roomJoined, this, [this, timer, name](int room) {
        Log(QStringLiteral("bot %1 entered room %2").arg(name).arg(room));
        if (!timer->isActive())
            ScheduleNextLine(timer);
    });
    connect(timer, &QTimer::timeout, this, [this, bot, timer] {
        SayRandomLine(bot);
        ScheduleNextLine(timer);
    });
    connect(bot, &ChatBot::disconnected, this, [this, timer, name] {
        timer->stop();
        Log(QStringLiteral("bot %1 disconnected").arg(name));
        BotGone();
    });

    bots_.push_back(bot);
    ++running_;
    bot->EnterRoom(options_.room);
    bot->ConnectTo(options_.host, options_.port);
}

void BotSwarm::FindWayIntoRoom(ChatBot* bot, int answerType, int status)
{
    // A missing room is created; when another bot created it first, it is entered after all.
    constexpr int NoSuchRoom = 1;
    constexpr int NameInUse = 1;
    constexpr int MaxAttempts = 3;
    if (status == 0 || !bot->JoinedRooms().isEmpty())
        return;
    int& attempts = roomAttempts_[bot];
    if (attempts < MaxAttempts && answerType == GmTypeAEnterRoom && status == NoSuchRoom) {
        ++attempts;
        bot->CreateRoom(options_.room);
    } else if (attempts < MaxAttempts && answerType == GmTypeACreateRoom && status == NameInUse) {
        ++attempts;
        bot->EnterRoom(options_.room);
    } else {
        Log(QStringLiteral("bot %1 cannot enter its room (message %2, status %3)")
                .arg(QString::fromLatin1(bot->Name()))
                .arg(answerType)
                .arg(status));
    }
}

void BotSwarm::ScheduleNextLine(QTimer* timer) const
{
    // Spread between half and one and a half intervals so the bots do not speak in chorus.
    const double factor = 0.5 + QRandomGenerator::global()->generateDouble();
    const double ms = std::max(1.0, options_.intervalSeconds * 1000.0 * factor);
    timer->start(static_cast<int>(std::min(ms, 24.0 * 3600 * 1000)));
}

void BotSwarm::SayRandomLine(ChatBot* bot)
{
    const auto& lines = kvtext::BotLines;
    const auto pick = QRandomGenerator::global()->bounded(static_cast<quint32>(lines.size()));
    const std::string_view line = lines[pick];
    bot->Say(QByteArray(line.data(), static_cast<qsizetype>(line.size())));
}

void BotSwarm::BotGone()
{
    if (--running_ == 0)
        emit finished(anyLoggedIn_ ? 0 : 1);
}

void BotSwarm::Log(const QString& line) const
{
    if (options_.logging)
        LogLine(line);
}
