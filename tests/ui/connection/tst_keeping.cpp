// Keeping the conversation against a scripted server: what stops an automatic
// reconnect (the user's own disconnect is in the end-to-end test), a lingering old
// session, the network coming back, a server that never answers, logins that end at
// once, connects that hang, the log folder, the restored scrollback and log places
// that others could steer.
#include "ChatLogFiles.h"
#include "ChatLogView.h"
#include "ChatLogger.h"
#include "DayLine.h"
#include "Chatsheet.h"
#include "ClientSocket.h"
#include "ConnectionKeeper.h"
#include "DialogDriver.h"
#include "FindBar.h"
#include "HistoryPager.h"
#include "MainWindowFixture.h"
#include "Unitmain.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTextBlock>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>

namespace {

constexpr std::int16_t Me = 7;
// Long enough to see that no attempt comes, many times the quick waits.
constexpr int NoAttemptMs = 400;

bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 10000);
}

// The program keeps its real waits; these only make a test quick.
void QuickWaits(TFormMain* w, std::int64_t firstMs = 20, std::int64_t sameNameWindowMs = 60000,
                std::int64_t handshakeLimitMs = ReconnectTiming{}.HandshakeLimitMs,
                std::int64_t settledSessionMs = ReconnectTiming{}.SettledSessionMs)
{
    ReconnectTiming timing;
    timing.FirstDelayMs = firstMs;
    timing.MaxDelayMs = 2 * firstMs;
    timing.SameNameWindowMs = sameNameWindowMs;
    timing.HandshakeLimitMs = handshakeLimitMs;
    timing.SettledSessionMs = settledSessionMs;
    w->Reconnect->SetTiming(timing, [] { return 0.5; });
}

sockaddr_storage Loopback4(const char* text)
{
    sockaddr_storage storage{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    v4->sin_family = AF_INET;
    ::inet_pton(AF_INET, text, &v4->sin_addr);
    return storage;
}

// A loopback listener whose one-place queue is taken by a connection nobody
// accepts: the kernel drops every further connect to it without a word, as a
// broken route would.
class SilentListener {
public:
    SilentListener(const char* address, quint16 port)
    {
        sockaddr_storage at = Loopback4(address);
        reinterpret_cast<sockaddr_in*>(&at)->sin_port = htons(port);
        const int one = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        ok_ = ::bind(listener_, reinterpret_cast<const sockaddr*>(&at), sizeof(sockaddr_in)) == 0 &&
              ::listen(listener_, 0) == 0 &&
              ::connect(filler_, reinterpret_cast<const sockaddr*>(&at), sizeof(sockaddr_in)) == 0;
    }
    ~SilentListener()
    {
        ::close(filler_);
        ::close(listener_);
    }
    bool Ok() const { return ok_; }

private:
    int listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool ok_ = false;
};

// Restores the system's name lookup when a test ends.
struct FakeLookup {
    explicit FakeLookup(ClientSocket::HostLookup lookup) { ClientSocket::SetHostLookup(std::move(lookup)); }
    ~FakeLookup() { ClientSocket::SetHostLookup({}); }
};

const char* const ChildVariable = "KV_KEEPING_CHILD";

// Runs in a child process: the program quits while a lookup that never ends is under way.
[[noreturn]] void QuitDuringAnEndlessLookup()
{
    {
        int argc = 1;
        char name[] = "kvchat";
        char* argv[] = {name, nullptr};
        QCoreApplication app(argc, argv);
        ClientSocket socket;
        ClientSocket::SetHostLookup([](const std::string&) {
            std::promise<void> never;
            never.get_future().wait();
            return std::vector<sockaddr_storage>{};
        });
        socket.Address = "never.answers.test";
        socket.Open();
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
        app.exec();
    }
    std::exit(0);
}

// Every status bar text shown while it lives.
struct StatusRecorder {
    explicit StatusRecorder(TFormMain* w)
    {
        QObject::connect(w->Reconnect, &ConnectionKeeper::StatusChanged, &context,
                         [this, w] { texts << w->StatusText->text(); });
    }
    bool Saw(const QString& pattern) const { return !texts.filter(QRegularExpression(pattern)).isEmpty(); }
    QObject context;
    QStringList texts;
};

}  // namespace

class TestKeeping : public QObject {
    Q_OBJECT
public:
    static void initMain()
    {
        if (qEnvironmentVariable(ChildVariable) == QLatin1String("quit-during-lookup"))
            QuitDuringAnEndlessLookup();
    }

private slots:
    void noReconnectAfterTheUserTheServerOrARefusal_data();
    void noReconnectAfterTheUserTheServerOrARefusal();
    void sameNameAfterAReconnectIsWaitedOutThenShownOnce();
    void networkBackTriesAtOnceAndCloseStopsAWait();
    void serverThatNeverAnswersTheLogin_data();
    void serverThatNeverAnswersTheLogin();
    void loginsThatEndAtOnceWaitLongerEachTime();
    void silentAddressGivesWayToTheNextOne();
    void quittingDuringALookupDoesNotWaitForIt();
    void scopedIpv6Literal_data();
    void scopedIpv6Literal();
    void logFolderMenuAndLoggingOff();
    void tabOpensWithTheLast200LoggedLinesAndLogsWhatItShows();
    void damagedRestoredLineShowsReplacementsAndFindSelectsTheMatch();
    void unwritableLogShowsOneBoxAndTheChatGoesOn();
    void scrollingUpLoadsOlderMonthsInPlaceAndTheNewestLineDropsThem();
    void historyAboveAFullLogStaysWholeAndTheLinesBelowKeepTheirPlace();
    void connectionLostWhileAPageIsReadDoesNotWaitForTheRead();
    void plantedOrSharedLogPlaceShowsOneBoxSayingWhich_data();
    void plantedOrSharedLogPlaceShowsOneBoxSayingWhich();
    void linesDroppedForTooMuchWaitingAreToldAsTheDiskNotKeepingUp();
};

void TestKeeping::noReconnectAfterTheUserTheServerOrARefusal_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("GmClose") << "close" << QStringList();
    QTest::newRow("automatic reconnect off in the options") << "option" << QStringList();
    QTest::newRow("refusal after a reconnect") << "refusal"
                                               << QStringList{QStringLiteral("残念ながら該当機種はまだサポートされていません")};
}

void TestKeeping::noReconnectAfterTheUserTheServerOrARefusal()
{
    QFETCH(QString, how);
    QFETCH(QStringList, boxes);
    MainWindowFixture f(how == "option" ? "[Option]\r\nAutoReconnect=0\r\n" : QByteArray());
    TFormMain* w = f.Window();
    QVERIFY(f.Handshake(Me));
    QuickWaits(w);
    if (how == "option") {
        f.Server.CloseClient();
        QVERIFY(waitFor([&] { return !w->Socket1->Active(); }));
    } else if (how == "close") {
        f.Server.SendRaw(ScriptedServer::Frame(GmTypeClose, {}));
        QVERIFY(waitFor([&] { return !w->Socket1->Active(); }));
    } else {
        f.Server.CloseClient();
        QVERIFY(f.Server.NextFrame());   // the automatic attempt's opening message
        f.Server.SendAReady(3, Me);
        QVERIFY(waitFor([&] { return !f.Boxes.isEmpty(); }));
    }
    f.Server.CloseClient();
    QVERIFY(!f.Server.WaitForClient(NoAttemptMs));
    QCOMPARE(f.Boxes, boxes);
    QCOMPARE(w->StatusText->text(), QStringLiteral("未接続"));
    QVERIFY(!w->CloseMenu->isEnabled());
}

void TestKeeping::sameNameAfterAReconnectIsWaitedOutThenShownOnce()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    QVERIFY(f.Handshake(Me));
    QuickWaits(w);
    StatusRecorder status(w);
    const auto refuseName = [&] {
        f.Server.CloseClient();
        if (!f.Server.NextFrame())
            return false;
        f.Server.SendAReady(0, Me);
        if (!f.Server.NextPacket() || f.Server.Protocol.Packet.Type() != GmTypeConnect)
            return false;
        f.Server.SendAConnect(2);
        return f.Server.WaitForDisconnect();
    };
    // The server still holds the lost session: tried again, quietly.
    QVERIFY(refuseName());
    QVERIFY(refuseName());
    QVERIFY(f.Boxes.isEmpty());
    QVERIFY(status.Saw(QStringLiteral("サーバに前の接続が残っています。\\d+ 秒後に再接続します（2 回目）$")));
    // Past the window the user is told once, and nothing more is tried.
    QuickWaits(w, 20, 0);
    QVERIFY(refuseName());
    QVERIFY(waitFor([&] { return !f.Boxes.isEmpty(); }));
    f.Server.CloseClient();
    QVERIFY(!f.Server.WaitForClient(NoAttemptMs));
    QCOMPARE(f.Boxes, QStringList{QStringLiteral("すでに同名で接続しています。別の名前で接続してください")});
    QVERIFY(!w->Reconnect->Retrying());
}

void TestKeeping::networkBackTriesAtOnceAndCloseStopsAWait()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    QVERIFY(f.Handshake(Me));
    QuickWaits(w, 600000);
    f.Server.CloseClient();
    QVERIFY(waitFor([&] { return w->Reconnect->Retrying(); }));
    QVERIFY(w->CloseMenu->isEnabled());
    w->Reconnect->NetworkOnline();
    QVERIFY(f.AcceptHandshake(Me));

    f.Server.CloseClient();
    QVERIFY(waitFor([&] { return w->Reconnect->Retrying(); }));
    w->CloseMenuClick();
    QVERIFY(!w->Reconnect->Retrying());
    QVERIFY(!w->CloseMenu->isEnabled());
    QCOMPARE(w->StatusText->text(), QStringLiteral("未接続"));
    w->Reconnect->NetworkOnline();
    QVERIFY(!f.Server.WaitForClient(NoAttemptMs));
}

void TestKeeping::serverThatNeverAnswersTheLogin_data()
{
    QTest::addColumn<bool>("automatic");
    QTest::newRow("the user's connect: one box, no retry") << false;
    QTest::newRow("an automatic reconnect: a failed attempt, the next one follows") << true;
}

void TestKeeping::serverThatNeverAnswersTheLogin()
{
    QFETCH(bool, automatic);
    MainWindowFixture f;
    TFormMain* w = f.Window();
    const QString host = QStringLiteral("127.0.0.1:%1").arg(f.Server.Port());
    if (automatic)
        QVERIFY(f.Handshake(Me));
    QuickWaits(w, 20, 60000, 100);
    StatusRecorder status(w);
    if (automatic) {
        f.Server.CloseClient();
        QVERIFY(f.Server.NextFrame());   // the attempt's opening message, never answered
    } else {
        QVERIFY(f.Connect());
    }
    QVERIFY(f.Server.WaitForDisconnect());
    f.Server.CloseClient();
    // Connected is not logged in.
    QVERIFY2(!status.Saw(QStringLiteral("接続済み$")), qPrintable(status.texts.join(QLatin1Char('\n'))));
    if (!automatic) {
        QVERIFY(waitFor([&] { return !f.Boxes.isEmpty(); }));
        QVERIFY(!f.Server.WaitForClient(NoAttemptMs));
        QCOMPARE(f.Boxes, QStringList{QStringLiteral("接続先のサーバ %1 が応答しません").arg(host)});
        QCOMPARE(w->StatusText->text(), QStringLiteral("未接続"));
        QVERIFY(!w->Reconnect->Retrying());
        return;
    }
    QVERIFY(f.AcceptHandshake(Me));
    QVERIFY(waitFor([&] { return w->StatusText->text() == host + QStringLiteral(" に接続済み"); }));
    QVERIFY(status.Saw(QStringLiteral("秒後に再接続します（2 回目）$")));
    QVERIFY(f.Boxes.isEmpty());
}

void TestKeeping::loginsThatEndAtOnceWaitLongerEachTime()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    QVERIFY(f.Handshake(Me));
    QuickWaits(w);
    StatusRecorder status(w);
    for (int attempt = 1; attempt <= 3; ++attempt) {
        f.Server.CloseClient();   // the server ends each session right after the login
        QVERIFY(f.AcceptHandshake(Me));
        QVERIFY(waitFor([&] { return w->StatusText->text().endsWith(QStringLiteral("接続済み")); }));
    }
    QVERIFY2(status.Saw(QStringLiteral("秒後に再接続します（3 回目）$")), qPrintable(status.texts.join(QLatin1Char('\n'))));
    // A session that stayed up long enough starts the waits again from the first.
    QuickWaits(w, 20, 60000, ReconnectTiming{}.HandshakeLimitMs, 0);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        status.texts.clear();
        f.Server.CloseClient();
        QVERIFY(f.AcceptHandshake(Me));
        QVERIFY(waitFor([&] { return w->StatusText->text().endsWith(QStringLiteral("接続済み")); }));
        QVERIFY(status.Saw(QStringLiteral("秒後に再接続します（1 回目）$")));
        QVERIFY(!status.Saw(QStringLiteral("（2 回目）$")));
    }
}

void TestKeeping::silentAddressGivesWayToTheNextOne()
{
    // The name's first address drops the connect without a word; the second one answers.
    ScriptedServer server;
    const SilentListener silent("127.0.0.2", server.Port());
    QVERIFY(silent.Ok());
    FakeLookup lookup([](const std::string&) {
        return std::vector<sockaddr_storage>{Loopback4("127.0.0.2"), Loopback4("127.0.0.1")};
    });
    ClientSocket socket;
    QSignalSpy errors(&socket, &ClientSocket::Error);
    socket.Address = "two.addresses.test";
    socket.Port = server.Port();
    socket.ConnectLimitMs = 100;
    QCOMPARE(socket.Open(), QString());
    QVERIFY(server.WaitForClient());
    QVERIFY(waitFor([&] { return socket.Active(); }));
    QCOMPARE(server.Peer()->peerAddress(), QHostAddress(QStringLiteral("127.0.0.1")));
    QVERIFY(errors.isEmpty());
}

void TestKeeping::quittingDuringALookupDoesNotWaitForIt()
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(ChildVariable), QStringLiteral("quit-during-lookup"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    // The lookup never ends: only a program that leaves it behind ends at all.
    const bool ended = child.waitForFinished(30000);
    if (!ended) {
        child.kill();
        child.waitForFinished();
    }
    QVERIFY(ended);
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
}

void TestKeeping::scopedIpv6Literal_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("interface by name") << QStringLiteral("::1%lo");
    QTest::newRow("interface by number, in brackets") << QStringLiteral("[::1%%1]").arg(::if_nametoindex("lo"));
}

void TestKeeping::scopedIpv6Literal()
{
    QFETCH(QString, address);
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHostIPv6))
        QSKIP("no IPv6 loopback here");
    ClientSocket socket;
    QSignalSpy refused(&socket, &ClientSocket::LookupFailed);
    socket.Address = address.toStdString();
    socket.Port = server.serverPort();
    QCOMPARE(socket.Open(), QString());
    QVERIFY2(waitFor([&] { return socket.Active() || !refused.isEmpty(); }), "neither connected nor refused");
    QVERIFY2(refused.isEmpty(), refused.isEmpty() ? "" : qPrintable(refused.first().first().toString()));
    QVERIFY(waitFor([&] { return server.hasPendingConnections(); }));
}

void TestKeeping::logFolderMenuAndLoggingOff()
{
    MainWindowFixture f("[Log]\r\nEnabled=0\r\n");
    TFormMain* w = f.Window();
    const QString folder = QFileInfo(QString::fromStdString(f.SettingsPath())).dir().filePath(QStringLiteral("logs"));
    QCOMPARE(QString::fromStdString(w->LogFolder), folder);
    w->MenuLogFolder->trigger();
    QCOMPARE(f.Opened, QStringList{QUrl::fromLocalFile(folder).toString()});
    struct stat made {};
    QCOMPARE(stat(folder.toLocal8Bit().constData(), &made), 0);
    QVERIFY(S_ISDIR(made.st_mode));
    QCOMPARE(made.st_mode & 0777, 0700u);   // chat is private, as the writer keeps it

    QVERIFY(!w->LogEnabled);
    QVERIFY(f.Handshake(Me));
    QVERIFY(f.OpenRoom(3, "Lobby"));
    w->CloseMenuClick();
    w->Logs->Tail(*ChatLogger::Target(w->LogFolder, w->Socket1->Address, w->Socket1->Port, "Lobby"), 1);
    QVERIFY(QDir(folder).isEmpty());
    f.Close();
    QVERIFY(f.SettingsBytes().contains("[Log]\r\nEnabled=0\r\n"));
}

void TestKeeping::tabOpensWithTheLast200LoggedLinesAndLogsWhatItShows()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    const chatlog::LocalStamp now = chatlog::StampOf(QDateTime::currentSecsSinceEpoch());
    QFile log(f.LogFilePath("Lobby", now.Year, now.Month));
    QVERIFY(log.open(QIODevice::WriteOnly));
    for (int i = 0; i < 249; ++i)
        log.write("old " + QByteArray::number(i) + "\n");
    log.write("2020-02-03 04:05:06 old 249\n");
    log.close();

    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    f.Server.SendTalk(3, Me, "", "live");
    QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == 203; }));
    QCOMPARE(sheet->ChatLog->LineText(0), QStringLiteral("old 50"));
    QCOMPARE(sheet->ChatLog->LineText(199), QStringLiteral("2020-02-03 04:05:06 old 249"));
    QCOMPARE(sheet->ChatLog->LineText(200), QStringLiteral("――― 以上、過去ログ ―――"));
    // Today is another day than the last logged line's: a day line, in grey, not logged.
    const std::string today = chatlog::DayLineText(chatlog::LocalDateOf(QDateTime::currentSecsSinceEpoch()));
    QCOMPARE(sheet->ChatLog->LineText(201), QString::fromStdString(today));
    QCOMPARE(sheet->ChatLog->LineText(202), QStringLiteral("me> live"));
    QCOMPARE(sheet->ChatLog->LineColor(200), QColor(110, 110, 110));
    QCOMPARE(sheet->ChatLog->LineColor(201), QColor(110, 110, 110));
    QCOMPARE(sheet->ChatLog->LineColor(202), QColor(0, 0, 0));

    w->CloseMenuClick();   // writes the log out
    const QByteArray added = QByteArray::fromStdString(now.Text.substr(0, 8));   // "YYYY-MM-"
    const auto contents = [&] {
        log.open(QIODevice::ReadOnly);
        const QByteArray all = log.readAll();
        log.close();
        return all;
    };
    QVERIFY(waitFor([&] { return contents().endsWith(" me> live\n"); }));
    const QList<QByteArray> lines = contents().split('\n');
    // The restored lines are not written again: the file gained the entry and the live line only.
    QCOMPARE(lines.size(), 250 + 2 + 1);
    QVERIFY(lines[250].startsWith(added) && lines[250].endsWith(" ―― 入室しました"));
    QVERIFY(lines[251].startsWith(added));
}

void TestKeeping::damagedRestoredLineShowsReplacementsAndFindSelectsTheMatch()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    const chatlog::LocalStamp now = chatlog::StampOf(QDateTime::currentSecsSinceEpoch());
    QFile log(f.LogFilePath("Lobby", now.Year, now.Month));
    QVERIFY(log.open(QIODevice::WriteOnly));
    log.write("\xff\xfe\xfd abc\n");   // bytes that no UTF-8 decoder reads alike
    log.close();

    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    QCOMPARE(sheet->ChatLog->LineText(0), QStringLiteral("\uFFFD\uFFFD\uFFFD abc"));
    QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+F")));
    DialogDriver::TypeText(w->FindBar1->EditFind, QStringLiteral("abc"));
    QCOMPARE(w->FindBar1->LabelCount->text(), QStringLiteral("1 / 1 件"));
    QCOMPARE(sheet->ChatLog->textCursor().selectedText(), QStringLiteral("abc"));
}

void TestKeeping::unwritableLogShowsOneBoxAndTheChatGoesOn()
{
    MainWindowFixture f("[Common]\r\n");
    TFormMain* w = f.Window();
    w->LogFolder = f.SettingsPath() + "/logs";   // under a file: no folder can be made there
    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    for (int i = 0; i < 3; ++i) {
        f.Server.SendTalk(3, Me, "", "still here");
        QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == i + 1; }));
        w->Logs->FlushSoon();
        QTest::qWait(50);
    }
    QVERIFY(waitFor([&] { return !f.Boxes.isEmpty(); }));
    QTest::qWait(100);
    QCOMPARE(f.Boxes.size(), 1);
    QVERIFY(f.Boxes[0].startsWith(QStringLiteral("チャットログ ") + QString::fromStdString(w->LogFolder)));
}

void TestKeeping::scrollingUpLoadsOlderMonthsInPlaceAndTheNewestLineDropsThem()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const chatlog::LocalStamp now = chatlog::StampOf(QDateTime::currentSecsSinceEpoch());
    const auto write = [&](int year, int month, const QByteArray& bytes) {
        QVERIFY(f.WriteLogFile("Lobby", year, month, bytes));
    };
    // Two old months, the second with a damaged line, and this month's 250 lines.
    QStringList expected;
    QByteArray january, february, current;
    for (int i = 0; i < 300; ++i) {
        january += "2000-01-31 23:00:00 jan " + QByteArray::number(i) + "\n";
        expected << QStringLiteral("2000-01-31 23:00:00 jan %1").arg(i);
    }
    expected << QStringLiteral("―― 2000年2月1日（火） ――");
    for (int i = 0; i < 600; ++i) {
        february += "2000-02-01 10:00:00 feb " + QByteArray::number(i) + "\n";
        expected << QStringLiteral("2000-02-01 10:00:00 feb %1").arg(i);
        if (i == 100) {
            february += "2000-02-01 10:00:00 bad \xFF\x82 " + QByteArray(3000, 'z') + "\r\n";
            expected << QStringLiteral("2000-02-01 10:00:00 bad \uFFFD\uFFFD ") + QString(1024 - 31, u'z') + u'…';
        }
    }
    for (int i = 0; i < 250; ++i) {
        current += "now " + QByteArray::number(i) + "\n";
        expected << QStringLiteral("now %1").arg(i);
    }
    expected << QStringLiteral("――― 以上、過去ログ ―――");
    write(2000, 1, january);
    write(2000, 2, february);
    write(now.Year, now.Month, current);

    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    ChatLogView* log = sheet->ChatLog;
    QVERIFY(waitFor([&] { return log->LineCount() == 201; }));
    QScrollBar* bar = log->verticalScrollBar();
    const auto topLine = [&] { return log->cursorForPosition(QPoint(4, 4)).block().text(); };
    const auto shown = [&] {
        QStringList texts;
        for (int i = 0; i < log->LineCount(); ++i)
            texts << log->LineText(i);
        return texts;
    };

    // Up to the top: the next page comes above, and the line read stays where it was.
    bar->setValue(0);
    QCOMPARE(topLine(), QStringLiteral("now 50"));
    QCOMPARE(log->TopNote(), QStringLiteral("過去ログを読み込んでいます…"));
    QVERIFY(waitFor([&] { return log->HistoryLines() > 0 && !log->HistoryLoading(); }));
    QCOMPARE(log->HistoryLines(), int(ChatLogView::HistoryPageLines));
    QCOMPARE(topLine(), QStringLiteral("now 50"));
    QVERIFY(log->TopNote().isEmpty());
    QCOMPARE(log->LineColor(0), QColor(110, 110, 110));

    // Lines arriving meanwhile wait below without moving the view.
    f.Server.SendTalk(3, Me, "", "live");
    QVERIFY(waitFor([&] { return log->LineText(log->LineCount() - 1) == QStringLiteral("me> live"); }));
    QCOMPARE(topLine(), QStringLiteral("now 50"));
    QVERIFY(!log->BelowNote().isEmpty());

    // Every line back to the oldest month, once each, with the day line between the months.
    while (!log->HistoryAtStart()) {
        const int before = log->HistoryLines();
        bar->setValue(0);
        const QString reading = topLine();
        QVERIFY(waitFor([&] { return (log->HistoryLines() > before || log->HistoryAtStart()) && !log->HistoryLoading(); }));
        QCOMPARE(topLine(), reading);
    }
    // At the top now, a note says that nothing older is left.
    bar->setValue(0);
    QCOMPARE(log->TopNote(), QStringLiteral("これより前のログはありません"));
    expected << QStringLiteral("me> live");
    QCOMPARE(shown(), expected);

    // Select all and copy takes the history too.
    log->setFocus();
    QTest::keyClick(log, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
    const QString copied = QGuiApplication::clipboard()->text();
    QVERIFY(copied.startsWith(expected.front()));
    QVERIFY(copied.endsWith(QStringLiteral("me> live")));

    // Back at the newest line (Ctrl+End) the history goes, and it comes again from the same place.
    QTest::keyClick(log, Qt::Key_End, Qt::ControlModifier);
    QVERIFY(waitFor([&] { return log->HistoryLines() == 0; }));
    QCOMPARE(log->LineCount(), 202);
    QVERIFY(log->BelowNote().isEmpty());
    QTest::keyClick(log, Qt::Key_Home, Qt::ControlModifier);
    QVERIFY(waitFor([&] { return log->HistoryLines() > 0 && !log->HistoryLoading(); }));
    QCOMPARE(log->LineText(log->HistoryLines() - 1), QStringLiteral("now 49"));

    // Where the room's own lines fit on screen, going back to the newest line leaves
    // the view at the top too: that is not the user asking for older lines again.
    w->resize(w->width(), log->fontMetrics().lineSpacing() * 260 + 400);
    QVERIFY(waitFor([&] { return !log->HistoryLoading(); }));
    QTest::keyClick(log, Qt::Key_End, Qt::ControlModifier);
    QVERIFY(waitFor([&] { return log->HistoryLines() == 0; }));
    QTest::qWait(200);
    QCOMPARE(log->HistoryLines(), 0);
    QVERIFY(!log->HistoryLoading());
}

void TestKeeping::historyAboveAFullLogStaysWholeAndTheLinesBelowKeepTheirPlace()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QFile old(f.LogFilePath("Lobby", 2000, 1));
    QVERIFY(old.open(QIODevice::WriteOnly));
    for (int i = 0; i < 1000; ++i)
        old.write("2000-01-31 23:00:00 old " + QByteArray::number(i) + "\n");
    old.close();
    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    ChatLogView* log = sheet->ChatLog;
    // A busy room: the tab holds as many lines as it keeps. Yesterday's line has
    // gone, so the tab's oldest line is today's day line.
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    sheet->AddLine("yesterday", 0, 0, now - 86400);
    for (int i = 0; i < ChatLogView::MaxLines - 1; ++i)
        sheet->AddLine("live " + std::to_string(i), 0, 0, now);
    QCOMPARE(log->LineCount(), ChatLogView::MaxLines);
    const QString today = QString::fromStdString(chatlog::DayLineText(chatlog::LocalDateOf(now)));
    QCOMPARE(log->LineText(0), today);
    QScrollBar* bar = log->verticalScrollBar();
    bar->setValue(0);
    QVERIFY(waitFor([&] { return log->HistoryLines() > 0 && !log->HistoryLoading(); }));
    // The page is all there, above every line the tab keeps, and indexes still meet the store's;
    // the tab's own day line stands between them, once.
    QCOMPARE(log->HistoryLines(), int(ChatLogView::HistoryPageLines));
    QCOMPARE(log->LineCount(), log->HistoryLines() + ChatLogView::MaxLines);
    QCOMPARE(log->LineText(0), QStringLiteral("2000-01-31 23:00:00 old 300"));
    QCOMPARE(log->LineText(log->HistoryLines() - 1), QStringLiteral("2000-01-31 23:00:00 old 799"));
    QCOMPARE(log->LineText(log->HistoryLines()), today);
    QCOMPARE(log->LineText(log->HistoryLines() + 1), QStringLiteral("live 0"));
    QCOMPARE(log->LineText(log->LineCount() - 1), QStringLiteral("live %1").arg(ChatLogView::MaxLines - 2));
    // A flood while the user reads the history: the oldest live lines go, the history stays,
    // and so does the day line between the two (it goes from the tab's lines to the history's).
    for (int i = 0; i < 100; ++i)
        sheet->AddLine("more " + std::to_string(i), 0, 0, now);
    log->Flush();
    QCOMPARE(log->LineCount(), log->HistoryLines() + ChatLogView::MaxLines);
    QCOMPARE(log->HistoryLines(), int(ChatLogView::HistoryPageLines) + 1);
    QCOMPARE(log->LineText(0), QStringLiteral("2000-01-31 23:00:00 old 300"));
    QCOMPARE(log->LineText(log->HistoryLines() - 2), QStringLiteral("2000-01-31 23:00:00 old 799"));
    QCOMPARE(log->LineText(log->HistoryLines() - 1), today);
    QCOMPARE(log->LineText(log->HistoryLines()), QStringLiteral("live 99"));
}

void TestKeeping::connectionLostWhileAPageIsReadDoesNotWaitForTheRead()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // A damaged month: one line of 16 GB of zeros (a sparse file), its start far back.
    const QString damaged = f.LogFilePath("Lobby", 2000, 1);
    QFile file(damaged);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(qint64(16) << 30));
    file.close();
    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    const std::shared_ptr<chatlog::HistoryPager> pager = sheet->ChatLog->History();
    QVERIFY(pager && !pager->AtStart());
    sheet->ChatLog->verticalScrollBar()->setValue(0);
    sheet->ChatLog->LoadOlder();
    QVERIFY(sheet->ChatLog->HistoryLoading());
    // The tab goes with the connection: the read stops instead of going on to the line's start.
    QPointer<TChatSheet> gone(sheet);
    f.Server.CloseClient();
    QVERIFY(waitFor([&] { return gone.isNull(); }));
    QVERIFY(!pager->AtStart());
}

void TestKeeping::plantedOrSharedLogPlaceShowsOneBoxSayingWhich_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("place");   // named in the box: 0 the logs folder, 1 the server folder, 2 the file
    QTest::addColumn<QString>("box");
    const QString tail = QStringLiteral("使えません。チャットはこのまま続けられますが、このログは保存されません");
    QTest::newRow("file is a link") << "file link" << 2 << QStringLiteral("チャットログ %1 はシンボリックリンクのため") + tail;
    QTest::newRow("server folder is a link")
        << "server link" << 1 << QStringLiteral("サーバのログフォルダ %1 はシンボリックリンクのため") + tail;
    QTest::newRow("logs folder writable by all")
        << "logs writable" << 0 << QStringLiteral("ログフォルダ %1 はほかのユーザーも書き込めるため") + tail;
    QTest::newRow("server folder group-writable")
        << "server writable" << 1 << QStringLiteral("サーバのログフォルダ %1 はほかのユーザーも書き込めるため") + tail;
    QTest::newRow("file of another user")
        << "file foreign" << 2 << QStringLiteral("チャットログ %1 はほかのユーザーのもののため") + tail;
}

void TestKeeping::plantedOrSharedLogPlaceShowsOneBoxSayingWhich()
{
    QFETCH(QString, setup);
    QFETCH(int, place);
    QFETCH(QString, box);
    if (setup == "file foreign" && geteuid() != 0)
        QSKIP("only root can give a file to another user");
    MainWindowFixture f;
    TFormMain* w = f.Window();
    const chatlog::LocalStamp now = chatlog::StampOf(QDateTime::currentSecsSinceEpoch());
    const QString logs = QString::fromStdString(w->LogFolder);
    const QString server = logs + QStringLiteral("/127.0.0.1_%1").arg(f.Server.Port());
    const QString name = QString::fromStdString(chatlog::MonthFileName("Lobby", now.Year, now.Month));
    const QString file = server + QLatin1Char('/') + name;
    // What a planted link leads to, or a file someone else put there: it must stay as it is.
    const QString elsewhere = QFileInfo(logs).dir().filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(QDir().mkpath(setup == "server link" ? logs : server));
    const auto plant = [](const QString& path) {
        QFile planted(path);
        return planted.open(QIODevice::WriteOnly) && planted.write("secret\n") == 7;
    };
    QString planted = elsewhere + QLatin1Char('/') + name;
    QVERIFY(plant(planted));
    if (setup == "file link") {
        QVERIFY(QFile::link(planted, file));
    } else if (setup == "server link") {
        QVERIFY(QFile::link(elsewhere, server));
    } else {
        planted = file;
        QVERIFY(plant(planted));
        if (setup == "logs writable")
            QCOMPARE(chmod(logs.toLocal8Bit().constData(), 0777), 0);
        else if (setup == "server writable")
            QCOMPARE(chmod(server.toLocal8Bit().constData(), 0770), 0);
        else
            QCOMPARE(chown(file.toLocal8Bit().constData(), 65534, 65534), 0);
    }

    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    QCOMPARE(sheet->ChatLog->LineCount(), 0);   // nothing restored from it either
    for (int i = 0; i < 3; ++i) {
        f.Server.SendTalk(3, Me, "", "private words");
        QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == i + 1; }));
        w->Logs->FlushSoon();
        QTest::qWait(50);
    }
    QVERIFY(waitFor([&] { return !f.Boxes.isEmpty(); }));
    QTest::qWait(100);
    QCOMPARE(f.Boxes, QStringList{box.arg(QStringList{logs, server, file}[place])});
    QFile check(planted);
    QVERIFY(check.open(QIODevice::ReadOnly));
    QCOMPARE(check.readAll(), QByteArray("secret\n"));
}

void TestKeeping::linesDroppedForTooMuchWaitingAreToldAsTheDiskNotKeepingUp()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    QVERIFY(f.Handshake(Me));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    const std::int64_t time = QDateTime::currentSecsSinceEpoch();
    const chatlog::LocalStamp now = chatlog::StampOf(time);
    w->Logs->Write(sheet->LogFile, time, std::string(LogWriter::MaxWaitingBytes + 1, 'x'));
    QVERIFY(waitFor([&] { return !f.Boxes.isEmpty(); }));
    const QString file = QString::fromStdString(w->LogFolder) + QStringLiteral("/127.0.0.1_%1/").arg(f.Server.Port()) +
                         QString::fromStdString(chatlog::MonthFileName("Lobby", now.Year, now.Month));
    QCOMPARE(f.Boxes, QStringList{QStringLiteral("チャットログ %1 への書き込みがディスクに追いつかないため、書き込み待ちの行の一部を保存できませんでした。チャットはこのまま続けられます").arg(file)});
}

QTEST_MAIN(TestKeeping)
#include "tst_keeping.moc"
