#pragma once
// Server frames spelled out byte by byte, independently of the message encoders,
// so that a test compares what went over the wire with what should have.

#include <QByteArray>
#include <QList>

#include <utility>

QByteArray ShortBytes(int value);
QByteArray StringBytes(const QByteArray& text);   // length byte, then the bytes

QByteArray AReadyFrame(int status, int clientId, const QByteArray& message = {});
QByteArray AConnectFrame(int status, const QByteArray& message = {});
QByteArray UserCountFrame(int count);
struct ListedRoom {
    int room;
    QByteArray name;     // empty: removed
    bool hasPassword = false;
};
QByteArray RoomListFrame(const QList<ListedRoom>& rooms);
QByteArray RoomRemovedFrame(int room);
QByteArray MembersFrame(int room, const QList<std::pair<int, QByteArray>>& members);
QByteArray ACreateRoomFrame(int status);
QByteArray AEnterRoomFrame(int room, int status);
QByteArray RetireUserFrame(int room, int clientId);
QByteArray TalkFrame(int room, int clientId, const QByteArray& name, const QByteArray& text, int style = 0);

// The lobby's name in CP932 (待合室).
QByteArray LobbyName();
