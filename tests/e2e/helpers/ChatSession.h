#pragma once
// The real client (all of the program's windows, its settings file in a
// temporary folder pointing at the server) against a real chat server on a free
// loopback port, with protocol-level bots as the other members.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ChatBot;
class ChatServer;
class QListWidgetItem;
class TChatSheet;
class TFormMain;

namespace e2e {

// Generous: only a failing test ever waits this long.
inline constexpr int Timeout = 10000;

// "待合室", the server's first room and the client's default start-up room.
inline const QByteArray LobbyName("\x91\xd2\x8d\x87\x8e\xba");
inline const QString LobbyText = QStringLiteral("待合室");

class ChatSession {
public:
    ChatSession();
    ~ChatSession();
    ChatSession(const ChatSession&) = delete;
    ChatSession& operator=(const ChatSession&) = delete;

    // The server listens and the windows exist.
    bool Started() const { return server_ && window_; }
    ChatServer& Server() const { return *server_; }
    TFormMain* Main() const { return window_.get(); }

    // Destroys the windows as the program's end does (the settings are saved).
    void CloseWindows();
    std::string SettingsPath() const;

    // The server goes away, closing every connection; StartServer brings a new,
    // empty one up on the same port.
    void StopServer();
    bool StartServer();

    // A bot logged in and in the lobby, owned by the session.
    ChatBot* AddBot(const QByteArray& name);

    // The connect command with its dialog driven: the name typed, OK pressed.
    // True when the dialog came up and the steps closed it with OK.
    bool RunConnect(const QString& name);
    // RunConnect, then waits for the start-up room's tab.
    TChatSheet* ConnectToLobby(const QString& name);

    // The create-room command with its dialog driven.
    bool RunCreateRoom(const QString& name, const QString& password);
    // Selects the room-list row with this text and runs the enter command; a
    // non-empty password is typed into the password dialog, which must come up.
    bool RunEnterRoom(const QString& rowText, const QString& password = {});

    // Waits for the tab of the room the server lists under this name.
    TChatSheet* WaitForSheet(const QByteArray& roomName) const;
    // The room number in the client's room list, or -1.
    int RoomNumber(const QByteArray& roomName) const;

    QStringList Boxes;   // texts of the error boxes shown, in order

private:
    QTemporaryDir dir_;
    std::unique_ptr<ChatServer> server_;
    std::vector<std::unique_ptr<ChatBot>> bots_;
    std::unique_ptr<TFormMain> window_;
    quint16 port_ = 0;
};

// What the user sees.
QStringList LogLines(TChatSheet* sheet);
QStringList MemberRows(TChatSheet* sheet);
QStringList RoomRows(TFormMain* window);
QStringList TabTexts(TFormMain* window);
QListWidgetItem* RoomRow(TFormMain* window, const QString& text);

// Talks a bot received from this speaker, in order.
QList<QByteArray> TextsFrom(const ChatBot& bot, std::int16_t clientId);

}  // namespace e2e
