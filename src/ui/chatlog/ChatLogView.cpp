#include "ChatLogView.h"

#include "ChatLineText.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <optional>

QColor StyleColor(std::uint8_t style)
{
    switch (style) {
    case 1:
    case 4:
        return QColor(255, 0, 0);
    case 2:
        return QColor(0, 128, 0);
    case 3:
        return QColor(0, 0, 255);
    default:
        return QColor(0, 0, 0);
    }
}

ChatLogView::ChatLogView(const LineStore& lines, QWidget* parent) : QPlainTextEdit(parent), lines_(lines)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setMaximumBlockCount(static_cast<int>(lines.Limit()));
    followPalette();
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(0);
    connect(&flushTimer_, &QTimer::timeout, this, &ChatLogView::Flush);
}

void ChatLogView::followPalette()
{
    if (settingPalette_)
        return;
    // The selection stays visible while the focus is in the chat input. Only
    // those two colours are set here, so every other one follows the desktop.
    const QPalette current = palette();
    QPalette pal;
    pal.setColor(QPalette::Inactive, QPalette::Highlight, current.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 current.color(QPalette::Active, QPalette::HighlightedText));
    settingPalette_ = true;
    setPalette(pal);
    settingPalette_ = false;
    const LogColours colours = LogColoursFor(current);
    if (colours == colours_)
        return;
    colours_ = colours;
    looks_ = {};
    if (onScreen_) {
        SetOnScreen(false);
        SetOnScreen(true);
    }
}

void ChatLogView::changeEvent(QEvent* event)
{
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        followPalette();
}

QTextCharFormat ChatLogView::LineFormat(const StoredLine& line)
{
    const bool grey = (line.flags & (LineRestored | LineDivider)) != 0;
    const bool mention = (line.flags & LineMention) != 0;
    const auto colour = static_cast<std::size_t>(grey ? LogColours::Grey : StyleLook(line.style));
    std::optional<QTextCharFormat>& look = looks_[2 * colour + (mention ? 1 : 0)];
    if (!look) {
        QTextCharFormat format;
        format.setForeground(mention ? colours_.MentionText[colour] : colours_.Text[colour]);
        if (mention)
            format.setBackground(colours_.MentionBackground);
        look = format;
    }
    return *look;
}

void ChatLogView::InsertLine(QTextCursor& cursor, const StoredLine& line, bool first)
{
    const QTextCharFormat format = LineFormat(line);
    if (first)
        cursor.setCharFormat(format);
    else
        cursor.insertBlock(QTextBlockFormat(), format);
    InsertChatLineText(cursor, line.text, format, line.time, ShowsTime(line));
}

bool ChatLogView::ShowsTime(const StoredLine& line)
{
    return ShowTimes && (line.flags & (LineRestored | LineDivider)) == 0;
}

void ChatLogView::LineAdded(const StoredLine& line)
{
    if (!onScreen_)
        return;
    // A copy of the UTF-8 text: reading lines back from the store would decode them again.
    pending_.push_back({std::string(line.text), line.style, line.flags, line.time});
    // Only the store's newest lines can survive; older pending lines need no layout at all.
    const std::size_t limit = lines_.Limit();
    if (pending_.size() > 2 * limit)
        pending_.erase(pending_.begin(), pending_.end() - static_cast<std::ptrdiff_t>(limit));
    if (!flushTimer_.isActive())
        flushTimer_.start();
}

void ChatLogView::SetOnScreen(bool onScreen)
{
    if (onScreen == onScreen_)
        return;
    QScrollBar* bar = verticalScrollBar();
    if (!onScreen) {
        // Lines not flushed yet are below the view: the document's lines are the
        // newest docLines_ of the first shown_ ever appended.
        readingLine_.reset();
        if (bar->value() < bar->maximum())
            readingLine_ = shown_ - static_cast<std::uint64_t>(docLines_) +
                           static_cast<std::uint64_t>(firstVisibleBlock().blockNumber());
        onScreen_ = false;
        flushTimer_.stop();
        pending_.clear();
        document()->clear();
        docLines_ = 0;
        shown_ = 0;
        return;
    }
    onScreen_ = true;
    shown_ = lines_.Appended() - lines_.Size();
    Flush();
    // Back where the user was reading, if that line is still kept.
    const std::uint64_t firstKept = lines_.Appended() - lines_.Size();
    if (readingLine_ && *readingLine_ >= firstKept && *readingLine_ < lines_.Appended()) {
        const QTextBlock top = document()->findBlockByNumber(static_cast<int>(*readingLine_ - firstKept));
        bar->setValue(top.firstLineNumber());
    }
    readingLine_.reset();
}

void ChatLogView::Flush()
{
    flushTimer_.stop();
    if (!onScreen_ || shown_ == lines_.Appended())
        return;
    const std::size_t fresh =
        static_cast<std::size_t>(std::min<std::uint64_t>(lines_.Appended() - shown_, lines_.Size()));
    shown_ = lines_.Appended();

    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    int value = bar->value();

    QTextDocument* doc = document();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    if (pending_.size() >= fresh) {
        for (std::size_t i = pending_.size() - fresh; i < pending_.size(); ++i) {
            const PendingLine& line = pending_[i];
            InsertLine(cursor, {line.text, line.style, line.flags, line.time}, docLines_++ == 0);
        }
    } else {
        for (std::size_t i = lines_.Size() - fresh; i < lines_.Size(); ++i)
            InsertLine(cursor, lines_.At(i, utf8_), docLines_++ == 0);
    }
    pending_.clear();
    // Drop the oldest lines here, by position, so the document holds what the store
    // holds. The toolkit's own trimming (the maximum block count) walks a cursor
    // over the doomed lines block by block, laying out and shaping each one just
    // before deleting it; a cursor that is only positioned inside an edit block
    // lays out nothing.
    const int excess = docLines_ - static_cast<int>(lines_.Size());
    if (excess > 0) {
        QTextCursor top(doc);
        const QTextBlock firstKept = doc->findBlockByNumber(excess);
        const QTextCharFormat firstFormat = firstKept.charFormat();
        value -= firstKept.firstLineNumber();
        top.setPosition(firstKept.position(), QTextCursor::KeepAnchor);
        top.removeSelectedText();
        top.setBlockCharFormat(firstFormat);
        docLines_ -= excess;
    }
    cursor.endEditBlock();
    // At the newest line the log follows the newest line; scrolled up, the lines
    // the user reads stay in view while they are kept.
    bar->setValue(following ? bar->maximum() : std::max(0, value));
}

int ChatLogView::LineCount()
{
    if (!onScreen_)
        return static_cast<int>(lines_.Size());
    Flush();
    return docLines_ == 0 ? 0 : document()->blockCount();
}

QString ChatLogView::LineText(int index)
{
    if (!onScreen_) {
        if (index < 0 || index >= static_cast<int>(lines_.Size()))
            return {};
        // Rendered as on screen, so both states answer alike.
        QTextDocument scratch;
        QTextCursor cursor(&scratch);
        InsertLine(cursor, lines_.At(static_cast<std::size_t>(index), utf8_), true);
        return scratch.firstBlock().text();
    }
    Flush();
    return document()->findBlockByNumber(index).text();
}

QColor ChatLogView::LineColor(int index)
{
    if (!onScreen_) {
        if (index < 0 || index >= static_cast<int>(lines_.Size()))
            return {};
        return LineFormat(lines_.At(static_cast<std::size_t>(index), utf8_)).foreground().color();
    }
    Flush();
    const QTextBlock block = document()->findBlockByNumber(index);
    if (!block.isValid() || block.begin().atEnd())
        return {};
    return block.begin().fragment().charFormat().foreground().color();
}
