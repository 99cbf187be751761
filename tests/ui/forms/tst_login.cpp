// The connect dialog: what the user sees, when OK can be pressed, the name
// rule box, and which name reaches the caller.

#include "DialogDriver.h"
#include "SjisText.h"
#include "Unitlogin.h"

#include <QApplication>
#include <QWindow>
#include <QtTest>

#include <memory>
#include <string>

using namespace DialogDriver;

namespace {
const QString NameRuleText = QStringLiteral("ユーザ名には空白や記号は使えません");
}

class TestLogin : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void formDescription();
    void centredOnTheMainWindow();
    void okFollowsTheName();
    void offeredNameEnablesOk();
    void confirmReturnsTheTypedBytes();
    void invalidNameKeepsTheDialogOpen_data();
    void invalidNameKeepsTheDialogOpen();
    void leavingWithoutOkKeepsTheName_data();
    void leavingWithoutOkKeepsTheName();
    void typingStopsAt26Bytes_data();
    void typingStopsAt26Bytes();
    void offeredNamesAreNotCut();
    void nameConfirmedUnchangedKeepsItsBytes();
    void opensAboveAWindowThatStaysOnTop();

private:
    std::unique_ptr<QWidget> mainWindow;
    TFormLogin* form = nullptr;
};

void TestLogin::initTestCase()
{
    mainWindow = std::make_unique<QWidget>();
    mainWindow->setGeometry(100, 40, 561, 541);   // inside the 800 x 600 offscreen screen
    mainWindow->show();
    form = new TFormLogin(mainWindow.get());
}

void TestLogin::cleanupTestCase() { mainWindow.reset(); }

void TestLogin::formDescription()
{
    QCOMPARE(form->windowTitle(), QStringLiteral("接続"));
    QCOMPARE(form->minimumSize(), QSize(248, 78));
    QCOMPARE(form->maximumSize(), QSize(248, 78));
    QCOMPARE(form->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    QCOMPARE(form->font().pixelSize(), 12);
    QVERIFY(form->windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(form->windowFlags() & (Qt::WindowContextHelpButtonHint | Qt::WindowMinMaxButtonsHint)));

    QCOMPARE(form->LabelName->text(), QStringLiteral("名前："));
    QCOMPARE(form->LabelName->pos(), QPoint(12, 12));
    QCOMPARE(form->EditName->geometry(), QRect(52, 8, 181, 20));
    QCOMPARE(form->ButtonOk->text(), QStringLiteral("接続"));
    QCOMPARE(form->ButtonOk->geometry(), QRect(62, 40, 75, 25));
    QVERIFY(form->ButtonOk->isDefault());
    QCOMPARE(form->ButtonCancel->text(), QStringLiteral("ｷｬﾝｾﾙ"));
    QCOMPARE(form->ButtonCancel->geometry(), QRect(160, 40, 75, 25));
    QCOMPARE(TabOrder(*form), (QWidgetList{form->EditName, form->ButtonOk, form->ButtonCancel}));
}

void TestLogin::centredOnTheMainWindow()
{
    std::string name = "kv";
    QPoint centre;
    ModalSteps steps(*form, [&] { centre = form->geometry().center(); });
    form->Execute(name);
    QVERIFY(steps.Ran());
    const QPoint expected = mainWindow->geometry().center();
    QVERIFY2((centre - expected).manhattanLength() <= 2,
             qPrintable(QStringLiteral("dialog centre %1,%2").arg(centre.x()).arg(centre.y())));
}

void TestLogin::okFollowsTheName()
{
    std::string name;
    bool enabledAtStart = true, enabledAfterTyping = false, enabledAfterDeleting = true;
    bool openAfterEnterOnEmpty = false;
    BoxRecorder boxes;
    ModalSteps steps(*form, [&] {
        enabledAtStart = form->ButtonOk->isEnabled();
        TypeText(form->EditName, QStringLiteral("k"));
        enabledAfterTyping = form->ButtonOk->isEnabled();
        PressKey(*form, Qt::Key_Backspace);
        enabledAfterDeleting = form->ButtonOk->isEnabled();
        PressKey(*form, Qt::Key_Return);
        openAfterEnterOnEmpty = form->isVisible();
    });
    QVERIFY(!form->Execute(name));
    QVERIFY(steps.Ran());
    QVERIFY(!enabledAtStart);
    QVERIFY(enabledAfterTyping);
    QVERIFY(!enabledAfterDeleting);
    QVERIFY(openAfterEnterOnEmpty);
    QVERIFY(boxes.Texts().isEmpty());
    QCOMPARE(name, std::string());
}

void TestLogin::offeredNameEnablesOk()
{
    // The previous run leaves the field empty; the next one offers a name.
    std::string empty;
    ModalSteps emptyRun(*form, [] {});
    form->Execute(empty);

    std::string name = "kv";
    bool enabled = false;
    QString shown;
    ModalSteps steps(*form, [&] {
        enabled = form->ButtonOk->isEnabled();
        shown = form->EditName->text();
    });
    form->Execute(name);
    QVERIFY(steps.Ran());
    QVERIFY(enabled);
    QCOMPARE(shown, QStringLiteral("kv"));
}

void TestLogin::confirmReturnsTheTypedBytes()
{
    // The offered name is selected when the dialog opens, so typing replaces it.
    std::string name = "oldname";
    ModalSteps steps(*form, [&] {
        TypeText(form->EditName, QStringLiteral("漢字kv"));
        PressKey(*form, Qt::Key_Return);
    });
    QVERIFY(form->Execute(name));
    QVERIFY(!steps.LeftOpen());
    QCOMPARE(name, std::string("\x8a\xbf\x8e\x9a" "kv"));
}

void TestLogin::invalidNameKeepsTheDialogOpen_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("space") << QStringLiteral("kv chat");
    QTest::newRow("full stop") << QStringLiteral("kv.chat");
    QTest::newRow("ideographic space") << QStringLiteral("漢　字");
    QTest::newRow("lone half-width katakana at the end") << QStringLiteral("kvｱ");
}

void TestLogin::invalidNameKeepsTheDialogOpen()
{
    QFETCH(QString, typed);
    std::string name = "stored";
    BoxRecorder boxes;
    QString fieldAfterBox;
    ModalSteps steps(*form, [&] {
        TypeText(form->EditName, typed);
        PressKey(*form, Qt::Key_Return);
        fieldAfterBox = form->EditName->text();
    });
    QVERIFY(!form->Execute(name));
    QVERIFY(steps.LeftOpen());
    QCOMPARE(boxes.Texts(), QStringList{NameRuleText});
    QCOMPARE(boxes.Captions(), QStringList{QStringLiteral("エラー")});
    QCOMPARE(fieldAfterBox, typed);
    QCOMPARE(name, std::string("stored"));
}

void TestLogin::leavingWithoutOkKeepsTheName_data()
{
    QTest::addColumn<int>("way");
    QTest::newRow("cancel button") << 0;
    QTest::newRow("Esc") << 1;
    QTest::newRow("close box") << 2;
}

void TestLogin::leavingWithoutOkKeepsTheName()
{
    QFETCH(int, way);
    std::string name = "stored";
    ModalSteps steps(*form, [&] {
        TypeText(form->EditName, QStringLiteral("other"));
        if (way == 0)
            QTest::mouseClick(form->ButtonCancel, Qt::LeftButton);
        else if (way == 1)
            PressKey(*form, Qt::Key_Escape);
        else
            form->close();
    });
    QVERIFY(!form->Execute(name));
    QVERIFY(!steps.LeftOpen());
    QCOMPARE(name, std::string("stored"));
}

void TestLogin::typingStopsAt26Bytes_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("14 double-byte characters") << QString(14, QChar(u'あ')) << QString(13, QChar(u'あ'));
    QTest::newRow("30 letters") << QString(30, QChar(u'k')) << QString(26, QChar(u'k'));
    // A double-byte character that does not fit is refused, a letter after it still fits.
    QTest::newRow("25 letters, then a pair, then a letter")
        << QString(25, QChar(u'k')) + QStringLiteral("あv") << QString(25, QChar(u'k')) + QStringLiteral("v");
}

void TestLogin::typingStopsAt26Bytes()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    std::string name;
    ModalSteps steps(*form, [&] {
        TypeText(form->EditName, typed);
        PressKey(*form, Qt::Key_Return);
    });
    QVERIFY(form->Execute(name));
    QCOMPARE(FromSjis(name), kept);
    QCOMPARE(name.size(), std::size_t{26});
}

void TestLogin::offeredNamesAreNotCut()
{
    // A longer name from the settings file is shown and confirmed whole.
    std::string name(30, 'k');
    ModalSteps steps(*form, [&] { PressKey(*form, Qt::Key_Return); });
    QVERIFY(form->Execute(name));
    QCOMPARE(name, std::string(30, 'k'));
}

void TestLogin::nameConfirmedUnchangedKeepsItsBytes()
{
    // 0x85 0x40 passes the name rule as a pair but has no character in CP932.
    const std::string stored = "kv\x85\x40";
    std::string name = stored;
    ModalSteps steps(*form, [&] { PressKey(*form, Qt::Key_Return); });
    QVERIFY(form->Execute(name));
    QCOMPARE(name, stored);
}

void TestLogin::opensAboveAWindowThatStaysOnTop()
{
    // The formation board stays on top of the main window, the connect dialog's owner.
    QWidget board(mainWindow.get(), Qt::Dialog | Qt::WindowStaysOnTopHint);
    board.show();
    auto open = [this] {
        std::pair<bool, QWindow*> seen{false, nullptr};
        ModalSteps steps(*form, [&] {
            seen = {form->windowFlags().testFlag(Qt::WindowStaysOnTopHint), form->windowHandle()->transientParent()};
            PressKey(*form, Qt::Key_Escape);
        });
        std::string name = "kv";
        form->Execute(name);
        return seen;
    };
    QCOMPARE(open(), std::make_pair(true, board.windowHandle()));
    board.hide();
    QCOMPARE(open(), std::make_pair(false, mainWindow->windowHandle()));
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
