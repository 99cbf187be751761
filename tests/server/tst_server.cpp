// The server's conversation with well-formed clients: handshake, rooms, talk, user counts.

#include "Cp932Texts.h"
#include "ExpectedFrames.h"
#include "TestServer.h"
#include "WireClient.h"

#include <QTest>

#include <array>
#include <memory>
#include <set>
#include <vector>

namespace {

QByteArray Bytes(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

class TestServer : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // handshake
    void handshakeExactBytes();
    void clientIdentifiersAreFresh();
    void messagesBeforeTheirStepAreIgnored();
    void loginRefusedForBadName_data();
    void loginRefusedForBadName();
    void duplicateName();
    void serverFull();
    void minimumVersion_data();
    void minimumVersion();

    // rooms
    void createRoomAnnouncesAndEnters();
    void createRoomRefusals_data();
    void createRoomRefusals();
    void fiveRoomsPerUser();
    void noFreeRoomNumberAndSplitRoomList();
    void enterRoomRefusals_data();
    void enterRoomRefusals();
    void enterRoomSendsMemberLists();
    void retireTellsEveryMember();
    void emptyUserRoomIsRemoved();
    void lobbyStaysWhenEmpty();

    // talk and counts
    void talkRelayedToAllMembers();
    void talkFieldsAreTheServers();
    void talkDropped_data();
    void talkDropped();
    void userCountFollowsLogins();

private:
    // Logs in clients one after the other; earlier ones take the new user count.
    WireClient& AddUser(const QByteArray& name);
    std::unique_ptr<ChatServer> server_;
    std::vector<std::unique_ptr<WireClient>> users_;
    std::vector<int> ids_;
};

void TestServer::init()
{
    server_ = StartServer();
    QVERIFY(server_);
}

void TestServer::cleanup()
{
    users_.clear();
    ids_.clear();
    server_.reset();
}

WireClient& TestServer::AddUser(const QByteArray& name)
{
    auto client = std::make_unique<WireClient>();
    [&] {
        QVERIFY(client->Connect(server_->Port()));
        const int id = client->Login(name);
        QVERIFY2(id > 0, name.constData());
        ids_.push_back(id);
    }();
    users_.push_back(std::move(client));
    const int count = static_cast<int>(users_.size());
    for (int i = 0; i + 1 < count; ++i)
        [&] { QCOMPARE(users_[i]->NextFrame(), UserCountFrame(count)); }();
    return *users_.back();
}

void TestServer::handshakeExactBytes()
{
    WireClient client;
    QVERIFY(client.Connect(server_->Port()));
    client.Write(Hex("00 07 01 01 01 01 01"));
    QCOMPARE(client.NextFrame(), Hex("00 08 02 00 00 00 00 01"));
    client.Write(Hex("00 09 0a 05 61 6c 69 63 65"));   // GmConnect "alice"
    QCOMPARE(client.NextFrame(), Hex("00 05 0b 00 00"));
    QCOMPARE(client.NextFrame(), Hex("00 0f 0d 00 01 00 00 06 91 d2 8d 87 8e ba 00"));
    QCOMPARE(client.NextFrame(), Hex("00 05 0c 00 01"));
    QVERIFY(client.Sync());
    QCOMPARE(server_->UserCount(), 1);
}

void TestServer::clientIdentifiersAreFresh()
{
    std::array<WireClient, 3> clients;
    std::set<int> seen;
    for (WireClient& client : clients) {
        QVERIFY(client.Connect(server_->Port()));
        client.SendReady();
        QVERIFY(client.Expect(GmTypeAReady));
        GmAReady::Info answer;
        QVERIFY(client.protocol->AReady.Decode(answer));
        QCOMPARE(answer.status, 0);
        QVERIFY(answer.clientID != 0);
        QVERIFY(seen.insert(answer.clientID).second);
    }

    // A connection made after another one closed still gets an identifier no one holds.
    clients[1].Close();
    QTRY_COMPARE_WITH_TIMEOUT(server_->ConnectionCount(), 2, WireClient::Timeout);
    WireClient late;
    QVERIFY(late.Connect(server_->Port()));
    late.SendReady();
    QVERIFY(late.Expect(GmTypeAReady));
    GmAReady::Info answer;
    QVERIFY(late.protocol->AReady.Decode(answer));
    QVERIFY(answer.clientID != 0);
    QVERIFY(answer.clientID != *seen.begin());
    QVERIFY(answer.clientID != *seen.rbegin());
}

void TestServer::messagesBeforeTheirStepAreIgnored()
{
    WireClient client;
    QVERIFY(client.Connect(server_->Port()));
    // Nothing of this may be answered or remembered before GmReady.
    client.SendConnect("early");
    client.SendTalk(0, "too soon");
    client.SendCreateRoom("Early");
    client.SendEnterRoom(0, LobbyName());
    client.SendReady();
    QCOMPARE(client.NextFrame(), AReadyFrame(0, 1));

    // Before login only GmConnect counts.
    client.SendCreateRoom("Early");
    client.SendEnterRoom(0, LobbyName());
    client.SendTalk(0, "still too soon");
    client.SendRetire(0);
    client.SendReady();   // a second greeting is not answered either
    client.SendConnect("bob");
    QCOMPARE(client.NextFrame(), AConnectFrame(0));
    QCOMPARE(client.NextFrame(), RoomListFrame({{0, LobbyName()}}));
    QCOMPARE(client.NextFrame(), UserCountFrame(1));

    // A second login on the same connection is ignored.
    client.SendConnect("carol");
    QVERIFY(client.Sync());
    QCOMPARE(server_->UserCount(), 1);

    // The early GmEnterRoom did not put the client in the lobby.
    client.SendEnterRoom(0, LobbyName());
    QCOMPARE(client.NextFrame(), AEnterRoomFrame(0, 0));
    QCOMPARE(client.NextFrame(), MembersFrame(0, {{1, "bob"}}));
}

void TestServer::loginRefusedForBadName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("space") << QByteArray("a b");
    QTest::newRow("full stop") << QByteArray("a.b");
    QTest::newRow("less-than") << QByteArray("<b>");
    QTest::newRow("lone lead byte at the end") << QByteArray("ab\x82");
    QTest::newRow("ideographic space") << QByteArray("\x81\x40");
    QTest::newRow("control code") << QByteArray("a\tb");
}

void TestServer::loginRefusedForBadName()
{
    QFETCH(QByteArray, name);
    WireClient client;
    QVERIFY(client.Connect(server_->Port()));
    client.SendReady();
    QCOMPARE(client.NextFrame(), AReadyFrame(0, 1));
    client.SendConnect(name);
    QCOMPARE(client.NextFrame(), AConnectFrame(1, Bytes(kvtext::NameRefused)));
    QCOMPARE(server_->UserCount(), 0);

    // The connection may try again with a good name.
    client.SendConnect("good");
    QCOMPARE(client.NextFrame(), AConnectFrame(0));
    QVERIFY(client.Expect(GmTypeRoomList));
    QCOMPARE(client.NextFrame(), UserCountFrame(1));
}

void TestServer::duplicateName()
{
    WireClient& alice = AddUser("alice");

    WireClient twin;
    QVERIFY(twin.Connect(server_->Port()));
    twin.SendReady();
    QVERIFY(twin.Expect(GmTypeAReady));
    twin.SendConnect("alice");
    QCOMPARE(twin.NextFrame(), AConnectFrame(2));
    QVERIFY(alice.Sync());   // no user count change for a refused login

    // Names are compared byte for byte.
    twin.SendConnect("Alice");
    QCOMPARE(twin.NextFrame(), AConnectFrame(0));
    QVERIFY(twin.Expect(GmTypeRoomList));
    QCOMPARE(twin.NextFrame(), UserCountFrame(2));
    QCOMPARE(alice.NextFrame(), UserCountFrame(2));

    // Once its holder has gone the name is free again.
    alice.Close();
    QCOMPARE(twin.NextFrame(), UserCountFrame(1));
    WireClient again;
    QVERIFY(again.Connect(server_->Port()));
    QVERIFY(again.Login("alice") > 0);
}

void TestServer::serverFull()
{
    ServerOptions options = TestOptions();
    options.maxUsers = 2;
    server_ = StartServer(options);
    QVERIFY(server_);
    AddUser("one");
    AddUser("two");

    WireClient third;
    QVERIFY(third.Connect(server_->Port()));
    third.SendReady();
    QVERIFY(third.Expect(GmTypeAReady));
    third.SendConnect("three");
    QCOMPARE(third.NextFrame(), AConnectFrame(5));
    QVERIFY(users_[0]->Sync());

    users_[0]->Close();
    QCOMPARE(users_[1]->NextFrame(), UserCountFrame(1));
    third.SendConnect("three");
    QCOMPARE(third.NextFrame(), AConnectFrame(0));
}

void TestServer::minimumVersion_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<int>("status");
    QTest::newRow("1.1.1 is older") << Hex("00 07 01 01 01 01 01") << 2;
    QTest::newRow("0.9.9 is older") << Hex("00 07 01 01 00 09 09") << 2;
    QTest::newRow("1.2.0 is the minimum") << Hex("00 07 01 01 01 02 00") << 0;
    QTest::newRow("1.10.0 is newer") << Hex("00 07 01 01 01 0a 00") << 0;
    QTest::newRow("2.0.0 is newer") << Hex("00 07 01 01 02 00 00") << 0;
}

void TestServer::minimumVersion()
{
    QFETCH(QByteArray, greeting);
    QFETCH(int, status);
    ServerOptions options = TestOptions();
    options.minVersion = {1, 2, 0};
    server_ = StartServer(options);
    QVERIFY(server_);

    WireClient client;
    QVERIFY(client.Connect(server_->Port()));
    client.Write(greeting);
    if (status == 0) {
        QCOMPARE(client.NextFrame(), AReadyFrame(0, 1));
        return;
    }
    QCOMPARE(client.NextFrame(), AReadyFrame(2, 1, Bytes(kvtext::NewerVersionRequired)));

    // A client told to update cannot log in on that connection.
    client.SendConnect("old");
    WireClient other;
    QVERIFY(other.Connect(server_->Port()));
    other.SendReady(1, 2, 0);
    QVERIFY(other.Expect(GmTypeAReady));
    other.SendConnect("new");
    QCOMPARE(other.NextFrame(), AConnectFrame(0));
    QVERIFY(other.Expect(GmTypeRoomList));
    QCOMPARE(other.NextFrame(), UserCountFrame(1));
    QCOMPARE(client.FramesWaiting(), 0);
}

void TestServer::createRoomAnnouncesAndEnters()
{
    WireClient& alice = AddUser("alice");
    WireClient& bob = AddUser("bob");

    alice.SendCreateRoom("Team");
    QCOMPARE(alice.NextFrame(), Hex("00 04 10 00"));
    QCOMPARE(alice.NextFrame(), Hex("00 0d 0d 00 01 01 00 04 54 65 61 6d 00"));
    QCOMPARE(alice.NextFrame(), Hex("00 0f 0e 01 00 01 00 01 05 61 6c 69 63 65 00"));
    QCOMPARE(bob.NextFrame(), Hex("00 0d 0d 00 01 01 00 04 54 65 61 6d 00"));

    bob.SendCreateRoom("Locked", "pw12");
    QCOMPARE(bob.NextFrame(), ACreateRoomFrame(0));
    QCOMPARE(bob.NextFrame(), RoomListFrame({{2, "Locked", true}}));
    QCOMPARE(bob.NextFrame(), MembersFrame(2, {{ids_[1], "bob"}}));
    QCOMPARE(alice.NextFrame(), RoomListFrame({{2, "Locked", true}}));
    QVERIFY(alice.Sync());
    QVERIFY(bob.Sync());

    // Someone logging in now hears of all three rooms.
    WireClient carol;
    QVERIFY(carol.Connect(server_->Port()));
    carol.SendReady();
    QVERIFY(carol.Expect(GmTypeAReady));
    carol.SendConnect("carol");
    QCOMPARE(carol.NextFrame(), AConnectFrame(0));
    QCOMPARE(carol.NextFrame(), RoomListFrame({{0, LobbyName()}, {1, "Team"}, {2, "Locked", true}}));
}

void TestServer::createRoomRefusals_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("password");
    QTest::newRow("the lobby's name") << LobbyName() << QByteArray();
    QTest::newRow("an existing room's name") << QByteArray("Team") << QByteArray();
    QTest::newRow("empty name") << QByteArray() << QByteArray();
    QTest::newRow("name with a space") << QByteArray("My Team") << QByteArray();
    QTest::newRow("password with a sign") << QByteArray("Other") << QByteArray("p-w");
}

void TestServer::createRoomRefusals()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, password);
    WireClient& alice = AddUser("alice");
    WireClient& bob = AddUser("bob");
    alice.SendCreateRoom("Team");
    QVERIFY(alice.Expect(GmTypeACreateRoom));
    QVERIFY(alice.Expect(GmTypeRoomList));
    QVERIFY(alice.Expect(GmTypeRoomUser));
    QVERIFY(bob.Expect(GmTypeRoomList));

    bob.SendCreateRoom(name, password);
    QCOMPARE(bob.NextFrame(), ACreateRoomFrame(1));
    QVERIFY(bob.Sync());
    QVERIFY(alice.Sync());
    QCOMPARE(server_->Rooms().All().size(), size_t(2));
}

void TestServer::fiveRoomsPerUser()
{
    WireClient& alice = AddUser("alice");
    for (int i = 1; i <= ChatServer::MaxRoomsPerUser; ++i) {
        alice.SendCreateRoom("Room" + QByteArray::number(i));
        QCOMPARE(alice.NextFrame(), ACreateRoomFrame(0));
        QCOMPARE(alice.NextFrame(), RoomListFrame({{i, "Room" + QByteArray::number(i)}}));
        QCOMPARE(alice.NextFrame(), MembersFrame(i, {{ids_[0], "alice"}}));
    }
    alice.SendCreateRoom("Room6");
    QCOMPARE(alice.NextFrame(), ACreateRoomFrame(2));
    QVERIFY(alice.Sync());

    // Another user is not held by alice's limit.
    WireClient& bob = AddUser("bob");
    bob.SendCreateRoom("Room6");
    QCOMPARE(bob.NextFrame(), ACreateRoomFrame(0));
    QVERIFY(alice.Expect(GmTypeRoomList));

    // When one of alice's rooms is gone she may create another.
    alice.SendRetire(3);
    QCOMPARE(alice.NextFrame(), RetireUserFrame(3, ids_[0]));
    QCOMPARE(alice.NextFrame(), RoomRemovedFrame(3));
    alice.SendCreateRoom("Room7");
    QCOMPARE(alice.NextFrame(), ACreateRoomFrame(0));
    QCOMPARE(alice.NextFrame(), RoomListFrame({{3, "Room7"}}));
}

void TestServer::noFreeRoomNumberAndSplitRoomList()
{
    // Ten users with five rooms each fill numbers 1..50; the lobby holds 0.
    std::array<WireClient, 10> creators;
    for (int user = 0; user < 10; ++user) {
        WireClient& creator = creators[user];
        QVERIFY(creator.Connect(server_->Port()));
        QVERIFY(creator.Login("user" + QByteArray::number(user)) > 0);
        for (int i = 0; i < ChatServer::MaxRoomsPerUser; ++i) {
            creator.SendCreateRoom("R" + QByteArray::number(user * 10 + i));
            QVERIFY(creator.SkipTo(GmTypeACreateRoom));
            QCOMPARE(creator.protocol->Packet.Data()[3], std::uint8_t(0));
        }
    }
    QCOMPARE(server_->Rooms().All().size(), size_t(51));

    WireClient late;
    QVERIFY(late.Connect(server_->Port()));
    late.SendReady();
    QVERIFY(late.Expect(GmTypeAReady));
    late.SendConnect("late");
    QCOMPARE(late.NextFrame(), AConnectFrame(0));
    // The client reads at most 50 entries per message, so 51 rooms come in two.
    std::set<int> listed;
    for (const int expected : {50, 1}) {
        QVERIFY(late.Expect(GmTypeRoomList));
        GmRoomList::Info list;
        QVERIFY(late.protocol->RoomList.Decode(list));
        QCOMPARE(int(list.count), expected);
        for (int i = 0; i < list.count; ++i) {
            QVERIFY(list.rooms[i].name[0] != '\0');
            listed.insert(list.rooms[i].room);
        }
    }
    QCOMPARE(late.NextFrame(), UserCountFrame(11));
    QCOMPARE(listed.size(), size_t(51));
    QCOMPARE(*listed.rbegin(), 50);

    late.SendCreateRoom("Full");
    QCOMPARE(late.NextFrame(), ACreateRoomFrame(3));
    QVERIFY(late.Sync());
}

void TestServer::enterRoomRefusals_data()
{
    QTest::addColumn<int>("room");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("answer");
    // alice has created Team (1) and Club (2, password abc12); bob is in the lobby.
    QTest::newRow("unknown name") << 0 << QByteArray("Nope") << QByteArray() << AEnterRoomFrame(0, 1);
    QTest::newRow("free number") << 7 << QByteArray() << QByteArray() << AEnterRoomFrame(7, 1);
    QTest::newRow("number 51 is no room") << 51 << QByteArray() << QByteArray() << AEnterRoomFrame(0, 1);
    QTest::newRow("number 200") << 200 << QByteArray() << QByteArray() << AEnterRoomFrame(0, 1);
    QTest::newRow("already in, by name") << 0 << LobbyName() << QByteArray() << AEnterRoomFrame(0, 2);
    QTest::newRow("already in, by number") << 0 << QByteArray() << QByteArray() << AEnterRoomFrame(0, 2);
    QTest::newRow("wrong password by name") << 0 << QByteArray("Club") << QByteArray("abc13") << AEnterRoomFrame(2, 3);
    QTest::newRow("no password by number") << 2 << QByteArray() << QByteArray() << AEnterRoomFrame(2, 3);
    QTest::newRow("password's prefix") << 2 << QByteArray() << QByteArray("abc") << AEnterRoomFrame(2, 3);
}

void TestServer::enterRoomRefusals()
{
    QFETCH(int, room);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, answer);
    WireClient& alice = AddUser("alice");
    WireClient& bob = AddUser("bob");
    alice.SendCreateRoom("Team");
    alice.SendCreateRoom("Club", "abc12");
    QVERIFY(bob.Expect(GmTypeRoomList));
    QVERIFY(bob.Expect(GmTypeRoomList));
    bob.SendEnterRoom(0, LobbyName());
    QCOMPARE(bob.NextFrame(), AEnterRoomFrame(0, 0));
    QVERIFY(bob.Expect(GmTypeRoomUser));

    bob.SendEnterRoom(room, name, password);
    QCOMPARE(bob.NextFrame(), answer);
    QVERIFY(bob.Sync());
    QCOMPARE(server_->Rooms().Find(2)->members.size(), size_t(1));
    QCOMPARE(server_->Rooms().Find(0)->members.size(), size_t(1));
}

void TestServer::enterRoomSendsMemberLists()
{
    WireClient& alice = AddUser("alice");
    WireClient& bob = AddUser("bob");
    WireClient& carol = AddUser("carol");
    alice.SendCreateRoom("Team");
    alice.SendCreateRoom("Club", "abc12");
    for (int room = 1; room <= 2; ++room) {
        QVERIFY(alice.Expect(GmTypeACreateRoom) && alice.Expect(GmTypeRoomList) && alice.Expect(GmTypeRoomUser));
        QVERIFY(bob.Expect(GmTypeRoomList));
        QVERIFY(carol.Expect(GmTypeRoomList));
    }

    // By name: the newcomer gets everyone, in order of entry; the others get the newcomer.
    bob.SendEnterRoom(0, "Team");
    QCOMPARE(bob.NextFrame(), AEnterRoomFrame(1, 0));
    QCOMPARE(bob.NextFrame(), Hex("00 16 0e 01 00 02 00 01 05 61 6c 69 63 65 00 00 02 03 62 6f 62 00"));
    QCOMPARE(alice.NextFrame(), Hex("00 0d 0e 01 00 01 00 02 03 62 6f 62 00"));

    // By number, and a room without password lets in whatever password is given.
    carol.SendEnterRoom(1, {}, "whatever");
    QCOMPARE(carol.NextFrame(), AEnterRoomFrame(1, 0));
    QCOMPARE(carol.NextFrame(), MembersFrame(1, {{1, "alice"}, {2, "bob"}, {3, "carol"}}));
    QCOMPARE(alice.NextFrame(), MembersFrame(1, {{3, "carol"}}));
    QCOMPARE(bob.NextFrame(), MembersFrame(1, {{3, "carol"}}));

    // The right password opens a locked room, by number and by name.
    carol.SendEnterRoom(2, {}, "abc12");
    QCOMPARE(carol.NextFrame(), AEnterRoomFrame(2, 0));
    QCOMPARE(carol.NextFrame(), MembersFrame(2, {{1, "alice"}, {3, "carol"}}));
    QCOMPARE(alice.NextFrame(), MembersFrame(2, {{3, "carol"}}));
    bob.SendEnterRoom(0, "Club", "abc12");
    QCOMPARE(bob.NextFrame(), AEnterRoomFrame(2, 0));
    QCOMPARE(bob.NextFrame(), MembersFrame(2, {{1, "alice"}, {3, "carol"}, {2, "bob"}}));
    QCOMPARE(alice.NextFrame(), MembersFrame(2, {{2, "bob"}}));
    QCOMPARE(carol.NextFrame(), MembersFrame(2, {{2, "bob"}}));

    for (WireClient* client : {&alice, &bob, &carol})
        QVERIFY(client->Sync());
}

void TestServer::retireTellsEveryMember()
{
    WireClient& alice = AddUser("alice");
    WireClient& bob = AddUser("bob");
    WireClient& carol = AddUser("carol");
    for (WireClient* client : {&alice, &bob, &carol}) {
        client->SendEnterRoom(0, LobbyName());
        QVERIFY(client->Expect(GmTypeAEnterRoom));
    }
    QVERIFY(alice.SkipTo(GmTypeRoomUser) && alice.SkipTo(GmTypeRoomUser) && alice.SkipTo(GmTypeRoomUser));
    QVERIFY(bob.SkipTo(GmTypeRoomUser) && bob.SkipTo(GmTypeRoomUser));
    QVERIFY(carol.SkipTo(GmTypeRoomUser));

    bob.SendRetire(0);
    for (WireClient* client : {&alice, &bob, &carol})
        QCOMPARE(client->NextFrame(), Hex("00 06 14 00 00 02"));

    // Gone from the room: no more lines from it, and nothing to leave twice.
    alice.SendTalk(0, "after bob");
    QCOMPARE(alice.NextFrame(), TalkFrame(0, 1, "alice", "after bob"));
    QCOMPARE(carol.NextFrame(), TalkFrame(0, 1, "alice", "after bob"));
    bob.SendTalk(0, "ghost");
    bob.SendRetire(0);
    bob.SendRetire(50);
    bob.SendRetire(200);
    for (WireClient* client : {&alice, &bob, &carol})
        QVERIFY(client->Sync());

    // And he may come back.
    bob.SendEnterRoom(0, {});
    QCOMPARE(bob.NextFrame(), AEnterRoomFrame(0, 0));
    QCOMPARE(bob.NextFrame(), MembersFrame(0, {{1, "alice"}, {3, "carol"}, {2, "bob"}}));
}

void TestServer::emptyUserRoomIsRemoved()
{
    WireClient& alice = AddUser("alice");
    WireClient& bob = AddUser("bob");
    WireClient& carol = AddUser("carol");
    alice.SendCreateRoom("Team");
    for (WireClient* client : {&alice, &bob, &carol})
        QVERIFY(client->SkipTo(GmTypeRoomList));
    QVERIFY(alice.Expect(GmTypeRoomUser));
    bob.SendEnterRoom(1);
    QVERIFY(bob.Expect(GmTypeAEnterRoom) && bob.Expect(GmTypeRoomUser));
    QVERIFY(alice.Expect(GmTypeRoomUser));

    // The creator leaving does not end the room while someone is in it.
    alice.SendRetire(1);
    QCOMPARE(alice.NextFrame(), RetireUserFrame(1, 1));
    QCOMPARE(bob.NextFrame(), RetireUserFrame(1, 1));
    QVERIFY(carol.Sync());
    QVERIFY(server_->Rooms().Find(1));

    // The last one out: the room is announced gone to everyone logged in.
    bob.SendRetire(1);
    QCOMPARE(bob.NextFrame(), RetireUserFrame(1, 2));
    QCOMPARE(bob.NextFrame(), Hex("00 09 0d 00 01 01 00 00 00"));
    QCOMPARE(alice.NextFrame(), RoomRemovedFrame(1));
    QCOMPARE(carol.NextFrame(), RoomRemovedFrame(1));
    QVERIFY(!server_->Rooms().Find(1));

    // Number and name are free again.
    carol.SendCreateRoom("Team");
    QCOMPARE(carol.NextFrame(), ACreateRoomFrame(0));
    QCOMPARE(carol.NextFrame(), RoomListFrame({{1, "Team"}}));
    QCOMPARE(alice.NextFrame(), RoomListFrame({{1, "Team"}}));
    QCOMPARE(bob.NextFrame(), RoomListFrame({{1, "Team"}}));

    // A disconnect empties the room the same way.
    QCOMPARE(carol.NextFrame(), MembersFrame(1, {{3, "carol"}}));
    carol.Close();
    QCOMPARE(alice.NextFrame(), RoomRemovedFrame(1));
    QCOMPARE(alice.NextFrame(), UserCountFrame(2));
    QCOMPARE(bob.NextFrame(), RoomRemovedFrame(1));
    QCOMPARE(bob.NextFrame(), UserCountFrame(2));
}

void TestServer::lobbyStaysWhenEmpty()
{
    WireClient& alice = AddUser("alice");
    alice.SendEnterRoom(0, LobbyName());
    QVERIFY(alice.Expect(GmTypeAEnterRoom) && alice.Expect(GmTypeRoomUser));
    alice.SendRetire(0);
    QCOMPARE(alice.NextFrame(), RetireUserFrame(0, 1));
    QVERIFY(alice.Sync());
    QVERIFY(server_->Rooms().Find(0));

    alice.SendEnterRoom(0, LobbyName());
    QCOMPARE(alice.NextFrame(), AEnterRoomFrame(0, 0));
    QCOMPARE(alice.NextFrame(), MembersFrame(0, {{1, "alice"}}));
    alice.Close();
    QTRY_COMPARE_WITH_TIMEOUT(server_->ConnectionCount(), 0, WireClient::Timeout);
    QVERIFY(server_->Rooms().Find(0));

    WireClient bob;
    QVERIFY(bob.Connect(server_->Port()));
    const int bobId = bob.Login("bob");
    QVERIFY(bobId > 0);
    bob.SendEnterRoom(0, LobbyName());
    QCOMPARE(bob.NextFrame(), AEnterRoomFrame(0, 0));
    QCOMPARE(bob.NextFrame(), MembersFrame(0, {{bobId, "bob"}}));
}

void TestServer::talkRelayedToAllMembers()
{
    WireClient& alice = AddUser("alice");
    WireClient& bob = AddUser("bob");
    WireClient& carol = AddUser("carol");   // stays out of Team
    alice.SendCreateRoom("Team");
    for (WireClient* client : {&alice, &bob, &carol})
        QVERIFY(client->SkipTo(GmTypeRoomList));
    QVERIFY(alice.Expect(GmTypeRoomUser));
    bob.SendEnterRoom(1);
    QVERIFY(bob.Expect(GmTypeAEnterRoom) && bob.Expect(GmTypeRoomUser));
    QVERIFY(alice.Expect(GmTypeRoomUser));

    alice.SendTalk(1, "hello");
    const QByteArray line = Hex("00 13 15 01 00 01 05 61 6c 69 63 65 05 68 65 6c 6c 6f 00");
    QCOMPARE(alice.NextFrame(), line);
    QCOMPARE(bob.NextFrame(), line);
    QVERIFY(carol.Sync());

    // CP932 text passes untouched, lines keep their order.
    const QByteArray goal = Bytes(kvtext::BotLines[4]);
    bob.SendTalk(1, goal);
    bob.SendTalk(1, "2");
    for (WireClient* client : {&alice, &bob}) {
        QCOMPARE(client->NextFrame(), TalkFrame(1, 2, "bob", goal));
        QCOMPARE(client->NextFrame(), TalkFrame(1, 2, "bob", "2"));
    }
    QVERIFY(carol.Sync());
}

void TestServer::talkFieldsAreTheServers()
{
    WireClient& alice = AddUser("alice");
    alice.SendEnterRoom(0, LobbyName());
    QVERIFY(alice.Expect(GmTypeAEnterRoom) && alice.Expect(GmTypeRoomUser));

    // A forged speaker, name and style are replaced.
    alice.Write(Frame(21, Hex("00 77 77") + StringBytes("mallory") + StringBytes("hi") + Hex("05")));
    QCOMPARE(alice.NextFrame(), TalkFrame(0, 1, "alice", "hi"));

    // A text longer than 200 bytes is cut to 200.
    const QByteArray longText(250, 'x');
    alice.Write(Frame(21, Hex("00 00 01") + StringBytes({}) + StringBytes(longText) + Hex("00")));
    QCOMPARE(alice.NextFrame(), TalkFrame(0, 1, "alice", longText.left(200)));
    QVERIFY(alice.Sync());
}

void TestServer::talkDropped_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("room 51") << TalkFrame(51, 0, {}, "active tab");
    QTest::newRow("a room the sender is not in") << TalkFrame(0, 0, {}, "lobby");
    QTest::newRow("a room that does not exist") << TalkFrame(9, 0, {}, "nowhere");
    QTest::newRow("room 52 fails to decode") << TalkFrame(52, 0, {}, "bad");
    QTest::newRow("cut short") << Frame(21, Hex("01 00 01 05 61"));
    QTest::newRow("no payload") << Frame(21, {});
}

void TestServer::talkDropped()
{
    QFETCH(QByteArray, frame);
    WireClient& alice = AddUser("alice");
    WireClient& bob = AddUser("bob");
    bob.SendEnterRoom(0, LobbyName());
    QVERIFY(bob.Expect(GmTypeAEnterRoom) && bob.Expect(GmTypeRoomUser));
    alice.SendCreateRoom("Team");
    QVERIFY(alice.Expect(GmTypeACreateRoom) && alice.Expect(GmTypeRoomList) && alice.Expect(GmTypeRoomUser));
    QVERIFY(bob.Expect(GmTypeRoomList));

    alice.Write(frame);
    QVERIFY(alice.Sync());
    QVERIFY(bob.Sync());
    QVERIFY(alice.IsConnected());
}

void TestServer::userCountFollowsLogins()
{
    WireClient& alice = AddUser("alice");
    AddUser("bob");   // alice took 2

    // Connections that have not logged in do not count.
    WireClient guest;
    QVERIFY(guest.Connect(server_->Port()));
    guest.SendReady();
    QVERIFY(guest.Expect(GmTypeAReady));
    guest.SendConnect("bob");
    QCOMPARE(guest.NextFrame(), AConnectFrame(2));
    QVERIFY(alice.Sync());
    guest.Close();
    QTRY_COMPARE_WITH_TIMEOUT(server_->ConnectionCount(), 2, WireClient::Timeout);
    QVERIFY(alice.Sync());

    // A user in a room leaves it first, then the count drops.
    users_[1]->SendEnterRoom(0, LobbyName());
    QVERIFY(users_[1]->Expect(GmTypeAEnterRoom));
    alice.SendEnterRoom(0, LobbyName());
    QVERIFY(alice.Expect(GmTypeAEnterRoom) && alice.Expect(GmTypeRoomUser));
    users_[1]->Close();
    QCOMPARE(alice.NextFrame(), RetireUserFrame(0, ids_[1]));
    QCOMPARE(alice.NextFrame(), UserCountFrame(1));
    QCOMPARE(server_->UserCount(), 1);
}

QTEST_GUILESS_MAIN(TestServer)
#include "tst_server.moc"
