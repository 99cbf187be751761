#include "LogSearchResults.h"

#include "TextSearch.h"

#include <QPoint>

#include <algorithm>
#include <functional>

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
    // but the rooms of one month come one after another: a hit may belong above
    // rows already shown. The batch is sorted, then goes in as runs of rows
    // that stand together, each run one insertion; then the oldest rows beyond
    // the limit go. A hit of the same time goes below the rows already there.
    std::vector<chatlog::LogHit*> fresh;
    fresh.reserve(hits.size());
    for (chatlog::LogHit& hit : hits) {
        if (hit.File < files_.size())
            fresh.push_back(&hit);
    }
    const auto newer = [](const chatlog::LogHit* a, const chatlog::LogHit* b) { return a->Key > b->Key; };
    std::stable_sort(fresh.begin(), fresh.end(), newer);
    // Fresh hits that would only be cut again are left out.
    if (fresh.size() > limit_)
        fresh.resize(limit_);
    std::size_t next = 0;
    std::size_t from = 0;   // rows before this stand above every fresh hit still to go in
    while (next < fresh.size()) {
        const auto at = std::upper_bound(rows_.begin() + static_cast<std::ptrdiff_t>(from), rows_.end(), fresh[next],
                                         [&](const chatlog::LogHit* hit, const std::unique_ptr<chatlog::LogHit>& row) {
                                             return newer(hit, row.get());
                                         });
        const auto row = static_cast<std::size_t>(at - rows_.begin());
        if (row >= limit_)
            break;   // this and every hit after it are older than all the rows kept
        // The run: fresh hits that all go before the row now at `row`.
        std::size_t end = next + 1;
        while (end < fresh.size() && (row == rows_.size() || rows_[row]->Key < fresh[end]->Key))
            ++end;
        end = std::min(end, next + (limit_ - row));
        // The oldest rows make room first (they all stand below `row`).
        if (rows_.size() + (end - next) > limit_) {
            const std::size_t keep = limit_ - (end - next);
            beginRemoveRows({}, static_cast<int>(keep), static_cast<int>(rows_.size() - 1));
            rows_.resize(keep);
            endRemoveRows();
        }
        beginInsertRows({}, static_cast<int>(row), static_cast<int>(row + end - next - 1));
        std::vector<std::unique_ptr<chatlog::LogHit>> rows;
        rows.reserve(end - next);
        for (std::size_t k = next; k < end; ++k)
            rows.push_back(std::make_unique<chatlog::LogHit>(std::move(*fresh[k])));
        rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(row), std::make_move_iterator(rows.begin()),
                     std::make_move_iterator(rows.end()));
        endInsertRows();
        from = row + (end - next);
        next = end;
    }
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
