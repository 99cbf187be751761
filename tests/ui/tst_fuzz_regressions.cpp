// Replays the window fuzz targets' seed inputs and every input a fuzz run ever
// found (fuzz/corpus/<target>, fuzz/regressions/<target> for the receive path and
// the session) through the real main window, with the same checks the fuzz
// targets make.
#include "../../fuzz/harness/ReceiveHarness.h"
#include "../../fuzz/harness/SessionHarness.h"

#include "LogSearchResults.h"
#include "TrayIcon.h"
#include "Unitlogsearch.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <string>
#include <vector>

class TestFuzzRegressions : public QObject {
    Q_OBJECT
private slots:
    void receivePathInputs_data();
    void receivePathInputs();
    void harnessSeesRealFrames();
    // Last: the session holds the clock of this thread still from then on.
    void sessionInputs_data();
    void sessionInputs();
    void sessionHarnessWorksTheWidgets();
    void sessionHarnessWorksTheLogs();
    void sessionHarnessWorksTheDesktop();
    void sessionInputsDoNotDependOnTheOneBefore();
    void sessionPaintsOnlyWhenTimePasses();
};

namespace {

QString fuzzFolder()
{
    return QStringLiteral(KV_FUZZ_DIR);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Sees every event of the application for as long as it lives.
class ApplicationWatch : public QObject {
public:
    ApplicationWatch() { QCoreApplication::instance()->installEventFilter(this); }
    ~ApplicationWatch() override { QCoreApplication::instance()->removeEventFilter(this); }
};

// The lines of the room on screen when an options dialog closes.
class LinesWhenClosed : public ApplicationWatch {
public:
    explicit LinesWhenClosed(TFormMain* window) : window_(window) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Hide && qobject_cast<TFormOption*>(watched) != nullptr)
            Lines = int(window_->ActiveChatSheet()->Lines.Size());
        return false;
    }
    int Lines = -1;

private:
    TFormMain* window_;
};

// Every widget that painted itself while it was alive.
class PaintWatch : public ApplicationWatch {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType())
            Painted.insert(watched);
        return false;
    }
    QSet<QObject*> Painted;
};

} // namespace

// Runs the steps as one input; a failed check fails the test.
static void runSteps(kvfuzz::SessionHarness& harness, std::vector<std::uint8_t> input)
{
    const std::string failure = harness.Run(input.data(), input.size());
    QVERIFY2(failure.empty(), failure.c_str());
}

// One row per file under corpus/<target> and regressions/<target>.
static void addInputRows(const char* target)
{
    QTest::addColumn<QString>("path");
    int rows = 0;
    for (const char* kindName : {"corpus", "regressions"}) {
        const QString kind = QString::fromLatin1(kindName);
        const QDir folder(fuzzFolder() + QLatin1Char('/') + kind + QLatin1Char('/') + QLatin1String(target));
        for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
            QTest::newRow(qPrintable(kind + QLatin1Char('/') + name)) << folder.filePath(name);
            ++rows;
        }
    }
    QVERIFY2(rows > 0, "no inputs found");
}

void TestFuzzRegressions::receivePathInputs_data()
{
    addInputRows("receive");
}

void TestFuzzRegressions::receivePathInputs()
{
    QFETCH(QString, path);
    const QByteArray input = readAll(path);
    QTemporaryDir dir;
    kvfuzz::ReceiveHarness harness((dir.path() + QStringLiteral("/kvchat.INI")).toStdString());
    const std::string failure =
        harness.Run(reinterpret_cast<const std::uint8_t*>(input.constData()), static_cast<std::size_t>(input.size()));
    QVERIFY2(failure.empty(), failure.c_str());
}

// The harness drives the real handlers: a seed session opens its rooms and logs
// its lines, whatever the read sizes, and the version-up notice does not block.
void TestFuzzRegressions::harnessSeesRealFrames()
{
    QTemporaryDir dir;
    kvfuzz::ReceiveHarness harness((dir.path() + QStringLiteral("/kvchat.INI")).toStdString());
    TFormMain* w = harness.Window();
    for (const char* seed : {"session", "session-bytewise", "session-odd-reads"}) {
        QByteArray input = readAll(fuzzFolder() + QStringLiteral("/corpus/receive/") + QLatin1String(seed));
        QVERIFY(!input.isEmpty());
        // Drop the final GmClose so the session's state can be seen afterwards.
        QCOMPARE(input.right(3), QByteArray::fromHex("000304"));
        input.chop(3);
        QVERIFY(harness.Run(reinterpret_cast<const std::uint8_t*>(input.constData()), std::size_t(input.size())).empty());
        QCOMPARE(w->ClientID, std::int16_t(7));
        QVERIFY(w->windowTitle().endsWith(QStringLiteral(" - 25人")));
    }
    // Each session was refused entry to a room and the creation of one.
    QCOMPARE(harness.Boxes, 6);
    const QByteArray notice = readAll(fuzzFolder() + QStringLiteral("/corpus/receive/areply-version-up"));
    QVERIFY(harness.Run(reinterpret_cast<const std::uint8_t*>(notice.constData()), std::size_t(notice.size())).empty());
    QCOMPARE(w->ClientID, std::int16_t(1));
    QCOMPARE(harness.ModalsClosed(), 1);
}

void TestFuzzRegressions::sessionInputs_data()
{
    addInputRows("session");
}

void TestFuzzRegressions::sessionInputs()
{
    QFETCH(QString, path);
    const QByteArray input = readAll(path);
    QTemporaryDir dir;
    kvfuzz::SessionHarness harness(dir.path());
    const std::string failure =
        harness.Run(reinterpret_cast<const std::uint8_t*>(input.constData()), static_cast<std::size_t>(input.size()));
    QVERIFY2(failure.empty(), failure.c_str());
    // A kept finding does what it did only while its step bytes pick their steps outright.
    if (path.contains(QStringLiteral("/regressions/")))
        QCOMPARE(harness.WrappedStepBytes, 0);
}

// One harness runs input after input on the connection the last one left:
// each must end as it does when run alone, or a replay would not do what the
// fuzz run did.
void TestFuzzRegressions::sessionInputsDoNotDependOnTheOneBefore()
{
    QList<std::pair<QString, QByteArray>> inputs;
    for (const char* folder : {"/corpus/session", "/regressions/session"}) {
        const QDir dir(fuzzFolder() + QLatin1String(folder));
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
            inputs.append({dir.filePath(name), readAll(dir.filePath(name))});
    }
    QVERIFY(inputs.size() >= 7);
    // A line said and sent, then Up: the next input's Up finds no line of it.
    inputs.append({QStringLiteral("say flood"), QByteArray::fromHex("1780")});
    inputs.append({QStringLiteral("Up"), QByteArray::fromHex("1200")});
    const auto run = [](kvfuzz::SessionHarness& harness, const QByteArray& input) {
        const std::string failure =
            harness.Run(reinterpret_cast<const std::uint8_t*>(input.constData()), std::size_t(input.size()));
        return failure.empty() ? harness.Outcome() : "failed: " + failure;
    };
    // One window at a time: the board and its markers are the program's own.
    std::vector<std::string> alone;
    for (const auto& [name, input] : inputs) {
        QTemporaryDir dir;
        kvfuzz::SessionHarness harness(dir.path());
        alone.push_back(run(harness, input));
    }
    QTemporaryDir sharedDir;
    kvfuzz::SessionHarness shared(sharedDir.path());
    for (int i = 0; i < inputs.size(); ++i) {
        const std::string after = run(shared, inputs[i].second);
        QVERIFY2(after == alone[std::size_t(i)],
                 qPrintable(inputs[i].first + QStringLiteral(":\n") + QString::fromStdString(after)
                            + QStringLiteral("\n--- alone:\n") + QString::fromStdString(alone[std::size_t(i)])));
    }
    QVERIFY(shared.Reused > 0);
}

// The steps reach what they name: a click aimed at a link opens it, entering
// a password room, renaming a marker, the options and connecting open their
// dialogs.
void TestFuzzRegressions::sessionHarnessWorksTheWidgets()
{
    QTemporaryDir dir;
    kvfuzz::SessionHarness harness(dir.path());
    const auto run = [&](const char* seed) {
        const QByteArray input = readAll(fuzzFolder() + QStringLiteral("/corpus/session/") + QLatin1String(seed));
        QVERIFY(!input.isEmpty());
        const std::string failure =
            harness.Run(reinterpret_cast<const std::uint8_t*>(input.constData()), std::size_t(input.size()));
        QVERIFY2(failure.empty(), failure.c_str());
    };
    run("chat");
    QCOMPARE(harness.LinksOpened, 1);
    QCOMPARE(harness.DialogsShown(), 2);   // Team's password, twice
    run("board");
    QCOMPARE(harness.DialogsShown(), 4);   // and two marker names
    run("options");
    QCOMPARE(harness.DialogsShown(), 9);   // and four times the options, then the connect dialog
    run("create-room");
    QCOMPARE(harness.DialogsShown(), 18);   // five room creations, the start-up rooms thrice, connect
    QCOMPARE(harness.RoomsMade(), 2);       // with and without a password; no name and a cancel make none
    run("focus-unread");
    QVERIFY(harness.Outcome().find("tab Lobby *\n0 Other> abc abc\n0 Other> see") != std::string::npos);
    QVERIFY(harness.Outcome().find("\n8 \n0 Other> abc abc\n") != std::string::npos);   // the unread marker
    const std::string before = harness.Outcome();
    run("board-keys");
    QCOMPARE(harness.DialogsShown(), 19);   // a marker's name, from F2
    // The board keys and the formation menu moved the markers.
    QVERIFY(harness.Outcome().substr(harness.Outcome().rfind("input")) != before.substr(before.rfind("input")));

    // The formation menu keeps the board as "abc" (its eleventh entry with
    // nothing to undo), then deletes it from 削除; the next input keeps none.
    const std::uint8_t board = 22;
    const std::uint8_t formation = 35;
    runSteps(harness, {board, formation, 10});
    QCOMPARE(FormBoard->Formations()->Formations().size(), std::size_t(1));
    QCOMPARE(FormBoard->Formations()->Formations().front().Title, std::string("abc"));
    runSteps(harness, {board, formation, 10, formation, 12});
    QVERIFY(FormBoard->Formations()->Formations().empty());
    runSteps(harness, {board, formation, 10});
    runSteps(harness, {});
    QVERIFY(FormBoard->Formations()->Formations().empty());

    // The server's step after the options dialog opened: Other talks in Team
    // (the tab on screen) while it is open, before the user cancels it.
    LinesWhenClosed options(harness.Window());
    runSteps(harness, {26, 0x40, 0, 0, 1, 0, 0});
    QVERIFY(harness.Outcome().find("tab Team *\n0 Other>abc abc\n") != std::string::npos);
    QCOMPARE(options.Lines, int(harness.Window()->ActiveChatSheet()->Lines.Size()));
}

// The log steps reach what they name: a room opened with logging on restores
// the prepared logs' newest lines and pages the rest in up to the oldest
// (every page delivered before the step ends), the newest line drops it again;
// a search of one room finds its lines, shows an old one in the room's tab,
// and copies what is selected.
void TestFuzzRegressions::sessionHarnessWorksTheLogs()
{
    QTemporaryDir dir;
    kvfuzz::SessionHarness harness(dir.path());
    TFormMain* w = harness.Window();
    const auto run = [&](std::vector<std::uint8_t> input) { runSteps(harness, std::move(input)); };
    // Lobby opened anew with logging on, then Ctrl+Home twice.
    run({252, 0x08, 16, 2});
    ChatLogView* log = w->ActiveChatSheet()->ChatLog;
    QCOMPARE(w->PageControl1->tabText(w->PageControl1->currentIndex()), QStringLiteral("Lobby"));
    QVERIFY(log->HistoryAtStart());
    QVERIFY(!log->HistoryLoading());
    // 550 older lines, two damaged ones, a line cut from 1,500 bytes, the day lines.
    QVERIFY2(log->HistoryLines() > 553, qPrintable(QString::number(log->HistoryLines())));
    QVERIFY(log->document()->firstBlock().text().endsWith(QStringLiteral("22:00:00 Other> history 0 abc")));
    // Ctrl+End: back at the newest line, the history goes. The room was
    // opened anew, so its log view is another one.
    run({252, 0x08, 16, 2, 16, 3});
    log = w->ActiveChatSheet()->ChatLog;
    QCOMPARE(log->HistoryLines(), 0);

    // Lobby again; the search of its logs ("部屋" Lobby) for lines 12 and 120 to 129.
    run({252, 0, 253, 0x02, 1, 254, 0, 254, 5, 254, 3, 254, 4});
    const TFormLogSearch* search = w->FormLogSearch;
    QVERIFY(search != nullptr && search->isVisible());
    QCOMPARE(search->LabelStatus->text(), QStringLiteral("11 件見つかりました"));
    QCOMPARE(search->Results()->rowCount(), 11);
    // The newest hit, older than the tab's lines, is shown as history and selected.
    log = w->ActiveChatSheet()->ChatLog;
    QVERIFY(log->HistoryLines() > 0);
    QVERIFY2(log->textCursor().selectedText().endsWith(QStringLiteral("Other> history 129 abc")),
             qPrintable(log->textCursor().selectedText()));
    QCOMPARE(QGuiApplication::clipboard()->text().count(QLatin1Char('\n')), 11);
    QVERIFY(QGuiApplication::clipboard()->text().startsWith(search->Results()->CopyText(0)));
}

// The desktop's steps reach what they name, and the next input starts in the
// light theme with the window shown.
void TestFuzzRegressions::sessionHarnessWorksTheDesktop()
{
    QTemporaryDir dir;
    kvfuzz::SessionHarness harness(dir.path());
    TFormMain* w = harness.Window();
    const auto run = [&](std::vector<std::uint8_t> input) { runSteps(harness, std::move(input)); };
    const auto dark = [] { return QApplication::palette().color(QPalette::Base).lightness() < 128; };
    const std::uint8_t desktop = 36;
    const std::uint8_t boardPicture = 37;

    run({desktop, 0, 0, desktop, 3, 1});   // Ctrl+plus, Ctrl+wheel up over the log
    QCOMPARE(w->Options.Zoom, 125);
    QCOMPARE(w->ActiveChatSheet()->ChatLog->font().pixelSize(), w->LogFont().pixelSize());
    run({desktop, 4, 3});   // "f", Tab
    QCOMPARE(w->EditInputChat->text(), QStringLiteral("fuzz"));
    QCOMPARE(w->Options.Zoom, 100);
    run({desktop, 5, 0});   // a double-click on the first member
    QCOMPARE(w->EditInputChat->text(), QStringLiteral("fuzz"));
    // Characters without a code, 110 kana for 200 bytes, a cancelled composition committed late.
    run({desktop, 8, 0});
    QCOMPARE(w->EditInputChat->text(), QString());
    QVERIFY(!w->statusBar()->currentMessage().isEmpty());
    run({desktop, 8, 1});
    QCOMPARE(w->EditInputChat->text(), QString(100, QChar(0x3042)));
    run({desktop, 8, 2});
    QCOMPARE(w->EditInputChat->text(), QString());
    run({desktop, 6, 1});
    QVERIFY(dark());
    // The tray option from the options dialog, then the window closed into the tray.
    run({26, 0x80, 5, desktop, 7, 2});
    QVERIFY(!dark());
    QVERIFY(w->Options.KeepInTray);
    QCOMPARE(w->Options.FontFamily, std::string("IPAGothic"));
    QCOMPARE(w->Options.FontSize, 11);   // 6 + 5 typed
    QVERIFY(w->isHidden());
    QVERIFY(w->Socket1->Active());
    run({desktop, 7, 1});   // 表示/隠す
    QVERIFY(w->isHidden());
    // A step on the window first brings it back with a click on the tray icon.
    run({desktop, 7, 1, desktop, 2, 0});
    QVERIFY(w->isVisible());
    run({22, boardPicture});
    QVERIFY(w->isVisible());
    QCOMPARE(QGuiApplication::clipboard()->image().size(), FormBoard->BoardPicture().size());
    // The kept case of a composition typed over selected text still selects first.
    const QByteArray overSelection =
        readAll(fuzzFolder() + QStringLiteral("/regressions/session/cancelled-composition-over-a-selection"));
    run(std::vector<std::uint8_t>(overSelection.begin(), overSelection.end()));
    QCOMPARE(harness.ComposedOverSelection, 1);
}

// The window paints only when a step lets time pass, as a screen refreshes;
// the first refresh of an input paints the room's log.
void TestFuzzRegressions::sessionPaintsOnlyWhenTimePasses()
{
    QTemporaryDir dir;
    kvfuzz::SessionHarness harness(dir.path());
    const auto run = [&](std::vector<std::uint8_t> input) { runSteps(harness, std::move(input)); };
    PaintWatch paints;
    // Eleven lines flood Team (the tab on screen), the user says "abc" there
    // and opens the options dialog, then cancels it.
    run({1, 1, 10, 0, 17, 0x81, 26, 0x40, 0});
    QCOMPARE(harness.DialogsShown(), 1);
    QCOMPARE(paints.Painted.size(), 0);
    // The same flood, then 16 ms pass.
    run({1, 1, 10, 0, 30, 1});
    QVERIFY(paints.Painted.contains(harness.Window()->ActiveChatSheet()->ChatLog->viewport()));
}

QTEST_MAIN(TestFuzzRegressions)
#include "tst_fuzz_regressions.moc"

