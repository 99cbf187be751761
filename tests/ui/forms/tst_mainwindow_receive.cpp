// The main window against a scripted server: handshake, replies, tabs, logs, boxes.
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "MainWindowFixture.h"
#include "MessageBoxes.h"
#include "StartRooms.h"
#include "Unitmain.h"
#include "Unitupdate.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QScrollBar>
#include <QTest>

namespace {

bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 10000);
}

QStringList roomListTexts(TFormMain* w)
{
    QStringList texts;
    for (int i = 0; i < w->RoomList->count(); ++i)
        texts << w->RoomList->item(i)->text();
    return texts;
}

QStringList memberRows(TChatSheet* sheet)
{
    QStringList rows;
    for (int i = 0; i < sheet->ListUser->count(); ++i)
        rows << sheet->ListUser->item(i)->text();
    return rows;
}

} // namespace

class TestMainWindowReceive : public QObject {
    Q_OBJECT
private slots:
    void opensWithOpeningMessageAndEnablesControls();
    void connectFollowsAReadyAndStoresClientId();
    void entersStartRoomsByNameInOrder();
    void framesSplitByteByByteAndSeveralInOneSegment();
    void framesAlreadyReadAreHandledWhileABoxIsOpen();
    void lifeAndUnknownTypesChangeNothing();
    void closeMessageEndsConnectionButKeepsUserState();
    void aReadyStatuses_data();
    void aReadyStatuses();
    void aReadyStatusTwoShowsDownloadAddress();
    void aConnectStatuses_data();
    void aConnectStatuses();
    void createAndEnterAnswersShowBoxesAndKeepConnection_data();
    void createAndEnterAnswersShowBoxesAndKeepConnection();
    void roomListShowsPasswordMarkAndRemovalClosesTab();
    void firstMemberListOpensTabAndRemembersRoom();
    void logLinesNameSpeakersAndColourByStyle();
    void room51GoesToActiveTab();
    void unreadMarkOnInactiveTabAndClearedOnActivation();
    void retireUserForOthersAndForSelf();
    void userCountSetsCaption();
    void badFrameLengthsCloseOrDrop_data();
    void badFrameLengthsCloseOrDrop();
    void decodeFailuresAreIgnored();
    void markupAndAmpersandShownLiterally();
    void memberTableStopsAt200();
    void controlsFollowConnectionState();
    void hostNamesAreLookedUpAndAnUnknownOneIsNamed();
};

void TestMainWindowReceive::opensWithOpeningMessageAndEnablesControls()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    QVERIFY(w->OpenMenu->isEnabled());
    QVERIFY(!w->CloseMenu->isEnabled());
    QVERIFY(!w->PanelInput->isEnabled());
    QVERIFY(f.Connect());   // checks the bytes 00 07 01 01 01 01 01
    QVERIFY(!w->OpenMenu->isEnabled());
    QVERIFY(w->CloseMenu->isEnabled());
    QVERIFY(w->PanelInput->isEnabled());
    QVERIFY(w->ButtonEnterRoom->isEnabled());
    QVERIFY(w->ButtonBoard->isEnabled());
    QVERIFY(w->RoomList->isEnabled());
}

void TestMainWindowReceive::connectFollowsAReadyAndStoresClientId()
{
    MainWindowFixture f;
    f.Window()->UserName = "tanaka";
    QVERIFY(f.Connect());
    f.Server.SendAReady(0, 7);
    const auto frame = f.Server.NextFrame();
    QVERIFY(frame);
    QCOMPARE(*frame, ScriptedServer::Frame(GmTypeConnect, ScriptedServer::String("tanaka")));
    QCOMPARE(f.Window()->ClientID, std::int16_t(7));
    // Exactly one GmConnect: the next frame is the sync marker.
    QVERIFY(f.FramesUntilSync().isEmpty());
}

void TestMainWindowReceive::entersStartRoomsByNameInOrder()
{
    MainWindowFixture f;
    TStartRoomList& rooms = f.Window()->StartRooms;
    rooms.Count = 0;
    AddStartRoom(rooms, Sjis("待合室").toStdString(), "");
    AddStartRoom(rooms, "Lobby", "pw");
    AddStartRoom(rooms, "Team", "");
    QVERIFY(f.Connect());
    f.Server.SendAReady(0, 3);
    QVERIFY(f.Server.NextFrame());
    f.Server.SendAConnect(0);
    const QByteArray expected[] = {
        ScriptedServer::Frame(GmTypeEnterRoom, QByteArray(1, 0) + ScriptedServer::String(Sjis("待合室")) + ScriptedServer::String("")),
        ScriptedServer::Frame(GmTypeEnterRoom, QByteArray(1, 0) + ScriptedServer::String("Lobby") + ScriptedServer::String("pw")),
        ScriptedServer::Frame(GmTypeEnterRoom, QByteArray(1, 0) + ScriptedServer::String("Team") + ScriptedServer::String("")),
    };
    for (const QByteArray& e : expected) {
        const auto frame = f.Server.NextFrame();
        QVERIFY(frame);
        QCOMPARE(*frame, e);
    }
    QVERIFY(f.FramesUntilSync().isEmpty());
}

void TestMainWindowReceive::framesSplitByteByByteAndSeveralInOneSegment()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    TChatSheet* sheet = f.OpenRoom(3, "Lobby", {MakeMember(9, "bob")});
    QVERIFY(sheet);

    // Two talks in one segment.
    GmTalk::Info talk;
    talk.room = 3;
    talk.clientID = 9;
    std::strcpy(talk.text, "one");
    f.Server.Protocol.Talk.Encode(talk);
    QByteArray both(reinterpret_cast<const char*>(f.Server.Protocol.Packet.Data()), f.Server.Protocol.Packet.GetLength());
    std::strcpy(talk.text, "two");
    f.Server.Protocol.Talk.Encode(talk);
    both += QByteArray(reinterpret_cast<const char*>(f.Server.Protocol.Packet.Data()), f.Server.Protocol.Packet.GetLength());
    f.Server.SendRaw(both);
    QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == 2; }));

    // A third one byte at a time.
    std::strcpy(talk.text, "three");
    f.Server.Protocol.Talk.Encode(talk);
    const QByteArray one(reinterpret_cast<const char*>(f.Server.Protocol.Packet.Data()), f.Server.Protocol.Packet.GetLength());
    for (char c : one) {
        f.Server.SendRaw(QByteArray(1, c));
        QTest::qWait(3);
    }
    QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == 3; }));
    QCOMPARE(sheet->ChatLog->LineText(0), QStringLiteral("bob> one"));
    QCOMPARE(sheet->ChatLog->LineText(1), QStringLiteral("bob> two"));
    QCOMPARE(sheet->ChatLog->LineText(2), QStringLiteral("bob> three"));
}

void TestMainWindowReceive::framesAlreadyReadAreHandledWhileABoxIsOpen()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    TChatSheet* sheet = f.OpenRoom(3, "Lobby", {MakeMember(9, "bob")});
    QVERIFY(sheet);
    SetBoxInterceptor({});   // a real box with its own event loop
    QString boxText;
    bool loggedWhileOpen = false;
    OnNextModal([&](QWidget* box) {
        boxText = static_cast<QMessageBox*>(box)->text();
        loggedWhileOpen = QTest::qWaitFor([&] { return sheet->ChatLog->LineCount() == 1; }, 5000);
    });
    // The wrong-password answer and a talk in one segment.
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeAEnterRoom, QByteArray::fromHex("0303")) +
                     ScriptedServer::Frame(GmTypeTalk, QByteArray::fromHex("0300090002686900")));
    QVERIFY(waitFor([&] { return !boxText.isEmpty() && QApplication::activeModalWidget() == nullptr; }));
    QCOMPARE(boxText, QStringLiteral("パスワードが違います"));
    QVERIFY(loggedWhileOpen);
}

void TestMainWindowReceive::lifeAndUnknownTypesChangeNothing()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    for (std::uint8_t type : {std::uint8_t(3), std::uint8_t(1), std::uint8_t(15), std::uint8_t(200), std::uint8_t(0)})
        f.Server.SendRaw(ScriptedServer::Frame(type, QByteArray("\x03\x00\x09\x00\x00\x00", 6)));
    f.Server.SendTalk(3, 7, "me", "after");
    QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == 1; }));
    QCOMPARE(sheet->ChatLog->LineText(0), QStringLiteral("me> after"));
    QVERIFY(f.Window()->Socket1->Active());
    QVERIFY2(f.FramesUntilSync().isEmpty(), "no answer to a keep-alive");
    QVERIFY(f.Boxes.isEmpty());
}

void TestMainWindowReceive::closeMessageEndsConnectionButKeepsUserState()
{
    MainWindowFixture f;
    f.Window()->UserName = "keeper";
    QVERIFY(f.Handshake());
    QVERIFY(f.OpenRoom(3, "Lobby"));
    const int startRooms = f.Window()->StartRooms.Count;
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeClose, {}));
    QVERIFY(waitFor([&] { return !f.Window()->Socket1->Active(); }));
    QCOMPARE(f.Window()->PageControl1->count(), 0);
    QCOMPARE(f.Window()->RoomList->count(), 0);
    QCOMPARE(f.Window()->UserName, std::string("keeper"));
    QCOMPARE(f.Window()->StartRooms.Count, startRooms);
    QCOMPARE(f.Window()->ClientID, std::int16_t(7));
    QVERIFY(f.Window()->OpenMenu->isEnabled());
    QVERIFY(!f.Window()->PanelInput->isEnabled());
}

void TestMainWindowReceive::aReadyStatuses_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("1") << 1 << QStringList{QStringLiteral("サーバの言葉")};
    QTest::newRow("3") << 3 << QStringList{QStringLiteral("残念ながら該当機種はまだサポートされていません")};
    QTest::newRow("4") << 4 << QStringList{QStringLiteral("接続しているユーザ数が多すぎて接続できませんでした"), QStringLiteral("サーバの言葉")};
    QTest::newRow("5") << 5 << QStringList{QStringLiteral("サーバの言葉")};
    QTest::newRow("255") << 255 << QStringList{QStringLiteral("サーバの言葉")};
}

void TestMainWindowReceive::aReadyStatuses()
{
    QFETCH(int, status);
    QFETCH(QStringList, boxes);
    MainWindowFixture f;
    QVERIFY(f.Connect());
    f.Server.SendAReady(static_cast<std::uint8_t>(status), 12, Sjis("サーバの言葉"));
    QVERIFY(waitFor([&] { return f.Boxes.size() == boxes.size(); }));
    QCOMPARE(f.Boxes, boxes);
    QVERIFY(!f.Window()->Socket1->Active());
    QCOMPARE(f.Window()->ClientID, std::int16_t(12));
    QVERIFY(f.Server.WaitForDisconnect());
}

void TestMainWindowReceive::aReadyStatusTwoShowsDownloadAddress()
{
    MainWindowFixture f;
    f.Window()->UrlDownload = "http://example.invalid/kv.zip";
    QVERIFY(f.Connect());
    QString shown;
    bool closedFirst = false;
    OnNextModal([&](QWidget* modal) {
        shown = FormUpdate->LabelURL->text();
        closedFirst = !f.Window()->Socket1->Active();
        QVERIFY(modal == FormUpdate);
    });
    f.Server.SendAReady(2, 1);
    QVERIFY(waitFor([&] { return !shown.isEmpty(); }));
    QCOMPARE(shown, QStringLiteral("http://example.invalid/kv.zip"));
    QVERIFY(closedFirst);
    QVERIFY(f.Boxes.isEmpty());
}

void TestMainWindowReceive::aConnectStatuses_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("1") << 1 << QStringList{QStringLiteral("名前が使えません")};
    QTest::newRow("2") << 2 << QStringList{QStringLiteral("すでに同名で接続しています。別の名前で接続してください")};
    QTest::newRow("3") << 3 << QStringList{QStringLiteral("指定のIPアドレスからの接続はできません")};
    QTest::newRow("4") << 4 << QStringList{QStringLiteral("このサーバへの接続権限がありません")};
    QTest::newRow("5") << 5 << QStringList{QStringLiteral("接続数が多すぎて接続できませんでした")};
    QTest::newRow("9") << 9 << QStringList{};
}

void TestMainWindowReceive::aConnectStatuses()
{
    QFETCH(int, status);
    QFETCH(QStringList, boxes);
    MainWindowFixture f;
    QVERIFY(f.Connect());
    f.Server.SendAReady(0, 4);
    QVERIFY(f.Server.NextFrame());
    f.Server.SendAConnect(static_cast<std::uint8_t>(status), Sjis("名前が使えません"));
    QVERIFY(f.Server.WaitForDisconnect());
    QVERIFY(waitFor([&] { return !f.Window()->Socket1->Active(); }));
    QTest::qWait(20);
    QCOMPARE(f.Boxes, boxes);
}

void TestMainWindowReceive::createAndEnterAnswersShowBoxesAndKeepConnection_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("box");
    QTest::newRow("create 0") << 16 << 0 << QString();
    QTest::newRow("create 1") << 16 << 1 << QStringLiteral("部屋の作成に失敗しました");
    QTest::newRow("create 2") << 16 << 2 << QStringLiteral("一人で作成できる部屋数には制限があり、これ以上作成できません");
    QTest::newRow("create 3") << 16 << 3 << QStringLiteral("部屋数をこれ以上増やすことはできません");
    QTest::newRow("create 4") << 16 << 4 << QStringLiteral("部屋を作成する権限がありません");
    QTest::newRow("create 5") << 16 << 5 << QString();
    QTest::newRow("enter 0") << 18 << 0 << QString();
    QTest::newRow("enter 1") << 18 << 1 << QStringLiteral("入室できませんでした");
    QTest::newRow("enter 2") << 18 << 2 << QStringLiteral("既に部屋に入室しています");
    QTest::newRow("enter 3") << 18 << 3 << QStringLiteral("パスワードが違います");
    QTest::newRow("enter 4") << 18 << 4 << QString();
}

void TestMainWindowReceive::createAndEnterAnswersShowBoxesAndKeepConnection()
{
    QFETCH(int, type);
    QFETCH(int, status);
    QFETCH(QString, box);
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    const QByteArray payload = type == 16 ? QByteArray(1, char(status)) : QByteArray("\x03", 1) + QByteArray(1, char(status));
    f.Server.SendRaw(ScriptedServer::Frame(static_cast<std::uint8_t>(type), payload));
    f.Server.SendTalk(3, 7, "me", "sync");
    QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == 1; }));
    QCOMPARE(f.Boxes, box.isEmpty() ? QStringList{} : QStringList{box});
    QVERIFY(f.Window()->Socket1->Active());
}

void TestMainWindowReceive::roomListShowsPasswordMarkAndRemovalClosesTab()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    f.Server.SendRoomList({MakeRoom(3, "Lobby"), MakeRoom(4, "Team", true)});
    QVERIFY(waitFor([&] { return f.Window()->RoomList->count() == 2; }));
    QCOMPARE(roomListTexts(f.Window()), (QStringList{"Lobby", "Team(*)"}));
    f.Server.SendRoomUser(3, {MakeMember(7, "me")});
    QVERIFY(waitFor([&] { return f.Window()->FindSheet(3) != nullptr; }));
    f.Window()->RoomList->setCurrentRow(0);   // the user chose Lobby
    f.Server.SendRoomList({MakeRoom(3, "")});
    QVERIFY(waitFor([&] { return f.Window()->RoomList->count() == 1; }));
    QCOMPARE(roomListTexts(f.Window()), QStringList{"Team(*)"});
    // No other room takes its place as the user's choice.
    QVERIFY(f.Window()->RoomList->selectedItems().isEmpty());
    QVERIFY(f.Window()->FindSheet(3) == nullptr);
    QCOMPARE(f.Window()->PageControl1->count(), 0);
    QCOMPARE(f.Window()->FindRoomName(4), std::string("Team"));
    QCOMPARE(f.Window()->FindRoomName(3), std::string());
}

void TestMainWindowReceive::firstMemberListOpensTabAndRemembersRoom()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    TFormMain* w = f.Window();
    w->StartRooms.Count = 0;
    w->LastPassword = "secret";
    f.Server.SendRoomList({MakeRoom(2, "Other"), MakeRoom(4, "Team", true)});
    f.Server.SendRoomUser(2, {MakeMember(7, "me")});
    QVERIFY(waitFor([&] { return w->FindSheet(2) != nullptr; }));
    f.Server.SendRoomUser(4, {MakeMember(7, "me"), MakeMember(8, "ann", 1)});
    QVERIFY(waitFor([&] { return w->FindSheet(4) != nullptr; }));
    TChatSheet* sheet = w->FindSheet(4);
    QCOMPARE(w->ActiveChatSheet(), sheet);
    QCOMPARE(w->PageControl1->tabText(w->PageControl1->indexOf(sheet)), QStringLiteral("Team"));
    QCOMPARE(memberRows(sheet), (QStringList{"me", "ann (*)"}));
    QCOMPARE(w->StartRooms.Count, 2);
    QCOMPARE(w->StartRooms.Rooms[1].Name, std::string("Team"));
    QCOMPARE(w->StartRooms.Rooms[1].Password, std::string("secret"));

    // A second list for the same room only adds members; the tab stays and is not re-added.
    f.Server.SendRoomUser(4, {MakeMember(8, "ann", 1), MakeMember(9, "bob")});
    QVERIFY(waitFor([&] { return sheet->nUserCount == 3; }));
    QCOMPARE(memberRows(sheet), (QStringList{"me", "ann (*)", "bob"}));
    QCOMPARE(w->PageControl1->count(), 2);
    QCOMPARE(w->StartRooms.Count, 2);
}

void TestMainWindowReceive::logLinesNameSpeakersAndColourByStyle()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    TChatSheet* sheet = f.OpenRoom(3, "Lobby", {MakeMember(9, "bob")});
    QVERIFY(sheet);
    struct Line { std::int16_t id; QByteArray name; QByteArray text; std::uint8_t style; QString shown; QColor colour; };
    const Line lines[] = {
        {9, "ignored", "hello", 0, "bob> hello", Qt::black},
        {50, "guest", "hi", 1, "guest>hi", QColor(223, 0, 0)},
        {51, "", "bare", 2, "bare", QColor(0, 128, 0)},
        {9, "", "", 3, "bob> ", QColor(0, 0, 255)},
        {9, "", "four", 4, "bob> four", QColor(223, 0, 0)},
        {9, "", "odd", 9, "bob> odd", Qt::black},
        {9, "", Sjis("日本語ﾃｽﾄ"), 0, QStringLiteral("bob> 日本語ﾃｽﾄ"), Qt::black},
    };
    for (const Line& l : lines)
        f.Server.SendTalk(3, l.id, l.name, l.text, l.style);
    QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == int(std::size(lines)); }));
    for (int i = 0; i < int(std::size(lines)); ++i) {
        QCOMPARE(sheet->ChatLog->LineText(i), lines[i].shown);
        QCOMPARE(sheet->ChatLog->LineColor(i), lines[i].colour);
    }
    // Another room's line goes nowhere.
    f.Server.SendTalk(5, 9, "", "elsewhere");
    f.Server.SendTalk(3, 9, "", "last");
    QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == int(std::size(lines)) + 1; }));
    QCOMPARE(sheet->ChatLog->LineText(int(std::size(lines))), QStringLiteral("bob> last"));
}

void TestMainWindowReceive::room51GoesToActiveTab()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    // No tab: dropped without harm.
    f.Server.SendTalk(51, 9, "x", "nowhere");
    TChatSheet* a = f.OpenRoom(3, "A");
    TChatSheet* b = f.OpenRoom(4, "B");
    QVERIFY(a && b);
    QCOMPARE(f.Window()->ActiveChatSheet(), b);
    f.Server.SendTalk(51, 7, "", "to active");
    QVERIFY(waitFor([&] { return b->ChatLog->LineCount() == 1; }));
    QCOMPARE(b->ChatLog->LineText(0), QStringLiteral("me> to active"));
    QCOMPARE(a->ChatLog->LineCount(), 0);
    QCOMPARE(f.Window()->PageControl1->tabText(1), QStringLiteral("B"));
}

void TestMainWindowReceive::unreadMarkOnInactiveTabAndClearedOnActivation()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    TChatSheet* a = f.OpenRoom(2, "A");
    TChatSheet* b = f.OpenRoom(4, "B");
    QVERIFY(a && b);
    QTabWidget* tabs = f.Window()->PageControl1;
    f.Server.SendTalk(2, 7, "", "while away");
    QVERIFY(waitFor([&] { return tabs->tabText(0) == QStringLiteral("A*"); }));
    QCOMPARE(tabs->tabText(1), QStringLiteral("B"));
    tabs->setCurrentIndex(0);   // as a click on the tab does
    QCOMPARE(tabs->tabText(0), QStringLiteral("A"));
    QCOMPARE(a->RoomName, std::string("A"));

    // The tab on screen, scrolled up: what arrives waits below, and the tab says so until
    // the user is back at the newest line.
    f.Window()->show();
    for (int i = 0; i < 200; ++i)
        f.Server.SendTalk(2, 7, "", "line " + QByteArray::number(i));
    QScrollBar* bar = a->ChatLog->verticalScrollBar();
    QVERIFY(waitFor([&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); }));
    QCOMPARE(tabs->tabText(0), QStringLiteral("A"));
    bar->setValue(bar->maximum() / 2);
    f.Server.SendTalk(2, 7, "", "while reading back");
    QVERIFY(waitFor([&] { return tabs->tabText(0) == QStringLiteral("A*"); }));
    bar->setValue(bar->maximum());
    QCOMPARE(tabs->tabText(0), QStringLiteral("A"));
}

void TestMainWindowReceive::retireUserForOthersAndForSelf()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake(7));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby", {MakeMember(8, "ann"), MakeMember(9, "bob")});
    QVERIFY(sheet);
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeRetireUser, QByteArray::fromHex("030008")));
    QVERIFY(waitFor([&] { return sheet->nUserCount == 2; }));
    QCOMPARE(memberRows(sheet), (QStringList{"me", "bob"}));
    // Unknown member or room: nothing.
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeRetireUser, QByteArray::fromHex("030063")));
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeRetireUser, QByteArray::fromHex("050007")));
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeRetireUser, QByteArray::fromHex("030007")));
    QVERIFY(waitFor([&] { return f.Window()->FindSheet(3) == nullptr; }));
    QCOMPARE(f.Window()->PageControl1->count(), 0);
    QVERIFY(f.Window()->Socket1->Active());
}

void TestMainWindowReceive::userCountSetsCaption()
{
    MainWindowFixture f;
    QCOMPARE(f.Window()->windowTitle(), QStringLiteral("KVチャット"));
    QVERIFY(f.Handshake());
    const std::pair<QByteArray, QString> cases[] = {
        {QByteArray::fromHex("0019"), QStringLiteral("KVチャット ver1.10 - 25人")},
        {QByteArray::fromHex("0000"), QStringLiteral("KVチャット ver1.10 - 0人")},
        {QByteArray::fromHex("ffff"), QStringLiteral("KVチャット ver1.10 - -1人")},
    };
    for (const auto& [payload, caption] : cases) {
        f.Server.SendRaw(ScriptedServer::Frame(GmTypeUserCount, payload));
        QVERIFY(waitFor([&] { return f.Window()->windowTitle() == caption; }));
    }
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeClose, {}));
    QVERIFY(waitFor([&] { return !f.Window()->Socket1->Active(); }));
    QCOMPARE(f.Window()->windowTitle(), QStringLiteral("KVチャット ver1.10 - -1人"));
}

void TestMainWindowReceive::badFrameLengthsCloseOrDrop_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("closes");
    QTest::newRow("0") << 0 << true;
    QTest::newRow("1") << 1 << true;
    QTest::newRow("2") << 2 << false;
    QTest::newRow("9990") << 9990 << false;
    QTest::newRow("10000") << 10000 << false;
    QTest::newRow("10001") << 10001 << true;
    QTest::newRow("0xFFFF") << 0xFFFF << true;
}

void TestMainWindowReceive::badFrameLengthsCloseOrDrop()
{
    QFETCH(int, length);
    QFETCH(bool, closes);
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    QByteArray frame;
    frame.append(char(length >> 8)).append(char(length & 0xFF));
    if (!closes)
        frame.append(QByteArray(length - 2, '\x15'));
    f.Server.SendRaw(frame);
    f.Server.SendTalk(3, 7, "", "still in step");
    if (closes) {
        QVERIFY(f.Server.WaitForDisconnect());
        QVERIFY(waitFor([&] { return !f.Window()->Socket1->Active(); }));
        QCOMPARE(f.Window()->PageControl1->count(), 0);
        // A new connection starts clean.
        f.Server.CloseClient();
        QVERIFY(f.Handshake());
        TChatSheet* again = f.OpenRoom(3, "Lobby");
        QVERIFY(again);
        const int restored = again->ChatLog->LineCount();   // the room's log from before
        f.Server.SendTalk(3, 7, "", "fresh");
        QVERIFY(waitFor([&] { return again->ChatLog->LineCount() == restored + 1; }));
        QCOMPARE(again->ChatLog->LineText(restored), QStringLiteral("me> fresh"));
    } else {
        QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == 1; }));
        QCOMPARE(sheet->ChatLog->LineText(0), QStringLiteral("me> still in step"));
        QVERIFY(f.Window()->Socket1->Active());
    }
}

void TestMainWindowReceive::decodeFailuresAreIgnored()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    // A room list whose second entry names room 52: the first entry is not added either.
    const QByteArray list = QByteArray::fromHex("0002") + QByteArray("\x05\x00", 2) + ScriptedServer::String("Good") +
                            QByteArray(1, 0) + QByteArray("\x34\x00", 2) + ScriptedServer::String("Bad") + QByteArray(1, 0);
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeRoomList, list));
    // A member list for room 52 and a talk whose text runs past the frame.
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeRoomUser, QByteArray::fromHex("340001000a") + ScriptedServer::String("x") + QByteArray(1, 0)));
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeTalk, QByteArray::fromHex("0300070005") + "ab"));
    f.Server.SendTalk(3, 7, "", "after");
    QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == 1; }));
    QCOMPARE(roomListTexts(f.Window()), QStringList{"Lobby"});
    QCOMPARE(f.Window()->PageControl1->count(), 1);
    QVERIFY(f.Boxes.isEmpty());
}

void TestMainWindowReceive::markupAndAmpersandShownLiterally()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    TChatSheet* sheet = f.OpenRoom(3, "R&D <b>x</b>", {MakeMember(9, "<img src=x>")});
    QVERIFY(sheet);
    QCOMPARE(f.Window()->PageControl1->tabText(0), QStringLiteral("R&&D <b>x</b>"));
    QCOMPARE(f.Window()->RoomList->item(0)->text(), QStringLiteral("R&D <b>x</b>"));
    QCOMPARE(sheet->ListUser->item(1)->text(), QStringLiteral("<img src=x>"));
    f.Server.SendTalk(3, 9, "", "<b>bold</b>");
    QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == 1; }));
    QCOMPARE(sheet->ChatLog->LineText(0), QStringLiteral("<img src=x>> <b>bold</b>"));
    QCOMPARE(sheet->ChatLog->toPlainText(), QStringLiteral("<img src=x>> <b>bold</b>"));
}

void TestMainWindowReceive::memberTableStopsAt200()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    std::vector<GmRoomUser::Member> members;
    for (int i = 0; i < 199; ++i)
        members.push_back(MakeMember(std::int16_t(100 + i), QByteArray("u") + QByteArray::number(i)));
    TChatSheet* sheet = f.OpenRoom(3, "Full", members);
    QVERIFY(sheet);
    QCOMPARE(sheet->nUserCount, 200);
    f.Server.SendRoomUser(3, {MakeMember(999, "late")});
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeRetireUser, QByteArray::fromHex("030064")));   // u0 leaves
    QVERIFY(waitFor([&] { return sheet->nUserCount == 199; }));
    QCOMPARE(sheet->ListUser->count(), 199);
    QCOMPARE(sheet->ListUser->item(0)->text(), QStringLiteral("me"));
    QCOMPARE(sheet->ListUser->item(1)->text(), QStringLiteral("u1"));
    QCOMPARE(sheet->FindUser(999), -1);
}

void TestMainWindowReceive::controlsFollowConnectionState()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    const auto connectedOnly = {w->CloseMenu, w->CreateMenu, w->MenuNext, w->MenuPrev, w->RetireMenu};
    const auto always = {w->ExitMenu, w->MenuRoomDisp, w->MenuSetting, w->MenuHtmlHome, w->MenuHtmlKVGAME,
                         w->MenuHtmlReserve, w->MenuHtmlHoudou};
    for (int round = 0; round < 2; ++round) {
        for (QAction* a : connectedOnly)
            QVERIFY(!a->isEnabled());
        for (QAction* a : always)
            QVERIFY(a->isEnabled());
        QVERIFY(w->OpenMenu->isEnabled());
        QVERIFY(f.Connect());
        for (QAction* a : connectedOnly)
            QVERIFY(a->isEnabled());
        QVERIFY(!w->OpenMenu->isEnabled());
        w->CloseMenuClick();
        QVERIFY(!w->Socket1->Active());   // the disconnect ran before the call returned
        f.Server.CloseClient();
    }
    // A failed attempt: the error box with the system's number, controls as closed.
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 deadPort = closed.serverPort();
    closed.close();
    w->Socket1->Address = "127.0.0.1";
    w->Socket1->Port = deadPort;
    QVERIFY(w->Socket1->Open().isEmpty());
    QVERIFY(waitFor([&] { return !f.Boxes.isEmpty(); }));
    QCOMPARE(f.Boxes.first(), QStringLiteral("非同期ソケットエラー 111"));
    QVERIFY(w->OpenMenu->isEnabled());
    QVERIFY(!w->PanelInput->isEnabled());
}

void TestMainWindowReceive::hostNamesAreLookedUpAndAnUnknownOneIsNamed()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    // A malformed name fails inside the resolver without asking any name server.
    w->Socket1->Address = "no..such..host";
    w->Socket1->Port = f.Server.Port();
    QVERIFY(w->Socket1->Open().isEmpty());
    QVERIFY(w->Socket1->Connecting());
    QVERIFY(waitFor([&] { return !f.Boxes.isEmpty(); }));
    QCOMPARE(f.Boxes.first(), QStringLiteral("接続先のサーバ \"no..such..host\" のアドレスが見つかりません"));
    QVERIFY(!w->Socket1->Connecting());
    QVERIFY(w->OpenMenu->isEnabled());

    w->Socket1->Address = "localhost";
    QVERIFY(w->Socket1->Open().isEmpty());
    QVERIFY(waitFor([&] { return w->Socket1->Active(); }));
    const auto ready = f.Server.NextFrame();
    QVERIFY(ready);
    QCOMPARE(*ready, QByteArray::fromHex("00070101010101"));
}

QTEST_MAIN(TestMainWindowReceive)
#include "tst_mainwindow_receive.moc"
