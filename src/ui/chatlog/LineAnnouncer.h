#pragma once
// New lines of the room on screen, told to assistive technology one by one.
// The toolkit tells of every change to a log's text as one edit: a batch of
// lines, lines dropped at the top, a page of history or a whole tab rebuilt
// alike, so a screen reader would read pages at a time. Those edits of the logs
// are held back; each new line of the room on screen is told on its own as an
// insertion at the log's end, which a screen reader reads out without moving
// the focus. The user's option turns the telling off.

#include <QString>

class QWidget;

namespace LineAnnouncer {

// Puts the filter in front of whatever receives accessibility updates; once is enough.
void Install();
// Whether new lines are told (the option); on until set.
void SetEnabled(bool on);
bool Enabled();
// log is a chat log whose text just got line at position; told only when enabled
// and a screen reader listens.
void Announce(QWidget* log, int position, const QString& line);

}  // namespace LineAnnouncer
