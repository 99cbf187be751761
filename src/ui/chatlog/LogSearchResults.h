#pragma once
// The hits of a log search as a table, newest first whatever order they come
// in: date and time, room, server (shown when every server is searched), line.
// The line column gives the matches' places for the highlight. At most a set
// number of rows are kept, the newest: an older row gives way to a newer hit.

#include "LogSearch.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPair>

#include <memory>
#include <string>
#include <vector>

class LogSearchResults : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColumnTime, ColumnRoom, ColumnServer, ColumnLine, ColumnCount };
    // The matches in the line's text, as (start, length) in UTF-16 units.
    static constexpr int SpansRole = Qt::UserRole + 1;

    explicit LogSearchResults(QObject* parent = nullptr);

    // The rows kept at most.
    static constexpr std::size_t DefaultLimit = 5000;

    // A new search: no hits, these files, at most limit rows.
    void Reset(std::vector<chatlog::LogFile> files, std::size_t limit = DefaultLimit);
    void Add(std::vector<chatlog::LogHit>& hits);

    const chatlog::LogHit& Hit(int row) const { return *rows_[static_cast<std::size_t>(row)]; }
    const chatlog::LogFile& FileOf(int row) const { return files_[Hit(row).File]; }
    // "YYYY-MM-DD HH:MM:SS <room> <line>".
    QString CopyText(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<chatlog::LogFile> files_;
    std::vector<QString> rooms_;   // per file, as shown
    std::size_t limit_ = DefaultLimit;
    std::vector<std::unique_ptr<chatlog::LogHit>> rows_;   // newest first
};
