// The formation board over the real server: the client's drags, renames and
// whole-formation sends reach a bot byte for byte, the board changes when the
// server relays the lines, and board lines never reach a chat log.

#include "Board.h"
#include "ChatBot.h"
#include "ChatSession.h"
#include "Chatsheet.h"
#include "DialogDriver.h"
#include "Unitboard.h"
#include "Unitboardname.h"
#include "Unitmain.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <memory>

using namespace e2e;
using DialogDriver::ModalSteps;
using DialogDriver::TypeText;

namespace {

const QByteArray BotName("keeper");

// The default formation as the two lines of the board's "send all" button.
const QByteArray DefaultPositions(
    "*!B!*A5050B5007C6018D3519E8119F1318G4925H7130I2331J6241K5036L3641"
    "M5093N5182O2081P7980Q3672R6473S2064T7964U3756V5164W6456");
const QByteArray DefaultNames(
    "*!N!*A B1 C2 D3 E4 F5 G6 H7 I8 J9 K10 L11 M1 N2 O3 P4 Q5 R6 S7 T8 U9 V10 W11 ");

constexpr int MarkerB = 1;
constexpr int MarkerC = 2;
constexpr int MarkerD = 3;

bool IsSide1Red(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) < 80 && qBlue(pixel) < 80;
}

QPoint Centre(int nItem)
{
    return {CharItems[nItem].CenterX(), CharItems[nItem].CenterY()};
}

QRgb PixelAt(QPoint at)
{
    return FormBoard->ImageGround->Picture().pixel(at);
}

bool Differs(const QImage& a, const QImage& b, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                return true;
        }
    }
    return false;
}

}  // namespace

class TestE2eBoard : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void boardOpensOnTheRoomTabAndClosing();
    void dragSendsThePositionLineAndTheEchoRedraws();
    void botBoardLineMovesTheMarkerWithoutLogOrMark();
    void buttonAllSendsPositionsThenNames();
    void loadingAFormationSendsAsButtonAll();
    void rightClickRenamesAMarker();
    void nameWithABlankIsRefused();

private:
    TFormMain* Main() const { return session->Main(); }
    QList<QByteArray> ClientTexts() const { return TextsFrom(*bot, Main()->ClientID); }
    // The bot says a line into the lobby and the client's lobby log shows it.
    bool SyncLobby(const QByteArray& text);
    // The client types a line into the lobby; the bot and the client's own log get it.
    bool SyncFromClient(const QByteArray& text);
    // Right-click on a marker with the name dialog driven.
    bool RenameByRightClick(int nItem, const QString& typed, QString* offered = nullptr);

    std::unique_ptr<ChatSession> session;
    ChatBot* bot = nullptr;
    TChatSheet* lobby = nullptr;
};

void TestE2eBoard::init()
{
    session = std::make_unique<ChatSession>();
    QVERIFY(session->Started());
    bot = session->AddBot(BotName);
    QVERIFY2(bot != nullptr, "the bot did not reach the lobby");
    lobby = session->ConnectToLobby(QStringLiteral("striker"));
    QVERIFY2(lobby != nullptr, "the client's lobby tab did not open");
    QVERIFY(Main()->ButtonBoard->isEnabled());
    Main()->ButtonBoardClick();
    QVERIFY(FormBoard->isVisible());
}

void TestE2eBoard::cleanup()
{
    session.reset();
    bot = nullptr;
    lobby = nullptr;
}

bool TestE2eBoard::SyncLobby(const QByteArray& text)
{
    bot->Say(0, text);
    const QString expected = QString::fromLatin1(BotName + "> " + text);
    return QTest::qWaitFor([&] { return LogLines(lobby).contains(expected); }, Timeout);
}

bool TestE2eBoard::SyncFromClient(const QByteArray& text)
{
    QTest::keyClicks(Main()->EditInputChat, QString::fromLatin1(text));
    QTest::keyClick(Main()->EditInputChat, Qt::Key_Return);
    // The client's own line comes back after everything it sent before.
    const QString echo = QStringLiteral("striker> ") + QString::fromLatin1(text);
    return QTest::qWaitFor([&] { return ClientTexts().contains(text) && LogLines(lobby).contains(echo); },
                           Timeout);
}

bool TestE2eBoard::RenameByRightClick(int nItem, const QString& typed, QString* offered)
{
    const QPoint at = Centre(nItem);
    ModalSteps steps(*FormBoardName, [&] {
        if (offered)
            *offered = FormBoardName->EditName->selectedText();
        TypeText(FormBoardName->EditName, typed);
        QTest::mouseClick(FormBoardName->ButtonOk, Qt::LeftButton);
    });
    QTest::mousePress(FormBoard->ImageGround, Qt::RightButton, Qt::NoModifier, at);
    QTest::mouseRelease(FormBoard->ImageGround, Qt::RightButton, Qt::NoModifier, at);
    return steps.Finished();
}

void TestE2eBoard::boardOpensOnTheRoomTabAndClosing()
{
    QCOMPARE(FormBoard->nRoomNo, 0);
    QCOMPARE(FormBoard->windowTitle(), QStringLiteral("待合室 - フォーメーション盤"));
    QVERIFY(!Main()->ButtonBoard->isEnabled());

    FormBoard->close();
    QVERIFY(!FormBoard->isVisible());
    QVERIFY(Main()->ButtonBoard->isEnabled());

    // Lines of the board's room still apply while it is hidden, and showing it
    // again for the same room keeps them.
    bot->Say(0, "*!B!*A4040");
    QTRY_COMPARE_WITH_TIMEOUT(CharItems[0].nX, 40, Timeout);
    QCOMPARE(CharItems[0].nY, 40);
    Main()->ButtonBoardClick();
    QVERIFY(FormBoard->isVisible());
    QVERIFY(!Main()->ButtonBoard->isEnabled());
    QCOMPARE(CharItems[0].nX, 40);
    QCOMPARE(CharItems[0].nY, 40);

    QVERIFY(SyncLobby("sync"));
    QCOMPARE(LogLines(lobby), QStringList{QStringLiteral("keeper> sync")});
}

void TestE2eBoard::dragSendsThePositionLineAndTheEchoRedraws()
{
    QCOMPARE(Centre(MarkerB), QPoint(100, 21));
    const QImage before = FormBoard->ImageGround->Picture();
    const QPoint newOnly(107, 21);   // inside the disc at 51,07 only
    const QPoint oldOnly(94, 21);    // inside the disc at 50,07 only
    QVERIFY(!IsSide1Red(before.pixel(newOnly)));
    QVERIFY(IsSide1Red(before.pixel(oldOnly)));

    QTest::mousePress(FormBoard->ImageGround, Qt::LeftButton, Qt::NoModifier, QPoint(100, 21));
    QTest::mouseRelease(FormBoard->ImageGround, Qt::LeftButton, Qt::NoModifier, QPoint(102, 21));
    // Stored at once.
    QCOMPARE(CharItems[MarkerB].nX, 51);
    QCOMPARE(CharItems[MarkerB].nY, 7);

    QTRY_COMPARE_WITH_TIMEOUT(ClientTexts(), QList<QByteArray>{"*!B!*B5107"}, Timeout);
    const ReceivedTalk talk = bot->Talks().last();
    QCOMPARE(talk.room, std::int16_t(0));
    QCOMPARE(talk.name, QByteArray("striker"));

    // The line comes back and the pitch shows the marker at its new place.
    QTRY_VERIFY_WITH_TIMEOUT(IsSide1Red(PixelAt(newOnly)), Timeout);
    QVERIFY(!IsSide1Red(PixelAt(oldOnly)));
    QCOMPARE(CharItems[MarkerB].nX, 51);
    QCOMPARE(CharItems[MarkerB].nY, 7);
    QCOMPARE(FormBoard->StatusText(), QStringLiteral("striker: B を (51, 7) へ"));

    // Neither the client's own line nor its echo is logged.
    QVERIFY(SyncLobby("sync"));
    QCOMPARE(LogLines(lobby), QStringList{QStringLiteral("keeper> sync")});
    QCOMPARE(TabTexts(Main()), QStringList{LobbyText});
    QVERIFY(!Main()->ButtonBoard->isEnabled());
}

void TestE2eBoard::botBoardLineMovesTheMarkerWithoutLogOrMark()
{
    // A second tab, made active, so that a mark on the lobby's tab would show.
    bot->CreateRoom("bench");
    QTRY_VERIFY_WITH_TIMEOUT(RoomRows(Main()).contains(QStringLiteral("bench")), Timeout);
    QVERIFY(session->RunEnterRoom(QStringLiteral("bench")));
    TChatSheet* bench = session->WaitForSheet("bench");
    QVERIFY(bench != nullptr);
    QCOMPARE(Main()->ActiveChatSheet(), bench);
    QTRY_VERIFY_WITH_TIMEOUT(bot->Members(bench->RoomNo).contains(Main()->ClientID), Timeout);

    const QPoint newOnly(100, 34);   // inside the disc at 50,10 only
    const QPoint oldOnly(100, 16);   // inside the disc at 50,07 only
    QVERIFY(!IsSide1Red(PixelAt(newOnly)));
    QVERIFY(IsSide1Red(PixelAt(oldOnly)));

    bot->Say(0, "*!B!*B5010");
    QTRY_COMPARE_WITH_TIMEOUT(CharItems[MarkerB].nY, 10, Timeout);
    QCOMPARE(CharItems[MarkerB].nX, 50);
    QCOMPARE(FormBoard->StatusText(), QStringLiteral("keeper: B を (50, 10) へ"));
    QVERIFY(IsSide1Red(PixelAt(newOnly)));
    QVERIFY(!IsSide1Red(PixelAt(oldOnly)));
    QCOMPARE(LogLines(lobby), QStringList{});
    QCOMPARE(TabTexts(Main()), (QStringList{LobbyText, QStringLiteral("bench")}));

    // A board line of another room than the board's: neither applied nor logged.
    bot->Say(bench->RoomNo, "*!B!*B2020");
    bot->Say(bench->RoomNo, "after");
    QTRY_COMPARE_WITH_TIMEOUT(LogLines(bench), QStringList{QStringLiteral("keeper> after")}, Timeout);
    QCOMPARE(CharItems[MarkerB].nX, 50);
    QCOMPARE(CharItems[MarkerB].nY, 10);

    // An ordinary line in the lobby is logged and marks the inactive tab, where
    // the unread line now stands above it; the board lines before it marked nothing.
    QVERIFY(SyncLobby("sync"));
    QCOMPARE(LogLines(lobby), (QStringList{QStringLiteral("――― ここから未読 ―――"), QStringLiteral("keeper> sync")}));
    QCOMPARE(TabTexts(Main()), (QStringList{LobbyText + QLatin1Char('*'), QStringLiteral("bench")}));
}

void TestE2eBoard::buttonAllSendsPositionsThenNames()
{
    QCOMPARE(DefaultPositions.size(), 120);
    QCOMPARE(DefaultNames.size(), 77);
    QTest::mouseClick(FormBoard->ButtonAll, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(ClientTexts(), (QList<QByteArray>{DefaultPositions, DefaultNames}), Timeout);

    QVERIFY(SyncLobby("sync"));
    QCOMPARE(LogLines(lobby), QStringList{QStringLiteral("keeper> sync")});
    QCOMPARE(ClientTexts().size(), 2);
}

void TestE2eBoard::loadingAFormationSendsAsButtonAll()
{
    FormBoard->LoadBuiltInFormation(0, BoardSide::Side1);   // 4-4-2
    QByteArray positions = DefaultPositions;
    positions.replace(10, 55, "B5007C1520D3818E6218F8520G1532H3830I6230J8532K3843L6243");
    QTRY_COMPARE_WITH_TIMEOUT(ClientTexts(), (QList<QByteArray>{positions, DefaultNames}), Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(FormBoard->StatusText(), QStringLiteral("striker: フォーメーションを送信"), Timeout);
    QVERIFY(SyncLobby("sync"));
    QCOMPARE(LogLines(lobby), QStringList{QStringLiteral("keeper> sync")});

    // Undone, the old positions go out as ordinary board lines.
    FormBoard->Undo();
    QTRY_COMPARE_WITH_TIMEOUT(ClientTexts().size(), 4, Timeout);
    QCOMPARE(ClientTexts().at(2), DefaultPositions);
    QCOMPARE(ClientTexts().at(3), DefaultNames);
}

void TestE2eBoard::rightClickRenamesAMarker()
{
    const QImage before = FormBoard->ImageGround->Picture();
    const QPoint c = Centre(MarkerC);
    const QRect labelArea(c.x() - 20, c.y() + 7, 41, 16);   // under the disc

    QString offered;
    QVERIFY2(RenameByRightClick(MarkerC, QStringLiteral("山田"), &offered),
             "the name dialog was not driven to OK");
    QCOMPARE(offered, QStringLiteral("2"));
    QCOMPARE(QByteArray::fromStdString(CharItems[MarkerC].Name), QByteArray("\x8e\x52\x93\x63"));

    QTRY_COMPARE_WITH_TIMEOUT(ClientTexts(), QList<QByteArray>{"*!N!*C\x8e\x52\x93\x63 "}, Timeout);
    // The echo redraws the label.
    QTRY_VERIFY_WITH_TIMEOUT(Differs(before, FormBoard->ImageGround->Picture(), labelArea), Timeout);
    QCOMPARE(session->Boxes, QStringList{});

    QVERIFY(SyncLobby("sync"));
    QCOMPARE(LogLines(lobby), QStringList{QStringLiteral("keeper> sync")});
}

void TestE2eBoard::nameWithABlankIsRefused()
{
    // A blank would end the name early on every receiver and rename other markers
    // with the rest, so the dialog refuses it and stays open.
    const std::string before = CharItems[MarkerD].Name;
    QVERIFY2(!RenameByRightClick(MarkerD, QStringLiteral("A B")),
             "the name dialog accepted a name with a blank");
    QCOMPARE(session->Boxes, QStringList{QStringLiteral("選手名には空白や制御文字は使えません")});
    QVERIFY(SyncFromClient("sync"));
    QCOMPARE(ClientTexts(), QList<QByteArray>{"sync"});
    QCOMPARE(CharItems[MarkerD].Name, before);
    QCOMPARE(CharItems[MarkerB].Name, std::string("1"));
}

QTEST_MAIN(TestE2eBoard)
#include "tst_e2e_board.moc"
