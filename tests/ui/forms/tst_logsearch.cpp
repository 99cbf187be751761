// The search over every log, through the main window's menu: hits newest first
// with the match marked, the scope (this server, all, a room, days), a new query
// replacing the running one, the keyboard (Enter, Down, Ctrl+A, Ctrl+C), the
// lines around a hit, and the room's tab scrolled to it.
#include "ChatLogFiles.h"
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "LogColours.h"
#include "LogSearchResults.h"
#include "LogSearchRun.h"
#include "MainWindowFixture.h"
#include "Unitlogsearch.h"
#include "Unitmain.h"

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTextBlock>

#include <chrono>
#include <thread>

namespace {

bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 10000);
}

// Waits for another thread without turning the event loop, so nothing it queued is handled yet.
bool waitWithoutEvents(const std::function<bool()>& condition)
{
    for (int i = 0; i < 10000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return condition();
}

// The bytes this process has read so far, by any thread.
qint64 BytesReadByProcess()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

void WriteLog(const QString& folder, const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList Column(const LogSearchResults* results, int column)
{
    QStringList texts;
    for (int row = 0; row < results->rowCount(); ++row)
        texts << results->data(results->index(row, column), Qt::DisplayRole).toString();
    return texts;
}

}  // namespace

class TestLogSearch : public QObject {
    Q_OBJECT
private slots:
    void searchesEveryLogNewestFirstAndShowsAHitInItsRoom();
    void theHitAmongItsLinesReadsWellInADarkPalette();
    void linesAroundAHitLookOnlyAPieceIntoADamagedLine();
    void aTabWhoseHistoryIsInAnotherFolderDoesNotShowAHit();
    void aHitIsShownInItsTabOnlyAsFoundAndReadInABoundedPiece();
    void filesLeftOutAreNamedWithWhyAndTheirRoomsNotOffered();
    void keepsTheNewestRowsWhateverOrderTheyComeIn();
    void aLargeFilesRowsAndProgressComeWhileItIsRead();
};

void TestLogSearch::searchesEveryLogNewestFirstAndShowsAHitInItsRoom()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(f.Handshake());
    const QString logs = QString::fromStdString(w->LogFolder);
    const QString here = logs + QStringLiteral("/127.0.0.1_%1").arg(f.Server.Port());
    const QString there = logs + QStringLiteral("/other.example_9010");
    // Lobby: November with 60 lines around a hit, December with two hits; a
    // room on another server; a room whose lines never match.
    QByteArray november;
    for (int i = 0; i < 60; ++i)
        november += QStringLiteral("2026-11-20 10:%1:00 filler %2\n").arg(i, 2, 10, QLatin1Char('0')).arg(i).toUtf8();
    november.insert(november.indexOf("filler 30\n"), QStringLiteral("ｺﾞｰﾙ決めた ").toUtf8());
    WriteLog(here, QStringLiteral("Lobby_2026-11.log"), november);
    QByteArray december;   // more than a tab restores, so November is history there
    for (int i = 0; i < 250; ++i)
        december += "2026-12-01 08:00:00 later " + QByteArray::number(i) + "\n";
    december += QStringLiteral("2026-12-01 09:00:00 bob> ゴール!\n2026-12-03 21:00:00 アリス> GOAL と ゴール\n").toUtf8();
    WriteLog(here, QStringLiteral("Lobby_2026-12.log"), december);
    WriteLog(here, QStringLiteral("Team_2026-12.log"), QStringLiteral("2026-12-02 12:00:00 x> ごーる\n").toUtf8());
    WriteLog(there, QStringLiteral("Lobby_2026-12.log"), QStringLiteral("2026-12-05 08:00:00 far> ゴール\n").toUtf8());

    // The room is open: its tab restores the newest lines, the older ones are history.
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);

    QVERIFY(w->MenuLogSearch->text().startsWith(QStringLiteral("ログ全体の検索(&G)")));
    QCOMPARE(w->MenuLogSearch->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+F")));
    w->MenuLogSearch->trigger();
    TFormLogSearch* form = w->FormLogSearch;
    QVERIFY(form && form->isVisible());
    QVERIFY(form->RadioThisServer->isChecked());
    // How much of a line is searched is said where the query is typed.
    QCOMPARE(form->EditSearch->placeholderText(), QStringLiteral("各行の表示される部分（先頭から 1,024 バイトまで）を検索します"));
    LogSearchResults* results = form->Results();
    // A room's month file as logged so far (the writer flushes on its own time).
    const auto monthLog = [&](const std::string& stem, std::int64_t time) {
        const chatlog::LocalStamp stamp = chatlog::StampOf(time);
        QFile month(f.LogFilePath(stem, stamp.Year, stamp.Month));
        return month.open(QIODevice::ReadOnly) ? month.readAll() : QByteArray();
    };
    const auto searchFor = [&](const QString& text) {
        form->EditSearch->setText(text);
        form->StartSearch();
        return waitFor([&] { return !form->Searching(); });
    };

    // Enter searches this server's logs; hits come newest first, the stamp apart.
    form->EditSearch->setText(QStringLiteral("ゴール"));
    QTest::keyClick(form->EditSearch, Qt::Key_Return);
    QVERIFY(waitFor([&] { return !form->Searching(); }));
    QCOMPARE(Column(results, LogSearchResults::ColumnTime),
             (QStringList{"2026-12-03 21:00:00", "2026-12-01 09:00:00", "2026-11-20 10:30:00"}));
    QCOMPARE(Column(results, LogSearchResults::ColumnRoom), (QStringList{"Lobby", "Lobby", "Lobby"}));
    QCOMPARE(Column(results, LogSearchResults::ColumnLine)[0], QStringLiteral("アリス> GOAL と ゴール"));
    QVERIFY(form->ListResults->isColumnHidden(LogSearchResults::ColumnServer));
    const QVariantList spans = results->data(results->index(0, LogSearchResults::ColumnLine),
                                             LogSearchResults::SpansRole).toList();
    QCOMPARE(spans.size(), 1);
    QCOMPARE(spans[0].toPoint(), QPoint(12, 3));   // "ゴール" after "アリス> GOAL と "
    QCOMPARE(form->LabelStatus->text(), QStringLiteral("3 件見つかりました"));

    // Down goes into the results; the lines around the hit come from its file.
    QTest::keyClick(form->EditSearch, Qt::Key_Down);
    QCOMPARE(form->ListResults->currentIndex().row(), 0);
    form->ListResults->setCurrentIndex(results->index(2, 0));
    const QStringList around = form->TextAround->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(around.size(), 41);
    QCOMPARE(around[20], QStringLiteral("2026-11-20 10:30:00 ｺﾞｰﾙ決めた filler 30"));
    QCOMPARE(around[0], QStringLiteral("2026-11-20 10:10:00 filler 10"));
    QCOMPARE(around[40], QStringLiteral("2026-11-20 10:50:00 filler 50"));

    // Ctrl+A, Ctrl+C: one line per hit.
    QTest::keyClick(form->ListResults, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(form->ListResults, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("2026-12-03 21:00:00 Lobby アリス> GOAL と ゴール\n"
                            "2026-12-01 09:00:00 Lobby bob> ゴール!\n"
                            "2026-11-20 10:30:00 Lobby ｺﾞｰﾙ決めた filler 30\n"));

    // The November hit is older than the tab's lines: its tab loads it as history and selects it.
    form->ListResults->setCurrentIndex(results->index(2, 0));
    QVERIFY(form->ButtonOpenRoom->isEnabled());
    // Another tab chosen before its page arrives: the window says the line was not
    // shown, and a page the user reads later is not taken for it.
    TChatSheet* teamSheet = f.OpenRoom(4, "Team");
    QVERIFY(teamSheet);
    const QString notShown = QStringLiteral("この行は部屋のタブに表示できませんでした（ログが変わったか、読み込み中です）");
    form->ButtonOpenRoom->click();
    w->PageControl1->setCurrentWidget(teamSheet);
    QVERIFY(waitFor([&] { return !sheet->ChatLog->HistoryReading(); }));
    QCOMPARE(form->LabelStatus->text(), QStringLiteral("3 件見つかりました　") + notShown);
    w->PageControl1->setCurrentWidget(sheet);
    QTest::keyClick(sheet->ChatLog, Qt::Key_Home, Qt::ControlModifier);
    QVERIFY(waitFor([&] { return sheet->ChatLog->HistoryLines() > 0 && !sheet->ChatLog->HistoryLoading(); }));
    QVERIFY(!sheet->ChatLog->textCursor().hasSelection());
    // So does Ctrl+End pressed in the tab before the page arrives, which goes to the newest line.
    QTest::keyClick(sheet->ChatLog, Qt::Key_End, Qt::ControlModifier);
    QScrollBar* bar = sheet->ChatLog->verticalScrollBar();
    QVERIFY(waitFor([&] { return sheet->ChatLog->HistoryLines() == 0; }));
    bar->setValue(bar->maximum() - 2);
    form->ButtonOpenRoom->click();
    QCOMPARE(form->LabelStatus->text(), QStringLiteral("3 件見つかりました"));
    // The page may already be read and waiting in the event queue: the key, pressed first, still wins.
    QVERIFY(waitWithoutEvents([&] { return sheet->ChatLog->HistoryPageWaiting(); }));
    QTest::keyClick(sheet->ChatLog, Qt::Key_End, Qt::ControlModifier);
    QVERIFY(waitFor([&] { return !sheet->ChatLog->HistoryReading() && !sheet->ChatLog->HistoryLoading(); }));
    QCOMPARE(form->LabelStatus->text(), QStringLiteral("3 件見つかりました　") + notShown);
    QCOMPARE(sheet->ChatLog->HistoryLines(), 0);
    QCOMPARE(bar->value(), bar->maximum());
    // Chosen at the newest line, with a live line arriving while the page is on
    // its way, and the main window minimized: it comes back to show the line.
    w->showMinimized();
    form->ButtonOpenRoom->click();
    sheet->AddLine("carol> 今来た", 0);
    QCOMPARE(w->PageControl1->currentWidget(), sheet);
    QVERIFY(w->isVisible() && !w->isMinimized());
    QVERIFY(waitFor([&] { return sheet->ChatLog->HistoryLines() > 0 && !sheet->ChatLog->HistoryLoading(); }));
    QCOMPARE(sheet->ChatLog->textCursor().selectedText(), QStringLiteral("2026-11-20 10:30:00 ｺﾞｰﾙ決めた filler 30"));
    QCOMPARE(form->LabelStatus->text(), QStringLiteral("3 件見つかりました"));

    // A hit in another tab chosen while an older one's page is on its way: that tab
    // shows its line, and the window does not say otherwise.
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    teamSheet->AddLine("x> filler elsewhere", 0, 0, now);
    QVERIFY(waitFor([&] { return monthLog("Team", now).contains("filler elsewhere"); }));
    QVERIFY(searchFor(QStringLiteral("filler")));
    QCOMPARE(results->rowCount(), 61);
    form->ListResults->setCurrentIndex(results->index(60, 0));
    form->ButtonOpenRoom->click();
    form->ListResults->setCurrentIndex(results->index(0, 0));
    form->ButtonOpenRoom->click();
    QVERIFY(waitFor([&] { return !sheet->ChatLog->HistoryReading(); }));
    QCOMPARE(w->PageControl1->currentWidget(), teamSheet);
    QCOMPARE(teamSheet->ChatLog->textCursor().selectedText(), QStringLiteral("x> filler elsewhere"));
    QCOMPARE(form->LabelStatus->text(), QStringLiteral("61 件見つかりました"));
    form->EditSearch->setText(QStringLiteral("ゴール"));

    // All logs: the other server's hit first, with the server shown.
    form->RadioAllLogs->setChecked(true);
    form->StartSearch();
    QVERIFY(waitFor([&] { return !form->Searching(); }));
    QCOMPARE(results->rowCount(), 4);
    QVERIFY(!form->ListResults->isColumnHidden(LogSearchResults::ColumnServer));
    QCOMPARE(results->data(results->index(0, LogSearchResults::ColumnServer), Qt::DisplayRole).toString(),
             QStringLiteral("other.example_9010"));
    QVERIFY(!form->ButtonOpenRoom->isEnabled() || form->ListResults->currentIndex().row() != 0);

    // A room and days; a new query replaces the one that runs.
    const int team = form->ComboRoom->findText(QStringLiteral("Team"));
    QVERIFY(team > 0);
    form->ComboRoom->setCurrentIndex(team);
    form->EditSearch->setText(QStringLiteral("ゴール"));
    form->StartSearch();
    QVERIFY(searchFor(QStringLiteral("ごーる")));
    QCOMPARE(Column(results, LogSearchResults::ColumnTime), QStringList{"2026-12-02 12:00:00"});
    form->ComboRoom->setCurrentIndex(0);
    form->EditSearch->setText(QStringLiteral("ゴール"));
    form->CheckDates->setChecked(true);
    form->DateFrom->setDate(QDate(2026, 12, 1));
    form->DateTo->setDate(QDate(2026, 12, 2));
    form->StartSearch();
    QVERIFY(waitFor([&] { return !form->Searching(); }));
    QCOMPARE(Column(results, LogSearchResults::ColumnTime), QStringList{"2026-12-01 09:00:00"});
    // The same words said again since: the tab selects the logged line, not the later one.
    sheet->AddLine("bob> ゴール!", 0);
    form->ListResults->setCurrentIndex(results->index(0, 0));
    form->ButtonOpenRoom->click();
    QCOMPARE(sheet->ChatLog->textCursor().selectedText(), QStringLiteral("2026-12-01 09:00:00 bob> ゴール!"));
    // Lines said since the tab opened are past the history it reads back, among its own
    // lines: of two with the same words, the one logged at the hit's time is chosen.
    const std::int64_t said = QDateTime::currentSecsSinceEpoch();
    sheet->AddLine("dan> 同じ言葉", 0, 0, said - 1);
    sheet->AddLine("dan> 同じ言葉", 0, 0, said);
    const chatlog::LocalStamp saidStamp = chatlog::StampOf(said);
    QVERIFY(waitFor([&] { return monthLog("Lobby", said).contains(QByteArray::fromStdString(saidStamp.Text) + "dan>"); }));
    form->CheckDates->setChecked(false);
    QVERIFY(searchFor(QStringLiteral("同じ言葉")));
    QCOMPARE(results->rowCount(), 2);
    const auto blockOf = [&](const char* text, std::int64_t time) {   // the newest such line
        for (std::size_t i = sheet->Lines.Size(); i-- > 0;) {
            if (sheet->Lines.At(i).text == text && sheet->Lines.At(i).time == time)
                return sheet->ChatLog->HistoryLines() + static_cast<int>(i);
        }
        return -1;
    };
    form->ListResults->setCurrentIndex(results->index(1, 0));
    form->ButtonOpenRoom->click();
    QCOMPARE(sheet->ChatLog->textCursor().selectedText(), QStringLiteral("dan> 同じ言葉"));
    QCOMPARE(sheet->ChatLog->textCursor().blockNumber(), blockOf("dan> 同じ言葉", said - 1));
    // The same words twice in one second: each hit shows its own line.
    sheet->AddLine("eve> 二度言った", 0, 0, said);
    sheet->AddLine("eve> 二度言った", 0, 0, said);
    QVERIFY(waitFor([&] { return monthLog("Lobby", said).count("eve>") == 2; }));
    QVERIFY(searchFor(QStringLiteral("二度言った")));
    QCOMPARE(results->rowCount(), 2);
    for (int row : {1, 0}) {
        form->ListResults->setCurrentIndex(results->index(row, 0));
        form->ButtonOpenRoom->click();
        QCOMPARE(sheet->ChatLog->textCursor().blockNumber(), blockOf("eve> 二度言った", said) - row);
    }
    // A flood has taken the restored line out of the tab since: it is read back as history,
    // not confused with the later line of the same words.
    for (int i = 0; i < ChatLogView::MaxLines; ++i)
        sheet->AddLine("flood " + std::to_string(i), 0, 0, said);
    sheet->AddLine("bob> ゴール!", 0, 0, said);
    form->EditSearch->setText(QStringLiteral("ゴール"));
    form->CheckDates->setChecked(true);
    form->StartSearch();
    QVERIFY(waitFor([&] { return !form->Searching(); }));
    QCOMPARE(Column(results, LogSearchResults::ColumnTime), QStringList{"2026-12-01 09:00:00"});
    form->ListResults->setCurrentIndex(results->index(0, 0));
    form->ButtonOpenRoom->click();
    QVERIFY(waitFor([&] { return sheet->ChatLog->HistoryLines() > 0 && !sheet->ChatLog->HistoryLoading(); }));
    QCOMPARE(sheet->ChatLog->textCursor().selectedText(), QStringLiteral("2026-12-01 09:00:00 bob> ゴール!"));
    QVERIFY(sheet->ChatLog->textCursor().blockNumber() < sheet->ChatLog->HistoryLines());

    // A word on more lines than are listed: all are counted, the newest listed, and the window says so.
    QByteArray many;
    for (int i = 0; i < 5010; ++i)
        many += QStringLiteral("2026-10-01 %1:%2:%3 y> many %4\n")
                    .arg(i / 3600, 2, 10, QLatin1Char('0'))
                    .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                    .arg(i % 60, 2, 10, QLatin1Char('0'))
                    .arg(i)
                    .toUtf8();
    WriteLog(here, QStringLiteral("Big_2026-10.log"), many);
    form->CheckDates->setChecked(false);
    QVERIFY(searchFor(QStringLiteral("ＭＡＮＹ")));
    QCOMPARE(results->rowCount(), 5000);
    QCOMPARE(results->data(results->index(0, LogSearchResults::ColumnLine), Qt::DisplayRole).toString(),
             QStringLiteral("y> many 5009"));
    QCOMPARE(results->data(results->index(4999, LogSearchResults::ColumnLine), Qt::DisplayRole).toString(),
             QStringLiteral("y> many 10"));
    QCOMPARE(form->LabelStatus->text(), QStringLiteral("5,010 件見つかりました（新しい 5,000 件を表示）"));

    // A hit in a month file put there after the tab opened: the tab's history does not
    // reach it, and the window says so and stays.
    WriteLog(here, QStringLiteral("Lobby_2026-09.log"), QStringLiteral("2026-09-05 10:00:00 z> 後から置いた\n").toUtf8());
    WriteLog(here, QStringLiteral("Big_2026-09.log"), QStringLiteral("2026-09-04 10:00:00 z> 後から置いた\n").toUtf8());
    QVERIFY(searchFor(QStringLiteral("後から置いた")));
    QCOMPARE(results->rowCount(), 2);
    form->ListResults->setCurrentIndex(results->index(0, 0));
    form->ButtonOpenRoom->click();
    QCOMPARE(form->LabelStatus->text(), QStringLiteral("2 件見つかりました　") + notShown);
    QVERIFY(form->isVisible());
    // It stands beside the count (which the search's batches rewrite), and goes once another hit is chosen.
    form->ListResults->setCurrentIndex(results->index(1, 0));
    QCOMPARE(form->LabelStatus->text(), QStringLiteral("2 件見つかりました"));
    QVERIFY(f.Boxes.isEmpty());
}

void TestLogSearch::theHitAmongItsLinesReadsWellInADarkPalette()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(f.Handshake());
    const QString here = QString::fromStdString(w->LogFolder) + QStringLiteral("/127.0.0.1_%1").arg(f.Server.Port());
    WriteLog(here, QStringLiteral("Lobby_2026-12.log"),
             "2026-12-01 08:00:00 before\n2026-12-01 09:00:00 the goal\n2026-12-01 10:00:00 after\n");
    w->MenuLogSearch->trigger();
    TFormLogSearch* form = w->FormLogSearch;
    QPalette dark;
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Window, QColor(45, 45, 45));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    form->setPalette(dark);
    form->EditSearch->setText(QStringLiteral("goal"));
    form->StartSearch();
    QVERIFY(waitFor([&] { return !form->Searching(); }));
    QCOMPARE(form->Results()->rowCount(), 1);
    form->ListResults->setCurrentIndex(form->Results()->index(0, 0));
    const QList<QTextEdit::ExtraSelection> marks = form->TextAround->extraSelections();
    QCOMPARE(marks.size(), 1);
    QCOMPARE(marks[0].cursor.block().text(), QStringLiteral("2026-12-01 09:00:00 the goal"));
    // Unset, the marked line keeps the palette's text colour.
    const QBrush own = marks[0].format.foreground();
    const QColor text = own.style() != Qt::NoBrush ? own.color() : form->TextAround->palette().color(QPalette::Text);
    QVERIFY(ContrastRatio(text, marks[0].format.background().color()) >= ReadableContrast);
}

void TestLogSearch::linesAroundAHitLookOnlyAPieceIntoADamagedLine()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(f.Handshake());
    const QString here = QString::fromStdString(w->LogFolder) + QStringLiteral("/127.0.0.1_%1").arg(f.Server.Port());
    // Megabytes without a line end on both sides of the hit: the window reads them
    // a bounded piece at a time, so it never reaches the lines beyond them.
    const QByteArray damage(8 * 1024 * 1024, 'h');
    WriteLog(here, QStringLiteral("Lobby_2026-12.log"),
             "2026-12-01 08:00:00 before\n" + damage + "\n2026-12-01 09:00:00 the goal\n" + damage +
                 "\n2026-12-01 10:00:00 after\n");
    w->MenuLogSearch->trigger();
    TFormLogSearch* form = w->FormLogSearch;
    form->EditSearch->setText(QStringLiteral("goal"));
    form->StartSearch();
    QVERIFY(waitFor([&] { return !form->Searching(); }));
    QCOMPARE(form->Results()->rowCount(), 1);
    form->ListResults->setCurrentIndex(form->Results()->index(0, 0));
    const QStringList around = form->TextAround->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(around.size(), 41);
    QCOMPARE(around[20], QStringLiteral("2026-12-01 09:00:00 the goal"));
    const QString piece = QString(1024, u'h') + u'…';
    QCOMPARE(around[0], piece);
    QCOMPARE(around[40], piece);
    QCOMPARE(form->TextAround->extraSelections().size(), 1);
}

void TestLogSearch::aTabWhoseHistoryIsInAnotherFolderDoesNotShowAHit()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(f.Handshake());
    const QString server = QStringLiteral("/127.0.0.1_%1").arg(f.Server.Port());
    const QString before = QString::fromStdString(w->LogFolder);
    const QString moved = QFileInfo(before).dir().filePath(QStringLiteral("moved"));
    // The same month file in both folders, with other lines at the hit's offset.
    QByteArray old, other;
    for (int i = 0; i < 300; ++i) {
        old += "2026-11-20 10:00:00 old " + QByteArray::number(i) + "\n";
        other += (i == 100 ? QByteArray("2026-11-20 10:00:00 the goal ") : QByteArray("2026-11-20 10:00:00 new ")) +
                 QByteArray::number(i) + "\n";
    }
    WriteLog(before + server, QStringLiteral("Lobby_2026-11.log"), old);
    WriteLog(moved + server, QStringLiteral("Lobby_2026-11.log"), other);
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet && sheet->ChatLog->History());
    // The log folder changes while the tab is open: its history still comes from the first one.
    w->Options.LogFolder = moved.toStdString();
    w->ApplyOptions();
    QCOMPARE(QString::fromStdString(w->LogFolder), moved);
    w->MenuLogSearch->trigger();
    TFormLogSearch* form = w->FormLogSearch;
    form->EditSearch->setText(QStringLiteral("goal"));
    form->StartSearch();
    QVERIFY(waitFor([&] { return !form->Searching(); }));
    QCOMPARE(form->Results()->rowCount(), 1);
    form->ListResults->setCurrentIndex(form->Results()->index(0, 0));
    QVERIFY(form->TextAround->toPlainText().contains(QStringLiteral("the goal 100")));
    // Its file is not the one the tab reads back: the tab is not offered for it.
    QVERIFY(!form->ButtonOpenRoom->isEnabled());
    QVERIFY(!w->ShowRoomLogLine(("127.0.0.1_" + std::to_string(f.Server.Port())), "Lobby", "Lobby_2026-11.log",
                                form->Results()->Hit(0).Offset, QString(), QStringLiteral("the goal 100"), 0));
    QCOMPARE(sheet->ChatLog->HistoryLines(), 0);
}

void TestLogSearch::aHitIsShownInItsTabOnlyAsFoundAndReadInABoundedPiece()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(f.Handshake());
    const QString here = QString::fromStdString(w->LogFolder) + QStringLiteral("/127.0.0.1_%1").arg(f.Server.Port());
    // October: a hit that starts a run of 64 MB without a line end (a crash, another program);
    // November: numbered lines; December: more than the tab restores.
    const QByteArray start = "2026-10-20 10:00:00 the goal ";
    WriteLog(here, QStringLiteral("Lobby_2026-10.log"), start);
    QVERIFY(QFile::resize(here + QStringLiteral("/Lobby_2026-10.log"), 64 * 1024 * 1024));
    QByteArray november;
    for (int i = 0; i < 40; ++i)
        november += QStringLiteral("2026-11-20 10:%1:00 seq=%2\n").arg(i, 2, 10, QLatin1Char('0')).arg(i, 6, 10, QLatin1Char('0')).toUtf8();
    WriteLog(here, QStringLiteral("Lobby_2026-11.log"), november);
    QByteArray december;
    for (int i = 0; i < 250; ++i)
        december += "2026-12-01 08:00:00 later " + QByteArray::number(i) + "\n";
    WriteLog(here, QStringLiteral("Lobby_2026-12.log"), december);
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    w->MenuLogSearch->trigger();
    TFormLogSearch* form = w->FormLogSearch;
    const QString notShown = QStringLiteral("この行は部屋のタブに表示できませんでした（ログが変わったか、読み込み中です）");

    // Choosing the hit reads a bounded piece of its line on the GUI thread, not the run's rest.
    form->EditSearch->setText(QStringLiteral("the goal"));
    form->StartSearch();
    QVERIFY(waitFor([&] { return !form->Searching(); }));
    QCOMPARE(form->Results()->rowCount(), 1);
    form->ListResults->setCurrentIndex(form->Results()->index(0, 0));
    QCOMPARE(form->TextAround->extraSelections().size(), 1);   // a hit starting a damaged run is still the hit
    const qint64 before = BytesReadByProcess();
    QVERIFY(before >= 0);
    form->ButtonOpenRoom->click();
    QVERIFY(BytesReadByProcess() - before < 4 * 1024 * 1024);
    QVERIFY(waitFor([&] { return sheet->ChatLog->HistoryLines() > 0 && !sheet->ChatLog->HistoryLoading(); }));
    QVERIFY(sheet->ChatLog->textCursor().selectedText().startsWith(QString::fromUtf8(start)));
    QCOMPARE(form->LabelStatus->text(), QStringLiteral("1 件見つかりました"));

    // The month file loses its first three lines after the search: the line now at the
    // hit's place is another one, and the window says the hit was not shown.
    form->EditSearch->setText(QStringLiteral("seq=000012"));
    form->StartSearch();
    QVERIFY(waitFor([&] { return !form->Searching(); }));
    QCOMPARE(form->Results()->rowCount(), 1);
    form->ListResults->setCurrentIndex(form->Results()->index(0, 0));
    WriteLog(here, QStringLiteral("Lobby_2026-11.log"), november.mid(november.indexOf("2026-11-20 10:03:00")));
    QTest::keyClick(sheet->ChatLog, Qt::Key_End, Qt::ControlModifier);
    QVERIFY(waitFor([&] { return sheet->ChatLog->HistoryLines() == 0 && !sheet->ChatLog->HistoryReading(); }));
    form->ButtonOpenRoom->click();
    QVERIFY(waitFor([&] { return !sheet->ChatLog->HistoryReading() && !sheet->ChatLog->HistoryLoading(); }));
    QVERIFY(!sheet->ChatLog->textCursor().selectedText().contains(QStringLiteral("seq=")));
    QCOMPARE(form->LabelStatus->text(), QStringLiteral("1 件見つかりました　") + notShown);

    // Chosen again, the lines around it mark no other line as the hit, and the window says why.
    form->ListResults->setCurrentIndex(QModelIndex());
    form->ListResults->setCurrentIndex(form->Results()->index(0, 0));
    QVERIFY(form->TextAround->toPlainText().contains(QStringLiteral("seq=000015")));
    QVERIFY(form->TextAround->extraSelections().isEmpty());
    QVERIFY(!form->ButtonOpenRoom->isEnabled());
    QCOMPARE(form->LabelStatus->text(),
             QStringLiteral("1 件見つかりました　この行はログが検索の後に変わったため見つかりませんでした"));
}

void TestLogSearch::filesLeftOutAreNamedWithWhyAndTheirRoomsNotOffered()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(f.Handshake());
    const QString here = QString::fromStdString(w->LogFolder) + QStringLiteral("/127.0.0.1_%1").arg(f.Server.Port());
    // A month file others may write, and a link: neither is read, and the window says which and why.
    WriteLog(here, QStringLiteral("Lobby_2026-12.log"), "2026-12-01 09:00:00 a goal\n");
    WriteLog(here, QStringLiteral("Team_2026-12.log"), "2026-12-01 10:00:00 b goal\n");
    QVERIFY(QFile::setPermissions(here + QStringLiteral("/Team_2026-12.log"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup));
    QVERIFY(QFile::link(here + QStringLiteral("/Lobby_2026-12.log"), here + QStringLiteral("/Link_2026-12.log")));
    w->MenuLogSearch->trigger();
    TFormLogSearch* form = w->FormLogSearch;
    QCOMPARE(form->ComboRoom->findText(QStringLiteral("Team")), -1);
    QCOMPARE(form->ComboRoom->findText(QStringLiteral("Link")), -1);
    QVERIFY(form->ComboRoom->findText(QStringLiteral("Lobby")) > 0);
    form->EditSearch->setText(QStringLiteral("goal"));
    form->StartSearch();
    QVERIFY(waitFor([&] { return !form->Searching(); }));
    QCOMPARE(form->LabelStatus->text(), QStringLiteral("1 件見つかりました"));
    QVERIFY(form->LabelRefused->isVisible());
    QCOMPARE(form->LabelRefused->text(),
             QStringLiteral("検索しなかったファイル・フォルダが 2 個あります:\n"
                            "チャットログ %1/Link_2026-12.log はシンボリックリンクのため検索しませんでした\n"
                            "チャットログ %1/Team_2026-12.log はほかのユーザーも書き込めるため検索しませんでした")
                 .arg(here));
    // A search with nothing left out says nothing of it.
    QVERIFY(QFile::remove(here + QStringLiteral("/Link_2026-12.log")));
    QVERIFY(QFile::remove(here + QStringLiteral("/Team_2026-12.log")));
    form->StartSearch();
    QVERIFY(waitFor([&] { return !form->Searching(); }));
    QVERIFY(!form->LabelRefused->isVisible());
}

void TestLogSearch::keepsTheNewestRowsWhateverOrderTheyComeIn()
{
    // Batches as a search hands them over: rooms of one month one after another,
    // a room's hits newest first; hits of the same second keep the order they came in.
    const auto hit = [](std::size_t file, const char* stamp, const char* text) {
        chatlog::LogHit h;
        h.File = file;
        h.Stamp = stamp;
        std::copy_n(stamp, h.Key.size(), h.Key.begin());
        h.Text = text;
        return h;
    };
    const struct {
        std::size_t limit;
        std::vector<std::vector<chatlog::LogHit>> batches;
        QStringList lines;   // newest first
    } cases[] = {
        {3,
         {{hit(0, "2026-12-01 10:05:00", "a5"), hit(0, "2026-12-01 10:03:00", "a3"), hit(0, "2026-12-01 10:01:00", "a1")},
          {hit(1, "2026-12-01 10:06:00", "b6"), hit(1, "2026-12-01 10:04:00", "b4"), hit(1, "2026-12-01 10:02:00", "b2")},
          {hit(2, "2026-11-30 23:59:59", "old")}},
         {"b6", "a5", "b4"}},
        {5,
         {{hit(0, "2026-12-01 10:05:00", "a5")},
          {hit(1, "2026-12-01 10:05:00", "b5"), hit(1, "2026-12-01 10:07:00", "b7")},
          {hit(2, "2026-12-01 10:05:00", "c5"), hit(2, "2026-11-01 00:00:00", "c0")}},
         {"b7", "a5", "b5", "c5", "c0"}},
        {2, {{hit(0, "2026-12-01 10:01:00", "a1"), hit(0, "2026-12-01 10:09:00", "a9"), hit(0, "2026-12-01 10:05:00", "a5")}},
         {"a9", "a5"}},
        {3, {{hit(0, "2026-12-01 10:01:00", "a1")}, {hit(7, "2026-12-01 10:09:00", "no such file")}}, {"a1"}},
    };
    for (const auto& c : cases) {
        LogSearchResults results;
        results.Reset({{"/l/s/a_2026-12.log", "s", "a", 2026, 12},
                       {"/l/s/b_2026-12.log", "s", "b", 2026, 12},
                       {"/l/s/c_2026-11.log", "s", "c", 2026, 11}},
                      c.limit);
        int most = 0;
        connect(&results, &QAbstractItemModel::rowsInserted, &results, [&] { most = std::max(most, results.rowCount()); });
        for (std::vector<chatlog::LogHit> batch : c.batches)
            results.Add(batch);
        QCOMPARE(Column(&results, LogSearchResults::ColumnLine), c.lines);
        QVERIFY(most <= static_cast<int>(c.limit));   // never more rows than the limit, not even for a moment
    }

    // The current row and the selection stay on their hits as rows move; a hit that gives way takes its index along.
    LogSearchResults results;
    results.Reset({{"/l/s/a_2026-12.log", "s", "a", 2026, 12}, {"/l/s/b_2026-12.log", "s", "b", 2026, 12}}, 3);
    std::vector<chatlog::LogHit> first{hit(0, "2026-12-01 10:05:00", "a5"), hit(0, "2026-12-01 10:03:00", "a3"),
                                       hit(0, "2026-12-01 10:01:00", "a1")};
    results.Add(first);
    const QPersistentModelIndex a5(results.index(0, LogSearchResults::ColumnLine));
    const QPersistentModelIndex a1(results.index(2, LogSearchResults::ColumnLine));
    std::vector<chatlog::LogHit> second{hit(1, "2026-12-01 10:06:00", "b6"), hit(1, "2026-12-01 10:04:00", "b4")};
    results.Add(second);
    QCOMPARE(Column(&results, LogSearchResults::ColumnLine), (QStringList{"b6", "a5", "b4"}));
    QCOMPARE(a5.row(), 1);
    QCOMPARE(a5.data().toString(), QStringLiteral("a5"));
    QVERIFY(!a1.isValid());
}

void TestLogSearch::aLargeFilesRowsAndProgressComeWhileItIsRead()
{
    // One month of some 20 MB with a hit near its start: the row and the progress come
    // while the rest is read, not when the file is done.
    const QString logs = QDir::tempPath() + QStringLiteral("/kv-logsearch-large-%1").arg(QCoreApplication::applicationPid());
    QDir(logs).removeRecursively();
    QVERIFY(QDir().mkpath(logs + QStringLiteral("/srv_1")));
    QVERIFY(QFile::setPermissions(logs, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QByteArray month;
    for (int i = 0; i < 400000; ++i)
        month += "2026-12-01 10:00:00 line " + QByteArray::number(i) + (i == 10 ? " needle" : "") + "\n";
    WriteLog(logs + QStringLiteral("/srv_1"), QStringLiteral("room_2026-12.log"), month);
    qint64 total = -1, progress = 0, progressAtFirstRow = -1;
    bool rowSeen = false, finished = false;
    {
        LogSearchRun run(logs.toStdString(), {"needle", {}, {}, {}, {}}, 10);
        connect(&run, &LogSearchRun::Started, &run, [&](qint64 bytes) { total = bytes; });
        connect(&run, &LogSearchRun::Found, &run, [&](const std::shared_ptr<std::vector<chatlog::LogHit>>& hits, qint64) {
            rowSeen = rowSeen || !hits->empty();
        });
        connect(&run, &LogSearchRun::Progress, &run, [&](qint64 done) {
            progress = done;
            if (rowSeen && progressAtFirstRow < 0)
                progressAtFirstRow = done;   // given with the first row
        });
        connect(&run, &LogSearchRun::Finished, &run, [&] { finished = true; });
        QVERIFY(waitFor([&] { return finished; }));
    }
    QDir(logs).removeRecursively();
    QCOMPARE(total, qint64(month.size()));
    QCOMPARE(progress, total);
    QVERIFY(progressAtFirstRow > 0);
    QVERIFY(progressAtFirstRow < total);
}

QTEST_MAIN(TestLogSearch)
#include "tst_logsearch.moc"
