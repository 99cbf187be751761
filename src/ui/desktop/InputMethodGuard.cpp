#include "InputMethodGuard.h"

#include <QInputMethodEvent>
#include <QLineEdit>
#include <QWindow>

void InputMethodGuard::Install(QLineEdit* edit)
{
    if (edit->findChild<InputMethodGuard*>(QString(), Qt::FindDirectChildrenOnly) == nullptr)
        new InputMethodGuard(edit);
}

InputMethodGuard::InputMethodGuard(QLineEdit* edit) : QObject(edit), edit_(edit)
{
    edit->installEventFilter(this);
}

void InputMethodGuard::watchWindow()
{
    QWindow* window = edit_->window()->windowHandle();
    if (window == window_)
        return;
    if (window_)
        window_->removeEventFilter(this);
    window_ = window;
    if (window_)
        window_->installEventFilter(this);
}

bool InputMethodGuard::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::MouseButtonPress) {
        if (!cancelled_.isEmpty())
            acted_ = true;
        return false;
    }
    if (watched != edit_ || type != QEvent::InputMethod)
        return false;
    const auto* im = static_cast<QInputMethodEvent*>(event);
    const QString& preedit = im->preeditString();
    const QString& commit = im->commitString();
    if (acted_ && shown_.isEmpty() && preedit.isEmpty() && commit == cancelled_ && im->replacementLength() == 0) {
        // Nothing the user saw since ends in this text: it is the cancelled one coming back.
        cancelled_.clear();
        acted_ = false;
        return true;
    }
    if (!preedit.isEmpty() || !commit.isEmpty()) {
        cancelled_.clear();
        acted_ = false;
        watchWindow();
    } else if (!shown_.isEmpty()) {
        cancelled_ = shown_;
        acted_ = false;
    }
    shown_ = preedit;
    return false;
}
