// The kvchat-server executable: serving on a port it reports, the bot mode, and its options.

#include "ChatBot.h"
#include "Cp932Texts.h"
#include "ExpectedFrames.h"
#include "TestServer.h"
#include "WireClient.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

QString ServerBinary()
{
    const QString buildDir = qEnvironmentVariable("KV_BUILD_DIR");
    if (!buildDir.isEmpty())
        return buildDir + QStringLiteral("/server/kvchat-server");
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../../server/kvchat-server");
}

// Collects the process's stderr as it comes.
class Program {
public:
    explicit Program(const QStringList& arguments)
    {
        QObject::connect(&process_, &QProcess::readyReadStandardError, &process_,
                         [this] { errors_ += QString::fromUtf8(process_.readAllStandardError()); });
        process_.start(ServerBinary(), arguments);
    }
    ~Program()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(WireClient::Timeout);
        }
    }

    bool Started() { return process_.waitForStarted(WireClient::Timeout); }
    bool WaitFor(const QString& text)
    {
        return QTest::qWaitFor([&] { return errors_.contains(text); }, WireClient::Timeout);
    }
    bool WaitFinished()
    {
        return QTest::qWaitFor([&] { return process_.state() == QProcess::NotRunning; }, WireClient::Timeout);
    }
    int ExitCode() const { return process_.exitCode(); }
    QProcess::ExitStatus ExitStatus() const { return process_.exitStatus(); }
    QString Errors() const { return errors_; }
    QString Output() { return QString::fromUtf8(process_.readAllStandardOutput()); }

private:
    QProcess process_;
    QString errors_;
};

bool IsBotLine(const QByteArray& text)
{
    return std::any_of(kvtext::BotLines.begin(), kvtext::BotLines.end(), [&](std::string_view line) {
        return text == QByteArray(line.data(), static_cast<qsizetype>(line.size()));
    });
}

} // namespace

class TestServerProcess : public QObject {
    Q_OBJECT

private slots:
    void servesOnTheReportedPort();
    void botModeChatsInTheLobby();
    void botModeEntersTheNamedRoom();
    void botModeCreatesAMissingRoom();
    void botModeWithoutServerFails();
    void badOptionsAreRefused_data();
    void badOptionsAreRefused();
    void helpListsTheOptions();
};

void TestServerProcess::servesOnTheReportedPort()
{
    Program server({"--port", "0", "--life-interval", "0", "--min-version", "1.1.0"});
    QVERIFY(server.Started());
    QVERIFY(server.WaitFor("listening on "));
    const auto match = QRegularExpression(R"(listening on 127\.0\.0\.1:(\d+)\n)").match(server.Errors());
    QVERIFY2(match.hasMatch(), qPrintable(server.Errors()));
    const auto port = static_cast<quint16>(match.captured(1).toUInt());
    QVERIFY(port != 0);

    ChatBot bot("visitor");
    bot.EnterRoom(LobbyName());
    bot.ConnectTo(QStringLiteral("127.0.0.1"), port);
    QTRY_VERIFY_WITH_TIMEOUT(bot.IsIn(0), WireClient::Timeout);
    QCOMPARE(bot.UserCount(), 1);
    QVERIFY(bot.Say("hello"));
    QTRY_COMPARE_WITH_TIMEOUT(bot.Talks().size(), 1, WireClient::Timeout);
    QCOMPARE(bot.Talks().first().name, QByteArray("visitor"));

    // One log line per connection event.
    QVERIFY(server.WaitFor("client 1 connected from 127.0.0.1:"));
    QVERIFY(server.WaitFor("client 1 logged in as visitor\n"));
    bot.Disconnect();
    QVERIFY(server.WaitFor("client 1 disconnected"));
}

void TestServerProcess::botModeChatsInTheLobby()
{
    auto server = StartServer();
    QVERIFY(server);
    ChatBot watcher("watcher");
    watcher.EnterRoom(LobbyName());
    watcher.ConnectTo(QStringLiteral("127.0.0.1"), server->Port());
    QTRY_VERIFY_WITH_TIMEOUT(watcher.IsIn(0), WireClient::Timeout);

    Program bots({"--bots", "2", "--connect", QStringLiteral("127.0.0.1:%1").arg(server->Port()),
                  "--bot-interval", "0.05", "--bot-name", QStringLiteral("タロウ")});
    QVERIFY(bots.Started());
    QTRY_COMPARE_WITH_TIMEOUT(server->UserCount(), 3, WireClient::Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(watcher.Members(0).size(), 3, WireClient::Timeout);

    // Both bots speak, and only football lines.
    QSet<QByteArray> speakers;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
        for (const ReceivedTalk& talk : watcher.Talks())
            speakers.insert(talk.name);
        return speakers.size() == 2;
    }()), WireClient::Timeout);
    // The name travels in Shift-JIS, as every name does.
    const QByteArray taro("\x83\x5e\x83\x8d\x83\x45");
    QCOMPARE(speakers, (QSet<QByteArray>{taro + "1", taro + "2"}));
    for (const ReceivedTalk& talk : watcher.Talks()) {
        QCOMPARE(talk.room, std::int16_t(0));
        QVERIFY2(IsBotLine(talk.text), talk.text.toHex().constData());
    }

    // When their server goes away the bots end.
    server.reset();
    QVERIFY(bots.WaitFinished());
    QCOMPARE(bots.ExitStatus(), QProcess::NormalExit);
    QCOMPARE(bots.ExitCode(), 0);
}

void TestServerProcess::botModeEntersTheNamedRoom()
{
    auto server = StartServer();
    QVERIFY(server);
    const QByteArray practice = QByteArray::fromHex("97fb8f4b");   // 練習 in CP932
    ChatBot host("host");
    host.CreateRoom(practice);
    host.ConnectTo(QStringLiteral("127.0.0.1"), server->Port());
    QTRY_VERIFY_WITH_TIMEOUT(host.IsIn(1), WireClient::Timeout);

    Program bots({"--bots", "1", "--connect", QStringLiteral("127.0.0.1:%1").arg(server->Port()),
                  "--bot-room", QStringLiteral("練習"), "--bot-interval", "600"});
    QVERIFY(bots.Started());
    QTRY_COMPARE_WITH_TIMEOUT(host.Members(1).size(), 2, WireClient::Timeout);
    QVERIFY(host.Members(1).values().contains("Bot1"));
    QCOMPARE(server->Rooms().Find(0)->members.size(), size_t(0));
}

void TestServerProcess::botModeCreatesAMissingRoom()
{
    auto server = StartServer();
    QVERIFY(server);
    Program bots({"--bots", "3", "--connect", QStringLiteral("127.0.0.1:%1").arg(server->Port()),
                  "--bot-room", "Pitch", "--bot-interval", "600"});
    QVERIFY(bots.Started());
    // Whichever bot is first creates the room; the others find it taken and enter it.
    QTRY_VERIFY_WITH_TIMEOUT(server->Rooms().Find(1) && server->Rooms().Find(1)->members.size() == 3,
                             WireClient::Timeout);
    QCOMPARE(QByteArray::fromStdString(server->Rooms().Find(1)->name), QByteArray("Pitch"));
    QCOMPARE(server->Rooms().All().size(), size_t(2));
}

void TestServerProcess::botModeWithoutServerFails()
{
    quint16 port = 0;
    {
        auto server = StartServer();
        QVERIFY(server);
        port = server->Port();
    }
    Program bots({"--bots", "2", "--connect", QStringLiteral("127.0.0.1:%1").arg(port)});
    QVERIFY(bots.Started());
    QVERIFY(bots.WaitFinished());
    QCOMPARE(bots.ExitCode(), 1);
}

void TestServerProcess::badOptionsAreRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");
    QTest::newRow("port not a number") << QStringList{"--port", "abc"} << "--port";
    QTest::newRow("port too large") << QStringList{"--port", "70000"} << "--port";
    QTest::newRow("version with two parts") << QStringList{"--min-version", "1.2"} << "--min-version";
    QTest::newRow("version part above 255") << QStringList{"--min-version", "1.256.0"} << "--min-version";
    QTest::newRow("bind to a name") << QStringList{"--bind", "nowhere"} << "--bind";
    QTest::newRow("no users allowed") << QStringList{"--max-users", "0"} << "--max-users";
    QTest::newRow("negative keep-alive") << QStringList{"--life-interval", "-1"} << "--life-interval";
    QTest::newRow("connect without port") << QStringList{"--bots", "1", "--connect", "localhost"} << "--connect";
    QTest::newRow("zero bots") << QStringList{"--bots", "0"} << "--bots";
    QTest::newRow("stray argument") << QStringList{"serve"} << "serve";
}

void TestServerProcess::badOptionsAreRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);
    Program program(arguments);
    QVERIFY(program.Started());
    QVERIFY(program.WaitFinished());
    QCOMPARE(program.ExitCode(), 2);
    QVERIFY2(program.Errors().contains(complaint), qPrintable(program.Errors()));
    QVERIFY(!program.Errors().contains("listening on"));
}

void TestServerProcess::helpListsTheOptions()
{
    Program program({"--help"});
    QVERIFY(program.Started());
    QVERIFY(program.WaitFinished());
    QCOMPARE(program.ExitCode(), 0);
    const QString help = program.Output();
    // Named as the user calls it, whatever path started it.
    QVERIFY2(help.startsWith(QLatin1String("Usage: kvchat-server [options]\n")), qPrintable(help));
    for (const char* option : {"--port", "--bind", "--life-interval", "--min-version", "--max-users", "--bots",
                               "--bot-room", "--bot-interval", "--connect"})
        QVERIFY2(help.contains(QLatin1String(option)), option);
}

QTEST_GUILESS_MAIN(TestServerProcess)
#include "tst_server_process.moc"
