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

}  // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void everyFocusableControlHasAName();
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

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
