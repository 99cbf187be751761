// The real main window against a server that breaks every rule it can: bad
// lengths, counts and room numbers, strings that run past their frame, a session
// one byte at a time, a close in the middle of a frame, floods, a peer that never
// reads, and markup where text belongs. Each case ends by showing that the client
// still works: a chat line goes through, or a fresh connection logs in.
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "ClientSocket.h"
#include "DialogDriver.h"
#include "MainWindowFixture.h"
#include "MessageBoxes.h"
#include "Unitmain.h"

#include <QApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

namespace {

constexpr std::int16_t Me = 7;
constexpr std::int16_t Other = 9;

bool waitFor(const std::function<bool()>& condition, int ms = 10000)
{
    return QTest::qWaitFor(condition, ms);
}

QByteArray shortBytes(int v)
{
    QByteArray b;
    b.append(char((v >> 8) & 0xFF)).append(char(v & 0xFF));
    return b;
}

QByteArray byteOf(int v) { return QByteArray(1, char(v & 0xFF)); }

QByteArray roomEntry(int room, const QByteArray& name, bool password = false)
{
    return byteOf(room) + byteOf(0) + ScriptedServer::String(name) + byteOf(password ? 1 : 0);
}

QByteArray memberEntry(int clientId, const QByteArray& name, int flag = 0)
{
    return shortBytes(clientId) + ScriptedServer::String(name) + byteOf(flag);
}

QByteArray talkFrame(int room, int clientId, const QByteArray& name, const QByteArray& text)
{
    return ScriptedServer::Frame(GmTypeTalk, byteOf(room) + shortBytes(clientId) + ScriptedServer::String(name)
                                                 + ScriptedServer::String(text) + byteOf(0));
}

QStringList roomRows(TFormMain* w)
{
    QStringList rows;
    for (int i = 0; i < w->RoomList->count(); ++i)
        rows << w->RoomList->item(i)->text();
    return rows;
}

QStringList logLines(TChatSheet* sheet)
{
    QStringList lines;
    for (int i = 0; i < sheet->ChatLog->LineCount(); ++i)
        lines << sheet->ChatLog->LineText(i);
    return lines;
}

// The server sends a chat line into the room; true once the tab has logged it.
// Frames are handled in order, so everything sent before has been handled too.
bool chatGoesThrough(MainWindowFixture& f, TChatSheet* sheet)
{
    static int serial = 0;
    const QByteArray text = "alive " + QByteArray::number(++serial);
    f.Server.SendTalk(sheet->RoomNo, Me, "me", text);
    // A listed speaker is named from the member list, anyone else from the line.
    const QString expected = (sheet->FindUser(Me) != -1 ? QStringLiteral("me> ") : QStringLiteral("me>"))
                             + QString::fromLatin1(text);
    return waitFor([&] {
        const int n = sheet->ChatLog->LineCount();
        return n > 0 && sheet->ChatLog->LineText(n - 1) == expected;
    });
}

// The old connection is gone; a new one logs in, opens a room and chats.
bool freshSessionWorks(MainWindowFixture& f)
{
    f.Server.CloseClient();
    if (!waitFor([&] { return !f.Window()->Socket1->Active(); }))
        return false;
    if (f.Window()->Receiver.PendingLength != 0)
        return false;
    if (!f.Handshake(Me))
        return false;
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    return sheet != nullptr && chatGoesThrough(f, sheet);
}

} // namespace

class TestHostileServer : public QObject {
    Q_OBJECT
private slots:
    void declaredLengths_data();
    void declaredLengths();
    void roomListCounts_data();
    void roomListCounts();
    void repeatedRoomsKeepOneRowEach();
    void memberCounts_data();
    void memberCounts();
    void roomBytes_data();
    void roomBytes();
    void stringsRunningPastTheFrame_data();
    void stringsRunningPastTheFrame();
    void wholeSessionOneByteAtATime();
    void closeMidFrameThenNewConnectionStartsClean();
    void hundredThousandLifeFrames();
    void peerThatNeverReads();
    void errorBoxesDoNotPileUp();
    void markupInNamesAndLinesStaysText();
    void markupInBoxesStaysText();
    void ampersandInRoomNameIsNoAccelerator();
    void roomNamesNeverLeaveTheLogsFolder();
};

// Lengths that cannot be a frame close the connection; 2 and 9990..10000 are
// read whole and dropped; 3..9989 are frames.
void TestHostileServer::declaredLengths_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("outcome");   // closes, dropped, loaded
    QTest::newRow("0") << 0 << "closes";
    QTest::newRow("1") << 1 << "closes";
    QTest::newRow("2") << 2 << "dropped";
    QTest::newRow("3") << 3 << "loaded";
    QTest::newRow("9989") << 9989 << "loaded";
    QTest::newRow("9990") << 9990 << "dropped";
    QTest::newRow("10000") << 10000 << "dropped";
    QTest::newRow("10001") << 10001 << "closes";
    QTest::newRow("0xFFFF") << 0xFFFF << "closes";
}

void TestHostileServer::declaredLengths()
{
    QFETCH(int, length);
    QFETCH(QString, outcome);
    MainWindowFixture f;
    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);

    // The frame under test is a chat line, padded to the declared length where
    // there is room for one: it must reach the log exactly when it is loaded.
    QByteArray frame = talkFrame(3, Other, "x", "padded");
    if (length >= frame.size())
        frame.append(QByteArray(length - frame.size(), 'p'));
    else if (length >= 3)
        frame = ScriptedServer::Frame(GmTypeTalk, {}).left(length);
    else
        frame = QByteArray();
    const QByteArray header = shortBytes(length);
    frame = header + frame.mid(2);
    if (outcome == "closes")
        frame.append("trailing bytes of a stream that is out of step");
    f.Server.SendRaw(frame);

    if (outcome == "closes") {
        QVERIFY(f.Server.WaitForDisconnect());
        QVERIFY(waitFor([&] { return !f.Window()->Socket1->Active(); }));
        QCOMPARE(f.Window()->PageControl1->count(), 0);
        QVERIFY(freshSessionWorks(f));
        return;
    }
    QVERIFY(chatGoesThrough(f, sheet));
    const bool padded = length >= 9989;
    const bool logged = logLines(sheet).contains(QStringLiteral("x>padded"));
    QCOMPARE(logged, padded && outcome == "loaded");
    QVERIFY(f.Window()->Socket1->Active());
    QVERIFY(f.Boxes.isEmpty());
}

void TestHostileServer::roomListCounts_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("rows");
    QTest::newRow("negative") << -1 << 2 << 0;
    QTest::newRow("most negative") << -32768 << 2 << 0;
    QTest::newRow("zero") << 0 << 2 << 0;
    QTest::newRow("more than sent") << 3 << 2 << 0;          // runs past the frame: ignored
    QTest::newRow("huge, few sent") << 32767 << 2 << 0;
    QTest::newRow("huge, 60 sent") << 32767 << 60 << 50;      // only the first 50 are read
}

void TestHostileServer::roomListCounts()
{
    QFETCH(int, count);
    QFETCH(int, entries);
    QFETCH(int, rows);
    MainWindowFixture f;
    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    QByteArray payload = shortBytes(count);
    for (int i = 0; i < entries; ++i)
        payload += roomEntry(i < 3 ? i : i + 1, "R" + QByteArray::number(i));   // all but the open room 3
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeRoomList, payload));
    QVERIFY(chatGoesThrough(f, sheet));
    QCOMPARE(f.Window()->RoomList->count(), 1 + rows);
    if (rows > 0)
        QCOMPARE(f.Window()->RoomList->item(rows)->text(), QStringLiteral("R%1").arg(rows - 1));
    QVERIFY(f.Boxes.isEmpty());
}

// A server repeating room entries (every room number, 100,000 entries) cannot
// grow the room list: each room keeps one row, in the place it was first
// listed, showing what was sent for it last.
void TestHostileServer::repeatedRoomsKeepOneRowEach()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    constexpr int Messages = 2000;
    constexpr int PerMessage = 50;
    constexpr int Rooms = MaxRoomNo + 1;
    QByteArray stream;
    for (int m = 0; m < Messages; ++m) {
        QByteArray payload = shortBytes(PerMessage);
        for (int i = 0; i < PerMessage; ++i) {
            const int n = m * PerMessage + i;
            payload += roomEntry(n % Rooms, "R" + QByteArray::number(n), n % 3 == 0);
        }
        stream += ScriptedServer::Frame(GmTypeRoomList, payload);
    }
    f.Server.SendRaw(stream);
    QVERIFY(chatGoesThrough(f, sheet));

    QCOMPARE(w->RoomList->count(), Rooms);
    QList<int> order{3};   // listed when the room was opened
    for (int room = 0; room < Rooms; ++room)
        if (room != 3)
            order << room;
    constexpr int Last = Messages * PerMessage - 1;
    for (int i = 0; i < Rooms; ++i) {
        const int room = order[i];
        const int n = Last - ((Last - room) % Rooms);   // the last entry sent for this room
        const auto* row = static_cast<const RoomListItem*>(w->RoomList->item(i));
        QCOMPARE(row->Room.room, room);
        QCOMPARE(row->text(), QStringLiteral("R%1%2").arg(n).arg(n % 3 == 0 ? "(*)" : ""));
        QCOMPARE(w->FindRoomName(std::int16_t(room)), "R" + std::to_string(n));
    }
    // The open room's tab is still the one room 3 opened; removing the room
    // removes its one row and closes the tab.
    QCOMPARE(w->FindSheet(3), sheet);
    f.Server.SendRoomList({MakeRoom(3, "")});
    QVERIFY(waitFor([&] { return w->RoomList->count() == Rooms - 1; }));
    QVERIFY(w->FindRoomItem(3) == nullptr);
    QCOMPARE(w->PageControl1->count(), 0);
    QVERIFY(freshSessionWorks(f));
}

void TestHostileServer::memberCounts_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("members");   // -1: the message is ignored, no tab opens
    QTest::newRow("negative") << -1 << 2 << 0;
    QTest::newRow("zero") << 0 << 2 << 0;
    QTest::newRow("more than sent") << 3 << 2 << -1;
    QTest::newRow("huge, few sent") << 32767 << 2 << -1;
    QTest::newRow("huge, 210 sent") << 32767 << 210 << 200;
}

void TestHostileServer::memberCounts()
{
    QFETCH(int, count);
    QFETCH(int, entries);
    QFETCH(int, members);
    MainWindowFixture f;
    QVERIFY(f.Handshake(Me));
    TChatSheet* lobby = f.OpenRoom(3, "Lobby");
    QVERIFY(lobby);
    QByteArray payload = byteOf(6) + shortBytes(count);
    for (int i = 0; i < entries; ++i)
        payload += memberEntry(100 + i, "m" + QByteArray::number(i));
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeRoomUser, payload));
    QVERIFY(chatGoesThrough(f, lobby));
    TChatSheet* sheet = f.Window()->FindSheet(6);
    if (members < 0) {
        QVERIFY(sheet == nullptr);
        QCOMPARE(f.Window()->PageControl1->count(), 1);
    } else {
        QVERIFY(sheet != nullptr);
        QCOMPARE(sheet->nUserCount, members);
        QCOMPARE(sheet->ListUser->count(), members);
        QVERIFY(chatGoesThrough(f, sheet));
    }
}

// Room 51 is the highest number a message may carry; 52 and 255 make the whole
// message be ignored, whichever message carries them.
void TestHostileServer::roomBytes_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("room");
    for (const char* message : {"GmRoomList", "GmRoomUser", "GmAEnterRoom", "GmRetireUser", "GmTalk"}) {
        for (int room : {51, 52, 255})
            QTest::addRow("%s room %d", message, room) << QString::fromLatin1(message) << room;
    }
}

void TestHostileServer::roomBytes()
{
    QFETCH(QString, message);
    QFETCH(int, room);
    const bool valid = room <= MaxRoomNo;
    MainWindowFixture f;
    QVERIFY(f.Handshake(Me));
    TChatSheet* lobby = f.OpenRoom(3, "Lobby", {MakeMember(Other, "other")});
    QVERIFY(lobby);
    TFormMain* w = f.Window();

    if (message == "GmRoomList") {
        f.Server.SendRaw(ScriptedServer::Frame(GmTypeRoomList, shortBytes(1) + roomEntry(room, "Edge")));
        QVERIFY(chatGoesThrough(f, lobby));
        QCOMPARE(roomRows(w).contains(QStringLiteral("Edge")), valid);
    } else if (message == "GmRoomUser") {
        f.Server.SendRaw(ScriptedServer::Frame(GmTypeRoomUser, byteOf(room) + shortBytes(1) + memberEntry(Me, "me")));
        QVERIFY(chatGoesThrough(f, lobby));
        QCOMPARE(w->PageControl1->count(), valid ? 2 : 1);
        if (valid)
            QVERIFY(w->FindSheet(std::int16_t(room)) != nullptr);
    } else if (message == "GmAEnterRoom") {
        f.Server.SendRaw(ScriptedServer::Frame(GmTypeAEnterRoom, byteOf(room) + byteOf(1)));
        QVERIFY(chatGoesThrough(f, lobby));
        QCOMPARE(f.Boxes, valid ? QStringList{QStringLiteral("入室できませんでした")} : QStringList{});
    } else if (message == "GmRetireUser") {
        // A valid room has a tab to leave; an invalid one must not be mistaken for any.
        TChatSheet* target = lobby;
        if (valid) {
            f.Server.SendRoomUser(std::int16_t(room), {MakeMember(Me, "me"), MakeMember(Other, "other")});
            QVERIFY(waitFor([&] { return (target = w->FindSheet(std::int16_t(room))) != nullptr; }));
        }
        const int before = target->nUserCount;
        f.Server.SendRaw(ScriptedServer::Frame(GmTypeRetireUser, byteOf(room) + shortBytes(Other)));
        QVERIFY(chatGoesThrough(f, lobby));
        QCOMPARE(target->nUserCount, valid ? before - 1 : before);
        QCOMPARE(lobby->nUserCount, 2);
    } else if (message == "GmTalk") {
        f.Server.SendRaw(talkFrame(room, Other, "", "edge line"));
        QVERIFY(chatGoesThrough(f, lobby));
        // Room 51 means the active tab.
        QCOMPARE(logLines(lobby).contains(QStringLiteral("other> edge line")), valid);
    }
    QVERIFY(w->Socket1->Active());
    QVERIFY(chatGoesThrough(f, lobby));
}

// A string whose length byte promises more than the frame holds makes the whole
// message be ignored: no box, no row, no tab, no line, and the connection stays.
void TestHostileServer::stringsRunningPastTheFrame_data()
{
    QTest::addColumn<QByteArray>("frame");
    const QByteArray cut = byteOf(200) + "abc";
    QTest::newRow("GmAReady message") << ScriptedServer::Frame(GmTypeAReady, byteOf(1) + cut);
    QTest::newRow("GmAReady message2")
        << ScriptedServer::Frame(GmTypeAReady, byteOf(1) + ScriptedServer::String("m") + cut);
    QTest::newRow("GmAConnect message") << ScriptedServer::Frame(GmTypeAConnect, byteOf(1) + cut);
    QTest::newRow("GmRoomList name")
        << ScriptedServer::Frame(GmTypeRoomList, shortBytes(1) + byteOf(8) + byteOf(0) + cut);
    QTest::newRow("GmRoomUser name")
        << ScriptedServer::Frame(GmTypeRoomUser, byteOf(8) + shortBytes(1) + shortBytes(Me) + cut);
    QTest::newRow("GmTalk name") << ScriptedServer::Frame(GmTypeTalk, byteOf(3) + shortBytes(Other) + cut);
    QTest::newRow("GmTalk text")
        << ScriptedServer::Frame(GmTypeTalk, byteOf(3) + shortBytes(Other) + ScriptedServer::String("n") + cut);
    QTest::newRow("length 255, nothing follows")
        << ScriptedServer::Frame(GmTypeTalk, byteOf(3) + shortBytes(Other) + byteOf(255));
}

void TestHostileServer::stringsRunningPastTheFrame()
{
    QFETCH(QByteArray, frame);
    MainWindowFixture f;
    QVERIFY(f.Handshake(Me));
    TChatSheet* lobby = f.OpenRoom(3, "Lobby", {MakeMember(Other, "other")});
    QVERIFY(lobby);
    f.Server.SendRaw(frame);
    QVERIFY(chatGoesThrough(f, lobby));
    QVERIFY(f.Boxes.isEmpty());
    QCOMPARE(roomRows(f.Window()), QStringList{QStringLiteral("Lobby")});
    QCOMPARE(f.Window()->PageControl1->count(), 1);
    QCOMPARE(logLines(lobby).size(), 1);   // only the check's own line
    QVERIFY(f.Window()->Socket1->Active());
    QCOMPARE(f.Window()->ClientID, Me);
}

void TestHostileServer::wholeSessionOneByteAtATime()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    QVERIFY(f.Connect());
    const int startRooms = w->StartRooms.Count;
    QTcpSocket* peer = f.Server.Peer();
    peer->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const QByteArray session = [] {
        ScriptedServer s;   // only its encoders are used
        QByteArray bytes;
        auto take = [&] {
            bytes += QByteArray(reinterpret_cast<const char*>(s.Protocol.Packet.Data()),
                                s.Protocol.Packet.GetLength());
        };
        GmAReady::Info ready;
        ready.clientID = Me;
        s.Protocol.AReady.Encode(ready);
        take();
        GmAConnect::Info connect;
        s.Protocol.AConnect.Encode(connect);
        take();
        bytes += ScriptedServer::Frame(GmTypeRoomList, shortBytes(1) + roomEntry(3, "Lobby"));
        bytes += ScriptedServer::Frame(GmTypeUserCount, shortBytes(5));
        bytes += ScriptedServer::Frame(GmTypeRoomUser,
                                       byteOf(3) + shortBytes(2) + memberEntry(Me, "me") + memberEntry(Other, "other"));
        bytes += talkFrame(3, Other, "", "hello, byte by byte");
        bytes += ScriptedServer::Frame(GmTypeLife, {});
        return bytes;
    }();
    for (const char byte : session) {
        peer->write(&byte, 1);
        peer->flush();
        QCoreApplication::processEvents();
    }
    TChatSheet* sheet = nullptr;
    QVERIFY(waitFor([&] { return (sheet = w->FindSheet(3)) != nullptr && sheet->ChatLog->LineCount() == 1; }));
    QCOMPARE(w->ClientID, Me);
    QCOMPARE(sheet->ChatLog->LineText(0), QStringLiteral("other> hello, byte by byte"));
    QCOMPARE(sheet->nUserCount, 2);
    QVERIFY(w->windowTitle().endsWith(QStringLiteral(" - 5人")));
    // The client answered the handshake exactly once each.
    QVERIFY(f.Server.NextPacket());
    QCOMPARE(f.Server.Protocol.Packet.Type(), std::uint8_t(GmTypeConnect));
    for (int i = 0; i < startRooms; ++i) {
        QVERIFY(f.Server.NextPacket());
        QCOMPARE(f.Server.Protocol.Packet.Type(), std::uint8_t(GmTypeEnterRoom));
    }
    QVERIFY(f.FramesUntilSync().isEmpty());
    QVERIFY(chatGoesThrough(f, sheet));
}

void TestHostileServer::closeMidFrameThenNewConnectionStartsClean()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    // Header and part of the body, then the server goes away.
    const QByteArray frame = talkFrame(3, Other, "", "never finished");
    f.Server.SendRaw(frame.left(6));
    QVERIFY(waitFor([&] { return f.Window()->Receiver.PendingLength == frame.size(); }));
    f.Server.CloseClient();
    QVERIFY(waitFor([&] { return !f.Window()->Socket1->Active(); }));
    QCOMPARE(f.Window()->PageControl1->count(), 0);
    QCOMPARE(f.Window()->Receiver.PendingLength, std::int16_t(0));
    // Were the cut frame still pending, the new connection's first reply would be
    // read as its rest and the handshake would stall.
    QVERIFY(freshSessionWorks(f));
}

void TestHostileServer::hundredThousandLifeFrames()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    const QByteArray life = ScriptedServer::Frame(GmTypeLife, {});
    QByteArray flood;
    flood.reserve(life.size() * 10000);
    for (int i = 0; i < 10000; ++i)
        flood += life;
    for (int i = 0; i < 10; ++i)
        f.Server.SendRaw(flood);
    // A generous bound: the flood must be worked off, however slow the machine.
    f.Server.SendTalk(3, Me, "", "after the flood");
    QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == 1; }, 300000));
    QCOMPARE(sheet->ChatLog->LineText(0), QStringLiteral("me> after the flood"));
    // Keep-alives are never answered.
    QVERIFY(f.FramesUntilSync().isEmpty());
    QVERIFY(f.Window()->Socket1->Active());
    QVERIFY(chatGoesThrough(f, sheet));
}

void TestHostileServer::peerThatNeverReads()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    // From here the server takes nothing off its socket: the kernel buffers fill,
    // then the client's own queue.
    f.Server.Peer()->setReadBufferSize(1);
    f.Server.Peer()->readAll();

    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(0);
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start();

    const std::string line(200, 'z');
    std::size_t mostQueued = 0;
    int sent = 0;
    for (; sent < 400000 && f.Boxes.isEmpty(); ++sent) {
        w->SendTalk(line);
        mostQueued = std::max(mostQueued, w->Socket1->QueuedOutput());
        if (sent % 64 == 0)
            QCoreApplication::processEvents();
    }
    QCOMPARE(f.Boxes.size(), 1);
    QVERIFY(f.Boxes.first().contains(QStringLiteral("1MB")));
    QVERIFY(mostQueued > 0);
    QVERIFY(mostQueued <= ClientSocket::MaxQueuedOutput);
    QCOMPARE(w->Socket1->QueuedOutput(), std::size_t(0));
    QVERIFY(!w->Socket1->Active());
    QCOMPARE(w->PageControl1->count(), 0);
    // The window kept handling events while it sent, and still does.
    QVERIFY(ticks > 0);
    const int before = ticks;
    QVERIFY(waitFor([&] { return ticks > before; }));
    ticker.stop();

    QVERIFY(freshSessionWorks(f));
}

// Error answers that keep the connection open, sent while the user has not yet
// dismissed the first box: each one arrives in the box's event loop. Boxes must
// not nest without bound, or a server that keeps sending them takes the whole
// stack (about 21,000 nested boxes end in a stack overflow). Four different
// refusals cycle, so three boxes nest and the fourth text waits.
void TestHostileServer::errorBoxesDoNotPileUp()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    SetBoxInterceptor({});   // real boxes, each with its own event loop

    constexpr int Answers = 300;
    int sent = 0;
    int mostOpen = 0;
    // Runs inside whichever box's loop is innermost: sends the answers one by
    // one, then plays the user dismissing every box on screen.
    QTimer drip;
    drip.setInterval(1);
    connect(&drip, &QTimer::timeout, [&] {
        const auto boxes = DialogDriver::VisibleMessageBoxes();
        mostOpen = std::max(mostOpen, int(boxes.size()));
        if (sent < Answers) {
            // Four refusals with four different texts, over and over.
            f.Server.SendRaw(ScriptedServer::Frame(GmTypeACreateRoom, byteOf(1 + sent % 4)));
            ++sent;
            return;
        }
        for (QMessageBox* box : boxes)
            box->reject();
        if (boxes.isEmpty())
            drip.stop();
    });
    drip.start();
    QVERIFY(waitFor([&] { return !drip.isActive(); }, 120000));
    SetBoxInterceptor([&f](const QString&, const QString& text) { f.Boxes << text; });

    qInfo("error boxes open at once: %d", mostOpen);
    QVERIFY2(mostOpen == 3, qPrintable(QStringLiteral("%1 boxes open at once").arg(mostOpen)));
    QVERIFY(f.Window()->Socket1->Active());
    QVERIFY(chatGoesThrough(f, sheet));
}

void TestHostileServer::markupInNamesAndLinesStaysText()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(4, "<b>x</b>", {MakeMember(Other, "<img src=x>")});
    QVERIFY(sheet);
    f.Server.SendRoomList({MakeRoom(5, "<i>y</i>", true)});
    f.Server.SendTalk(4, Other, "", "<b>bold</b> <a href=x>link</a>");
    f.Server.SendTalk(4, 11, "<u>stranger</u>", "&lt;escaped&gt;");
    QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == 2; }));

    QCOMPARE(roomRows(w), (QStringList{QStringLiteral("<b>x</b>"), QStringLiteral("<i>y</i>(*)")}));
    QCOMPARE(w->PageControl1->tabText(0), QStringLiteral("<b>x</b>"));
    QCOMPARE(sheet->ListUser->item(1)->text(), QStringLiteral("<img src=x>"));
    QCOMPARE(logLines(sheet), (QStringList{QStringLiteral("<img src=x>> <b>bold</b> <a href=x>link</a>"),
                                            QStringLiteral("<u>stranger</u>>&lt;escaped&gt;")}));
    // The log holds text, not markup: as HTML the tags come out escaped and no
    // image, link or bold run exists.
    const QString html = sheet->ChatLog->document()->toHtml();
    QVERIFY(html.contains(QStringLiteral("&lt;b&gt;bold&lt;/b&gt;")));
    QVERIFY(!html.contains(QStringLiteral("<img")));
    QVERIFY(!html.contains(QStringLiteral("<a href")));
    QVERIFY(html.contains(QStringLiteral("&amp;lt;escaped&amp;gt;")));
    QVERIFY(chatGoesThrough(f, sheet));
}

void TestHostileServer::markupInBoxesStaysText()
{
    MainWindowFixture f;
    // A refusal whose text is markup: the box is asked for with the text as sent...
    QVERIFY(f.Connect());
    f.Server.SendAReady(1, Me, "<b>x</b><img src=x>");
    QVERIFY(waitFor([&] { return !f.Boxes.isEmpty(); }));
    QCOMPARE(f.Boxes, QStringList{QStringLiteral("<b>x</b><img src=x>")});
    QVERIFY(waitFor([&] { return !f.Window()->Socket1->Active(); }));

    // ...and the real box shows it as plain text.
    QString shownText;
    Qt::TextFormat shownFormat = Qt::RichText;
    Qt::TextFormat labelFormat = Qt::RichText;
    SetBoxInterceptor({});
    OnNextModal([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            shownText = box->text();
            shownFormat = box->textFormat();
            if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
                labelFormat = label->textFormat();
        }
    });
    f.Server.CloseClient();
    QVERIFY(f.Connect());
    f.Server.SendAConnect(1, "<img src=x>");
    QVERIFY(waitFor([&] { return !shownText.isEmpty(); }));
    SetBoxInterceptor([&f](const QString&, const QString& text) { f.Boxes << text; });
    QCOMPARE(shownText, QStringLiteral("<img src=x>"));
    QCOMPARE(shownFormat, Qt::PlainText);
    QCOMPARE(labelFormat, Qt::PlainText);
    QVERIFY(freshSessionWorks(f));
}

void TestHostileServer::ampersandInRoomNameIsNoAccelerator()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "R&D");
    QVERIFY(sheet);
    TChatSheet* second = f.OpenRoom(4, "&&x&");
    QVERIFY(second);
    f.Server.SendTalk(3, Me, "", "mark room 3 unread");
    QVERIFY(waitFor([&] { return w->PageControl1->tabText(0).endsWith(QLatin1Char('*')); }));

    // As drawn, "&&" is one "&"; no letter is underlined as a shortcut.
    auto shown = [](QString caption) { return caption.replace(QStringLiteral("&&"), QStringLiteral("&")); };
    QCOMPARE(shown(w->PageControl1->tabText(0)), QStringLiteral("R&D*"));
    QCOMPARE(shown(w->PageControl1->tabText(1)), QStringLiteral("&&x&"));
    for (int i = 0; i < 2; ++i)
        QVERIFY(QKeySequence::mnemonic(w->PageControl1->tabText(i)).isEmpty());
    QCOMPARE(roomRows(w), (QStringList{QStringLiteral("R&D"), QStringLiteral("&&x&")}));
    // Activating the tab clears the mark and keeps the name as typed.
    w->PageControl1->setCurrentIndex(0);
    QCOMPARE(shown(w->PageControl1->tabText(0)), QStringLiteral("R&D"));
    QVERIFY(chatGoesThrough(f, sheet));
}

void TestHostileServer::roomNamesNeverLeaveTheLogsFolder()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake(Me));
    const QList<QByteArray> names = {"../../x", "..", QByteArray("\x01\x1b[2J/\x7f", 7), QByteArray(30, '.'),
                                     QByteArray(29, '.') + "/"};
    for (int i = 0; i < names.size(); ++i)
        QVERIFY(f.OpenRoom(std::int16_t(3 + i), names[i]));
    f.Close();   // program end writes the logs out
    const QString home = QFileInfo(QString::fromStdString(f.SettingsPath())).absolutePath();
    QStringList files;
    QDirIterator it(home, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(home).relativeFilePath(it.next());
    QCOMPARE(files.size(), names.size() + 1);   // one log per room, and the settings
    for (const QString& file : files)
        QVERIFY2(file == QStringLiteral("kvchat.INI") || file.startsWith(QStringLiteral("logs/127.0.0.1_")),
                 qPrintable(file));
}

QTEST_MAIN(TestHostileServer)
#include "tst_hostile_server.moc"
