#include "Unitlogsearch.h"

#include "ChatLogger.h"
#include "HistoryPager.h"
#include "LogSearchResults.h"
#include "LogSearchRun.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTextBlock>
#include <QTextLayout>

namespace {

constexpr std::size_t LinesAround = 20;
// The lines around a hit are read on the GUI thread: no more than this of any
// one line is looked at, so a damaged log (gigabytes without a line end) costs
// a few megabytes at most.
constexpr std::uint64_t AroundScanBytes = chatlog::GuiScanBytes;
const QColor HitBackground(255, 240, 160);

QString Qs(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// The line column with its matches on a light background.
class HitDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QVariantList spans = index.data(LogSearchResults::SpansRole).toList();
        if (spans.isEmpty()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem look = option;
        initStyleOption(&look, index);
        const QString text = look.text;
        look.text.clear();
        QStyle* style = look.widget ? look.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &look, painter, look.widget);
        const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &look, look.widget).adjusted(2, 0, -2, 0);
        QTextLayout layout(text, look.font);
        QList<QTextLayout::FormatRange> formats;
        for (const QVariant& span : spans) {
            const QPoint p = span.toPoint();
            QTextCharFormat format;
            format.setBackground(HitBackground);
            format.setForeground(Qt::black);
            formats.append({p.x(), p.y(), format});
        }
        layout.setFormats(formats);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        if (line.isValid())
            line.setLineWidth(1e6);
        layout.endLayout();
        painter->save();
        painter->setClipRect(area);
        painter->setPen(look.palette.color((look.state & QStyle::State_Selected) ? QPalette::HighlightedText
                                                                                 : QPalette::Text));
        const qreal y = area.top() + (area.height() - (line.isValid() ? line.height() : 0)) / 2;
        layout.draw(painter, QPointF(area.left(), y));
        painter->restore();
    }
};

}  // namespace

TFormLogSearch::TFormLogSearch(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setupUi(this);
    results_ = new LogSearchResults(this);
    ListResults->setModel(results_);
    ListResults->setItemDelegateForColumn(LogSearchResults::ColumnLine, new HitDelegate(ListResults));
    ListResults->verticalHeader()->hide();
    ListResults->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    ListResults->horizontalHeader()->setStretchLastSection(true);
    ListResults->setColumnWidth(LogSearchResults::ColumnTime, fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00__")));
    ListResults->setColumnHidden(LogSearchResults::ColumnServer, true);
    ListResults->installEventFilter(this);
    EditSearch->installEventFilter(this);
    SplitterResults->setSizes({340, 160});
    // A line is searched as far as it is shown: only a foreign or damaged log has
    // longer ones, and the window says where the search stops.
    const QString limit = QStringLiteral("各行の表示される部分（先頭から %1 バイトまで）を検索します")
                              .arg(QLocale(QLocale::Japanese).toString(static_cast<qulonglong>(chatlog::MaxLineBytes)));
    EditSearch->setPlaceholderText(limit);
    EditSearch->setToolTip(limit);
    const QDate today = QDate::currentDate();
    DateFrom->setDate(today.addMonths(-1));
    DateTo->setDate(today);

    // Esc puts the window away, as it does the find bar; the search it ran stops.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, [this] {
        CancelSearch();
        close();
    });
    connect(EditSearch, &QLineEdit::returnPressed, this, &TFormLogSearch::StartSearch);
    connect(ButtonSearch, &QPushButton::clicked, this, &TFormLogSearch::StartSearch);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormLogSearch::CancelSearch);
    connect(ButtonOpenRoom, &QPushButton::clicked, this, &TFormLogSearch::OpenRoomClick);
    connect(CheckDates, &QCheckBox::toggled, this, [this](bool on) {
        DateFrom->setEnabled(on);
        DateTo->setEnabled(on);
    });
    connect(RadioAllLogs, &QRadioButton::toggled, this, [this] { FillRooms(); });
    connect(ListResults->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { ShowAround(current); });
    ShowStatus();
}

TFormLogSearch::~TFormLogSearch() = default;

void TFormLogSearch::SetLogs(const std::string& logsFolder, const std::string& serverFolder)
{
    logsFolder_ = logsFolder;
    serverFolder_ = serverFolder;
    RadioThisServer->setEnabled(!serverFolder.empty());
    if (serverFolder.empty())
        RadioAllLogs->setChecked(true);
    FillRooms();
}

void TFormLogSearch::FillRooms()
{
    const QString chosen = ComboRoom->currentData().toString();
    ComboRoom->clear();
    ComboRoom->addItem(QStringLiteral("（すべての部屋）"), QString());
    chatlog::LogQuery scope;
    if (RadioThisServer->isChecked())
        scope.Server = serverFolder_;
    std::vector<std::string> stems;
    for (const chatlog::LogFile& file : chatlog::ListLogFiles(logsFolder_, scope))
        stems.push_back(file.Stem);
    std::sort(stems.begin(), stems.end());
    stems.erase(std::unique(stems.begin(), stems.end()), stems.end());
    for (const std::string& stem : stems)
        ComboRoom->addItem(Qs(chatlog::RoomOfStem(stem)), Qs(stem));
    ComboRoom->setCurrentIndex(std::max(0, ComboRoom->findData(chosen)));
}

bool TFormLogSearch::Searching() const
{
    return run_ && run_->Running();
}

void TFormLogSearch::StartSearch()
{
    run_.reset();   // cancels and waits: the thread stops within a piece of a file
    notShown_.clear();
    TextAround->clear();
    ButtonOpenRoom->setEnabled(false);
    results_->Reset({});
    LabelRefused->clear();
    LabelRefused->hide();
    cancelled_ = false;
    totalBytes_ = 0;
    ProgressSearch->setValue(0);
    chatlog::LogQuery query;
    query.Text = EditSearch->text().toStdString();
    if (RadioThisServer->isChecked())
        query.Server = serverFolder_;
    query.Stem = ComboRoom->currentData().toString().toStdString();
    if (CheckDates->isChecked()) {
        query.From = chatlog::LocalDate{DateFrom->date().year(), DateFrom->date().month(), DateFrom->date().day()};
        query.To = chatlog::LocalDate{DateTo->date().year(), DateTo->date().month(), DateTo->date().day()};
    }
    ListResults->setColumnHidden(LogSearchResults::ColumnServer, !query.Server.empty());
    if (chatlog::LogSearcher(query.Text).Empty() || logsFolder_.empty()) {
        ShowStatus();
        return;
    }
    foundLines_ = 0;
    run_ = std::make_unique<LogSearchRun>(logsFolder_, std::move(query), LogSearchResults::DefaultLimit);
    LogSearchRun* run = run_.get();
    connect(run, &LogSearchRun::Started, this, [this, run](qint64 total) {
        totalBytes_ = total;
        results_->Reset(run->Files());
        ShowRefused();
    });
    connect(run, &LogSearchRun::Found, this, [this](std::shared_ptr<std::vector<chatlog::LogHit>> hits, qint64 found) {
        results_->Add(*hits);
        foundLines_ = found;
        ShowStatus();
    });
    connect(run, &LogSearchRun::Progress, this, [this](qint64 done) {
        ProgressSearch->setValue(totalBytes_ > 0 ? static_cast<int>(1000 * done / totalBytes_) : 1000);
    });
    connect(run, &LogSearchRun::Finished, this, [this](bool cancelled) {
        cancelled_ = cancelled;
        ShowStatus();
        ShowRefused();
    });
    ShowStatus();
}

void TFormLogSearch::CancelSearch()
{
    if (run_)
        run_->Cancel();
}

void TFormLogSearch::TellNotShown()
{
    NoteNotShown();
    raise();
    activateWindow();
}

void TFormLogSearch::NoteNotShown()
{
    notShown_ = QStringLiteral("この行は部屋のタブに表示できませんでした（ログが変わったか、読み込み中です）");
    ShowStatus();
}

void TFormLogSearch::ShowStatus()
{
    const bool searching = Searching();
    ButtonCancel->setEnabled(searching);
    ProgressSearch->setVisible(searching);
    const QString found = QLocale(QLocale::Japanese).toString(std::max<qint64>(foundLines_, results_->rowCount()));
    // A common word can match a great many lines: only the newest are listed, and the window says so.
    const QString listed = foundLines_ > results_->rowCount()
                               ? QStringLiteral("（新しい %1 件を表示）").arg(QLocale(QLocale::Japanese).toString(results_->rowCount()))
                               : QString();
    QString status;
    if (searching)
        status = QStringLiteral("検索中… %1 件").arg(found) + listed;
    else if (!run_)
        status = QString();
    else if (cancelled_)
        status = QStringLiteral("中止しました（%1 件）").arg(found) + listed;
    else
        status = QStringLiteral("%1 件見つかりました").arg(found) + listed;
    if (!notShown_.isEmpty())
        status += (status.isEmpty() ? QString() : QStringLiteral("　")) + notShown_;
    LabelStatus->setText(status);
}

void TFormLogSearch::ShowRefused()
{
    // As the log writer tells the places it will not use: each one, and why.
    constexpr std::size_t Shown = 5;
    const std::vector<chatlog::PlaceProblem>& refused = run_ ? run_->Refused() : std::vector<chatlog::PlaceProblem>{};
    QStringList lines;
    if (!refused.empty())
        lines << QStringLiteral("検索しなかったファイル・フォルダが %1 個あります:").arg(refused.size());
    for (std::size_t i = 0; i < refused.size() && i < Shown; ++i)
        lines << ChatLogger::DescribeNotSearched(refused[i]);
    if (refused.size() > Shown)
        lines << QStringLiteral("ほか %1 個").arg(refused.size() - Shown);
    LabelRefused->setText(lines.join(QLatin1Char('\n')));
    LabelRefused->setVisible(!lines.isEmpty());
}

void TFormLogSearch::ShowAround(const QModelIndex& current)
{
    TextAround->clear();
    ButtonOpenRoom->setEnabled(false);
    if (!notShown_.isEmpty()) {
        notShown_.clear();
        ShowStatus();
    }
    if (!current.isValid())
        return;
    const chatlog::LogHit& hit = results_->Hit(current.row());
    const chatlog::LogFile& file = results_->FileOf(current.row());
    // The lines before, from this month and the months before it; the line and those after, from its file.
    chatlog::HistoryPager before(file.Path.parent_path(), file.Stem);
    before.SetScanLimit(AroundScanBytes);
    std::vector<std::string> lines;
    if (before.SeekAfterLine(file.Path.filename().string(), hit.Offset))
        lines = before.Older(LinesAround + 1);
    if (!lines.empty())
        lines.pop_back();   // the hit's own line, read again below
    const std::size_t hitLine = lines.size();
    for (std::string& line : chatlog::ReadLinesFrom(file.Path, hit.Offset, LinesAround + 1, AroundScanBytes))
        lines.push_back(std::move(line));
    QString text;
    for (const std::string& line : lines) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += Qs(line);
    }
    TextAround->setPlainText(text);
    // The file may have changed since the search: another line at the hit's place is not the hit.
    const std::string logged = hit.Stamp.empty() ? hit.Text : hit.Stamp + ' ' + hit.Text;
    if (hitLine >= lines.size() || lines[hitLine] != logged) {
        notShown_ = QStringLiteral("この行はログが検索の後に変わったため見つかりませんでした");
        ShowStatus();
        return;
    }
    const QTextBlock block = TextAround->document()->findBlockByNumber(static_cast<int>(hitLine));
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    QTextEdit::ExtraSelection mark;
    mark.cursor = cursor;
    mark.format.setBackground(HitBackground);
    mark.format.setForeground(QColor(0, 0, 0));   // a dark palette's light text would not read on it
    mark.format.setProperty(QTextFormat::FullWidthSelection, true);
    TextAround->setExtraSelections({mark});
    cursor.clearSelection();
    TextAround->setTextCursor(cursor);
    TextAround->centerCursor();
    ButtonOpenRoom->setEnabled(RoomIsOpen && RoomIsOpen(file.Server, file.Stem));
}

void TFormLogSearch::OpenRoomClick()
{
    const QModelIndex current = ListResults->currentIndex();
    if (!current.isValid())
        return;
    const chatlog::LogHit& hit = results_->Hit(current.row());
    const chatlog::LogFile& file = results_->FileOf(current.row());
    // Lines of the same words in the same second look alike in the tab: which of
    // them it is, the later ones of its file among the hits tell (they sort beside it).
    int first = current.row();
    while (first > 0 && results_->Hit(first - 1).Key == hit.Key)
        --first;
    int sameAfter = 0;
    for (int row = first; row < results_->rowCount() && results_->Hit(row).Key == hit.Key; ++row) {
        const chatlog::LogHit& other = results_->Hit(row);
        if (other.File == hit.File && other.Offset > hit.Offset && other.Stamp == hit.Stamp && other.Text == hit.Text)
            ++sameAfter;
    }
    // Told again below if this try fails too.
    if (!notShown_.isEmpty()) {
        notShown_.clear();
        ShowStatus();
    }
    emit OpenInRoom(Qs(file.Server), Qs(file.Stem), Qs(file.Path.filename().string()),
                    static_cast<qint64>(hit.Offset), Qs(hit.Stamp), Qs(hit.Text), sameAfter);
}

QString TFormLogSearch::SelectedText() const
{
    QList<int> rows;
    for (const QModelIndex& index : ListResults->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QString text;
    for (const int row : rows)
        text += results_->CopyText(row) + QLatin1Char('\n');
    return text;
}

bool TFormLogSearch::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == EditSearch && key->key() == Qt::Key_Down && results_->rowCount() > 0) {
            ListResults->setFocus();
            if (!ListResults->currentIndex().isValid())
                ListResults->setCurrentIndex(results_->index(0, 0));
            return true;
        }
        if (watched == ListResults && key->matches(QKeySequence::Copy)) {
            QApplication::clipboard()->setText(SelectedText());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
