// Keeping the conversation with the real server: it stops mid-conversation and
// comes back, and the user's own disconnect.

#include "ChatBot.h"
#include "ChatServer.h"
#include "ChatSession.h"
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "ConnectionKeeper.h"
#include "Unitmain.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <memory>

using namespace e2e;

namespace {

const QByteArray PracticeName("\x97\xfb\x8f\x4b");   // 練習
const QString PracticeRow = QStringLiteral("練習(*)");
const QString PracticePassword = QStringLiteral("abc123");

void Waits(TFormMain* w, std::int64_t firstMs)
{
    ReconnectTiming timing;
    timing.FirstDelayMs = firstMs;
    timing.MaxDelayMs = 2 * firstMs;
    w->Reconnect->SetTiming(timing, [] { return 0.5; });
}

// The lines a reopened tab shows above its divider, from the room's log.
QStringList AboveDivider(TChatSheet* sheet)
{
    const QStringList lines = LogLines(sheet);
    const qsizetype divider = lines.indexOf(QStringLiteral("――― 以上、過去ログ ―――"));
    return divider < 0 ? QStringList{} : lines.mid(0, divider);
}

int SocketOption(int fd, int level, int name)
{
    int value = -1;
    socklen_t length = sizeof value;
    ::getsockopt(fd, level, name, &value, &length);
    return value;
}

bool StatusEndsWith(TFormMain* w, const QString& end)
{
    return QTest::qWaitFor([&] { return w->StatusText->text().endsWith(end); }, Timeout);
}

}  // namespace

class TestE2eKeeping : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void serverRestartIsMendedAndBothRoomsComeBack();

private:
    TFormMain* Main() const { return session->Main(); }
    std::unique_ptr<ChatSession> session;
    ChatBot* bot = nullptr;
    TChatSheet* lobby = nullptr;
};

void TestE2eKeeping::init()
{
    session = std::make_unique<ChatSession>();
    QVERIFY(session->Started());
    bot = session->AddBot("keeper");
    QVERIFY(bot);
    lobby = session->ConnectToLobby(QStringLiteral("striker"));
    QVERIFY(lobby);
}

void TestE2eKeeping::cleanup()
{
    session.reset();
}

void TestE2eKeeping::serverRestartIsMendedAndBothRoomsComeBack()
{
    QVERIFY(session->RunCreateRoom(QStringLiteral("練習"), PracticePassword));
    QVERIFY(session->WaitForSheet(PracticeName));
    QCOMPARE(Main()->StartRooms.Count, 2);
    Main()->EditInputChat->setText(QStringLiteral("ready"));
    Main()->ButtonSendChatClick();
    bot->Say(0, "before the break");
    QTRY_VERIFY_WITH_TIMEOUT(LogLines(session->WaitForSheet(PracticeName)).contains(QStringLiteral("striker> ready")), Timeout);
    QTRY_VERIFY_WITH_TIMEOUT(LogLines(lobby).contains(QStringLiteral("keeper> before the break")), Timeout);

    const QString address = QStringLiteral("127.0.0.1:%1").arg(session->Server().Port());
    QCOMPARE(Main()->StatusText->text(), address + QStringLiteral(" に接続済み"));
    // A dead link is noticed within about 90 seconds.
    const int fd = Main()->Socket1->Descriptor();
    QCOMPARE(SocketOption(fd, SOL_SOCKET, SO_KEEPALIVE), 1);
    QCOMPARE(SocketOption(fd, IPPROTO_TCP, TCP_KEEPIDLE), 60);
    QCOMPARE(SocketOption(fd, IPPROTO_TCP, TCP_KEEPINTVL), 10);
    QCOMPARE(SocketOption(fd, IPPROTO_TCP, TCP_KEEPCNT), 3);

    Waits(Main(), 50);
    session->StopServer();
    // The disconnect handling itself is unchanged.
    QVERIFY(QTest::qWaitFor([&] { return Main()->PageControl1->count() == 0; }, Timeout));
    QCOMPARE(Main()->RoomList->count(), 0);
    // Attempts against the stopped server fail without a box.
    const QRegularExpression waiting(QStringLiteral("^\\d\\d:\\d\\d に接続が切れました ― \\d+ 秒後に再接続します（3 回目）$"));
    QVERIFY(QTest::qWaitFor([&] { return waiting.match(Main()->StatusText->text()).hasMatch(); }, Timeout));
    // A longer wait now, so the new server has its password room before the client is back.
    Waits(Main(), 2000);
    QVERIFY(StatusEndsWith(Main(), QStringLiteral("秒後に再接続します（1 回目）")));
    QVERIFY(session->StartServer());
    ChatBot* host = session->AddBot("host");
    QVERIFY(host);
    host->CreateRoom(PracticeName, PracticePassword.toLatin1());
    QVERIFY(QTest::qWaitFor([&] { const auto n = host->RoomNumber(PracticeName); return n && host->IsIn(*n); },
                            Timeout));

    TChatSheet* lobbyAgain = session->WaitForSheet(LobbyName);
    TChatSheet* practiceAgain = session->WaitForSheet(PracticeName);
    QVERIFY(lobbyAgain);
    QVERIFY(practiceAgain);
    QCOMPARE(session->Boxes, QStringList{});
    QCOMPARE(Main()->StatusText->text(), address + QStringLiteral(" に接続済み"));
    // Each reopened tab shows the earlier lines, stamped and in grey, above the divider.
    const QString stamp = QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ");
    const QStringList lobbyBefore = AboveDivider(lobbyAgain);
    QVERIFY(!lobbyBefore.filter(QRegularExpression(stamp + QStringLiteral("keeper> before the break$"))).isEmpty());
    QVERIFY(lobbyBefore.last().endsWith(QStringLiteral(" ―― 接続が切れました")));
    QVERIFY(!AboveDivider(practiceAgain).filter(QRegularExpression(stamp + QStringLiteral("striker> ready$"))).isEmpty());
    QCOMPARE(lobbyAgain->ChatLog->LineColor(0), QColor(110, 110, 110));

    // The user's own disconnect: nothing comes back, however short the wait would be.
    Waits(Main(), 20);
    Main()->CloseMenuClick();
    QTest::qWait(400);
    QCOMPARE(session->Server().ConnectionCount(), 1);   // the bot alone
    QCOMPARE(Main()->StatusText->text(), QStringLiteral("未接続"));
}

QTEST_MAIN(TestE2eKeeping)
#include "tst_e2e_keeping.moc"
