// The settings file survives whatever happens at exit: a file or folder the
// program may not write, and the program killed in the middle of a save.
#include "AppWindows.h"
#include "IniFile.h"
#include "MainWindowFixture.h"
#include "UnsavedNote.h"
#include "MessageBoxes.h"
#include "Settings.h"
#include "Unitmain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const SaveForeverVariable = "KV_SETTINGS_SAVE_FOREVER";
constexpr int Rooms = MaxStartRooms;

// Every setting the program writes carries the same tag, so a file made of two
// saves shows as a mix of tags.
std::string RoomName(const std::string& tag, int i)
{
    return tag + "-room-" + std::to_string(i) + std::string(40, 'x');
}

void FillTagged(TFormMain& w, const std::string& tag)
{
    w.UserName = tag;
    w.StartRooms = TStartRoomList{};
    for (int i = 0; i < Rooms; ++i)
        AddStartRoom(w.StartRooms, RoomName(tag, i), tag);
}

QByteArray TaggedFile(const std::string& tag)
{
    std::string text = "[Common]\r\nName=" + tag + "\r\nIP=127.0.0.1\r\nRoomCount=" + std::to_string(Rooms) + "\r\n";
    for (int i = 0; i < Rooms; ++i)
        text += "[Room" + std::to_string(i + 1) + "]\r\nName=" + RoomName(tag, i) + "\r\nPassword=" + tag + "\r\n";
    return QByteArray::fromStdString(text);
}

// The tag of a whole, consistent settings file, or why it is not one.
QString TagOf(const std::string& path)
{
    IniFile ini;
    if (!ini.Load(path))
        return QStringLiteral("unreadable");
    const SettingsRecord record = ReadSettings(ini, FormBounds{});
    const std::string& tag = record.UserName;
    if (record.ServerAddress != "127.0.0.1")
        return QStringLiteral("lost the server address");
    if (record.StartRooms.Count != Rooms)
        return QStringLiteral("%1 start-up rooms").arg(record.StartRooms.Count);
    for (int i = 0; i < Rooms; ++i) {
        if (record.StartRooms.Rooms[i].Name != RoomName(tag, i) || record.StartRooms.Rooms[i].Password != tag)
            return QStringLiteral("room %1 does not belong to save %2").arg(i + 1).arg(QString::fromStdString(tag));
    }
    if (!ini.Bytes().ends_with("\r\n"))
        return QStringLiteral("cut short");
    return QString::fromStdString(tag);
}

QStringList TemporaryFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden);
}

// Child process: the real main window saving its settings over and over, two
// different settings by turns, until it is killed.
int SaveForever(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string path = qEnvironmentVariable(SaveForeverVariable).toStdString();
    SetBoxInterceptor([](const QString&, const QString& text) {
        std::fprintf(stderr, "box: %s\n", text.toLocal8Bit().constData());
        std::_Exit(3);
    });
    auto window = CreateApplicationWindows(path);
    window->FirstActivate = false;
    std::printf("saving\n");
    std::fflush(stdout);
    for (unsigned n = 0;; ++n) {
        FillTagged(*window, n % 2 == 0 ? "A" : "B");
        window->SaveSettings();
    }
}

} // namespace

class TestSettingsSafety : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("XDG_STATE_HOME", QFile::encodeName(state_.path())); }
    void unwritableFileIsToldNextStartAndKeepsOldFile();
    void unwritableFolderIsToldNextStartAndKeepsOldFile();
    void newFileIsReadableByItsOwnerOnly();
    void unreadableFileIsReportedAndNeverWritten();
    void killedDuringSaveLeavesOldOrNewFile();

private:
    QTemporaryDir state_;   // where a settings file not saved is noted
};

void TestSettingsSafety::unwritableFileIsToldNextStartAndKeepsOldFile()
{
    const QByteArray old = TaggedFile("old");
    MainWindowFixture f(old);
    const QString path = QString::fromStdString(f.SettingsPath());
    FillTagged(*f.Window(), "new");
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    f.Close();   // program end saves
    // No box waits at the end (a logout): the next start says it.
    QVERIFY(f.Boxes.isEmpty());
    QCOMPARE(TakeUnsavedNote(f.SettingsPath()).value_or(""), (path + QStringLiteral(" に書き込めません（書き込みの権限がありません）")).toStdString());
    QCOMPARE(f.SettingsBytes(), old);
    QVERIFY(TemporaryFiles(QFileInfo(path).absolutePath()).isEmpty());
}

void TestSettingsSafety::unwritableFolderIsToldNextStartAndKeepsOldFile()
{
    const QByteArray old = TaggedFile("old");
    MainWindowFixture f(old);
    const QString path = QString::fromStdString(f.SettingsPath());
    const QString folder = QFileInfo(path).absolutePath();
    FillTagged(*f.Window(), "new");
    const QFileDevice::Permissions before = QFile::permissions(folder);
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    f.Window()->SaveSettings();
    QFile::setPermissions(folder, before);
    QVERIFY(f.Boxes.isEmpty());
    QCOMPARE(TakeUnsavedNote(f.SettingsPath()).value_or(""), (path + QStringLiteral(" に書き込めません（書き込みの権限がありません）")).toStdString());
    QCOMPARE(f.SettingsBytes(), old);
    QVERIFY(TemporaryFiles(folder).isEmpty());
    // Once the folder may be written again, the next save goes through.
    f.Boxes.clear();
    f.Close();
    QVERIFY(f.Boxes.isEmpty());
    QVERIFY(!TakeUnsavedNote(f.SettingsPath()));
    QCOMPARE(TagOf(f.SettingsPath()), QStringLiteral("new"));
}

void TestSettingsSafety::newFileIsReadableByItsOwnerOnly()
{
    // Even with a umask that would let everyone read it.
    const mode_t oldMask = umask(0);
    MainWindowFixture f;
    QVERIFY(!QFile::exists(QString::fromStdString(f.SettingsPath())));
    f.Close();
    umask(oldMask);
    struct stat status {};
    QCOMPARE(stat(f.SettingsPath().c_str(), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0600));
    QVERIFY(f.Boxes.isEmpty());
}

void TestSettingsSafety::unreadableFileIsReportedAndNeverWritten()
{
    // The user's own file with mode 0200 in the user's own folder; root reads
    // anything, so the program runs as an unprivileged user.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kvchat.INI"));
    const QByteArray old = TaggedFile("old");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
    file.close();
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    const bool asRoot = geteuid() == 0;
    if (asRoot)
        QVERIFY(chown(qPrintable(dir.path()), 65534, 65534) == 0 && chown(qPrintable(path), 65534, 65534) == 0
                && seteuid(65534) == 0);
    QStringList boxes;
    SetBoxInterceptor([&](const QString&, const QString& text) { boxes << text; });
    auto window = CreateApplicationWindows(path.toStdString());
    FillTagged(*window, "new");
    window.reset();   // program end
    ForgetApplicationWindows();
    SetBoxInterceptor({});
    if (asRoot)
        QVERIFY(seteuid(0) == 0);
    QCOMPARE(boxes, QStringList{path + QStringLiteral(" を読み込めません（読み取りの権限がありません）。"
                                                      "この実行中の設定は保存されません")});
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner) && file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), old);
}

void TestSettingsSafety::killedDuringSaveLeavesOldOrNewFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string path = (dir.path() + QStringLiteral("/kvchat.INI")).toStdString();
    {
        QFile f(QString::fromStdString(path));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(TaggedFile("0"));
    }
    QStringList seen;
    for (int round = 0; round < 24; ++round) {
        QProcess saver;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(SaveForeverVariable), QString::fromStdString(path));
        saver.setProcessEnvironment(env);
        saver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        saver.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(saver.waitForStarted());
        QVERIFY(saver.waitForReadyRead(60000));
        QCOMPARE(saver.readLine().trimmed(), QByteArray("saving"));
        // Land the kill at different points of the save loop.
        QThread::usleep(static_cast<unsigned long>(round % 8) * 1500);
        saver.kill();
        QVERIFY(saver.waitForFinished(60000));
        QCOMPARE(saver.exitStatus(), QProcess::CrashExit);

        const QString tag = TagOf(path);
        QVERIFY2(tag == "0" || tag == "A" || tag == "B", qPrintable(QStringLiteral("after kill %1: %2").arg(round).arg(tag)));
        if (!seen.contains(tag))
            seen << tag;
    }
    qInfo("settings seen after the kills: %s", qPrintable(seen.join(QLatin1Char(' '))));

    // A save cut short leaves its temporary file; the next save clears it away.
    SetBoxInterceptor([](const QString&, const QString& text) { QFAIL(qPrintable(text)); });
    {
        auto window = CreateApplicationWindows(path);
        window->FirstActivate = false;
        FillTagged(*window, "last");
        window.reset();
        ForgetApplicationWindows();
    }
    SetBoxInterceptor({});
    QCOMPARE(TagOf(path), QStringLiteral("last"));
    QCOMPARE(TemporaryFiles(dir.path()), QStringList{});
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(SaveForeverVariable))
        return SaveForever(argc, argv);
    QApplication app(argc, argv);
    TestSettingsSafety test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings_safety.moc"
