// Nothing the user reads is clipped: every label and button of every window
// shows its whole text, and the input row is tall enough for its text at
// every zoom.
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

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

namespace {

QString Shown(QString text)
{
    // "&W" shows as an underlined W; "&&" as one ampersand.
    return text.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&')).replace(u'\x01', u'&');
}

// Each label or button of window whose one-line text is wider than the room it has.
QStringList Clipped(QWidget* window)
{
    QStringList clipped;
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->window() != window || label->wordWrap() || label->text().isEmpty() || label->pixmap().cacheKey())
            continue;
        const QString text = label->textFormat() == Qt::RichText ? QString() : Shown(label->text());
        const int room = label->contentsRect().width() - 2 * label->margin();
        if (!text.contains(QLatin1Char('\n')) && label->fontMetrics().horizontalAdvance(text) > room)
            clipped << QStringLiteral("%1 %2 \"%3\"").arg(window->objectName(), label->objectName(), text);
    }
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (button->window() != window || button->text().isEmpty())
            continue;
        // A check box's text starts after its indicator; a push button's has a margin each side.
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool check = qobject_cast<QCheckBox*>(button) != nullptr;
        const int room = check ? button->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, button).width()
                               : button->width() - 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin);
        if (button->fontMetrics().horizontalAdvance(Shown(button->text())) > room && button->isVisibleTo(window))
            clipped << QStringLiteral("%1 %2 \"%3\"").arg(window->objectName(), button->objectName(),
                                                          Shown(button->text()));
    }
    return clipped;
}

}  // namespace

class TestTextFits : public QObject {
    Q_OBJECT

private slots:
    void everyLabelAndButtonShowsItsWholeText();
    void theInputRowGrowsWithTheZoom();
};

void TestTextFits::everyLabelAndButtonShowsItsWholeText()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(f.Handshake());
    QVERIFY(f.OpenRoom(3, "Lobby"));
    w->MenuLogSearchClick();
    const QList<QWidget*> windows = {w,          FormLogin, FormCreateRoom, FormPassword, FormSetting,
                                     FormUpdate, FormBoard, FormBoardName,  FormOption,   w->FormLogSearch};
    QStringList clipped;
    for (QWidget* window : windows) {
        window->ensurePolished();
        clipped << Clipped(window);
    }
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral(", "))));
}

void TestTextFits::theInputRowGrowsWithTheZoom()
{
    MainWindowFixture f;
    TFormMain* w = f.Window();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    for (int step = 0; step < 12; ++step) {
        QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl++")));
        QLineEdit* input = w->EditInputChat;
        const int need = input->fontMetrics().height() + 4;
        QVERIFY2(input->height() >= need, qPrintable(QStringLiteral("zoom step %1: %2 < %3")
                                                         .arg(step).arg(input->height()).arg(need)));
        QVERIFY(input->geometry().bottom() < input->parentWidget()->height());
    }
}

QTEST_MAIN(TestTextFits)
#include "tst_text_fits.moc"
