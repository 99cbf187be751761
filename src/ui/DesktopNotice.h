#pragma once
// Telling the user about a mention while the window is in the background: the
// taskbar entry asks for attention, and a desktop notification names the room,
// the speaker and the line, at most once per room in each ten seconds.

#include "Mention.h"

#include <QString>

#include <cstdint>
#include <functional>

class QWidget;

// One desktop notification: the desktop's notification service over D-Bus,
// or the tray's balloon message where that service is missing. Both show the
// texts as plain text.
void ShowDesktopNotification(const QString& summary, const QString& body);

// Tests see every notification here instead of the desktop; an empty function
// restores the real one.
using NotificationInterceptor = std::function<void(const QString& summary, const QString& body)>;
void SetNotificationInterceptor(NotificationInterceptor interceptor);

class MentionNotice {
public:
    static constexpr std::int64_t IntervalMs = 10000;
    using Clock = std::function<std::int64_t()>;   // milliseconds, never going back

    MentionNotice();
    // Tests move time on by hand.
    void SetClock(Clock clock) { Now = std::move(clock); }

    // A line from someone else named the user. Does nothing while window is
    // the active window; notify: the user's choice for desktop notifications.
    void Mentioned(QWidget* window, bool notify, const QString& room, const QString& speaker,
                   const QString& text);

private:
    Clock Now;
    RateLimiter PerRoom{IntervalMs};
};
