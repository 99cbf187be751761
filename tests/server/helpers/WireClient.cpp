#include "WireClient.h"

#include <QTest>

#include <algorithm>
#include <cstring>

namespace {

const QByteArray SyncRoomName = "no-such-room";

template <std::size_t N>
void Put(char (&field)[N], const QByteArray& text)
{
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(text.size()), N - 1);
    std::memcpy(field, text.constData(), n);
    field[n] = '\0';
}

} // namespace

QByteArray Hex(const char* spaced)
{
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

QByteArray Frame(int type, const QByteArray& payload)
{
    const int length = static_cast<int>(payload.size()) + 3;
    QByteArray frame;
    frame.append(static_cast<char>((length >> 8) & 0xff));
    frame.append(static_cast<char>(length & 0xff));
    frame.append(static_cast<char>(type));
    frame.append(payload);
    return frame;
}

bool WireClient::Connect(quint16 port)
{
    QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_, [this] { TakeFrames(); });
    socket_.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    return QTest::qWaitFor([this] { return IsConnected(); }, Timeout);
}

void WireClient::Write(const QByteArray& bytes)
{
    socket_.write(bytes);
}

void WireClient::SendReady(int major, int minor, int patch)
{
    GmReady::Info info;
    info.kind = ClientKind;
    info.version[0] = static_cast<std::int16_t>(major);
    info.version[1] = static_cast<std::int16_t>(minor);
    info.version[2] = static_cast<std::int16_t>(patch);
    protocol->Ready.Encode(info);
    SendPacket();
}

void WireClient::SendConnect(const QByteArray& name)
{
    GmConnect::Info info;
    Put(info.name, name);
    protocol->Connect.Encode(info);
    SendPacket();
}

void WireClient::SendCreateRoom(const QByteArray& name, const QByteArray& password)
{
    GmCreateRoom::Info info;
    Put(info.name, name);
    Put(info.password, password);
    protocol->CreateRoom.Encode(info);
    SendPacket();
}

void WireClient::SendEnterRoom(int room, const QByteArray& name, const QByteArray& password)
{
    GmEnterRoom::Info info;
    info.room = static_cast<std::int16_t>(room);
    Put(info.name, name);
    Put(info.password, password);
    protocol->EnterRoom.Encode(info);
    SendPacket();
}

void WireClient::SendRetire(int room)
{
    GmRetire::Info info;
    info.room = static_cast<std::int16_t>(room);
    protocol->Retire.Encode(info);
    SendPacket();
}

void WireClient::SendTalk(int room, const QByteArray& text)
{
    GmTalk::Info info;
    info.room = static_cast<std::int16_t>(room);
    Put(info.text, text);
    protocol->Talk.Encode(info);
    SendPacket();
}

QByteArray WireClient::NextFrame()
{
    if (frames_.isEmpty() && !QTest::qWaitFor([this] { return !frames_.isEmpty(); }, Timeout))
        return {};
    return frames_.takeFirst();
}

bool WireClient::Expect(GmType type)
{
    const QByteArray frame = NextFrame();
    if (frame.size() < 3 || static_cast<std::uint8_t>(frame[2]) != type)
        return false;
    return protocol->Packet.Load(reinterpret_cast<const std::uint8_t*>(frame.constData()),
                                 static_cast<int>(frame.size()));
}

bool WireClient::SkipTo(GmType type)
{
    for (;;) {
        const QByteArray frame = NextFrame();
        if (frame.isEmpty())
            return false;
        if (static_cast<std::uint8_t>(frame[2]) == type)
            return protocol->Packet.Load(reinterpret_cast<const std::uint8_t*>(frame.constData()),
                                         static_cast<int>(frame.size()));
    }
}

bool WireClient::WaitDisconnected()
{
    return QTest::qWaitFor([this] { return socket_.state() == QAbstractSocket::UnconnectedState; }, Timeout);
}

int WireClient::Login(const QByteArray& name)
{
    SendReady();
    GmAReady::Info ready;
    if (!Expect(GmTypeAReady) || !protocol->AReady.Decode(ready) || ready.status != 0)
        return -1;
    SendConnect(name);
    GmAConnect::Info answer;
    if (!Expect(GmTypeAConnect) || !protocol->AConnect.Decode(answer) || answer.status != 0)
        return -1;
    for (;;) {
        const QByteArray frame = NextFrame();
        if (frame.size() < 3)
            return -1;
        const auto type = static_cast<std::uint8_t>(frame[2]);
        if (type == GmTypeUserCount)
            return ready.clientID;
        if (type != GmTypeRoomList)
            return -1;
    }
}

QByteArray WireClient::SyncAnswer()
{
    return Hex("00 05 12 00 01");   // GmAEnterRoom: room 0, no such room
}

bool WireClient::Sync()
{
    SendEnterRoom(0, SyncRoomName);
    return NextFrame() == SyncAnswer();
}

void WireClient::SendPacket()
{
    socket_.write(reinterpret_cast<const char*>(protocol->Packet.Data()), protocol->Packet.GetLength());
}

void WireClient::TakeFrames()
{
    buffer_.append(socket_.readAll());
    while (buffer_.size() >= 2) {
        const int length = (static_cast<std::uint8_t>(buffer_[0]) << 8) | static_cast<std::uint8_t>(buffer_[1]);
        if (length < 3) {
            // The server never sends this; keep it visible as a frame of its own.
            frames_.append(buffer_.left(2));
            buffer_.remove(0, 2);
            continue;
        }
        if (buffer_.size() < length)
            return;
        frames_.append(buffer_.left(length));
        buffer_.remove(0, length);
    }
}
