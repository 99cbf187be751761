// The start-up rooms dialog: what it shows, deleting, and how each way of
// closing it leaves the caller's list.

#include "DialogDriver.h"
#include "StartRooms.h"
#include "Unitsetting.h"

#include <QApplication>
#include <QtTest>

#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace DialogDriver;

namespace {
using Rooms = std::vector<std::pair<std::string, std::string>>;

const std::string Lobby(DefaultRoomName);   // 待合室

TStartRoomList MakeList(const Rooms& rooms)
{
    TStartRoomList list;
    for (const auto& [name, password] : rooms) {
        list.Rooms[static_cast<std::size_t>(list.Count)] = {name, password};
        ++list.Count;
    }
    return list;
}

Rooms Entries(const TStartRoomList& list)
{
    Rooms rooms;
    for (int i = 0; i < list.Count; ++i)
        rooms.emplace_back(list.Rooms[static_cast<std::size_t>(i)].Name,
                           list.Rooms[static_cast<std::size_t>(i)].Password);
    return rooms;
}

char* Describe(const Rooms& rooms)
{
    QString text;
    for (const auto& [name, password] : rooms)
        text += QStringLiteral("(%1/%2)").arg(QString::fromLatin1(QByteArray::fromStdString(name).toHex()),
                                             QString::fromStdString(password));
    return qstrdup(qPrintable(text));
}
}  // namespace

namespace QTest {
template <>
char* toString(const Rooms& rooms) { return Describe(rooms); }
}  // namespace QTest

class TestStartRooms : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void formDescription();
    void showsNamesOnly();
    void deleteThenClose_data();
    void deleteThenClose();
    void deleteWithoutSelectionDoesNothing();
    void duplicatesCollapseToTheFirst();
    void namesKeepTheirBytes();
    void eachRunShowsOnlyItsList();

private:
    void SelectRow(int row);

    std::unique_ptr<QWidget> mainWindow;
    TFormSetting* form = nullptr;
    const Rooms lobbyAB{{Lobby, ""}, {"A", "pwA"}, {"B", "pwB"}};
};

void TestStartRooms::initTestCase()
{
    mainWindow = std::make_unique<QWidget>();
    mainWindow->setGeometry(411, 111, 561, 541);
    mainWindow->show();
    form = new TFormSetting(mainWindow.get());
}

void TestStartRooms::cleanupTestCase() { mainWindow.reset(); }

void TestStartRooms::SelectRow(int row)
{
    const QRect rect = form->ListRoom->visualItemRect(form->ListRoom->item(row));
    QTest::mouseClick(form->ListRoom->viewport(), Qt::LeftButton, {}, rect.center());
}

void TestStartRooms::formDescription()
{
    QCOMPARE(form->windowTitle(), QStringLiteral("設定"));
    QCOMPARE(form->minimumSize(), QSize(328, 205));
    QCOMPARE(form->maximumSize(), QSize(328, 205));
    QCOMPARE(form->font().pixelSize(), 12);
    QCOMPARE(form->Label1->text(), QStringLiteral("起動時に開く部屋一覧(&L)"));
    QCOMPARE(form->Label1->buddy(), form->ListRoom);
    QCOMPARE(form->Label1->pos(), QPoint(4, 4));
    QCOMPARE(form->ListRoom->geometry(), QRect(4, 20, 225, 177));
    QCOMPARE(form->ListRoom->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(form->ButtonDelete->text(), QStringLiteral("削除(&D)"));
    QCOMPARE(form->ButtonDelete->geometry(), QRect(244, 108, 75, 25));
    QCOMPARE(form->ButtonExit->text(), QStringLiteral("閉じる"));
    QCOMPARE(form->ButtonExit->geometry(), QRect(244, 168, 75, 25));
    QVERIFY(form->ButtonExit->isDefault());
    QCOMPARE(TabOrder(*form), (QWidgetList{form->ListRoom, form->ButtonDelete, form->ButtonExit}));
}

void TestStartRooms::showsNamesOnly()
{
    TStartRoomList list = MakeList(lobbyAB);
    QStringList shown;
    ModalSteps steps(*form, [&] {
        for (int row = 0; row < form->ListRoom->count(); ++row)
            shown << form->ListRoom->item(row)->text();
    });
    form->Execute(list);
    QCOMPARE(shown, (QStringList{QStringLiteral("待合室"), QStringLiteral("A"), QStringLiteral("B")}));
}

void TestStartRooms::deleteThenClose_data()
{
    QTest::addColumn<QList<int>>("deleteRows");   // rows as they stand at each click
    QTest::addColumn<int>("closing");             // 0 "閉じる", 1 Enter, 2 Esc, 3 close box
    QTest::addColumn<bool>("result");
    QTest::addColumn<Rooms>("expected");

    const Rooms lobbyB{{Lobby, ""}, {"B", "pwB"}};
    QTest::newRow("A deleted, 閉じる") << QList<int>{1} << 0 << true << lobbyB;
    QTest::newRow("A deleted, Esc keeps the deletion") << QList<int>{1} << 2 << true << lobbyB;
    QTest::newRow("A deleted, close box: unchanged") << QList<int>{1} << 3 << false << lobbyAB;
    QTest::newRow("all deleted, Enter") << QList<int>{0, 0, 0} << 1 << true << Rooms{};
    QTest::newRow("nothing deleted, 閉じる") << QList<int>{} << 0 << true << lobbyAB;
}

void TestStartRooms::deleteThenClose()
{
    QFETCH(QList<int>, deleteRows);
    QFETCH(int, closing);
    QFETCH(bool, result);
    QFETCH(Rooms, expected);

    TStartRoomList list = MakeList(lobbyAB);
    ModalSteps steps(*form, [&] {
        for (const int row : deleteRows) {
            SelectRow(row);
            QTest::mouseClick(form->ButtonDelete, Qt::LeftButton);
        }
        switch (closing) {
        case 0: QTest::mouseClick(form->ButtonExit, Qt::LeftButton); break;
        case 1:
            // Enter goes to the focused button; back in the list it means "閉じる".
            form->ListRoom->setFocus();
            PressKey(*form, Qt::Key_Return);
            break;
        case 2: PressKey(*form, Qt::Key_Escape); break;
        default: form->close(); break;
        }
    });
    QCOMPARE(form->Execute(list), result);
    QVERIFY(!steps.LeftOpen());
    QCOMPARE(Entries(list), expected);
}

void TestStartRooms::deleteWithoutSelectionDoesNothing()
{
    TStartRoomList list = MakeList(lobbyAB);
    int countBefore = -1, countAfterSecondClick = -1;
    ModalSteps steps(*form, [&] {
        QTest::mouseClick(form->ButtonDelete, Qt::LeftButton);
        countBefore = form->ListRoom->count();
        SelectRow(0);
        QTest::mouseClick(form->ButtonDelete, Qt::LeftButton);
        // The deleted row's neighbour is not selected by the deletion.
        QTest::mouseClick(form->ButtonDelete, Qt::LeftButton);
        countAfterSecondClick = form->ListRoom->count();
        QTest::mouseClick(form->ButtonExit, Qt::LeftButton);
    });
    QVERIFY(form->Execute(list));
    QCOMPARE(countBefore, 3);
    QCOMPARE(countAfterSecondClick, 2);
    QCOMPARE(Entries(list), (Rooms{{"A", "pwA"}, {"B", "pwB"}}));
}

void TestStartRooms::duplicatesCollapseToTheFirst()
{
    // A hand-edited file can name a room twice.
    TStartRoomList list = MakeList({{"X", "first"}, {"Y", "y"}, {"X", "second"}});
    int shown = 0;
    ModalSteps steps(*form, [&] {
        shown = form->ListRoom->count();
        QTest::mouseClick(form->ButtonExit, Qt::LeftButton);
    });
    QVERIFY(form->Execute(list));
    QCOMPARE(shown, 3);
    QCOMPARE(Entries(list), (Rooms{{"X", "first"}, {"Y", "y"}}));
}

void TestStartRooms::namesKeepTheirBytes()
{
    // 0x85 0x40 has no character in CP932; the name must come back as it was.
    const Rooms odd{{"kv\x85\x40", "pw"}, {Lobby, ""}};
    TStartRoomList list = MakeList(odd);
    ModalSteps steps(*form, [&] { PressKey(*form, Qt::Key_Return); });
    QVERIFY(form->Execute(list));
    QCOMPARE(Entries(list), odd);
}

void TestStartRooms::eachRunShowsOnlyItsList()
{
    TStartRoomList first = MakeList(lobbyAB);
    ModalSteps firstRun(*form, [&] { form->close(); });
    form->Execute(first);

    TStartRoomList second = MakeList({{"C", "pwC"}});
    QStringList shown;
    ModalSteps secondRun(*form, [&] {
        for (int row = 0; row < form->ListRoom->count(); ++row)
            shown << form->ListRoom->item(row)->text();
        PressKey(*form, Qt::Key_Escape);
    });
    QVERIFY(form->Execute(second));
    QCOMPARE(shown, QStringList{QStringLiteral("C")});
    QCOMPARE(Entries(second), (Rooms{{"C", "pwC"}}));
    QCOMPARE(Entries(first), lobbyAB);
}

QTEST_MAIN(TestStartRooms)
#include "tst_startrooms.moc"
