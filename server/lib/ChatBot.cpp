#include "ChatBot.h"

#include "FixedText.h"

namespace {

std::string_view View(const QByteArray& bytes)
{
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QByteArray Bytes(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

ChatBot::ChatBot(QByteArray name, QObject* parent)
    : QObject(parent)
    , name_(std::move(name))
{
    connect(&socket_, &QTcpSocket::connected, this, [this] {
        reachedServer_ = true;
        SendHello();
    });
    connect(&socket_, &QTcpSocket::readyRead, this, &ChatBot::ReadFrames);
    connect(&socket_, &QTcpSocket::disconnected, this, [this] {
        loggedIn_ = false;
        emit disconnected();
    });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        // A failed connect raises no disconnected signal of its own.
        if (!reachedServer_ && socket_.state() == QAbstractSocket::UnconnectedState)
            emit disconnected();
    });
}

void ChatBot::ConnectTo(const QString& host, quint16 port)
{
    receiver_.Reset();
    reachedServer_ = false;
    socket_.connectToHost(host, port);
}

void ChatBot::Disconnect()
{
    socket_.disconnectFromHost();
}

void ChatBot::EnterRoom(const QByteArray& name, const QByteArray& password)
{
    GmEnterRoom::Info request;
    request.room = 0;
    CopyText(request.name, View(name));
    CopyText(request.password, View(password));
    protocol_.EnterRoom.Encode(request);
    SendOrQueue();
}

void ChatBot::EnterRoomNumber(int room, const QByteArray& password)
{
    GmEnterRoom::Info request;
    request.room = static_cast<std::int16_t>(room);
    CopyText(request.password, View(password));
    protocol_.EnterRoom.Encode(request);
    SendOrQueue();
}

void ChatBot::CreateRoom(const QByteArray& name, const QByteArray& password)
{
    GmCreateRoom::Info request;
    request.kind = 2;
    CopyText(request.name, View(name));
    CopyText(request.password, View(password));
    protocol_.CreateRoom.Encode(request);
    SendOrQueue();
}

void ChatBot::Retire(int room)
{
    GmRetire::Info request;
    request.room = static_cast<std::int16_t>(room);
    protocol_.Retire.Encode(request);
    SendOrQueue();
}

void ChatBot::Say(int room, const QByteArray& text)
{
    GmTalk::Info talk;
    talk.room = static_cast<std::int16_t>(room);
    talk.clientID = clientId_;
    CopyText(talk.name, View(name_));
    CopyText(talk.text, View(text));
    talk.style = 0;
    protocol_.Talk.Encode(talk);
    SendOrQueue();
}

bool ChatBot::Say(const QByteArray& text)
{
    if (joined_.isEmpty())
        return false;
    Say(joined_.first(), text);
    return true;
}

void ChatBot::SendRaw(const QByteArray& bytes)
{
    socket_.write(bytes);
}

std::optional<int> ChatBot::RoomNumber(const QByteArray& name) const
{
    for (auto it = roomList_.begin(); it != roomList_.end(); ++it) {
        if (it.value() == name)
            return it.key();
    }
    return std::nullopt;
}

void ChatBot::ClearReceived()
{
    talks_.clear();
    talkCount_ = 0;
    frameTypes_.clear();
}

void ChatBot::SendHello()
{
    GmReady::Info hello;
    hello.kind = ClientKind;
    std::copy(std::begin(ProtocolVersion), std::end(ProtocolVersion), hello.version);
    protocol_.Ready.Encode(hello);
    SendPacket();
}

void ChatBot::ReadFrames()
{
    for (;;) {
        switch (receiver_.ReadOne(source_, protocol_.Packet)) {
        case ReceiveResult::Waiting:
            return;
        case ReceiveResult::Frame:
            Dispatch();
            break;
        case ReceiveResult::Dropped:
            break;
        case ReceiveResult::OutOfStep:
            socket_.abort();
            return;
        }
        if (socket_.state() != QAbstractSocket::ConnectedState)
            return;
    }
}

void ChatBot::Dispatch()
{
    const int type = protocol_.Packet.Type();
    frameTypes_.append(type);
    switch (type) {
    case GmTypeAReady:
        OnAReady();
        break;
    case GmTypeAConnect:
        OnAConnect();
        break;
    case GmTypeUserCount: {
        GmUserCount::Info count;
        if (protocol_.UserCount.Decode(count))
            userCount_ = count.count;
        break;
    }
    case GmTypeRoomList:
        OnRoomList();
        break;
    case GmTypeRoomUser:
        OnRoomUser();
        break;
    case GmTypeACreateRoom: {
        GmACreateRoom::Info answer;
        if (protocol_.ACreateRoom.Decode(answer)) {
            lastStatus_[type] = answer.status;
            emit answerReceived(type, answer.status);
        }
        break;
    }
    case GmTypeAEnterRoom: {
        GmAEnterRoom::Info answer;
        if (protocol_.AEnterRoom.Decode(answer)) {
            lastStatus_[type] = answer.status;
            emit answerReceived(type, answer.status);
        }
        break;
    }
    case GmTypeRetireUser:
        OnRetireUser();
        break;
    case GmTypeTalk:
        OnTalk();
        break;
    case GmTypeClose:
        socket_.disconnectFromHost();
        break;
    default:
        break;
    }
    emit frameReceived(type);
}

void ChatBot::OnAReady()
{
    GmAReady::Info answer;
    if (!protocol_.AReady.Decode(answer))
        return;
    clientId_ = answer.clientID;
    lastStatus_[GmTypeAReady] = answer.status;
    if (answer.status != 0) {
        emit refused(GmTypeAReady, answer.status);
        socket_.disconnectFromHost();
        return;
    }
    GmConnect::Info login;
    CopyText(login.name, View(name_));
    protocol_.Connect.Encode(login);
    SendPacket();
}

void ChatBot::OnAConnect()
{
    GmAConnect::Info answer;
    if (!protocol_.AConnect.Decode(answer))
        return;
    lastStatus_[GmTypeAConnect] = answer.status;
    if (answer.status != 0) {
        emit refused(GmTypeAConnect, answer.status);
        socket_.disconnectFromHost();
        return;
    }
    loggedIn_ = true;
    for (const QByteArray& frame : std::as_const(waitingRequests_))
        socket_.write(frame);
    waitingRequests_.clear();
    emit loggedIn();
}

void ChatBot::OnRoomList()
{
    GmRoomList::Info list;
    if (!protocol_.RoomList.Decode(list))
        return;
    for (int i = 0; i < list.count; ++i) {
        const GmRoomList::Room& entry = list.rooms[i];
        const QByteArray name = Bytes(FieldText(entry.name));
        if (name.isEmpty()) {
            roomList_.remove(entry.room);
            ForgetRoom(entry.room);
        } else {
            roomList_[entry.room] = name;
        }
    }
}

void ChatBot::OnRoomUser()
{
    GmRoomUser::Info list;
    if (!protocol_.RoomUser.Decode(list))
        return;
    auto& members = members_[list.room];
    for (int i = 0; i < list.count; ++i)
        members[list.members[i].clientID] = Bytes(FieldText(list.members[i].name));
    if (!joined_.contains(list.room)) {
        joined_.append(list.room);
        emit roomJoined(list.room);
    }
}

void ChatBot::OnRetireUser()
{
    GmRetireUser::Info departure;
    if (!protocol_.RetireUser.Decode(departure) || !joined_.contains(departure.room))
        return;
    if (departure.clientID == clientId_)
        ForgetRoom(departure.room);
    else
        members_[departure.room].remove(departure.clientID);
}

void ChatBot::OnTalk()
{
    GmTalk::Info line;
    if (!protocol_.Talk.Decode(line))
        return;
    ReceivedTalk talk;
    talk.room = line.room;
    talk.clientId = line.clientID;
    talk.name = Bytes(FieldText(line.name));
    talk.text = Bytes(FieldText(line.text));
    talk.style = line.style;
    ++talkCount_;
    if (keepTalks_)
        talks_.append(talk);
    emit talkReceived(talk);
}

void ChatBot::SendOrQueue()
{
    if (loggedIn_)
        SendPacket();
    else
        waitingRequests_.append(QByteArray(reinterpret_cast<const char*>(protocol_.Packet.Data()),
                                           protocol_.Packet.GetLength()));
}

void ChatBot::SendPacket()
{
    socket_.write(reinterpret_cast<const char*>(protocol_.Packet.Data()), protocol_.Packet.GetLength());
}

void ChatBot::ForgetRoom(int room)
{
    members_.remove(room);
    if (joined_.removeOne(room))
        emit roomLeft(room);
}
