// The real kvchat executable as a newcomer meets it, under a private X server that the
// test starts itself: the built kvchat-server, a copy of the built kvchat with its own
// settings file, and a protocol-level bot in the lobby. The client connects at its first
// activation, enters the lobby, shows the bot's line, sends one back typed into its
// input, is closed from its menu and leaves its settings file behind.
//
// The GUI is driven with xdotool. The client's log is read through the clipboard: the
// log is selected and copied inside the client, and this executable, started again
// with --print-clipboard on the same display, prints what the clipboard holds.

#include "ChatBot.h"
#include "Cp932.h"
#include "IniFile.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <memory>

#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

namespace {

constexpr int Timeout = 30000;   // generous: two cores are shared by parallel builds

QByteArray Sjis(const char* utf8)
{
    const auto bytes = cp932::FromUtf8(utf8);
    return bytes ? QByteArray::fromStdString(*bytes) : QByteArray();
}

QString Utf8(const std::string& sjis)
{
    return QString::fromStdString(cp932::ToUtf8(sjis));
}

// Kills and reaps the process when the test is done with it.
struct ProcessDeleter {
    void operator()(QProcess* p) const
    {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(Timeout);
        }
        delete p;
    }
};
using Process = std::unique_ptr<QProcess, ProcessDeleter>;

int PrintClipboard(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QByteArray text = QGuiApplication::clipboard()->text().toUtf8();
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    return 0;
}

}  // namespace

class TestRealBinary : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void newcomerChatsWithABotAndQuitsFromTheMenu();
    void toolkitOptionsAreTakenByTheToolkit();
    void settingsNamingAFolderIsRefused();
    void secondStartOnTheSameSettingsBringsTheFirstToTheFront();
    void sigtermWhileASecondStartWaitsForTheFirstEndsIt();
    void sigtermWhileTheUnreadableSettingsBoxIsOpenEndsTheProgram();
    void signalIgnoredAtStartStaysIgnored();
    void versionIsTheOneTheCaptionShows();
    void settingsPathNotInUtf8IsUsedByteForByte_data();
    void settingsPathNotInUtf8IsUsedByteForByte();
    void signalsEndTheProgramWhenTheSettingsCannotBeSaved_data();
    void signalsEndTheProgramWhenTheSettingsCannotBeSaved();

private:
    // Starts the built kvchat with these arguments on the test's display.
    // errors: its standard error is kept for the test to read, not passed on.
    Process StartClient(const QStringList& args, const QString& program = {}, bool errors = false) const;
    // The first visible window of the process whose title matches; empty while there is none.
    QString FindWindowOf(const QProcess& process, const QString& titlePattern = QStringLiteral(".")) const;
    QString WaitForWindowOf(const QProcess& process, const QString& titlePattern = QStringLiteral(".")) const;
    // Ends the process with SIGTERM, as a logout does, and expects status 0.
    static bool Terminate(QProcess& process);
    QString SettingsFile(const QString& name, const QByteArray& bytes = {}) const;

    bool StartXServer();
    bool StartChatServer();
    QString Xdo(const QStringList& args, bool* ok = nullptr) const;
    // The first visible window whose title matches; empty while there is none.
    QString FindWindow(const QString& titlePattern) const;
    QString WaitForWindow(const QString& titlePattern) const;
    QRect Geometry(const QString& window) const;
    QString ClientLogText(const QString& mainWindow, const QRect& geometry) const;
    QProcessEnvironment DisplayEnvironment() const;

    QString xvfb_;
    QString xdotool_;
    QString buildDir_;
    QString display_;
    quint16 port_ = 0;
    Process xserver_;
    Process chatServer_;
    Process client_;
    QTemporaryDir dir_;
};

void TestRealBinary::initTestCase()
{
    xvfb_ = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    xdotool_ = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (xvfb_.isEmpty())
        QSKIP("Xvfb is not installed (Debian package xvfb; ./scripts/test installs it)");
    if (xdotool_.isEmpty())
        QSKIP("xdotool is not installed (Debian package xdotool; ./scripts/test installs it)");

    buildDir_ = qEnvironmentVariable("KV_BUILD_DIR");
    QVERIFY2(!buildDir_.isEmpty(), "KV_BUILD_DIR must name the build folder");
    QVERIFY2(QFile::exists(buildDir_ + QStringLiteral("/app/kvchat")), "kvchat is not built");
    QVERIFY2(QFile::exists(buildDir_ + QStringLiteral("/server/kvchat-server")), "kvchat-server is not built");
    QVERIFY(dir_.isValid());
    QVERIFY(StartXServer());
    QVERIFY(StartChatServer());
}

void TestRealBinary::cleanupTestCase()
{
    client_.reset();
    chatServer_.reset();
    xserver_.reset();
}

bool TestRealBinary::StartXServer()
{
    // -displayfd: the server picks a free display number and writes it to our stdout.
    xserver_.reset(new QProcess);
    xserver_->setProgram(xvfb_);
    xserver_->setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                            QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                            QStringLiteral("tcp"), QStringLiteral("-noreset")});
    xserver_->setProcessChannelMode(QProcess::SeparateChannels);
    xserver_->start();
    if (!xserver_->waitForStarted(Timeout))
        return false;
    QByteArray out;
    const bool told = QTest::qWaitFor(
        [&] {
            out += xserver_->readAllStandardOutput();
            return out.contains('\n') || xserver_->state() == QProcess::NotRunning;
        },
        Timeout);
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (!told || !ok) {
        qWarning() << "Xvfb did not report a display:" << out << xserver_->readAllStandardError();
        return false;
    }
    display_ = QStringLiteral(":%1").arg(number);
    return true;
}

bool TestRealBinary::StartChatServer()
{
    chatServer_.reset(new QProcess);
    chatServer_->setProgram(buildDir_ + QStringLiteral("/server/kvchat-server"));
    chatServer_->setArguments({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--life-interval"),
                               QStringLiteral("0")});
    chatServer_->start();
    QByteArray err;
    static const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    QRegularExpressionMatch match;
    const bool told = QTest::qWaitFor(
        [&] {
            err += chatServer_->readAllStandardError();
            match = listening.match(QString::fromUtf8(err));
            return match.hasMatch() || chatServer_->state() == QProcess::NotRunning;
        },
        Timeout);
    if (!told || !match.hasMatch()) {
        qWarning() << "kvchat-server did not start:" << err;
        return false;
    }
    port_ = static_cast<quint16>(match.captured(1).toUInt());
    return port_ != 0;
}

QProcessEnvironment TestRealBinary::DisplayEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path());
    env.insert(QStringLiteral("XDG_STATE_HOME"), dir_.filePath(QStringLiteral("state")));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

QString TestRealBinary::Xdo(const QStringList& args, bool* ok) const
{
    QProcess p;
    p.setProcessEnvironment(DisplayEnvironment());
    p.start(xdotool_, args);
    const bool finished = p.waitForFinished(Timeout);
    if (ok)
        *ok = finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString TestRealBinary::FindWindow(const QString& titlePattern) const
{
    const QString found = Xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                               titlePattern});
    return found.section(u'\n', 0, 0);
}

QString TestRealBinary::WaitForWindow(const QString& titlePattern) const
{
    QString window;
    const bool shown = QTest::qWaitFor(
        [&] {
            window = FindWindow(titlePattern);
            return !window.isEmpty();
        },
        Timeout);
    return shown ? window : QString();
}

QRect TestRealBinary::Geometry(const QString& window) const
{
    // --shell prints X=, Y=, WIDTH=, HEIGHT= lines.
    const QString out = Xdo({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
    QMap<QString, int> v;
    for (const QString& line : out.split(u'\n'))
        v.insert(line.section(u'=', 0, 0), line.section(u'=', 1).toInt());
    return QRect(v.value(QStringLiteral("X")), v.value(QStringLiteral("Y")), v.value(QStringLiteral("WIDTH")),
                 v.value(QStringLiteral("HEIGHT")));
}

QString TestRealBinary::ClientLogText(const QString& mainWindow, const QRect& geometry) const
{
    // The log fills the left part of the tab page, between the room-list panel
    // (201 pixels high) and the input row (31 pixels) at the bottom.
    const int x = geometry.width() / 4;
    const int y = geometry.height() - 80;
    Xdo({QStringLiteral("mousemove"), QStringLiteral("--window"), mainWindow, QString::number(x), QString::number(y)});
    Xdo({QStringLiteral("click"), QStringLiteral("1")});
    Xdo({QStringLiteral("key"), QStringLiteral("ctrl+a"), QStringLiteral("ctrl+c")});

    QProcess reader;
    reader.setProcessEnvironment(DisplayEnvironment());
    reader.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--print-clipboard")});
    if (!reader.waitForFinished(Timeout))
        return {};
    return QString::fromUtf8(reader.readAllStandardOutput());
}

void TestRealBinary::newcomerChatsWithABotAndQuitsFromTheMenu()
{
    const QByteArray lobby = Sjis("待合室");
    QVERIFY(!lobby.isEmpty());

    // A copy of the built client, with the settings file an installation supplies.
    const QString exe = dir_.filePath(QStringLiteral("kvchat"));
    const QString ini = dir_.filePath(QStringLiteral("kvchat.INI"));
    QVERIFY(QFile::copy(buildDir_ + QStringLiteral("/app/kvchat"), exe));
    QVERIFY(QFile::setPermissions(exe, QFile::permissions(exe) | QFileDevice::ExeOwner));
    {
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[Common]\r\nIP=127.0.0.1\r\nPort=%1\r\n").arg(port_).toLatin1());
    }

    ChatBot bot("Bot1");
    bot.EnterRoom(lobby);
    bot.ConnectTo(QStringLiteral("127.0.0.1"), port_);
    QVERIFY2(QTest::qWaitFor([&] { return !bot.JoinedRooms().isEmpty(); }, Timeout), "the bot did not enter the lobby");
    const int room = bot.JoinedRooms().first();

    client_.reset(new QProcess);
    client_->setProcessEnvironment(DisplayEnvironment());
    client_->setWorkingDirectory(dir_.path());
    client_->setProcessChannelMode(QProcess::ForwardedChannels);
    client_->start(exe, {});
    QVERIFY2(client_->waitForStarted(Timeout), qPrintable(client_->errorString()));

    // The first activation opens the connect dialog. Without a window manager the
    // window is activated by giving it the input focus.
    const QString mainWindow = WaitForWindow(QStringLiteral("^KVチャット"));
    QVERIFY2(!mainWindow.isEmpty(), "the main window did not show");
    const QString dialog = [&] {
        QString found;
        const bool opened = QTest::qWaitFor(
            [&] {
                Xdo({QStringLiteral("windowfocus"), mainWindow});
                found = FindWindow(QStringLiteral("^接続"));
                return !found.isEmpty();
            },
            Timeout);
        return opened ? found : QString();
    }();
    QVERIFY2(!dialog.isEmpty(), "the connect dialog did not open at the first activation");
    Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), dialog});
    Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), QStringLiteral("Tester")});
    Xdo({QStringLiteral("key"), QStringLiteral("Return")});

    // The client logs in and enters the lobby as its start-up room.
    std::int16_t clientId = 0;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     clientId = bot.Members(room).key(QByteArray("Tester"), 0);
                     return clientId != 0;
                 },
                 Timeout),
             "the client did not enter the lobby");

    // The bot talks; the line shows in the client's log.
    const QByteArray botLine = Sjis("ようこそ、キックベールへ");
    bot.Say(room, botLine);
    QVERIFY(QTest::qWaitFor([&] { return !bot.Talks().isEmpty(); }, Timeout));   // relayed back to the bot
    Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), mainWindow});
    const QRect geometry = Geometry(mainWindow);
    QString log;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     log = ClientLogText(mainWindow, geometry);
                     return log.contains(QStringLiteral("Bot1> ようこそ、キックベールへ"));
                 },
                 Timeout),
             qPrintable(QStringLiteral("the bot's line is not in the client's log: ") + log));

    // A reply typed into the input (its accelerator Alt+I) goes out with Enter. ASCII:
    // xdotool types other characters by remapping a key on the fly, which races with
    // the client's reading of the keyboard map.
    bot.ClearReceived();
    Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), mainWindow});
    Xdo({QStringLiteral("key"), QStringLiteral("alt+i")});
    Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), QStringLiteral("Nice pass, Bot1!")});
    Xdo({QStringLiteral("key"), QStringLiteral("Return")});
    QVERIFY2(QTest::qWaitFor([&] { return !bot.Talks().isEmpty(); }, Timeout), "the bot received no reply");
    const ReceivedTalk reply = bot.Talks().first();
    QCOMPARE(reply.room, std::int16_t(room));
    QCOMPARE(reply.clientId, clientId);
    QCOMPARE(reply.text, QByteArray("Nice pass, Bot1!"));
    QVERIFY(QTest::qWaitFor([&] { return ClientLogText(mainWindow, geometry).contains(
                                             QStringLiteral("Tester> Nice pass, Bot1!")); },
                            Timeout));

    // New bounds, so that the saved ones show the window's real state.
    Xdo({QStringLiteral("windowsize"), QStringLiteral("--sync"), mainWindow, QStringLiteral("600"),
         QStringLiteral("500")});
    Xdo({QStringLiteral("windowmove"), QStringLiteral("--sync"), mainWindow, QStringLiteral("40"),
         QStringLiteral("30")});
    QTRY_COMPARE_WITH_TIMEOUT(Geometry(mainWindow), QRect(40, 30, 600, 500), Timeout);
    const QRect finalGeometry = Geometry(mainWindow);

    // File > Exit by the keyboard: Alt+F opens the menu, X is the item's accelerator.
    Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), mainWindow});
    // Qt handles the keys in order, so X reaches the menu that Alt+F opened.
    Xdo({QStringLiteral("key"), QStringLiteral("alt+f"), QStringLiteral("x")});
    QVERIFY2(client_->waitForFinished(Timeout), "the client did not end after File > Exit");
    QCOMPARE(client_->exitStatus(), QProcess::NormalExit);
    QCOMPARE(client_->exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(bot.Members(room).key(QByteArray("Tester"), 0) == 0, Timeout);

    // The settings file keeps the window state and the start-up room, and what the
    // installation supplied.
    IniFile saved;
    QVERIFY(saved.Load(ini.toStdString()));
    QCOMPARE(saved.ReadInteger("Form", "Width", -1), finalGeometry.width());
    QCOMPARE(saved.ReadInteger("Form", "Height", -1), finalGeometry.height());
    QCOMPARE(saved.ReadInteger("Form", "Left", -1), finalGeometry.x());
    QCOMPARE(saved.ReadInteger("Form", "Top", -1), finalGeometry.y());
    QCOMPARE(saved.ReadInteger("Form", "RoomHeight", -1), 201);
    QCOMPARE(saved.ReadString("Form", "RoomVisible", ""), std::string("1"));
    QCOMPARE(saved.ReadString("Common", "Name", ""), std::string("Tester"));
    QCOMPARE(saved.ReadInteger("Common", "RoomCount", -1), 1);
    QCOMPARE(Utf8(saved.ReadString("Room1", "Name", "")), QStringLiteral("待合室"));
    QCOMPARE(saved.ReadString("Room1", "Password", "?"), std::string());
    QCOMPARE(saved.ReadString("Common", "IP", ""), std::string("127.0.0.1"));
    QCOMPARE(saved.ReadInteger("Common", "Port", -1), int(port_));
    QFile raw(ini);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray bytes = raw.readAll();
    QVERIFY(bytes.contains("[Room1]\r\nName=\x91\xD2\x8D\x87\x8E\xBA\r\n"));
}

Process TestRealBinary::StartClient(const QStringList& args, const QString& program, bool errors) const
{
    Process client(new QProcess);
    client->setProcessEnvironment(DisplayEnvironment());
    client->setWorkingDirectory(dir_.path());
    client->setProcessChannelMode(errors ? QProcess::SeparateChannels : QProcess::ForwardedErrorChannel);
    client->start(program.isEmpty() ? buildDir_ + QStringLiteral("/app/kvchat") : program, args);
    client->waitForStarted(Timeout);
    return client;
}

QString TestRealBinary::FindWindowOf(const QProcess& process, const QString& titlePattern) const
{
    if (process.state() != QProcess::Running)
        return {};
    const QString found = Xdo({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                               QStringLiteral("--pid"), QString::number(process.processId()), QStringLiteral("--name"),
                               titlePattern});
    return found.section(u'\n', 0, 0);
}

QString TestRealBinary::WaitForWindowOf(const QProcess& process, const QString& titlePattern) const
{
    QString window;
    [[maybe_unused]] const bool ended = QTest::qWaitFor(
        [&] {
            window = FindWindowOf(process, titlePattern);
            return !window.isEmpty() || process.state() == QProcess::NotRunning;
        },
        Timeout);
    return window;
}

bool TestRealBinary::Terminate(QProcess& process)
{
    if (process.state() != QProcess::Running)
        return false;
    process.terminate();
    return process.waitForFinished(Timeout) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

QString TestRealBinary::SettingsFile(const QString& name, const QByteArray& bytes) const
{
    const QString path = dir_.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes.isEmpty() ? QByteArray("[Form]\r\nLeft=0\r\nTop=0\r\nWidth=300\r\nHeight=300\r\n") : bytes);
    return path;
}

// A session manager restores the program with -session; a user may give any
// of the toolkit's options. The toolkit takes them before the program reads
// its own.
void TestRealBinary::toolkitOptionsAreTakenByTheToolkit()
{
    const QString sheet = dir_.filePath(QStringLiteral("style.qss"));
    QFile qss(sheet);
    QVERIFY(qss.open(QIODevice::WriteOnly));
    qss.write("QPushButton { color: navy; }\n");
    qss.close();
    Process client = StartClient({QStringLiteral("-session"), QStringLiteral("10d2c3e4f5a6b7c8d9e0f1a2b3c4d5e6f7_1"),
                                  QStringLiteral("-stylesheet"), sheet, QStringLiteral("-reverse"),
                                  QStringLiteral("-geometry"), QStringLiteral("320x240+5+5"), QStringLiteral("-name"),
                                  QStringLiteral("kvtest"), QStringLiteral("-qwindowtitle"), QStringLiteral("Restored"),
                                  QStringLiteral("--settings"), SettingsFile(QStringLiteral("qt-options.INI"))});
    QVERIFY2(!WaitForWindowOf(*client).isEmpty(), "the client did not open its window");
    QVERIFY(Terminate(*client));
}

// "--settings new/" names a folder, not a file: refused like a missing name,
// before any folder is made for it.
void TestRealBinary::settingsNamingAFolderIsRefused()
{
    for (const QString& name : {QStringLiteral("new/"), QStringLiteral("new/.."), QStringLiteral("new/.")}) {
        Process client = StartClient({QStringLiteral("--settings"), dir_.filePath(name)});
        QVERIFY2(client->waitForFinished(Timeout), qPrintable(name));
        QCOMPARE(client->exitStatus(), QProcess::NormalExit);
        QCOMPARE(client->exitCode(), 2);
        QVERIFY2(!QFileInfo::exists(dir_.filePath(QStringLiteral("new"))), qPrintable(name));
    }
}

// One program per settings file: a second start on the same file (named
// another way) brings the first one's window to the front and ends with
// status 0; another settings file runs side by side.
void TestRealBinary::secondStartOnTheSameSettingsBringsTheFirstToTheFront()
{
    Process first = StartClient({QStringLiteral("--settings"), SettingsFile(QStringLiteral("account1.INI"))});
    QVERIFY2(!WaitForWindowOf(*first, QStringLiteral("^KVチャット")).isEmpty(), "the first start shows no window");
    Process other = StartClient({QStringLiteral("--settings"), SettingsFile(QStringLiteral("account2.INI"))});
    const QString otherWindow = WaitForWindowOf(*other, QStringLiteral("^KVチャット"));
    QVERIFY2(!otherWindow.isEmpty(), "another settings file did not start beside the first");
    // The keyboard focus tells which program is in front (there is no window manager).
    const auto focusedPid = [this] {
        return Xdo({QStringLiteral("getwindowfocus"), QStringLiteral("getwindowpid")}).toLongLong();
    };
    Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), otherWindow});
    QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), other->processId(), Timeout);

    Process second = StartClient({QStringLiteral("--settings"), dir_.path() + QStringLiteral("/./account1.INI")});
    QVERIFY2(second->waitForFinished(Timeout), "the second start on the same settings file did not end");
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), first->processId(), Timeout);
    QVERIFY(other->state() == QProcess::Running);
    QVERIFY(Terminate(*other));
    QVERIFY(Terminate(*first));
}

// The first program does not answer (stopped in its terminal): a logout's
// SIGTERM ends the second start at once, as it ends any other, not after the
// wait with a complaint that the first did not answer.
void TestRealBinary::sigtermWhileASecondStartWaitsForTheFirstEndsIt()
{
    const QString settings = SettingsFile(QStringLiteral("stopped.INI"));
    Process first = StartClient({QStringLiteral("--settings"), settings});
    QVERIFY2(!WaitForWindowOf(*first, QStringLiteral("^KVチャット")).isEmpty(), "the first start shows no window");
    QCOMPARE(::kill(static_cast<pid_t>(first->processId()), SIGSTOP), 0);
    Process second = StartClient({QStringLiteral("--settings"), settings});
    // Its signal handler is in place once SIGTERM shows as caught.
    const auto catchesTerm = [&] {
        QFile status(QStringLiteral("/proc/%1/status").arg(second->processId()));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("SigCgt:"))
                return (line.mid(7).trimmed().toULongLong(nullptr, 16) & (1u << (SIGTERM - 1))) != 0;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(catchesTerm(), Timeout);
    const bool ended = Terminate(*second);
    ::kill(static_cast<pid_t>(first->processId()), SIGCONT);
    QVERIFY2(ended, "SIGTERM did not end the waiting start with status 0");
    QVERIFY(Terminate(*first));
}

// A settings file that cannot be read is reported in a box before the message
// loop. A logout's SIGTERM then ends the program at once, writing nothing.
void TestRealBinary::sigtermWhileTheUnreadableSettingsBoxIsOpenEndsTheProgram()
{
    const QString settings = dir_.filePath(QStringLiteral("folder.INI"));
    QVERIFY(QDir().mkpath(settings + QStringLiteral("/inside")));
    Process client = StartClient({QStringLiteral("--settings"), settings});
    QVERIFY2(!WaitForWindowOf(*client, QStringLiteral("^エラー")).isEmpty(), "no box about the unreadable file");
    QVERIFY(FindWindowOf(*client, QStringLiteral("^KVチャット")).isEmpty());
    QVERIFY2(Terminate(*client), "one SIGTERM did not end the program");
    QCOMPARE(QDir(settings).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("inside")});
}

// Under nohup (or a shell's trap ""), SIGHUP is ignored when the program
// starts, and must stay so; SIGTERM is still caught.
void TestRealBinary::signalIgnoredAtStartStaysIgnored()
{
    Process client = StartClient({QStringLiteral("-c"), QStringLiteral("trap '' HUP; exec \"$0\" \"$@\""),
                                  buildDir_ + QStringLiteral("/app/kvchat"), QStringLiteral("--settings"),
                                  SettingsFile(QStringLiteral("nohup.INI"))},
                                 QStringLiteral("/bin/sh"));
    QVERIFY2(!WaitForWindowOf(*client, QStringLiteral("^KVチャット")).isEmpty(), "the client did not start");
    QFile status(QStringLiteral("/proc/%1/status").arg(client->processId()));
    QVERIFY(status.open(QIODevice::ReadOnly));
    quint64 ignored = 0;
    quint64 caught = 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigIgn:"))
            ignored = line.mid(7).trimmed().toULongLong(nullptr, 16);
        if (line.startsWith("SigCgt:"))
            caught = line.mid(7).trimmed().toULongLong(nullptr, 16);
    }
    const quint64 hup = 1u << (SIGHUP - 1);
    const quint64 term = 1u << (SIGTERM - 1);
    QVERIFY2(ignored & hup, "SIGHUP is no longer ignored");
    QVERIFY(!(caught & hup));
    QVERIFY(caught & term);
    QVERIFY(Terminate(*client));
}

// A --settings path whose bytes are not UTF-8 (Latin-1 café, EUC-JP 設定) names
// the folder that exists, in a C or a UTF-8 locale: the settings are read from
// and written to it, and no folder spelled with replacement characters is made.
void TestRealBinary::settingsPathNotInUtf8IsUsedByteForByte_data()
{
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QString>("locale");
    for (const char* locale : {"C", "C.UTF-8"}) {
        QTest::addRow("caf\\xe9, %s", locale) << QByteArray("caf\xe9") << QString::fromLatin1(locale);
        QTest::addRow("EUC-JP, %s", locale) << QByteArray("\xc0\xdf\xc4\xea") << QString::fromLatin1(locale);
    }
}

void TestRealBinary::settingsPathNotInUtf8IsUsedByteForByte()
{
    QFETCH(QByteArray, folder);
    QFETCH(QString, locale);
    QTemporaryDir base;
    QVERIFY(base.isValid());
    const QByteArray root = QFile::encodeName(base.path());
    const QByteArray file = root + '/' + folder + "/k.INI";
    QVERIFY(::mkdir((root + '/' + folder).constData(), 0700) == 0);
    {
        std::FILE* out = std::fopen(file.constData(), "wb");
        QVERIFY(out != nullptr);
        std::fputs("[Form]\r\nLeft=0\r\nTop=0\r\nWidth=300\r\nHeight=300\r\n[Option]\r\nFontSize=17\r\n", out);
        std::fclose(out);
    }
    // The path goes through the shell as bytes; the test's own arguments would be text.
    QByteArray octal;
    for (const char byte : file)
        octal += "\\" + QByteArray::number(static_cast<unsigned char>(byte), 8);
    Process client = StartClient({QStringLiteral("-c"),
                                  QStringLiteral("LC_ALL=%1 exec \"$0\" --settings \"$(printf '%2')\"")
                                      .arg(locale, QString::fromLatin1(octal)),
                                  buildDir_ + QStringLiteral("/app/kvchat")},
                                 QStringLiteral("/bin/sh"));
    // In the C locale the title's old X property is not Japanese: any name will do.
    QVERIFY2(!WaitForWindowOf(*client, QStringLiteral(".")).isEmpty(), "the client did not start");
    QVERIFY(Terminate(*client));
    int entries = 0;   // counted as bytes: the toolkit would decode the names
    if (DIR* top = ::opendir(root.constData())) {
        while (const dirent* entry = ::readdir(top))
            entries += std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0;
        ::closedir(top);
    }
    QCOMPARE(entries, 1);   // no new folder beside it
    std::FILE* in = std::fopen(file.constData(), "rb");
    QVERIFY(in != nullptr);
    char bytes[4096] = {};
    const std::size_t length = std::fread(bytes, 1, sizeof bytes - 1, in);
    std::fclose(in);
    const QByteArray text(bytes, qsizetype(length));
    QVERIFY2(text.contains("FontSize=17") && text.contains("RoomHeight="), text.constData());
}

// The caption says "ver1.10" (as the community's clients do); --version says the same.
void TestRealBinary::versionIsTheOneTheCaptionShows()
{
    QProcess version;
    version.start(buildDir_ + QStringLiteral("/app/kvchat"), {QStringLiteral("--version")});
    QVERIFY(version.waitForFinished(Timeout));
    QCOMPARE(version.readAllStandardOutput(), QByteArray("kvchat 1.10\n"));
}

// A settings file that cannot be written at exit: a logout's signal still ends
// the program at once, the failure goes to standard error, no box waits, and
// the next start says the settings were not saved.
void TestRealBinary::signalsEndTheProgramWhenTheSettingsCannotBeSaved_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestRealBinary::signalsEndTheProgramWhenTheSettingsCannotBeSaved()
{
    QFETCH(int, signal);
    const QString name = QStringLiteral("unsaved%1.INI").arg(signal);
    const QString settings = SettingsFile(name);
    Process client = StartClient({QStringLiteral("--settings"), settings}, {}, true);
    QVERIFY2(!WaitForWindowOf(*client, QStringLiteral("^KVチャット")).isEmpty(), "the client did not start");
    // Now a dangling link through a plain file: nothing, root included, can write there.
    SettingsFile(QStringLiteral("plain"));
    QVERIFY(QFile::remove(settings));
    QVERIFY(QFile::link(QStringLiteral("plain/k.INI"), settings));
    QCOMPARE(::kill(static_cast<pid_t>(client->processId()), signal), 0);
    QVERIFY2(client->waitForFinished(Timeout), "the signal did not end the program");
    const QString errors = QString::fromLocal8Bit(client->readAllStandardError());
    QVERIFY2(errors.contains(name), qPrintable(errors));

    QVERIFY(QFile::remove(settings));
    SettingsFile(name);
    Process next = StartClient({QStringLiteral("--settings"), settings}, {}, true);
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += next->readAllStandardError()).contains("保存できませんでした"), Timeout);
    QVERIFY(Terminate(*next));
}

int main(int argc, char* argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--print-clipboard") == 0)
        return PrintClipboard(argc, argv);
    QCoreApplication app(argc, argv);
    TestRealBinary test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_real_binary.moc"
