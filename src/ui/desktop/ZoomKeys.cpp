#include "ZoomKeys.h"

#include <QKeySequence>
#include <QShortcut>
#include <QWheelEvent>
#include <QWidget>

ZoomKeys::ZoomKeys(QWidget* window) : QObject(window)
{
    // Ctrl+plus, typed with Shift or without it (Ctrl+; on a Japanese keyboard,
    // Ctrl+= on a US one, where plus shares the key).
    const struct {
        QKeySequence keys;
        int direction;
    } bindings[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), +1},
        {QKeySequence(Qt::CTRL | Qt::Key_Equal), +1},
        {QKeySequence(Qt::CTRL | Qt::Key_Semicolon), +1},
        {QKeySequence(Qt::CTRL | Qt::Key_Minus), -1},
        {QKeySequence(Qt::CTRL | Qt::Key_0), 0},
    };
    for (const auto& binding : bindings) {
        auto* shortcut = new QShortcut(binding.keys, window);
        const int direction = binding.direction;
        connect(shortcut, &QShortcut::activated, this, [this, direction] { emit Zoom(direction); });
    }
}

void ZoomKeys::Watch(QWidget* widget)
{
    widget->installEventFilter(this);
}

bool ZoomKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel)
        return QObject::eventFilter(watched, event);
    auto* wheel = static_cast<QWheelEvent*>(event);
    if (!(wheel->modifiers() & Qt::ControlModifier))
        return false;
    // One step per notch (120 eighths of a degree), however finely the wheel reports.
    wheelRest_ += wheel->angleDelta().y();
    while (wheelRest_ >= 120) {
        wheelRest_ -= 120;
        emit Zoom(+1);
    }
    while (wheelRest_ <= -120) {
        wheelRest_ += 120;
        emit Zoom(-1);
    }
    wheel->accept();
    return true;   // not the log's own zoom, which would be forgotten
}
