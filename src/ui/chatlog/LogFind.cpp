#include "LogFind.h"

#include "ChatLineText.h"
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "FindBar.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int FollowMs = 200;

std::uint64_t FirstKept(const LineStore& lines)
{
    return lines.Appended() - lines.Size();
}

}  // namespace

LogFind::LogFind(FindBar* bar, QObject* parent) : QObject(parent), Bar(bar), Follow(new QTimer(this))
{
    Follow->setSingleShot(true);
    Follow->setInterval(FollowMs);
    connect(Follow, &QTimer::timeout, this, &LogFind::FollowNewLines);
    connect(bar, &FindBar::TextChanged, this, &LogFind::Search);
    connect(bar, &FindBar::NextRequested, this, &LogFind::Next);
    connect(bar, &FindBar::PreviousRequested, this, &LogFind::Previous);
    connect(bar, &FindBar::Closed, this, &LogFind::Close);
}

void LogFind::SetSheet(TChatSheet* sheet)
{
    if (Sheet == sheet)
        return;
    if (Sheet) {
        Sheet->ChatLog->setExtraSelections({});
        disconnect(Sheet->ChatLog->verticalScrollBar(), nullptr, this, nullptr);
        disconnect(Sheet->ChatLog->document(), nullptr, this, nullptr);
        disconnect(Sheet, &TChatSheet::LineErased, this, nullptr);
    }
    Sheet = sheet;
    if (Sheet) {
        // Other lines come on screen by scrolling, and by a new width wrapping them anew.
        QScrollBar* scroll = Sheet->ChatLog->verticalScrollBar();
        connect(scroll, &QScrollBar::valueChanged, this, [this] { ShowMatches(false); });
        connect(scroll, &QScrollBar::rangeChanged, this, [this] { ShowMatches(false); });
        connect(Sheet->ChatLog->document(), &QTextDocument::contentsChange, this, &LogFind::LogChanged);
        connect(Sheet, &TChatSheet::LineErased, this, [this](quint64 number) { LineErased(number); });
    }
    if (!Bar->isHidden())
        Search(Needle);
}

void LogFind::Refresh()
{
    if (!Bar->isHidden())
        Search(Needle);
}

bool LogFind::Searching() const
{
    return Sheet && !Finder.Empty();
}

void LogFind::Search(const QString& text)
{
    Needle = text;
    Finder.SetNeedle(Needle.toStdString());
    Lines.clear();
    Total = 0;
    CurrentIndex = -1;
    SearchedUpTo = 0;
    Follow->stop();
    if (Searching()) {
        FindFrom(FirstKept(Sheet->Lines));
        // A new search starts at the newest match: the log shows its newest lines.
        SelectLast();
    }
    ShowMatches(true);
}

namespace {
// The day and unread lines only mark places in the log; what is said is in the others.
bool Searched(const StoredLine& line)
{
    return (line.flags & (LineDay | LineMarker)) == 0;
}
}  // namespace

void LogFind::FindFrom(std::uint64_t firstLine)
{
    const LineStore& lines = Sheet->Lines;
    const std::uint64_t firstKept = FirstKept(lines);
    for (std::uint64_t n = std::max(firstLine, firstKept); n < lines.Appended(); ++n) {
        const StoredLine line = lines.At(static_cast<std::size_t>(n - firstKept), Utf8);
        const std::size_t count = Searched(line) ? Finder.CountInLine(line.text) : 0;
        if (count > 0) {
            Lines.push_back({n, static_cast<std::uint32_t>(count)});
            Total += count;
        }
    }
    SearchedUpTo = lines.Appended();
}

void LogFind::SelectFirst()
{
    if (Lines.empty()) {
        CurrentIndex = -1;
        return;
    }
    CurrentLine = Lines.front().Line;
    CurrentInLine = 0;
    CurrentIndex = 0;
}

void LogFind::SelectLast()
{
    if (Lines.empty()) {
        CurrentIndex = -1;
        return;
    }
    CurrentLine = Lines.back().Line;
    CurrentInLine = Lines.back().Count - 1;
    CurrentIndex = static_cast<int>(Total) - 1;
}

bool LogFind::CatchUp()
{
    if (!Searching())
        return false;
    const LineStore& lines = Sheet->Lines;
    if (lines.Appended() == SearchedUpTo)
        return false;
    // Lines the store has dropped go. The current match keeps its place; when
    // its own line went, the oldest match left takes over.
    const std::uint64_t firstKept = FirstKept(lines);
    std::uint64_t dropped = 0;
    while (!Lines.empty() && Lines.front().Line < firstKept) {
        dropped += Lines.front().Count;
        Lines.pop_front();
    }
    Total -= dropped;
    if (CurrentIndex >= 0) {
        if (CurrentLine >= firstKept)
            CurrentIndex -= static_cast<int>(dropped);
        else
            SelectFirst();
    }
    FindFrom(SearchedUpTo);
    if (CurrentIndex < 0)
        SelectLast();
    return true;
}

void LogFind::LogChanged()
{
    // Woken only by lines that arrive: an idle room costs no timer.
    if (Searching() && !Bar->isHidden() && Sheet->Lines.Appended() != SearchedUpTo && !Follow->isActive())
        Follow->start();
}

void LogFind::LineErased(std::uint64_t number)
{
    // The erased line has no text, so no match was in it; the lines before it
    // (the oldest matches first) move one number up, those after it stay.
    for (MatchLine& match : Lines) {
        if (match.Line >= number)
            break;
        ++match.Line;
    }
    if (CurrentLine < number)
        ++CurrentLine;
    if (SearchedUpTo <= number)
        ++SearchedUpTo;
}

void LogFind::FollowNewLines()
{
    if (!Bar->isHidden() && CatchUp())
        ShowMatches(false);
}

void LogFind::Next()
{
    Step(+1);
}

void LogFind::Previous()
{
    Step(-1);
}

void LogFind::Step(int direction)
{
    // Lines may have come and gone since the last look: a step lands only on a line still kept.
    CatchUp();
    const auto here = std::lower_bound(Lines.begin(), Lines.end(), CurrentLine,
                                       [](const MatchLine& m, std::uint64_t line) { return m.Line < line; });
    if (CurrentIndex < 0 || here == Lines.end() || here->Line != CurrentLine) {
        if (direction > 0)
            SelectFirst();
        else
            SelectLast();
    } else if (direction > 0) {
        if (CurrentInLine + 1 < here->Count) {
            ++CurrentInLine;
            ++CurrentIndex;
        } else if (std::next(here) != Lines.end()) {
            CurrentLine = std::next(here)->Line;
            CurrentInLine = 0;
            ++CurrentIndex;
        } else {
            SelectFirst();   // round to the oldest
        }
    } else {
        if (CurrentInLine > 0) {
            --CurrentInLine;
            --CurrentIndex;
        } else if (here != Lines.begin()) {
            CurrentLine = std::prev(here)->Line;
            CurrentInLine = std::prev(here)->Count - 1;
            --CurrentIndex;
        } else {
            SelectLast();   // round to the newest
        }
    }
    ShowMatches(true);
}

void LogFind::Close()
{
    Follow->stop();
    Lines = {};
    Total = 0;
    CurrentIndex = -1;
    SearchedUpTo = 0;
    if (Sheet) {
        Sheet->ChatLog->setExtraSelections({});
        QTextCursor cursor = Sheet->ChatLog->textCursor();
        cursor.clearSelection();
        Sheet->ChatLog->setTextCursor(cursor);
    }
}

void LogFind::ShowMatches(bool moveToCurrent)
{
    Bar->ShowCount(CurrentIndex + 1, MatchCount());
    // Moving to the current match scrolls, which asks for the highlights again.
    if (!Sheet || Bar->isHidden() || Showing)
        return;
    ChatLogView* log = Sheet->ChatLog;
    if (!log->OnScreen())
        return;
    Showing = true;
    log->Flush();   // the document then holds the store's lines, block for line, after any history
    const LineStore& lines = Sheet->Lines;
    const std::uint64_t firstKept = FirstKept(lines);
    QTextDocument* doc = log->document();
    const int history = log->HistoryLines();   // loaded history comes before the store's lines

    // Reads block's line from the store and searches it; false when the store does not hold it.
    StoredLine line{};
    const auto searchLine = [&](const QTextBlock& block) {
        if (!block.isValid() || block.blockNumber() < history)
            return false;
        const auto index = static_cast<std::size_t>(block.blockNumber() - history);
        if (index >= lines.Size())
            return false;
        line = lines.At(index, Utf8);
        Found.clear();
        if (Searched(line))
            Finder.FindInLine(line.text, index, Found);
        return true;
    };
    // Byte offsets of the line's text as document positions, walking forwards.
    std::size_t byte = 0;
    int position = 0;
    const auto positionOf = [&](std::uint32_t offset) {
        position += static_cast<int>(Utf16Length(line.text.substr(byte, offset - byte)));
        byte = offset;
        return position;
    };
    const auto startLine = [&](const QTextBlock& block) {
        byte = 0;
        position = block.position() + ChatLinePrefixLength(ChatLogView::ShowsTime(line));
    };
    const auto cursorOf = [&](int begin, int end) {
        QTextCursor cursor(doc);
        cursor.setPosition(begin);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        return cursor;
    };

    if (moveToCurrent) {
        QTextCursor cursor = log->textCursor();
        cursor.clearSelection();
        bool found = false;
        if (CurrentIndex >= 0 && CurrentLine >= firstKept && CurrentLine < lines.Appended()) {
            const QTextBlock block = doc->findBlockByNumber(history + static_cast<int>(CurrentLine - firstKept));
            if (searchLine(block) && CurrentInLine < Found.size()) {
                startLine(block);
                const int begin = positionOf(Found[CurrentInLine].Begin);
                cursor = cursorOf(begin, positionOf(Found[CurrentInLine].End));
                found = true;
            }
        }
        log->setTextCursor(cursor);
        if (found)
            log->centerCursor();
    }

    // The lines on screen, searched afresh; matches side by side show as one highlight.
    QList<QTextEdit::ExtraSelection> highlights;
    if (!Finder.Empty() && lines.Size() > 0) {
        QTextCharFormat format;
        // The line's own colour may not read on the highlight, in any palette.
        format.setBackground(FindMatchBackground);
        format.setForeground(FindMatchText());
        const QRect area = log->viewport()->rect();
        const int last = log->cursorForPosition(area.bottomLeft()).blockNumber();
        QTextBlock block = log->cursorForPosition(area.topLeft()).block();
        if (block.blockNumber() < history)   // loaded history is not searched
            block = doc->findBlockByNumber(history);
        for (; block.isValid() && block.blockNumber() <= last; block = block.next()) {
            if (!searchLine(block))
                break;
            startLine(block);
            for (std::size_t i = 0; i < Found.size();) {
                std::size_t j = i + 1;
                while (j < Found.size() && Found[j].Begin == Found[j - 1].End)
                    ++j;
                const int begin = positionOf(Found[i].Begin);
                highlights.append({cursorOf(begin, positionOf(Found[j - 1].End)), format});
                i = j;
            }
        }
    }
    log->setExtraSelections(highlights);
    Showing = false;
}
