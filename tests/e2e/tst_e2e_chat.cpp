// The real client window against the real server and a protocol-level bot:
// connecting, the start-up room, chat both ways, password rooms, creating and
// leaving rooms, double-byte text.

#include "ChatBot.h"
#include "ChatLogView.h"
#include "ChatServer.h"
#include "ChatSession.h"
#include "Chatsheet.h"
#include "IniFile.h"
#include "DialogDriver.h"
#include "StartRooms.h"
#include "Unitmain.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>

#include <memory>

using namespace e2e;
using DialogDriver::ModalSteps;
using DialogDriver::TypeText;

namespace {

const QByteArray BotName("keeper");
const QString UserText = QStringLiteral("striker");

// Characters whose CP932 trail byte is 0x5C, a NEC special character, the
// fullwidth tilde and minus that code page 932 maps differently from plain
// Shift-JIS, and a half-width katakana with its voiced mark.
const QString TrickyText = QString::fromUtf16(u"\u8868\u30BD\u80FD\u2460\uFF5E\uFF0D\uFF76\uFF9E");
const QByteArray TrickyBytes("\x95\x5c\x83\x5c\x94\x5c\x87\x40\x81\x60\x81\x7c\xb6\xde");

bool InRoom(const ChatBot& bot, const QByteArray& name)
{
    const auto number = bot.RoomNumber(name);
    return number && bot.IsIn(*number);
}

}  // namespace

class TestE2eChat : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void connectDialogLogsInAndOpensTheStartUpRoom();
    void botLineAppearsInTheLog();
    void typedLineReachesTheBotAndComesBackOnce();
    void japaneseLinesAreByteExactBothWays();
    void aFullInputSendsTwoHundredBytes();
    void passwordRoomNeedsTheRightPassword();
    void createdRoomIsSeenByTheBot();
    void leavingClosesTheTabWhenTheServerConfirms();

private:
    TFormMain* Main() const { return session->Main(); }
    // The bot says a line into the lobby and the client's lobby log shows it.
    bool SyncLobby(const QByteArray& text);

    std::unique_ptr<ChatSession> session;
    ChatBot* bot = nullptr;
    TChatSheet* lobby = nullptr;
};

void TestE2eChat::init()
{
    session = std::make_unique<ChatSession>();
    QVERIFY(session->Started());
    bot = session->AddBot(BotName);
    QVERIFY2(bot != nullptr, "the bot did not reach the lobby");
    lobby = session->ConnectToLobby(UserText);
    QVERIFY2(lobby != nullptr, "the client's lobby tab did not open");
}

void TestE2eChat::cleanup()
{
    session.reset();
    bot = nullptr;
    lobby = nullptr;
}

bool TestE2eChat::SyncLobby(const QByteArray& text)
{
    bot->Say(0, text);
    const QString expected = QString::fromLatin1(BotName + "> " + text);
    return QTest::qWaitFor([&] { return LogLines(lobby).contains(expected); }, Timeout);
}

void TestE2eChat::connectDialogLogsInAndOpensTheStartUpRoom()
{
    QVERIFY(Main()->Socket1->Active());
    QCOMPARE(Main()->UserName, std::string("striker"));

    // The tab of "待合室", active, with both members in the order they came.
    QCOMPARE(Main()->PageControl1->count(), 1);
    QCOMPARE(Main()->PageControl1->currentWidget(), lobby);
    QCOMPARE(Main()->ActiveChatSheet(), lobby);
    QCOMPARE(TabTexts(Main()), QStringList{LobbyText});
    QCOMPARE(QByteArray::fromStdString(lobby->RoomName), LobbyName);
    QCOMPARE(lobby->RoomNo, std::int16_t(0));
    QCOMPARE(MemberRows(lobby), (QStringList{QStringLiteral("keeper"), UserText}));
    QCOMPARE(LogLines(lobby), QStringList{});

    // The room list and the user count came from the server.
    QVERIFY(RoomRows(Main()).contains(LobbyText));
    QTRY_COMPARE_WITH_TIMEOUT(Main()->windowTitle(), QStringLiteral("KVチャット ver1.10 - 2人"), Timeout);

    // The server's identifier for the client is the one the client holds.
    QTRY_COMPARE_WITH_TIMEOUT(bot->Members(0).value(Main()->ClientID), QByteArray("striker"), Timeout);
    QVERIFY(Main()->ClientID != bot->ClientId());

    // The start-up room is not added twice.
    QCOMPARE(Main()->StartRooms.Count, 1);
    QCOMPARE(QByteArray::fromStdString(Main()->StartRooms.Rooms[0].Name), LobbyName);
    QCOMPARE(session->Boxes, QStringList{});
}

void TestE2eChat::botLineAppearsInTheLog()
{
    bot->Say(0, "hello there");
    QTRY_COMPARE_WITH_TIMEOUT(LogLines(lobby), QStringList{QStringLiteral("keeper> hello there")}, Timeout);
    QCOMPARE(lobby->ChatLog->LineColor(0), QColor(0, 0, 0));
    // The active tab gets no unread mark.
    QCOMPARE(TabTexts(Main()), QStringList{LobbyText});
}

void TestE2eChat::typedLineReachesTheBotAndComesBackOnce()
{
    QTest::keyClicks(Main()->EditInputChat, QStringLiteral("good game"));
    QTest::keyClick(Main()->EditInputChat, Qt::Key_Return);
    QCOMPARE(Main()->EditInputChat->text(), QString());

    QTRY_COMPARE_WITH_TIMEOUT(TextsFrom(*bot, Main()->ClientID), QList<QByteArray>{"good game"}, Timeout);
    const ReceivedTalk talk = bot->Talks().last();
    QCOMPARE(talk.room, std::int16_t(0));
    QCOMPARE(talk.name, QByteArray("striker"));
    QCOMPARE(talk.style, std::uint8_t(0));

    // The line shows when the server relays it back, and only then: once.
    QVERIFY(SyncLobby("sync"));
    QCOMPARE(LogLines(lobby), (QStringList{QStringLiteral("striker> good game"), QStringLiteral("keeper> sync")}));
    QCOMPARE(TextsFrom(*bot, Main()->ClientID), QList<QByteArray>{"good game"});
}

void TestE2eChat::japaneseLinesAreByteExactBothWays()
{
    // From the bot: CP932 bytes, 髙 from the IBM extension rows included.
    bot->Say(0, TrickyBytes + "\xfb\xfc");
    const QString fromBot = QStringLiteral("keeper> ") + TrickyText + QString::fromUtf16(u"\u9AD9");
    QTRY_COMPARE_WITH_TIMEOUT(LogLines(lobby), QStringList{fromBot}, Timeout);

    // From the client: typed, sent with Enter, received byte for byte.
    const QString typed = TrickyText + QStringLiteral("山田");
    const QByteArray typedBytes = TrickyBytes + "\x8e\x52\x93\x63";
    TypeText(Main()->EditInputChat, typed);
    QCOMPARE(Main()->EditInputChat->text(), typed);
    QTest::keyClick(Main()->EditInputChat, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(TextsFrom(*bot, Main()->ClientID), QList<QByteArray>{typedBytes}, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(LogLines(lobby), (QStringList{fromBot, QStringLiteral("striker> ") + typed}), Timeout);

    // A Japanese name: the server relays the client's bytes to the bot.
    QCOMPARE(bot->Talks().last().name, QByteArray("striker"));
}

void TestE2eChat::aFullInputSendsTwoHundredBytes()
{
    // 101 double-byte characters typed: the input keeps 100, that is 200 bytes.
    TypeText(Main()->EditInputChat, QString(101, QChar(0x3042)));   // あ
    QCOMPARE(Main()->EditInputChat->text(), QString(100, QChar(0x3042)));
    QTest::keyClick(Main()->EditInputChat, Qt::Key_Return);

    QByteArray expected;
    for (int i = 0; i < 100; ++i)
        expected += "\x82\xa0";
    QTRY_COMPARE_WITH_TIMEOUT(TextsFrom(*bot, Main()->ClientID), QList<QByteArray>{expected}, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(LogLines(lobby), QStringList{QStringLiteral("striker> ") + QString(100, QChar(0x3042))}, Timeout);
}

void TestE2eChat::passwordRoomNeedsTheRightPassword()
{
    bot->CreateRoom("secret", "abc123");
    QTRY_VERIFY_WITH_TIMEOUT(InRoom(*bot, "secret"), Timeout);
    QTRY_VERIFY_WITH_TIMEOUT(RoomRows(Main()).contains(QStringLiteral("secret(*)")), Timeout);
    QVERIFY(!RoomRows(Main()).contains(QStringLiteral("secret")));
    const int room = session->RoomNumber("secret");
    QVERIFY(room > 0);

    // A wrong password: the server's refusal is shown, no tab opens.
    QVERIFY2(session->RunEnterRoom(QStringLiteral("secret(*)"), QStringLiteral("wrong1")),
             "the password dialog was not driven to OK");
    QTRY_COMPARE_WITH_TIMEOUT(session->Boxes, QStringList{QStringLiteral("パスワードが違います")}, Timeout);
    QCOMPARE(Main()->FindSheet(room), nullptr);
    QCOMPARE(Main()->PageControl1->count(), 1);
    QCOMPARE(Main()->StartRooms.Count, 1);
    QCOMPARE(session->Server().Rooms().Find(room)->members.size(), std::size_t(1));

    // The right one: the tab opens, active, and the room joins the start-up rooms with it.
    QVERIFY(session->RunEnterRoom(QStringLiteral("secret(*)"), QStringLiteral("abc123")));
    TChatSheet* sheet = session->WaitForSheet("secret");
    QVERIFY(sheet != nullptr);
    QCOMPARE(sheet->RoomNo, std::int16_t(room));
    QCOMPARE(Main()->PageControl1->currentWidget(), sheet);
    QCOMPARE(TabTexts(Main()), (QStringList{LobbyText, QStringLiteral("secret")}));
    QCOMPARE(MemberRows(sheet), (QStringList{QStringLiteral("keeper"), UserText}));
    QCOMPARE(Main()->LastPassword, std::string("abc123"));
    QCOMPARE(Main()->StartRooms.Count, 2);
    QCOMPARE(Main()->StartRooms.Rooms[1].Name, std::string("secret"));
    QCOMPARE(Main()->StartRooms.Rooms[1].Password, std::string("abc123"));
    QCOMPARE(session->Boxes.size(), 1);

    // Both members talk in the new room.
    bot->Say(room, "welcome");
    QTRY_COMPARE_WITH_TIMEOUT(LogLines(sheet), QStringList{QStringLiteral("keeper> welcome")}, Timeout);
    QCOMPARE(LogLines(lobby), QStringList{});

    // The program's end writes the room and its password to the settings file.
    session->CloseWindows();
    IniFile ini;
    QVERIFY(ini.Load(session->SettingsPath()));
    QCOMPARE(ini.ReadInteger("Common", "RoomCount", 0), 2);
    QCOMPARE(ini.ReadString("Room2", "Name", ""), std::string("secret"));
    QCOMPARE(ini.ReadString("Room2", "Password", ""), std::string("abc123"));
}

void TestE2eChat::createdRoomIsSeenByTheBot()
{
    QVERIFY2(session->RunCreateRoom(QStringLiteral("myroom"), QStringLiteral("pw12")),
             "the create dialog was not driven to OK");
    QTRY_VERIFY_WITH_TIMEOUT(bot->RoomNumber("myroom").has_value(), Timeout);
    const int room = *bot->RoomNumber("myroom");

    TChatSheet* sheet = session->WaitForSheet("myroom");
    QVERIFY(sheet != nullptr);
    QCOMPARE(sheet->RoomNo, std::int16_t(room));
    QCOMPARE(Main()->PageControl1->currentWidget(), sheet);
    QCOMPARE(MemberRows(sheet), QStringList{UserText});
    QVERIFY(RoomRows(Main()).contains(QStringLiteral("myroom(*)")));
    QCOMPARE(Main()->LastPassword, std::string("pw12"));
    QCOMPARE(Main()->StartRooms.Count, 2);
    QCOMPARE(Main()->StartRooms.Rooms[1].Name, std::string("myroom"));
    QCOMPARE(Main()->StartRooms.Rooms[1].Password, std::string("pw12"));

    // The password reached the server: the bot gets in with it and is listed.
    bot->EnterRoom("myroom", "pw12");
    QTRY_VERIFY_WITH_TIMEOUT(bot->IsIn(room), Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(MemberRows(sheet), (QStringList{UserText, QStringLiteral("keeper")}), Timeout);
    QCOMPARE(session->Boxes, QStringList{});
}

void TestE2eChat::leavingClosesTheTabWhenTheServerConfirms()
{
    QVERIFY(session->RunCreateRoom(QStringLiteral("myroom"), QString()));
    TChatSheet* sheet = session->WaitForSheet("myroom");
    QVERIFY(sheet != nullptr);
    const int room = sheet->RoomNo;
    QVERIFY(RoomRows(Main()).contains(QStringLiteral("myroom")));
    bot->EnterRoom("myroom");
    QTRY_COMPARE_WITH_TIMEOUT(MemberRows(sheet), (QStringList{UserText, QStringLiteral("keeper")}), Timeout);
    const std::int16_t me = Main()->ClientID;
    QCOMPARE(bot->Members(room).value(me), QByteArray("striker"));

    // The command only asks: the tab stays until the server's word comes.
    QCOMPARE(Main()->ActiveChatSheet(), sheet);
    Main()->RetireMenuClick();
    QCOMPARE(Main()->FindSheet(room), sheet);

    QTRY_COMPARE_WITH_TIMEOUT(Main()->FindSheet(room), nullptr, Timeout);
    QCOMPARE(TabTexts(Main()), QStringList{LobbyText});
    QCOMPARE(Main()->ActiveChatSheet(), lobby);
    QTRY_VERIFY_WITH_TIMEOUT(!bot->Members(room).contains(me), Timeout);
    QVERIFY(bot->IsIn(room));
    // The room still has a member, so it stays listed.
    QVERIFY(RoomRows(Main()).contains(QStringLiteral("myroom")));

    // The last member leaves: the empty room disappears from the list.
    bot->Retire(room);
    QTRY_VERIFY_WITH_TIMEOUT(!RoomRows(Main()).contains(QStringLiteral("myroom")), Timeout);
    QCOMPARE(session->RoomNumber("myroom"), -1);
    QVERIFY(RoomRows(Main()).contains(LobbyText));
    QTRY_VERIFY_WITH_TIMEOUT(!bot->RoomNumber("myroom").has_value(), Timeout);

    // The lobby tab is untouched and still works.
    QVERIFY(SyncLobby("still here"));
    QCOMPARE(session->Boxes, QStringList{});
}

QTEST_MAIN(TestE2eChat)
#include "tst_e2e_chat.moc"
