#include "LogFind.h"

#include "ChatLineText.h"
#include "ChatLogView.h"
#include "Chatsheet.h"
#include "FindBar.h"

#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>

namespace {

const QColor MatchBackground(255, 200, 80);
// Lines around the view that get their matches highlighted; the highlights are
// redone on scrolling, so a search with thousands of matches costs no more.
constexpr int HighlightMargin = 100;

std::uint64_t FirstKept(const LineStore& lines)
{
    return lines.Appended() - lines.Size();
}

}  // namespace

LogFind::LogFind(FindBar* bar, QObject* parent) : QObject(parent), Bar(bar)
{
    // New lines are searched in batches, not one by one during a flood.
    Follow.setInterval(200);
    connect(&Follow, &QTimer::timeout, this, &LogFind::FollowNewLines);
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
    }
    Sheet = sheet;
    if (Sheet) {
        connect(Sheet->ChatLog->verticalScrollBar(), &QScrollBar::valueChanged, this,
                [this] { ShowMatches(false); });
    }
    if (!Bar->isHidden())
        Search(Needle);
}

void LogFind::Refresh()
{
    if (!Bar->isHidden())
        Search(Needle);
}

void LogFind::Search(const QString& text)
{
    Needle = text;
    Matches.clear();
    CurrentMatch = -1;
    SearchedUpTo = 0;
    if (Sheet && !Needle.isEmpty()) {
        FindFrom(FirstKept(Sheet->Lines));
        // A new search starts at the newest match: the log shows its newest lines.
        CurrentMatch = static_cast<int>(Matches.size()) - 1;
        Follow.start();
    }
    ShowMatches(true);
}

void LogFind::FindFrom(std::uint64_t firstLine)
{
    const LineStore& lines = Sheet->Lines;
    const std::uint64_t firstKept = FirstKept(lines);
    TextSearch search(Needle.toStdString());
    std::vector<TextMatch> found;
    for (std::uint64_t n = std::max(firstLine, firstKept); n < lines.Appended(); ++n)
        search.FindInLine(lines.At(static_cast<std::size_t>(n - firstKept)).text, static_cast<std::size_t>(n), found);
    for (const TextMatch& m : found)
        Matches.push_back({m.Line, m.Begin, m.End});
    SearchedUpTo = lines.Appended();
}

void LogFind::FollowNewLines()
{
    if (!Sheet || Needle.isEmpty() || Bar->isHidden()) {
        Follow.stop();
        return;
    }
    const LineStore& lines = Sheet->Lines;
    if (lines.Appended() == SearchedUpTo)
        return;
    // Matches in lines the store has dropped go, and the current one keeps its place.
    const std::uint64_t firstKept = FirstKept(lines);
    const auto gone = std::find_if(Matches.begin(), Matches.end(), [&](const Match& m) { return m.Line >= firstKept; });
    const int dropped = static_cast<int>(gone - Matches.begin());
    Matches.erase(Matches.begin(), gone);
    CurrentMatch = Matches.empty() ? -1 : std::max(0, CurrentMatch - dropped);
    FindFrom(SearchedUpTo);
    if (CurrentMatch < 0 && !Matches.empty())
        CurrentMatch = static_cast<int>(Matches.size()) - 1;
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
    if (Matches.empty())
        return;
    const int count = static_cast<int>(Matches.size());
    CurrentMatch = CurrentMatch < 0 ? (direction > 0 ? 0 : count - 1) : (CurrentMatch + direction + count) % count;
    ShowMatches(true);
}

void LogFind::Close()
{
    Follow.stop();
    Matches.clear();
    CurrentMatch = -1;
    if (Sheet) {
        Sheet->ChatLog->setExtraSelections({});
        QTextCursor cursor = Sheet->ChatLog->textCursor();
        cursor.clearSelection();
        Sheet->ChatLog->setTextCursor(cursor);
    }
}

void LogFind::ShowMatches(bool moveToCurrent)
{
    Bar->ShowCount(CurrentMatch + 1, static_cast<int>(Matches.size()));
    if (!Sheet || Bar->isHidden())
        return;
    ChatLogView* log = Sheet->ChatLog;
    if (!log->OnScreen())
        return;
    log->Flush();   // the document then holds the store's lines, block for line, after any history
    const LineStore& lines = Sheet->Lines;
    const std::uint64_t firstKept = FirstKept(lines);
    QTextDocument* doc = log->document();
    const int history = log->HistoryLines();   // loaded history comes before the store's lines

    const auto cursorOf = [&](const Match& m) {
        const StoredLine line = lines.At(static_cast<std::size_t>(m.Line - firstKept));
        const std::string_view text = line.text;
        const int prefix = ChatLinePrefixLength(ChatLogView::ShowsTime(line));
        const QTextBlock block = doc->findBlockByNumber(history + static_cast<int>(m.Line - firstKept));
        const int begin = block.position() + prefix + static_cast<int>(Utf16Length(text.substr(0, m.Begin)));
        QTextCursor cursor(doc);
        cursor.setPosition(begin);
        cursor.setPosition(begin + static_cast<int>(Utf16Length(text.substr(m.Begin, m.End - m.Begin))),
                           QTextCursor::KeepAnchor);
        return cursor;
    };

    if (moveToCurrent) {
        QTextCursor cursor = log->textCursor();
        if (CurrentMatch >= 0)
            cursor = cursorOf(Matches[static_cast<std::size_t>(CurrentMatch)]);
        else
            cursor.clearSelection();
        log->setTextCursor(cursor);
        if (CurrentMatch >= 0)
            log->centerCursor();
    }

    const int top = log->cursorForPosition(QPoint(0, 0)).blockNumber() - history;
    const std::uint64_t from = firstKept + static_cast<std::uint64_t>(std::max(0, top - HighlightMargin));
    const std::uint64_t to = firstKept + static_cast<std::uint64_t>(top + 2 * HighlightMargin);
    const auto first = std::lower_bound(Matches.begin(), Matches.end(), from,
                                        [](const Match& m, std::uint64_t line) { return m.Line < line; });
    QList<QTextEdit::ExtraSelection> selections;
    QTextCharFormat format;
    format.setBackground(MatchBackground);
    for (auto it = first; it != Matches.end() && it->Line < to; ++it)
        selections.append({cursorOf(*it), format});
    log->setExtraSelections(selections);
}
