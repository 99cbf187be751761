// The server facing clients that misbehave: bad frame lengths, undecodable messages,
// fragmented streams, abrupt disconnects and a client that never reads.

#include "ExpectedFrames.h"
#include "TestServer.h"
#include "WireClient.h"

#include <QSignalSpy>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace {

// A raw socket with a tiny receive window that is never read: the server can only
// queue what it sends there.
class StuckClient {
public:
    StuckClient() = default;
    StuckClient(const StuckClient&) = delete;
    StuckClient& operator=(const StuckClient&) = delete;
    ~StuckClient()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    bool Connect(quint16 port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd_ < 0)
            return false;
        const int size = 4096;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }

    bool Write(const QByteArray& bytes)
    {
        return ::send(fd_, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    }

private:
    int fd_ = -1;
};

// A client-to-server frame built by hand.
QByteArray EnterLobbyFrame()
{
    return Frame(17, Hex("00") + StringBytes(LobbyName()) + StringBytes({}));
}

} // namespace

class TestServerRobustness : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void badFrameLengthClosesConnection_data();
    void badFrameLengthClosesConnection();
    void oddButValidFramesAreIgnored_data();
    void oddButValidFramesAreIgnored();
    void undecodableLoginIsIgnored();
    void fragmentedAndBatchedFrames();
    void disconnectLeavesEveryRoom();
    void clientThatNeverReadsIsDropped();
    void keepAliveGoesToEveryConnection();

private:
    // alice, logged in and in the lobby, watches what happens to others.
    void StartWithWatcher();
    std::unique_ptr<ChatServer> server_;
    std::unique_ptr<WireClient> alice_;
};

void TestServerRobustness::init()
{
    server_ = StartServer();
    QVERIFY(server_);
}

void TestServerRobustness::cleanup()
{
    alice_.reset();
    server_.reset();
}

void TestServerRobustness::StartWithWatcher()
{
    alice_ = std::make_unique<WireClient>();
    QVERIFY(alice_->Connect(server_->Port()));
    QCOMPARE(alice_->Login("alice"), 1);
    alice_->SendEnterRoom(0, LobbyName());
    QCOMPARE(alice_->NextFrame(), AEnterRoomFrame(0, 0));
    QCOMPARE(alice_->NextFrame(), MembersFrame(0, {{1, "alice"}}));
}

void TestServerRobustness::badFrameLengthClosesConnection_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::newRow("0") << Hex("00 00");
    QTest::newRow("1") << Hex("00 01");
    QTest::newRow("2") << Hex("00 02");
    QTest::newRow("9990") << Hex("27 06");
    QTest::newRow("10000") << Hex("27 10");
    QTest::newRow("32767") << Hex("7f ff");
    QTest::newRow("negative") << Hex("ff ff");
}

void TestServerRobustness::badFrameLengthClosesConnection()
{
    QFETCH(QByteArray, header);
    StartWithWatcher();
    WireClient bad;
    QVERIFY(bad.Connect(server_->Port()));
    QCOMPARE(bad.Login("bad"), 2);
    QCOMPARE(alice_->NextFrame(), UserCountFrame(2));
    bad.SendEnterRoom(0, LobbyName());
    QVERIFY(bad.Expect(GmTypeAEnterRoom));
    QCOMPARE(alice_->NextFrame(), MembersFrame(0, {{2, "bad"}}));

    // Only the header: the connection must not wait for a body it would refuse anyway.
    bad.Write(header);
    QVERIFY(bad.WaitDisconnected());
    QCOMPARE(alice_->NextFrame(), RetireUserFrame(0, 2));
    QCOMPARE(alice_->NextFrame(), UserCountFrame(1));
    QVERIFY(alice_->Sync());
    QCOMPARE(server_->ConnectionCount(), 1);
}

void TestServerRobustness::oddButValidFramesAreIgnored_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("largest frame, unused type") << Frame(200, QByteArray(MaxFrameLength - 3, 'z'));
    QTest::newRow("type 0") << Frame(0, {});
    QTest::newRow("server-to-client type") << AReadyFrame(0, 99);
    QTest::newRow("GmReady again, empty") << Frame(1, {});
    QTest::newRow("GmCreateRoom cut short") << Frame(15, Hex("02 05 41 42"));
    QTest::newRow("GmEnterRoom cut short") << Frame(17, Hex("00 06") + LobbyName().left(3));
    QTest::newRow("GmRetire without room") << Frame(19, {});
}

void TestServerRobustness::oddButValidFramesAreIgnored()
{
    QFETCH(QByteArray, frame);
    StartWithWatcher();
    alice_->Write(frame);
    QVERIFY(alice_->Sync());
    QVERIFY(alice_->IsConnected());
    QCOMPARE(int(server_->Rooms().Find(0)->members.size()), 1);
    QCOMPARE(server_->Rooms().All().size(), size_t(1));
}

void TestServerRobustness::undecodableLoginIsIgnored()
{
    WireClient client;
    QVERIFY(client.Connect(server_->Port()));
    client.SendReady();
    QCOMPARE(client.NextFrame(), AReadyFrame(0, 1));
    // The name's length byte promises 30 bytes and 3 follow.
    client.Write(Frame(10, Hex("1e 61 62 63")));
    client.SendConnect("alice");
    QCOMPARE(client.NextFrame(), AConnectFrame(0));
    QVERIFY(client.Expect(GmTypeRoomList));
    QCOMPARE(client.NextFrame(), UserCountFrame(1));
}

void TestServerRobustness::fragmentedAndBatchedFrames()
{
    StartWithWatcher();
    const QByteArray talk = TalkFrame(0, 0, {}, "split");
    for (const char byte : talk) {
        alice_->Write(QByteArray(1, byte));
        QTest::qWait(1);   // let each byte travel on its own
    }
    QCOMPARE(alice_->NextFrame(), TalkFrame(0, 1, "alice", "split"));

    // Three frames in one write, the last one finished by a second write.
    const QByteArray third = TalkFrame(0, 0, {}, "three");
    alice_->Write(TalkFrame(0, 0, {}, "one") + TalkFrame(0, 0, {}, "two") + third.left(4));
    alice_->Write(third.mid(4));
    QCOMPARE(alice_->NextFrame(), TalkFrame(0, 1, "alice", "one"));
    QCOMPARE(alice_->NextFrame(), TalkFrame(0, 1, "alice", "two"));
    QCOMPARE(alice_->NextFrame(), TalkFrame(0, 1, "alice", "three"));
    QVERIFY(alice_->Sync());
}

void TestServerRobustness::disconnectLeavesEveryRoom()
{
    StartWithWatcher();
    alice_->SendCreateRoom("Team");
    QVERIFY(alice_->Expect(GmTypeACreateRoom) && alice_->Expect(GmTypeRoomList) && alice_->Expect(GmTypeRoomUser));

    WireClient bob;
    QVERIFY(bob.Connect(server_->Port()));
    QCOMPARE(bob.Login("bob"), 2);
    QCOMPARE(alice_->NextFrame(), UserCountFrame(2));
    bob.SendEnterRoom(0, LobbyName());
    bob.SendEnterRoom(1);
    bob.SendCreateRoom("Solo");
    QVERIFY(bob.SkipTo(GmTypeACreateRoom));
    QCOMPARE(alice_->NextFrame(), MembersFrame(0, {{2, "bob"}}));
    QCOMPARE(alice_->NextFrame(), MembersFrame(1, {{2, "bob"}}));
    QCOMPARE(alice_->NextFrame(), RoomListFrame({{2, "Solo"}}));

    // Every room bob was in hears of it, lowest number first; his own empty room goes.
    bob.Close();
    QCOMPARE(alice_->NextFrame(), RetireUserFrame(0, 2));
    QCOMPARE(alice_->NextFrame(), RetireUserFrame(1, 2));
    QCOMPARE(alice_->NextFrame(), RoomRemovedFrame(2));
    QCOMPARE(alice_->NextFrame(), UserCountFrame(1));
    QVERIFY(alice_->Sync());
    QVERIFY(server_->Rooms().Find(1));
    QVERIFY(!server_->Rooms().Find(2));
}

void TestServerRobustness::clientThatNeverReadsIsDropped()
{
    StartWithWatcher();
    WireClient bob;   // reads everything, must miss nothing
    QVERIFY(bob.Connect(server_->Port()));
    QCOMPARE(bob.Login("bob"), 2);
    QCOMPARE(alice_->NextFrame(), UserCountFrame(2));
    bob.SendEnterRoom(0, LobbyName());
    QVERIFY(bob.Expect(GmTypeAEnterRoom) && bob.Expect(GmTypeRoomUser));
    QCOMPARE(alice_->NextFrame(), MembersFrame(0, {{2, "bob"}}));

    QSignalSpy closed(server_.get(), &ChatServer::connectionClosed);
    StuckClient stuck;
    QVERIFY(stuck.Connect(server_->Port()));
    QVERIFY(stuck.Write(Frame(1, Hex("01 01 01 01")) + Frame(10, StringBytes("stuck")) + EnterLobbyFrame()));
    QCOMPARE(alice_->NextFrame(), UserCountFrame(3));
    QCOMPARE(alice_->NextFrame(), MembersFrame(0, {{3, "stuck"}}));
    QCOMPARE(bob.NextFrame(), UserCountFrame(3));
    QCOMPARE(bob.NextFrame(), MembersFrame(0, {{3, "stuck"}}));

    // alice talks in batches, reading her own lines back, until the server gives up on
    // the stuck client. The limit is far beyond what any socket buffers can hold.
    constexpr int Batch = 200;
    constexpr int MaxLines = 200000;
    const QByteArray padding(190, 'x');
    int sent = 0;
    int echoed = 0;
    bool stuckDropped = false;
    while (!stuckDropped && sent < MaxLines) {
        for (int i = 0; i < Batch; ++i, ++sent)
            alice_->SendTalk(0, QByteArray::number(sent).rightJustified(8, '0') + padding);
        while (echoed < sent) {
            const QByteArray frame = alice_->NextFrame();
            QVERIFY2(!frame.isEmpty(), "alice stopped hearing her own lines");
            if (frame == RetireUserFrame(0, 3)) {
                stuckDropped = true;
                QCOMPARE(alice_->NextFrame(), UserCountFrame(2));
            } else {
                QCOMPARE(int(static_cast<std::uint8_t>(frame[2])), int(GmTypeTalk));
                ++echoed;
            }
        }
    }
    QVERIFY2(stuckDropped, "the client that never reads was not dropped");
    QCOMPARE(closed.size(), 1);
    QCOMPARE(closed[0][0].value<qint16>(), qint16(3));
    QVERIFY2(closed[0][1].toString().contains(QLatin1String("not reading")), qPrintable(closed[0][1].toString()));
    qInfo("the stuck client was dropped after %d lines", sent);
    QCOMPARE(server_->ConnectionCount(), 2);
    QCOMPARE(server_->UserCount(), 2);

    // bob got every line, in order, and the same departure.
    int heard = 0;
    bool departureHeard = false;
    while (heard < sent) {
        const QByteArray frame = bob.NextFrame();
        QVERIFY(!frame.isEmpty());
        if (frame == RetireUserFrame(0, 3)) {
            departureHeard = true;
            QCOMPARE(bob.NextFrame(), UserCountFrame(2));
            continue;
        }
        QVERIFY(bob.protocol->Packet.Load(reinterpret_cast<const std::uint8_t*>(frame.constData()),
                                          static_cast<int>(frame.size())));
        GmTalk::Info talk;
        QVERIFY(bob.protocol->Talk.Decode(talk));
        QCOMPARE(QByteArray(talk.text).left(8).toInt(), heard);
        ++heard;
    }
    QVERIFY(departureHeard);
    QVERIFY(bob.Sync());
}

void TestServerRobustness::keepAliveGoesToEveryConnection()
{
    ServerOptions options = TestOptions();
    options.lifeIntervalSeconds = 1;
    server_ = StartServer(options);
    QVERIFY(server_);

    WireClient greeted;   // has not even sent GmReady
    QVERIFY(greeted.Connect(server_->Port()));
    WireClient user;
    QVERIFY(user.Connect(server_->Port()));
    QVERIFY(user.Login("alice") > 0);
    QCOMPARE(greeted.NextFrame(), Hex("00 03 03"));
    QVERIFY(user.SkipTo(GmTypeLife));
    QCOMPARE(user.protocol->Packet.TotalLength(), std::int16_t(3));
}

QTEST_GUILESS_MAIN(TestServerRobustness)
#include "tst_server_robustness.moc"
