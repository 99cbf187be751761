// Keeping the conversation: the status bar, the automatic reconnect around the
// connection handling, and the rooms' chat logs on disk.
#include "Unitmain.h"

#include "ChatLogView.h"
#include "ChatLogger.h"
#include "Chatsheet.h"
#include "ConnectionKeeper.h"
#include "ChatLogFiles.h"
#include "LogPlaces.h"
#include "MessageBoxes.h"
#include "Unitlogsearch.h"
#include "ShellOpen.h"
#include "ui_Unitmain.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>
#include <QUrl>

#include <memory>

namespace {
// Lines of a room's log shown when its tab opens.
constexpr std::size_t RestoredLineCount = 200;
}

void TFormMain::setUpKeeping()
{
    MenuLogFolder = ui_->MenuLogFolder;
    StatusText = new QLabel(this);
    StatusText->setObjectName(QStringLiteral("StatusText"));
    StatusText->setTextFormat(Qt::PlainText);
    ui_->StatusBar1->addWidget(StatusText, 1);

    // Until the settings are read, which decides the folder before any line is written.
    LogFolder = defaultLogFolder_;
    Logs = new ChatLogger(this);
    connect(Logs, &ChatLogger::Failed, this, [this](const QString& message) { ShowErrorBox(message, this); });

    // Before the window's own handlers: a loss must be known while the tabs still exist.
    Reconnect = new ConnectionKeeper(*Socket1, ReconnectTiming{}, {}, this);
    connect(Reconnect, &ConnectionKeeper::ConnectionLost, this, &TFormMain::onConnectionLost);
    connect(Reconnect, &ConnectionKeeper::StatusChanged, this, &TFormMain::RefreshConnectionControls);
    connect(Reconnect, &ConnectionKeeper::NoAnswer, this, [this](const QString& message) { ShowErrorBox(message, this); });
    connect(Socket1, &ClientSocket::Disconnected, Logs, &ChatLogger::FlushSoon);
    connect(MenuLogFolder, &QAction::triggered, this, &TFormMain::MenuLogFolderClick);
    MenuLogSearch = ui_->MenuLogSearch;
    connect(MenuLogSearch, &QAction::triggered, this, &TFormMain::MenuLogSearchClick);
}

void TFormMain::UpdateStatusBar()
{
    StatusText->setText(Reconnect->StatusText());
}

void TFormMain::onConnectionLost()
{
    for (int i = 0; i < PageControl1->count(); ++i)
        LogRoomEvent(qobject_cast<TChatSheet*>(PageControl1->widget(i)), "―― 接続が切れました");
}

std::shared_ptr<const LogTarget> TFormMain::RoomLogTarget(const TChatSheet* sheet) const
{
    if (!LogEnabled || sheet == nullptr)
        return nullptr;
    return ChatLogger::Target(LogFolder, Socket1->Address, Socket1->Port, sheet->RoomName);
}

void TFormMain::LogRoomEvent(const TChatSheet* sheet, std::string_view text)
{
    if (sheet != nullptr)
        Logs->Write(sheet->LogFile, QDateTime::currentSecsSinceEpoch(), text);
}

void TFormMain::OpenRoomLog(TChatSheet* sheet)
{
    sheet->LogFile = RoomLogTarget(sheet);
    if (!sheet->LogFile)
        return;
    sheet->Logger = Logs;
    // The room's last logged lines come first, in grey, then the live ones.
    const std::vector<std::string> earlier = Logs->Tail(*sheet->LogFile, RestoredLineCount);
    for (const std::string& line : earlier)
        sheet->AddLine(line, 0, LineRestored);
    if (!earlier.empty())
        sheet->AddLine("――― 以上、過去ログ ―――", 0, LineDivider);
    // Older lines still, when the user scrolls up to them.
    sheet->ChatLog->SetHistory(Logs->History(*sheet->LogFile, earlier.size()));
    LogRoomEvent(sheet, "―― 入室しました");
}

void TFormMain::MenuLogFolderClick()
{
    // Made before the first log, so the shell has something to show; the user's
    // alone, as the writer makes it.
    chatlog::MakeFolders(LogFolder);
    ShellOpen(QUrl::fromLocalFile(QString::fromStdString(LogFolder)).toString());
}

namespace {

// Whether the sheet can show a logged line of server/stem in its history: only
// while that history is read from the folder its log goes to now. After the log
// folder changed, the same file name there is another file.
bool ShowsLogOf(const TChatSheet* sheet, const std::string& server, const std::string& stem)
{
    if (sheet == nullptr || !sheet->LogFile || sheet->LogFile->Stem != stem ||
        sheet->LogFile->Folder.filename().string() != server)
        return false;
    const std::shared_ptr<chatlog::HistoryPager>& pager = sheet->ChatLog->History();
    return pager && pager->Folder() == sheet->LogFile->Folder;
}

}  // namespace

void TFormMain::MenuLogSearchClick()
{
    if (FormLogSearch == nullptr) {
        FormLogSearch = new TFormLogSearch(this);
        FormLogSearch->setObjectName(QStringLiteral("FormLogSearch"));
        FormLogSearch->RoomIsOpen = [this](const std::string& server, const std::string& stem) {
            for (int i = 0; i < PageControl1->count(); ++i) {
                if (ShowsLogOf(qobject_cast<TChatSheet*>(PageControl1->widget(i)), server, stem))
                    return true;
            }
            return false;
        };
        // Only the line asked for last: the tab switch below drops an earlier one's page.
        auto dropped = std::make_shared<QMetaObject::Connection>();
        connect(FormLogSearch, &TFormLogSearch::OpenInRoom, this,
                [this, dropped](const QString& server, const QString& stem, const QString& fileName, qint64 offset,
                                const QString& stamp, const QString& text, int sameAfter) {
                    disconnect(*dropped);
                    if (!ShowRoomLogLine(server.toStdString(), stem.toStdString(), fileName.toStdString(),
                                         static_cast<std::uint64_t>(offset), stamp, text, sameAfter))
                        FormLogSearch->TellNotShown();
                    else if (TChatSheet* sheet = ActiveChatSheet())
                        // The line may come as a page of history, which can still be dropped.
                        *dropped = connect(sheet->ChatLog, &ChatLogView::LoggedLineDropped, FormLogSearch,
                                           &TFormLogSearch::NoteNotShown);
                });
    }
    // "This server" is the one connected to, or the last one.
    const std::string server =
        Socket1->Address.empty() ? std::string() : chatlog::ServerFolderName(Socket1->Address, Socket1->Port);
    FormLogSearch->SetLogs(LogFolder, server);
    FormLogSearch->show();
    FormLogSearch->raise();
    FormLogSearch->activateWindow();
    FormLogSearch->EditSearch->setFocus();
    FormLogSearch->EditSearch->selectAll();
}

bool TFormMain::ShowRoomLogLine(const std::string& server, const std::string& stem, const std::string& fileName,
                                std::uint64_t offset, const QString& stamp, const QString& text, int sameAfter)
{
    for (int i = 0; i < PageControl1->count(); ++i) {
        auto* sheet = qobject_cast<TChatSheet*>(PageControl1->widget(i));
        if (!ShowsLogOf(sheet, server, stem))
            continue;
        PageControl1->setCurrentWidget(sheet);
        PageControl1Change();
        ShowFromTray();   // also from the tray or minimized, where raising shows nothing
        return sheet->ChatLog->ShowLoggedLine(fileName, offset, stamp, text, sameAfter);
    }
    return false;
}
