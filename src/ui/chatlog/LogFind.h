#pragma once
// The search of the find bar over the active room's lines: counts the matches
// in the room's store, highlights the matches on screen, selects the current one
// and keeps up with lines that arrive while the bar is open.
//
// The cost does not grow with the matches: a line with matches is one record
// (its number and how many), the current match is found again in its line when
// needed, and only the lines on screen are searched for their highlights.

#include "TextSearch.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class FindBar;
class QTimer;
class TChatSheet;

class LogFind : public QObject {
    Q_OBJECT
public:
    LogFind(FindBar* bar, QObject* parent);

    // The room whose log is searched (none: nothing to search).
    void SetSheet(TChatSheet* sheet);
    // Searches again after the look of the lines changed (times on or off).
    void Refresh();

    int MatchCount() const { return static_cast<int>(Total); }
    int Current() const { return CurrentIndex; }   // -1 when none

    void Search(const QString& text);
    void Next();
    void Previous();
    void Close();

private:
    struct MatchLine {
        std::uint64_t Line;    // the line's number in its store (LineStore::Appended counting)
        std::uint32_t Count;   // matches in it
    };
    bool Searching() const;
    void FindFrom(std::uint64_t firstLine);
    void SelectFirst();
    void SelectLast();
    // Drops the lines the store no longer holds and searches the lines that
    // arrived since; false when nothing changed.
    bool CatchUp();
    void LogChanged();
    void LineErased(std::uint64_t number);
    void FollowNewLines();
    void Step(int direction);
    void ShowMatches(bool moveToCurrent);

    FindBar* Bar;
    QPointer<TChatSheet> Sheet;
    QString Needle;
    TextSearch Finder;
    std::deque<MatchLine> Lines;   // oldest first
    std::uint64_t Total = 0;
    // The current match: its line, its place in that line and among all (-1: none).
    std::uint64_t CurrentLine = 0;
    std::uint32_t CurrentInLine = 0;
    int CurrentIndex = -1;
    std::uint64_t SearchedUpTo = 0;   // lines before this number have been searched
    std::string Utf8;                 // one line read from the store
    std::vector<TextMatch> Found;     // the matches of one line
    bool Showing = false;
    // New lines are searched in batches, not one by one during a flood; it runs
    // only after the log has changed.
    QTimer* Follow;
};
