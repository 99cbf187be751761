#include "Board.h"
#include "DialogDriver.h"
#include "Unitboard.h"
#include "Unitboardname.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

using DialogDriver::BoxRecorder;
using DialogDriver::ModalSteps;

namespace {

const std::string RoomName = "\x95\x94\x89\xae";   // "部屋"
const QString BoardCaption = QStringLiteral("部屋 - フォーメーション盤");

bool IsGreen(QRgb pixel)
{
    return qGreen(pixel) > qRed(pixel) + 30 && qGreen(pixel) > qBlue(pixel) + 30;
}

bool IsNearWhite(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) > 200 && qBlue(pixel) > 200;
}

QPoint Centre(int nItem)
{
    return {CharItems[nItem].CenterX(), CharItems[nItem].CenterY()};
}

}   // namespace

class TestBoard : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstShowResetsAndCaptions();
    void showingAgainForTheSameRoomKeepsTheBoard();
    void showingForAnotherRoomResets();
    void visibleBoardIgnoresShowBoard();
    void closingHidesAndReports();

    void dragTwoPixelsRightMovesAndReports();
    void dragsThatChangeNothing_data();
    void dragsThatChangeNothing();
    void pressOnGrassStartsNoDrag();
    void handCursorOverMarkers();

    void rightClickRenamesAndReports();
    void confirmingAnUnchangedNameStillReports();
    void cancelKeepsTheName();
    void rightClickOnGrassOpensNoDialog();
    void nameWithABlankIsRefused();
    void nameEditTakesSixBytes();

    void parseTalkRedrawsOnlyWhenApplied();
    void buttonAllReports();
    void buttonCopyPutsBothLinesOnTheClipboard();
    void appendDelegatesToTheTable();

    void defaultPictureShowsMarkersOnGrass();
    void markerDiscIsFourteenPixelsAcross();
    void namesAreDrawnUnderTheDisc();
    void initBoardLeavesNoTrace();
    void doubleDensityDrawsFinerPixelsOnTheSamePitch();

private:
    void press(Qt::MouseButton button, QPoint at);
    void release(Qt::MouseButton button, QPoint at);
    QRgb pixel(QPoint at) const { return board->ImageGround->Picture().pixel(at); }

    std::unique_ptr<TFormBoard> board;
    std::unique_ptr<TFormBoardName> nameDialog;
    std::vector<int> moved;
    std::vector<int> named;
    int allCount = 0;
    int closeCount = 0;
};

void TestBoard::init()
{
    board = std::make_unique<TFormBoard>();
    nameDialog = std::make_unique<TFormBoardName>();
    FormBoard = board.get();
    FormBoardName = nameDialog.get();
    moved.clear();
    named.clear();
    allCount = 0;
    closeCount = 0;
    board->OnMoveChar = [this](QObject* sender, int nItem) {
        QCOMPARE(sender, board.get());
        moved.push_back(nItem);
    };
    board->OnNameChar = [this](QObject* sender, int nItem) {
        QCOMPARE(sender, board.get());
        named.push_back(nItem);
    };
    board->OnAllChar = [this](QObject* sender) {
        QCOMPARE(sender, board.get());
        ++allCount;
    };
    board->OnClose = [this](QObject*) { ++closeCount; };
}

void TestBoard::cleanup()
{
    FormBoard = nullptr;
    FormBoardName = nullptr;
    nameDialog.reset();
    board.reset();
}

void TestBoard::press(Qt::MouseButton button, QPoint at)
{
    QTest::mousePress(board->ImageGround, button, Qt::NoModifier, at);
}

void TestBoard::release(Qt::MouseButton button, QPoint at)
{
    QTest::mouseRelease(board->ImageGround, button, Qt::NoModifier, at);
}

// --- binding to a room -----------------------------------------------------------

void TestBoard::firstShowResetsAndCaptions()
{
    QCOMPARE(board->nRoomNo, -1);
    QVERIFY(!board->isVisible());
    CharItems[1].nX = 10;
    CharItems[1].Name = "x";

    board->ShowBoard(3, RoomName);
    QVERIFY(board->isVisible());
    QCOMPARE(board->nRoomNo, 3);
    QCOMPARE(board->windowTitle(), BoardCaption);
    QCOMPARE(CharItems[1].nX, 50);
    QCOMPARE(CharItems[1].Name, std::string("1"));
    QCOMPARE(board->size(), QSize(204, 336));
    QVERIFY(board->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(board->windowFlags() & Qt::WindowMinMaxButtonsHint));
}

void TestBoard::showingAgainForTheSameRoomKeepsTheBoard()
{
    board->ShowBoard(3, RoomName);
    board->close();
    CharItems[2].nX = 11;
    CharItems[2].Name = "y";

    board->ShowBoard(3, "\x82\xa0");   // "あ": the caption follows the name given now
    QVERIFY(board->isVisible());
    QCOMPARE(CharItems[2].nX, 11);
    QCOMPARE(CharItems[2].Name, std::string("y"));
    QCOMPARE(board->windowTitle(), QStringLiteral("あ - フォーメーション盤"));
}

void TestBoard::showingForAnotherRoomResets()
{
    board->ShowBoard(3, RoomName);
    board->close();
    CharItems[2].nX = 11;
    CharItems[2].Name = "y";

    board->ShowBoard(4, RoomName);
    QCOMPARE(board->nRoomNo, 4);
    QCOMPARE(CharItems[2].nX, 60);
    QCOMPARE(CharItems[2].Name, std::string("2"));
}

void TestBoard::visibleBoardIgnoresShowBoard()
{
    board->ShowBoard(3, RoomName);
    CharItems[2].nX = 11;

    board->ShowBoard(5, "other");
    QCOMPARE(board->nRoomNo, 3);
    QCOMPARE(board->windowTitle(), BoardCaption);
    QCOMPARE(CharItems[2].nX, 11);
}

void TestBoard::closingHidesAndReports()
{
    board->ShowBoard(3, RoomName);
    QVERIFY(board->close());
    QCOMPARE(closeCount, 1);
    QVERIFY(!board->isVisible());

    board->OnClose = nullptr;   // unassigned: the window still hides
    board->ShowBoard(3, RoomName);
    QVERIFY(board->close());
    QVERIFY(!board->isVisible());
}

// --- dragging --------------------------------------------------------------------

void TestBoard::dragTwoPixelsRightMovesAndReports()
{
    const qint64 pictureBefore = board->ImageGround->Picture().cacheKey();
    press(Qt::LeftButton, {100, 150});   // the ball, at 50,50
    QCOMPARE(board->nDragItem, 0);
    release(Qt::LeftButton, {102, 150});

    QCOMPARE(CharItems[0].nX, 51);
    QCOMPARE(CharItems[0].nY, 50);
    QCOMPARE(moved, std::vector<int>{0});
    QCOMPARE(board->nDragItem, -1);
    // Own moves show only when the room sends the line back.
    QCOMPARE(board->ImageGround->Picture().cacheKey(), pictureBefore);
}

void TestBoard::dragsThatChangeNothing_data()
{
    QTest::addColumn<int>("nItem");
    QTest::addColumn<int>("startX");   // hundredths, set before the drag
    QTest::addColumn<int>("startY");
    QTest::addColumn<QPoint>("offset");

    QTest::newRow("one right, two down") << 0 << 50 << 50 << QPoint(1, 2);
    QTest::newRow("back to the same spot") << 0 << 50 << 50 << QPoint(0, 0);
    QTest::newRow("past the right edge") << 5 << 99 << 18 << QPoint(3, 0);
    QTest::newRow("past the left edge") << 5 << 0 << 18 << QPoint(-2, 30);
    QTest::newRow("past the top edge") << 1 << 50 << 0 << QPoint(20, -3);
    QTest::newRow("past the bottom edge") << 12 << 50 << 99 << QPoint(-20, 3);
}

void TestBoard::dragsThatChangeNothing()
{
    QFETCH(int, nItem);
    QFETCH(int, startX);
    QFETCH(int, startY);
    QFETCH(QPoint, offset);
    CharItems[nItem].nX = startX;
    CharItems[nItem].nY = startY;
    const QPoint from = Centre(nItem);
    QCOMPARE(board->FindCharAt(from.x(), from.y()), nItem);

    press(Qt::LeftButton, from);
    release(Qt::LeftButton, from + offset);
    QCOMPARE(CharItems[nItem].nX, startX);
    QCOMPARE(CharItems[nItem].nY, startY);
    QVERIFY(moved.empty());
    QCOMPARE(board->nDragItem, -1);
}

void TestBoard::pressOnGrassStartsNoDrag()
{
    press(Qt::LeftButton, {10, 280});
    QCOMPARE(board->nDragItem, -1);
    release(Qt::LeftButton, {100, 150});
    QVERIFY(moved.empty());
    QCOMPARE(CharItems[0].nX, 50);
}

void TestBoard::handCursorOverMarkers()
{
    auto moveTo = [this](QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, board->ImageGround->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(board->ImageGround, &move);
    };
    moveTo(Centre(7));
    QCOMPARE(board->ImageGround->cursor().shape(), Qt::PointingHandCursor);
    moveTo({10, 280});
    QCOMPARE(board->ImageGround->cursor().shape(), Qt::ArrowCursor);
    moveTo(Centre(7));
    press(Qt::LeftButton, Centre(7));
    release(Qt::LeftButton, Centre(7));
    QCOMPARE(board->ImageGround->cursor().shape(), Qt::ArrowCursor);
}

// --- naming ----------------------------------------------------------------------

void TestBoard::rightClickRenamesAndReports()
{
    const qint64 pictureBefore = board->ImageGround->Picture().cacheKey();
    ModalSteps steps(*nameDialog, [this] {
        QCOMPARE(nameDialog->EditName->text(), QStringLiteral("1"));
        QCOMPARE(nameDialog->EditName->selectedText(), QStringLiteral("1"));
        DialogDriver::TypeText(nameDialog->EditName, QStringLiteral("ボ9"));
        DialogDriver::PressKey(*nameDialog, Qt::Key_Return);
    });
    press(Qt::RightButton, Centre(1));
    release(Qt::RightButton, Centre(1));

    QVERIFY(steps.Ran());
    QVERIFY(!steps.LeftOpen());
    QCOMPARE(CharItems[1].Name, std::string("\x83\x7b" "9"));
    QCOMPARE(named, std::vector<int>{1});
    QCOMPARE(board->nDragItem, -1);
    QCOMPARE(board->ImageGround->Picture().cacheKey(), pictureBefore);
}

void TestBoard::confirmingAnUnchangedNameStillReports()
{
    ModalSteps steps(*nameDialog, [this] { DialogDriver::PressKey(*nameDialog, Qt::Key_Return); });
    press(Qt::MiddleButton, Centre(22));
    release(Qt::MiddleButton, Centre(22));
    QVERIFY(steps.Ran());
    QCOMPARE(CharItems[22].Name, std::string("11"));
    QCOMPARE(named, std::vector<int>{22});

    // A peer's name that CP932 maps elsewhere ("≒" of the NEC row) or cannot read keeps its bytes.
    CharItems[22].Name = "\x87\x90\x81";
    ModalSteps again(*nameDialog, [this] { DialogDriver::PressKey(*nameDialog, Qt::Key_Return); });
    release(Qt::RightButton, Centre(22));
    QCOMPARE(CharItems[22].Name, std::string("\x87\x90\x81"));

    // The empty name is a name too.
    ModalSteps clear(*nameDialog, [this] {
        nameDialog->EditName->clear();
        DialogDriver::PressKey(*nameDialog, Qt::Key_Return);
    });
    release(Qt::RightButton, Centre(22));
    QVERIFY(clear.Ran());
    QCOMPARE(CharItems[22].Name, std::string());
    QCOMPARE(named, (std::vector<int>{22, 22, 22}));
}

void TestBoard::cancelKeepsTheName()
{
    ModalSteps steps(*nameDialog, [this] {
        DialogDriver::TypeText(nameDialog->EditName, QStringLiteral("zz"));
        DialogDriver::PressKey(*nameDialog, Qt::Key_Escape);
    });
    release(Qt::RightButton, Centre(3));
    QVERIFY(steps.Ran());
    QVERIFY(!steps.LeftOpen());
    QCOMPARE(CharItems[3].Name, std::string("3"));
    QVERIFY(named.empty());
}

void TestBoard::rightClickOnGrassOpensNoDialog()
{
    ModalSteps steps(*nameDialog, [] {});
    press(Qt::RightButton, {10, 280});
    release(Qt::RightButton, {10, 280});
    QVERIFY(!steps.Ran());
    QVERIFY(named.empty());
}

void TestBoard::nameWithABlankIsRefused()
{
    BoxRecorder boxes;
    bool stayedOpen = false;
    ModalSteps steps(*nameDialog, [&] {
        nameDialog->EditName->setText(QStringLiteral("a b"));
        DialogDriver::PressKey(*nameDialog, Qt::Key_Return);
        stayedOpen = nameDialog->isVisible();
        nameDialog->EditName->setText(QStringLiteral("a\tb"));
        nameDialog->ButtonOk->click();
        nameDialog->EditName->setText(QStringLiteral("ab"));
        nameDialog->ButtonOk->click();
    });
    release(Qt::RightButton, Centre(14));

    QVERIFY(steps.Ran());
    QVERIFY(stayedOpen);
    QVERIFY(!steps.LeftOpen());
    const QString refusal = QStringLiteral("選手名には空白や制御文字は使えません");
    QCOMPARE(boxes.Texts(), (QStringList{refusal, refusal}));
    QCOMPARE(boxes.Captions().value(0), QStringLiteral("エラー"));
    QCOMPARE(CharItems[14].Name, std::string("ab"));
    QCOMPARE(named, std::vector<int>{14});
}

void TestBoard::nameEditTakesSixBytes()
{
    QString typed;
    ModalSteps steps(*nameDialog, [&] {
        nameDialog->EditName->clear();
        DialogDriver::TypeText(nameDialog->EditName, QStringLiteral("ボール1"));
        typed = nameDialog->EditName->text();
        DialogDriver::PressKey(*nameDialog, Qt::Key_Return);
    });
    release(Qt::RightButton, Centre(0));
    QVERIFY(steps.Ran());
    QCOMPARE(typed, QStringLiteral("ボール"));
    QCOMPARE(CharItems[0].Name, std::string("\x83\x7b\x81\x5b\x83\x8b"));
    QCOMPARE(nameDialog->windowTitle(), QStringLiteral("選手名設定"));
    QCOMPARE(nameDialog->size(), QSize(213, 81));
}

// --- board lines -----------------------------------------------------------------

void TestBoard::parseTalkRedrawsOnlyWhenApplied()
{
    board->ShowBoard(3, RoomName);
    board->close();
    // An own move: stored in the table, not yet drawn.
    CharItems[1].nX = 10;
    CharItems[1].nY = 80;
    const QPoint newSpot = Centre(1);   // 20, 240
    QVERIFY(IsGreen(pixel(newSpot)));
    const qint64 before = board->ImageGround->Picture().cacheKey();

    QVERIFY(board->ParseTalk(4, "*!B!*B1080"));   // another room: swallowed
    QVERIFY(board->ParseTalk(3, "*!B!*"));
    QVERIFY(board->ParseTalk(3, "*!N!*"));
    QVERIFY(board->ParseTalk(3, "*!B!*b1080"));
    QVERIFY(!board->ParseTalk(3, "hello"));
    QVERIFY(!board->ParseTalk(3, " *!B!*B1080"));
    QVERIFY(!board->ParseTalk(3, nullptr));
    QCOMPARE(board->ImageGround->Picture().cacheKey(), before);

    QVERIFY(board->ParseTalk(3, "*!B!*B1080"));   // the echo of the own move
    QCOMPARE(pixel(newSpot), qRgb(255, 0, 0));
}

void TestBoard::buttonAllReports()
{
    QTest::mouseClick(board->ButtonAll, Qt::LeftButton);
    QCOMPARE(allCount, 1);
    QVERIFY(board->ButtonAll->toolTip().isEmpty());
    QCOMPARE(board->ButtonAll->property("hint").toString(),
             QStringLiteral("新しく部屋に入ってきたユーザにフォーメーション情報を送ります"));

    board->OnAllChar = nullptr;
    QTest::mouseClick(board->ButtonAll, Qt::LeftButton);
    QCOMPARE(allCount, 1);
}

void TestBoard::buttonCopyPutsBothLinesOnTheClipboard()
{
    CharItems[0].Name = "\x83\x7b\x81\x5b\x83\x8b";   // "ボール"
    CharItems[22].nX = 7;
    QTest::mouseClick(board->ButtonCopy, Qt::LeftButton);

    const QString expected = QStringLiteral(
        "※下記の2行をチャットに入力すると初期フォーメーションを設定できます。1行ずつ分けて送信してください\n"
        "*!B!*A5050B5007C6018D3519E8119F1318G4925H7130I2331J6241K5036L3641"
        "M5093N5182O2081P7980Q3672R6473S2064T7964U3756V5164W0756\n"
        "*!N!*Aボール B1 C2 D3 E4 F5 G6 H7 I8 J9 K10 L11 M1 N2 O3 P4 Q5 R6 S7 T8 U9 V10 W11 \n");
    QCOMPARE(QGuiApplication::clipboard()->text(), expected);
    // A lone lead byte from a peer shows as U+FFFD; the Shift-JIS flavour keeps it.
    CharItems[1].Name = "\x81";
    QTest::mouseClick(board->ButtonCopy, Qt::LeftButton);
    QVERIFY(QGuiApplication::clipboard()->text().contains(QStringLiteral("ボール B\uFFFD C2 ")));
    QVERIFY(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/plain;charset=Shift_JIS"))
                .contains("*!N!*A\x83\x7b\x81\x5b\x83\x8b B\x81 C2 "));
    QVERIFY(moved.empty());
    QCOMPARE(allCount, 0);
    QCOMPARE(board->ButtonCopy->property("hint").toString(),
             QStringLiteral("初期値をクリップボードにコピーします"));
}

void TestBoard::appendDelegatesToTheTable()
{
    CharItems[1].nY = 10;
    std::string text;
    board->AppendPosition(1, text, true);
    QCOMPARE(text, std::string("*!B!*B5010"));
    text.clear();
    board->AppendName(12, text, true);
    QCOMPARE(text, std::string("*!N!*M1 "));
    text.clear();
    board->AppendAllPositions(text);
    QCOMPARE(text.size(), std::size_t{120});
    text.clear();
    board->AppendAllNames(text);
    QCOMPARE(text.size(), std::size_t{77});
}

// --- the picture -----------------------------------------------------------------

void TestBoard::defaultPictureShowsMarkersOnGrass()
{
    const QImage& picture = board->ImageGround->Picture();
    QCOMPARE(picture.size(), QSize(200, 300));
    QCOMPARE(board->ImageGround->geometry(), QRect(0, 4, 200, 300));
    QCOMPARE(pixel(Centre(0)), qRgb(255, 255, 255));
    for (int i = 1; i <= 11; ++i)
        QVERIFY2(pixel(Centre(i)) == qRgb(255, 0, 0), qPrintable(QString::number(i)));
    for (int i = 12; i <= 22; ++i)
        QVERIFY2(pixel(Centre(i)) == qRgb(0, 0, 255), qPrintable(QString::number(i)));
    for (const QPoint grass : {QPoint(10, 10), QPoint(190, 290), QPoint(180, 130), QPoint(20, 170),
                               QPoint(100, 200), QPoint(10, 280)})
        QVERIFY2(IsGreen(pixel(grass)), qPrintable(QStringLiteral("%1,%2").arg(grass.x()).arg(grass.y())));
}

void TestBoard::markerDiscIsFourteenPixelsAcross()
{
    // Marker B at 100,21 has open grass on every side but below, where its name is.
    const QRgb red = qRgb(255, 0, 0);
    QCOMPARE(pixel({93, 21}), red);
    QCOMPARE(pixel({106, 21}), red);
    QCOMPARE(pixel({100, 14}), red);
    QCOMPARE(pixel({100, 27}), red);
    QVERIFY(pixel({92, 21}) != red);
    QVERIFY(pixel({107, 21}) != red);
    QVERIFY(pixel({100, 13}) != red);
}

void TestBoard::namesAreDrawnUnderTheDisc()
{
    // The ball moved to open grass: no name, so nothing white under the disc.
    CharItems[0].nX = 10;
    CharItems[0].nY = 40;   // centre 20,120
    board->DrawBoard();
    auto whiteUnderBall = [this] {
        for (int y = 127; y < 141; ++y)
            for (int x = 8; x < 33; ++x)
                if (IsNearWhite(pixel({x, y})))
                    return true;
        return false;
    };
    QVERIFY(!whiteUnderBall());
    QCOMPARE(pixel({20, 120}), qRgb(255, 255, 255));

    CharItems[0].Name = "AB";
    board->DrawBoard();
    QVERIFY(whiteUnderBall());
    QVERIFY(IsGreen(pixel({20, 112})));   // nothing drawn above the disc
}

void TestBoard::initBoardLeavesNoTrace()
{
    const QPoint oldSpot = Centre(9);
    CharItems[9].nX = 90;
    board->DrawBoard();
    QCOMPARE(pixel(oldSpot), board->GroundPicture.pixel(oldSpot));

    CharItems[9].nX = 62;
    CharItems[9].Name = "x";
    CharItems[10].nX = 2;
    board->InitBoard();
    QCOMPARE(pixel({180, 123}), board->GroundPicture.pixel(180, 123));
    QCOMPARE(pixel(oldSpot), qRgb(255, 0, 0));
    QCOMPARE(pixel({4, 108}), board->GroundPicture.pixel(4, 108));
}

void TestBoard::doubleDensityDrawsFinerPixelsOnTheSamePitch()
{
    board->UsePixelRatio(2);
    board->InitBoard();
    const QImage& picture = board->ImageGround->Picture();
    QCOMPARE(picture.size(), QSize(400, 600));
    QCOMPARE(board->ImageGround->geometry(), QRect(0, 4, 200, 300));
    // The halfway line fills both device rows of pitch row 150.
    const QRgb white = qRgb(255, 255, 255);
    QCOMPARE(picture.pixel(20, 300), white);
    QCOMPARE(picture.pixel(20, 301), white);
    QVERIFY(IsGreen(picture.pixel(20, 299)) && IsGreen(picture.pixel(20, 302)));
    // The grass is textured per device pixel, not the small picture's pixels doubled.
    int texturedBlocks = 0;
    for (int x = 0; x < 40; x += 2)
        texturedBlocks += picture.pixel(x, 20) != picture.pixel(x + 1, 20);
    QVERIFY(texturedBlocks > 5);
    // Marker B's disc centre is device pixel 200,42; its positions stay in pitch pixels.
    QCOMPARE(picture.pixel(200, 42), qRgb(255, 0, 0));
    QCOMPARE(CharItems[1].nWidth, 200);
    QCOMPARE(CharItems[1].nHeight, 300);
    press(Qt::LeftButton, {100, 21});
    release(Qt::LeftButton, {104, 21});
    QCOMPARE(moved, std::vector<int>{1});
    std::string line;
    board->AppendPosition(1, line, true);
    QCOMPARE(line, std::string("*!B!*B5207"));
}

QTEST_MAIN(TestBoard)
#include "tst_board.moc"
