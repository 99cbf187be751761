#include "LogSearchResults.h"

#include "TextSearch.h"

#include <QPoint>

#include <algorithm>
#include <functional>
#include <unordered_map>

namespace {

QString Qs(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace

LogSearchResults::LogSearchResults(QObject* parent) : QAbstractTableModel(parent) {}

void LogSearchResults::Reset(std::vector<chatlog::LogFile> files, std::size_t limit)
{
    beginResetModel();
    files_ = std::move(files);
    limit_ = limit;
    rooms_.clear();
    for (const chatlog::LogFile& file : files_)
        rooms_.push_back(Qs(chatlog::RoomOfStem(file.Stem)));
    rows_.clear();
    endResetModel();
}

void LogSearchResults::Add(std::vector<chatlog::LogHit>& hits)
{
    // Hits come newest first within a file and month by month from the newest,
    // but the rooms of one month come one after another: hits of a batch may go
    // anywhere among the rows shown, hundreds of places. So a batch costs the
    // view two changes whatever its size: the rows it adds go in at the end,
    // then every row moves to its place at once (the selection and the current
    // row move along); the oldest rows beyond the limit give way. A hit of the
    // same time goes below the rows already there.
    std::vector<chatlog::LogHit*> fresh;
    fresh.reserve(hits.size());
    for (chatlog::LogHit& hit : hits) {
        if (hit.File < files_.size())
            fresh.push_back(&hit);
    }
    const auto newer = [](const chatlog::LogHit* a, const chatlog::LogHit* b) { return a->Key > b->Key; };
    std::stable_sort(fresh.begin(), fresh.end(), newer);
    // The rows to show, newest first: the old ones and the fresh ones merged, up to the limit.
    struct Place {
        chatlog::LogHit* Hit;
        bool Fresh;
    };
    std::vector<Place> merged;
    merged.reserve(std::min(limit_, rows_.size() + fresh.size()));
    std::size_t freshTaken = 0;
    bool inOrder = true;   // the old rows first, then the fresh: nothing moves
    for (std::size_t i = 0, j = 0; merged.size() < limit_ && (i < rows_.size() || j < fresh.size());) {
        if (j == fresh.size() || (i < rows_.size() && !newer(fresh[j], rows_[i].get()))) {
            inOrder = inOrder && freshTaken == 0;
            merged.push_back({rows_[i++].get(), false});
        } else {
            merged.push_back({fresh[j++], true});
            ++freshTaken;
        }
    }
    if (freshTaken == 0)
        return;
    const std::size_t oldSize = rows_.size();
    // Fresh rows are owned from here on; the first ones fill the rows added at the end.
    std::unordered_map<const chatlog::LogHit*, std::unique_ptr<chatlog::LogHit>> owned;
    std::vector<const chatlog::LogHit*> added;
    for (Place& place : merged) {
        if (!place.Fresh)
            continue;
        auto row = std::make_unique<chatlog::LogHit>(std::move(*place.Hit));
        place.Hit = row.get();
        if (oldSize + added.size() < merged.size())
            added.push_back(row.get());
        owned.emplace(row.get(), std::move(row));
    }
    if (!added.empty()) {
        beginInsertRows({}, static_cast<int>(oldSize), static_cast<int>(merged.size() - 1));
        for (const chatlog::LogHit* hit : added) {
            rows_.push_back(std::move(owned[hit]));
            owned.erase(hit);
        }
        endInsertRows();
    }
    if (inOrder && owned.empty())
        return;   // only older rows, added at the end
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::unordered_map<const chatlog::LogHit*, int> newRow;
    const QModelIndexList persistent = persistentIndexList();
    if (!persistent.isEmpty()) {
        for (std::size_t k = 0; k < merged.size(); ++k)
            newRow.emplace(merged[k].Hit, static_cast<int>(k));
    }
    QModelIndexList moved;
    for (const QModelIndex& index : persistent) {
        const auto to = newRow.find(rows_[static_cast<std::size_t>(index.row())].get());
        moved << (to == newRow.end() ? QModelIndex() : createIndex(to->second, index.column()));
    }
    for (std::unique_ptr<chatlog::LogHit>& row : rows_)
        owned.emplace(row.get(), std::move(row));
    std::vector<std::unique_ptr<chatlog::LogHit>> rows;
    rows.reserve(merged.size());
    for (const Place& place : merged)
        rows.push_back(std::move(owned[place.Hit]));
    rows_ = std::move(rows);   // the rows that gave way go with `owned`
    changePersistentIndexList(persistent, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QString LogSearchResults::CopyText(int row) const
{
    const chatlog::LogHit& hit = Hit(row);
    return Qs(hit.Stamp) + QLatin1Char(' ') + rooms_[hit.File] + QLatin1Char(' ') + Qs(hit.Text);
}

int LogSearchResults::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int LogSearchResults::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LogSearchResults::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const chatlog::LogHit& hit = Hit(index.row());
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case ColumnTime: return Qs(hit.Stamp);
        case ColumnRoom: return rooms_[hit.File];
        case ColumnServer: return Qs(chatlog::RoomOfStem(files_[hit.File].Server));
        case ColumnLine: return Qs(hit.Text);
        default: return {};
        }
    }
    if (role == SpansRole && index.column() == ColumnLine) {
        QVariantList spans;
        for (const TextMatch& span : hit.Spans) {
            const auto start = Utf16Length(std::string_view(hit.Text).substr(0, span.Begin));
            const auto length = Utf16Length(std::string_view(hit.Text).substr(span.Begin, span.End - span.Begin));
            spans << QVariant::fromValue(QPoint(static_cast<int>(start), static_cast<int>(length)));
        }
        return spans;
    }
    return {};
}

QVariant LogSearchResults::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ColumnTime: return QStringLiteral("日時");
    case ColumnRoom: return QStringLiteral("部屋");
    case ColumnServer: return QStringLiteral("サーバー");
    case ColumnLine: return QStringLiteral("発言");
    default: return {};
    }
}
