#include "ScriptedServer.h"

#include "Cp932.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

#include <cstring>

ScriptedServer::ScriptedServer()
{
    server_.listen(QHostAddress::LocalHost, 0);
}

bool ScriptedServer::WaitForClient(int ms)
{
    if (peer_ == nullptr) {
        QDeadlineTimer deadline(ms);
        while (!server_.hasPendingConnections() && !deadline.hasExpired())
            QTest::qWait(5);
        peer_ = server_.nextPendingConnection();
        if (peer_ != nullptr)
            peer_->setParent(this);
    }
    return peer_ != nullptr;
}

void ScriptedServer::SendRaw(const QByteArray& bytes)
{
    if (!WaitForClient())
        return;
    peer_->write(bytes);
    peer_->flush();
}

void ScriptedServer::SendPacket()
{
    const GmPacket& p = Protocol.Packet;
    SendRaw(QByteArray(reinterpret_cast<const char*>(p.Data()), static_cast<std::uint16_t>(p.GetLength())));
}

QByteArray ScriptedServer::Frame(std::uint8_t type, const QByteArray& payload)
{
    const int length = static_cast<int>(payload.size()) + 3;
    QByteArray f;
    f.append(static_cast<char>((length >> 8) & 0xFF));
    f.append(static_cast<char>(length & 0xFF));
    f.append(static_cast<char>(type));
    f.append(payload);
    return f;
}

QByteArray ScriptedServer::String(const QByteArray& bytes)
{
    return QByteArray(1, static_cast<char>(bytes.size())) + bytes;
}

std::optional<QByteArray> ScriptedServer::NextFrame(int ms)
{
    if (!WaitForClient(ms))
        return std::nullopt;
    QDeadlineTimer deadline(ms);
    for (;;) {
        received_ += peer_->readAll();
        if (received_.size() >= 2) {
            const int length = (static_cast<std::uint8_t>(received_[0]) << 8) | static_cast<std::uint8_t>(received_[1]);
            if (length >= 2 && received_.size() >= length) {
                QByteArray frame = received_.left(length);
                received_.remove(0, length);
                return frame;
            }
        }
        if (deadline.hasExpired())
            return std::nullopt;
        QTest::qWait(2);
    }
}

bool ScriptedServer::NextPacket(int ms)
{
    const auto frame = NextFrame(ms);
    if (!frame)
        return false;
    return Protocol.Packet.Load(reinterpret_cast<const std::uint8_t*>(frame->constData()),
                                static_cast<int>(frame->size()));
}

bool ScriptedServer::WaitForDisconnect(int ms)
{
    if (!WaitForClient(ms))
        return false;
    QDeadlineTimer deadline(ms);
    while (peer_->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        received_ += peer_->readAll();
        QTest::qWait(2);
    }
    return peer_->state() != QAbstractSocket::ConnectedState;
}

void ScriptedServer::CloseClient()
{
    if (peer_ != nullptr) {
        peer_->disconnectFromHost();
        peer_->deleteLater();
        peer_ = nullptr;
    }
    received_.clear();
}

void ScriptedServer::SendAReady(std::uint8_t status, std::int16_t clientId, const QByteArray& message)
{
    GmAReady::Info info;
    info.status = status;
    std::strncpy(info.message, message.constData(), MaxMessageBytes);
    info.clientID = clientId;
    Protocol.AReady.Encode(info);
    SendPacket();
}

void ScriptedServer::SendAConnect(std::uint8_t status, const QByteArray& message)
{
    GmAConnect::Info info;
    info.status = status;
    std::strncpy(info.message, message.constData(), MaxMessageBytes);
    Protocol.AConnect.Encode(info);
    SendPacket();
}

void ScriptedServer::SendRoomList(const std::vector<GmRoomList::Room>& rooms)
{
    GmRoomList::Info info;
    info.count = static_cast<std::int16_t>(rooms.size());
    for (std::size_t i = 0; i < rooms.size() && i < MaxRoomEntries; ++i)
        info.rooms[i] = rooms[i];
    Protocol.RoomList.Encode(info);
    SendPacket();
}

void ScriptedServer::SendRoomUser(std::int16_t room, const std::vector<GmRoomUser::Member>& members)
{
    GmRoomUser::Info info;
    info.room = room;
    info.count = static_cast<std::int16_t>(members.size());
    for (std::size_t i = 0; i < members.size() && i < MaxRoomMembers; ++i)
        info.members[i] = members[i];
    Protocol.RoomUser.Encode(info);
    SendPacket();
}

void ScriptedServer::SendTalk(std::int16_t room, std::int16_t clientId, const QByteArray& name,
                              const QByteArray& text, std::uint8_t style)
{
    GmTalk::Info info;
    info.room = room;
    info.clientID = clientId;
    std::strncpy(info.name, name.constData(), MaxUserNameBytes);
    std::strncpy(info.text, text.constData(), MaxTalkBytes);
    info.style = style;
    Protocol.Talk.Encode(info);
    SendPacket();
}

GmRoomList::Room MakeRoom(std::int16_t room, const QByteArray& name, bool hasPassword)
{
    GmRoomList::Room r;
    r.room = room;
    std::strncpy(r.name, name.constData(), MaxRoomNameBytes);
    r.hasPassword = hasPassword;
    return r;
}

GmRoomUser::Member MakeMember(std::int16_t clientId, const QByteArray& name, std::uint8_t flag)
{
    GmRoomUser::Member m;
    m.clientID = clientId;
    std::strncpy(m.name, name.constData(), MaxUserNameBytes);
    m.flag = flag;
    return m;
}

QByteArray Sjis(const char* utf8)
{
    const auto bytes = cp932::FromUtf8(utf8);
    return bytes ? QByteArray::fromStdString(*bytes) : QByteArray();
}
