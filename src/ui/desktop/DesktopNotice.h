#pragma once
// Telling the user about a mention while the window is in the background: the
// taskbar entry asks for attention, and a desktop notification names the room,
// the speaker and the line, at most once per room in each ten seconds.

#include "Mention.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

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

    // A line from someone else named the user in room (its key for the limit).
    // While window is not the active window, its taskbar entry asks for
    // attention, and the result is true when a desktop notification is due:
    // notify (the user's choice) is set and the room had none for an interval.
    // The caller then builds the texts and shows it; a flood of mentions costs
    // no more than these checks.
    bool Mentioned(QWidget* window, bool notify, const std::string& room);

private:
    Clock Now;
    RateLimiter PerRoom{IntervalMs};
    RateLimiter Alerts{IntervalMs};   // asking again is no news to the taskbar
};
