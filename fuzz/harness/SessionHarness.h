#pragma once
// A whole session of the real main window: a scripted chat server on loopback
// TCP on one side, a user working the widgets with keys and the mouse on the
// other, and time that passes only when the input says so (SteppedClock.h).
// Shared by the libFuzzer target and the replay test.
//
// Input: a list of steps. Each step is one byte (its value modulo the number of
// steps picks it) followed by the bytes of its arguments; a step whose
// arguments run past the end reads zeros. Every run starts from the same
// place: connected as "fuzz" (client 7), in Lobby (room 3, with Other, client 8)
// and Team (room 4), the room list holding rooms 3, 4 and 5, options as shipped
// except that logging is off. The server answers as a chat server does (a login,
// entering and leaving rooms, echoing talk); the server steps add what other
// people and a hostile or failing server do. After every step the window's
// events and the socket run until nothing moves, and the state is checked.
//
// The top four step bytes work the logs: a room opened with logging on over a
// prepared logs folder (three months of lines, a day change, damaged lines),
// whose history the scroll steps page in, and the search over every log.
// History pages and searches are read on threads; a step ends only once they
// have delivered, so a replay does what the run did.
//
// Needs a QApplication on the offscreen platform and SteppedClock.h in the same
// executable. Error boxes, opened links and desktop notices are counted, never
// shown; every dialog is handled as the step that opened it says, or cancelled.

#include "AmbiguousKeys.h"
#include "HeldScreen.h"
#include "ReceiveHarness.h"
#include "SteppedClock.h"

#include "ChatLogFiles.h"
#include "ChatLogView.h"
#include "ConnectionKeeper.h"
#include "ChatLogger.h"
#include "DesktopNotice.h"
#include "FindBar.h"
#include "FormationFile.h"
#include "InputHistoryFilter.h"
#include "LogFind.h"
#include "LogSearchResults.h"
#include "RecordField.h"
#include "ShellOpen.h"
#include "SjisText.h"
#include "TextSearch.h"
#include "Unitboardname.h"
#include "Unitcreate.h"
#include "Unitlogin.h"
#include "Unitlogsearch.h"
#include "Unitoption.h"
#include "TrayIcon.h"
#include "Unitpassword.h"
#include "Unitsetting.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDate>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QInputMethodEvent>
#include <QListWidget>
#include <QPalette>
#include <QScopeGuard>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QStatusBar>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>
#include <QWheelEvent>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <optional>
#include <fstream>
#include <functional>
#include <string_view>
#include <thread>
#include <tuple>
#include <utility>

namespace kvfuzz {

// The input, read a byte at a time; past the end it reads zeros.
class StepReader {
public:
    StepReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool AtEnd() const { return pos_ >= size_; }
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint8_t Peek() const { return pos_ < size_ ? data_[pos_] : 0; }
    // Up to n bytes as they stand (fewer at the end).
    std::string_view Bytes(std::size_t n)
    {
        n = std::min(n, size_ - std::min(pos_, size_));
        const std::string_view bytes(reinterpret_cast<const char*>(data_) + pos_, n);
        pos_ += n;
        return bytes;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// The far end of the connection: listens on loopback, keeps the newest
// connection, answers the client's requests and sends what the steps give it.
class ScriptedServer {
public:
    static constexpr std::int16_t UserId = 7;
    static constexpr std::int16_t OtherId = 8;
    static constexpr std::int16_t CreatedRoom = 10;
    int RoomsMade = 0;

    ScriptedServer()
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&address), length) != 0
            || ::listen(listen_, 16) != 0 || ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            std::abort();
        Port = ntohs(address.sin_port);
    }
    ~ScriptedServer()
    {
        Hangup();
        ::close(listen_);
    }
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int Port = 0;

    // Takes new connections and what the client sent; true when anything happened.
    bool Serve()
    {
        bool moved = false;
        for (int fd; (fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
            Hangup();   // an older connection is given up, as the client has
            conn_ = fd;
            const int one = 1;
            ::setsockopt(conn_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            moved = true;
        }
        std::array<std::uint8_t, 4096> buffer;
        while (conn_ >= 0) {
            const ssize_t got = ::recv(conn_, buffer.data(), buffer.size(), 0);
            if (got > 0) {
                fromClient_.Release(buffer.data(), static_cast<std::size_t>(got));
                moved = true;
                continue;
            }
            if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                Hangup();
                moved = true;
            }
            break;
        }
        for (;;) {
            const ReceiveResult result = frames_.ReadOne(fromClient_, in_.Packet);
            if (result == ReceiveResult::Frame)
                Answer();
            else if (result != ReceiveResult::Dropped)
                break;
        }
        return moved;
    }

    // Whether bytes are on their way between the server and the client's
    // socket clientFd (written by one, not yet arrived at the other). On a busy
    // machine loopback delivery can lag the write; this waits a little for it.
    bool InFlight(int clientFd) const
    {
        if (conn_ < 0 || clientFd < 0 || !Peers(clientFd))
            return false;
        // Each side's acknowledged count includes its SYN.
        const bool toClient = Written(conn_) > Received(clientFd) + 1;
        const bool toServer = Written(clientFd) > Received(conn_) + 1;
        if (!toClient && !toServer)
            return false;
        pollfd arriving{toClient ? clientFd : conn_, POLLIN, 0};
        ::poll(&arriving, 1, 20);
        return true;
    }

    void Hangup()
    {
        if (conn_ >= 0)
            ::close(conn_);
        conn_ = -1;
        fromClient_.Drop();
        frames_.Reset();
    }
    bool Connected() const { return conn_ >= 0; }
    // Nothing of the client's is half read.
    bool Idle() { return fromClient_.ReceiveLength() == 0 && frames_.PendingLength == 0; }

    void Send(std::string_view bytes)
    {
        while (conn_ >= 0 && !bytes.empty()) {
            const ssize_t sent = ::send(conn_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent > 0)
                bytes.remove_prefix(static_cast<std::size_t>(sent));
            else if (sent < 0 && errno != EINTR)
                return;   // a full socket: the rest is lost, as from a server that gives up
        }
    }
    void SendPacket() { Send(std::string_view(reinterpret_cast<const char*>(out_.Packet.Data()), std::size_t(out_.Packet.GetLength()))); }

    void Talk(std::int16_t room, std::int16_t clientId, std::string_view name, std::string_view text, std::uint8_t style = 0)
    {
        GmTalk::Info info;
        info.room = room;
        info.clientID = clientId;
        CopyToField(info.name, name, MaxUserNameBytes);
        CopyToField(info.text, text, MaxTalkBytes);
        info.style = style;
        out_.Talk.Encode(info);
        SendPacket();
    }
    void RoomUser(std::int16_t room, bool withUser, bool withOther, std::uint8_t flag = 0)
    {
        static GmRoomUser::Info info;
        info = {};
        info.room = room;
        if (withUser)
            info.members[info.count++] = {UserId, "fuzz", flag};
        if (withOther)
            info.members[info.count++] = {OtherId, "Other", static_cast<std::uint8_t>(flag ^ 1)};
        out_.RoomUser.Encode(info);
        SendPacket();
    }
    void RetireUser(std::int16_t room, std::int16_t clientId)
    {
        out_.RetireUser.Encode({room, clientId});
        SendPacket();
    }
    // The rooms every session starts with: Lobby (3), Team (4, password) and 待合室 (5).
    void StandardRoomList()
    {
        static GmRoomList::Info info;
        info = {};
        info.count = 3;
        info.rooms[0] = {3, 0, "Lobby", false};
        info.rooms[1] = {4, 0, "Team", true};
        info.rooms[2] = {5, 0, "\x91\xd2\x8d\x87\x8e\xba", false};
        out_.RoomList.Encode(info);
        SendPacket();
    }
    // Every room number the steps can list, taken off the list.
    void ForgetRooms()
    {
        static GmRoomList::Info info;
        info = {};
        for (std::int16_t room = 0; room <= MaxRoomNo && room < MaxRoomEntries; ++room)
            info.rooms[info.count++] = {room, 0, "", false};
        RoomList(info);
    }
    void RoomList(const GmRoomList::Info& info)
    {
        out_.RoomList.Encode(info);
        SendPacket();
    }
    void Login()
    {
        GmAReady::Info ready;
        ready.clientID = UserId;
        out_.AReady.Encode(ready);
        SendPacket();
    }
    GmProtocol& Out() { return out_; }

private:
    // What a chat server does with the client's requests.
    void Answer()
    {
        switch (in_.Packet.Type()) {
        case GmTypeReady:
            Login();
            break;
        case GmTypeConnect: {
            out_.AConnect.Encode({});
            SendPacket();
            StandardRoomList();
            out_.UserCount.Encode({25});
            SendPacket();
            break;
        }
        case GmTypeEnterRoom: {
            GmEnterRoom::Info info;
            if (!in_.EnterRoom.Decode(info))
                break;
            std::int16_t room = info.room;
            if (room == 0)
                room = std::string_view(info.name) == "Team" ? 4 : std::string_view(info.name) == "Lobby" ? 3 : 5;
            RoomUser(room, true, room == 3);
            break;
        }
        case GmTypeRetire: {
            GmRetire::Info info;
            if (in_.Retire.Decode(info))
                RetireUser(info.room, UserId);
            break;
        }
        case GmTypeTalk: {
            GmTalk::Info info;
            if (in_.Talk.Decode(info))
                Talk(info.room, UserId, "fuzz", info.text, info.style);
            break;
        }
        case GmTypeCreateRoom: {
            // A named room is made (always as room 10) and its maker put in it.
            GmCreateRoom::Info info;
            if (!in_.CreateRoom.Decode(info))
                break;
            const bool made = info.name[0] != '\0';
            out_.ACreateRoom.Encode({static_cast<std::uint8_t>(made ? 0 : 1)});
            SendPacket();
            if (!made)
                break;
            static GmRoomList::Info list;
            list = {};
            list.count = 1;
            list.rooms[0] = {CreatedRoom, 0, {}, info.password[0] != '\0'};
            CopyToField(list.rooms[0].name, info.name, MaxRoomNameBytes);
            RoomList(list);
            RoomUser(CreatedRoom, true, false);
            ++RoomsMade;
            break;
        }
        default:
            break;
        }
    }

    static tcp_info Info(int fd)
    {
        tcp_info info{};
        socklen_t length = sizeof info;
        ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length);
        return info;
    }
    // Everything the application wrote: acknowledged, or still in the send queue.
    static std::uint64_t Written(int fd)
    {
        int queued = 0;
        ::ioctl(fd, SIOCOUTQ, &queued);
        return Info(fd).tcpi_bytes_acked + static_cast<std::uint64_t>(queued);
    }
    static std::uint64_t Received(int fd) { return Info(fd).tcpi_bytes_received; }
    bool Peers(int clientFd) const
    {
        sockaddr_in client{}, peer{};
        socklen_t a = sizeof client, b = sizeof peer;
        return ::getsockname(clientFd, reinterpret_cast<sockaddr*>(&client), &a) == 0
               && ::getpeername(conn_, reinterpret_cast<sockaddr*>(&peer), &b) == 0 && client.sin_port == peer.sin_port;
    }

    int listen_ = -1;
    int conn_ = -1;
    StreamSource fromClient_;
    FrameReceiver frames_;
    GmProtocol in_;
    GmProtocol out_;
};

class SessionHarness {
public:
    // Lines a room keeps during a session: a flood of a few dozen lines drops
    // the oldest, through the same code as ten thousand would.
    static constexpr std::size_t RoomLineLimit = 40;

    explicit SessionHarness(const QString& folder) : folder_(folder)
    {
        TChatSheet::LineLimit = RoomLineLimit;
        trayBefore_ = std::exchange(TrayIcon::AvailableForTests, true);   // the tray's steps need one, as a desktop with a panel has
        SetBoxInterceptor([this](const QString&, const QString&) { ++Boxes; });
        SetShellOpenInterceptor([this](const QString&) { ++LinksOpened; });
        SetNotificationInterceptor([this](const QString&, const QString&) { ++Notices; });
        if (!clock::held)
            clock::Hold();
        dialogs_.WhileOpen = [this] { ServeWhileDialogOpen(); };
        QCoreApplication::instance()->installEventFilter(&dialogs_);
        QCoreApplication::instance()->installEventFilter(&screen_);
        window_ = CreateApplicationWindows((folder + QStringLiteral("/kvchat.INI")).toStdString());
        TFormMain& w = *window_;
        w.FirstActivate = false;
        w.Socket1->Address = "127.0.0.1";
        w.Socket1->Port = server_.Port;
        w.resize(640, 480);
        // Shown without a window of the platform, and painted only when a step
        // lets time pass (HeldScreen); widgets, focus and shortcuts work as on screen.
        w.setAttribute(Qt::WA_DontShowOnScreen);
        for (QWidget* other : w.findChildren<QWidget*>())
            if (other->isWindow())
                other->setAttribute(Qt::WA_DontShowOnScreen);
        w.show();
        QApplication::setActiveWindow(&w);
        Pump();
    }
    ~SessionHarness()
    {
        QCoreApplication::instance()->removeEventFilter(&screen_);
        QCoreApplication::instance()->removeEventFilter(&dialogs_);
        window_.reset();
        ForgetApplicationWindows();
        SetNotificationInterceptor({});
        SetShellOpenInterceptor({});
        SetBoxInterceptor({});
        TChatSheet::LineLimit = LineStore::Capacity;
        TrayIcon::AvailableForTests = trayBefore_;
        QApplication::setPalette(lightPalette_);
        QApplication::setQuitOnLastWindowClosed(quitOnLastWindowClosed_);
    }
    SessionHarness(const SessionHarness&) = delete;
    SessionHarness& operator=(const SessionHarness&) = delete;

    TFormMain* Window() const { return window_.get(); }
    int DialogsShown() const { return dialogs_.Shown; }
    int RoomsMade() const { return server_.RoomsMade; }

    // Returns an empty string when every step left the window in a sound state.
    std::string Run(const std::uint8_t* data, std::size_t size)
    {
        // What a check that failed first left behind belongs to the input before.
        static_cast<void>(ambiguousKeys_.Take());
        stepFailure_.clear();
        findStepped_ = disconnectStepped_ = searchStepped_ = false;
        if (std::string failure = Begin(); !failure.empty())
            return failure;
        if (!stalled_.empty())
            return "starting after the input before: " + std::exchange(stalled_, {});
        StepReader in(data, size);
        reader_ = &in;
        const auto forget = qScopeGuard([this] { reader_ = nullptr; });
        while (!in.AtEnd()) {
            Step(in);
            Pump();
            if (std::string failure = Check(); !failure.empty())
                return failure;
        }
        return {};
    }

    // Inputs that began on the connection the input before left standing.
    int Reused = 0;

    // What a user sees at the end of a run: the title, the rooms listed, each
    // tab with its lines and members, the input line and the board's markers.
    std::string Outcome() const
    {
        const TFormMain& w = *window_;
        std::string out = w.windowTitle().toStdString() + "\n";
        for (int i = 0; i < w.RoomList->count(); ++i)
            out += "list " + w.RoomList->item(i)->text().toStdString() + "\n";
        for (int i = 0; i < w.PageControl1->count(); ++i) {
            const auto* sheet = static_cast<const TChatSheet*>(w.PageControl1->widget(i));
            out += "tab " + w.PageControl1->tabText(i).toStdString() + (i == w.PageControl1->currentIndex() ? " *\n" : "\n");
            if (const int history = sheet->ChatLog->HistoryLines(); history > 0)
                out += "history " + std::to_string(history) + "\n";
            for (std::size_t line = 0; line < sheet->Lines.Size(); ++line) {
                const StoredLine stored = sheet->Lines.At(line);
                std::string text(stored.text);
                // A restored line the input logged itself carries the clock's time of that run.
                if ((stored.flags & LineGrey) == LineRestored && text.size() > 19 && text[10] == ' ' && text[13] == ':')
                    text.replace(11, 8, "hh:mm:ss");
                out += std::to_string(stored.flags) + " " + text + "\n";
            }
            for (const std::string& member : sheet->MemberNames())
                out += "member " + member + "\n";
        }
        out += "input " + w.EditInputChat->text().toStdString() + "\n";
        if (const TFormLogSearch* search = w.FormLogSearch; search != nullptr && search->isVisible()) {
            // A search cancelled while it ran found what its thread had read by then.
            const bool cancelled = search->LabelStatus->text().startsWith(QStringLiteral("中止"));
            out += "search " + (cancelled ? std::string("cancelled") : search->LabelStatus->text().toStdString()) + "\n";
            if (!cancelled && search->Results()->rowCount() > 0) {
                std::string first = search->Results()->CopyText(0).toStdString();
                if (first.size() > 19)
                    first.replace(11, 8, "hh:mm:ss");   // as above
                out += "first " + first + "\n";
            }
        }
        for (int i = 0; i < CharItemCount; ++i)
            out += std::to_string(CharItems[i].CenterX()) + "," + std::to_string(CharItems[i].CenterY()) + " ";
        return out;
    }

    // Step bytes that pick their step modulo the count: a step added at the
    // end changes what they pick.
    int WrappedStepBytes = 0;
    int ComposedOverSelection = 0;   // input-method steps that began with text selected
    int Boxes = 0;
    int LinksOpened = 0;
    int Notices = 0;
    int Steps = 0;

private:
    using Plan = std::function<void(QDialog&)>;

    // Handles the next dialog that shows as planned, then cancels whatever is
    // still open; a dialog nobody planned for is cancelled, as with Esc.
    class DialogHand : public QObject {
    public:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() != QEvent::Show)
                return false;
            auto* dialog = qobject_cast<QDialog*>(watched);
            if (dialog == nullptr)
                return false;
            ++Shown;
            Plan plan = std::move(Next);
            Next = nullptr;
            QPointer<QDialog> guard(dialog);
            QMetaObject::invokeMethod(
                dialog,
                [this, guard, plan] {
                    // Frames arrive while a box is open, as they do while a user reads it.
                    if (guard && guard->isModal() && WhileOpen)
                        WhileOpen();
                    if (guard && guard->isVisible() && plan)
                        plan(*guard);
                    if (guard && guard->isVisible())
                        guard->reject();
                },
                Qt::QueuedConnection);
            return false;
        }
        Plan Next;
        std::function<void()> WhileOpen;
        int Shown = 0;
    };

    static void Click(QWidget* widget)
    {
        if (widget != nullptr && widget->isVisible() && widget->isEnabled())
            QTest::mouseClick(widget, Qt::LeftButton);
    }
    // A double click's first click, then the second: QTest's double click alone
    // is only the second, which a list takes for a click on a row not pressed.
    static void DoubleClick(QWidget* widget, QPoint at)
    {
        QTest::mouseClick(widget, Qt::LeftButton, {}, at);
        QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
    }
    // The menu opened at a place and its entry clicked, as a user picks it.
    static void ClickMenuEntry(QMenu& menu, QPoint at, int entry)
    {
        menu.popup(at);
        QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(menu.actions().at(entry)).center());
        if (menu.isVisible())
            menu.close();
    }
    // A click on the tray icon, as the desktop's panel reports it.
    static void ClickTrayIcon(TFormMain& w)
    {
        if (auto* icon = w.Tray != nullptr ? w.Tray->findChild<QSystemTrayIcon*>() : nullptr)
            emit icon->activated(QSystemTrayIcon::Trigger);
    }
    static void ClickButton(QDialog& dialog, const char* name)
    {
        Click(dialog.findChild<QPushButton*>(QLatin1String(name)));
    }
    // ASCII is typed key by key; anything else arrives as an input method
    // commits it, one run of characters at a time.
    static void Type(QWidget* widget, const QString& text)
    {
        for (qsizetype i = 0; i < text.size();) {
            if (text[i].unicode() < 0x80) {
                QTest::keyClick(widget, text[i].toLatin1());
                ++i;
                continue;
            }
            qsizetype end = i;
            while (end < text.size() && text[end].unicode() >= 0x80)
                ++end;
            QInputMethodEvent commit;
            commit.setCommitString(text.mid(i, end - i));
            QApplication::sendEvent(widget, &commit);
            i = end;
        }
    }
    static void Retype(QLineEdit* edit, const QString& text)
    {
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Backspace);
        Type(edit, text);
    }

    // Events and the socket run until neither has anything left to do.
    void Pump()
    {
        TFormMain& w = *window_;
        int quiet = 0;
        int lastTaken = -1;
        int waits = 0;   // for bytes in flight: a closing connection's FIN also counts as such
        std::int64_t readingSince = -1;
        int round = 0;
        for (; round < MaxPumpRounds && quiet < 2; ++round) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            bool moved = server_.Serve();
            // Bytes the kernel holds for the client are always read; bytes the
            // client took and left (the start of a frame) wait for more.
            int kernel = 0;
            if (const int fd = w.Socket1->Descriptor(); fd >= 0)
                ::ioctl(fd, FIONREAD, &kernel);
            const int taken = w.Socket1->ReceiveLength();
            moved = moved || kernel > 0 || taken != lastTaken || w.Socket1->Connecting();
            if (!moved && waits < 5 && server_.InFlight(w.Socket1->Descriptor()))
                moved = ++waits > 0;
            if (const char* reading = ThreadReading()) {
                // What a thread reads belongs to this step: the step ends once it is delivered.
                if (!moved) {
                    if (readingSince < 0)
                        readingSince = RealMilliseconds();
                    if (RealMilliseconds() - readingSince > ReadingLimitMs) {
                        stalled_ = std::string(reading) + " was still on its way "
                                   + std::to_string(ReadingLimitMs / 1000) + " s after the step";
                        break;
                    }
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
                    --round;
                }
                moved = true;
            }
            lastTaken = taken;
            quiet = moved ? 0 : quiet + 1;
        }
        // A session that never settles (events that post themselves again, a
        // connection that keeps moving) is a hang, not the end of a step.
        if (round >= MaxPumpRounds && quiet < 2 && stalled_.empty())
            stalled_ = "events and the connection still moved after " + std::to_string(MaxPumpRounds) + " rounds";
    }
    static constexpr int MaxPumpRounds = 2000;

    // A history page read for a tab, or a search over the logs, not yet delivered.
    const char* ThreadReading() const
    {
        const TFormMain& w = *window_;
        if (w.FormLogSearch != nullptr && w.FormLogSearch->Searching())
            return "a search over the logs";
        for (int i = 0; i < w.PageControl1->count(); ++i) {
            const ChatLogView* log = static_cast<const TChatSheet*>(w.PageControl1->widget(i))->ChatLog;
            if (log->HistoryLoading() || log->HistoryReading())
                return "a page of history";
        }
        return nullptr;
    }
    static constexpr std::int64_t ReadingLimitMs = 5000;
    static std::int64_t RealMilliseconds()
    {
        timespec now{};
        clock::Real()(CLOCK_MONOTONIC, &now);
        return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    }

    // The main window gets the keys again, as after a click on it.
    void Activate()
    {
        if (QApplication::activeModalWidget() == nullptr && QApplication::activeWindow() != window_.get())
            QApplication::setActiveWindow(window_.get());
    }
    // A click into the chat input, then the text typed there.
    void TypeInChat(const QString& text)
    {
        ClickInto(window_->EditInputChat);
        Type(window_->EditInputChat, text);
    }
    // A click into a field of the main window, which gives it the keys.
    void ClickInto(QWidget* field)
    {
        Activate();
        QTest::mouseClick(field, Qt::LeftButton);
    }
    // An entry of the window's menus, picked as a user does: a click on the
    // menu's title in the menu bar, then on the entry (a disabled one does nothing).
    void ChooseFromMenuBar(QAction* entry)
    {
        QMenuBar* bar = window_->menuBar();
        Activate();
        for (QAction* title : bar->actions()) {
            QMenu* menu = title->menu();
            if (menu == nullptr || !menu->actions().contains(entry))
                continue;
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(title).center());
            if (menu->isVisible() && entry->isVisible())
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
            if (menu->isVisible())
                menu->close();
            return;
        }
        stepFailure_ = "the menu bar has no menu with the entry " + entry->text().toStdString();
    }
    // When the step after the one that opened a dialog is the server's, its
    // frames arrive while the dialog is open, before the user answers it.
    void ServeWhileDialogOpen()
    {
        if (reader_ == nullptr || reader_->AtEnd())
            return;
        const std::uint8_t pick = reader_->Peek();
        if (pick >= TopStepByte || pick % StepKinds > ServerLogin)
            return;
        Step(*reader_);
        Pump();
    }
    QWidget* Focus() const
    {
        QWidget* focus = QApplication::focusWidget();
        return focus != nullptr && focus->window() == window_.get() ? focus : window_.get();
    }
    void Key(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        Activate();
        QTest::keyClick(target, key, modifiers);
    }

    std::string Begin()
    {
        TFormMain& w = *window_;
        if (FormBoard->isVisible())
            FormBoard->close();
        // Held-back board lines go now, and the next showing starts the board
        // afresh (no undo into the input before), as for a board of another room.
        FormBoard->SendPendingLines();
        FormBoard->SetFocusItem(-1);
        FormBoard->nRoomNo = -1;
        QGuiApplication::clipboard()->clear();
        // The next search starts in a new window: no query, results or choices of the input before.
        delete std::exchange(w.FormLogSearch, nullptr);
        if (!w.FindBar1->isHidden())
            Click(w.FindBar1->ButtonClose);
        w.FindBar1->EditFind->clear();
        logRoomSteps_ = logSearchSteps_ = 0;
        // Windows that an input leaves behind pile up over a run and slow every
        // event that walks them (the formation menu's submenus once did, three an
        // opening): a finding, where it would only look like a slow run.
        if (const qsizetype windows = QApplication::topLevelWidgets().size(); windows > MaxWindows)
            return "windows pile up from input to input: " + std::to_string(windows)
                   + " top-level widgets (made by the inputs before this one: replay the run's corpus in one process)";
        const bool reuse = Standing();
        if (reuse) {
            // The rooms go and come back through the server's own messages, so
            // each starts as new; only the socket and its login are kept.
            ++Reused;
            for (int i = w.PageControl1->count() - 1; i >= 0; --i)
                server_.RetireUser(static_cast<const TChatSheet*>(w.PageControl1->widget(i))->RoomNo,
                                   ScriptedServer::UserId);
            server_.ForgetRooms();
            Pump();
            w.Reconnect->Stop();   // as the user's own connect would: the waits start from the first
        } else {
            w.CloseMenuClick();
            server_.Hangup();
            Pump();
        }
        if (loggedTo_) {
            // Lines still waiting to be written go now, before their folder does,
            // or they would land in the next input's logs.
            static_cast<void>(w.Logs->Tail(LogTarget{}, 0));
            logsPrepared_ = false;
            QDir(folder_ + QStringLiteral("/logs")).removeRecursively();
            QDir(folder_ + QStringLiteral("/other-logs")).removeRecursively();
            loggedTo_ = false;
        }
        OptionsRecord options;
        options.LogEnabled = false;
        w.Options = options;
        w.ApplyOptions();
        w.UserName = "fuzz";
        w.LastPassword.clear();
        w.StartRooms = TStartRoomList{};
        AddStartRoom(w.StartRooms, "Lobby", "");
        AddStartRoom(w.StartRooms, "Team", "secret");
        // No kept formations: a formation kept by the input before would be one more menu entry.
        if (FormBoard->Formations() != nullptr && !FormBoard->Formations()->Formations().empty()) {
            const std::string formations = FormationFilePath((folder_ + QStringLiteral("/kvchat.INI")).toStdString());
            std::remove(formations.c_str());
            FormBoard->UseFormationFile(formations);
        }
        ResetCharItems(CharItems, std::max(1, FormBoard->GroundPicture.width()),
                       std::max(1, FormBoard->GroundPicture.height()));
        w.EditInputChat->clear();
        w.ChatHistory->Clear();   // Up must not bring back a line of the input before
        if (std::exchange(themeChanged_, false))
            QApplication::setPalette(lightPalette_);
        if (!w.isVisible())
            w.ShowFromTray();
        w.resize(640, 480);
        if (w.PanelRoomList->isHidden())
            w.MenuRoomDisp->trigger();
        QApplication::setActiveWindow(&w);
        // The first refresh of this input paints every window whole.
        screen_.DirtyAll();
        if (reuse) {
            // A new login on the same connection, as the server step does.
            server_.Login();
        } else {
            // Connected as after the connect dialog; the steps use the dialog itself.
            w.Socket1->Open();
            w.RefreshConnectionControls();
        }
        Pump();
        if (w.PageControl1->count() != 2 || w.RoomList->count() != 3)
            return std::string("a session did not start in its two rooms") + (reuse ? " on the kept connection" : "");
        return {};
    }

    // The connection is up, logged in, with nothing half sent or half read and
    // no attempt of the keeper's pending: a new login on it starts a session
    // that cannot tell it from a new connection.
    bool Standing()
    {
        const TFormMain& w = *window_;
        int kernel = 0;
        if (const int fd = w.Socket1->Descriptor(); fd >= 0)
            ::ioctl(fd, FIONREAD, &kernel);
        return w.Socket1->Active() && server_.Connected() && server_.Idle() && w.ClientID == ScriptedServer::UserId
               && !w.Reconnect->Retrying() && w.Socket1->QueuedOutput() == 0 && w.Socket1->ReceiveLength() == 0
               && kernel == 0 && w.Receiver.PendingLength == 0 && QApplication::activeModalWidget() == nullptr;
    }

    std::string Check()
    {
        const TFormMain& w = *window_;
        if (!stalled_.empty())
            return std::exchange(stalled_, {});
        if (!stepFailure_.empty())
            return std::exchange(stepFailure_, {});
        if (std::string ambiguous = ambiguousKeys_.Take(); !ambiguous.empty())
            return "two shortcuts took a key the user pressed, so it did nothing: " + ambiguous;
        if (std::exchange(disconnectStepped_, false)
            && (window_->PageControl1->count() != 0 || window_->RoomList->count() != 0))
            return "disconnecting left rooms behind";
        if (std::exchange(findStepped_, false)) {
            if (std::string failure = CheckFoundSelection(); !failure.empty())
                return failure;
        }
        if (std::string failure = CheckWindowState(w); !failure.empty())
            return failure;
        if (std::string failure = CheckDesktop(w); !failure.empty())
            return failure;
        for (int i = 0; i < w.PageControl1->count(); ++i) {
            // The log on screen shows no more of the room's lines than the room
            // keeps: a line dropped from the store goes from the log too.
            const auto* sheet = static_cast<const TChatSheet*>(w.PageControl1->widget(i));
            if (sheet->Lines.Size() > sheet->Lines.Limit())
                return "a room keeps more lines than its limit";
            const ChatLogView* log = sheet->ChatLog;
            if (log->OnScreen()
                && log->document()->blockCount() - log->HistoryLines() > std::max<int>(1, int(sheet->Lines.Size())))
                return "a room's log shows " + std::to_string(log->document()->blockCount() - log->HistoryLines())
                       + " lines where the room keeps " + std::to_string(sheet->Lines.Size());
        }
        const LogFind& find = *w.LogFinder;
        if (find.MatchCount() == 0 ? find.Current() != -1 : find.Current() < -1 || find.Current() >= find.MatchCount())
            return "the current match lies outside the matches";
        if (logsPrepared_) {
            if (std::string failure = CheckLogOrder(); !failure.empty())
                return failure;
        }
        if (std::exchange(searchStepped_, false)) {
            if (std::string failure = CheckSearchResults(); !failure.empty())
                return failure;
        }
        return {};
    }

    // The prepared logs' lines the tab on screen shows, history and restored,
    // stand in the order they were logged, none twice.
    // They stand in the history and, below it, among the restored lines, which
    // all carry a date: the walk ends at the first other line after the
    // history. A document not edited since the last check is not walked again.
    std::string CheckLogOrder()
    {
        const ChatLogView* log = ActiveLog();
        if (log == nullptr || !log->OnScreen())
            return {};
        const QTextDocument* doc = log->document();
        const std::tuple<const QTextDocument*, int, int, int> seen(doc, doc->revision(), doc->blockCount(),
                                                                    doc->characterCount());
        if (std::exchange(orderChecked_, seen) == seen)
            return {};
        static const QString mark = QStringLiteral(" Other> history ");
        constexpr int StampLength = 19;
        QString previous;
        int number = 0;
        for (QTextBlock block = doc->begin(); block.isValid(); block = block.next(), ++number) {
            const QString text = block.text();
            if (number >= log->HistoryLines()
                && (text.size() <= StampLength || text[4] != QLatin1Char('-') || text[13] != QLatin1Char(':')))
                break;
            if (text.size() <= StampLength || !QStringView(text).mid(StampLength).startsWith(mark))
                continue;
            const QString stamp = text.left(StampLength);
            if (stamp <= previous)
                return "the log shows the line logged at " + stamp.toStdString() + " after the one of "
                       + previous.toStdString() + (log->HistoryLines() > 0 ? " (with history)" : "");
            previous = stamp;
        }
        return {};
    }

    // A search that ended lists its hits newest first, and every line it found
    // when they are fewer than the rows it keeps.
    std::string CheckSearchResults() const
    {
        const TFormLogSearch* search = window_->FormLogSearch;
        if (search == nullptr || search->Searching())
            return {};
        const LogSearchResults& results = *search->Results();
        for (int row = 1; row < results.rowCount(); ++row)
            if (results.Hit(row - 1).Key < results.Hit(row).Key)
                return "the search lists " + results.CopyText(row).toStdString() + " below an older hit";
        const QString status = search->LabelStatus->text();
        if (!status.endsWith(QStringLiteral("件見つかりました")))
            return {};
        QString digits;
        for (const QChar c : status)
            if (c.isDigit())
                digits += c;
        if (digits.toInt() != results.rowCount())
            return "the search says \"" + status.toStdString() + "\" and lists " + std::to_string(results.rowCount());
        return {};
    }

    // After a find step the log selects the current match, and what it selects
    // is the text looked for.
    std::string CheckFoundSelection() const
    {
        const TFormMain& w = *window_;
        const ChatLogView* log = ActiveLog();
        if (w.FindBar1->isHidden() || log == nullptr || !log->OnScreen() || w.LogFinder->Current() < 0)
            return {};
        const std::string selected = log->textCursor().selectedText().toStdString();
        if (FoldForMatch(selected) != FoldForMatch(w.FindBar1->Text().toStdString()))
            return "the log selects \"" + selected + "\" for the match of \"" + w.FindBar1->Text().toStdString() + "\"";
        return {};
    }

    // The texts people say: plain, Japanese, links, the user's name, look-alike
    // characters, line breaks, a cut double-byte character, board lines.
    static std::string_view Said(std::uint8_t pick)
    {
        static constexpr std::string_view texts[] = {
            "abc abc",
            "hello",
            "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd",   // こんにちは
            "see http://example.com/a and https://x.jp/b?c=d",
            "fuzz, are you there?",
            "\x81\x60\x81\x7c\x81\x5c\x81\x61 wave",        // ～－―∥
            "line\rbreak\nhere",
            "cut \x82",
            "wwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwww",
            "*!B!*A5050B1020",
            "*!N!*AKeeper B\x83\x65\x83\x58 ",
            "\x82\x60\x82\x61 full width",                   // ＡＢ
            "<b>&amp;</b> http://a.b/<i>",
            "",
        };
        return texts[pick % std::size(texts)];
    }
    static QString Typed(std::uint8_t pick)
    {
        static const QString texts[] = {
            QStringLiteral("a"),   QStringLiteral("abc"),  QStringLiteral("http"), QStringLiteral("こ"),
            QStringLiteral("w"),   QStringLiteral("Ａ"),   QStringLiteral("〜"),   QStringLiteral("fuzz"),
            QStringLiteral("flood"), QStringLiteral("x"),  QStringLiteral("https://k.jp/ z"),
            QStringLiteral("*!B!*A0000"),
        };
        return texts[pick % std::size(texts)];
    }
    // The chat input holds only what can be sent; the text size reaches the
    // input and every log, also of tabs made since.
    std::string CheckDesktop(const TFormMain& w)
    {
        if (const int bytes = SjisByteLength(w.EditInputChat->text()); bytes < 0 || bytes > MaxTalkBytes)
            return "the chat input holds what it cannot send";
        const int pixels = w.LogFont().pixelSize();
        if (w.EditInputChat->font().pixelSize() != pixels)
            return "the chat input is not at the text size";
        for (int i = 0; i < w.PageControl1->count(); ++i) {
            if (static_cast<const TChatSheet*>(w.PageControl1->widget(i))->ChatLog->font().pixelSize() != pixels)
                return "a log is not at the text size";
        }
        return {};
    }
    static QPalette DarkPalette()
    {
        QPalette dark(QColor(0x35, 0x35, 0x35));
        dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
        dark.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
        dark.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
        return dark;
    }
    static std::int16_t RoomOf(std::uint8_t pick)
    {
        static constexpr std::int16_t rooms[] = {3, 4, 5, 6, MaxRoomNo, 3, 4, 0};
        return rooms[pick % std::size(rooms)];
    }

    ChatLogView* ActiveLog() const
    {
        TChatSheet* sheet = window_->ActiveChatSheet();
        return sheet != nullptr ? sheet->ChatLog : nullptr;
    }

    enum StepKind : std::uint8_t {
        ServerTalk, ServerFlood, ServerRoomList, ServerRoomUser, ServerRetire, ServerBoardLine, ServerRefusal,
        ServerClose, ServerBytes, ServerHangup, ServerLogin,
        UserTab, UserFindOpen, UserFindType, UserFindStep, UserFindClose, UserScroll, UserSay, UserHistory,
        UserClickLog, UserLeave, UserEnter, UserBoard, UserBoardDrag, UserBoardRename, UserBoardButton,
        UserOptions, UserDisconnect, UserConnect, UserResize, TimePasses,
        UserCreateRoom, UserStartRooms, UserFocus, UserBoardKey, UserFormation, UserDesktop, UserBoardPicture,
        StepKinds,
        // Picked by the top bytes alone (TopStepByte and up), which fold onto the
        // first server steps no more: the bytes below keep the steps they had.
        UserLogRoom = StepKinds, UserLogSearch, UserLogResults, UserLogClose,
        AllStepKinds
    };
    static constexpr std::uint8_t TopStepByte = 252;
    static_assert(TopStepByte + (AllStepKinds - StepKinds) == 256);

    static bool OnMainWindow(StepKind kind)
    {
        switch (kind) {
        case UserTab: case UserFindOpen: case UserFindType: case UserFindStep: case UserFindClose: case UserScroll:
        case UserSay: case UserHistory: case UserClickLog: case UserLeave: case UserEnter: case UserBoard:
        case UserOptions: case UserDisconnect: case UserConnect: case UserResize: case UserCreateRoom:
        case UserStartRooms: case UserLogRoom: case UserLogSearch:
            return true;
        default:
            return false;
        }
    }

    void Step(StepReader& in)
    {
        ++Steps;
        TFormMain& w = *window_;
        const std::uint8_t pick = in.Byte();
        if (pick < TopStepByte && pick >= StepKinds)
            ++WrappedStepBytes;
        const auto kind = static_cast<StepKind>(pick >= TopStepByte ? StepKinds + (pick - TopStepByte) : pick % StepKinds);
        // A user acts on the window only once it is back from the tray.
        if (OnMainWindow(kind) && w.isHidden())
            ClickTrayIcon(w);
        switch (kind) {
        case ServerTalk: {
            const std::int16_t room = RoomOf(in.Byte());
            const std::uint8_t who = in.Byte();
            const std::uint8_t style = in.Byte();
            const std::int16_t id = who % 3 == 0 ? ScriptedServer::OtherId : who % 3 == 1 ? ScriptedServer::UserId : 99;
            server_.Talk(room, id, id == ScriptedServer::OtherId ? "Other" : "someone", Said(who / 3), style % 7);
            break;
        }
        case ServerFlood: {
            // Enough lines, most of the time, to push out every line the room
            // had; the longest lines also free the store's text chunks.
            const std::int16_t room = RoomOf(in.Byte());
            const int lines = 1 + in.Byte() % (3 * RoomLineLimit);
            const std::uint8_t text = in.Byte();
            for (int i = 0; i < lines; ++i) {
                std::string line = text % 3 == 1 ? std::string(Said(text / 3)) : "flood " + std::to_string(i);
                if (text % 3 == 2)
                    line.resize(MaxTalkBytes, '-');
                server_.Talk(room, ScriptedServer::OtherId, "Other", line);
            }
            break;
        }
        case ServerRoomList: {
            static GmRoomList::Info info;
            info = {};
            info.count = static_cast<std::int16_t>(1 + in.Byte() % 4);
            static constexpr const char* names[] = {"Lobby", "Team", "", "New&Room", "\x91\xd2\x8d\x87\x8e\xba"};
            for (int i = 0; i < info.count; ++i) {
                const std::uint8_t b = in.Byte();
                info.rooms[i].room = static_cast<std::int16_t>(2 + b % 8);
                CopyToField(info.rooms[i].name, names[(b / 8) % std::size(names)], MaxRoomNameBytes);
                info.rooms[i].hasPassword = (b & 0x80) != 0;
            }
            server_.RoomList(info);
            break;
        }
        case ServerRoomUser: {
            const std::int16_t room = RoomOf(in.Byte());
            const std::uint8_t who = in.Byte();
            server_.RoomUser(room, who & 1, who & 2, (who >> 2) & 1);
            break;
        }
        case ServerRetire: {
            const std::int16_t room = RoomOf(in.Byte());
            server_.RetireUser(room, in.Byte() % 2 ? ScriptedServer::UserId : ScriptedServer::OtherId);
            break;
        }
        case ServerBoardLine: {
            static constexpr std::string_view lines[] = {"*!B!*A5050B1020C9999", "*!N!*AKeeper B\x83\x65\x83\x58 ",
                                                         "*!B!*", "*!N!*W0123456789", "*!B!*Z9999A"};
            const std::uint8_t b = in.Byte();
            server_.Talk(b & 0x80 ? FormBoard->nRoomNo : RoomOf(b), ScriptedServer::OtherId, "Other",
                         lines[b % std::size(lines)]);
            break;
        }
        case ServerRefusal: {
            const std::uint8_t b = in.Byte();
            GmProtocol& out = server_.Out();
            switch (b % 4) {
            case 0: out.AEnterRoom.Encode({RoomOf(b / 4), static_cast<std::uint8_t>(1 + b / 4 % 3)}); break;
            case 1: out.ACreateRoom.Encode({static_cast<std::uint8_t>(1 + b / 4 % 4)}); break;
            case 2: {
                GmAConnect::Info info;
                info.status = static_cast<std::uint8_t>(1 + b / 4 % 5);
                CopyToField(info.message, "refused", MaxMessageBytes);
                out.AConnect.Encode(info);
                break;
            }
            default: {
                GmAReady::Info info;
                info.status = static_cast<std::uint8_t>(1 + b / 4 % 4);
                info.clientID = ScriptedServer::UserId;
                out.AReady.Encode(info);
                break;
            }
            }
            server_.SendPacket();
            break;
        }
        case ServerClose:
            server_.Out().Close.Encode();
            server_.SendPacket();
            break;
        case ServerBytes:
            server_.Send(in.Bytes(in.Byte()));
            break;
        case ServerHangup:
            server_.Hangup();
            break;
        case ServerLogin:
            server_.Login();
            break;

        case UserTab: {
            const std::uint8_t b = in.Byte();
            QTabBar* bar = w.PageControl1->tabBar();
            if (b % 4 == 0)
                Key(Focus(), Qt::Key_2, Qt::AltModifier);
            else if (b % 4 == 1)
                Key(Focus(), Qt::Key_1, Qt::AltModifier);
            else if (b % 4 == 2)
                Key(w.PageControl1, Qt::Key_Tab, Qt::ControlModifier);
            else if (bar->count() > 0)
                QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect((b / 4) % bar->count()).center());
            break;
        }
        case UserFindOpen:
            findStepped_ = true;
            Key(Focus(), Qt::Key_F, Qt::ControlModifier);
            break;
        case UserFindType: {
            findStepped_ = true;
            const std::uint8_t b = in.Byte();
            QLineEdit* edit = w.FindBar1->EditFind;
            if (w.FindBar1->isHidden())
                break;
            ClickInto(edit);
            if (b & 0x80)
                Retype(edit, Typed(b));
            else if (b & 0x40)
                QTest::keyClick(edit, Qt::Key_Backspace);
            else
                Type(edit, Typed(b));
            break;
        }
        case UserFindStep: {
            findStepped_ = true;
            const std::uint8_t b = in.Byte();
            const Qt::KeyboardModifiers shift = b & 1 ? Qt::ShiftModifier : Qt::NoModifier;
            if (b & 2)
                Key(Focus(), Qt::Key_F3, shift);
            else if (!w.FindBar1->isHidden() && w.FindBar1->EditFind->hasFocus())
                Key(w.FindBar1->EditFind, Qt::Key_Return, shift);
            else if (!w.FindBar1->isHidden())
                Click(b & 1 ? w.FindBar1->ButtonPrev : w.FindBar1->ButtonNext);
            break;
        }
        case UserFindClose:
            if (w.FindBar1->isHidden())
                break;
            if (w.FindBar1->EditFind->hasFocus())
                Key(w.FindBar1->EditFind, Qt::Key_Escape);
            else
                Click(w.FindBar1->ButtonClose);
            break;
        case UserScroll: {
            const std::uint8_t b = in.Byte();
            ChatLogView* log = ActiveLog();
            if (log == nullptr)
                break;
            static constexpr std::pair<Qt::Key, Qt::KeyboardModifier> keys[] = {
                {Qt::Key_PageUp, Qt::NoModifier}, {Qt::Key_PageDown, Qt::NoModifier},
                {Qt::Key_Home, Qt::ControlModifier}, {Qt::Key_End, Qt::ControlModifier}};
            if (b % 6 < 4) {
                Key(log, keys[b % 6].first, keys[b % 6].second);
            } else {
                const QPoint at = log->viewport()->rect().center();
                const QPoint angle(0, b % 6 == 4 ? 120 * (1 + b / 6 % 4) : -120 * (1 + b / 6 % 4));
                QWheelEvent wheel(at, log->viewport()->mapToGlobal(at), QPoint(), angle, Qt::NoButton, Qt::NoModifier,
                                  Qt::NoScrollPhase, false);
                QApplication::sendEvent(log->viewport(), &wheel);
            }
            break;
        }
        case UserSay: {
            const std::uint8_t b = in.Byte();
            if (!w.EditInputChat->isEnabled())
                break;
            TypeInChat(Typed(b));
            if (b & 0x80)
                Key(w.EditInputChat, Qt::Key_Return);
            break;
        }
        case UserHistory: {
            const std::uint8_t b = in.Byte();
            if (!w.EditInputChat->isEnabled())
                break;
            ClickInto(w.EditInputChat);
            Key(w.EditInputChat, b & 1 ? Qt::Key_Down : Qt::Key_Up);
            break;
        }
        case UserClickLog: {
            const std::uint8_t b = in.Byte();
            const std::uint8_t y = in.Byte();
            ChatLogView* log = ActiveLog();
            if (log == nullptr)
                break;
            QPoint at((b & 0x7F) * log->viewport()->width() / 128, y * log->viewport()->height() / 256);
            if (b & 0x80) {
                // Aim at a link on screen, as a user would.
                for (QTextBlock block = log->cursorForPosition(QPoint(0, 0)).block(); block.isValid();
                     block = block.next()) {
                    const int found = block.text().indexOf(QStringLiteral("http"));
                    if (found < 0)
                        continue;
                    QTextCursor cursor(block);
                    cursor.setPosition(block.position() + found + 2);
                    at = log->cursorRect(cursor).center();
                    break;
                }
            }
            QTest::mouseClick(log->viewport(), Qt::LeftButton, {}, at);
            break;
        }
        case UserLeave:
            ChooseFromMenuBar(w.RetireMenu);
            break;
        case UserEnter: {
            const std::uint8_t b = in.Byte();
            if (!w.RoomList->isEnabled() || w.RoomList->count() == 0 || w.RoomList->isHidden())
                break;
            QListWidgetItem* item = w.RoomList->item(b % w.RoomList->count());
            const QPoint at = w.RoomList->visualItemRect(item).center();
            dialogs_.Next = [b](QDialog& d) {
                if (auto* password = qobject_cast<TFormPassword*>(&d)) {
                    Type(password->EditPassword, b & 0x40 ? QStringLiteral("secret") : QStringLiteral("x"));
                    if (b & 0x20)
                        ClickButton(d, "ButtonOk");
                }
            };
            if (b & 0x80) {
                DoubleClick(w.RoomList->viewport(), at);
            } else {
                QTest::mouseClick(w.RoomList->viewport(), Qt::LeftButton, {}, at);
                Click(w.ButtonEnterRoom);
            }
            dialogs_.Next = nullptr;
            break;
        }
        case UserBoard:
            Click(w.ButtonBoard);
            break;
        case UserBoardDrag: {
            const std::uint8_t b = in.Byte();
            const std::uint8_t dx = in.Byte();
            const std::uint8_t dy = in.Byte();
            if (!FormBoard->isVisible())
                break;
            const CharItem& item = CharItems[b % CharItemCount];
            const QPoint from(item.CenterX(), item.CenterY());
            const QPoint to = from + QPoint(dx - 128, dy - 128);
            QTest::mousePress(FormBoard->ImageGround, Qt::LeftButton, {}, from);
            QTest::mouseMove(FormBoard->ImageGround, to);
            QTest::mouseRelease(FormBoard->ImageGround, Qt::LeftButton, {}, to);
            break;
        }
        case UserBoardRename: {
            const std::uint8_t b = in.Byte();
            const std::uint8_t name = in.Byte();
            if (!FormBoard->isVisible())
                break;
            const CharItem& item = CharItems[b % CharItemCount];
            const QPoint at(item.CenterX(), item.CenterY());
            dialogs_.Next = [name](QDialog& d) {
                if (auto* dialog = qobject_cast<TFormBoardName*>(&d)) {
                    Retype(dialog->EditName, name & 1 ? QStringLiteral("ゴール") : Typed(name / 2));
                    ClickButton(d, "ButtonOk");
                }
            };
            QTest::mousePress(FormBoard->ImageGround, Qt::RightButton, {}, at);
            QTest::mouseRelease(FormBoard->ImageGround, Qt::RightButton, {}, at);
            dialogs_.Next = nullptr;
            break;
        }
        case UserBoardButton: {
            const std::uint8_t b = in.Byte();
            if (!FormBoard->isVisible())
                break;
            if (b % 3 == 0)
                Click(FormBoard->ButtonAll);
            else if (b % 3 == 1)
                Click(FormBoard->ButtonCopy);
            else
                FormBoard->close();   // its title bar's close button
            break;
        }
        case UserOptions: {
            const std::uint8_t b = in.Byte();
            const std::uint8_t more = in.Byte();
            const QString folder = folder_;
            if (b & 0x04)
                loggedTo_ = true;
            dialogs_.Next = [b, more, folder](QDialog& d) {
                auto* options = qobject_cast<TFormOption*>(&d);
                if (options == nullptr)
                    return;
                if (b & 0x01)
                    Click(options->CheckTimestamps);
                if (b & 0x02)
                    Click(options->CheckNotifications);
                if (b & 0x04)
                    Click(options->CheckLogEnabled);
                if (b & 0x08)
                    Click(options->CheckAutoReconnect);
                if (b & 0x10)
                    Retype(options->EditHighlightWords, Typed(more));
                if ((b & 0x20) && options->EditLogFolder->isEnabled())
                    Retype(options->EditLogFolder, more & 1 ? folder + QStringLiteral("/other-logs") : QString());
                if (b & 0x80) {
                    // The tray option, a font size typed, a family typed: one
                    // installed, the form's own (substituted), none such, one
                    // too long for the file, one without a Shift-JIS code.
                    static const QString families[] = {QStringLiteral("IPAGothic"), QStringLiteral("ＭＳ Ｐゴシック"),
                                                       QStringLiteral("No Such Font"), QString(201, QLatin1Char('W')),
                                                       QStringLiteral("\uD55C\uAE00")};
                    Click(options->CheckKeepInTray);
                    QTest::keyClick(options->SpinFontSize, Qt::Key_A, Qt::ControlModifier);
                    QTest::keyClicks(options->SpinFontSize, QString::number(6 + more % 67));   // 6 to 72
                    if (QLineEdit* family = options->ComboFont->lineEdit())
                        Retype(family, families[more / 8 % std::size(families)]);
                }
                ClickButton(d, b & 0x40 ? "ButtonCancel" : "ButtonOk");
            };
            ChooseFromMenuBar(w.OptionMenu);
            dialogs_.Next = nullptr;
            break;
        }
        case UserDisconnect:
            disconnectStepped_ = true;
            ChooseFromMenuBar(w.CloseMenu);
            break;
        case UserConnect: {
            const std::uint8_t b = in.Byte();
            dialogs_.Next = [b](QDialog& d) { ClickButton(d, b & 1 ? "ButtonCancel" : "ButtonOk"); };
            Key(Focus(), Qt::Key_O, Qt::ControlModifier);
            dialogs_.Next = nullptr;
            break;
        }
        case UserResize: {
            const std::uint8_t b = in.Byte();
            const std::uint8_t h = in.Byte();
            if (b == 0xFF)
                ChooseFromMenuBar(w.MenuRoomDisp);
            else
                w.resize(200 + 4 * b, 120 + 3 * h);
            break;
        }
        case TimePasses: {
            static constexpr int steps[] = {0, 16, 250, 1000, 3000, 10000, 61000};
            clock::Pass(steps[in.Byte() % std::size(steps)]);
            // The screen catches up: what changed since it last did is painted.
            screen_.Refresh();
            break;
        }
        case UserCreateRoom: {
            const std::uint8_t b = in.Byte();
            dialogs_.Next = [b](QDialog& d) {
                auto* create = qobject_cast<TFormCreateRoom*>(&d);
                if (create == nullptr)
                    return;
                static const QString names[] = {QStringLiteral("New"), QStringLiteral("作戦会議"), QString(),
                                                QString(40, QLatin1Char('r')), QStringLiteral("Lobby")};
                static const QString passwords[] = {QString(), QStringLiteral("pw12"), QStringLiteral("p w!"),
                                                    QStringLiteral("パス")};
                Retype(create->EditName, names[b % std::size(names)]);
                Retype(create->EditPassword, passwords[b / 8 % std::size(passwords)]);
                ClickButton(d, b & 0x80 ? "ButtonCancel" : "ButtonOk");
            };
            ChooseFromMenuBar(w.CreateMenu);
            dialogs_.Next = nullptr;
            break;
        }
        case UserStartRooms: {
            const std::uint8_t b = in.Byte();
            dialogs_.Next = [b](QDialog& d) {
                auto* setting = qobject_cast<TFormSetting*>(&d);
                if (setting == nullptr)
                    return;
                QListWidget* list = setting->ListRoom;
                if (list->count() > 0) {
                    const QPoint at = list->visualItemRect(list->item(b % list->count())).center();
                    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
                }
                if (b & 0x80)
                    Click(setting->ButtonDelete);
                if (b & 0x40)
                    QTest::keyClick(list, Qt::Key_Delete);
                ClickButton(d, "ButtonExit");
            };
            ChooseFromMenuBar(w.MenuSetting);
            dialogs_.Next = nullptr;
            break;
        }
        case UserFocus: {
            // The window loses the focus to another program or to the board, or gets it back.
            const std::uint8_t b = in.Byte();
            if (b % 3 == 0)
                QApplication::setActiveWindow(nullptr);
            else if (b % 3 == 1 && FormBoard->isVisible())
                QApplication::setActiveWindow(FormBoard);
            else {
                if (w.isHidden())
                    ClickTrayIcon(w);
                Activate();
            }
            break;
        }
        case UserBoardKey: {
            const std::uint8_t b = in.Byte();
            const std::uint8_t name = in.Byte();
            if (!FormBoard->isVisible())
                break;
            static const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
                {Qt::Key_Tab, Qt::NoModifier},   {Qt::Key_Tab, Qt::ShiftModifier}, {Qt::Key_Left, Qt::NoModifier},
                {Qt::Key_Right, Qt::ShiftModifier}, {Qt::Key_Up, Qt::NoModifier},  {Qt::Key_Down, Qt::NoModifier},
                {Qt::Key_F2, Qt::NoModifier},    {Qt::Key_Z, Qt::ControlModifier}, {Qt::Key_Y, Qt::ControlModifier},
                {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier}};
            const auto [key, modifiers] = keys[b % std::size(keys)];
            dialogs_.Next = [name](QDialog& d) {
                if (auto* dialog = qobject_cast<TFormBoardName*>(&d)) {
                    Retype(dialog->EditName, Typed(name));
                    ClickButton(d, name & 0x80 ? "ButtonCancel" : "ButtonOk");
                }
            };
            if (QApplication::activeModalWidget() == nullptr)
                QApplication::setActiveWindow(FormBoard);
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClick(focus != nullptr && focus->window() == FormBoard ? focus : FormBoard->ImageGround, key,
                            modifiers);
            dialogs_.Next = nullptr;
            break;
        }
        case UserFormation: {
            // Picks an entry of the formation menu: undo or redo, a built-in for
            // either side, keeping the board under a title (typed into the title
            // dialog, or cancelled), a kept one to load or to delete, or a paste.
            const std::uint8_t b = in.Byte();
            if (!FormBoard->isVisible())
                break;
            dialogs_.Next = [b](QDialog& d) {
                auto* title = qobject_cast<QInputDialog*>(&d);
                auto* field = title != nullptr ? title->findChild<QLineEdit*>() : nullptr;
                auto* buttons = title != nullptr ? title->findChild<QDialogButtonBox*>() : nullptr;
                if (field == nullptr || buttons == nullptr)
                    return;
                Retype(field, Typed(b / 8));
                Click(buttons->button(b & 0x80 ? QDialogButtonBox::Cancel : QDialogButtonBox::Ok));
            };
            // Every entry the user can reach, opening each submenu as a user
            // does (its entries are made as it opens); the pick is then clicked.
            QMenu* menu = FormBoard->MenuFormation;
            menu->popup(FormBoard->ButtonFormation->mapToGlobal(QPoint(0, 0)));
            QList<std::pair<QMenu*, QAction*>> entries;
            const std::function<void(QMenu*)> collect = [&](QMenu* m) {
                for (QAction* a : m->actions()) {
                    if (!a->isVisible() || a->isSeparator())
                        continue;
                    if (QMenu* sub = a->menu()) {
                        sub->popup(m->mapToGlobal(m->actionGeometry(a).topRight()));
                        collect(sub);
                        sub->close();
                    } else if (a->isEnabled()) {
                        entries.append({m, a});
                    }
                }
            };
            collect(menu);
            if (!entries.isEmpty()) {
                const auto [owner, entry] = entries[b % entries.size()];
                if (owner != menu)
                    owner->popup(menu->mapToGlobal(menu->actionGeometry(owner->menuAction()).topRight()));
                QTest::mouseClick(owner, Qt::LeftButton, {}, owner->actionGeometry(entry).center());
                if (owner->isVisible())
                    owner->close();
            }
            if (menu->isVisible())
                menu->close();
            dialogs_.Next = nullptr;
            break;
        }
        case UserDesktop: {
            // The desktop's comforts: zoom by keys and by Ctrl+wheel, name
            // completion with Tab, a member's name from the list, a dark theme
            // switched to and back live, the tray (a click, 表示/隠す, and
            // closing the window, which keeps it in the tray with the option on),
            // and the input's limits and the input method.
            const std::uint8_t b = in.Byte();
            const std::uint8_t c = in.Byte();
            if (b % 9 != 6 && b % 9 != 7 && w.isHidden())
                ClickTrayIcon(w);   // all but the theme and the tray's own act on the window
            TChatSheet* sheet = w.ActiveChatSheet();
            switch (b % 9) {
            case 0:
            case 1:
            case 2: {
                static constexpr Qt::Key zoomKeys[] = {Qt::Key_Plus, Qt::Key_Minus, Qt::Key_0};
                Key(Focus(), zoomKeys[b % 9], Qt::ControlModifier);
                break;
            }
            case 3: {
                QWidget* over = sheet != nullptr && (c & 1) ? sheet->ChatLog->viewport() : static_cast<QWidget*>(w.EditInputChat);
                const QPoint at = over->rect().center();
                const QPoint angle(0, (c & 2 ? -120 : 120) * (1 + c / 4 % 3));
                QWheelEvent wheel(at, over->mapToGlobal(at), QPoint(), angle, Qt::NoButton, Qt::ControlModifier,
                                  Qt::NoScrollPhase, false);
                QApplication::sendEvent(over, &wheel);
                break;
            }
            case 4: {
                // A name's start in another case or width, or one no member has.
                static const QString starts[] = {QStringLiteral("o"), QStringLiteral("OT"), QStringLiteral("ｏｔｈ"),
                                                 QStringLiteral("f"), QStringLiteral("た"), QString()};
                if (!w.EditInputChat->isEnabled())
                    break;
                TypeInChat(starts[c % std::size(starts)]);
                for (int i = 0; i <= (c >> 4) % 3; ++i)
                    Key(w.EditInputChat, Qt::Key_Tab);
                if (c & 0x80)
                    Key(w.EditInputChat, Qt::Key_Backtab, Qt::ShiftModifier);
                break;
            }
            case 5: {
                if (sheet == nullptr || sheet->ListUser->count() == 0)
                    break;
                const QRect item = sheet->ListUser->visualItemRect(sheet->ListUser->item(c % sheet->ListUser->count()));
                DoubleClick(sheet->ListUser->viewport(), item.center());
                break;
            }
            case 6:
                themeChanged_ = (c & 1) != 0;
                QApplication::setPalette(themeChanged_ ? DarkPalette() : lightPalette_);
                break;
            case 7:
                if (w.Tray == nullptr)
                    break;
                if (c % 3 == 0)
                    ClickTrayIcon(w);
                else if (c % 3 == 1)
                    ClickMenuEntry(*w.Tray->Menu(), QPoint(0, 0), 0);   // 表示/隠す
                else if (w.Options.KeepInTray && w.isVisible()) {
                    // Its title bar's close button: into the tray, keeping the
                    // connection and the rooms. (Without the option it ends the program.)
                    const int tabs = w.PageControl1->count();
                    const bool connected = w.Socket1->Active();
                    w.close();
                    Pump();   // what the close set going has happened
                    if (w.isVisible() || w.PageControl1->count() != tabs || w.Socket1->Active() != connected)
                        stepFailure_ = "closing the window into the tray did not keep it as it was";
                }
                break;
            case 8: {
                // Characters without a Shift-JIS code, a composition longer than
                // the input holds (each leaves something out, which the status
                // bar says), or a composition cleared from the screen, as Esc
                // clears it, that the input method commits anyway once the user
                // goes on (seen with ibus).
                QLineEdit* input = w.EditInputChat;
                if (!input->isEnabled())
                    break;
                // A user already typing there goes on without a click, which
                // would drop what they selected.
                Activate();
                if (!input->hasFocus())
                    ClickInto(input);
                if (input->hasSelectedText())
                    ++ComposedOverSelection;
                const QString before = input->text();
                if (c % 3 == 0 || c % 3 == 1) {
                    w.statusBar()->clearMessage();
                    Type(input, c % 3 == 0 ? QStringLiteral("\U0001F600\u2665\uD55C") : QString(110, QChar(0x3042)));
                    // Named, or the limit they went past.
                    const QString said = c % 3 == 0 ? QStringLiteral("\U0001F600\u2665\uD55C") : QStringLiteral("200");
                    if (!w.statusBar()->currentMessage().contains(said))
                        stepFailure_ = "the input left characters out without saying which";
                } else {
                    QInputMethodEvent composing(QStringLiteral("かんじ"), {});
                    QApplication::sendEvent(input, &composing);
                    QInputMethodEvent cleared;
                    QApplication::sendEvent(input, &cleared);
                    Key(input, Qt::Key_Left);
                    QInputMethodEvent late;
                    late.setCommitString(QStringLiteral("かんじ"));
                    QApplication::sendEvent(input, &late);
                    // (A composition over selected text replaces it, as in any
                    // editor; only the cancelled text must not come back.)
                    if (input->text().count(late.commitString()) > before.count(late.commitString()))
                        stepFailure_ = "a composition the user cancelled came back";
                }
                break;
            }
            }
            break;
        }
        case UserBoardPicture: {
            // 画像をコピー from the picture menu; saving (a file dialog) is left out.
            if (!FormBoard->isVisible())
                break;
            // The picture the board shows, as it is when the user picks the
            // entry (a peer's line may redraw it while the click is handled).
            // A marker moved or renamed shows once its line comes back.
            // Pictures compare by their pixels, whatever format each was made in.
            const auto argb = [](const QImage& image) { return image.convertToFormat(QImage::Format_ARGB32); };
            const QImage shown = argb(FormBoard->BoardPicture());
            QGuiApplication::clipboard()->clear();
            ClickMenuEntry(*FormBoard->MenuPicture, FormBoard->ButtonPicture->mapToGlobal(QPoint(0, 0)), 0);
            const QImage copied = argb(QGuiApplication::clipboard()->image());
            const QMimeData* data = QGuiApplication::clipboard()->mimeData();
            const QImage png =
                data != nullptr ? argb(QImage::fromData(data->data(QStringLiteral("image/png")), "PNG")) : QImage();
            const QImage now = FormBoard->BoardPicture();
            if (copied.isNull() || (copied != shown && copied != argb(now)))
                stepFailure_ = "the copied picture is not the one the board shows";
            else if (png != copied)
                stepFailure_ = "the copied picture's PNG is not the picture";
            else if (!FormBoard->ImageGround->hasFocus()) {   // (with the focus, a ring is drawn over the picture)
                // The pitch on screen is the board's picture as it now stands.
                const QImage screen = FormBoard->ImageGround->grab().toImage();
                const QRect both = screen.rect() & now.rect();
                if (screen.devicePixelRatio() == now.devicePixelRatio() && argb(screen).copy(both) != argb(now).copy(both))
                    stepFailure_ = "the pitch on screen is not the board's picture";
            }
            break;
        }
        case UserLogRoom: {
            // Logging on over the prepared logs, and a room opened anew: the
            // server takes the user out of it (when in) and puts them in again,
            // so its tab restores the newest logged lines and pages in the rest.
            const std::uint8_t b = in.Byte();
            if (++logRoomSteps_ > MaxLogStepsPerInput)
                break;
            static constexpr std::int16_t rooms[] = {3, 4, 5};
            const std::int16_t room = rooms[(b & 0x07) % std::size(rooms)];
            if (!w.LogEnabled || !w.Options.LogFolder.empty()) {
                w.Options.LogEnabled = true;
                w.Options.LogFolder.clear();
                w.ApplyOptions();
            }
            PrepareLogs();
            if (w.FindSheet(room) != nullptr)
                server_.RetireUser(room, ScriptedServer::UserId);
            server_.RoomUser(room, true, room == 3);
            if (b & 0x08) {
                // Straight up to the oldest line shown, which asks for a page.
                Pump();
                if (ChatLogView* log = ActiveLog())
                    Key(log, Qt::Key_Home, Qt::ControlModifier);
            }
            break;
        }
        case UserLogSearch: {
            const std::uint8_t b = in.Byte();
            const std::uint8_t query = in.Byte();
            if (++logSearchSteps_ > MaxLogStepsPerInput)
                break;
            Key(Focus(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
            TFormLogSearch* search = ActiveSearch();
            if (search == nullptr)
                break;
            if (b & 0x01)
                Click(search->RadioAllLogs->isChecked() ? search->RadioThisServer : search->RadioAllLogs);
            if (b & 0x02)
                for (int i = 0; i <= b / 4 % 4; ++i)
                    QTest::keyClick(search->ComboRoom, Qt::Key_Down);
            if (b & 0x20)
                Click(search->CheckDates);
            Retype(search->EditSearch, Sought(query));
            QTest::keyClick(search->EditSearch, Qt::Key_Return);
            if (b & 0x40) {
                // Another query while the first one runs, which it cancels.
                Retype(search->EditSearch, Sought(query / 16));
                QTest::keyClick(search->EditSearch, Qt::Key_Return);
            }
            if (b & 0x80)
                Click(search->ButtonCancel);
            searchStepped_ = true;
            break;
        }
        case UserLogResults: {
            const std::uint8_t b = in.Byte();
            TFormLogSearch* search = ActiveSearch();
            if (search == nullptr)
                break;
            QTableView* list = search->ListResults;
            const int rows = search->Results()->rowCount();
            switch (b % 6) {
            case 0: QTest::keyClick(search->EditSearch, Qt::Key_Down); break;
            case 1: QTest::keyClick(list, b & 0x80 ? Qt::Key_Up : Qt::Key_Down); break;
            case 2:
                if (rows > 0) {
                    const QRect row = list->visualRect(search->Results()->index(b / 8 % std::min(rows, 8), 0));
                    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
                }
                break;
            case 3: QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier); break;
            case 4: QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier); break;
            default:
                if (!search->ButtonOpenRoom->isEnabled())
                    break;
                Click(search->ButtonOpenRoom);
                // Shown in its tab, from the tray or minimized too.
                if (!search->LabelStatus->text().contains(QStringLiteral("表示できませんでした")) && !w.isVisible())
                    stepFailure_ = "a hit shown in its room's tab while the window is not on screen";
                break;
            }
            searchStepped_ = true;
            break;
        }
        case UserLogClose: {
            const std::uint8_t b = in.Byte();
            TFormLogSearch* search = ActiveSearch();
            if (search == nullptr)
                break;
            if (b % 3 == 0) {
                QWidget* focus = QApplication::focusWidget();
                QTest::keyClick(focus != nullptr && focus->window() == search ? focus : search, Qt::Key_Escape);
            } else if (b % 3 == 1) {
                search->close();   // its title bar's close button
            } else {
                Click(search->ButtonCancel);
            }
            Activate();
            break;
        }
        case AllStepKinds:
            break;
        }
    }

    // The search window gets the keys.
    // The search window made active for the user's keys, or none when it is not open.
    TFormLogSearch* ActiveSearch()
    {
        TFormLogSearch* search = window_->FormLogSearch;
        if (search == nullptr || !search->isVisible())
            return nullptr;
        if (QApplication::activeModalWidget() == nullptr && QApplication::activeWindow() != search)
            QApplication::setActiveWindow(search);
        return search;
    }

    // What the user looks for in the logs: words of every line, width and case
    // folded, Japanese, a link, a damaged line, and a word found nowhere.
    static QString Sought(std::uint8_t pick)
    {
        static const QString texts[] = {
            QStringLiteral("history"), QStringLiteral("ＨＩＳＴＯＲＹ １２"), QStringLiteral("こんにちは"),
            QStringLiteral("example.com/2"), QStringLiteral("abc"), QStringLiteral("\uFFFD"),
            QStringLiteral("Other>"), QStringLiteral("nowhere"),
        };
        return texts[pick % std::size(texts)];
    }

    // The logs the log steps read, as a user who has logged for months has
    // them: per room three monthly files (this month's and the two before),
    // 250 lines each, a day change within the older two, and damaged lines
    // (bytes not UTF-8, a NUL, no date, a CR, a line of 1,500 bytes). Made
    // once an input asks for them; the input's own lines are written after.
    void PrepareLogs()
    {
        if (logsPrepared_)
            return;
        logsPrepared_ = true;
        loggedTo_ = true;
        const std::filesystem::path server =
            std::filesystem::path(window_->LogFolder) / chatlog::ServerFolderName("127.0.0.1", server_.Port);
        chatlog::MakeFolders(server);
        const QDate thisMonth = QDate::currentDate().addDays(1 - QDate::currentDate().day());
        for (const char* room : {"Lobby", "Team", "\x91\xd2\x8d\x87\x8e\xba"}) {
            int number = 0;
            for (int ago = 2; ago >= 0; --ago) {
                const QDate month = thisMonth.addMonths(-ago);
                std::ofstream file(server / chatlog::MonthFileName(chatlog::RoomFileStem(room), month.year(), month.month()),
                                   std::ios::binary | std::ios::trunc);
                // The older months change days halfway; this month's lines are all of its first minutes.
                const QDate first = ago == 0 ? month : month.addDays(ago == 2 ? 26 : 0);
                for (int i = 0; i < 250; ++i, ++number) {
                    const bool later = ago > 0 && i >= 125;
                    const QDate day = later ? first.addDays(1) : first;
                    const int second = (ago == 0 ? 0 : later ? 9 * 3600 : 22 * 3600) + (later ? i - 125 : i);
                    char stamp[32];
                    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d ", day.year(), day.month(),
                                  day.day(), second / 3600, second / 60 % 60, second % 60);
                    if (ago == 1 && i == 60) {
                        file << stamp << "Other> \xff\xfe broken \x82" << '\0' << "end\n";
                        file << "a line without a date\n";
                    }
                    if (ago == 1 && i == 61)
                        file << stamp << "Other> " << std::string(1500, 'x') << "\r\n";
                    file << stamp << "Other> history " << number
                         << (number % 10 == 3 ? " \xe3\x81\x93\xe3\x82\x93\xe3\x81\xab\xe3\x81\xa1\xe3\x81\xaf"
                             : number % 10 == 7 ? " see http://example.com/" + std::to_string(number)
                                                : std::string(" abc"))
                         << "\n";
                }
            }
        }
    }

    QString folder_;
    ScriptedServer server_;
    DialogHand dialogs_;
    HeldScreen screen_;
    AmbiguousKeys ambiguousKeys_;
    std::unique_ptr<TFormMain> window_;
    bool loggedTo_ = false;
    bool logsPrepared_ = false;   // the logs folder holds the prepared logs (PrepareLogs)
    bool searchStepped_ = false;  // the step worked the search window: check its results
    // The costliest steps, a room reopened over the prepared logs and a search
    // of them, act this often in an input and no more (their bytes are still
    // read): inputs that repeat them dozens of times took up to a second each
    // and most of the fuzzer's time, without reaching anything a few do not.
    static constexpr int MaxLogStepsPerInput = 4;
    static constexpr qsizetype MaxWindows = 200;   // a session has a few dozen
    int logRoomSteps_ = 0;
    int logSearchSteps_ = 0;
    std::tuple<const QTextDocument*, int, int, int> orderChecked_{};   // the document as last checked
    std::string stalled_;         // a thread's reading that did not end
    StepReader* reader_ = nullptr;   // the input being run, for the steps a dialog lets in
    bool findStepped_ = false;   // the step was the find bar's: check its selection
    bool disconnectStepped_ = false;   // the user disconnected: no room may be left
    std::string stepFailure_;          // what a step found wrong at once
    bool themeChanged_ = false;        // the dark theme is on: Begin switches back
    const QPalette lightPalette_ = QApplication::palette();
    const bool quitOnLastWindowClosed_ = QApplication::quitOnLastWindowClosed();   // the tray changes it
    std::optional<bool> trayBefore_;
};

}  // namespace kvfuzz
