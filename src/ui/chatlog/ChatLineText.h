#pragma once
// How one log line goes into a text document: the optional "HH:MM " before it,
// the text itself taken literally (markup in chat lines is shown as typed), and
// its http:// and https:// addresses as links in the line's own colour.

#include <QTextCharFormat>

#include <cstdint>
#include <string_view>

class QTextCursor;

// Inserts at the cursor; format is the line's character format (colour, and
// background for a mention). time: seconds since the epoch, shown when
// timestamps is set.
void InsertChatLineText(QTextCursor& cursor, std::string_view utf8Text, const QTextCharFormat& format,
                        std::int64_t time, bool timestamps);

// The number of characters InsertChatLineText puts before the text itself.
int ChatLinePrefixLength(bool timestamps);

// The anchor of every link: a marker, not the address (the opener reads the
// address from the line itself).
extern const QString LinkMarker;
