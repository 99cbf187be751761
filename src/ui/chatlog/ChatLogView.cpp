#include "ChatLogView.h"

#include "LineAnnouncer.h"

#include "ChatLineText.h"
#include "ChatLogFiles.h"
#include "DayLine.h"
#include "LineAnnouncer.h"

#include <QKeyEvent>
#include <QResizeEvent>
#include <QWheelEvent>
#include <QLabel>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <optional>

namespace {

// The notes keep their own light background in any palette, so their text is fixed too.
const QColor NoteText(85, 85, 85);

constexpr std::string_view GapText = "――― この間の過去ログは閉じました（Ctrl+End で最新の行へ） ―――";

QLabel* MakeNote(QWidget* parent, const char* name)
{
    auto* note = new QLabel(parent);
    note->setObjectName(QString::fromLatin1(name));
    note->setTextFormat(Qt::PlainText);
    note->setAutoFillBackground(true);
    note->setMargin(2);
    QPalette pal = note->palette();
    pal.setColor(QPalette::Window, QColor(255, 255, 225));
    pal.setColor(QPalette::WindowText, NoteText);
    note->setPalette(pal);
    note->hide();
    return note;
}

} // namespace

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
    // Lines are trimmed by Flush and the history by its own cap; the toolkit's
    // bound is a last guard only, and it must leave room for both, or it would cut
    // a page of history as soon as it lands above a full store.
    setMaximumBlockCount(static_cast<int>(lines.Limit()) + MaxHistoryLines + 1);
    followPalette();
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(0);
    connect(&flushTimer_, &QTimer::timeout, this, &ChatLogView::Flush);
    topNote_ = MakeNote(this, "HistoryNote");
    belowNote_ = MakeNote(this, "NewLinesNote");
    belowNote_->setText(QStringLiteral("▼ 新しい発言があります（Ctrl+End）"));
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &ChatLogView::ScrollMoved);
}

ChatLogView::~ChatLogView()
{
    // A page being read is not waited for (a damaged log may hold a line of gigabytes).
    if (readerBusy_ && pager_)
        pager_->Cancel();
    JoinReader();
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
    const bool grey = (line.flags & LineGrey) != 0;
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
    // The marker keeps no text in the store: it is the same words every time.
    const std::string_view text = (line.flags & LineMarker) != 0 ? chatlog::UnreadMarkerText : line.text;
    InsertChatLineText(cursor, text, format, line.time, ShowsTime(line));
}

bool ChatLogView::ShowsTime(const StoredLine& line)
{
    return ShowTimes && (line.flags & LineGrey) == 0;
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

void ChatLogView::LineErasing(std::size_t index)
{
    const std::uint64_t number = lines_.Appended() - lines_.Size() + index;
    if (!onScreen_) {
        // The lines before it move one number up.
        if (readingLine_ && *readingLine_ < number)
            ++*readingLine_;
        return;
    }
    Flush();
    if (dayLineBelow_ && *dayLineBelow_ < number)
        ++*dayLineBelow_;
    const std::size_t firstShown = lines_.Size() - static_cast<std::size_t>(docLines_);
    if (index < firstShown)
        return;
    QTextDocument* doc = document();
    const QTextBlock block = doc->findBlockByNumber(historyBlocks_ + static_cast<int>(index - firstShown));
    if (!block.isValid())
        return;
    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    int value = bar->value();
    const QTextBlock next = block.next();
    if (next.isValid() && block.firstLineNumber() < value)
        value -= next.firstLineNumber() - block.firstLineNumber();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    if (next.isValid()) {
        const QTextCharFormat nextFormat = next.charFormat();
        cursor.setPosition(block.position());
        cursor.setPosition(next.position(), QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        cursor.setBlockCharFormat(nextFormat);
    } else {
        cursor.setPosition(block.previous().isValid() ? block.position() - 1 : block.position());
        cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    cursor.endEditBlock();
    --docLines_;
    adjusting_ = true;
    bar->setValue(following ? bar->maximum() : std::max(0, value));
    adjusting_ = false;
}

void ChatLogView::SetOnScreen(bool onScreen)
{
    if (onScreen == onScreen_)
        return;
    QScrollBar* bar = verticalScrollBar();
    if (!onScreen) {
        // Lines not flushed yet are below the view: the document's lines are the
        // newest docLines_ of the first shown_ ever appended, after any history.
        readingLine_.reset();
        if (bar->value() < bar->maximum())
            readingLine_ = shown_ - static_cast<std::uint64_t>(docLines_) +
                           static_cast<std::uint64_t>(std::max(0, firstVisibleBlock().blockNumber() - historyBlocks_));
        onScreen_ = false;
        flushTimer_.stop();
        pending_.clear();
        DropHistory();
        adjusting_ = true;
        document()->clear();
        adjusting_ = false;
        docLines_ = 0;
        shown_ = 0;
        belowNote_->hide();
        return;
    }
    onScreen_ = true;
    shown_ = lines_.Appended() - lines_.Size();
    rebuilding_ = true;   // lines seen before, not told again
    Flush();
    rebuilding_ = false;
    // Back where the user was reading, if that line is still kept.
    const std::uint64_t firstKept = lines_.Appended() - lines_.Size();
    if (readingLine_ && *readingLine_ >= firstKept && *readingLine_ < lines_.Appended()) {
        const QTextBlock top = document()->findBlockByNumber(static_cast<int>(*readingLine_ - firstKept));
        adjusting_ = true;
        bar->setValue(top.firstLineNumber());
        adjusting_ = false;
    }
    readingLine_.reset();
}

void ChatLogView::SetHistory(std::shared_ptr<chatlog::HistoryPager> pager)
{
    DropHistory();
    pager_ = std::move(pager);
    if (pager_)
        historyStart_ = pager_->Where();
    historyEnd_ = !pager_ || pager_->AtStart();
}

void ChatLogView::JoinReader()
{
    if (reader_.joinable())
        reader_.join();
}

void ChatLogView::LoadOlder()
{
    if (!onScreen_ || !pager_ || loading_ || readerBusy_ || historyEnd_)
        return;
    JoinReader();   // the last one has handed its page over already
    loading_ = true;
    readerBusy_ = true;
    pageRead_ = false;
    topNote_->setText(QStringLiteral("過去ログを読み込んでいます…"));
    topNote_->show();
    PlaceNotes();
    // The pager is the reader's alone until its page is handed over (or it is joined).
    reader_ = std::thread([this, pager = pager_, generation = generation_] {
        std::vector<std::string> page = pager->Older(HistoryPageLines);
        const bool atStart = pager->AtStart();
        QMetaObject::invokeMethod(
            this, [this, page = std::move(page), generation, atStart]() mutable {
                ShowHistoryPage(std::move(page), generation, atStart);
            },
            Qt::QueuedConnection);
        pageRead_ = true;
    });
}

void ChatLogView::ShowHistoryPage(std::vector<std::string> page, std::uint64_t generation, bool atStart)
{
    readerBusy_ = false;
    JoinReader();
    if (generation != generation_) {
        // Read for a history dropped since: the pager goes back now that it is free.
        if (pager_) {
            pager_->Seek(historyStart_);
            historyEnd_ = pager_->AtStart();
        }
        return;
    }
    historyEnd_ = atStart;
    if (!onScreen_) {
        loading_ = false;
        return;
    }
    Flush();
    bool dayLineBelow = false;   // the tab's oldest lines already start with the day line
    if (historyBlocks_ == 0) {
        // The date of the oldest line shown (a restored line may have none), for a
        // day line under the page; the grey lines between lines have no date.
        topDate_.reset();
        for (std::size_t i = 0; i < lines_.Size(); ++i) {
            const StoredLine line = lines_.At(i, utf8_);
            if ((line.flags & LineDay) != 0) {
                dayLineBelow = true;
                dayLineBelow_ = lines_.Appended() - lines_.Size() + i;
            }
            if ((line.flags & LineGrey) == 0) {
                topDate_ = chatlog::LocalDateOf(line.time);
                break;
            }
            if ((line.flags & LineGrey) == LineRestored) {
                topDate_ = chatlog::DateOfLogLine(line.text);
                break;
            }
        }
    }
    // The page's lines with a day line wherever the logged date changes.
    std::vector<HistoryItem>& items = historyItems_;
    items.clear();
    items.reserve(page.size() + 8);
    historyLastLine_ = -1;   // the item of the page's newest line
    std::optional<chatlog::LocalDate> previous, first;
    for (std::string& line : page) {
        const std::optional<chatlog::LocalDate> date = chatlog::DateOfLogLine(line);
        if (date && previous && *date != *previous)
            items.push_back({chatlog::DayLineText(*date), LineDay});
        if (date) {
            previous = date;
            if (!first)
                first = date;
        }
        historyLastLine_ = static_cast<int>(items.size());
        items.push_back({std::move(line), LineRestored});
    }
    if (previous && topDate_ && *previous != *topDate_ && !dayLineBelow)
        items.push_back({chatlog::DayLineText(*topDate_), LineDay});
    if (first)
        topDate_ = first;
    historyItemsLeft_ = items.size();
    InsertHistorySlice(generation);
}

void ChatLogView::InsertHistorySlice(std::uint64_t generation)
{
    if (generation != generation_ || !onScreen_) {
        historyItems_.clear();
        return;
    }
    Flush();
    // The newest slice first, each above the last, so the page ends up in order; the
    // loop turns between slices and a page's layout never holds it up for long.
    const std::size_t end = historyItemsLeft_;
    const std::size_t begin = end > HistorySliceLines ? end - HistorySliceLines : 0;
    if (begin < end) {
        QTextDocument* doc = document();
        QScrollBar* bar = verticalScrollBar();
        int value = bar->value();
        const bool empty = docLines_ + historyBlocks_ == 0;
        const int count = static_cast<int>(end - begin);
        QTextCursor cursor(doc);
        cursor.beginEditBlock();
        cursor.setPosition(0);
        for (std::size_t i = begin; i < end; ++i)
            InsertLine(cursor, {historyItems_[i].text, 0, historyItems_[i].flags, 0}, i == begin);
        if (!empty)
            cursor.insertBlock();
        historyBlocks_ += count;
        // The reading place stays: everything moved down by the slice's height.
        if (!empty)
            value += doc->findBlockByNumber(count).firstLineNumber();
        cursor.endEditBlock();
        adjusting_ = true;
        bar->setValue(value);
        adjusting_ = false;
    }
    historyItemsLeft_ = begin;
    if (begin > 0) {
        QTimer::singleShot(0, this, [this, generation] { InsertHistorySlice(generation); });
        return;
    }
    FinishHistoryPage(!historyItems_.empty());
}

void ChatLogView::FinishHistoryPage(bool inserted)
{
    historyItems_.clear();
    loading_ = false;
    QScrollBar* bar = verticalScrollBar();
    if (inserted) {
        QTextDocument* doc = document();
        QTextCursor cursor(doc);
        cursor.beginEditBlock();
        // A page that ends with a line asked for stands apart from the lines below it.
        if (jumping_ && docLines_ > 0 && !gap_) {
            QTextCursor gap(doc->findBlockByNumber(historyBlocks_));
            InsertLine(gap, {GapText, 0, LineDivider, 0}, true);
            gap.insertBlock();
            ++historyBlocks_;
            gap_ = true;
        }
        // Too much history: the newest of it goes, and a line says so.
        if (historyBlocks_ > MaxHistoryLines) {
            const int keep = MaxHistoryLines - 1;
            const int last = historyBlocks_ - (gap_ ? 1 : 0) - (dayKept_ ? 1 : 0);
            QTextCursor cut(doc);
            cut.setPosition(doc->findBlockByNumber(keep).position());
            cut.setPosition(doc->findBlockByNumber(last).position(), QTextCursor::KeepAnchor);
            cut.removeSelectedText();
            if (!gap_) {
                InsertLine(cut, {GapText, 0, LineDivider, 0}, true);
                cut.insertBlock();
                gap_ = true;
            }
            historyBlocks_ = keep + 1;
        }
        cursor.endEditBlock();
        if (jumping_ && historyLastLine_ >= 0)
            SelectBlock(historyLastLine_);
    }
    jumping_ = false;
    if (historyEnd_) {
        topNote_->setText(QStringLiteral("これより前のログはありません"));
        topNote_->setVisible(bar->value() == bar->minimum());
    } else {
        topNote_->hide();
    }
    PlaceNotes();
    emit HistoryPageShown();
}

bool ChatLogView::ShowLoggedLine(const std::string& fileName, std::uint64_t offset, const QString& stamp,
                                 const QString& text, int sameAfter)
{
    if (!onScreen_ || !pager_ || readerBusy_)
        return false;
    Flush();
    jumping_ = false;   // a line asked for before is replaced, not lost
    DropHistory();
    // A line logged since the tab opened is past what the pager reads: the tab holds it.
    // On the GUI thread: a line of gigabytes is looked into no further than a bounded piece.
    // The line there must be the one asked for: the file may have changed since.
    const std::string logged = (stamp.isEmpty() ? text : stamp + QLatin1Char(' ') + text).toStdString();
    std::string there;
    const bool read = pager_->SeekAfterLine(fileName, offset, chatlog::GuiScanBytes, &there) && there == logged;
    const chatlog::HistoryPager::Position after = pager_->Where();
    if (!read || !(after == historyStart_ || chatlog::HistoryPager::Before(after, historyStart_))) {
        pager_->Seek(historyStart_);
        if (SelectTabLine(stamp, text, sameAfter))
            return true;
        // Gone from the tab's lines in a flood since: read back as history, where the pager reads.
        if (!read || !pager_->SeekAfterLine(fileName, offset, chatlog::GuiScanBytes))
            return false;
    }
    jumping_ = true;
    historyEnd_ = false;
    LoadOlder();
    return true;
}

bool ChatLogView::SelectTabLine(const QString& stamp, const QString& text, int sameAfter)
{
    // The line logged with the same stamp and text, counted from the newest (the
    // same words may have been said again since, even in the same second): a
    // restored line holds the line as logged, another one was logged after its stamp.
    const std::string logged = (stamp.isEmpty() ? text : stamp + QLatin1Char(' ') + text).toStdString();
    constexpr std::size_t StampBytes = std::string_view("YYYY-MM-DD HH:MM:SS ").size();
    for (std::size_t i = lines_.Size(); i-- > 0;) {
        const StoredLine line = lines_.At(i, utf8_);
        const std::uint8_t grey = line.flags & LineGrey;
        const bool same =
            grey == LineRestored
                ? line.text == logged
                : grey == 0 && !stamp.isEmpty() && logged.size() == StampBytes + line.text.size() &&
                      std::string_view(logged).substr(StampBytes) == line.text &&
                      std::string_view(logged).substr(0, StampBytes) == chatlog::StampOf(line.time).Text;
        if (same && sameAfter-- == 0) {
            SelectBlock(historyBlocks_ + static_cast<int>(i));
            return true;
        }
    }
    return false;
}

void ChatLogView::SelectBlock(int number)
{
    const QTextBlock block = document()->findBlockByNumber(number);
    if (!block.isValid())
        return;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    adjusting_ = true;
    setTextCursor(cursor);
    centerCursor();
    adjusting_ = false;
}

void ChatLogView::DropHistory()
{
    ++generation_;
    // Else the next page the user scrolls to would end in a jump to its last line.
    if (std::exchange(jumping_, false))
        emit LoggedLineDropped();
    dayLineBelow_.reset();
    loading_ = false;
    topNote_->hide();
    // A reader at work has the pager: it stops, and the pager goes back once
    // the page is handed over.
    if (pager_ && readerBusy_)
        pager_->Cancel();
    if (pager_ && !readerBusy_) {
        pager_->Seek(historyStart_);
        historyEnd_ = pager_->AtStart();
    }
    if (historyBlocks_ == 0)
        return;
    QTextDocument* doc = document();
    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    const QTextBlock firstStored = doc->findBlockByNumber(historyBlocks_);
    int value = bar->value() - (firstStored.isValid() ? firstStored.firstLineNumber() : 0);
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    if (firstStored.isValid()) {
        const QTextCharFormat format = firstStored.charFormat();
        cursor.setPosition(firstStored.position(), QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        cursor.setBlockCharFormat(format);
    } else {
        cursor.select(QTextCursor::Document);
        cursor.removeSelectedText();
    }
    cursor.endEditBlock();
    historyBlocks_ = 0;
    gap_ = false;
    dayKept_ = false;
    topDate_.reset();
    adjusting_ = true;
    bar->setValue(following ? bar->maximum() : std::max(0, value));
    adjusting_ = false;
}

bool ChatLogView::ReadingBack() const
{
    const QScrollBar* bar = verticalScrollBar();
    return onScreen_ && bar->value() < bar->maximum();
}

void ChatLogView::ScrollMoved(int value)
{
    if (adjusting_ || !onScreen_)
        return;
    QScrollBar* bar = verticalScrollBar();
    if (value >= bar->maximum() && value > bar->minimum()) {
        belowNote_->hide();
        emit NewestReached();
        // Back at the newest line: the history goes, once this scroll is over,
        // unless it went already and a line asked for since is on its way. A line
        // asked for whose page is not shown yet goes at once: its page may be
        // waiting in the queue already, and the user came first.
        if (jumping_ && loading_ && historyBlocks_ == 0)
            DropHistory();
        else if (historyBlocks_ > 0 || loading_)
            QTimer::singleShot(0, this, [this, generation = generation_] {
                QScrollBar* b = verticalScrollBar();
                if (b->value() >= b->maximum() && generation == generation_)
                    DropHistory();
            });
    }
    // With nothing to scroll the view is at the top and the bottom at once: only
    // the wheel or a key asks for older lines then.
    if (value <= bar->minimum() && bar->maximum() > bar->minimum())
        LoadOlder();
    if (value > bar->minimum() && !loading_)
        topNote_->hide();
    else if (value <= bar->minimum() && historyEnd_ && pager_ && historyBlocks_ > 0)
        topNote_->show();
}

void ChatLogView::wheelEvent(QWheelEvent* event)
{
    const bool atTop = verticalScrollBar()->value() <= verticalScrollBar()->minimum();
    QPlainTextEdit::wheelEvent(event);
    // At the top the bar does not move: the wheel itself asks for more.
    if (atTop && event->angleDelta().y() > 0)
        LoadOlder();
}

void ChatLogView::keyPressEvent(QKeyEvent* event)
{
    QScrollBar* bar = verticalScrollBar();
    const bool atTop = bar->value() <= bar->minimum();
    // Ctrl+Home and Ctrl+End go to the ends of the log even where the text takes no keys.
    if ((event->modifiers() & Qt::ControlModifier) && (event->key() == Qt::Key_Home || event->key() == Qt::Key_End)) {
        bar->setValue(event->key() == Qt::Key_Home ? bar->minimum() : bar->maximum());
        if (atTop && event->key() == Qt::Key_Home)
            LoadOlder();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
    const bool upward = event->key() == Qt::Key_PageUp || event->key() == Qt::Key_Up ||
                        (event->key() == Qt::Key_Home && (event->modifiers() & Qt::ControlModifier));
    if (atTop && upward)
        LoadOlder();
}

void ChatLogView::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    PlaceNotes();
}

void ChatLogView::PlaceNotes()
{
    const QRect area = viewport()->geometry();
    for (QLabel* note : {topNote_, belowNote_}) {
        note->adjustSize();
        const int x = area.left() + (area.width() - note->width()) / 2;
        note->move(x, note == topNote_ ? area.top() : area.bottom() - note->height() + 1);
        note->raise();
    }
}

QString ChatLogView::TopNote() const
{
    return topNote_->isHidden() ? QString() : topNote_->text();
}

QString ChatLogView::BelowNote() const
{
    return belowNote_->isHidden() ? QString() : belowNote_->text();
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
            InsertLine(cursor, {line.text, line.style, line.flags, line.time}, docLines_++ + historyBlocks_ == 0);
        }
    } else {
        for (std::size_t i = lines_.Size() - fresh; i < lines_.Size(); ++i)
            InsertLine(cursor, lines_.At(i, utf8_), docLines_++ + historyBlocks_ == 0);
    }
    pending_.clear();
    // Drop the oldest lines here, by position, so the document holds what the store
    // holds. The toolkit's own trimming (the maximum block count) walks a cursor
    // over the doomed lines block by block, laying out and shaping each one just
    // before deleting it; a cursor that is only positioned inside an edit block
    // lays out nothing.
    const int excess = docLines_ - static_cast<int>(lines_.Size());
    if (excess > 0) {
        // While history is shown above, the dropped lines go from between the two.
        const auto drop = [&](int firstBlock, int keptBlock) {
            if (firstBlock >= keptBlock)
                return;
            const QTextBlock first = doc->findBlockByNumber(firstBlock);
            const QTextBlock kept = doc->findBlockByNumber(keptBlock);
            const QTextCharFormat keptFormat = kept.charFormat();
            const int from = first.firstLineNumber();
            const int to = kept.firstLineNumber();
            if (value >= to)
                value -= to - from;
            else if (value > from)
                value = from;
            QTextCursor top(doc);
            top.setPosition(first.position());
            top.setPosition(kept.position(), QTextCursor::KeepAnchor);
            top.removeSelectedText();
            top.setBlockCharFormat(keptFormat);
        };
        // The day line under the history stays there: the lines below it are still of its day.
        const std::uint64_t firstDropped = lines_.Appended() - static_cast<std::uint64_t>(docLines_);
        const std::uint64_t firstKept = lines_.Appended() - lines_.Size();
        if (historyBlocks_ > 0 && dayLineBelow_ && *dayLineBelow_ >= firstDropped && *dayLineBelow_ < firstKept) {
            const int day = historyBlocks_ + static_cast<int>(*dayLineBelow_ - firstDropped);
            drop(day + 1, historyBlocks_ + excess);
            drop(historyBlocks_, day);
            ++historyBlocks_;
            dayKept_ = true;
            dayLineBelow_.reset();
        } else {
            drop(historyBlocks_, historyBlocks_ + excess);
        }
        docLines_ -= excess;
    }
    cursor.endEditBlock();
    if (!rebuilding_ && LineAnnouncer::Enabled()) {
        // Each new line on its own, oldest first, as the user would read them.
        QTextBlock block = doc->lastBlock();
        for (std::size_t i = 1; i < std::min<std::size_t>(fresh, static_cast<std::size_t>(docLines_)); ++i)
            block = block.previous();
        for (; block.isValid(); block = block.next())
            LineAnnouncer::Announce(this, block.position(), block.text());
    }
    // At the newest line the log follows the newest line; scrolled up, the lines
    // the user reads stay in view while they are kept, and a note says more wait below.
    adjusting_ = true;
    bar->setValue(following ? bar->maximum() : std::max(0, value));
    adjusting_ = false;
    if (!following && belowNote_->isHidden()) {
        belowNote_->show();
        PlaceNotes();
    }
}

int ChatLogView::LineCount()
{
    if (!onScreen_)
        return static_cast<int>(lines_.Size());
    Flush();
    return docLines_ + historyBlocks_ == 0 ? 0 : document()->blockCount();
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
