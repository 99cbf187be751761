#pragma once
// The screen of a session that is drawn only when time passes, as a display
// refreshes between a user's actions, instead of after every event. A window
// kept off the platform (Qt::WA_DontShowOnScreen) still paints itself on every
// update, and a window of the platform (a dialog) when it is exposed; here both
// wait, the region kept dirty by the toolkit, until Refresh paints everything
// that changed since the last one. Install it on the application.

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <vector>

namespace kvfuzz {

class HeldScreen : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (refreshing_)
            return false;
        if (event->type() == QEvent::UpdateRequest && watched->isWidgetType()) {
            ++Held;
            return true;
        }
        if (event->type() == QEvent::Expose && watched->isWindowType()) {
            ++Held;
            exposed_.emplace_back(static_cast<QWindow*>(watched));
            return true;
        }
        return false;
    }

    // Every shown window paints what changed, as the toolkit's own update does;
    // a window exposed since the last refresh paints whole.
    void Refresh()
    {
        refreshing_ = true;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (!window->isVisible())
                continue;
            for (const QPointer<QWindow>& exposed : exposed_)
                if (exposed != nullptr && exposed == window->windowHandle())
                    window->update();
            QEvent update(QEvent::UpdateRequest);
            QApplication::sendEvent(window, &update);
        }
        exposed_.clear();
        refreshing_ = false;
    }

    // Every shown window is to be painted whole at the next refresh, whatever
    // an input before left dirty.
    void DirtyAll()
    {
        exposed_.clear();
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible())
                window->update();
    }

    int Held = 0;   // update requests and exposures held back

private:
    bool refreshing_ = false;
    std::vector<QPointer<QWindow>> exposed_;
};

}  // namespace kvfuzz
