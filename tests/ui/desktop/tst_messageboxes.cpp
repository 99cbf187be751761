// Error boxes with real event loops: answers that arrive while boxes are open
// never stack more than three boxes, repeated texts show once, and what had
// to wait is shown in order after the user dismissed the open ones.

#include "DialogDriver.h"
#include "MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

// Records the text of every message box as it is shown.
class ShownBoxes : public QObject {
public:
    ShownBoxes() { qApp->installEventFilter(this); }
    ~ShownBoxes() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                Texts << box->text();
                Captions << box->windowTitle();
                PlainText = PlainText && box->textFormat() == Qt::PlainText;
            }
        return false;
    }
    QStringList Texts;
    QStringList Captions;
    bool PlainText = true;
};

// Plays a server and a user: while calls remain, each tick posts one
// ShowErrorBox call, which runs inside whichever box's loop is innermost, as a
// socket answer would; then each tick dismisses every box on screen until none
// has been seen for a few ticks. Returns the most boxes open at once, or -1
// if the boxes were still coming after a minute.
int Play(const QList<std::function<void()>>& calls)
{
    int posted = 0;
    int mostOpen = 0;
    int idle = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto boxes = DialogDriver::VisibleMessageBoxes();
        mostOpen = std::max(mostOpen, int(boxes.size()));
        if (posted < calls.size()) {
            QMetaObject::invokeMethod(qApp, calls[posted++], Qt::QueuedConnection);
            return;
        }
        for (QMessageBox* box : boxes)
            box->reject();
        idle = boxes.isEmpty() ? idle + 1 : 0;
        if (idle > 20)
            tick.stop();
    });
    tick.start();
    if (!QTest::qWaitFor([&] { return !tick.isActive(); }, 60000))
        return -1;
    return mostOpen;
}

std::function<void()> box(const QString& text, QWidget* parent = nullptr)
{
    return [text, parent] { ShowErrorBox(text, parent); };
}

} // namespace

class TestMessageBoxes : public QObject {
    Q_OBJECT

private slots:
    void distinctTextsNestThreeDeepThenWait();
    void repeatedTextShowsOnce();
    void waitingBoxOutlivesItsParent();
    void interceptorSeesEveryCall();
};

void TestMessageBoxes::distinctTextsNestThreeDeepThenWait()
{
    ShownBoxes shown;
    QList<std::function<void()>> calls;
    QStringList texts;
    for (int i = 0; i < 40; ++i) {
        texts << QStringLiteral("エラー %1 <b>x</b>").arg(i);
        calls << box(texts.back());
    }
    const int mostOpen = Play(calls);

    QCOMPARE(mostOpen, 3);
    // Three open, 32 waited, the last five had no room and were dropped.
    QCOMPARE(shown.Texts, texts.mid(0, 35));
    QVERIFY(std::all_of(shown.Captions.begin(), shown.Captions.end(),
                        [](const QString& c) { return c == ErrorCaption; }));
    QVERIFY(shown.PlainText);
    QVERIFY(DialogDriver::VisibleMessageBoxes().isEmpty());

    // Nothing is left waiting: the next error shows on its own.
    ShownBoxes after;
    QCOMPARE(Play({box(QStringLiteral("next"))}), 1);
    QCOMPARE(after.Texts, QStringList{QStringLiteral("next")});
}

void TestMessageBoxes::repeatedTextShowsOnce()
{
    ShownBoxes shown;
    const QString repeated = QStringLiteral("部屋の作成に失敗しました");
    const QString other = QStringLiteral("パスワードが違います");
    QList<std::function<void()>> calls;
    for (int i = 0; i < 300; ++i)
        calls << box(repeated);
    calls << box(other);
    for (int i = 0; i < 300; ++i)
        calls << box(i % 2 ? repeated : other);

    QCOMPARE(Play(calls), 2);
    QCOMPARE(shown.Texts, (QStringList{repeated, other}));

    // Once dismissed, the same text shows again for a later failure.
    ShownBoxes later;
    QCOMPARE(Play({box(repeated)}), 1);
    QCOMPARE(later.Texts, QStringList{repeated});
}

void TestMessageBoxes::waitingBoxOutlivesItsParent()
{
    ShownBoxes shown;
    // The open boxes belong to a window that stays; the waiting one's goes.
    QWidget stays;
    stays.show();
    auto parent = std::make_unique<QWidget>();
    parent->show();
    QPointer<QWidget> watch = parent.get();
    QList<std::function<void()>> calls{box("a", &stays), box("b", &stays), box("c", &stays),
                                       box("waits", parent.get()),
                                       [&parent] { parent.reset(); }};
    QCOMPARE(Play(calls), 3);
    QVERIFY(watch.isNull());
    QCOMPARE(shown.Texts, (QStringList{"a", "b", "c", "waits"}));
}

void TestMessageBoxes::interceptorSeesEveryCall()
{
    // Tests that intercept boxes count answers, so nothing is collapsed there.
    QStringList seen;
    SetBoxInterceptor([&](const QString& caption, const QString& text) {
        QCOMPARE(caption, ErrorCaption);
        seen << text;
    });
    for (int i = 0; i < 5; ++i)
        ShowErrorBox(QStringLiteral("same"));
    ShowStandardError(QStringLiteral("standard"));
    SetBoxInterceptor({});
    QCOMPARE(seen, (QStringList{"same", "same", "same", "same", "same", "standard"}));
}

QTEST_MAIN(TestMessageBoxes)
#include "tst_messageboxes.moc"
