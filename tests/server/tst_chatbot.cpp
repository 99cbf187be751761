// ChatBot, the protocol-level client that the bot mode, the end-to-end tests and the
// benchmarks drive, against a real server on loopback.

#include "ChatBot.h"
#include "ExpectedFrames.h"
#include "TestServer.h"
#include "WireClient.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

class TestChatBot : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void handshakeThenQueuedRoom();
    void botsTalkAndLeave();
    void createAndEnterWithStatuses();
    void refusedLoginsCloseTheConnection_data();
    void refusedLoginsCloseTheConnection();
    void rawFramesGoOutUntouched();
    void unreachableServerEndsTheBot();
    void keepTalksOffStillCounts();

private:
    // Connects a bot and waits for its login; entering rooms asked before is part of it.
    bool LogIn(ChatBot& bot);
    std::unique_ptr<ChatServer> server_;
};

void TestChatBot::init()
{
    server_ = StartServer();
    QVERIFY(server_);
}

void TestChatBot::cleanup()
{
    server_.reset();
}

bool TestChatBot::LogIn(ChatBot& bot)
{
    bot.ConnectTo(QStringLiteral("127.0.0.1"), server_->Port());
    return QTest::qWaitFor([&] { return bot.IsLoggedIn(); }, WireClient::Timeout);
}

void TestChatBot::handshakeThenQueuedRoom()
{
    ChatBot bot("kicker");
    QSignalSpy joined(&bot, &ChatBot::roomJoined);
    bot.EnterRoom(LobbyName());   // before the connection exists
    QVERIFY(LogIn(bot));
    QTRY_COMPARE_WITH_TIMEOUT(joined.size(), 1, WireClient::Timeout);
    QCOMPARE(joined[0][0].toInt(), 0);

    QCOMPARE(bot.ClientId(), std::int16_t(1));
    QCOMPARE(bot.UserCount(), 1);
    QCOMPARE(bot.LastStatus(GmTypeAReady), 0);
    QCOMPARE(bot.LastStatus(GmTypeAConnect), 0);
    QCOMPARE(bot.RoomList().value(0), LobbyName());
    QCOMPARE(bot.RoomNumber(LobbyName()), std::optional<int>(0));
    QCOMPARE(bot.JoinedRooms(), QList<int>{0});
    QCOMPARE(bot.Members(0).value(1), QByteArray("kicker"));
    QCOMPARE(bot.FrameTypes().first(), int(GmTypeAReady));
    QCOMPARE(server_->Rooms().Find(0)->members.size(), size_t(1));
}

void TestChatBot::botsTalkAndLeave()
{
    ChatBot striker("striker");
    ChatBot keeper("keeper");
    striker.EnterRoom(LobbyName());
    keeper.EnterRoom(LobbyName());
    QVERIFY(LogIn(striker));
    QTRY_VERIFY_WITH_TIMEOUT(striker.IsIn(0), WireClient::Timeout);
    QVERIFY(LogIn(keeper));
    QTRY_VERIFY_WITH_TIMEOUT(keeper.IsIn(0), WireClient::Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(striker.Members(0).size(), 2, WireClient::Timeout);
    QCOMPARE(striker.UserCount(), 2);

    QSignalSpy heard(&keeper, &ChatBot::talkReceived);
    QVERIFY(striker.Say("shoot"));
    QVERIFY(heard.wait(WireClient::Timeout));
    const ReceivedTalk talk = heard[0][0].value<ReceivedTalk>();
    QCOMPARE(talk.room, std::int16_t(0));
    QCOMPARE(talk.clientId, striker.ClientId());
    QCOMPARE(talk.name, QByteArray("striker"));
    QCOMPARE(talk.text, QByteArray("shoot"));
    QTRY_COMPARE_WITH_TIMEOUT(striker.Talks().size(), 1, WireClient::Timeout);
    QCOMPARE(striker.Talks().first().text, QByteArray("shoot"));

    QSignalSpy left(&striker, &ChatBot::roomLeft);
    striker.Retire(0);
    QVERIFY(left.wait(WireClient::Timeout));
    QVERIFY(striker.JoinedRooms().isEmpty());
    QVERIFY(!striker.Say("nowhere"));
    QTRY_COMPARE_WITH_TIMEOUT(keeper.Members(0).size(), 1, WireClient::Timeout);
    QVERIFY(keeper.Members(0).contains(keeper.ClientId()));
}

void TestChatBot::createAndEnterWithStatuses()
{
    ChatBot owner("owner");
    ChatBot guest("guest");
    QVERIFY(LogIn(owner));
    QVERIFY(LogIn(guest));

    QSignalSpy ownerJoined(&owner, &ChatBot::roomJoined);
    owner.CreateRoom("Locked", "abc12");
    QVERIFY(ownerJoined.wait(WireClient::Timeout));
    QCOMPARE(ownerJoined[0][0].toInt(), 1);
    QCOMPARE(owner.LastStatus(GmTypeACreateRoom), 0);
    QTRY_COMPARE_WITH_TIMEOUT(guest.RoomNumber("Locked"), std::optional<int>(1), WireClient::Timeout);

    QSignalSpy answers(&guest, &ChatBot::answerReceived);
    guest.CreateRoom("Locked");
    QVERIFY(answers.wait(WireClient::Timeout));
    QCOMPARE(answers.last()[0].toInt(), int(GmTypeACreateRoom));
    QCOMPARE(answers.last()[1].toInt(), 1);

    guest.EnterRoomNumber(1, "wrong");
    QVERIFY(answers.wait(WireClient::Timeout));
    QCOMPARE(guest.LastStatus(GmTypeAEnterRoom), 3);
    QVERIFY(!guest.IsIn(1));

    guest.EnterRoomNumber(1, "abc12");
    QTRY_VERIFY_WITH_TIMEOUT(guest.IsIn(1), WireClient::Timeout);
    QCOMPARE(guest.LastStatus(GmTypeAEnterRoom), 0);
    QCOMPARE(guest.Members(1).size(), 2);
    QCOMPARE(guest.Members(1).value(owner.ClientId()), QByteArray("owner"));
}

void TestChatBot::refusedLoginsCloseTheConnection_data()
{
    QTest::addColumn<QString>("minVersion");
    QTest::addColumn<int>("answerType");
    QTest::addColumn<int>("status");
    QTest::newRow("name taken") << QString("0.0.0") << int(GmTypeAConnect) << 2;
    QTest::newRow("version too old") << QString("1.2.0") << int(GmTypeAReady) << 2;
}

void TestChatBot::refusedLoginsCloseTheConnection()
{
    QFETCH(QString, minVersion);
    QFETCH(int, answerType);
    QFETCH(int, status);
    ServerOptions options = TestOptions();
    options.minVersion = *ParseVersion(minVersion);
    server_ = StartServer(options);
    QVERIFY(server_);

    ChatBot first("twin");
    first.ConnectTo(QStringLiteral("127.0.0.1"), server_->Port());
    ChatBot second("twin");
    QSignalSpy refused(&second, &ChatBot::refused);
    QSignalSpy disconnected(&second, &ChatBot::disconnected);
    if (answerType == GmTypeAConnect)
        QTRY_VERIFY_WITH_TIMEOUT(first.IsLoggedIn(), WireClient::Timeout);
    second.ConnectTo(QStringLiteral("127.0.0.1"), server_->Port());
    QVERIFY(refused.wait(WireClient::Timeout));
    QCOMPARE(refused[0][0].toInt(), answerType);
    QCOMPARE(refused[0][1].toInt(), status);
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.size(), 1, WireClient::Timeout);
    QVERIFY(!second.IsLoggedIn());
}

void TestChatBot::rawFramesGoOutUntouched()
{
    ChatBot bot("raw");
    bot.EnterRoom(LobbyName());
    QVERIFY(LogIn(bot));
    QTRY_VERIFY_WITH_TIMEOUT(bot.IsIn(0), WireClient::Timeout);

    QSignalSpy heard(&bot, &ChatBot::talkReceived);
    bot.SendRaw(TalkFrame(0, 0, {}, "by hand"));
    QVERIFY(heard.wait(WireClient::Timeout));
    QCOMPARE(heard[0][0].value<ReceivedTalk>().text, QByteArray("by hand"));

    QSignalSpy disconnected(&bot, &ChatBot::disconnected);
    bot.SendRaw(Hex("00 02"));
    QVERIFY(disconnected.wait(WireClient::Timeout));
    QVERIFY(!bot.IsConnected());
}

void TestChatBot::unreachableServerEndsTheBot()
{
    const quint16 port = server_->Port();
    server_.reset();   // nothing listens there now
    ChatBot bot("lonely");
    QSignalSpy disconnected(&bot, &ChatBot::disconnected);
    bot.ConnectTo(QStringLiteral("127.0.0.1"), port);
    QVERIFY(disconnected.wait(WireClient::Timeout));
    QVERIFY(!bot.IsLoggedIn());
}

void TestChatBot::keepTalksOffStillCounts()
{
    ChatBot bot("counter");
    bot.SetKeepTalks(false);
    bot.EnterRoom(LobbyName());
    QVERIFY(LogIn(bot));
    QTRY_VERIFY_WITH_TIMEOUT(bot.IsIn(0), WireClient::Timeout);
    for (int i = 0; i < 3; ++i)
        QVERIFY(bot.Say("line " + QByteArray::number(i)));
    QTRY_COMPARE_WITH_TIMEOUT(bot.TalkCount(), qint64(3), WireClient::Timeout);
    QVERIFY(bot.Talks().isEmpty());
}

QTEST_GUILESS_MAIN(TestChatBot)
#include "tst_chatbot.moc"
