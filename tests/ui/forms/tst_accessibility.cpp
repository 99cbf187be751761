// What a screen reader finds: every control the keyboard can reach, in every
// window and dialog, has an accessible name; a new line in the active room is
// announced to assistive technology unless the user turned that off.
#include "Chatsheet.h"
#include "ChatLogView.h"
#include "MainWindowFixture.h"
#include "Unitboard.h"
#include "Unitboardname.h"
#include "Unitcreate.h"
#include "Unitlogin.h"
#include "Unitlogsearch.h"
#include "Unitmain.h"
#include "Unitoption.h"
#include "Unitpassword.h"
#include "Unitsetting.h"
#include "Unitupdate.h"

#include <QAccessible>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QTabBar>
#include <QTest>

namespace {

// Each focusable widget of window without a name, as "Class objectName".
QStringList Unnamed(QWidget* window)
{
    QStringList unnamed;
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* w : widgets) {
        if (w->focusPolicy() == Qt::NoFocus || w->window() != window)
            continue;
        // The editor inside a spin box is named through its owner.
        if (w->focusProxy() || qobject_cast<QAbstractSpinBox*>(w->parentWidget()))
            continue;
        // An empty tab strip names itself by its current tab: there is none (the
        // control around it carries the name).
        if (auto* bar = qobject_cast<QTabBar*>(w); bar && bar->count() == 0)
            continue;
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
        if (!iface || iface->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << QStringLiteral("%1 %2 in %3").arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(),
                                                         window->objectName());
    }
    return unnamed;
}

// What reaches assistive technology of the logs' text: each insertion's text,
// "changed" for other edits.
QStringList told;

void Record(QAccessibleEvent* event)
{
    if (!qobject_cast<ChatLogView*>(event->object()))
        return;
    if (event->type() == QAccessible::TextInserted)
        told << static_cast<QAccessibleTextInsertEvent*>(event)->textInserted();
    else if (event->type() == QAccessible::TextRemoved || event->type() == QAccessible::TextUpdated)
        told << QStringLiteral("changed");
}

}  // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QAccessible::installUpdateHandler(Record); }
    void everyFocusableControlHasAName();
    void newLinesOfTheRoomOnScreenAreToldOneByOne_data();
    void newLinesOfTheRoomOnScreenAreToldOneByOne();
};

void TestAccessibility::everyFocusableControlHasAName()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    // Before any room, the control around the empty tab strip is named too.
    QStringList unnamedAtStart = Unnamed(w);
    QVERIFY2(unnamedAtStart.isEmpty(), qPrintable(unnamedAtStart.join(QStringLiteral(", "))));
    QVERIFY(f.Handshake());
    QVERIFY(f.OpenRoom(3, "Lobby"));
    w->MenuLogSearchClick();
    QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+F")));
    const QList<QWidget*> windows = {w,           FormLogin,     FormCreateRoom, FormPassword,     FormSetting,
                                     FormUpdate,  FormBoard,     FormBoardName,  FormOption,       w->FormLogSearch};
    QStringList unnamed;
    for (QWidget* window : windows) {
        QVERIFY(window);
        unnamed << Unnamed(window);
    }
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
}

void TestAccessibility::newLinesOfTheRoomOnScreenAreToldOneByOne_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<bool>("announce");
    QTest::newRow("default") << QByteArray() << true;
    QTest::newRow("turned off") << QByteArray("[Accessibility]\r\nAnnounceLines=0\r\n") << false;
}

void TestAccessibility::newLinesOfTheRoomOnScreenAreToldOneByOne()
{
    QFETCH(QByteArray, settings);
    QFETCH(bool, announce);
    MainWindowFixture f(settings);
    // The bridge wakes once the accessibility bus answers (ui_tst_accessibility_atspi).
    if (!QTest::qWaitFor([] { return QAccessible::isActive(); }, 3000))
        QSKIP("no accessibility bus");
    QCOMPARE(f.Window()->Options.AnnounceLines, announce);
    QVERIFY(f.Handshake());
    TChatSheet* behind = f.OpenRoom(3, "A");
    TChatSheet* shown = f.OpenRoom(4, "B");
    QVERIFY(behind && shown);
    f.Server.SendTalk(4, 50, "guest", "first");
    QVERIFY(QTest::qWaitFor([&] { return shown->ChatLog->LineCount() == 1; }));
    told.clear();
    // Two lines in one batch with one for the room behind, then the tabs swap.
    f.Server.SendTalk(3, 50, "guest", "behind");
    f.Server.SendTalk(4, 50, "guest", "one");
    f.Server.SendTalk(4, 50, "guest", "two");
    QVERIFY(QTest::qWaitFor([&] { return shown->ChatLog->LineCount() == 3; }));
    const QStringList expected = {shown->ChatLog->LineText(1), shown->ChatLog->LineText(2)};
    f.Window()->PageControl1->setCurrentWidget(behind);
    QCOMPARE(behind->ChatLog->LineText(behind->ChatLog->LineCount() - 1), QStringLiteral("guest>behind"));
    QCOMPARE(told, announce ? expected : QStringList());
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
