#include "ChatLogView.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

ChatLogView::ChatLogView(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setMaximumBlockCount(MaxLines);
    // The selection stays visible while the focus is in the chat input.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(0);
    connect(&flushTimer_, &QTimer::timeout, this, &ChatLogView::Flush);
}

void ChatLogView::AppendLine(const QString& text, const QColor& color)
{
    // One utterance is one line: line breaks sent by a peer must not split it.
    QString line = text;
    for (QChar& c : line) {
        if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    }
    pending_.push_back({std::move(line), color});
    // Only the newest MaxLines can survive; older pending lines need no layout at all.
    if (pending_.size() > static_cast<std::size_t>(2 * MaxLines))
        pending_.erase(pending_.begin(), pending_.end() - MaxLines);
    if (!flushTimer_.isActive())
        flushTimer_.start();
}

void ChatLogView::Flush()
{
    flushTimer_.stop();
    if (pending_.empty())
        return;
    std::size_t first = 0;
    if (pending_.size() > static_cast<std::size_t>(MaxLines))
        first = pending_.size() - MaxLines;

    QTextDocument* doc = document();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    bool empty = doc->isEmpty();
    QTextCharFormat format;
    for (std::size_t i = first; i < pending_.size(); ++i) {
        format.setForeground(pending_[i].color);
        if (!empty)
            cursor.insertBlock(QTextBlockFormat(), format);
        else
            cursor.setCharFormat(format);
        empty = false;
        // insertText takes the text literally: markup in chat lines is never interpreted.
        cursor.insertText(pending_[i].text, format);
    }
    // Drop the oldest lines here, by position. The toolkit's own trimming (the maximum
    // block count) walks a cursor over the doomed lines block by block, laying out and
    // shaping each one just before deleting it; a cursor that is only positioned inside
    // an edit block lays out nothing.
    const int excess = doc->blockCount() - MaxLines;
    if (excess > 0) {
        QTextCursor top(doc);
        const QTextBlock firstKept = doc->findBlockByNumber(excess);
        const QTextCharFormat firstFormat = firstKept.charFormat();
        top.setPosition(firstKept.position(), QTextCursor::KeepAnchor);
        top.removeSelectedText();
        top.setBlockCharFormat(firstFormat);
    }
    cursor.endEditBlock();
    pending_.clear();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

int ChatLogView::LineCount()
{
    Flush();
    return document()->isEmpty() ? 0 : document()->blockCount();
}

QString ChatLogView::LineText(int index)
{
    Flush();
    return document()->findBlockByNumber(index).text();
}

QColor ChatLogView::LineColor(int index)
{
    Flush();
    const QTextBlock block = document()->findBlockByNumber(index);
    if (!block.isValid() || block.begin().atEnd())
        return {};
    return block.begin().fragment().charFormat().foreground().color();
}
