// A room's log under bursts: every line arrives, in order and in its colour; the
// scrollback keeps the newest 10,000 lines; a line stays one line whatever it holds;
// markup is shown as typed. A background room's log shows, once its tab is chosen,
// what it would have shown on screen all along, and its caption changes only when
// the unread mark flips.

#include "ChatLogView.h"
#include "Chatsheet.h"
#include "LogColours.h"
#include "MainWindowFixture.h"
#include "ThemeSchemes.h"
#include "Unitmain.h"

#include <QApplication>
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

// The styles' colours on the default white log: the red darkened on to 5:1.
QColor ExpectedColor(std::uint8_t style)
{
    switch (style) {
    case 1:
    case 4: return QColor(223, 0, 0);
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
        // The tab was left for the other one: its first new line comes after the unread marker.
        QVERIFY(QTest::qWaitFor([&] { return sheet_->Lines.Appended() == std::uint64_t(lines) + 1; }, 30000));
        const int marker = lines < ChatLogView::MaxLines ? 1 : 0;   // past the bound it has dropped out
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
        QCOMPARE(Log()->LineCount(), kept + marker);
        if (marker == 1)
            QCOMPARE(Log()->LineText(0), QStringLiteral("――― ここから未読 ―――"));
        for (int i = 0; i < kept; ++i) {
            QCOMPARE(Log()->LineText(i + marker), texts[i]);
            QCOMPARE(Log()->LineColor(i + marker), colors[i]);
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
            // The unread marker, "first", then these.
            QVERIFY(QTest::qWaitFor([&] { return Log()->LineCount() == 3 + i; }));
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

    void unreadMarkerMarksTheFirstLineThatArrivedWhileAwayAndMoves()
    {
        const QColor grey(110, 110, 110);
        const QString marker = QStringLiteral("――― ここから未読 ―――");
        const auto shown = [&] {
            QStringList texts;
            for (int i = 0; i < Log()->LineCount(); ++i)
                texts << Log()->LineText(i);
            return texts;
        };
        sheet_->AddLog(Utterance(1));
        TChatSheet* other = fixture_->OpenRoom(4, "other");
        QVERIFY(other != nullptr);
        QTabWidget* tabs = fixture_->Window()->PageControl1;
        QCOMPARE(tabs->currentWidget(), other);
        sheet_->AddLog(Utterance(2));
        sheet_->AddLog(Utterance(3));
        tabs->setCurrentWidget(sheet_);
        QCOMPARE(shown(), (QStringList{UtteranceText(1), marker, UtteranceText(2), UtteranceText(3)}));
        QCOMPARE(Log()->LineColor(1), grey);
        // Lines that arrive while the user is there leave the marker where it is.
        sheet_->AddLog(Utterance(4));
        QCOMPARE(Log()->LineText(1), marker);
        // Away again: the marker moves to the first line of this absence.
        tabs->setCurrentWidget(other);
        sheet_->AddLog(Utterance(5));
        sheet_->AddLog(Utterance(6));
        tabs->setCurrentWidget(sheet_);
        QCOMPARE(shown(), (QStringList{UtteranceText(1), UtteranceText(2), UtteranceText(3), UtteranceText(4),
                                       marker, UtteranceText(5), UtteranceText(6)}));
        // The window losing the focus is leaving the tab too.
        QEvent deactivate(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(fixture_->Window(), &deactivate);
        sheet_->AddLog(Utterance(7));
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(fixture_->Window(), &activate);
        sheet_->AddLog(Utterance(8));
        QCOMPARE(shown().mid(4), (QStringList{UtteranceText(5), UtteranceText(6), marker, UtteranceText(7),
                                              UtteranceText(8)}));
        // The store holds what the view shows, and a marker holds no text to find.
        QCOMPARE(sheet_->Lines.Size(), std::size_t(9));
        QCOMPARE(sheet_->Lines.At(6).flags, std::uint8_t(LineMarker));
        QVERIFY(sheet_->Lines.At(6).text.empty());
    }

    void dayLineWhereTheLocalDateChanges()
    {
        const auto noon = [](int day) { return QDateTime(QDate(2026, 12, day), QTime(12, 0)).toSecsSinceEpoch(); };
        sheet_->AddLine("a", 0, 0, noon(6));
        sheet_->AddLine("b", 0, 0, noon(6) + 3600);
        sheet_->AddLine("2026-12-05 10:00:00 restored before", 0, LineRestored, noon(7));
        sheet_->AddLine("c", 2, 0, noon(7));
        sheet_->AddLine("d", 0, 0, noon(7) + 60);
        sheet_->AddLine("not dated", 0, LineRestored, noon(9));
        sheet_->AddLine("e", 0, 0, noon(9));
        const QStringList expected = {QStringLiteral("a"), QStringLiteral("b"),
                                      QStringLiteral("―― 2026年12月5日（土） ――"),
                                      QStringLiteral("2026-12-05 10:00:00 restored before"),
                                      QStringLiteral("―― 2026年12月7日（月） ――"), QStringLiteral("c"),
                                      QStringLiteral("d"), QStringLiteral("not dated"),
                                      QStringLiteral("―― 2026年12月9日（水） ――"), QStringLiteral("e")};
        QCOMPARE(Log()->LineCount(), int(expected.size()));
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(Log()->LineText(i), expected[i]);
        QCOMPARE(Log()->LineColor(2), QColor(110, 110, 110));
        QCOMPARE(Log()->LineColor(4), QColor(110, 110, 110));
        QCOMPARE(Log()->LineColor(5), ExpectedColor(2));
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

    // Every text colour against the background it is drawn on, for the palettes
    // of the usual desktop themes and some odd ones: each reads at least 4.5:1,
    // and the styles keep their hues.
    void coloursReadWellOnLightAndDarkBackgrounds()
    {
        struct Theme {
            const char* name;
            QColor base;
            QColor text;
        };
        const Theme themes[] = {
            {"light", QColor(255, 255, 255), QColor(0, 0, 0)},
            {"light grey", QColor(239, 240, 241), QColor(35, 38, 39)},
            {"qt6ct darker", QColor(48, 48, 48), QColor(255, 255, 255)},
            {"Breeze Dark", QColor(20, 22, 24), QColor(252, 252, 252)},
            {"Adwaita-dark", QColor(45, 45, 45), QColor(238, 238, 236)},
            {"fusion dark", QColor(42, 42, 42), QColor(208, 208, 208)},
            {"mid grey", QColor(90, 90, 90), QColor(250, 250, 250)},
            {"qt6ct dusk", QColor(127, 127, 127), QColor(0, 0, 0)},
            // Odd palettes: text no darker or lighter than the base it is on.
            {"equal dark", QColor(40, 40, 40), QColor(40, 40, 40)},
            {"dim text on dark", QColor(30, 30, 30), QColor(20, 20, 20)},
            {"equal light", QColor(230, 230, 230), QColor(230, 230, 230)},
            {"equal mid", QColor(118, 118, 118), QColor(118, 118, 118)},
            {"equal mid, white just past 5:1", QColor(110, 110, 110), QColor(110, 110, 110)},
        };
        for (const Theme& theme : themes) {
            const LogColours colours = LogColoursFor(theme.base, theme.text);
            for (std::size_t look = 0; look < LogColours::Count; ++look) {
                const double onBase = ContrastRatio(colours.Text[look], theme.base);
                const double onMention = ContrastRatio(colours.MentionText[look], colours.MentionBackground);
                QVERIFY2(onBase >= ReadableContrast,
                         qPrintable(QStringLiteral("%1, look %2: %3:1").arg(theme.name).arg(look).arg(onBase)));
                QVERIFY2(onMention >= ReadableContrast,
                         qPrintable(QStringLiteral("%1, mention %2: %3:1").arg(theme.name).arg(look).arg(onMention)));
            }
            // The mention background stands out from the log, and the styles stay apart.
            QVERIFY(colours.MentionBackground != theme.base);
            const QColor red = colours.Text[1];
            const QColor green = colours.Text[2];
            const QColor blue = colours.Text[3];
            QVERIFY2(red.red() > red.green() && red.red() > red.blue(), theme.name);
            QVERIFY2(green.green() > green.red() && green.green() > green.blue(), theme.name);
            QVERIFY2(blue.blue() > blue.red() && blue.blue() > blue.green(), theme.name);
            QCOMPARE(colours.Text[4], red);
        }
        // Small text is antialiased and draws lighter than its colour: restored
        // lines moved to just 4.5:1 measured 4.0 to 4.4 on screen. A colour that
        // has to move goes on to 5:1 where black or white reaches well past it.
        const auto margin = [](const QColor& colour, const QColor& background) {
            const double reach = std::max(ContrastRatio(Qt::white, background), ContrastRatio(Qt::black, background));
            return ContrastRatio(colour, background) >= (reach >= 5.5 ? 5.0 : ReadableContrast);
        };
        for (const Theme& theme : themes) {
            const LogColours moved = LogColoursFor(theme.base, theme.text);
            for (std::size_t look : {std::size_t{1}, std::size_t{LogColours::Grey}}) {
                QVERIFY2(margin(moved.Text[look], theme.base), theme.name);
                QVERIFY2(margin(moved.MentionText[look], moved.MentionBackground), theme.name);
            }
        }
        // Where a colour already reads, it is the style's own.
        const LogColours white = LogColoursFor(QColor(255, 255, 255), QColor(0, 0, 0));
        for (std::uint8_t style : {0, 2, 3})
            QCOMPARE(white.Text[static_cast<std::size_t>(style)], ExpectedColor(style));
    }

    // Every kind of line as the log really draws it, in every scheme: each
    // stretch of text against its own background or the log's.
    void everyLineReadsWellInEveryScheme()
    {
        const std::vector<ThemeScheme> schemes = ThemeSchemes();
        const bool table = qEnvironmentVariableIsSet("KV_CONTRAST_TABLE");
        for (const ThemeScheme& scheme : schemes) {
            fixture_->Window()->setPalette(scheme.Palette);
            const QColor base = scheme.Palette.color(QPalette::Base);
            QVERIFY(QTest::qWaitFor([&] { return Log()->Colours().Base == base; }));
            struct Kind {
                const char* name;
                std::uint8_t style;
                std::uint8_t flags;
            };
            const Kind kinds[] = {{"style 0", 0, 0},       {"style 1", 1, 0},         {"style 2", 2, 0},
                                  {"style 3", 3, 0},       {"style 4", 4, 0},         {"style 9", 9, 0},
                                  {"restored", 2, LineRestored}, {"以上、過去ログ", 0, LineDivider},
                                  {"unread", 0, LineMarker}, {"day", 0, LineDay},     {"mention 0", 0, LineMention},
                                  {"mention 1", 1, LineMention}, {"mention 2", 2, LineMention},
                                  {"mention 3", 3, LineMention}};
            const int first = Log()->LineCount();
            for (const Kind& kind : kinds)
                sheet_->AddLine(kind.name, kind.style, kind.flags);
            QCOMPARE(Log()->LineCount(), first + static_cast<int>(std::size(kinds)));
            QString row = scheme.Name;
            for (int i = 0; i < static_cast<int>(std::size(kinds)); ++i) {
                double worst = 21;
                const QTextBlock block = Log()->document()->findBlockByNumber(first + i);
                for (auto it = block.begin(); !it.atEnd(); ++it) {
                    const QTextCharFormat format = it.fragment().charFormat();
                    const QColor fg = format.foreground().style() != Qt::NoBrush ? format.foreground().color()
                                                                                  : scheme.Palette.color(QPalette::Text);
                    const QColor bg = format.background().style() != Qt::NoBrush ? format.background().color() : base;
                    worst = std::min(worst, ContrastRatio(fg, bg));
                }
                row += QStringLiteral(" | %1 %2").arg(QString::fromUtf8(kinds[i].name)).arg(worst, 0, 'f', 2);
                QVERIFY2(worst >= ReadableContrast, qPrintable(scheme.Name + QStringLiteral(", ") +
                                                                 QString::fromUtf8(kinds[i].name) +
                                                                 QStringLiteral(": %1:1").arg(worst)));
            }
            if (table)
                qInfo().noquote() << row;
        }
    }

    // A desktop that switches to a dark theme while the log is on screen, and back.
    void logFollowsThePaletteLive()
    {
        for (std::uint8_t style = 0; style <= 4; ++style)
            sheet_->AddLine("style", style);
        sheet_->AddLine("restored", 2, LineRestored);
        sheet_->AddLine("mention", 3, LineMention);
        QCOMPARE(Log()->LineColor(2), ExpectedColor(2));
        const QPalette light = QApplication::palette();
        QPalette dark = light;
        dark.setColor(QPalette::Base, QColor(42, 42, 42));
        dark.setColor(QPalette::Text, QColor(230, 230, 230));
        dark.setColor(QPalette::Window, QColor(53, 53, 53));
        dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
        QApplication::setPalette(dark);
        // The desktop's change reaches the widgets through the event loop.
        QVERIFY(QTest::qWaitFor([&] { return Log()->Colours().Base == QColor(42, 42, 42); }));
        const LogColours colours = Log()->Colours();
        QCOMPARE(colours.Base, QColor(42, 42, 42));
        for (int i = 0; i <= 4; ++i) {
            QCOMPARE(Log()->LineColor(i), colours.Text[static_cast<std::size_t>(i)]);
            QVERIFY(ContrastRatio(Log()->LineColor(i), colours.Base) >= ReadableContrast);
        }
        QCOMPARE(Log()->LineColor(5), colours.Text[LogColours::Grey]);
        QCOMPARE(Log()->LineColor(6), colours.MentionText[3]);
        QCOMPARE(Log()->LineText(6), QStringLiteral("mention"));
        // A tab that was in the background comes up in the same colours.
        QVERIFY(fixture_->OpenRoom(4, "other"));
        fixture_->Window()->PageControl1->setCurrentWidget(sheet_);
        QCOMPARE(Log()->LineColor(1), colours.Text[1]);
        QApplication::setPalette(light);
        QVERIFY(QTest::qWaitFor([&] { return Log()->Colours().Base == light.color(QPalette::Base); }));
        for (std::uint8_t style = 0; style <= 4; ++style)
            QCOMPARE(Log()->LineColor(style), ExpectedColor(style));
        QCOMPARE(Log()->LineCount(), 7);
    }
};

QTEST_MAIN(TestChatLog)
#include "tst_chatlog.moc"
