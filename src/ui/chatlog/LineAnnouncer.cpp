#include "LineAnnouncer.h"

#include "ChatLogView.h"

#include <QAccessible>

namespace {

bool enabled = true;
bool installed = false;
bool telling = false;   // the event passing through is one of ours
QAccessible::UpdateHandler next = nullptr;

void Filter(QAccessibleEvent* event)
{
    switch (event->type()) {
    case QAccessible::TextInserted:
    case QAccessible::TextRemoved:
    case QAccessible::TextUpdated:
        if (!telling && qobject_cast<ChatLogView*>(event->object()))
            return;
        break;
    default:
        break;
    }
    // The toolkit hands an update either to an installed handler or, with none,
    // to the platform's bridge: step aside while it is passed on.
    QAccessible::installUpdateHandler(next);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(Filter);
}

}  // namespace

namespace LineAnnouncer {

void Install()
{
    if (installed)
        return;
    installed = true;
    next = QAccessible::installUpdateHandler(Filter);
}

void SetEnabled(bool on)
{
    enabled = on;
}

bool Enabled()
{
    return enabled;
}

void Announce(QWidget* log, int position, const QString& line)
{
    if (!enabled)
        return;
    telling = true;
    QAccessibleTextInsertEvent event(log, position, line);
    QAccessible::updateAccessibility(&event);
    telling = false;
}

}  // namespace LineAnnouncer
