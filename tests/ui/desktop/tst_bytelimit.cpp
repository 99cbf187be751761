#include "ByteLimit.h"
#include "InputNotice.h"
#include "SjisText.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class TestByteLimit : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void typingStopsAtTheLimit_data();
    void typingStopsAtTheLimit();
    void typedCharacterThatDoesNotFitLeavesTheTextAsItWas();
    void typingOverASelectionCountsTheFreedBytes();
    void typingACharacterWithoutACodeIsRefused();
    void pasteInsertsWhatFits_data();
    void pasteInsertsWhatFits();
    void pasteIntoTheMiddleKeepsTheRest();
    void pasteOverTheWholeText();
    void inputMethodCommitIsCut();
    void programTextIsNotCut();
    void passwordEditIsLimitedToo();
    void limitCanBeChanged();
    void droppedInputIsSaidInTheDialog_data();
    void cancelledCompositionDoesNotComeBack_data();
    void cancelledCompositionDoesNotComeBack();
    void droppedInputIsSaidInTheDialog();

    void sjisConversions();
    void unencodableCharactersBecomeQuestionMarks();

private:
    void typeText(const QString& text);
    std::unique_ptr<QLineEdit> edit;
};

void TestByteLimit::init()
{
    edit = std::make_unique<QLineEdit>();
    LimitBytes(edit.get(), 26);
    edit->show();
    edit->setFocus();
}

void TestByteLimit::cleanup()
{
    edit.reset();
}

// Key events carrying text, one character each, as a keyboard without an
// input method sends them.
void TestByteLimit::typeText(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype units = text[i].isHighSurrogate() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, edit.get(), Qt::Key_unknown, text.mid(i, units), Qt::NoModifier);
        i += units - 1;
    }
}

void TestByteLimit::typingStopsAtTheLimit_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ascii") << QString(30, 'a') << QString(26, 'a');
    QTest::newRow("double-byte") << QString(14, QChar(0x3042)) << QString(13, QChar(0x3042));
    QTest::newRow("half-width katakana") << QString(27, QChar(0xFF71)) << QString(26, QChar(0xFF71));
    QTest::newRow("odd byte left") << ("a" + QString(13, QChar(0x6F22)) + "b")
                                   << ("a" + QString(12, QChar(0x6F22)) + "b");
}

void TestByteLimit::typingStopsAtTheLimit()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    typeText(typed);
    QCOMPARE(edit->text(), expected);
    QVERIFY(SjisByteLength(edit->text()) <= 26);
}

void TestByteLimit::typedCharacterThatDoesNotFitLeavesTheTextAsItWas()
{
    typeText(QString(25, 'x'));
    edit->setCursorPosition(10);
    QSignalSpy changes(edit.get(), &QLineEdit::textChanged);
    typeText(QStringLiteral("漢"));
    QCOMPARE(edit->text(), QString(25, 'x'));
    QCOMPARE(edit->cursorPosition(), 10);
    QCOMPARE(changes.count(), 0);

    // The edit still takes what fits, and undo still works after the refusal.
    typeText(QStringLiteral("y"));
    QCOMPARE(edit->text(), QString(10, 'x') + "y" + QString(15, 'x'));
    edit->undo();
    QVERIFY(edit->text().size() < 26);
}

void TestByteLimit::typingOverASelectionCountsTheFreedBytes()
{
    typeText(QString(26, 'x'));
    edit->setSelection(4, 2);
    typeText(QStringLiteral("漢"));
    QCOMPARE(edit->text(), QString(4, 'x') + QStringLiteral("漢") + QString(20, 'x'));

    // One freed byte is not room for two: the key changes nothing, the
    // selection included.
    edit->setSelection(0, 1);
    typeText(QStringLiteral("字"));
    QCOMPARE(edit->text(), QString(4, 'x') + QStringLiteral("漢") + QString(20, 'x'));
}

void TestByteLimit::typingACharacterWithoutACodeIsRefused()
{
    typeText(QStringLiteral("ab"));
    for (const QString& character : {QStringLiteral("é"), QStringLiteral("¥"), QStringLiteral("한"),
                                     QString::fromUcs4(U"\U0001F600", 1)})
        typeText(character);
    typeText(QStringLiteral("〜"));  // has a code by convention: 0x8160
    QCOMPARE(edit->text(), QStringLiteral("ab〜"));
    QCOMPARE(ToSjis(edit->text()), std::string("ab\x81\x60"));
}

void TestByteLimit::pasteInsertsWhatFits_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ascii cut") << QString(20, 'x') << "abcdefghij" << QString(20, 'x') + "abcdef";
    QTest::newRow("fits whole") << "x" << "abc" << "xabc";
    QTest::newRow("no half character") << QString(23, 'x') << QStringLiteral("あいう")
                                       << QString(23, 'x') + QStringLiteral("あ");
    QTest::newRow("nothing fits") << QString(25, 'x') << QStringLiteral("あい") << QString(25, 'x');
    QTest::newRow("uncodable left out") << "" << (QStringLiteral("a¥b") + QString::fromUcs4(U"\U0001F600c", 2))
                                        << "abc";
    QTest::newRow("uncodable only") << "x" << QStringLiteral("é") << "x";
    QTest::newRow("stops at first misfit") << QString(24, 'x') << QStringLiteral("あb") << QString(24, 'x') + QStringLiteral("あ");
    QTest::newRow("misfit stops the rest") << QString(25, 'x') << QStringLiteral("あb") << QString(25, 'x');
}

void TestByteLimit::pasteInsertsWhatFits()
{
    QFETCH(QString, before);
    QFETCH(QString, pasted);
    QFETCH(QString, expected);
    typeText(before);
    QGuiApplication::clipboard()->setText(pasted);
    QTest::keyClick(edit.get(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), expected);
    QCOMPARE(edit->cursorPosition(), expected.size());
}

void TestByteLimit::pasteIntoTheMiddleKeepsTheRest()
{
    typeText("ab" + QString(20, 'x'));
    edit->setCursorPosition(1);
    QGuiApplication::clipboard()->setText(QStringLiteral("bあいう"));
    edit->paste();
    // Room for "bあ" only; the cursor tells the pasted "b" from the one typed.
    QCOMPARE(edit->text(), QStringLiteral("abあb") + QString(20, 'x'));
    QCOMPARE(edit->cursorPosition(), 3);
}

void TestByteLimit::pasteOverTheWholeText()
{
    typeText(QString(26, 'x'));
    edit->selectAll();
    QGuiApplication::clipboard()->setText(QString(40, QChar(0x6F22)));
    edit->paste();
    QCOMPARE(edit->text(), QString(13, QChar(0x6F22)));
}

void TestByteLimit::inputMethodCommitIsCut()
{
    typeText(QString(21, 'x'));
    QInputMethodEvent preedit(QStringLiteral("にほんご"), {});
    QApplication::sendEvent(edit.get(), &preedit);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("日本語"));
    QApplication::sendEvent(edit.get(), &commit);
    QCOMPARE(edit->text(), QString(21, 'x') + QStringLiteral("日本"));
}

void TestByteLimit::programTextIsNotCut()
{
    const QString longName = QString(15, QChar(0x6F22));  // 30 bytes
    edit->setText(longName);
    QCOMPARE(edit->text(), longName);
    QVERIFY(edit->hasAcceptableInput());

    edit->end(false);
    typeText(QStringLiteral("a"));
    QCOMPARE(edit->text(), longName);

    QTest::keyClick(edit.get(), Qt::Key_Backspace);
    QTest::keyClick(edit.get(), Qt::Key_Backspace);
    QTest::keyClick(edit.get(), Qt::Key_Backspace);
    typeText(QStringLiteral("ab"));
    QCOMPARE(edit->text(), QString(12, QChar(0x6F22)) + "ab");

    edit->setText(QString(30, 'z'));
    QCOMPARE(edit->text(), QString(30, 'z'));
}

void TestByteLimit::passwordEditIsLimitedToo()
{
    QLineEdit password;
    password.setEchoMode(QLineEdit::Password);
    LimitBytes(&password, 8);
    password.show();
    QTest::keyClicks(&password, "abcdefghijk");
    QCOMPARE(password.text(), QStringLiteral("abcdefgh"));
    QTest::keyClick(&password, Qt::Key_Backspace);
    QTest::keyClicks(&password, "XY");
    QCOMPARE(password.text(), QStringLiteral("abcdefgX"));
}

void TestByteLimit::limitCanBeChanged()
{
    LimitBytes(edit.get(), 4);
    typeText("abcdef");
    QCOMPARE(edit->text(), QStringLiteral("abcd"));
}

void TestByteLimit::sjisConversions()
{
    QCOMPARE(FromSjis("A\x82\xA0\xB1\x5C\x7E"), QStringLiteral("Aあｱ\\~"));
    QCOMPARE(FromSjis(std::string_view("\x88\x9F\x82", 3)), QStringLiteral("亜\uFFFD"));
    QCOMPARE(FromSjis(""), QString());
    QCOMPARE(ToSjis(QStringLiteral("Aあｱ\\~〜")), std::string("A\x82\xA0\xB1\x5C\x7E\x81\x60"));
    QCOMPARE(SjisByteLength(QStringLiteral("aあｱ")), 4);
    QCOMPARE(SjisByteLength(QString()), 0);
    QVERIFY(CanEncodeSjis(QStringLiteral("①Ⅰⅰ")));
    QCOMPARE(ToSjis(QStringLiteral("ⅰ")), std::string("\xFA\x40"));
}

void TestByteLimit::unencodableCharactersBecomeQuestionMarks()
{
    const QString emoji = QString::fromUcs4(U"\U0001F600", 1);
    QCOMPARE(ToSjis("a" + emoji + QStringLiteral("b¥あ")), std::string("a?b?\x82\xA0"));
    QString loneSurrogate = QStringLiteral("x");
    loneSurrogate += QChar(0xD800);
    loneSurrogate += QStringLiteral("y");
    QCOMPARE(ToSjis(loneSurrogate), std::string("x?y"));
    QCOMPARE(SjisByteLength(emoji), -1);
    QVERIFY(!CanEncodeSjis(QStringLiteral("¥")));
}

void TestByteLimit::droppedInputIsSaidInTheDialog_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("said");
    const QString grin = QString::fromUcs4(U"\U0001F600", 1);
    QTest::newRow("emoji") << "ab" << grin << QStringLiteral("「%1」は送れない文字のため入力されませんでした").arg(grin);
    QTest::newRow("cut") << "" << QString(20, QChar(0x3042)) << QStringLiteral("26 バイトを超えた 7 文字は入力されませんでした");
    QTest::newRow("both, each character once")
        << QString(20, 'x') << QStringLiteral("a♥한b♥c") + grin + QStringLiteral("defgh")
        << QStringLiteral("「♥한%1」は送れない文字のため入力されませんでした。26 バイトを超えた 2 文字は入力されませんでした").arg(grin);
    QTest::newRow("many named by the first few") << "" << QStringLiteral("①가나다라마바사아자차카")
                                                 << QStringLiteral("「가나다라마바사아…」は送れない文字のため入力されませんでした");
    QTest::newRow("nothing dropped") << "a" << QStringLiteral("あいう") << QString();
    // A password field says that something was left out, not what.
    QTest::newRow("password") << "pw" << QStringLiteral("é") << QStringLiteral("送れない文字は入力されませんでした");
}

void TestByteLimit::droppedInputIsSaidInTheDialog()
{
    QFETCH(QString, before);
    QFETCH(QString, pasted);
    QFETCH(QString, said);
    // As the dialogs are: controls placed by hand, a fixed size.
    QDialog dialog;
    auto* field = new QLineEdit(&dialog);
    field->setGeometry(8, 8, 180, 20);
    if (QString::fromLatin1(QTest::currentDataTag()) == QLatin1String("password"))
        field->setEchoMode(QLineEdit::Password);
    dialog.setFixedSize(248, 78);
    LimitBytes(field, 26);
    dialog.show();
    field->setFocus();
    QTest::keyClicks(field, before);
    QGuiApplication::clipboard()->setText(pasted);
    field->paste();
    QLabel* notice = InputNoticeLabel(&dialog);
    if (said.isEmpty()) {
        QVERIFY(notice == nullptr);
        QCOMPARE(dialog.height(), 78);
        return;
    }
    QVERIFY(notice != nullptr);
    QCOMPARE(notice->text(), said);
    QVERIFY(notice->isVisible());
    // Over the dialog just below the field; the dialog keeps its size.
    const QPoint below = field->mapToGlobal(QPoint(0, field->height()));
    QVERIFY(notice->pos().y() >= below.y() && notice->pos().y() <= below.y() + 4);
    QCOMPARE(notice->pos().x(), below.x());
    QCOMPARE(dialog.size(), QSize(248, 78));
    auto* timer = notice->findChild<QTimer*>();
    QVERIFY(timer && timer->isActive());
    QCOMPARE(timer->interval(), InputNoticeMs);
    QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
    QVERIFY(!notice->isVisible());
    QCOMPARE(dialog.size(), QSize(248, 78));
    // Said again, then the dialog closes: the notice goes with it.
    field->paste();
    QVERIFY(notice->isVisible());
    dialog.hide();
    QVERIFY(notice->isHidden());
    QVERIFY(!timer->isActive());
}

// What an input method sends, step by step: "P text" shows a composition, "C text"
// commits, "X" clears the composition without a commit (Esc), "K" is a key the
// edit gets, "M" a click in its window, "L" the event loop running with nothing else (the
// toolkit commits what ibus still holds as the focus leaves the program, before telling
// any window).
void TestByteLimit::cancelledCompositionDoesNotComeBack_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("expected");
    const auto steps = [](const char* text) { return QString::fromUtf8(text).split(QLatin1Char('|')); };
    // As ibus with Mozc does on Qt 6.4: the cleared text comes back on Enter or a change of focus.
    QTest::newRow("esc, then enter") << steps("C てすと|P かんじ|X|K|C かんじ") << QStringLiteral("てすと");
    QTest::newRow("esc, then a click") << steps("C てすと|P かんじ|X|M|C かんじ") << QStringLiteral("てすと");
    QTest::newRow("esc, then focus leaves the program") << steps("C てすと|P かんじ|X|L|C かんじ") << QStringLiteral("てすと");
    QTest::newRow("once only") << steps("P かんじ|X|K|C かんじ|K|C かんじ") << QStringLiteral("かんじ");
    // Commits the user saw coming pass.
    QTest::newRow("converted") << steps("P かんじ|P 感じ|C 感じ") << QStringLiteral("感じ");
    QTest::newRow("as typed") << steps("P かんじ|C かんじ") << QStringLiteral("かんじ");
    QTest::newRow("cleared and committed in one go") << steps("P かんじ|X|C かんじ") << QStringLiteral("かんじ");
    QTest::newRow("composed again") << steps("P かんじ|X|K|P かんじ|C かんじ") << QStringLiteral("かんじ");
    QTest::newRow("another text") << steps("P かんじ|X|K|C 漢") << QStringLiteral("漢");
    QTest::newRow("direct commit") << steps("K|C ♪") << QStringLiteral("♪");
}

void TestByteLimit::cancelledCompositionDoesNotComeBack()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, expected);
    QVERIFY(QTest::qWaitForWindowExposed(edit.get()));
    for (const QString& step : steps) {
        const QString text = step.mid(2);
        if (step.startsWith(QLatin1Char('P'))) {
            QInputMethodEvent event(text, {QInputMethodEvent::Attribute(QInputMethodEvent::Cursor, int(text.size()), 1)});
            QApplication::sendEvent(edit.get(), &event);
        } else if (step.startsWith(QLatin1Char('C'))) {
            QInputMethodEvent event;
            event.setCommitString(text);
            QApplication::sendEvent(edit.get(), &event);
        } else if (step == QLatin1String("X")) {
            QInputMethodEvent event;
            QApplication::sendEvent(edit.get(), &event);
        } else if (step == QLatin1String("K")) {
            QTest::keyClick(edit.get(), Qt::Key_End);
        } else if (step == QLatin1String("M")) {
            QTest::mouseClick(edit->windowHandle(), Qt::LeftButton, {}, QPoint(edit->width() - 2, 5));
        } else if (step == QLatin1String("L")) {
            QCoreApplication::processEvents();
        }
    }
    QCOMPARE(edit->text(), expected);
}

QTEST_MAIN(TestByteLimit)
#include "tst_bytelimit.moc"
