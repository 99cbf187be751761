// Finding and noticing: the log search bar, the input history, links,
// mentions with their notices, and the options dialog, on the real window.
#include "ChatLineText.h"
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "DesktopNotice.h"
#include "DialogDriver.h"
#include "FindBar.h"
#include "MainWindowFixture.h"
#include "ThemeSchemes.h"
#include "Unitmain.h"
#include "LinkOpener.h"
#include "LogColours.h"
#include "LogFind.h"
#include "ClockText.h"
#include "Unitoption.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextBlock>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <string>

class TestFindNotice : public QObject {
    Q_OBJECT
private slots:
    void optionsRoundTripThroughTheSettingsFile();
    void historyRecallsSentLinesNewestFirstAndTheDraft();
    void findBarOpensOnCtrlFAndEscReturnsToTheInput();
    void findBarCountsHighlightsAndWalksTheMatchesWithTimesOn();
    void findStepsOnlyOntoLinesTheLogStillHolds();
    void findKeepsItsMatchesWhenTheUnreadLineMoves();
    void findHighlightsReadWellInEveryScheme();
    void findKeepsNoDecodedLinesAcrossKeystrokesAndScrolling();
    void findHighlightsOnlyTheLinesOnScreen();
    void findAddsNoTimerWhileNothingArrives();
    void findForgetsTheMatchesOfRoomsThatAreGone();
    void mentionFromOthersNotifiesOncePerRoomPerTenSeconds();
    void onlyWebAddressesBecomeLinksAndAClickOpensExactlyThem();
};

namespace {
// One wheel notch over the log (up for direction 1), as a user scrolls.
void Wheel(ChatLogView* log, int direction)
{
    const QPointF at(log->viewport()->width() / 2.0, log->viewport()->height() / 2.0);
    QWheelEvent wheel(at, log->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * direction), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(log->viewport(), &wheel);
}

// The numbers of the first and last blocks the log shows.
std::pair<int, int> BlocksOnScreen(ChatLogView* log)
{
    const QRect area = log->viewport()->rect();
    return {log->cursorForPosition(area.topLeft()).blockNumber(),
            log->cursorForPosition(area.bottomLeft()).blockNumber()};
}

// Counts the ticks of every QTimer in the program, and the timer events of one
// object (the text inputs' blinking caret is neither).
class TimerCounter : public QObject {
public:
    explicit TimerCounter(QObject* watched) : watched_(watched) { qApp->installEventFilter(this); }
    int Count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Timer && (watched == watched_ || watched->inherits("QTimer")))
            ++Count;
        return false;
    }

private:
    QObject* watched_;
};

// The centre of the character at position pos of the view's document.
QPoint PointAt(QPlainTextEdit& view, int pos)
{
    QTextCursor cursor(view.document());
    cursor.setPosition(pos);
    const QRect before = view.cursorRect(cursor);
    cursor.setPosition(pos + 1);
    return QPoint((before.left() + view.cursorRect(cursor).left()) / 2, before.center().y());
}
// The window shown and active, logged in as client 7, with the Lobby (room 3) open;
// null when any of it did not happen.
TChatSheet* OpenLobbyOnScreen(MainWindowFixture& f)
{
    f.Window()->show();
    if (!QTest::qWaitForWindowActive(f.Window()) || !f.Handshake(7))
        return nullptr;
    return f.OpenRoom(3, "Lobby");
}

}  // namespace

void TestFindNotice::optionsRoundTripThroughTheSettingsFile()
{
    const QByteArray file = "[Common]\r\nName=x\r\nIP=127.0.0.1\r\n[Option]\r\nTimestamps=1\r\n";
    MainWindowFixture f(file);
    TFormMain* w = f.Window();
    QVERIFY(w->Options.Timestamps);
    QVERIFY(w->Options.LogEnabled);

    OnNextModal([](QWidget*) { FormOption->ButtonCancel->click(); });
    w->OptionMenu->trigger();
    QCOMPARE(f.SettingsBytes(), file);

    OnNextModal([](QWidget*) {
        QVERIFY(FormOption->CheckTimestamps->isChecked());
        FormOption->CheckTimestamps->setChecked(false);
        FormOption->CheckAutoReconnect->setChecked(false);
        FormOption->CheckLogEnabled->setChecked(false);
        QVERIFY(!FormOption->EditLogFolder->isEnabled());
        FormOption->EditHighlightWords->setText(QStringLiteral("ゴール kv"));
        FormOption->ButtonOk->click();
    });
    w->OptionMenu->trigger();
    QVERIFY(!w->Options.Timestamps);
    QCOMPARE(f.SettingsBytes(), "[Common]\r\nName=x\r\nIP=127.0.0.1\r\n[Option]\r\nTimestamps=0\r\n"
                                "Notifications=1\r\nHighlightWords=" + Sjis("ゴール kv") + "\r\nAutoReconnect=0\r\n"
                                "[Log]\r\nEnabled=0\r\n");
}

void TestFindNotice::historyRecallsSentLinesNewestFirstAndTheDraft()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    QVERIFY(f.Handshake(7));
    QVERIFY(f.OpenRoom(3, "Lobby"));
    QLineEdit* input = w->EditInputChat;
    for (const char* line : {"first", "二番目"}) {
        input->setText(QString::fromUtf8(line));
        QTest::keyClick(input, Qt::Key_Return);
    }
    input->setText(QStringLiteral("typing"));
    QTest::keyClick(input, Qt::Key_Up);
    QCOMPARE(input->text(), QStringLiteral("二番目"));
    QTest::keyClick(input, Qt::Key_Up);
    QCOMPARE(input->text(), QStringLiteral("first"));
    QTest::keyClick(input, Qt::Key_Up);
    QCOMPARE(input->text(), QStringLiteral("first"));
    QTest::keyClick(input, Qt::Key_Down);
    QTest::keyClick(input, Qt::Key_Down);
    QCOMPARE(input->text(), QStringLiteral("typing"));
}

void TestFindNotice::findBarOpensOnCtrlFAndEscReturnsToTheInput()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    w->FindMenu->trigger();
    QVERIFY(w->FindBar1->isHidden());   // no room, nothing to search
    QVERIFY(f.Handshake(7));
    QVERIFY(f.OpenRoom(3, "Lobby"));
    QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+F")));
    QVERIFY(w->FindBar1->isVisible());
    QVERIFY(w->FindBar1->EditFind->hasFocus());
    QTest::keyClick(w->FindBar1->EditFind, Qt::Key_Escape);
    QVERIFY(w->FindBar1->isHidden());
    QVERIFY(w->EditInputChat->hasFocus());
}

void TestFindNotice::findBarCountsHighlightsAndWalksTheMatchesWithTimesOn()
{
    MainWindowFixture f("[Option]\r\nTimestamps=1\r\n");
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QVERIFY(f.Handshake(7));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    const std::int64_t earlier = 1700000000;
    sheet->AddLine("2023-11-14 22:13 ｺﾞｰﾙ from the log", 0, LineRestored, earlier);   // carries its own time
    sheet->AddLine("x ゴール! ご-る ゴール", 0, 0, earlier);
    sheet->AddLine("nothing", 0);
    QCOMPARE(sheet->ChatLog->LineText(0), QStringLiteral("2023-11-14 22:13 ｺﾞｰﾙ from the log"));
    QCOMPARE(sheet->ChatLog->LineText(1), QString::fromStdString(ClockText(earlier)) + " x ゴール! ご-る ゴール");

    QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+F")));
    FindBar* bar = w->FindBar1;
    DialogDriver::TypeText(bar->EditFind, QStringLiteral("ゴール"));
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("3 / 3 件"));
    QCOMPARE(sheet->ChatLog->extraSelections().size(), 3);
    QCOMPARE(sheet->ChatLog->textCursor().selectedText(), QStringLiteral("ゴール"));
    QTest::keyClick(bar->EditFind, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(bar->EditFind, Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("1 / 3 件"));
    QCOMPARE(sheet->ChatLog->textCursor().selectedText(), QStringLiteral("ｺﾞｰﾙ"));
    QTest::keyClick(bar->EditFind, Qt::Key_Return);
    QTest::keyClick(bar->EditFind, Qt::Key_Return);
    QTest::keyClick(bar->EditFind, Qt::Key_F3);
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("1 / 3 件"));   // round to the first again

    f.Server.SendTalk(3, 7, "", Sjis("ゴール again"));   // arriving while the bar is open
    QTRY_COMPARE(bar->LabelCount->text(), QStringLiteral("1 / 4 件"));
    DialogDriver::TypeText(bar->EditFind, QStringLiteral("x"));
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("0 / 0 件"));
    QCOMPARE(sheet->ChatLog->extraSelections().size(), 0);
}

void TestFindNotice::findStepsOnlyOntoLinesTheLogStillHolds()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    TChatSheet* sheet = OpenLobbyOnScreen(f);
    QVERIFY(sheet);
    // Lines are added straight into the room, with no event loop in between: a
    // flood drops lines between two keystrokes.
    const auto flood = [&](int from, int to, std::initializer_list<int> matching) {
        for (int n = from; n < to; ++n) {
            const bool match = std::find(matching.begin(), matching.end(), n) != matching.end();
            sheet->AddLine((match ? "needle " : "filler ") + std::to_string(n), 0);
        }
    };
    const auto selectedLine = [&] {
        const QTextCursor cursor = sheet->ChatLog->textCursor();
        return cursor.selectedText() == QStringLiteral("needle") ? cursor.block().text() : QString();
    };
    flood(0, 10000, {0, 1, 5000, 9999});
    QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+F")));
    FindBar* bar = w->FindBar1;
    DialogDriver::TypeText(bar->EditFind, QStringLiteral("needle"));
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("4 / 4 件"));
    QCOMPARE(selectedLine(), QStringLiteral("needle 9999"));

    flood(10000, 10100, {});   // lines 0 to 99 go
    QTest::keyClick(bar->EditFind, Qt::Key_Return);   // from the newest round to the oldest kept
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("1 / 2 件"));
    QCOMPARE(selectedLine(), QStringLiteral("needle 5000"));
    QTest::keyClick(bar->EditFind, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("2 / 2 件"));
    QCOMPARE(selectedLine(), QStringLiteral("needle 9999"));
    QTest::keyClick(bar->EditFind, Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(selectedLine(), QStringLiteral("needle 5000"));

    flood(10100, 15100, {15099});   // the current match's line goes too
    QTest::keyClick(bar->EditFind, Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("2 / 2 件"));
    QCOMPARE(selectedLine(), QStringLiteral("needle 15099"));
    flood(15100, 15101, {});
    QTest::keyClick(bar->EditFind, Qt::Key_F3);
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("1 / 2 件"));
    QCOMPARE(selectedLine(), QStringLiteral("needle 9999"));
    flood(15101, 25200, {});   // every match goes
    QTest::keyClick(bar->EditFind, Qt::Key_Return);
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("0 / 0 件"));
    QCOMPARE(sheet->ChatLog->textCursor().selectedText(), QString());
    QCOMPARE(sheet->ChatLog->extraSelections().size(), 0);
}

void TestFindNotice::findKeepsItsMatchesWhenTheUnreadLineMoves()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    TChatSheet* sheet = OpenLobbyOnScreen(f);
    QVERIFY(sheet);
    const auto selectedLine = [&] {
        const QTextCursor cursor = sheet->ChatLog->textCursor();
        return cursor.selectedText() == QStringLiteral("needle") ? cursor.block().text() : QString();
    };
    // Yesterday's line: a day line stands before today's; neither it nor the unread line is searched.
    sheet->AddLine("needle 0", 0, 0, QDateTime::currentSecsSinceEpoch() - 86400);
    sheet->AddLine("filler 1", 0);
    // Away and back: the unread line stands before "needle 2".
    sheet->SetAway(true);
    sheet->AddLine("needle 2", 0);
    sheet->SetAway(false);
    QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+F")));
    FindBar* bar = w->FindBar1;
    DialogDriver::TypeText(bar->EditFind, QStringLiteral("needle"));
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("2 / 2 件"));
    // Away again with the bar open: the unread line moves down, out from between the matches.
    sheet->SetAway(true);
    sheet->AddLine("filler 3", 0);
    sheet->SetAway(false);
    QTest::keyClick(bar->EditFind, Qt::Key_Return);
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("1 / 2 件"));
    QCOMPARE(selectedLine(), QStringLiteral("needle 0"));
    QTest::keyClick(bar->EditFind, Qt::Key_Return);
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("2 / 2 件"));
    QCOMPARE(selectedLine(), QStringLiteral("needle 2"));
    bar->EditFind->selectAll();
    DialogDriver::TypeText(bar->EditFind, QStringLiteral("年"));
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("0 / 0 件"));
}

void TestFindNotice::findHighlightsReadWellInEveryScheme()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QVERIFY(f.Handshake(7));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    for (std::uint8_t style = 0; style <= 4; ++style)
        sheet->AddLine("needle in style " + std::to_string(style), style);
    sheet->AddLine("needle restored", 0, LineRestored);
    sheet->AddLine("needle mention", 1, LineMention);
    QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+F")));
    for (const ThemeScheme& scheme : ThemeSchemes()) {
        w->setPalette(scheme.Palette);
        QVERIFY(QTest::qWaitFor(
            [&] { return sheet->ChatLog->Colours().Base == scheme.Palette.color(QPalette::Base); }));
        w->FindBar1->EditFind->clear();
        DialogDriver::TypeText(w->FindBar1->EditFind, QStringLiteral("needle"));
        const QList<QTextEdit::ExtraSelection> marks = sheet->ChatLog->extraSelections();
        QCOMPARE(marks.size(), 7);
        for (const QTextEdit::ExtraSelection& mark : marks) {
            // Unset, the highlight keeps the line's own colour.
            const QBrush own = mark.format.foreground();
            const QColor text = own.style() != Qt::NoBrush ? own.color()
                                                            : sheet->ChatLog->LineColor(mark.cursor.blockNumber());
            const double ratio = ContrastRatio(text, mark.format.background().color());
            QVERIFY2(ratio >= ReadableContrast,
                     qPrintable(scheme.Name + u' ' + mark.cursor.block().text() + QStringLiteral(" %1").arg(ratio)));
        }
    }
}

void TestFindNotice::findKeepsNoDecodedLinesAcrossKeystrokesAndScrolling()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    TChatSheet* sheet = OpenLobbyOnScreen(f);
    QVERIFY(sheet);
    for (int n = 0; n < 2000; ++n)   // Japanese: kept in CP932, decoded when read
        sheet->AddLine("ゴールキーパーさん、今日の試合は何時から？ " + std::to_string(n), 0);
    QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+F")));
    FindBar* bar = w->FindBar1;
    DialogDriver::TypeText(bar->EditFind, QStringLiteral("ゴール"));
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("2000 / 2000 件"));
    for (int step = 0; step < 40; ++step)
        Wheel(sheet->ChatLog, step < 20 ? 1 : -1);
    QTest::keyClick(bar->EditFind, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(bar->EditFind, Qt::Key_F3);
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("2000 / 2000 件"));
    // Every line was read for each keystroke, yet none is held beyond its reading.
    QCOMPARE(sheet->Lines.DecodedKept(), std::size_t(0));
}

void TestFindNotice::findHighlightsOnlyTheLinesOnScreen()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    TChatSheet* sheet = OpenLobbyOnScreen(f);
    QVERIFY(sheet);
    const std::string laughter = "草" + std::string(150, 'w');
    for (int n = 0; n < 1000; ++n)
        sheet->AddLine(laughter, 0);
    QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+F")));
    FindBar* bar = w->FindBar1;
    DialogDriver::TypeText(bar->EditFind, QStringLiteral("w"));
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("150000 / 150000 件"));
    ChatLogView* log = sheet->ChatLog;
    QCOMPARE(log->textCursor().selectedText(), QStringLiteral("w"));
    QCOMPARE(log->textCursor().blockNumber(), 999);
    for (int step = 0; step < 3; ++step) {
        const auto [first, last] = BlocksOnScreen(log);
        QVERIFY(last > first);
        // The w's of a line side by side show as one highlight; lines off screen have none.
        const QList<QTextEdit::ExtraSelection> highlights = log->extraSelections();
        QCOMPARE(highlights.size(), last - first + 1);
        for (const QTextEdit::ExtraSelection& h : highlights) {
            QVERIFY(h.cursor.blockNumber() >= first && h.cursor.blockNumber() <= last);
            QCOMPARE(h.cursor.selectedText(), QString(150, QLatin1Char('w')));
        }
        for (int notch = 0; notch < 5; ++notch)
            Wheel(log, 1);
    }
}

void TestFindNotice::findAddsNoTimerWhileNothingArrives()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    TChatSheet* sheet = OpenLobbyOnScreen(f);
    QVERIFY(sheet);
    sheet->AddLine("ゴール", 0);
    QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+F")));
    FindBar* bar = w->FindBar1;
    DialogDriver::TypeText(bar->EditFind, QStringLiteral("ゴール"));
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("1 / 1 件"));

    TimerCounter timers(w->LogFinder);
    QTest::qWait(1000);
    QCOMPARE(timers.Count, 0);   // nothing arrives: nothing wakes
    f.Server.SendTalk(3, 7, "", Sjis("ゴール again"));   // a line arriving is still counted
    QTRY_COMPARE(bar->LabelCount->text(), QStringLiteral("1 / 2 件"));
    const int afterLine = timers.Count;
    QTest::qWait(1000);
    QCOMPARE(timers.Count, afterLine);
    for (const QTimer* timer : w->LogFinder->findChildren<QTimer*>())
        QVERIFY(!timer->isActive());
}


void TestFindNotice::findForgetsTheMatchesOfRoomsThatAreGone()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QVERIFY(f.Handshake(7));
    TChatSheet* lobby = f.OpenRoom(3, "Lobby");
    QVERIFY(lobby);
    TChatSheet* other = f.OpenRoom(4, "Two");
    QVERIFY(other);
    w->PageControl1->setCurrentWidget(other);
    for (int n = 0; n < 5; ++n)
        lobby->AddLine("needle " + std::to_string(n), 0);
    for (int n = 0; n < 3; ++n)
        other->AddLine("needle " + std::to_string(n), 0);
    QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+F")));
    FindBar* bar = w->FindBar1;
    DialogDriver::TypeText(bar->EditFind, QStringLiteral("needle"));
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("3 / 3 件"));

    delete other;   // as leaving the room does: the other room's log is searched
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("5 / 5 件"));
    QTest::keyClick(bar->EditFind, Qt::Key_Return);
    QCOMPARE(bar->LabelCount->text(), QStringLiteral("1 / 5 件"));
    QCOMPARE(lobby->ChatLog->textCursor().block().text(), QStringLiteral("needle 0"));

    // The connection ends and every room goes with it: nothing is left to step through.
    f.Server.CloseClient();
    QTRY_VERIFY(!w->Socket1->Active());
    QCOMPARE(w->PageControl1->count(), 0);
    QVERIFY(bar->isHidden());
    w->LogFinder->Next();
    w->LogFinder->Previous();
    QCOMPARE(w->LogFinder->MatchCount(), 0);
    QCOMPARE(w->LogFinder->Current(), -1);
}

void TestFindNotice::mentionFromOthersNotifiesOncePerRoomPerTenSeconds()
{
    QStringList notices;
    SetNotificationInterceptor([&](const QString& summary, const QString& body) { notices << summary + "|" + body; });
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->UserName = Sjis("タロウ").toStdString();
    w->Options.HighlightWords = "pass";
    std::int64_t now = 1000000;
    w->Mentions.SetClock([&] { return now; });
    QVERIFY(f.Handshake(7));
    QVERIFY(f.OpenRoom(3, "Lobby", {MakeMember(8, "ken")}));
    TChatSheet* team = f.OpenRoom(4, "Team", {MakeMember(8, "ken")});
    QVERIFY(team);
    ChatLogView* log = f.Window()->FindSheet(3)->ChatLog;

    f.Server.SendTalk(3, 7, "me", Sjis("ﾀﾛｳ is me"));             // own line: never
    f.Server.SendTalk(3, 8, "", Sjis("ｔａｒｏｕ no"));              // no mention
    f.Server.SendTalk(3, 8, "", Sjis("ﾀﾛｳ, <b>come</b>"));
    f.Server.SendTalk(3, 8, "", Sjis("タロウ again"));             // within 10 s
    f.Server.SendTalk(4, 8, "", Sjis("PASS please"));              // another room
    QTRY_COMPARE(log->LineCount(), 5);   // the unread line first: Team is on screen
    QTRY_COMPARE(notices.size(), 2);
    QCOMPARE(notices[0], QStringLiteral("Lobby|ken> ﾀﾛｳ, <b>come</b>"));
    QCOMPARE(notices[1], QStringLiteral("Team|ken> PASS please"));
    QCOMPARE(w->PageControl1->tabText(0), QStringLiteral("Lobby*!"));
    const LineStore& lines = w->FindSheet(3)->Lines;
    QCOMPARE(lines.At(0).flags, std::uint8_t(LineMarker));
    QCOMPARE(lines.At(1).flags, std::uint8_t(0));   // own
    QCOMPARE(lines.At(2).flags, std::uint8_t(0));
    QCOMPARE(lines.At(3).flags, std::uint8_t(LineMention));

    now += MentionNotice::IntervalMs;
    f.Server.SendTalk(3, 8, "", Sjis("タロウ later"));
    QTRY_COMPARE(notices.size(), 3);
    w->PageControl1->setCurrentIndex(0);
    QCOMPARE(w->PageControl1->tabText(0), QStringLiteral("Lobby"));
    SetNotificationInterceptor({});
}

void TestFindNotice::onlyWebAddressesBecomeLinksAndAClickOpensExactlyThem()
{
    QPlainTextEdit view;
    view.setReadOnly(true);
    InstallLinkOpener(&view);
    const std::string line = "<a href=\"file:///x\">go</a> https://kv.example/a?b=1&c=<i>; javascript://x";
    QTextCursor cursor(view.document());
    QTextCharFormat red;
    red.setForeground(Qt::red);
    InsertChatLineText(cursor, line, red, 0, true);
    view.resize(900, 100);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QString shown = view.document()->firstBlock().text();
    QCOMPARE(shown.mid(ChatLinePrefixLength(true)), QString::fromStdString(line));
    QStringList anchors;
    for (auto it = view.document()->firstBlock().begin(); !it.atEnd(); ++it) {
        const QTextCharFormat format = it.fragment().charFormat();
        QCOMPARE(format.foreground().color(), QColor(Qt::red));
        if (format.isAnchor())
            anchors << it.fragment().text();
    }
    QCOMPARE(anchors, QStringList{QStringLiteral("https://kv.example/a?b=1&c=")});

    DialogDriver::ShellRecorder shell;
    const int linkAt = shown.indexOf(QStringLiteral("kv.example"));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, PointAt(view, linkAt));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, PointAt(view, shown.indexOf(QStringLiteral("file"))));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, PointAt(view, shown.indexOf(QStringLiteral("javascript"))));
    QCOMPARE(shell.Addresses(), QStringList{QStringLiteral("https://kv.example/a?b=1&c=")});
}

QTEST_MAIN(TestFindNotice)
#include "tst_findnotice.moc"
