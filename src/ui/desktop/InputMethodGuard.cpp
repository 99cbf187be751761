#include "InputMethodGuard.h"

#include <QCoreApplication>
#include <QInputMethodEvent>

void InputMethodGuard::Install()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && app->findChild<InputMethodGuard*>(QString(), Qt::FindDirectChildrenOnly) == nullptr)
        new InputMethodGuard(app);
}

InputMethodGuard::InputMethodGuard(QObject* application) : QObject(application)
{
    application->installEventFilter(this);
}

namespace {

// Whatever comes between an input method's own steps: the user's keys and
// clicks anywhere, and any change of focus or of the active window.
bool EndsTheComposition(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
    case QEvent::ApplicationStateChange:
        return true;
    default:
        return false;
    }
}

}  // namespace

bool InputMethodGuard::eventFilter(QObject* /*watched*/, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (EndsTheComposition(type)) {
        if (!cancelled_.isEmpty())
            acted_ = true;
        return false;
    }
    if (type != QEvent::InputMethod)
        return false;
    // A field that hands the event on to an inner one (a spin box, a combo
    // box) shows it here twice; the second pass changes nothing.
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
    } else if (!shown_.isEmpty()) {
        cancelled_ = shown_;
        acted_ = false;
        // Leaving the program commits what ibus still holds before any window
        // hears of it, so a pass of the event loop counts as the user moving on.
        QMetaObject::invokeMethod(
            this, [this, clear = ++clears_] {
                if (clear == clears_ && !cancelled_.isEmpty())
                    acted_ = true;
            },
            Qt::QueuedConnection);
    }
    shown_ = preedit;
    return false;
}
