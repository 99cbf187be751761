#include "ExpectedFrames.h"

#include "WireClient.h"

QByteArray ShortBytes(int value)
{
    QByteArray bytes;
    bytes.append(static_cast<char>((value >> 8) & 0xff));
    bytes.append(static_cast<char>(value & 0xff));
    return bytes;
}

QByteArray StringBytes(const QByteArray& text)
{
    return QByteArray(1, static_cast<char>(text.size())) + text;
}

static QByteArray Byte(int value)
{
    return QByteArray(1, static_cast<char>(value));
}

QByteArray AReadyFrame(int status, int clientId, const QByteArray& message)
{
    return Frame(2, Byte(status) + StringBytes(message) + StringBytes({}) + ShortBytes(clientId));
}

QByteArray AConnectFrame(int status, const QByteArray& message)
{
    return Frame(11, Byte(status) + StringBytes(message));
}

QByteArray UserCountFrame(int count)
{
    return Frame(12, ShortBytes(count));
}

QByteArray RoomListFrame(const QList<ListedRoom>& rooms)
{
    QByteArray payload = ShortBytes(static_cast<int>(rooms.size()));
    for (const ListedRoom& room : rooms)
        payload += Byte(room.room) + Byte(0) + StringBytes(room.name) + Byte(room.hasPassword ? 1 : 0);
    return Frame(13, payload);
}

QByteArray RoomRemovedFrame(int room)
{
    return RoomListFrame({{room, {}, false}});
}

QByteArray MembersFrame(int room, const QList<std::pair<int, QByteArray>>& members)
{
    QByteArray payload = Byte(room) + ShortBytes(static_cast<int>(members.size()));
    for (const auto& [id, name] : members)
        payload += ShortBytes(id) + StringBytes(name) + Byte(0);
    return Frame(14, payload);
}

QByteArray ACreateRoomFrame(int status)
{
    return Frame(16, Byte(status));
}

QByteArray AEnterRoomFrame(int room, int status)
{
    return Frame(18, Byte(room) + Byte(status));
}

QByteArray RetireUserFrame(int room, int clientId)
{
    return Frame(20, Byte(room) + ShortBytes(clientId));
}

QByteArray TalkFrame(int room, int clientId, const QByteArray& name, const QByteArray& text, int style)
{
    return Frame(21, Byte(room) + ShortBytes(clientId) + StringBytes(name) + StringBytes(text) + Byte(style));
}

QByteArray LobbyName()
{
    return QByteArray::fromHex("91d28d878eba");
}
