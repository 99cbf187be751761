#pragma once
// The local chat server: accepts clients, runs the handshake, keeps the rooms and relays talk.
// Single-threaded; everything happens on the thread of the event loop that owns it.

#include "GmMessages.h"
#include "RoomTable.h"
#include "ServerOptions.h"

#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <map>
#include <optional>

class ServerClient;

class ChatServer : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxRoomsPerUser = 5;

    explicit ChatServer(ServerOptions options, QObject* parent = nullptr);
    ~ChatServer() override;

    bool Listen();   // on failure see ErrorString()
    QString ErrorString() const { return listener_.errorString(); }
    QHostAddress Address() const { return listener_.serverAddress(); }
    quint16 Port() const { return listener_.serverPort(); }

    int UserCount() const { return userCount_; }   // logged-in users
    int ConnectionCount() const { return static_cast<int>(clients_.size()); }
    const RoomTable& Rooms() const { return rooms_; }

signals:
    void userCountChanged(int count);
    void connectionClosed(qint16 clientId, const QString& reason);

private:
    void AcceptPending();
    void HandleFrame(ServerClient* client);
    void ForgetClient(ServerClient* client);

    void HandleReady(ServerClient& client);
    void HandleConnect(ServerClient& client);
    void HandleCreateRoom(ServerClient& client);
    void HandleEnterRoom(ServerClient& client);
    void HandleRetire(ServerClient& client);
    void HandleTalk(ServerClient& client);

    void AnswerConnect(ServerClient& client, std::uint8_t status, std::string_view message = {});
    void AnswerEnterRoom(ServerClient& client, std::int16_t room, std::uint8_t status);
    void Enter(ServerClient& client, Room& room);
    void Leave(ClientId id, Room& room);
    void SendWholeRoomList(ServerClient& client);
    void AnnounceRoom(const Room& room, bool removed);
    void SendMembers(ServerClient& client, const Room& room);
    void AnnounceUserCount();
    void SendLife();

    void SendToLoggedIn(const GmPacket& packet);
    void SendToMembers(const Room& room, const GmPacket& packet);
    ServerClient* FindClient(ClientId id) const;
    std::optional<ClientId> NextClientId();
    void Log(const QString& line) const;

    ServerOptions options_;
    QTcpServer listener_;
    QTimer lifeTimer_;
    GmProtocol in_;    // the frame being handled
    GmProtocol out_;   // the frame being sent, encoded once for all its receivers
    RoomTable rooms_;
    std::map<ClientId, ServerClient*> clients_;
    int lastId_ = 0;
    int userCount_ = 0;
};
