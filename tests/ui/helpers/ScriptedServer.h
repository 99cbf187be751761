#pragma once
// A chat server played by a test: accepts one client on loopback, sends exact
// frames and reads back the frames the client sends.

#include "GmMessages.h"

#include <QByteArray>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <optional>

class ScriptedServer : public QObject {
    Q_OBJECT
public:
    ScriptedServer();

    quint16 Port() const { return server_.serverPort(); }
    bool WaitForClient(int ms = 10000);
    QTcpSocket* Peer() const { return peer_; }

    void SendRaw(const QByteArray& bytes);
    // The frame built in Protocol.Packet by one of its server-side encoders.
    void SendPacket();
    static QByteArray Frame(std::uint8_t type, const QByteArray& payload);
    static QByteArray String(const QByteArray& bytes);

    // The next whole frame the client sent (length header included), or nothing in time.
    std::optional<QByteArray> NextFrame(int ms = 10000);
    // Loads the next frame into Protocol.Packet; false on timeout.
    bool NextPacket(int ms = 10000);
    bool WaitForDisconnect(int ms = 10000);
    void CloseClient();

    // Server-side handshake helpers.
    void SendAReady(std::uint8_t status, std::int16_t clientId, const QByteArray& message = {});
    void SendAConnect(std::uint8_t status, const QByteArray& message = {});
    void SendRoomList(const std::vector<GmRoomList::Room>& rooms);
    void SendRoomUser(std::int16_t room, const std::vector<GmRoomUser::Member>& members);
    void SendTalk(std::int16_t room, std::int16_t clientId, const QByteArray& name, const QByteArray& text,
                  std::uint8_t style = 0);

    GmProtocol Protocol;

private:
    QTcpServer server_;
    QTcpSocket* peer_ = nullptr;
    QByteArray received_;
};

GmRoomList::Room MakeRoom(std::int16_t room, const QByteArray& name, bool hasPassword = false);
GmRoomUser::Member MakeMember(std::int16_t clientId, const QByteArray& name, std::uint8_t flag = 0);
// CP932 bytes of a UTF-8 literal.
QByteArray Sjis(const char* utf8);
