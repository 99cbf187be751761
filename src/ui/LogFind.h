#pragma once
// The search of the find bar over the active room's lines: finds every match in
// the room's store, highlights the matches in view, selects the current one
// and keeps up with lines that arrive while the bar is open.

#include "TextSearch.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <vector>

class FindBar;
class TChatSheet;

class LogFind : public QObject {
    Q_OBJECT
public:
    LogFind(FindBar* bar, QObject* parent);

    // The room whose log is searched (none: nothing to search).
    void SetSheet(TChatSheet* sheet);
    // Searches again after the look of the lines changed (times on or off).
    void Refresh();

    int MatchCount() const { return static_cast<int>(Matches.size()); }
    int Current() const { return CurrentMatch; }   // -1 when none

    void Search(const QString& text);
    void Next();
    void Previous();
    void Close();

private:
    struct Match {
        std::uint64_t Line;   // the line's number in its store (LineStore::Appended counting)
        std::uint32_t Begin;  // UTF-8 bytes in the line
        std::uint32_t End;
    };
    void FindFrom(std::uint64_t firstLine);
    // Drops the matches in lines the store no longer holds and searches the lines
    // that arrived since; false when nothing changed.
    bool CatchUp();
    void FollowNewLines();
    void Step(int direction);
    void ShowMatches(bool moveToCurrent);

    FindBar* Bar;
    QPointer<TChatSheet> Sheet;
    QString Needle;
    std::vector<Match> Matches;
    int CurrentMatch = -1;
    std::uint64_t SearchedUpTo = 0;   // lines before this number have been searched
    QTimer Follow;
};
