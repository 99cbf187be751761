// The program's start as main runs it: the settings file's folders and the
// boxes before any window, then the windows, with the logs' folder decided
// once from the settings and the default folder of the start.
#include "AppLocations.h"
#include "AppStart.h"
#include "AppWindows.h"
#include "MainWindowFixture.h"
#include "MessageBoxes.h"
#include "SingleInstance.h"
#include "Unitmain.h"
#include "Unitoption.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class TestAppStart : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void logFolderIsDecidedOnceBeforeTheFirstLine_data();
    void logFolderIsDecidedOnceBeforeTheFirstLine();
    void boxesComeBeforeTheWindowsAndASignalEndsTheStart();
    void aSignalDuringTheFirstBoxShowsNoSecondBox();
    void aSecondStartReachesTheFirst_data();
    void aSecondStartReachesTheFirst();
    void oneProgramPerSettingsFileWithoutHoles_data();
    void oneProgramPerSettingsFileWithoutHoles();
    void theToolkitSpeaksJapanese();
};

void TestAppStart::cleanup()
{
    SetBoxInterceptor({});
    ForgetApplicationWindows();   // also after a failed check left early
}

void TestAppStart::logFolderIsDecidedOnceBeforeTheFirstLine_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QString>("expected");   // relative to the test's folder
    QTest::newRow("the default of an installed program") << QByteArray("[Common]\r\nName=x\r\n")
                                                         << QStringLiteral("data/kvchat/logs");
    QTest::newRow("[Log] Folder") << QByteArray("[Log]\r\nFolder=@/mine\r\n") << QStringLiteral("mine");
}

void TestAppStart::logFolderIsDecidedOnceBeforeTheFirstLine()
{
    QFETCH(QByteArray, settings);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The settings in one folder, the default for logs in another, as an installed program has them.
    AppLocations locations;
    locations.SettingsFile = dir.filePath(QStringLiteral("config/kvchat/kvchat.INI")).toStdString();
    locations.LogFolder = dir.filePath(QStringLiteral("data/kvchat/logs")).toStdString();
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("config/kvchat"))));
    QFile file(QString::fromStdString(locations.SettingsFile));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(settings.replace('@', dir.path().toLocal8Bit()));
    file.close();
    QStringList boxes;
    SetBoxInterceptor([&](const QString&, const QString& text) { boxes << text; });

    std::unique_ptr<TFormMain> w = OpenApplicationWindows(locations, [] { return false; });
    QVERIFY(w);
    const QString folder = dir.filePath(expected);
    QCOMPARE(QString::fromStdString(w->LogFolder), folder);
    // The options dialog closed with OK and nothing changed keeps the folder.
    OnNextModal([](QWidget*) { FormOption->ButtonOk->click(); });
    w->OptionMenu->trigger();
    QCOMPARE(QString::fromStdString(w->LogFolder), folder);
    QCOMPARE(boxes, QStringList());
    w.reset();
    ForgetApplicationWindows();
}

namespace {
// A start whose settings file would be under `under` in dir, where "file" is a
// file: no folder can be made there, so the start shows an error box and a notice.
AppLocations SettingsBehindAFile(const QTemporaryDir& dir, const QString& under)
{
    AppLocations locations;
    QFile blocker(dir.filePath(QStringLiteral("file")));
    if (!dir.isValid() || !blocker.open(QIODevice::WriteOnly))
        return locations;
    blocker.close();
    locations.SettingsFile = dir.filePath(under).toStdString();
    locations.LogFolder = DefaultLogFolder(locations.SettingsFile);
    locations.Notice = "設定ファイルは ... を使います。";
    return locations;
}
}  // namespace

void TestAppStart::boxesComeBeforeTheWindowsAndASignalEndsTheStart()
{
    QTemporaryDir dir;
    const AppLocations locations = SettingsBehindAFile(dir, QStringLiteral("file/kvchat/kvchat.INI"));
    QVERIFY(!locations.SettingsFile.empty());
    QStringList boxes;
    bool windowsExisted = false;
    SetBoxInterceptor([&](const QString& caption, const QString& text) {
        windowsExisted = windowsExisted || FormMain != nullptr;
        boxes << caption + QLatin1Char(':') + text;
    });
    // A signal that came while the last box was open: no window, nothing written.
    QVERIFY(!OpenApplicationWindows(locations, [&] { return boxes.size() == 2; }));
    QCOMPARE(boxes, QStringList({ErrorCaption + QLatin1Char(':') + dir.filePath(QStringLiteral("file/kvchat"))
                                     + QStringLiteral(" を作れません（途中にフォルダではないものがあります）。"
                                                      "この実行中の設定は保存されません"),
                                 NoticeCaption + QStringLiteral(":設定ファイルは ... を使います。")}));
    QVERIFY(!windowsExisted);
    QVERIFY(FormMain == nullptr);
}

void TestAppStart::aSignalDuringTheFirstBoxShowsNoSecondBox()
{
    QTemporaryDir dir;
    const AppLocations locations = SettingsBehindAFile(dir, QStringLiteral("file/kvchat.INI"));
    QVERIFY(!locations.SettingsFile.empty());
    QStringList captions;
    SetBoxInterceptor([&](const QString& caption, const QString&) { captions << caption; });
    // The signal arrives while the first box is open: it ends that box's loop,
    // and no other box may then wait for the user.
    QVERIFY(!OpenApplicationWindows(locations, [&] { return !captions.isEmpty(); }));
    QCOMPARE(captions, QStringList({ErrorCaption}));
    QVERIFY(FormMain == nullptr);
}

void TestAppStart::aSecondStartReachesTheFirst_data()
{
    QTest::addColumn<int>("runtimeNameLength");   // of the runtime folder's last part
    QTest::newRow("a short runtime folder") << 4;
    // Too long to name a local socket in it (a deep home folder, a long TMPDIR).
    QTest::newRow("a long runtime folder") << 90;
}

void TestAppStart::aSecondStartReachesTheFirst()
{
    QFETCH(int, runtimeNameLength);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString runtime = dir.filePath(QString(runtimeNameLength, QLatin1Char('r')));
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    const std::string settings = dir.filePath(QStringLiteral("k.INI")).toStdString();

    SingleInstance first(settings);
    QSignalSpy raised(&first, &SingleInstance::RaiseRequested);
    SingleInstance second(settings);   // its own open file: the lock is taken
    const bool answered = second.AskOtherToRaise(5000, [] { return false; });
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
    QVERIFY(!first.OtherRuns());
    QVERIFY(second.OtherRuns());
    QVERIFY2(answered, "the first program was not reached");
    QTRY_COMPARE(raised.count(), 1);
}

// Two starts with the places each would find: the same settings file, however
// named and whatever the environment said, never runs twice, and the places
// keep nothing once the programs end.
void TestAppStart::oneProgramPerSettingsFileWithoutHoles_data()
{
    QTest::addColumn<bool>("firstHasRuntime");
    QTest::addColumn<bool>("secondHasRuntime");
    QTest::addColumn<QString>("secondName");   // "target" or "link" (a dangling link to it)
    QTest::addColumn<QString>("tempFolder");   // "none", "ours" or "foreign"
    QTest::addColumn<int>("expected");         // of the second start
    const int otherRuns = int(SingleInstance::State::OtherRuns);
    const int refused = int(SingleInstance::State::Refused);
    QTest::newRow("with and without a runtime folder") << true << false << "target" << "none" << otherRuns;
    QTest::newRow("without and with a runtime folder") << false << true << "target" << "none" << otherRuns;
    QTest::newRow("a dangling link and its target") << true << true << "link" << "none" << otherRuns;
    QTest::newRow("the temporary folder is another's") << true << false << "target" << "foreign" << refused;
    QTest::newRow("its folder is left open to all") << true << false << "target" << "open" << refused;
}

void TestAppStart::oneProgramPerSettingsFileWithoutHoles()
{
    QFETCH(bool, firstHasRuntime);
    QFETCH(bool, secondHasRuntime);
    QFETCH(QString, secondName);
    QFETCH(QString, tempFolder);
    QFETCH(int, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString runtime = dir.filePath(QStringLiteral("run"));
    const QString temp = dir.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(runtime) && QDir().mkpath(temp));
    QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString ours = temp + QStringLiteral("/kvchat-%1").arg(geteuid());
    if (tempFolder != QLatin1String("none")) {
        QVERIFY(QDir().mkpath(ours));
        QVERIFY(::chmod(QFile::encodeName(ours).constData(), tempFolder == QLatin1String("open") ? 0777 : 0700) == 0);
        if (tempFolder == QLatin1String("foreign")) {
            if (geteuid() != 0)
                QSKIP("only root can give a folder to another user");
            QVERIFY(::chown(QFile::encodeName(ours).constData(), 65534, 65534) == 0);
        }
    }
    const std::string target = dir.filePath(QStringLiteral("k.INI")).toStdString();
    const std::string link = dir.filePath(QStringLiteral("link.INI")).toStdString();
    QVERIFY(::symlink("k.INI", link.c_str()) == 0);   // dangling: the file is made at exit
    const auto places = [&](bool hasRuntime) {
        return SingleInstance::Places{hasRuntime ? runtime.toStdString() : std::string(), std::string(),
                                      temp.toStdString()};
    };
    {
        SingleInstance first(target, places(firstHasRuntime));
        SingleInstance second(secondName == QLatin1String("link") ? link : target, places(secondHasRuntime));
        QCOMPARE(int(second.Result()), expected);
        if (expected == int(SingleInstance::State::OtherRuns)) {
            QCOMPARE(first.Result(), SingleInstance::State::Alone);
            QVERIFY2(second.AskOtherToRaise(5000, [] { return false; }), "the first program was not reached");
        }
    }
    QCOMPARE(QDir(runtime).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System), QStringList());
    if (tempFolder != QLatin1String("foreign") && tempFolder != QLatin1String("open"))
        QCOMPARE(QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System), QStringList());
}

// The toolkit's own texts the user meets (the input's edit menu, the standard
// buttons, the file dialogs and their overwrite question) are Japanese once the
// program has started, whatever the desktop's language.
void TestAppStart::theToolkitSpeaksJapanese()
{
    QLocale::setDefault(QLocale(QLocale::English));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    AppLocations locations;
    locations.SettingsFile = dir.filePath(QStringLiteral("kvchat.INI")).toStdString();
    locations.LogFolder = dir.filePath(QStringLiteral("logs")).toStdString();
    SetBoxInterceptor([](const QString&, const QString&) {});
    std::unique_ptr<TFormMain> w = OpenApplicationWindows(locations, [] { return false; });
    QVERIFY(w);

    std::unique_ptr<QMenu> menu(w->EditInputChat->createStandardContextMenu());
    QStringList items;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            items << action->text().section(QLatin1Char('\t'), 0, 0);
    QCOMPARE(items, (QStringList{QStringLiteral("元に戻す(&U)"), QStringLiteral("やり直す(&R)"),
                                 QStringLiteral("切り取り(&T)"), QStringLiteral("コピー(&C)"),
                                 QStringLiteral("貼り付け(&P)"), QStringLiteral("削除"),
                                 QStringLiteral("すべてを選択")}));
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
    QCOMPARE(buttons.button(QDialogButtonBox::Save)->text(), QStringLiteral("保存"));
    QCOMPARE(QFileDialog::tr("%1 already exists.\nDo you want to replace it?"),
             QStringLiteral("%1 は既に存在します。\n置き換えますか?"));
    QFileDialog files(nullptr, QStringLiteral("画像を保存"));
    files.setOption(QFileDialog::DontUseNativeDialog);
    files.setAcceptMode(QFileDialog::AcceptSave);
    QStringList labels;
    for (const QLabel* label : files.findChildren<QLabel*>())
        if (!label->text().isEmpty())
            labels << label->text();
    QVERIFY2(labels.contains(QStringLiteral("ファイル名(&N):")), qPrintable(labels.join(u'|')));
    QLocale::setDefault(QLocale::system());
}

QTEST_MAIN(TestAppStart)
#include "tst_app_start.moc"
