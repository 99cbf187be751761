#include "ChatLineText.h"

#include "ClockText.h"
#include "LinkFinder.h"
#include "TextSearch.h"

#include <QTextCursor>

namespace {
constexpr int TimestampLength = 6;   // "HH:MM "
}  // namespace

const QString LinkMarker = QStringLiteral("kv-link");

// Every link of a line's look shares one format: the address is not kept in it
// (it is read back from the text when clicked), so a flood of different
// addresses does not grow the document's table of formats.
const QTextCharFormat& LinkFormat(const QTextCharFormat& line)
{
    static QTextCharFormat base;
    static QTextCharFormat link;
    if (!(line == base) || !link.isAnchor()) {
        base = line;
        link = line;
        link.setAnchor(true);
        link.setAnchorHref(LinkMarker);
        link.setFontUnderline(true);
    }
    return link;
}

int ChatLinePrefixLength(bool timestamps)
{
    return timestamps ? TimestampLength : 0;
}

void InsertChatLineText(QTextCursor& cursor, std::string_view utf8Text, const QTextCharFormat& format,
                        std::int64_t time, bool timestamps)
{
    QString head;
    if (timestamps) {
        // Lines come in bursts from the same minute: the text is made once per minute.
        static std::string lastClock;
        static QString lastHead;
        const std::string clock = ClockText(time);
        if (clock != lastClock) {
            lastClock = clock;
            lastHead = QString::fromStdString(clock + ' ');
        }
        head = lastHead;
    }
    // Most lines hold no address: one insert, as fast as a plain line.
    if (utf8Text.find("://") == std::string_view::npos) {
        const QString text = QString::fromUtf8(utf8Text.data(), static_cast<qsizetype>(utf8Text.size()));
        cursor.insertText(head.isEmpty() ? text : head + text, format);
        return;
    }
    std::size_t done = 0;
    for (const TextSpan& link : FindLinks(utf8Text)) {
        const std::string_view before = utf8Text.substr(done, link.Begin - done);
        const QString address = QString::fromUtf8(utf8Text.data() + link.Begin,
                                                  static_cast<qsizetype>(link.End - link.Begin));
        head += QString::fromUtf8(before.data(), static_cast<qsizetype>(before.size()));
        if (!head.isEmpty())
            cursor.insertText(head, format);
        head.clear();
        cursor.insertText(address, LinkFormat(format));
        done = link.End;
    }
    head += QString::fromUtf8(utf8Text.data() + done, static_cast<qsizetype>(utf8Text.size() - done));
    if (!head.isEmpty())
        cursor.insertText(head, format);
}
