#pragma once
// The main window: the connection to the chat server, its handlers, the room
// list, one tab per entered room, the chat input, the menus and the settings.

#include "ClientSocket.h"
#include "DesktopNotice.h"
#include "FrameReceiver.h"
#include "GmMessages.h"
#include "Options.h"
#include "StartRooms.h"

#include <QListWidgetItem>
#include <QMainWindow>
#include <QRect>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Ui {
class TFormMain;
}
class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSplitter;
class QTabWidget;
class TChatSheet;
class ChatLogger;
class ConnectionKeeper;
struct LogTarget;
class FindBar;
class InputHistoryFilter;
class TrayIcon;
class QTimer;
class ZoomKeys;
class LogFind;
class TFormLogSearch;

// A row of the room list owns the record the server announced for it.
class RoomListItem : public QListWidgetItem {
public:
    explicit RoomListItem(const GmRoomList::Room& room);
    // Takes the record and shows its name, with "(*)" for a password room.
    void SetRoom(const GmRoomList::Room& room);
    GmRoomList::Room Room;
};

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    // settingsPath: empty means the file beside the executable. defaultLogFolder:
    // where the logs go unless [Log] Folder names a folder; empty means "logs"
    // beside the settings file.
    explicit TFormMain(std::string settingsPath = {}, std::string defaultLogFolder = {}, QWidget* parent = nullptr);
    ~TFormMain() override;

    // Connection (receive path and send path).
    void SendPacket();
    void DispatchPacket();
    void Socket1Connect();
    void Socket1Disconnect();
    void Socket1Error(int errorCode);
    void Socket1Read();
    void Socket1Write();

    // Server replies.
    void RecvAReady();
    void RecvAConnect();
    void RecvUserCount();
    void RecvRoomList();
    void RecvRoomUser();
    void RecvACreateRoom();
    void RecvAEnterRoom();
    void RecvRetireUser();
    void RecvTalk();
    // Who said it, for the board's status line (CP932).
    std::string SpeakerOf(const GmTalk::Info& info) const;
    TChatSheet* FindSheet(std::int16_t room) const;
    std::string FindRoomName(std::int16_t room) const;
    void RemoveRoom(std::int16_t room);
    RoomListItem* FindRoomItem(std::int16_t room) const;
    void EnterStartRooms();

    // Window.
    TChatSheet* ActiveChatSheet() const;
    void RefreshConnectionControls();
    void FormCreate();
    void FormActivate();
    void FormDestroy();
    void OpenMenuClick();
    void CloseMenuClick();
    void ExitMenuClick();

    // Room and chat commands.
    void SendTalk(std::string_view text);
    void SendTalkTo(std::int16_t room, std::string_view text);
    void MenuPrevClick();
    void MenuNextClick();
    void MenuRoomDispClick();
    void RetireMenuClick();
    void MenuSettingClick();
    void CreateMenuClick();
    void MenuHtmlHomeClick();
    void MenuHtmlKVGAMEClick();
    void MenuHtmlReserveClick();
    void MenuHtmlHoudouClick();
    void ButtonEnterRoomClick();
    void ButtonBoardClick();
    void ButtonSendChatClick();
    void PageControl1Change();
    // Puts a member's name into the chat input at the cursor.
    void InsertMemberName(const QString& name);

    // The desktop (UnitmainDesktop.cpp): the text size and font of the logs and
    // the input, the tray icon.
    // The font of the logs and the chat input: the options' family and size at the zoom.
    QFont LogFont() const;
    void ApplyLogFont();
    // +1 larger, -1 smaller, 0 the usual size.
    void ZoomText(int direction);
    // A room's tab has been made: it takes the font and the keys of the window.
    void PrepareSheet(TChatSheet* sheet);
    // The tray icon while the desktop has a tray, and the mentions it counts:
    // those that came while the window was not the active one.
    void ApplyTray();
    void SetMentionsWaiting(int count);
    // Brings the window back from the tray or from behind others.
    void ShowFromTray();
    ZoomKeys* Zoomer = nullptr;
    TrayIcon* Tray = nullptr;
    int MentionsWaiting = 0;

    // The formation board's lines, sent into the board's own room whichever
    // tab is active; refused (BoardLineRefused) when the user is not in it.
    void SendBoardLine(int nRoom, const std::string& Text);
    // The user is in the room the board is bound to, under that number.
    bool IsBoardRoom(int nRoom) const;
    void FormBoardClose();

    // Settings.
    void LoadSettings();
    void SaveSettings();
    // Said on standard error and at the next start (UnsavedNote.h), never in a box.
    void SaveFailed(const QString& reason);
    const std::string& SettingsFileName() const { return settingsPath_; }

    // Options, log search, input history and mention notices (UnitmainFindNotice.cpp).
    void OptionMenuClick();
    void FindMenuClick();
    // Puts the options into effect (after loading them or after the dialog).
    void ApplyOptions();
    // A line from someone else that holds the user's name or an extra word.
    bool IsMention(std::int16_t clientId, std::string_view utf8Text);
    // Marks the tab and tells the user when the window is in the background.
    void NoticeMention(TChatSheet* sheet, const GmTalk::Info& info);
    OptionsRecord Options;
    MentionNotice Mentions;
    FindBar* FindBar1 = nullptr;
    LogFind* LogFinder = nullptr;
    InputHistoryFilter* ChatHistory = nullptr;
    QAction* OptionMenu = nullptr;
    QAction* FindMenu = nullptr;

    // Sets a tab's caption; the room name is shown as typed, "&" included.
    void SetSheetCaption(TChatSheet* sheet, bool unread);

    // Keeping the conversation: reconnecting, the status bar, the chat logs.
    void MenuLogFolderClick();
    // The search over every log, in a window of its own.
    void MenuLogSearchClick();
    // Shows a logged line of an open room in its tab; false when the room is not open.
    bool ShowRoomLogLine(const std::string& server, const std::string& stem, const std::string& fileName,
                         std::uint64_t offset, const QString& stamp, const QString& text, int sameAfter);
    QAction* MenuLogSearch = nullptr;
    TFormLogSearch* FormLogSearch = nullptr;
    void UpdateStatusBar();
    // The log of a room tab; null while logging is off.
    std::shared_ptr<const LogTarget> RoomLogTarget(const TChatSheet* sheet) const;
    // One line in the room's log file only (entering, leaving, a lost connection).
    void LogRoomEvent(const TChatSheet* sheet, std::string_view text);
    // A room's tab has opened: its log is restored and the entry noted.
    void OpenRoomLog(TChatSheet* sheet);

    GmProtocol Protocol;
    GmPacket& Packet = Protocol.Packet;
    FrameReceiver Receiver;
    std::int16_t ClientID = 0;
    std::string UserName;      // CP932
    TStartRoomList StartRooms;
    std::string LastPassword;  // CP932
    bool FirstActivate = true;
    std::string UrlHome;
    std::string UrlGate;
    std::string UrlReserve;
    std::string UrlHoudou;
    std::string UrlDownload;

    ClientSocket* Socket1 = nullptr;
    ConnectionKeeper* Reconnect = nullptr;
    ChatLogger* Logs = nullptr;
    std::string LogFolder;     // UTF-8 path: [Log] Folder, else the default folder of the start
    bool LogEnabled = true;    // [Log] Enabled

    // Controls of the form.
    QWidget* PanelRoomList = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QListWidget* RoomList = nullptr;
    QPushButton* ButtonEnterRoom = nullptr;
    QPushButton* ButtonBoard = nullptr;
    QSplitter* Splitter1 = nullptr;
    QWidget* PanelChatLog = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* PanelInput = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* EditInputChat = nullptr;
    QPushButton* ButtonSendChat = nullptr;
    QAction* OpenMenu = nullptr;
    QAction* CloseMenu = nullptr;
    QAction* ExitMenu = nullptr;
    QAction* MenuPrev = nullptr;
    QAction* MenuNext = nullptr;
    QAction* MenuRoomDisp = nullptr;
    QAction* RetireMenu = nullptr;
    QAction* MenuSetting = nullptr;
    QAction* CreateMenu = nullptr;
    QAction* MenuHtmlHome = nullptr;
    QAction* MenuHtmlKVGAME = nullptr;
    QAction* MenuHtmlReserve = nullptr;
    QAction* MenuHtmlHoudou = nullptr;
    QAction* MenuLogFolder = nullptr;
    QLabel* StatusText = nullptr;

signals:
    // A board line could not be sent; Why is for the board's status line.
    void BoardLineRefused(const QString& Why);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void connectHandlers();
    void setUpKeeping();
    void onConnectionLost();
    void setUpFindNotice();
    void setUpCompletion();
    void setUpDesktop();
    void selectPage(int direction);
    void onOutputOverflow();
    int roomPanelHeight() const;
    void applyOuterBounds(const QRect& outer);

    bool windowAway_ = false;   // the focus has gone to another program
    void SetWindowAway(bool away);

    std::unique_ptr<Ui::TFormMain> ui_;
    MentionMatcher mentionWords_;
    std::string mentionName_;    // the name and words mentionWords_ was built from
    std::string mentionExtra_;
    std::string defaultLogFolder_;   // UTF-8, where the logs go without [Log] Folder
    std::string settingsPath_;
    int roomPanelHeight_ = 201;
    bool settingsUnreadable_ = false;   // then the file is never written
    std::optional<QRect> wantedBounds_;   // outer bounds from the settings, until the frame is known
    bool destroyed_ = false;
    // While the window is hidden in the tray: the tray's panel may quit.
    void watchTray();
    QTimer* trayWatch_ = nullptr;
    bool quitting_ = false;   // 終了 was chosen: closing ends the program even with the tray option
};

extern TFormMain* FormMain;

// The form font: "ＭＳ Ｐゴシック", 12 pixels high.
QFont FormFont();
// Maps the form font to the installed Japanese Gothic font.
void InstallFontSubstitutions();
