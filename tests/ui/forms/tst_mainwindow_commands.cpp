// The user's room and chat commands against a scripted server: exact bytes sent.
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "MainWindowFixture.h"
#include "Unitboard.h"
#include "Unitcreate.h"
#include "FindBar.h"
#include "Unitlogin.h"
#include "Unitlogsearch.h"
#include "SingleInstance.h"
#include "TrayIcon.h"
#include "Unitmain.h"
#include "Unitoption.h"
#include "Unitpassword.h"
#include "Unitsetting.h"

#include <QScreen>
#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDialog>
#include <QInputMethodEvent>
#include <QCheckBox>
#include <QFontComboBox>
#include <QSpinBox>
#include <QWheelEvent>
#include <QStatusBar>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWindow>

namespace {

bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 10000);
}

QByteArray talkFrame(std::uint8_t room, std::int16_t id, const QByteArray& name, const QByteArray& text)
{
    QByteArray payload;
    payload.append(char(room)).append(char(id >> 8)).append(char(id & 0xFF));
    payload += ScriptedServer::String(name) + ScriptedServer::String(text);
    payload.append(char(0));
    return ScriptedServer::Frame(GmTypeTalk, payload);
}

QByteArray enterFrame(std::uint8_t room, const QByteArray& password)
{
    return ScriptedServer::Frame(GmTypeEnterRoom, QByteArray(1, char(room)) + ScriptedServer::String("") +
                                                      ScriptedServer::String(password));
}

bool IsGrass(QRgb pixel)
{
    return qGreen(pixel) > qRed(pixel) + 30 && qGreen(pixel) > qBlue(pixel) + 30;
}

} // namespace

class TestMainWindowCommands : public QObject {
    Q_OBJECT
private slots:
    void enterSendsTheInputIntoTheActiveRoom();
    void inputOf200BytesIsSentWholeAndEmptyInputAsEmptyLine();
    void noTabSendsNothingButEmptiesInput();
    void sendTalkNeverSplitsADoubleByteCharacter();
    void tabCompletesMemberNamesAcrossKana();
    void tabGoesOnPastANameTheInputCannotHoldWhole();
    void droppedInputIsSaidInTheStatusBar();
    void cancelledCompositionNeverComesBack_data();
    void cancelledCompositionNeverComesBack();
    void zoomKeysAndWheelSizeTheLogAndTheInput();
    void closingWithTheTrayOptionKeepsTheConnection();
    void closingWhenTheTrayHasGoneClosesTheWindow();
    void theTrayNeverLosesTheWindow();
    void optionsChooseTheFontAndWithoutATrayGreyTheTray();
    void enterRoomByNumberWithoutPassword();
    void enterPasswordRoomThroughDialog();
    void cancelledPasswordDialogSendsNothing();
    void enterWithoutSelectionDoesNothing();
    void createRoomSendsKindTwo();
    void cancelledCreateKeepsLastPassword();
    void retireSendsRoomAndKeepsTabUntilConfirmed();
    void tabCycling();
    void nextTabClearsUnreadMark();
    void webMenusOpenTheirAddresses();
    void roomListPanelToggles();
    void startRoomsDialogEditsTheList();
    void boardButtonDisabledWhileBoardShown();
    void ctrlOOnTheBoardOpensTheConnectDialogAboveIt();
    void boardLinesGoToTheBoardsRoomNotTheActiveTab();
    void firstActivationOpensConnectDialogOnce();
    void settingsReadAtStartAndWrittenAtExit();
    void savedBoundsOffTheScreenComeBackOnIt();
    void noSettingsFileGivesDesignValuesAndAFullFileAtExit();
};

void TestMainWindowCommands::enterSendsTheInputIntoTheActiveRoom()
{
    MainWindowFixture f;
    f.Window()->UserName = "tanaka";
    QVERIFY(f.Handshake(7));
    QVERIFY(f.OpenRoom(3, "Lobby"));
    QVERIFY(f.OpenRoom(4, "Team"));
    f.Window()->EditInputChat->setText(QStringLiteral("こんにちは <b>"));
    QTest::keyClick(f.Window()->EditInputChat, Qt::Key_Return);
    const auto frame = f.Server.NextFrame();
    QVERIFY(frame);
    QCOMPARE(*frame, talkFrame(4, 7, "tanaka", Sjis("こんにちは <b>")));
    QVERIFY(f.Window()->EditInputChat->text().isEmpty());
    // Nothing is logged locally: only what the server relays shows.
    QCOMPARE(f.Window()->FindSheet(4)->ChatLog->LineCount(), 0);

    // The send button is the window's default: Enter sends from anywhere, with
    // a room selected in the list too; a focused button takes Enter itself.
    f.Window()->RoomList->setCurrentRow(0);
    TChatSheet* sheet = f.Window()->FindSheet(4);
    for (QWidget* focus : std::initializer_list<QWidget*>{f.Window()->RoomList, sheet->ListUser, sheet->ChatLog,
                                                          f.Window()->PageControl1->tabBar(), f.Window()->ButtonEnterRoom}) {
        f.Window()->EditInputChat->setText(QStringLiteral("x"));
        QTest::keyClick(focus, Qt::Key_Return);
        const auto sent = f.Server.NextFrame();
        QVERIFY(sent);
        QCOMPARE(*sent, focus == f.Window()->ButtonEnterRoom ? enterFrame(3, "") : talkFrame(4, 7, "tanaka", "x"));
    }
}

void TestMainWindowCommands::inputOf200BytesIsSentWholeAndEmptyInputAsEmptyLine()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake(7));
    QVERIFY(f.OpenRoom(3, "Lobby"));
    QLineEdit* input = f.Window()->EditInputChat;
    input->setFocus();
    QTest::keyClicks(input, QString(205, QLatin1Char('a')));
    QCOMPARE(input->text().size(), 200);   // the input takes no more than 200 bytes
    f.Window()->ButtonSendChat->click();
    auto frame = f.Server.NextFrame();
    QVERIFY(frame);
    QCOMPARE(*frame, talkFrame(3, 7, "", QByteArray(200, 'a')));

    f.Window()->ButtonSendChatClick();
    frame = f.Server.NextFrame();
    QVERIFY(frame);
    QCOMPARE(*frame, talkFrame(3, 7, "", ""));
}

void TestMainWindowCommands::noTabSendsNothingButEmptiesInput()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    f.Window()->EditInputChat->setText("lost");
    f.Window()->ButtonSendChatClick();
    QVERIFY(f.Window()->EditInputChat->text().isEmpty());
    f.Window()->RetireMenuClick();
    f.Window()->ButtonBoardClick();
    QVERIFY(f.FramesUntilSync().isEmpty());
    QVERIFY(!FormBoard->isVisible());
}

void TestMainWindowCommands::sendTalkNeverSplitsADoubleByteCharacter()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake(7));
    QVERIFY(f.OpenRoom(3, "Lobby"));
    const QByteArray text = QByteArray(199, 'x') + Sjis("あい");
    f.Window()->SendTalk(text.toStdString());
    auto frame = f.Server.NextFrame();
    QVERIFY(frame);
    QCOMPARE(*frame, talkFrame(3, 7, "", QByteArray(199, 'x')));
    f.Window()->SendTalk((QByteArray(198, 'x') + Sjis("あい")).toStdString());
    frame = f.Server.NextFrame();
    QVERIFY(frame);
    QCOMPARE(*frame, talkFrame(3, 7, "", QByteArray(198, 'x') + Sjis("あ")));
}

void TestMainWindowCommands::tabCompletesMemberNamesAcrossKana()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake(7));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby", {MakeMember(8, Sjis("タロウ")), MakeMember(9, "Bob", 1),
                                                MakeMember(10, Sjis("ﾀｹｼ"))});
    QVERIFY(sheet);
    f.Window()->show();
    QVERIFY(QTest::qWaitForWindowActive(f.Window()));
    QLineEdit* input = f.Window()->EditInputChat;
    input->setFocus();
    QInputMethodEvent typed;   // as an input method gives it: hiragana first
    typed.setCommitString(QStringLiteral("やあ た"));
    QApplication::sendEvent(input, &typed);
    QCOMPARE(input->cursorPosition(), input->text().size());
    QTest::keyClick(input, Qt::Key_Tab);
    QCOMPARE(input->text(), QStringLiteral("やあ タロウ"));
    QTest::keyClick(input, Qt::Key_Tab);
    QCOMPARE(input->text(), QStringLiteral("やあ ﾀｹｼ"));
    QTest::keyClick(input, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(input->text(), QStringLiteral("やあ タロウ"));
    QCOMPARE(input->cursorPosition(), input->text().size());
    QVERIFY(input->hasFocus());
    QTest::keyClick(input, Qt::Key_Return);
    auto frame = f.Server.NextFrame();
    QVERIFY(frame);
    QCOMPARE(*frame, talkFrame(3, 7, "", Sjis("やあ タロウ")));
    // The same text again after the line went: Tab starts afresh, it does not
    // go on with the cycle of the line sent.
    QInputMethodEvent again;
    again.setCommitString(QStringLiteral("やあ タロウ"));
    QApplication::sendEvent(input, &again);
    QTest::keyClick(input, Qt::Key_Tab);
    QCOMPARE(input->text(), QStringLiteral("やあ タロウ"));
    QVERIFY(input->hasFocus());   // completed afresh, not passed on as a Tab with no name
    input->clear();

    // No member starts with the word: Tab moves the focus on, as before.
    QTest::keyClicks(input, QStringLiteral("zz"));
    QTest::keyClick(input, Qt::Key_Tab);
    QCOMPARE(input->text(), QStringLiteral("zz"));
    QVERIFY(!input->hasFocus());

    // A double-clicked member goes in at the cursor, without the mark of the row.
    input->setCursorPosition(0);
    QListWidget* members = sheet->ListUser;
    QCOMPARE(members->item(2)->text(), QStringLiteral("Bob (*)"));
    const QRect row = members->visualItemRect(members->item(2));
    QTest::mouseClick(members->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(members->viewport(), Qt::LeftButton, {}, row.center());
    QCOMPARE(input->text(), QStringLiteral("Bobzz"));
    QVERIFY(input->hasFocus());
}

void TestMainWindowCommands::tabGoesOnPastANameTheInputCannotHoldWhole()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake(7));
    // A name with a byte that is no character: the input leaves that character out.
    QVERIFY(f.OpenRoom(3, "Lobby", {MakeMember(8, QByteArray("ab\x82")), MakeMember(9, "abc")}));
    f.Window()->show();
    QVERIFY(QTest::qWaitForWindowActive(f.Window()));
    QLineEdit* input = f.Window()->EditInputChat;
    input->setFocus();
    QTest::keyClicks(input, QStringLiteral("a"));
    QTest::keyClick(input, Qt::Key_Tab);
    QCOMPARE(input->text(), QStringLiteral("ab"));
    QTest::keyClick(input, Qt::Key_Tab);
    QCOMPARE(input->text(), QStringLiteral("abc"));
}

void TestMainWindowCommands::droppedInputIsSaidInTheStatusBar()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake(7));
    QVERIFY(f.OpenRoom(3, "Lobby"));
    QLineEdit* input = f.Window()->EditInputChat;
    QStatusBar* bar = f.Window()->statusBar();
    // A composition of 110 kana keeps the 100 that fit in 200 bytes, and says so.
    QInputMethodEvent commit;
    commit.setCommitString(QString(110, QChar(0x304B)));
    QApplication::sendEvent(input, &commit);
    QCOMPARE(input->text(), QString(100, QChar(0x304B)));
    QCOMPARE(bar->currentMessage(), QStringLiteral("200 バイトを超えた 10 文字は入力されませんでした"));
    input->clear();
    QInputMethodEvent heart;
    heart.setCommitString(QStringLiteral("♥"));
    QApplication::sendEvent(input, &heart);
    QCOMPARE(input->text(), QString());
    QCOMPARE(bar->currentMessage(), QStringLiteral("「♥」は送れない文字のため入力されませんでした"));
    // Text that is taken whole says nothing new; the message goes by itself.
    bar->clearMessage();
    QTest::keyClicks(input, QStringLiteral("abc"));
    QCOMPARE(bar->currentMessage(), QString());
}

// Esc clears a composition on screen while ibus keeps its text and commits it on
// the next change of focus or key. Every text field of every window, with the
// main window's children native as a dialog owned by it makes them.
void TestMainWindowCommands::cancelledCompositionNeverComesBack_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("then");
    for (const char* field : {"input", "find bar", "create room", "log search"})
        for (const char* then : {"click a sibling", "window deactivated", "dialog opens", "key"})
            QTest::addRow("%s, %s", field, then) << QString::fromLatin1(field) << QString::fromLatin1(then);
}

void TestMainWindowCommands::cancelledCompositionNeverComesBack()
{
    QFETCH(QString, field);
    QFETCH(QString, then);
    MainWindowFixture f;
    QVERIFY(f.Handshake(7));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QLineEdit* edit = w->EditInputChat;
    QWidget* sibling = sheet->ChatLog;
    if (field == QLatin1String("find bar")) {
        w->FindMenuClick();
        edit = w->FindBar1->EditFind;
        sibling = w->EditInputChat;
    } else if (field == QLatin1String("create room")) {
        FormCreateRoom->show();
        edit = FormCreateRoom->EditName;
        sibling = FormCreateRoom->EditPassword;
    } else if (field == QLatin1String("log search")) {
        w->MenuLogSearchClick();
        edit = w->FormLogSearch->EditSearch;
        sibling = w->FormLogSearch->ListResults;
    }
    QWidget* window = edit->window();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    sibling->winId();   // native, as the window's children become under a dialog it owns
    QVERIFY(sibling->windowHandle() != window->windowHandle());
    edit->setFocus();
    QInputMethodEvent preedit(QStringLiteral("かんじ"), {});
    QApplication::sendEvent(edit, &preedit);
    QInputMethodEvent cleared;   // Esc
    QApplication::sendEvent(edit, &cleared);

    if (then == QLatin1String("click a sibling")) {
        QTest::mouseClick(sibling->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    } else if (then == QLatin1String("window deactivated")) {
        // Another program takes the focus and gives it back, as the toolkit tells the window.
        for (QEvent::Type type : {QEvent::FocusOut, QEvent::WindowDeactivate, QEvent::WindowActivate, QEvent::FocusIn}) {
            if (type == QEvent::FocusOut || type == QEvent::FocusIn) {
                QFocusEvent focus(type, Qt::ActiveWindowFocusReason);
                QApplication::sendEvent(edit, &focus);
            } else {
                QEvent activation(type);
                QApplication::sendEvent(window, &activation);
            }
        }
    } else if (then == QLatin1String("dialog opens")) {
        QDialog dialog(window);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.hide();
    } else {
        QTest::keyClick(w->EditInputChat, Qt::Key_End);
    }
    edit->setFocus();
    QInputMethodEvent late;
    late.setCommitString(QStringLiteral("かんじ"));
    QApplication::sendEvent(edit, &late);
    QCOMPARE(edit->text(), QString());
}

void TestMainWindowCommands::zoomKeysAndWheelSizeTheLogAndTheInput()
{
    MainWindowFixture f("[Option]\r\nFontSize=14\r\n");
    QVERIFY(f.Handshake(7));
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QLineEdit* input = w->EditInputChat;
    input->setFocus();
    QCOMPARE(input->font().pixelSize(), 14);
    QCOMPARE(sheet->ChatLog->font().pixelSize(), 14);
    QCOMPARE(w->PageControl1->font().pixelSize(), 12);   // the rest of the window keeps the form font
    QTest::keyClick(input, Qt::Key_Plus, Qt::ControlModifier);
    QTest::keyClick(input, Qt::Key_Semicolon, Qt::ControlModifier);   // the plus key of a Japanese keyboard
    QCOMPARE(w->Options.Zoom, 125);
    QCOMPARE(input->font().pixelSize(), 18);   // 14 at 125 %, rounded
    QCOMPARE(sheet->ChatLog->font().pixelSize(), 18);
    // Ctrl+wheel over the log: one step a notch, and not the log's own zoom alone.
    QWheelEvent down(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::ControlModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(sheet->ChatLog->viewport(), &down);
    QCOMPARE(w->Options.Zoom, 110);
    QCOMPARE(sheet->ChatLog->font().pixelSize(), 15);
    QCOMPARE(input->font().pixelSize(), 15);
    // A room opened now comes in the same size.
    TChatSheet* second = f.OpenRoom(4, "Team");
    QVERIFY(second);
    QCOMPARE(second->ChatLog->font().pixelSize(), 15);
    QTest::keyClick(input, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(w->Options.Zoom, 100);
    QTest::keyClick(input, Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(input, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(w->Options.Zoom, 100);
    QTest::keyClick(input, Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(input->font().pixelSize(), 15);
    // Kept at exit in [Option], with the size that was there.
    f.Close();
    const QByteArray saved = f.SettingsBytes();
    QVERIFY(saved.contains("[Option]\r\nFontSize=14\r\nZoom=110\r\n"));
}

void TestMainWindowCommands::closingWithTheTrayOptionKeepsTheConnection()
{
    TrayIcon::AvailableForTests = true;
    MainWindowFixture f("[Option]\r\nKeepInTray=1\r\n");
    TFormMain* w = f.Window();
    w->UserName = "tanaka";
    w->Options.Notifications = false;
    QVERIFY(w->Tray != nullptr);
    QVERIFY(w->Options.KeepInTray);
    QVERIFY(f.Handshake(7));
    QVERIFY(f.OpenRoom(3, "Lobby", {MakeMember(8, "bob")}));
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));

    QVERIFY(!w->close());
    QVERIFY(w->isHidden());
    QVERIFY(w->Socket1->Active());
    QVERIFY(w->FindSheet(3) != nullptr);
    QVERIFY(!QApplication::quitOnLastWindowClosed());   // closing the board meanwhile does not end it

    // Mentions while away: a mark on the icon and the count in its tooltip.
    const QIcon plain = w->Tray->CurrentIcon();
    f.Server.SendRaw(talkFrame(3, 8, "bob", "tanaka, kickoff?"));
    f.Server.SendRaw(talkFrame(3, 8, "bob", "just chatting"));
    f.Server.SendRaw(talkFrame(3, 8, "bob", "TANAKA!"));
    QVERIFY(waitFor([&] { return w->FindSheet(3)->Lines.Size() >= 3; }));
    QCOMPARE(w->Tray->Waiting(), 2);
    QCOMPARE(w->Tray->ToolTip(), QStringLiteral("KVチャット - 名前を呼ばれた発言 2 件"));
    QVERIFY(w->Tray->CurrentIcon().cacheKey() != plain.cacheKey());

    // A click brings the window back, and the user has seen them.
    emit w->Tray->ShowRequested();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QCOMPARE(w->Tray->Waiting(), 0);
    QCOMPARE(w->Tray->CurrentIcon().cacheKey(), plain.cacheKey());
    QVERIFY(QApplication::quitOnLastWindowClosed());
    emit w->Tray->ToggleRequested();
    QVERIFY(w->isHidden());
    emit w->Tray->ToggleRequested();
    QVERIFY(w->isVisible());

    // 終了 (the tray's or the file menu's) ends it even so.
    w->ExitMenu->trigger();
    QVERIFY(w->isHidden());
    QVERIFY(QApplication::quitOnLastWindowClosed());
    TrayIcon::AvailableForTests.reset();
}

void TestMainWindowCommands::closingWhenTheTrayHasGoneClosesTheWindow()
{
    TrayIcon::AvailableForTests = true;
    MainWindowFixture f("[Option]\r\nKeepInTray=1\r\n");
    TFormMain* w = f.Window();
    QVERIFY(w->Tray != nullptr);
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    // The panel that held the tray has quit: a window hidden now could not be got back.
    TrayIcon::AvailableForTests = false;
    QVERIFY(w->close());
    QVERIFY(QApplication::quitOnLastWindowClosed());
    TrayIcon::AvailableForTests.reset();
}

// A tray that comes after the program gets the icon; a tray that goes while the
// window is in it gives the window back; a window brought back by another
// start (the tray gone) closes as the settings say.
void TestMainWindowCommands::theTrayNeverLosesTheWindow()
{
    TrayIcon::AvailableForTests = false;   // the panel is not up yet at login
    MainWindowFixture f("[Option]\r\nKeepInTray=1\r\n");
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QVERIFY(w->Tray != nullptr);   // made, for the toolkit to dock once a tray comes
    TrayIcon::AvailableForTests = true;
    QVERIFY(!w->close());   // the window goes to the tray
    QVERIFY(w->isHidden());   // kept in the tray

    TrayIcon::AvailableForTests = false;   // the panel quits
    QTRY_VERIFY_WITH_TIMEOUT(w->isVisible(), 10000);

    TrayIcon::AvailableForTests = true;
    QVERIFY(!w->close());   // the window goes to the tray
    QVERIFY(w->isHidden());
    TrayIcon::AvailableForTests = false;
    BringToFront(w, QString());   // a second start, before the window came back by itself
    QVERIFY(w->close());
    QVERIFY(!w->isVisible());
    QVERIFY(QApplication::quitOnLastWindowClosed());
    TrayIcon::AvailableForTests.reset();
}

void TestMainWindowCommands::optionsChooseTheFontAndWithoutATrayGreyTheTray()
{
    TrayIcon::AvailableForTests = false;
    MainWindowFixture f("[Option]\r\nKeepInTray=1\r\n");
    TFormMain* w = f.Window();
    bool greyed = false;
    OnNextModal([&](QWidget*) {
        greyed = !FormOption->CheckKeepInTray->isEnabled();
        QCOMPARE(FormOption->ComboFont->currentText(), QStringLiteral("ＭＳ Ｐゴシック"));
        QCOMPARE(FormOption->SpinFontSize->value(), 12);
        FormOption->ComboFont->setEditText(QStringLiteral("IPAGothic"));
        FormOption->SpinFontSize->setValue(16);
        FormOption->ButtonOk->click();
    });
    w->OptionMenuClick();
    QVERIFY(greyed);
    QVERIFY(w->Options.KeepInTray);   // the choice stands for a desktop that has a tray
    QCOMPARE(w->Options.FontFamily, std::string("IPAGothic"));
    QCOMPARE(w->EditInputChat->font().family(), QStringLiteral("IPAGothic"));
    QCOMPARE(w->EditInputChat->font().pixelSize(), 16);
    QVERIFY(f.SettingsBytes().contains("FontFamily=IPAGothic\r\nFontSize=16\r\n"));
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QVERIFY(w->close());
    TrayIcon::AvailableForTests.reset();
}

void TestMainWindowCommands::enterRoomByNumberWithoutPassword()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    f.Window()->LastPassword = "old";
    f.Server.SendRoomList({MakeRoom(3, "Lobby"), MakeRoom(9, "Nine")});
    QVERIFY(waitFor([&] { return f.Window()->RoomList->count() == 2; }));
    f.Window()->RoomList->setCurrentRow(1);
    f.Window()->ButtonEnterRoom->click();
    const auto frame = f.Server.NextFrame();
    QVERIFY(frame);
    QCOMPARE(*frame, enterFrame(9, ""));
    QCOMPARE(f.Window()->LastPassword, std::string());
}

void TestMainWindowCommands::enterPasswordRoomThroughDialog()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    f.Server.SendRoomList({MakeRoom(4, "Team", true)});
    QVERIFY(waitFor([&] { return f.Window()->RoomList->count() == 1; }));
    f.Window()->RoomList->setCurrentRow(0);
    OnNextModal([](QWidget* modal) {
        QCOMPARE(modal, static_cast<QWidget*>(FormPassword));
        FormPassword->EditPassword->setText("abc12");
        FormPassword->ButtonOk->click();
    });
    // A double-click on the row is the same command.
    emit f.Window()->RoomList->itemDoubleClicked(f.Window()->RoomList->item(0));
    const auto frame = f.Server.NextFrame();
    QVERIFY(frame);
    QCOMPARE(*frame, enterFrame(4, "abc12"));
    QCOMPARE(f.Window()->LastPassword, std::string("abc12"));
    // The room then opens with that password remembered.
    f.Window()->StartRooms.Count = 0;
    f.Server.SendRoomUser(4, {MakeMember(7, "me")});
    QVERIFY(waitFor([&] { return f.Window()->FindSheet(4) != nullptr; }));
    QCOMPARE(f.Window()->StartRooms.Rooms[0].Password, std::string("abc12"));
}

void TestMainWindowCommands::cancelledPasswordDialogSendsNothing()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    f.Window()->LastPassword = "before";
    f.Server.SendRoomList({MakeRoom(4, "Team", true)});
    QVERIFY(waitFor([&] { return f.Window()->RoomList->count() == 1; }));
    f.Window()->RoomList->setCurrentRow(0);
    OnNextModal([](QWidget*) { FormPassword->ButtonCancel->click(); });
    f.Window()->ButtonEnterRoomClick();
    QVERIFY(f.FramesUntilSync().isEmpty());
    QCOMPARE(f.Window()->LastPassword, std::string());
}

void TestMainWindowCommands::enterWithoutSelectionDoesNothing()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    f.Window()->LastPassword = "kept";
    f.Server.SendRoomList({MakeRoom(3, "Lobby")});
    QVERIFY(waitFor([&] { return f.Window()->RoomList->count() == 1; }));
    f.Window()->RoomList->clearSelection();
    f.Window()->RoomList->setCurrentItem(nullptr);
    f.Window()->ButtonEnterRoomClick();
    QVERIFY(f.FramesUntilSync().isEmpty());
    QCOMPARE(f.Window()->LastPassword, std::string("kept"));
}

void TestMainWindowCommands::createRoomSendsKindTwo()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    OnNextModal([](QWidget*) {
        FormCreateRoom->EditName->setText(QStringLiteral("新部屋"));
        FormCreateRoom->EditPassword->setText("pw9");
        FormCreateRoom->ButtonOk->click();
    });
    f.Window()->CreateMenuClick();
    const auto frame = f.Server.NextFrame();
    QVERIFY(frame);
    QCOMPARE(*frame, ScriptedServer::Frame(GmTypeCreateRoom, QByteArray(1, 2) + ScriptedServer::String(Sjis("新部屋")) +
                                                                  ScriptedServer::String("pw9")));
    QCOMPARE(f.Window()->LastPassword, std::string("pw9"));
}

void TestMainWindowCommands::cancelledCreateKeepsLastPassword()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    f.Window()->LastPassword = "keep";
    OnNextModal([](QWidget*) {
        FormCreateRoom->EditName->setText("Room");
        FormCreateRoom->ButtonCancel->click();
    });
    f.Window()->CreateMenuClick();
    QVERIFY(f.FramesUntilSync().isEmpty());
    QCOMPARE(f.Window()->LastPassword, std::string("keep"));
}

void TestMainWindowCommands::retireSendsRoomAndKeepsTabUntilConfirmed()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake(7));
    QVERIFY(f.OpenRoom(5, "Five"));
    f.Window()->RetireMenuClick();
    const auto frame = f.Server.NextFrame();
    QVERIFY(frame);
    QCOMPARE(*frame, QByteArray::fromHex("00041305"));
    QVERIFY(f.Window()->FindSheet(5) != nullptr);
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeRetireUser, QByteArray::fromHex("050007")));
    QVERIFY(waitFor([&] { return f.Window()->FindSheet(5) == nullptr; }));
}

void TestMainWindowCommands::tabCycling()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    TFormMain* w = f.Window();
    w->MenuNextClick();   // no tab: nothing happens
    w->MenuPrevClick();
    QCOMPARE(w->PageControl1->count(), 0);

    QVERIFY(f.OpenRoom(1, "A"));
    w->MenuNextClick();
    QCOMPARE(w->PageControl1->currentIndex(), 0);
    w->MenuPrevClick();
    QCOMPARE(w->PageControl1->currentIndex(), 0);

    QVERIFY(f.OpenRoom(2, "B"));
    QVERIFY(f.OpenRoom(3, "C"));
    QCOMPARE(w->PageControl1->currentIndex(), 2);
    w->MenuNextClick();
    QCOMPARE(w->PageControl1->currentIndex(), 0);   // after the last comes the first
    w->MenuPrevClick();
    QCOMPARE(w->PageControl1->currentIndex(), 2);   // before the first comes the last
    w->MenuPrevClick();
    QCOMPARE(w->PageControl1->currentIndex(), 1);
    // The menu entries carry their shortcuts.
    QCOMPARE(w->MenuPrev->shortcut(), QKeySequence(Qt::ALT | Qt::Key_1));
    QCOMPARE(w->MenuNext->shortcut(), QKeySequence(Qt::ALT | Qt::Key_2));
}

void TestMainWindowCommands::nextTabClearsUnreadMark()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    QVERIFY(f.OpenRoom(1, "A"));
    QVERIFY(f.OpenRoom(2, "B"));
    f.Server.SendTalk(1, 7, "", "hi");
    QVERIFY(waitFor([&] { return f.Window()->PageControl1->tabText(0) == QStringLiteral("A*"); }));
    f.Window()->MenuNextClick();
    QCOMPARE(f.Window()->PageControl1->currentIndex(), 0);
    QCOMPARE(f.Window()->PageControl1->tabText(0), QStringLiteral("A"));
}

void TestMainWindowCommands::webMenusOpenTheirAddresses()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->UrlHome = "http://home.invalid/";
    w->UrlGate = "http://gate.invalid/";
    w->UrlReserve = "http://reserve.invalid/r.html";
    w->UrlHoudou = "";
    w->MenuHtmlHome->trigger();
    w->MenuHtmlKVGAME->trigger();
    w->MenuHtmlReserve->trigger();
    w->MenuHtmlHoudou->trigger();
    const QString day = QString::number(QDate::currentDate().day());
    QCOMPARE(f.Opened, (QStringList{"http://home.invalid/", "http://gate.invalid/",
                                    "http://reserve.invalid/r.html#" + day, ""}));
    QVERIFY(!day.startsWith(QLatin1Char('0')));
}

void TestMainWindowCommands::roomListPanelToggles()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QVERIFY(w->PanelRoomList->isVisible());
    w->MenuRoomDisp->trigger();
    QVERIFY(!w->PanelRoomList->isVisible());
    w->MenuRoomDisp->trigger();
    QVERIFY(w->PanelRoomList->isVisible());
    w->MenuRoomDisp->trigger();
    f.Close();   // saved hidden
    QVERIFY(f.SettingsBytes().contains("RoomVisible=0\r\n"));
}

void TestMainWindowCommands::startRoomsDialogEditsTheList()
{
    MainWindowFixture f;
    TStartRoomList& rooms = f.Window()->StartRooms;
    rooms.Count = 0;
    AddStartRoom(rooms, "A", "pa");
    AddStartRoom(rooms, "B", "pb");
    OnNextModal([](QWidget*) {
        FormSetting->ListRoom->setCurrentRow(0);
        FormSetting->ButtonDeleteClick();
        FormSetting->ButtonExitClick();
    });
    f.Window()->MenuSetting->trigger();
    QCOMPARE(rooms.Count, 1);
    QCOMPARE(rooms.Rooms[0].Name, std::string("B"));
    QCOMPARE(rooms.Rooms[0].Password, std::string("pb"));
}

void TestMainWindowCommands::boardButtonDisabledWhileBoardShown()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    TChatSheet* sheet = f.OpenRoom(3, "Lobby");
    QVERIFY(sheet);
    f.Server.SendTalk(3, 7, "", "unread?");
    QVERIFY(waitFor([&] { return sheet->ChatLog->LineCount() == 1; }));
    f.Window()->ButtonBoard->click();
    QVERIFY(!f.Window()->ButtonBoard->isEnabled());
    QVERIFY(FormBoard->isVisible());
    QCOMPARE(FormBoard->windowTitle(), QStringLiteral("Lobby - フォーメーション盤"));
    FormBoard->close();
    QVERIFY(!FormBoard->isVisible());
    QVERIFY(f.Window()->ButtonBoard->isEnabled());
}

void TestMainWindowCommands::ctrlOOnTheBoardOpensTheConnectDialogAboveIt()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake());
    QVERIFY(f.OpenRoom(3, "Lobby"));
    f.Window()->ButtonBoard->click();
    f.Window()->CloseMenuClick();   // disconnected, the board still showing
    QVERIFY(FormBoard->isVisible());
    FormBoard->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(FormBoard));
    bool aboveBoard = false;
    int dialogs = 0;
    OnNextModal([&](QWidget* modal) {
        ++dialogs;
        QCOMPARE(modal, static_cast<QWidget*>(FormLogin));
        aboveBoard = FormLogin->windowFlags().testFlag(Qt::WindowStaysOnTopHint)
                     && FormLogin->windowHandle()->transientParent() == FormBoard->windowHandle();
        FormLogin->ButtonCancel->click();
    });
    QTest::keyClick(FormBoard, Qt::Key_O, Qt::ControlModifier);
    QVERIFY(waitFor([&] { return dialogs == 1; }));
    QVERIFY(aboveBoard);
}

void TestMainWindowCommands::boardLinesGoToTheBoardsRoomNotTheActiveTab()
{
    MainWindowFixture f;
    QVERIFY(f.Handshake(7));
    QVERIFY(f.OpenRoom(3, "Lobby"));
    f.Window()->ButtonBoard->click();
    QVERIFY(f.OpenRoom(4, "Team"));
    QCOMPARE(f.Window()->ActiveChatSheet(), f.Window()->FindSheet(4));
    const auto drag = [](int dx) {   // the ball, from its centre
        const QPoint at(CharItems[0].CenterX(), CharItems[0].CenterY());
        QTest::mousePress(FormBoard->ImageGround, Qt::LeftButton, {}, at);
        QTest::mouseRelease(FormBoard->ImageGround, Qt::LeftButton, {}, at + QPoint(dx, 0));
        QVERIFY(waitFor([] { return !FormBoard->LinesPending(); }));
    };
    drag(4);   // the ball, 50,50 -> 52,50
    QCOMPARE(f.FramesUntilSync(), QList<QByteArray>{talkFrame(3, 7, "", "*!B!*A5250")});
    FormBoard->ButtonAllClick();
    QVERIFY(waitFor([] { return !FormBoard->LinesPending(); }));
    const QList<QByteArray> all = f.FramesUntilSync();
    QCOMPARE(all.size(), 2);
    for (const QByteArray& frame : all)
        QCOMPARE(frame.at(3), char(3));   // the room byte of each GmTalk

    // Out of the board's room: nothing goes out, the board shows what it holds and says why.
    f.Server.SendRaw(ScriptedServer::Frame(GmTypeRetireUser, QByteArray::fromHex("030007")));
    QVERIFY(waitFor([&] { return f.Window()->FindSheet(3) == nullptr; }));
    drag(-10);   // 52 -> 47: the disc now covers x 87..100
    QVERIFY(f.FramesUntilSync().isEmpty());
    QCOMPARE(CharItems[0].nX, 47);
    QCOMPARE(FormBoard->BoardPicture().pixel(88, 150), qRgb(255, 255, 255));
    QVERIFY2(FormBoard->StatusText().contains(QStringLiteral("送信していません")), qPrintable(FormBoard->StatusText()));

    // The room gone and its number taken by another room: the board, still
    // titled Lobby, neither sends into that room nor takes its lines.
    f.Server.SendRoomList({MakeRoom(3, "")});
    QVERIFY(f.OpenRoom(3, "Other"));
    drag(-10);   // 47 -> 42
    QVERIFY(f.FramesUntilSync().isEmpty());
    QVERIFY2(FormBoard->StatusText().contains(QStringLiteral("送信していません")), qPrintable(FormBoard->StatusText()));
    f.Server.SendTalk(3, 8, "", "*!B!*A1010");
    QVERIFY(f.FramesUntilSync().isEmpty());
    QCOMPARE(CharItems[0].nX, 42);

    // Disconnected, the board still open: a drag is drawn where the table has it.
    f.Window()->CloseMenuClick();
    drag(-10);   // 42 -> 37: the disc covers x 67..80
    QCOMPARE(CharItems[0].nX, 37);
    QCOMPARE(FormBoard->BoardPicture().pixel(68, 147), qRgb(255, 255, 255));
    QVERIFY(IsGrass(FormBoard->BoardPicture().pixel(86, 147)));   // nothing left at 42
    QVERIFY2(FormBoard->StatusText().contains(QStringLiteral("接続していない")), qPrintable(FormBoard->StatusText()));
}

void TestMainWindowCommands::firstActivationOpensConnectDialogOnce()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->FirstActivate = true;
    int dialogs = 0;
    OnNextModal([&](QWidget* modal) {
        ++dialogs;
        QCOMPARE(modal, static_cast<QWidget*>(FormLogin));
        FormLogin->ButtonCancel->click();
    });
    w->show();
    w->activateWindow();
    QVERIFY(waitFor([&] { return dialogs == 1 && !w->FirstActivate; }));
    QVERIFY(!w->Socket1->Active());
    QVERIFY(w->OpenMenu->isEnabled());
    // Later activations do not reopen it.
    w->FormActivate();
    QTest::qWait(50);
    QCOMPARE(dialogs, 1);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

// Bounds saved on a larger screen, or at a smaller scale factor (a 1280 x 1024
// screen at QT_SCALE_FACTOR=2 is 640 x 512), put the window back wholly on the
// screen, as large as it fits.
void TestMainWindowCommands::savedBoundsOffTheScreenComeBackOnIt()
{
    const QByteArray bounds[] = {"Top=600\r\nLeft=900\r\nWidth=640\r\nHeight=480\r\n",
                                 "Top=-400\r\nLeft=-900\r\nWidth=640\r\nHeight=480\r\n",
                                 "Top=20\r\nLeft=30\r\nWidth=2400\r\nHeight=1900\r\n"};
    for (const QByteArray& form : bounds) {
        MainWindowFixture f("[Form]\r\n" + form + "RoomHeight=150\r\nRoomVisible=1\r\n");
        TFormMain* w = f.Window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QRect screen = w->screen()->availableGeometry();
        QVERIFY2(screen.contains(w->frameGeometry()),
                 qPrintable(QStringLiteral("%1: %2,%3 %4x%5 on %6x%7").arg(QString::fromLatin1(form.left(20)))
                                .arg(w->frameGeometry().x()).arg(w->frameGeometry().y())
                                .arg(w->frameGeometry().width()).arg(w->frameGeometry().height())
                                .arg(screen.width()).arg(screen.height())));
    }
}

void TestMainWindowCommands::settingsReadAtStartAndWrittenAtExit()
{
    const QByteArray file = "; written by hand\r\n"
                            "[Form]\r\nTop=50\r\nLeft=60\r\nWidth=640\r\nHeight=480\r\nRoomHeight=150\r\nRoomVisible=1\r\n"
                            "[Common]\r\nName=" + Sjis("選手") + "\r\nIP=127.0.0.1\r\nPort=0x2332\r\nRoomCount=2\r\n"
                            "[URL]\r\nHome=http://home.invalid/\r\nDownload=http://dl.invalid/\r\n"
                            "[Room1]\r\nName=Lobby\r\nPassword=\r\n[Room2]\r\nName=Team\r\nPassword=pw\r\n";
    MainWindowFixture f(file);
    TFormMain* w = f.Window();
    QCOMPARE(w->UserName, Sjis("選手").toStdString());
    QCOMPARE(w->Socket1->Address, std::string("127.0.0.1"));
    QCOMPARE(w->Socket1->Port, 9010);
    QCOMPARE(w->UrlHome, std::string("http://home.invalid/"));
    QCOMPARE(w->UrlDownload, std::string("http://dl.invalid/"));
    QCOMPARE(w->StartRooms.Count, 2);
    QCOMPARE(w->StartRooms.Rooms[1].Password, std::string("pw"));
    // The bounds are the window's outer bounds, frame included (the offscreen
    // platform draws one of 2 pixels).
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->frameGeometry(), QRect(60, 50, 640, 480));
    QVERIFY(w->frameGeometry() != w->geometry());
    w->move(70, 40);
    w->resize(600, 400);
    const QRect moved = w->frameGeometry();

    w->UserName = "newname";
    AddStartRoom(w->StartRooms, "Third", "");
    f.Close();
    const QByteArray saved = f.SettingsBytes();
    QVERIFY(saved.startsWith("; written by hand\r\n[Form]\r\n"));
    QVERIFY(saved.contains("RoomHeight=150\r\n"));
    QVERIFY(saved.contains("Name=newname\r\nIP=127.0.0.1\r\nPort=0x2332\r\nRoomCount=3\r\n"));
    QVERIFY(saved.contains("[URL]\r\nHome=http://home.invalid/\r\nDownload=http://dl.invalid/\r\n"));
    QVERIFY(saved.endsWith("[Room3]\r\nName=Third\r\nPassword=\r\n"));

    // The next run shows the window as it was left.
    MainWindowFixture again(saved);
    again.Window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(again.Window()));
    QCOMPARE(again.Window()->frameGeometry(), moved);
}

void TestMainWindowCommands::noSettingsFileGivesDesignValuesAndAFullFileAtExit()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    QCOMPARE(w->pos(), QPoint(411, 111));
    QCOMPARE(w->size(), QSize(561, 541));
    QVERIFY(!w->PanelRoomList->isHidden());
    QCOMPARE(w->UserName, std::string());
    QCOMPARE(w->Socket1->Address, std::string());
    QCOMPARE(w->Socket1->Port, 0);
    QCOMPARE(w->StartRooms.Count, 1);
    QCOMPARE(w->StartRooms.Rooms[0].Name, Sjis("待合室").toStdString());
    QCOMPARE(w->StartRooms.Rooms[0].Password, std::string());
    // With no address the socket refuses to open and says why.
    QVERIFY(!w->Socket1->Open().isEmpty());
    QVERIFY(!w->Socket1->Active());
    QVERIFY(!w->Socket1->Connecting());
    f.Close();
    QCOMPARE(f.SettingsBytes(), QByteArray("[Form]\r\nTop=111\r\nLeft=411\r\nWidth=561\r\nHeight=541\r\n"
                                           "RoomHeight=201\r\nRoomVisible=1\r\n[Common]\r\nName=\r\nRoomCount=1\r\n"
                                           "[Room1]\r\nName=") + Sjis("待合室") + QByteArray("\r\nPassword=\r\n"));
}

QTEST_MAIN(TestMainWindowCommands)
#include "tst_mainwindow_commands.moc"
