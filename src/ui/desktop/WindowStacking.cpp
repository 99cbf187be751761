#include "WindowStacking.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

QWidget* OnTopWindow(const QWidget* except)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != except && w->isVisible() && (w->windowFlags() & Qt::WindowStaysOnTopHint)
            && !w->property("kvAboveOnTop").toBool())
            return w;
    }
    return nullptr;
}

void KeepAboveOnTopWindows(QWidget& window)
{
    QWidget* above = OnTopWindow(&window);
    // Changing the flags makes the window anew, which drops its owner: flags first.
    if (window.property("kvAboveOnTop").toBool() != (above != nullptr)) {
        window.setWindowFlag(Qt::WindowStaysOnTopHint, above != nullptr);
        window.setProperty("kvAboveOnTop", above != nullptr);
    }
    window.winId();   // makes the native window, so its owner can be set before it maps
    QWidget* owner = above;
    if (owner == nullptr && window.parentWidget() != nullptr)
        owner = window.parentWidget()->window();
    if (owner != nullptr)
        owner->winId();
    window.windowHandle()->setTransientParent(owner != nullptr ? owner->windowHandle() : nullptr);
}
