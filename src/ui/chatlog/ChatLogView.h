#pragma once
// A room's log on screen: a read-only view of the room's LineStore, one coloured
// line per stored line. Only the log of the tab on screen keeps a laid-out
// document; an off-screen log holds nothing and is rebuilt from the store when
// its tab comes back. Lines that arrive close together are appended in one edit
// block before the next paint, so a flood costs one layout per batch.
// Older lines of the room's logs are loaded above the store's lines, a page at
// a time on a thread of their own, when the user reaches the top; they are
// dropped again when the user is back at the newest line.

#include "DayLine.h"
#include "HistoryPager.h"
#include "LineStore.h"
#include "LogColours.h"

#include <QColor>
#include <QPlainTextEdit>
#include <QString>
#include <QTimer>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QTextCharFormat>

class QLabel;

// The colour of a line's style in a light palette; unknown styles show in black.
QColor StyleColor(std::uint8_t style);

class ChatLogView : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int MaxLines = static_cast<int>(LineStore::Capacity);

    // Lines of history read at a time, and the most kept above the store's lines.
    static constexpr std::size_t HistoryPageLines = 500;
    // Lines of a page put into the document between turns of the event loop.
    static constexpr std::size_t HistorySliceLines = 100;
    static constexpr int MaxHistoryLines = 20000;

    explicit ChatLogView(const LineStore& lines, QWidget* parent = nullptr);
    ~ChatLogView() override;

    // Where older lines come from; it stands just before the oldest line the
    // store restored. None: no history (logging off).
    void SetHistory(std::shared_ptr<chatlog::HistoryPager> pager);
    const std::shared_ptr<chatlog::HistoryPager>& History() const { return pager_; }
    // Starts reading the next older page unless one is on its way or the logs
    // have no more (what reaching the top does).
    void LoadOlder();
    bool HistoryLoading() const { return loading_; }
    // The reader thread still has the pager: a page on its way, or one read for
    // a history dropped since, which is thrown away when it arrives.
    bool HistoryReading() const { return readerBusy_; }
    // The reader has its page read and handed to the event loop, which has not shown it yet.
    bool HistoryPageWaiting() const { return readerBusy_ && pageRead_.load(); }
    bool HistoryAtStart() const { return historyEnd_; }
    // Scrolls to a logged line of this room and selects it: loaded as history
    // (ending the page, a gap line after it) when it is older than what the tab
    // holds or has left it since, found among the tab's lines otherwise (those
    // logged since the tab opened too). stamp: the line's logged
    // "YYYY-MM-DD HH:MM:SS" (may be empty); text: the line after it; sameAfter:
    // how many lines after it in its file were logged with the same stamp and
    // text. False when it cannot be shown.
    bool ShowLoggedLine(const std::string& fileName, std::uint64_t offset, const QString& stamp, const QString& text,
                        int sameAfter);
    // Blocks of history above the store's lines (day lines and the gap line included).
    int HistoryLines() const { return historyBlocks_; }
    // The notes over the log: history loading or at its start, new lines below.
    QString TopNote() const;
    QString BelowNote() const;

    // line is the store's newest: an on-screen log shows it before the next paint.
    void LineAdded(const StoredLine& line);
    // The store's line at index is about to be erased (LineStore::Erase).
    void LineErasing(std::size_t index);
    // On screen the document mirrors the store; off screen it is emptied, and the
    // line at the top is remembered if the user had scrolled up to read.
    void SetOnScreen(bool onScreen);
    bool OnScreen() const { return onScreen_; }
    // On screen and scrolled up from the newest line: what arrives waits below.
    bool ReadingBack() const;
    // Puts every line not yet shown into the document now.
    void Flush();

    // What the log shows: the document's lines on screen, the store's off screen.
    int LineCount();
    QString LineText(int index);
    QColor LineColor(int index);

    // The one place that decides how a stored line looks: appends it to the
    // document at the cursor (as a new block unless it is the document's first).
    void InsertLine(QTextCursor& cursor, const StoredLine& line, bool first);
    // The colours the lines are drawn in, chosen for the log's palette.
    const LogColours& Colours() const { return colours_; }
    // "HH:MM " before every line (an option, off by default); logs on screen
    // take a change when they are next rebuilt.
    static inline bool ShowTimes = false;
    // Whether this line gets the time: lines restored from a log carry their own.
    static bool ShowsTime(const StoredLine& line);

signals:
    // A page of history is in the document (or there was none left).
    void HistoryPageShown();
    // The history that was to end with the line ShowLoggedLine asked for went
    // before that line arrived (another tab, the newest line, a room reopened).
    void LoggedLineDropped();
    // The user scrolled back down to the newest line.
    void NewestReached();

protected:
    void changeEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QTextCharFormat LineFormat(const StoredLine& line);
    // Takes the palette's colours; a log on screen is laid out again when they changed.
    void followPalette();
    void ScrollMoved(int value);
    void ShowHistoryPage(std::vector<std::string> page, std::uint64_t generation, bool atStart);
    void InsertHistorySlice(std::uint64_t generation);
    void FinishHistoryPage(bool inserted);
    void DropHistory();
    void PlaceNotes();
    void SelectBlock(int number);
    // Selects the tab's own line logged with this stamp and text, before sameAfter
    // newer ones alike; false when it holds none.
    bool SelectTabLine(const QString& stamp, const QString& text, int sameAfter);
    void JoinReader();

    const LineStore& lines_;
    std::uint64_t shown_ = 0;   // the store's Appended() that the document reflects
    int docLines_ = 0;          // lines in the document (an empty one still has a block)
    bool onScreen_ = false;
    std::optional<std::uint64_t> readingLine_;   // number of the top line while scrolled up, off screen
    struct PendingLine {
        std::string text;
        std::uint8_t style;
        std::uint8_t flags;
        std::int64_t time;
    };
    std::vector<PendingLine> pending_;   // lines added on screen since the last flush
    std::string utf8_;                   // a line's text while it is put into the document
    QTimer flushTimer_;
    LogColours colours_;
    // A line's look is one of a few: each is made once and shared, not rebuilt per line.
    std::array<std::optional<QTextCharFormat>, 2 * LogColours::Count> looks_;
    bool settingPalette_ = false;
    bool rebuilding_ = false;   // the document is being filled again from the store

    std::shared_ptr<chatlog::HistoryPager> pager_;
    chatlog::HistoryPager::Position historyStart_;   // the pager's place while no history is shown
    int historyBlocks_ = 0;
    struct HistoryItem {
        std::string text;
        std::uint8_t flags;
    };
    std::vector<HistoryItem> historyItems_;   // the page being put in, slice by slice
    std::size_t historyItemsLeft_ = 0;         // items before this one are still to come
    int historyLastLine_ = -1;                 // the item of the page's newest line
    bool gap_ = false;          // the last history block says that history below was dropped
    bool loading_ = false;      // a page is asked for
    bool readerBusy_ = false;   // the reader has the pager (until its page is handed over)
    std::atomic<bool> pageRead_{false};   // the reader's page is queued for the GUI thread
    bool historyEnd_ = false;   // the oldest logged line is in the document
    std::uint64_t generation_ = 0;   // a page read for history since dropped is not shown
    std::optional<chatlog::LocalDate> topDate_;   // of the oldest dated line in the document
    // The number of the tab's day line that stands for the history's (none was put
    // under the history while it is there); when a flood takes it from the tab's
    // lines it stays, as the history's last line (dayKept_).
    std::optional<std::uint64_t> dayLineBelow_;
    bool dayKept_ = false;
    bool jumping_ = false;      // the page asked for ends with the line to show
    bool adjusting_ = false;    // the view moves itself: not the user reaching an end
    std::thread reader_;
    QLabel* topNote_ = nullptr;
    QLabel* belowNote_ = nullptr;
};
