// The room creation and room password dialogs: OK enabling, the order of the
// rules, input limits, the hidden password and what reaches the caller.

#include "DialogDriver.h"
#include "SjisText.h"
#include "Unitcreate.h"
#include "Unitpassword.h"

#include <QApplication>
#include <QtTest>

#include <memory>
#include <string>

using namespace DialogDriver;

namespace {
const QString RoomNameRuleText = QStringLiteral("部屋名には空白や記号は使えません");
const QString PasswordRuleText = QStringLiteral("パスワードには英数字のみ指定可能です");

enum class Leave { CancelButton, Esc, CloseBox };

void LeaveWithoutOk(QDialog& dialog, QPushButton* cancelButton, Leave way)
{
    switch (way) {
    case Leave::CancelButton: QTest::mouseClick(cancelButton, Qt::LeftButton); break;
    case Leave::Esc: PressKey(dialog, Qt::Key_Escape); break;
    case Leave::CloseBox: dialog.close(); break;
    }
}

void AddLeaveRows()
{
    QTest::addColumn<int>("way");
    QTest::newRow("cancel button") << int(Leave::CancelButton);
    QTest::newRow("Esc") << int(Leave::Esc);
    QTest::newRow("close box") << int(Leave::CloseBox);
}
}  // namespace

class TestRoomDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void createFormDescription();
    void createOkFollowsTheNameOnly();
    void createRules_data();
    void createRules();
    void createLimits_data();
    void createLimits();
    void createLeavingWithoutOk_data();
    void createLeavingWithoutOk();
    void createOpensEmptyEachTime();

    void passwordFormDescription();
    void passwordOkFollowsTheField();
    void passwordShowsStars();
    void passwordRules_data();
    void passwordRules();
    void passwordTypingStopsAt8Bytes();
    void passwordLeavingWithoutOk_data();
    void passwordLeavingWithoutOk();

private:
    std::unique_ptr<QWidget> mainWindow;
    TFormCreateRoom* create = nullptr;
    TFormPassword* password = nullptr;
};

void TestRoomDialogs::initTestCase()
{
    mainWindow = std::make_unique<QWidget>();
    mainWindow->setGeometry(411, 111, 561, 541);
    mainWindow->show();
    create = new TFormCreateRoom(mainWindow.get());
    password = new TFormPassword(mainWindow.get());
}

void TestRoomDialogs::cleanupTestCase() { mainWindow.reset(); }

void TestRoomDialogs::createFormDescription()
{
    QCOMPARE(create->windowTitle(), QStringLiteral("部屋作成"));
    QCOMPARE(create->minimumSize(), QSize(311, 109));
    QCOMPARE(create->maximumSize(), QSize(311, 109));
    QCOMPARE(create->font().pixelSize(), 12);
    QCOMPARE(create->Label1->text(), QStringLiteral("部屋名"));
    QCOMPARE(create->Label1->pos(), QPoint(16, 12));
    QCOMPARE(create->Label2->text(), QStringLiteral("パスワード"));
    QCOMPARE(create->Label2->pos(), QPoint(12, 44));
    QCOMPARE(create->EditName->geometry(), QRect(72, 8, 229, 20));
    QCOMPARE(create->EditPassword->geometry(), QRect(72, 40, 121, 20));
    QCOMPARE(create->EditPassword->echoMode(), QLineEdit::Normal);
    QCOMPARE(create->ButtonOk->text(), QStringLiteral("OK"));
    QCOMPARE(create->ButtonOk->geometry(), QRect(148, 72, 75, 25));
    QVERIFY(create->ButtonOk->isDefault());
    QCOMPARE(create->ButtonCancel->text(), QStringLiteral("ｷｬﾝｾﾙ"));
    QCOMPARE(create->ButtonCancel->geometry(), QRect(232, 72, 75, 25));
    QCOMPARE(TabOrder(*create),
             (QWidgetList{create->EditName, create->EditPassword, create->ButtonOk, create->ButtonCancel}));
}

void TestRoomDialogs::createOkFollowsTheNameOnly()
{
    std::string name = "keep", pass = "keep";
    bool withPasswordOnly = true, withName = false, afterClearingName = true;
    ModalSteps steps(*create, [&] {
        TypeText(create->EditPassword, QStringLiteral("abc"));
        withPasswordOnly = create->ButtonOk->isEnabled();
        TypeText(create->EditName, QStringLiteral("r"));
        withName = create->ButtonOk->isEnabled();
        create->EditName->setFocus();
        PressKey(*create, Qt::Key_Backspace);
        afterClearingName = create->ButtonOk->isEnabled();
    });
    QVERIFY(!create->Execute(name, pass));
    QVERIFY(!withPasswordOnly);
    QVERIFY(withName);
    QVERIFY(!afterClearingName);
}

void TestRoomDialogs::createRules_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pass");
    QTest::addColumn<QString>("box");   // empty: accepted
    QTest::addColumn<QByteArray>("nameBytes");
    QTest::addColumn<QByteArray>("passBytes");

    QTest::newRow("no password") << "room1" << "" << "" << QByteArray("room1") << QByteArray();
    QTest::newRow("kanji name, mixed-case password")
        << "部屋" << "Ab12" << "" << QByteArray("\x95\x94\x89\xae") << QByteArray("Ab12");
    QTest::newRow("space in the name") << "my room" << "" << RoomNameRuleText << QByteArray() << QByteArray();
    QTest::newRow("hyphen in the password") << "room" << "ab-12" << PasswordRuleText << QByteArray() << QByteArray();
    QTest::newRow("double-byte password") << "room" << "あ" << PasswordRuleText << QByteArray() << QByteArray();
    QTest::newRow("both broken: the name is judged first")
        << "my room" << "ab-12" << RoomNameRuleText << QByteArray() << QByteArray();
}

void TestRoomDialogs::createRules()
{
    QFETCH(QString, name);
    QFETCH(QString, pass);
    QFETCH(QString, box);
    QFETCH(QByteArray, nameBytes);
    QFETCH(QByteArray, passBytes);

    std::string roomName = "keep", roomPassword = "keep";
    BoxRecorder boxes;
    QString nameAfter, passAfter;
    ModalSteps steps(*create, [&] {
        TypeText(create->EditName, name);
        TypeText(create->EditPassword, pass);
        PressKey(*create, Qt::Key_Return);
        nameAfter = create->EditName->text();
        passAfter = create->EditPassword->text();
    });
    const bool confirmed = create->Execute(roomName, roomPassword);
    if (box.isEmpty()) {
        QVERIFY(confirmed);
        QVERIFY(boxes.Texts().isEmpty());
        QCOMPARE(QByteArray::fromStdString(roomName), nameBytes);
        QCOMPARE(QByteArray::fromStdString(roomPassword), passBytes);
    } else {
        QVERIFY(!confirmed);
        QVERIFY(steps.LeftOpen());
        QCOMPARE(boxes.Texts(), QStringList{box});
        QCOMPARE(boxes.Captions(), QStringList{QStringLiteral("エラー")});
        QCOMPARE(nameAfter, name);
        QCOMPARE(passAfter, pass);
        QCOMPARE(roomName, std::string("keep"));
        QCOMPARE(roomPassword, std::string("keep"));
    }
}

void TestRoomDialogs::createLimits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pass");
    QTest::addColumn<QString>("keptName");
    QTest::addColumn<QString>("keptPass");
    QTest::newRow("16 kanji, 10 letters") << QString(16, QChar(u'部')) << QStringLiteral("abcdefghij")
                                         << QString(15, QChar(u'部')) << QStringLiteral("abcdefgh");
    QTest::newRow("31 letters, 7 letters and a pair")
        << QString(31, QChar(u'r')) << QStringLiteral("abcdefgあ") << QString(30, QChar(u'r'))
        << QStringLiteral("abcdefg");
}

void TestRoomDialogs::createLimits()
{
    QFETCH(QString, name);
    QFETCH(QString, pass);
    QFETCH(QString, keptName);
    QFETCH(QString, keptPass);
    QString nameShown, passShown;
    std::string roomName, roomPassword;
    ModalSteps steps(*create, [&] {
        TypeText(create->EditName, name);
        TypeText(create->EditPassword, pass);
        nameShown = create->EditName->text();
        passShown = create->EditPassword->text();
    });
    create->Execute(roomName, roomPassword);
    QCOMPARE(nameShown, keptName);
    QCOMPARE(passShown, keptPass);
}

void TestRoomDialogs::createLeavingWithoutOk_data() { AddLeaveRows(); }

void TestRoomDialogs::createLeavingWithoutOk()
{
    QFETCH(int, way);
    std::string roomName = "keep", roomPassword = "keep";
    ModalSteps steps(*create, [&] {
        TypeText(create->EditName, QStringLiteral("room"));
        TypeText(create->EditPassword, QStringLiteral("pw"));
        LeaveWithoutOk(*create, create->ButtonCancel, Leave(way));
    });
    QVERIFY(!create->Execute(roomName, roomPassword));
    QVERIFY(!steps.LeftOpen());
    QCOMPARE(roomName, std::string("keep"));
    QCOMPARE(roomPassword, std::string("keep"));
}

void TestRoomDialogs::createOpensEmptyEachTime()
{
    std::string roomName = "passed in", roomPassword = "passedin";
    ModalSteps first(*create, [&] {
        TypeText(create->EditName, QStringLiteral("room"));
        TypeText(create->EditPassword, QStringLiteral("pw"));
    });
    create->Execute(roomName, roomPassword);

    QString nameShown = "?", passShown = "?";
    bool okEnabled = true;
    ModalSteps second(*create, [&] {
        nameShown = create->EditName->text();
        passShown = create->EditPassword->text();
        okEnabled = create->ButtonOk->isEnabled();
    });
    create->Execute(roomName, roomPassword);
    QVERIFY(second.Ran());
    QCOMPARE(nameShown, QString());
    QCOMPARE(passShown, QString());
    QVERIFY(!okEnabled);
}

void TestRoomDialogs::passwordFormDescription()
{
    QCOMPARE(password->windowTitle(), QStringLiteral("部屋パスワード入力"));
    QCOMPARE(password->minimumSize(), QSize(205, 81));
    QCOMPARE(password->maximumSize(), QSize(205, 81));
    QCOMPARE(password->font().pixelSize(), 12);
    QCOMPARE(password->Label1->text(), QStringLiteral("パスワード"));
    QCOMPARE(password->Label1->pos(), QPoint(8, 12));
    QCOMPARE(password->EditPassword->geometry(), QRect(68, 8, 121, 20));
    QCOMPARE(password->ButtonOk->text(), QStringLiteral("OK"));
    QCOMPARE(password->ButtonOk->geometry(), QRect(32, 40, 75, 25));
    QVERIFY(password->ButtonOk->isDefault());
    QCOMPARE(password->ButtonCancel->text(), QStringLiteral("ｷｬﾝｾﾙ"));
    QCOMPARE(password->ButtonCancel->geometry(), QRect(116, 40, 75, 25));
    QCOMPARE(TabOrder(*password), (QWidgetList{password->EditPassword, password->ButtonOk, password->ButtonCancel}));
}

void TestRoomDialogs::passwordOkFollowsTheField()
{
    std::string pass = "keep";
    BoxRecorder boxes;
    bool atStart = true, afterTyping = false, afterDeleting = true, openAfterEnter = false;
    ModalSteps steps(*password, [&] {
        atStart = password->ButtonOk->isEnabled();
        TypeText(password->EditPassword, QStringLiteral("a"));
        afterTyping = password->ButtonOk->isEnabled();
        PressKey(*password, Qt::Key_Backspace);
        afterDeleting = password->ButtonOk->isEnabled();
        PressKey(*password, Qt::Key_Return);
        openAfterEnter = password->isVisible();
    });
    QVERIFY(!password->Execute(pass));
    QVERIFY(!atStart);
    QVERIFY(afterTyping);
    QVERIFY(!afterDeleting);
    QVERIFY(openAfterEnter);
    QVERIFY(boxes.Texts().isEmpty());
    QCOMPARE(pass, std::string("keep"));
}

void TestRoomDialogs::passwordShowsStars()
{
    std::string pass;
    QString shown;
    ModalSteps steps(*password, [&] {
        TypeText(password->EditPassword, QStringLiteral("Ab12"));
        shown = password->EditPassword->displayText();
    });
    password->Execute(pass);
    QCOMPARE(password->EditPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(shown, QStringLiteral("****"));
}

void TestRoomDialogs::passwordRules_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("box");   // empty: accepted
    QTest::newRow("letters and digits") << "aZ09xY" << "";
    QTest::newRow("hyphen") << "ab-1" << PasswordRuleText;
    QTest::newRow("space") << "ab 1" << PasswordRuleText;
    QTest::newRow("double-byte character") << "abあ" << PasswordRuleText;
    QTest::newRow("half-width katakana") << "ｱｲ" << PasswordRuleText;
}

void TestRoomDialogs::passwordRules()
{
    QFETCH(QString, typed);
    QFETCH(QString, box);
    std::string pass = "keep";
    BoxRecorder boxes;
    QString fieldAfter;
    ModalSteps steps(*password, [&] {
        TypeText(password->EditPassword, typed);
        PressKey(*password, Qt::Key_Return);
        fieldAfter = password->EditPassword->text();
    });
    const bool confirmed = password->Execute(pass);
    if (box.isEmpty()) {
        QVERIFY(confirmed);
        QVERIFY(boxes.Texts().isEmpty());
        QCOMPARE(pass, typed.toStdString());
    } else {
        QVERIFY(!confirmed);
        QVERIFY(steps.LeftOpen());
        QCOMPARE(boxes.Texts(), QStringList{box});
        QCOMPARE(fieldAfter, typed);
        QCOMPARE(pass, std::string("keep"));
    }
}

void TestRoomDialogs::passwordTypingStopsAt8Bytes()
{
    std::string pass;
    ModalSteps steps(*password, [&] {
        TypeText(password->EditPassword, QStringLiteral("abcdefghij"));
        PressKey(*password, Qt::Key_Return);
    });
    QVERIFY(password->Execute(pass));
    QCOMPARE(pass, std::string("abcdefgh"));
}

void TestRoomDialogs::passwordLeavingWithoutOk_data() { AddLeaveRows(); }

void TestRoomDialogs::passwordLeavingWithoutOk()
{
    QFETCH(int, way);
    std::string pass = "keep";
    ModalSteps steps(*password, [&] {
        TypeText(password->EditPassword, QStringLiteral("pw"));
        LeaveWithoutOk(*password, password->ButtonCancel, Leave(way));
    });
    QVERIFY(!password->Execute(pass));
    QVERIFY(!steps.LeftOpen());
    QCOMPARE(pass, std::string("keep"));
}

QTEST_MAIN(TestRoomDialogs)
#include "tst_roomdialogs.moc"
