#include "Board.h"
#include "BoardLines.h"
#include "BoardPacer.h"
#include "Contrast.h"
#include "DialogDriver.h"
#include "Unitboard.h"
#include "Unitboardname.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QFile>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QWindow>
#include <QTest>

#include <functional>
#include <memory>
#include <optional>
#include <sys/stat.h>
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

// The window manager's stacking, bottom first (_NET_CLIENT_LIST_STACKING);
// empty without a window manager or off X11.
QList<WId> WindowManagerStacking()
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    if (!xprop.waitForFinished(5000))
        return {};
    const QString out = QString::fromLatin1(xprop.readAllStandardOutput());
    QList<WId> ids;
    static const QRegularExpression hex(QStringLiteral("0x[0-9a-fA-F]+"));
    for (auto it = hex.globalMatch(out.section(QLatin1Char('#'), 1)); it.hasNext();)
        ids.append(it.next().captured().toULongLong(nullptr, 16));
    return ids;
}

// Run on X11 under a window manager (openbox), asks it whether `upper` is
// stacked above `lower`, waiting a little for it to map the new window. On the
// offscreen platform there is no stacking but Qt's own, which the callers check.
bool StackedAbove(const QWidget& upper, const QWidget& lower)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb") || WindowManagerStacking().isEmpty())
        return true;
    for (int attempt = 0; attempt < 40; ++attempt) {
        const QList<WId> stacking = WindowManagerStacking();
        const qsizetype u = stacking.indexOf(upper.winId());
        const qsizetype l = stacking.indexOf(lower.winId());
        if (u >= 0 && l >= 0 && u > l)
            return true;
        QTest::qWait(50);
    }
    return false;
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
    void nameDialogOpensAboveTheBoard();

    void parseTalkRedrawsOnlyWhenApplied();
    void buttonAllReports();
    void buttonCopyPutsBothLinesOnTheClipboard();
    void appendDelegatesToTheTable();

    void defaultPictureShowsMarkersOnGrass();
    void markerDiscIsFourteenPixelsAcross();
    void namesAreDrawnUnderTheDisc();
    void namesReadOnTheGrassUnderThem();
    void initBoardLeavesNoTrace();
    void doubleDensityDrawsFinerPixelsOnTheSamePitch();

    void builtInsLoadFromTheMenuAndSendOnlyWhenBound();
    void keptFormationsAreSavedLoadedAndDeleted();
    void damagedFormationFileIsToldOnce();
    void keptTitlesShowInTheMenuAsWritten();
    void keptFormationIsNotReplacedSilently();
    void pasteLoadsTheCopyText();
    void everyRoadOfAWholeFormationGivesPeersTheSamePicture();
    void undoAndRedoSendOwnChangesAsBoardLines();
    void undoHistoryBelongsToTheRoomBinding();
    void tabChoosesMarkersAndArrowsMoveThem();
    void keyRepeatSendsOneLineOnceKeysRest();
    void chosenMarkerFollowsAPeersChange();
    void enterOpensTheNameDialogOfTheChosenMarker();
    void statusLineTellsWhoMovedWhat();
    void statusLineShowsAHostileSpeakerAsPlainText();
    void statusLineBelongsToTheRoomBinding();
    void pictureIsTheBoardsOwnDrawing();

private:
    QAction* menuAction(QMenu* menu, const QString& text) const;
    void useFormationFile(const QByteArray& bytes = {});
    QString formationPath() const { return tempDir->filePath(QStringLiteral("kvchat-formations.txt")); }

    std::unique_ptr<QTemporaryDir> tempDir;
    void press(Qt::MouseButton button, QPoint at);
    void release(Qt::MouseButton button, QPoint at);
    QRgb pixel(QPoint at) const { return board->ImageGround->Picture().pixel(at); }
    // The picture the board draws of a table (the board's own table is left as it was).
    QImage pictureOf(const CharItemTable& table) const;

    std::unique_ptr<TFormBoard> board;
    std::unique_ptr<TFormBoardName> nameDialog;
    std::vector<std::string> lines;
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
    lines.clear();
    // Each line the board hands out, read back as the move, rename or whole formation it is.
    connect(board.get(), &TFormBoard::LineReady, board.get(), [this](int nRoom, const std::string& text) {
        QCOMPARE(nRoom, board->nRoomNo);
        QVERIFY(text.size() <= 200);
        lines.push_back(text);
        const int item = text.size() > 5 ? text[5] - 'A' : -1;
        if (text.starts_with("*!B!*"))
            text.size() == 10 ? moved.push_back(item) : void(++allCount);
        else if (text.size() <= 5 + 1 + 6 + 1)
            named.push_back(item);
    });
    connect(board.get(), &TFormBoard::Closed, board.get(), [this] { ++closeCount; });
    tempDir = std::make_unique<QTemporaryDir>();
}

QAction* TestBoard::menuAction(QMenu* menu, const QString& text) const
{
    emit menu->aboutToShow();   // the menu fills itself as it opens
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
        if (action->menu() != nullptr)
            if (QAction* inner = menuAction(action->menu(), text))
                return inner;
    }
    return nullptr;
}

void TestBoard::useFormationFile(const QByteArray& bytes)
{
    if (!bytes.isNull()) {
        QFile file(formationPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    board->UseFormationFile(formationPath().toStdString());
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
    // The pitch and the two buttons where they always were; the new controls below them.
    QCOMPARE(board->size(), QSize(204, 384));
    QCOMPARE(board->ImageGround->geometry(), QRect(0, 4, 200, 300));
    QCOMPARE(board->ButtonCopy->geometry(), QRect(4, 308, 81, 25));
    QCOMPARE(board->ButtonAll->geometry(), QRect(120, 308, 81, 25));
    for (const QWidget* added : {static_cast<QWidget*>(board->ButtonFormation), static_cast<QWidget*>(board->ButtonPicture),
                                 static_cast<QWidget*>(board->LabelStatus)})
        QVERIFY(added->geometry().top() >= 336 && added->geometry().bottom() < 384);
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

}

// --- dragging --------------------------------------------------------------------

void TestBoard::dragTwoPixelsRightMovesAndReports()
{
    board->ShowBoard(3, RoomName);
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
    board->nRoomNo = 3;   // bound, not shown
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
    board->nRoomNo = 3;   // bound, not shown
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
    // Renames in a row go out once the user rests.
    QTRY_COMPARE(named, (std::vector<int>{22, 22}));

    // The empty name is a name too.
    ModalSteps clear(*nameDialog, [this] {
        nameDialog->EditName->clear();
        DialogDriver::PressKey(*nameDialog, Qt::Key_Return);
    });
    release(Qt::RightButton, Centre(22));
    QVERIFY(clear.Ran());
    QCOMPARE(CharItems[22].Name, std::string());
    QTRY_COMPARE(named, (std::vector<int>{22, 22, 22}));
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
    board->nRoomNo = 3;   // bound, not shown
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

void TestBoard::nameDialogOpensAboveTheBoard()
{
    struct Seen {
        bool onTop = false;
        QWindow* owner = nullptr;
        bool abovePerWindowManager = true;
    };
    auto openDialog = [this](QPoint at) {
        Seen seen;
        ModalSteps steps(*nameDialog, [&] {
            seen.onTop = nameDialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            seen.owner = nameDialog->windowHandle()->transientParent();
            if (board->isVisible())
                seen.abovePerWindowManager = StackedAbove(*nameDialog, *board);
            DialogDriver::PressKey(*nameDialog, Qt::Key_Escape);
        });
        release(Qt::RightButton, at);
        if (!steps.Finished())
            seen.owner = reinterpret_cast<QWindow*>(-1);
        return seen;
    };
    board->ShowBoard(3, RoomName);
    Seen seen = openDialog(Centre(1));
    QVERIFY(seen.onTop);
    QCOMPARE(seen.owner, board->windowHandle());
    QVERIFY(seen.abovePerWindowManager);

    // With the board closed the dialog is an ordinary window again.
    board->close();
    seen = openDialog(Centre(2));
    QVERIFY(!seen.onTop);
    QVERIFY(seen.owner != board->windowHandle());
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
    board->ShowBoard(3, RoomName);
    QTest::mouseClick(board->ButtonAll, Qt::LeftButton);
    QCOMPARE(allCount, 1);
    QVERIFY(board->ButtonAll->toolTip().isEmpty());
    QCOMPARE(board->ButtonAll->property("hint").toString(),
             QStringLiteral("新しく部屋に入ってきたユーザにフォーメーション情報を送ります"));

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

// Each name's ink against the grass it is drawn on (the light and the dark
// stripes), at the plain and the double density.
void TestBoard::namesReadOnTheGrassUnderThem()
{
    for (const int ratio : {1, 2}) {
        board->UsePixelRatio(ratio);
        board->InitBoard();
        board->DrawBoard();
        const QImage picture = board->ImageGround->Picture();
        const QImage& ground = board->GroundPicture;
        const QFontMetrics metrics(board->font());
        for (std::size_t i = 0; i < CharItems.size(); ++i) {
            const CharItem& item = CharItems[i];
            if (item.Name.empty())
                continue;
            const int w = metrics.horizontalAdvance(QString::fromLatin1(item.Name.c_str()));
            const QRect area((item.CenterX() - w / 2 - 1) * ratio, (item.CenterY() + item.nRadius) * ratio,
                             (w + 2) * ratio, metrics.height() * ratio);
            // The ink is the colour of the most covered pixel: the change that moves furthest from the grass.
            int inkPixels = 0;
            double red = 0, green = 0, blue = 0;
            QColor ink;
            double inkDistance = -1;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x) {
                    // The pitch's white lines under a name are not the grass it is read on.
                    if (picture.pixel(x, y) == ground.pixel(x, y) || !IsGreen(ground.pixel(x, y)))
                        continue;
                    ++inkPixels;
                    const double distance = std::abs(RelativeLuminance(QColor(picture.pixel(x, y))) -
                                                     RelativeLuminance(QColor(ground.pixel(x, y))));
                    if (distance > inkDistance) {
                        inkDistance = distance;
                        ink = QColor(picture.pixel(x, y));
                    }
                    red += qRed(ground.pixel(x, y));
                    green += qGreen(ground.pixel(x, y));
                    blue += qBlue(ground.pixel(x, y));
                }
            QVERIFY2(inkPixels > 0, item.Name.c_str());
            const QColor under(int(red / inkPixels), int(green / inkPixels), int(blue / inkPixels));
            const double contrast = ContrastRatio(ink, under);
            if (qEnvironmentVariableIsSet("KV_CONTRAST_TABLE"))
                qInfo("ratio %d, name %s: %s on %s, %.2f:1", ratio, item.Name.c_str(), qPrintable(ink.name()),
                      qPrintable(under.name()), contrast);
            QVERIFY2(contrast >= ReadableContrast, qPrintable(QStringLiteral("ratio %1, name %2: %3:1")
                                                                  .arg(ratio).arg(item.Name.c_str()).arg(contrast)));
        }
    }
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
    board->nRoomNo = 3;
    press(Qt::LeftButton, {100, 21});
    release(Qt::LeftButton, {104, 21});
    QCOMPARE(moved, std::vector<int>{1});
    std::string line;
    board->AppendPosition(1, line, true);
    QCOMPARE(line, std::string("*!B!*B5207"));
}

// --- formations ---------------------------------------------------------------------

void TestBoard::builtInsLoadFromTheMenuAndSendOnlyWhenBound()
{
    QAction* side1 = nullptr;
    {
        emit board->MenuFormation->aboutToShow();
        for (QAction* a : board->MenuFormation->actions())
            if (a->text() == QStringLiteral("サイド1 (赤)"))
                side1 = a;
    }
    QVERIFY(side1 && side1->menu());
    // Each opening fills the menu anew and leaves no submenus of the last one behind.
    for (int i = 0; i < 3; ++i)
        emit board->MenuFormation->aboutToShow();
    QCOMPARE(board->MenuFormation->findChildren<QMenu*>().size(), 3);   // the two sides and "削除"
    QStringList titles;
    for (QAction* a : side1->menu()->actions())
        titles << a->text();
    QCOMPARE(titles, (QStringList{"4-4-2", "4-3-3", "3-5-2", "4-2-3-1", "5-3-2"}));

    // Not bound to a room: the board takes the formation, nothing is sent.
    side1->menu()->actions().at(4)->trigger();   // 5-3-2
    QCOMPARE(CharItems[1 + 1].nX, 8);
    QCOMPARE(pixel(Centre(2)), qRgb(255, 0, 0));
    QCOMPARE(allCount, 0);

    // Bound: sent as ButtonAll sends it.
    board->ShowBoard(3, RoomName);
    board->LoadBuiltInFormation(0, BoardSide::Side2);
    QCOMPARE(allCount, 1);
    QCOMPARE(CharItems[12].nY, 93);
    QCOMPARE(CharItems[13].nX, 85);
    QVERIFY(moved.empty() && named.empty());
}

void TestBoard::keptFormationsAreSavedLoadedAndDeleted()
{
    useFormationFile();
    board->ShowBoard(3, RoomName);
    CharItems[5].nX = 3;
    CharItems[5].Name = "\x83\x7b";   // "ボ"
    ModalSteps steps(*board->TitleDialog, [this] {
        QVERIFY(board->TitleDialog->isVisible());
        QVERIFY(board->TitleDialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        board->TitleDialog->setTextValue(QStringLiteral(" 練習 "));
        board->TitleDialog->accept();
    });
    QAction* save = menuAction(board->MenuFormation, QStringLiteral("保存..."));
    QVERIFY(save);
    save->trigger();
    QVERIFY(steps.Finished());

    QFile file(formationPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.contains("[\x97\xfb\x8f\x4b]\n*!B!*A5050B5007C6018D3519E8119F0318"));
    QVERIFY(bytes.contains("\n*!N!*A B1 C2 D3 E4 F\x83\x7b G6 "));

    ResetCharItems(CharItems, 200, 300);
    QAction* load = menuAction(board->MenuFormation, QStringLiteral("練習"));
    QVERIFY(load);
    load->trigger();
    QCOMPARE(CharItems[5].nX, 3);
    QCOMPARE(CharItems[5].Name, std::string("\x83\x7b"));
    QCOMPARE(allCount, 1);

    QMenu* remove = menuAction(board->MenuFormation, QStringLiteral("削除"))->menu();
    QVERIFY(remove);
    QCOMPARE(remove->actions().size(), 1);
    remove->actions().constFirst()->trigger();
    QVERIFY(board->Formations()->Formations().empty());
    QVERIFY(!menuAction(board->MenuFormation, QStringLiteral("練習")));
    QVERIFY(!menuAction(board->MenuFormation, QStringLiteral("削除"))->isEnabled());
}

void TestBoard::keptTitlesShowInTheMenuAsWritten()
{
    useFormationFile("[R&D]\n*!B!*A0101\n*!N!*A \n[&&x]\n*!B!*A0202\n*!N!*A \n");
    // What a menu shows of an action's text: "&&" is one "&", a lone "&" marks the key.
    const auto shown = [](const QString& text) {
        QString out;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == QLatin1Char('&') && i + 1 < text.size())
                ++i;
            out += text[i];
        }
        return out;
    };
    QStringList loads;
    QStringList removes;
    emit board->MenuFormation->aboutToShow();
    for (QAction* action : board->MenuFormation->actions())
        if (!action->menu() && !action->isSeparator())
            loads << shown(action->text());
    QMenu* remove = menuAction(board->MenuFormation, QStringLiteral("削除"))->menu();
    QVERIFY(remove);
    for (QAction* action : remove->actions())
        removes << shown(action->text());
    QVERIFY2(loads.contains(QStringLiteral("R&D")) && loads.contains(QStringLiteral("&&x")), qPrintable(loads.join('|')));
    QCOMPARE(removes, (QStringList{QStringLiteral("R&D"), QStringLiteral("&&x")}));
}

void TestBoard::keptFormationIsNotReplacedSilently()
{
    useFormationFile();
    board->ShowBoard(3, RoomName);
    CharItems[5].nX = 3;
    QVERIFY(board->SaveFormation(QStringLiteral("練習")));
    const auto kept = [this] {
        QFile file(formationPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    CharItems[5].nX = 9;
    for (const bool replace : {false, true}) {
        ModalSteps steps(*board->ReplaceQuestion, [this, replace] {
            QVERIFY(board->ReplaceQuestion->text().contains(QStringLiteral("練習")));
            board->ReplaceQuestion->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        QCOMPARE(board->SaveFormation(QStringLiteral("練習")), replace);
        QVERIFY(steps.Finished());
        QCOMPARE(kept().contains("F0918"), replace);
    }

    // A title Shift-JIS cannot hold is refused, never kept as "?A".
    BoxRecorder boxes;
    QVERIFY(!board->SaveFormation(QStringLiteral("⚽A")));
    QCOMPARE(boxes.Texts().size(), 1);
    QVERIFY(boxes.Texts().constFirst().contains(QStringLiteral("⚽")));
    QCOMPARE(board->Formations()->Formations().size(), std::size_t(1));

    // The title dialog comes back with the text as typed.
    QString offeredAgain;
    std::optional<ModalSteps> again;
    ModalSteps first(*board->TitleDialog, [&] {
        board->TitleDialog->setTextValue(QStringLiteral("🏆A"));
        again.emplace(*board->TitleDialog, [&] {
            offeredAgain = board->TitleDialog->textValue();
            board->TitleDialog->reject();
        });
        board->TitleDialog->accept();
    });
    menuAction(board->MenuFormation, QStringLiteral("保存..."))->trigger();
    QVERIFY(first.Finished() && again && again->Finished());
    QCOMPARE(offeredAgain, QStringLiteral("🏆A"));
    QCOMPARE(board->Formations()->Formations().size(), std::size_t(1));
}

void TestBoard::damagedFormationFileIsToldOnce()
{
    useFormationFile("[a]\n*!B!*A0101\n*!N!*A \nnot a line\n");
    BoxRecorder boxes;
    board->ShowBoard(3, RoomName);
    QTRY_COMPARE(boxes.Texts().size(), 1);
    QVERIFY(boxes.Texts().constFirst().contains(formationPath()));
    QVERIFY(menuAction(board->MenuFormation, QStringLiteral("a")));   // what could be read is there
    board->close();
    board->ShowBoard(3, RoomName);
    QCoreApplication::processEvents();
    QCOMPARE(boxes.Texts().size(), 1);
}

void TestBoard::pasteLoadsTheCopyText()
{
    board->ShowBoard(3, RoomName);
    CharItems[7].nX = 1;
    CharItems[7].Name = "x";
    board->ButtonCopyClick();
    ResetCharItems(CharItems, 200, 300);
    QAction* paste = menuAction(board->MenuFormation, QStringLiteral("クリップボードから貼り付け"));
    QVERIFY(paste);
    paste->trigger();
    QCOMPARE(CharItems[7].nX, 1);
    QCOMPARE(CharItems[7].Name, std::string("x"));
    QCOMPARE(allCount, 1);

    // Anything else on the clipboard changes nothing and says why.
    BoxRecorder boxes;
    QGuiApplication::clipboard()->setText(QStringLiteral("hello"));
    QVERIFY(!board->PasteFormation());
    QCOMPARE(boxes.Texts().size(), 1);
    QCOMPARE(CharItems[7].nX, 1);
    QTRY_VERIFY(!board->LinesPending());
    QCOMPARE(allCount, 1);
}

QImage TestBoard::pictureOf(const CharItemTable& table) const
{
    const CharItemTable kept = CharItems;
    CharItems = table;
    board->DrawBoard();
    QImage picture = board->BoardPicture();
    CharItems = kept;
    board->DrawBoard();
    return picture;
}

void TestBoard::everyRoadOfAWholeFormationGivesPeersTheSamePicture()
{
    useFormationFile();
    board->ShowBoard(3, RoomName);
    // 23 names of 193 bytes from peers, each in a legal line of its own.
    for (int i = 0; i < CharItemCount; ++i) {
        const std::string line = "*!N!*" + std::string(1, CharItemLetter(i)) + std::string(1, CharItemLetter(i))
                               + std::string(192, char('0' + i % 10));
        QVERIFY(board->ParseTalk(3, line.c_str()));
    }
    QVERIFY(board->SaveFormation(QStringLiteral("long")));
    board->ButtonCopyClick();
    const std::vector<std::pair<const char*, std::function<void()>>> roads{
        {"全位置送信", [this] { board->ButtonAllClick(); }},
        {"built-in", [this] { board->LoadBuiltInFormation(2, BoardSide::Side2); }},
        {"kept", [this] {
             ResetCharItems(CharItems, 200, 300);
             board->LoadSavedFormation("long");
         }},
        {"undo of a load", [this] { board->Undo(); }},
        {"redo of a load", [this] { board->Redo(); }},
        {"paste", [this] {
             ResetCharItems(CharItems, 200, 300);
             QVERIFY(board->PasteFormation());
         }},
    };
    for (const auto& [road, take] : roads) {
        lines.clear();
        take();
        QTRY_VERIFY(!board->LinesPending());
        // A peer whose board differs in every marker: all of it must come in the lines.
        CharItemTable peer;
        ResetCharItems(peer, 200, 300);
        for (CharItem& item : peer) {
            item.nX = 1;
            item.Name = "old";
        }
        for (const std::string& line : lines)
            ParseBoardLine(peer, 3, 3, line);
        for (int i = 0; i < CharItemCount; ++i) {
            QVERIFY2(peer[i].Name == CharItems[i].Name, road);
            QVERIFY2(peer[i].nX == CharItems[i].nX && peer[i].nY == CharItems[i].nY, road);
        }
        QVERIFY2(pictureOf(peer) == pictureOf(CharItems), road);
    }
}

void TestBoard::undoAndRedoSendOwnChangesAsBoardLines()
{
    board->ShowBoard(3, RoomName);
    board->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(board.get()));
    press(Qt::LeftButton, Centre(0));
    release(Qt::LeftButton, Centre(0) + QPoint(10, 0));
    QCOMPARE(CharItems[0].nX, 55);
    QCOMPARE(moved, std::vector<int>{0});

    QTest::keyClick(board.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(CharItems[0].nX, 50);
    QTRY_COMPARE(moved, (std::vector<int>{0, 0}));   // the ball's position line, once the user rests
    QTest::keyClick(board.get(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(CharItems[0].nX, 55);
    QTRY_COMPARE(moved, (std::vector<int>{0, 0, 0}));
    // The keys work with the focus on the formation button too, whose menu
    // shows them, greyed while there is nothing to take back.
    emit board->MenuFormation->aboutToShow();
    QVERIFY(menuAction(board->MenuFormation, QStringLiteral("元に戻す"))->isEnabled());
    QVERIFY(!menuAction(board->MenuFormation, QStringLiteral("やり直し"))->isEnabled());
    emit board->MenuFormation->aboutToHide();
    board->ButtonFormation->setFocus();
    QTest::keyClick(board->ButtonFormation, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(CharItems[0].nX, 50);
    QTest::keyClick(board->ButtonFormation, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(CharItems[0].nX, 55);
    // A click on 元に戻す in the open menu (which closes before the entry acts).
    QMenu* menu = board->MenuFormation;
    menu->popup(board->ButtonFormation->mapToGlobal(QPoint(0, 0)));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(0)).center());
    QCOMPARE(CharItems[0].nX, 50);
    QVERIFY(!menu->isVisible());
    QTest::keyClick(board->ButtonFormation, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(CharItems[0].nX, 55);
    QTRY_VERIFY(!board->LinesPending());

    // A peer's move of the ball since stays: undo finds nothing of the user's left.
    QVERIFY(board->ParseTalk(3, "*!B!*A2020"));
    board->Undo();
    QCOMPARE(CharItems[0].nX, 20);
    QVERIFY(!board->LinesPending());
    QVERIFY2(board->StatusText().contains(QStringLiteral("元に戻せません")), qPrintable(board->StatusText()));

    // A load undoes as a whole formation.
    board->LoadBuiltInFormation(1, BoardSide::Side1);
    QTRY_VERIFY(!board->LinesPending());
    const int sentAll = allCount;
    board->Undo();
    QCOMPARE(CharItems[2].nX, 60);
    QTRY_COMPARE(allCount, sentAll + 1);
}

void TestBoard::undoHistoryBelongsToTheRoomBinding()
{
    board->ShowBoard(3, RoomName);
    board->LoadBuiltInFormation(0, BoardSide::Side1);
    QVERIFY(board->CanUndo());
    board->close();
    board->ShowBoard(3, RoomName);
    QVERIFY(board->CanUndo());
    board->close();
    board->ShowBoard(4, RoomName);
    QVERIFY(!board->CanUndo());
}

void TestBoard::tabChoosesMarkersAndArrowsMoveThem()
{
    board->ShowBoard(3, RoomName);
    board->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(board.get()));
    board->ButtonCopy->setFocus();
    QTest::keyClick(board->ButtonCopy, Qt::Key_Tab);
    QVERIFY(board->ImageGround->hasFocus());
    QCOMPARE(board->FocusItem(), 0);
    QCOMPARE(board->ImageGround->accessibleName(), QStringLiteral("A ボール (50, 50)"));
    QTest::keyClick(board->ImageGround, Qt::Key_Tab);
    QCOMPARE(board->FocusItem(), 1);
    QCOMPARE(board->ImageGround->accessibleName(), QStringLiteral("B 1番 (50, 7)"));
    QTest::keyClick(board->ImageGround, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(board->FocusItem(), 0);

    // The ring is drawn on screen only, not into the board's picture.
    QTest::keyClick(board->ImageGround, Qt::Key_Tab);
    const QImage shown = board->ImageGround->grab().toImage();
    QVERIFY(shown.pixel(100, 21 - 10) != board->ImageGround->Picture().pixel(100, 21 - 10));

    QTest::keyClick(board->ImageGround, Qt::Key_Down);
    QCOMPARE(CharItems[1].nY, 8);
    QTest::keyClick(board->ImageGround, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(CharItems[1].nX, 55);
    QTest::keyClick(board->ImageGround, Qt::Key_Up, Qt::ShiftModifier);
    QCOMPARE(CharItems[1].nY, 3);
    QCOMPARE(board->ImageGround->accessibleName(), QStringLiteral("B 1番 (55, 3)"));
    QTest::keyClick(board->ImageGround, Qt::Key_Up, Qt::ShiftModifier);
    QCOMPARE(CharItems[1].nY, 0);   // stops at the edge
    QCOMPARE(pixel(Centre(1)), qRgb(255, 0, 0));   // drawn at once

    // From W, Tab goes on to the next control.
    board->SetFocusItem(22);
    QTest::keyClick(board->ImageGround, Qt::Key_Tab);
    QVERIFY(!board->ImageGround->hasFocus());
    QCOMPARE(board->FocusItem(), -1);
}

void TestBoard::chosenMarkerFollowsAPeersChange()
{
    board->ShowBoard(3, RoomName);
    board->SetFocusItem(1);
    QCOMPARE(board->ImageGround->accessibleName(), QStringLiteral("B 1番 (50, 7)"));
    QVERIFY(board->ParseTalk(3, "*!B!*B2030", "x"));
    QCOMPARE(board->ImageGround->accessibleName(), QStringLiteral("B 1番 (20, 30)"));
    QVERIFY(board->ParseTalk(3, "*!N!*A B\x83\x7b ", "x"));
    QCOMPARE(board->ImageGround->accessibleName(), QStringLiteral("B ボ (20, 30)"));
}

void TestBoard::keyRepeatSendsOneLineOnceKeysRest()
{
    board->ShowBoard(3, RoomName);
    board->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(board.get()));
    board->ImageGround->setFocus();
    board->SetFocusItem(3);
    for (int k = 0; k < 12; ++k)
        QTest::keyPress(board->ImageGround, Qt::Key_Left, Qt::NoModifier);
    QTest::keyRelease(board->ImageGround, Qt::Key_Left, Qt::NoModifier);
    QCOMPARE(CharItems[3].nX, 23);
    QVERIFY(moved.empty());
    QVERIFY(board->LinesPending());
    QTRY_COMPARE(moved, std::vector<int>{3});
    // The run of keys undoes as one step.
    board->Undo();
    QCOMPARE(CharItems[3].nX, 35);
    QVERIFY(!board->CanUndo());
    QTRY_VERIFY(!board->LinesPending());

    // Held as X holds a key: a first press, the rest of a pause longer than the
    // quiet time, then auto-repeated release and press pairs, then the release.
    moved.clear();
    const auto key = [this](QEvent::Type type, bool autoRepeat) {
        QKeyEvent event(type, Qt::Key_Right, Qt::NoModifier, QString(), autoRepeat);
        QCoreApplication::sendEvent(board->ImageGround, &event);
    };
    key(QEvent::KeyPress, false);
    QTest::qWait(int(BoardRestMs) + 200);
    for (int k = 0; k < 3; ++k) {
        key(QEvent::KeyRelease, true);
        key(QEvent::KeyPress, true);
    }
    QTest::qWait(int(BoardRestMs) + 200);
    QVERIFY(moved.empty());   // nothing while the key is down
    key(QEvent::KeyRelease, false);
    QTRY_COMPARE(moved, std::vector<int>{3});
    QCOMPARE(CharItems[3].nX, 39);
    board->Undo();
    QCOMPARE(CharItems[3].nX, 35);   // one step
}

void TestBoard::enterOpensTheNameDialogOfTheChosenMarker()
{
    board->ShowBoard(3, RoomName);
    board->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(board.get()));
    board->ImageGround->setFocus();
    board->SetFocusItem(9);
    for (const Qt::Key key : {Qt::Key_F2, Qt::Key_Return}) {
        ModalSteps steps(*nameDialog, [this] {
            QCOMPARE(nameDialog->EditName->text(), QString::fromStdString(CharItems[9].Name));
            nameDialog->EditName->setText(QStringLiteral("k"));
            DialogDriver::PressKey(*nameDialog, Qt::Key_Return);
        });
        QTest::keyClick(board->ImageGround, key);
        QVERIFY(steps.Finished());
    }
    QCOMPARE(CharItems[9].Name, std::string("k"));
    QTRY_COMPARE(named, (std::vector<int>{9, 9}));
}

void TestBoard::statusLineTellsWhoMovedWhat()
{
    board->ShowBoard(3, RoomName);
    const std::string taro = "\x83\x5e\x83\x8d\x83\x45";   // "タロウ"
    QVERIFY(board->ParseTalk(3, "*!B!*B5010", taro));
    QCOMPARE(board->StatusText(), QStringLiteral("タロウ: B を (50, 10) へ"));
    QVERIFY(board->LabelStatus->isVisible());
    std::string all;
    board->AppendAllPositions(all);
    QVERIFY(board->ParseTalk(3, all.c_str(), taro));
    QCOMPARE(board->StatusText(), QStringLiteral("タロウ: フォーメーションを送信"));
    QVERIFY(board->ParseTalk(3, "*!N!*C\x83\x7b ", "x"));
    QCOMPARE(board->StatusText(), QStringLiteral("x: C を「ボ」に"));
    // Several markers but not the whole formation: which ones, and what was done.
    QVERIFY(board->ParseTalk(3, "*!N!*Bp Cq ", "x"));
    QCOMPARE(board->StatusText(), QStringLiteral("x: B, C の名前を変更"));
    QVERIFY(board->ParseTalk(3, "*!B!*B1010M2020", "x"));
    QCOMPARE(board->StatusText(), QStringLiteral("x: B, M を移動"));
    QVERIFY(board->ParseTalk(3, "*!N!*C\x83\x7b ", "x"));
    // Lines of another room or applying nothing leave it as it is.
    QVERIFY(board->ParseTalk(4, "*!B!*B5010", "y"));
    QVERIFY(board->ParseTalk(3, "*!B!*", "y"));
    QCOMPARE(board->StatusText(), QStringLiteral("x: C を「ボ」に"));
}

void TestBoard::statusLineShowsAHostileSpeakerAsPlainText()
{
    board->ShowBoard(3, RoomName);
    // Markup that would load a local file, a line break, and a huge name.
    const std::string speaker = "<img src=\"/etc/x.png\"><b>a\r\nb</b>" + std::string(2000, 'z');
    QVERIFY(board->ParseTalk(3, "*!B!*B5010", speaker));
    const QString plain = QStringLiteral("<img src=\"/etc/x.png\"><b>a  b</b>") + QString(2000, QLatin1Char('z'))
                        + QStringLiteral(": B を (50, 10) へ");
    QCOMPARE(board->StatusText(), plain);
    QCOMPARE(board->LabelStatus->textFormat(), Qt::PlainText);
    QVERIFY(!board->LabelStatus->text().contains(QLatin1Char('\n')));
    // Shortened in the middle, the markup shown as its characters.
    QVERIFY(board->LabelStatus->text().startsWith(QStringLiteral("<img src=")));
    QVERIFY(board->LabelStatus->text().endsWith(QStringLiteral("(50, 10) へ")));
    // The tooltip shows the whole line, read the way tooltips read their text.
    const QString tip = board->LabelStatus->toolTip();
    QTextDocument shown;
    if (Qt::mightBeRichText(tip))
        shown.setHtml(tip);
    else
        shown.setPlainText(tip);
    QCOMPARE(shown.toPlainText(), plain);
}

void TestBoard::statusLineBelongsToTheRoomBinding()
{
    board->ShowBoard(3, RoomName);
    QVERIFY(board->ParseTalk(3, "*!B!*B5010", "x"));
    board->close();
    board->ShowBoard(3, RoomName);
    QCOMPARE(board->StatusText(), QStringLiteral("x: B を (50, 10) へ"));
    board->close();
    board->ShowBoard(4, RoomName);
    QCOMPARE(board->StatusText(), QString());
    QCOMPARE(board->LabelStatus->text(), QString());
    QCOMPARE(board->LabelStatus->toolTip(), QString());
}

void TestBoard::pictureIsTheBoardsOwnDrawing()
{
    CharItems[0].Name = "AB";
    board->UsePixelRatio(2);
    board->DrawBoard();
    QImage drawn(400, 600, QImage::Format_RGB32);
    drawn.setDevicePixelRatio(2);
    {
        QPainter canvas(&drawn);
        canvas.drawImage(0, 0, board->GroundPicture);
        canvas.setRenderHint(QPainter::Antialiasing);
        canvas.setFont(board->font());
        board->DrawChars(canvas);
    }

    board->CopyPicture();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QImage png;
    QVERIFY(png.loadFromData(data->data(QStringLiteral("image/png")), "PNG"));
    QCOMPARE(png.size(), QSize(400, 600));   // the screen's density, not the pitch's 200 x 300
    drawn.setDevicePixelRatio(1);   // a PNG carries pixels, not the screen's ratio
    QCOMPARE(png.convertToFormat(QImage::Format_RGB32), drawn.convertToFormat(QImage::Format_RGB32));

    const QString path = tempDir->filePath(QStringLiteral("board.png"));
    QVERIFY(board->SavePicture(path));
    QCOMPARE(QImage(path).convertToFormat(QImage::Format_RGB32), drawn.convertToFormat(QImage::Format_RGB32));

    BoxRecorder boxes;
    QVERIFY(!board->SavePicture(tempDir->filePath(QStringLiteral("no/such/folder/board.png"))));
    QCOMPARE(boxes.Texts().size(), 1);

    // A pipe picked in the dialog is replaced, never waited on for a reader;
    // a name without ".png" still gets a PNG.
    const QString pipe = tempDir->filePath(QStringLiteral("pipe"));
    QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QVERIFY(board->SavePicture(pipe));
    QCOMPARE(QImage(pipe, "PNG").convertToFormat(QImage::Format_RGB32), drawn.convertToFormat(QImage::Format_RGB32));
    QCOMPARE(boxes.Texts().size(), 1);
}

QTEST_MAIN(TestBoard)
#include "tst_board.moc"
