#pragma once
// The bot mode: a few bots log in to a server, enter one room and chat now and then,
// so the real client has company.

#include "ChatBot.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <unordered_map>
#include <vector>

class QTimer;

struct BotSwarmOptions {
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 9010;
    int count = 1;
    QByteArray room;                 // CP932; empty: the lobby
    double intervalSeconds = 10.0;   // mean time between two lines of one bot
    QByteArray namePrefix = "Bot";   // bots are named prefix + 1, 2, ...
    bool logging = true;
};

class BotSwarm : public QObject {
    Q_OBJECT
public:
    explicit BotSwarm(BotSwarmOptions options, QObject* parent = nullptr);

    void Start();
    const std::vector<ChatBot*>& Bots() const { return bots_; }

signals:
    // Every bot has lost its connection; the code is 0 if any of them had logged in.
    void finished(int exitCode);

private:
    void AddBot(const QByteArray& botName);
    void FindWayIntoRoom(ChatBot* bot, int answerType, int status);
    void ScheduleNextLine(QTimer* timer) const;
    void SayRandomLine(ChatBot* bot);
    void BotGone();
    void Log(const QString& line) const;

    BotSwarmOptions options_;
    std::vector<ChatBot*> bots_;
    std::unordered_map<ChatBot*, int> roomAttempts_;
    int running_ = 0;
    bool anyLoggedIn_ = false;
};
