#pragma once
// A protocol-level chat client without a window: runs the handshake, enters rooms, talks,
// and remembers what the server sent. Used by the bot mode, the tests and the benchmarks.

#include "FrameReceiver.h"
#include "GmMessages.h"
#include "SocketByteSource.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTcpSocket>

#include <optional>

struct ReceivedTalk {
    std::int16_t room = 0;
    std::int16_t clientId = 0;
    QByteArray name;   // CP932
    QByteArray text;   // CP932
    std::uint8_t style = 0;
};

class ChatBot : public QObject {
    Q_OBJECT
public:
    // `name` is the CP932 login name.
    explicit ChatBot(QByteArray name, QObject* parent = nullptr);

    // The handshake runs by itself: GmReady on connect, GmConnect after status 0,
    // then the rooms asked for with EnterRoom.
    void ConnectTo(const QString& host, quint16 port);
    void Disconnect();

    // Before login the request waits and goes out right after it, in the order asked.
    void EnterRoom(const QByteArray& name, const QByteArray& password = {});
    void EnterRoomNumber(int room, const QByteArray& password = {});
    void CreateRoom(const QByteArray& name, const QByteArray& password = {});
    void Retire(int room);
    void Say(int room, const QByteArray& text);
    // Into the room joined first; false when the bot is in no room.
    bool Say(const QByteArray& text);
    // Bytes exactly as given, for frames a well-behaved client would not send.
    void SendRaw(const QByteArray& bytes);
    // Only the count is kept from now on (for long runs); talkReceived still fires.
    void SetKeepTalks(bool keep) { keepTalks_ = keep; }

    const QByteArray& Name() const { return name_; }
    bool IsConnected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    bool IsLoggedIn() const { return loggedIn_; }
    std::int16_t ClientId() const { return clientId_; }
    int UserCount() const { return userCount_; }   // -1 until the server has told
    // Status of the last answer of that type (GmTypeAReady, GmTypeAConnect,
    // GmTypeACreateRoom, GmTypeAEnterRoom); -1 while none came.
    int LastStatus(GmType answerType) const { return lastStatus_.value(answerType, -1); }

    // Room list as announced: number to name.
    const QMap<int, QByteArray>& RoomList() const { return roomList_; }
    std::optional<int> RoomNumber(const QByteArray& name) const;
    // Rooms whose member list arrived and that the bot has not left, in joining order.
    const QList<int>& JoinedRooms() const { return joined_; }
    bool IsIn(int room) const { return joined_.contains(room); }
    // Members of a joined room: client identifier to name.
    QMap<std::int16_t, QByteArray> Members(int room) const { return members_.value(room); }

    const QList<ReceivedTalk>& Talks() const { return talks_; }
    qint64 TalkCount() const { return talkCount_; }
    // Type of every frame received, in order.
    const QList<int>& FrameTypes() const { return frameTypes_; }
    void ClearReceived();

signals:
    void loggedIn();
    void refused(int answerType, int status);
    void frameReceived(int type);
    void talkReceived(const ReceivedTalk& talk);
    void roomJoined(int room);
    void roomLeft(int room);
    void answerReceived(int answerType, int status);
    void disconnected();

private:
    void SendHello();
    void ReadFrames();
    void Dispatch();
    void OnAReady();
    void OnAConnect();
    void OnRoomList();
    void OnRoomUser();
    void OnRetireUser();
    void OnTalk();
    // Sends the frame in the packet now, or keeps a copy for after login.
    void SendOrQueue();
    void SendPacket();
    void ForgetRoom(int room);

    QByteArray name_;
    QTcpSocket socket_;
    SocketByteSource source_{socket_};
    FrameReceiver receiver_;
    GmProtocol protocol_;
    bool reachedServer_ = false;
    bool loggedIn_ = false;
    std::int16_t clientId_ = 0;
    int userCount_ = -1;
    bool keepTalks_ = true;
    qint64 talkCount_ = 0;
    QMap<int, int> lastStatus_;
    QMap<int, QByteArray> roomList_;
    QList<int> joined_;
    QMap<int, QMap<std::int16_t, QByteArray>> members_;
    QList<ReceivedTalk> talks_;
    QList<int> frameTypes_;
    QList<QByteArray> waitingRequests_;   // whole frames held until login
};
