#include "ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

QRect FitOnScreen(const QRect& outer)
{
    const QScreen* best = QGuiApplication::primaryScreen();
    qint64 bestArea = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->availableGeometry().intersected(outer);
        const qint64 area = static_cast<qint64>(common.width()) * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    if (!best)
        return outer;
    const QRect area = best->availableGeometry();
    // Mostly on the screen with its title bar in reach: the user's (or the form's) place stays.
    const qint64 whole = static_cast<qint64>(outer.width()) * outer.height();
    if (outer.top() >= area.top() && outer.top() < area.bottom() && 2 * bestArea >= whole)
        return outer;
    QRect fitted(outer.topLeft(), outer.size().boundedTo(area.size()));
    fitted.moveLeft(std::clamp(fitted.left(), area.left(), area.right() + 1 - fitted.width()));
    fitted.moveTop(std::clamp(fitted.top(), area.top(), area.bottom() + 1 - fitted.height()));
    return fitted;
}
