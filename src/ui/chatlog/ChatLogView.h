#pragma once
// A room's log on screen: a read-only view of the room's LineStore, one coloured
// line per stored line. Only the log of the tab on screen keeps a laid-out
// document; an off-screen log holds nothing and is rebuilt from the store when
// its tab comes back. Lines that arrive close together are appended in one edit
// block before the next paint, so a flood costs one layout per batch.

#include "LineStore.h"
#include "LogColours.h"

#include <QColor>
#include <QPlainTextEdit>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QTextCharFormat>

// The colour of a line's style in a light palette; unknown styles show in black.
QColor StyleColor(std::uint8_t style);

class ChatLogView : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int MaxLines = static_cast<int>(LineStore::Capacity);

    explicit ChatLogView(const LineStore& lines, QWidget* parent = nullptr);

    // line is the store's newest: an on-screen log shows it before the next paint.
    void LineAdded(const StoredLine& line);
    // On screen the document mirrors the store; off screen it is emptied, and the
    // line at the top is remembered if the user had scrolled up to read.
    void SetOnScreen(bool onScreen);
    bool OnScreen() const { return onScreen_; }
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

protected:
    void changeEvent(QEvent* event) override;

private:
    QTextCharFormat LineFormat(const StoredLine& line);
    // Takes the palette's colours; a log on screen is laid out again when they changed.
    void followPalette();

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
};
