#include "DialogDriver.h"

#include "MessageBoxes.h"
#include "ShellOpen.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTest>

namespace DialogDriver {

ModalSteps::ModalSteps(QDialog& dialog, std::function<void()> steps)
    : dialog(dialog), steps(std::move(steps))
{
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [this] { Run(); });
    timer.start(0);
}

// A dialog that never came up must not be driven later by a stale timer.
ModalSteps::~ModalSteps() { timer.stop(); }

void ModalSteps::Run()
{
    if (QApplication::activeModalWidget() != &dialog || !dialog.isVisible()) {
        timer.start(10);   // not up yet: the timer fired in an outer loop
        return;
    }
    ran = true;
    steps();
    if (dialog.isVisible()) {
        leftOpen = true;
        dialog.close();
    }
}

void TypeText(QWidget* target, const QString& text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

void PressKey(QDialog& dialog, Qt::Key key)
{
    QWidget* focus = dialog.focusWidget();
    QTest::keyClick(focus ? focus : &dialog, key);
}

QList<QWidget*> TabOrder(QDialog& dialog)
{
    QList<QWidget*> order;
    for (QWidget* w = dialog.nextInFocusChain(); w != &dialog; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
            order << w;
    }
    return order;
}

QList<QMessageBox*> VisibleMessageBoxes()
{
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            boxes << box;
    return boxes;
}

BoxRecorder::BoxRecorder()
{
    SetBoxInterceptor([this](const QString& caption, const QString& text) {
        captions.append(caption);
        texts.append(text);
    });
}

BoxRecorder::~BoxRecorder() { SetBoxInterceptor({}); }

ShellRecorder::ShellRecorder()
{
    SetShellOpenInterceptor([this](const QString& address) { addresses.append(address); });
}

ShellRecorder::~ShellRecorder() { SetShellOpenInterceptor({}); }

}  // namespace DialogDriver
