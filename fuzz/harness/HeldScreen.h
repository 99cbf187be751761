#pragma once
// The screen of a session that is drawn only when time passes, as a display
// refreshes between a user's actions, instead of after every event. A window
// kept off the platform (Qt::WA_DontShowOnScreen) still paints itself on every
// update; here each update waits, its region kept dirty by the toolkit, until
// Refresh paints everything that changed since the last one.
// Install it on the application; only widgets' update requests are held.

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace kvfuzz {

class HeldScreen : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::UpdateRequest || refreshing_ || !watched->isWidgetType())
            return false;
        ++Held;
        return true;
    }

    // Every shown window paints what changed, as the toolkit's own update does.
    void Refresh()
    {
        refreshing_ = true;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (!window->isVisible())
                continue;
            QEvent update(QEvent::UpdateRequest);
            QApplication::sendEvent(window, &update);
        }
        refreshing_ = false;
    }

    // Every shown window is to be painted whole at the next refresh, whatever
    // an input before left dirty.
    static void DirtyAll()
    {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible())
                window->update();
    }

    int Held = 0;   // update requests held back

private:
    bool refreshing_ = false;
};

}  // namespace kvfuzz
