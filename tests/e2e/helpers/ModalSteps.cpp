#include "ModalSteps.h"

#include <QApplication>
#include <QDialog>
#include <QTest>

namespace e2e {

ModalSteps::ModalSteps(QDialog& dialog, std::function<void()> steps)
    : dialog_(dialog), steps_(std::move(steps))
{
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(0);
}

// A dialog that never came up must not be driven later by a stale timer.
ModalSteps::~ModalSteps() { timer_.stop(); }

void ModalSteps::Poll()
{
    if (ran_)
        return;
    if (QApplication::activeModalWidget() != &dialog_ || !dialog_.isVisible()) {
        timer_.start(10);   // not up yet
        return;
    }
    ran_ = true;
    steps_();
    if (dialog_.isVisible()) {
        leftOpen_ = true;
        dialog_.close();
    }
}

void TypeText(QWidget* target, const QString& text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

}  // namespace e2e
