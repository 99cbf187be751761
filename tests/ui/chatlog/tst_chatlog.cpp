// A room's log under bursts: every line arrives, in order and in its colour; the
// scrollback keeps the newest 10,000 lines; a line stays one line whatever it holds;
// markup is shown as typed. A background room's log shows, once its tab is chosen,
// what it would have shown on screen all along, and its caption changes only when
// the unread mark flips.

#include "ChatLogView.h"
#include "Chatsheet.h"
#include "MainWindowFixture.h"
#include "Unitmain.h"

#include <QProxyStyle>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QtTest>

#include <cstring>

namespace {

constexpr std::int16_t Room = 3;

struct Speaker {
    std::int16_t clientId;
    const char* name;   // UTF-8
};

// Members 20 and 21 are in the room; 99 is not, and 98 has no name.
const Speaker Speakers[] = {{20, "アリス"}, {21, "bob"}, {99, "キャロル"}, {98, ""}};

QByteArray TalkFrame(std::int16_t clientId, const QByteArray& name, const QByteArray& text, std::uint8_t style,
                     std::int16_t room = Room)
{
    GmProtocol protocol;
    GmTalk::Info info;
    info.room = room;
    info.clientID = clientId;
    std::strncpy(info.name, name.constData(), MaxUserNameBytes);
    std::strncpy(info.text, text.constData(), MaxTalkBytes);
    info.style = style;
    protocol.Talk.Encode(info);
    return QByteArray(reinterpret_cast<const char*>(protocol.Packet.Data()),
                      static_cast<std::uint16_t>(protocol.Packet.GetLength()));
}

QString ExpectedText(const Speaker& speaker, const QString& text)
{
    if (speaker.clientId == 20 || speaker.clientId == 21)
        return QString::fromUtf8(speaker.name) + QStringLiteral("> ") + text;
    if (speaker.name[0] != '\0')
        return QString::fromUtf8(speaker.name) + QStringLiteral(">") + text;
    return text;
}

QColor ExpectedColor(std::uint8_t style)
{
    switch (style) {
    case 1:
    case 4: return QColor(255, 0, 0);
    case 2: return QColor(0, 128, 0);
    case 3: return QColor(0, 0, 255);
    default: return QColor(0, 0, 0);
    }
}

GmTalk::Info Utterance(int i)
{
    GmTalk::Info info;
    info.room = Room;
    info.clientID = 20;
    const std::string text = "line " + std::to_string(i);
    std::strncpy(info.text, text.c_str(), MaxTalkBytes);
    info.style = static_cast<std::uint8_t>(i % 5);
    return info;
}

QString UtteranceText(int i)
{
    return QStringLiteral("アリス> line %1").arg(i);
}

bool HasLineBreak(const QString& text)
{
    for (const QChar c : text) {
        if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return true;
    }
    return false;
}

// Counts the tab bar's layouts: each lays out every tab's caption.
class TabLayoutCounter : public QProxyStyle {
public:
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        if (type == CT_TabBarTab)
            ++Count;
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }
    mutable int Count = 0;
};

} // namespace

class TestChatLog : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MainWindowFixture> fixture_;
    TChatSheet* sheet_ = nullptr;

    ChatLogView* Log() const { return sheet_->ChatLog; }

    // Sends the frames in one write, as a flood would bring them, and waits for the lines.
    bool SendBurst(const QByteArray& bytes, int expectedLines)
    {
        fixture_->Server.SendRaw(bytes);
        return QTest::qWaitFor([&] { return Log()->LineCount() >= expectedLines; }, 30000);
    }

private slots:
    void init()
    {
        fixture_ = std::make_unique<MainWindowFixture>();
        fixture_->Window()->show();
        QVERIFY(fixture_->Handshake());
        sheet_ = fixture_->OpenRoom(Room, "burst", {MakeMember(20, Sjis("アリス")), MakeMember(21, "bob")});
        QVERIFY(sheet_ != nullptr);
        QCOMPARE(Log()->LineCount(), 0);
    }

    void cleanup()
    {
        sheet_ = nullptr;
        fixture_.reset();
    }

    void burstArrivesWholeInOrderAndColour()
    {
        constexpr int Lines = 3000;
        QByteArray burst;
        QStringList texts;
        QList<QColor> colors;
        for (int i = 0; i < Lines; ++i) {
            const Speaker& speaker = Speakers[i % 4];
            const std::uint8_t style = static_cast<std::uint8_t>(i % 5);
            const QString text = QStringLiteral("発言 %1 の本文").arg(i);
            burst += TalkFrame(speaker.clientId, Sjis(speaker.name), Sjis(text.toUtf8().constData()), style);
            texts << ExpectedText(speaker, text);
            colors << ExpectedColor(style);
        }
        QVERIFY(SendBurst(burst, Lines));
        QCOMPARE(Log()->LineCount(), Lines);
        for (int i = 0; i < Lines; ++i) {
            QCOMPARE(Log()->LineText(i), texts[i]);
            QCOMPARE(Log()->LineColor(i), colors[i]);
        }
        QVERIFY(fixture_->Boxes.isEmpty());
    }

    void newestLineDropsTheOldestAtTheLimit()
    {
        for (int i = 1; i <= ChatLogView::MaxLines; ++i)
            sheet_->AddLog(Utterance(i));
        QCOMPARE(Log()->LineCount(), ChatLogView::MaxLines);
        QCOMPARE(Log()->LineText(0), UtteranceText(1));

        sheet_->AddLog(Utterance(ChatLogView::MaxLines + 1));
        QCOMPARE(Log()->LineCount(), ChatLogView::MaxLines);
        QCOMPARE(Log()->LineText(0), UtteranceText(2));
        QCOMPARE(Log()->LineColor(0), ExpectedColor(2 % 5));
        QCOMPARE(Log()->LineText(ChatLogView::MaxLines - 1), UtteranceText(ChatLogView::MaxLines + 1));
        QCOMPARE(Log()->LineColor(ChatLogView::MaxLines - 1), ExpectedColor((ChatLogView::MaxLines + 1) % 5));
    }

    void burstLongerThanTheLimitKeepsTheNewestInOrder()
    {
        constexpr int Lines = 25000;
        for (int i = 1; i <= Lines; ++i)
            sheet_->AddLog(Utterance(i));
        QCOMPARE(Log()->LineCount(), ChatLogView::MaxLines);
        const int first = Lines - ChatLogView::MaxLines + 1;
        for (int k = 0; k < ChatLogView::MaxLines; ++k) {
            QCOMPARE(Log()->LineText(k), UtteranceText(first + k));
            QCOMPARE(Log()->LineColor(k), ExpectedColor(static_cast<std::uint8_t>((first + k) % 5)));
        }
        // The view keeps its newest line in view.
        QTest::qWait(50);
        QCOMPARE(Log()->verticalScrollBar()->value(), Log()->verticalScrollBar()->maximum());
    }

    void lineBreaksInATextStayOneLine()
    {
        const QByteArray texts[] = {"first\r\nsecond", "one\ntwo\nthree", "cr\ronly", "\r\n"};
        QByteArray burst;
        for (const QByteArray& text : texts)
            burst += TalkFrame(21, "bob", text, 3);
        QVERIFY(SendBurst(burst, 4));
        QCOMPARE(Log()->LineCount(), 4);
        for (int i = 0; i < 4; ++i) {
            const QString line = Log()->LineText(i);
            QVERIFY2(!HasLineBreak(line), qPrintable(line));
            QVERIFY(line.startsWith(QStringLiteral("bob> ")));
            QCOMPARE(Log()->LineColor(i), ExpectedColor(3));
        }
        QVERIFY(Log()->LineText(0).startsWith(QStringLiteral("bob> first")));
        QVERIFY(Log()->LineText(0).endsWith(QStringLiteral("second")));
        QVERIFY(Log()->LineText(1).endsWith(QStringLiteral("three")));
        QVERIFY(Log()->LineText(2).endsWith(QStringLiteral("only")));
        // The next utterance is still a line of its own.
        QVERIFY(SendBurst(TalkFrame(21, "bob", "after", 0), 5));
        QCOMPARE(Log()->LineText(4), QStringLiteral("bob> after"));
    }

    void backgroundTabShowsWhatAnActiveTabShows_data()
    {
        QTest::addColumn<int>("lines");
        QTest::newRow("a few") << 7;
        QTest::newRow("past the bound") << ChatLogView::MaxLines + 3;
    }

    void backgroundTabShowsWhatAnActiveTabShows()
    {
        QFETCH(int, lines);
        TChatSheet* active = fixture_->OpenRoom(4, "other", {MakeMember(20, Sjis("アリス")), MakeMember(21, "bob")});
        QVERIFY(active != nullptr);
        QByteArray burst;
        for (int i = 0; i < lines; ++i) {
            const Speaker& speaker = Speakers[i % 4];
            const QByteArray text = Sjis(QStringLiteral("発言 %1 <b>x</b>\r\n続き").arg(i).toUtf8().constData());
            for (std::int16_t room : {Room, std::int16_t(4)})
                burst += TalkFrame(speaker.clientId, Sjis(speaker.name), text, static_cast<std::uint8_t>(i % 6), room);
        }
        fixture_->Server.SendRaw(burst);
        const int kept = std::min(lines, ChatLogView::MaxLines);
        QVERIFY(QTest::qWaitFor([&] { return sheet_->Lines.Appended() == std::uint64_t(lines); }, 30000));
        QCOMPARE(active->ChatLog->LineCount(), kept);
        QStringList texts;
        QList<QColor> colors;
        for (int i = 0; i < kept; ++i) {
            texts << active->ChatLog->LineText(i);
            colors << active->ChatLog->LineColor(i);
        }
        QVERIFY(sheet_->ChatLog->document()->isEmpty());

        QTabWidget* tabs = fixture_->Window()->PageControl1;
        tabs->setCurrentWidget(sheet_);
        QVERIFY(!sheet_->ChatLog->document()->isEmpty());
        QCOMPARE(Log()->LineCount(), kept);
        for (int i = 0; i < kept; ++i) {
            QCOMPARE(Log()->LineText(i), texts[i]);
            QCOMPARE(Log()->LineColor(i), colors[i]);
        }
        QCOMPARE(Log()->verticalScrollBar()->value(), Log()->verticalScrollBar()->maximum());
        QVERIFY(active->ChatLog->document()->isEmpty());
    }

    void unreadMarkIsSetOnceAndClearedOnce()
    {
        QVERIFY(fixture_->OpenRoom(4, "other"));
        QTabWidget* tabs = fixture_->Window()->PageControl1;
        TabLayoutCounter counter;
        tabs->tabBar()->setStyle(&counter);
        fixture_->Server.SendRaw(TalkFrame(21, "bob", "first", 0));
        QVERIFY(QTest::qWaitFor([&] { return tabs->tabText(0) == QStringLiteral("burst*"); }));
        counter.Count = 0;
        for (int i = 0; i < 3; ++i) {
            fixture_->Server.SendRaw(TalkFrame(21, "bob", "more", 0));
            QVERIFY(QTest::qWaitFor([&] { return Log()->LineCount() == 2 + i; }));
        }
        QCOMPARE(counter.Count, 0);
        tabs->setCurrentIndex(0);
        QCOMPARE(tabs->tabText(0), QStringLiteral("burst"));
        counter.Count = 0;
        fixture_->Window()->PageControl1Change();   // as the room menu's commands run it once more
        QCOMPARE(counter.Count, 0);
        tabs->tabBar()->setStyle(nullptr);
    }

    void scrolledUpTheLinesBeingReadStayInView()
    {
        for (int i = 1; i <= ChatLogView::MaxLines; ++i)
            sheet_->AddLog(Utterance(i));
        Log()->Flush();
        Log()->verticalScrollBar()->setValue(100);
        const QString reading = Log()->cursorForPosition(QPoint(4, 4)).block().text();
        for (int i = 1; i <= 50; ++i)
            sheet_->AddLog(Utterance(ChatLogView::MaxLines + i));
        QCOMPARE(Log()->LineText(0), UtteranceText(51));
        QCOMPARE(Log()->cursorForPosition(QPoint(4, 4)).block().text(), reading);
        // Also after a while in another tab, lines arriving meanwhile.
        QVERIFY(fixture_->OpenRoom(4, "other"));
        sheet_->AddLog(Utterance(ChatLogView::MaxLines + 51));
        fixture_->Window()->PageControl1->setCurrentWidget(sheet_);
        QCOMPARE(Log()->cursorForPosition(QPoint(4, 4)).block().text(), reading);
    }

    void markupIsShownAsTyped()
    {
        const QByteArray texts[] = {"<b>bold</b> &amp; <i>x</i>", "<font color=red>red?</font>",
                                    "<a href=\"http://x\">link</a> &lt;", "<!-- c --><br>"};
        QByteArray burst;
        for (const QByteArray& text : texts)
            burst += TalkFrame(20, Sjis("アリス"), text, 0);
        QVERIFY(SendBurst(burst, 4));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(Log()->LineText(i), QStringLiteral("アリス> ") + QString::fromLatin1(texts[i]));
            QCOMPARE(Log()->LineColor(i), ExpectedColor(0));
        }
        QCOMPARE(Log()->toPlainText().count(u'\n'), 3);
    }
};

QTEST_MAIN(TestChatLog)
#include "tst_chatlog.moc"
