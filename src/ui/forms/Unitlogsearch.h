#pragma once
// The search over every log: a query, this server's logs or all of them, a room
// and days if wanted. Hits stream in newest first while the search runs on a
// thread of its own; the lines around the chosen hit are shown from its file,
// and its room's tab can be scrolled to it when the room is open.

#include "ui_Unitlogsearch.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class LogSearchResults;
class LogSearchRun;

class TFormLogSearch : public QWidget, public Ui::TFormLogSearch {
    Q_OBJECT
public:
    explicit TFormLogSearch(QWidget* parent = nullptr);
    ~TFormLogSearch() override;

    // The logs folder, and the folder name of the server connected to (empty: none).
    void SetLogs(const std::string& logsFolder, const std::string& serverFolder);
    // Whether the room of a hit is open in a tab: (server folder, room stem).
    std::function<bool(const std::string&, const std::string&)> RoomIsOpen;

    // A new query cancels the search that runs.
    void StartSearch();
    void CancelSearch();
    // The room's tab could not show the chosen hit: said here, where the user chose it.
    void TellNotShown();
    // The same, said without taking the user from the tab they are in.
    void NoteNotShown();
    bool Searching() const;
    LogSearchResults* Results() const { return results_; }
    // The chosen hits as text, one line each: "YYYY-MM-DD HH:MM:SS <room> <line>".
    QString SelectedText() const;

signals:
    // Scroll the room's tab to the line starting at offset in that month file;
    // sameAfter lines after it there were logged with the same stamp and text.
    void OpenInRoom(const QString& server, const QString& stem, const QString& fileName, qint64 offset,
                    const QString& stamp, const QString& text, int sameAfter);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillRooms();
    void ShowAround(const QModelIndex& current);
    void ShowStatus();
    void ShowRefused();
    void OpenRoomClick();

    std::string logsFolder_;
    std::string serverFolder_;
    LogSearchResults* results_ = nullptr;
    std::unique_ptr<LogSearchRun> run_;
    qint64 totalBytes_ = 0;
    qint64 foundLines_ = 0;   // every line found, listed or not
    QString notShown_;        // why the chosen hit is not in its tab or among its lines; beside the count until another is chosen
    bool cancelled_ = false;
};
