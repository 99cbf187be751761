#include "ChatServer.h"

#include "Cp932Texts.h"
#include "FixedText.h"
#include "ServerClient.h"
#include "ServerLog.h"
#include "TextRules.h"

#include <QTcpSocket>

#include <algorithm>

namespace {

enum ConnectStatus : std::uint8_t {
    ConnectOk = 0,
    ConnectMessage = 1,
    ConnectNameTaken = 2,
    ConnectFull = 5,
};

enum CreateStatus : std::uint8_t {
    CreateOk = 0,
    CreateFailed = 1,
    CreateTooManyOfOwn = 2,
    CreateNoFreeRoom = 3,
};

enum EnterStatus : std::uint8_t {
    EnterOk = 0,
    EnterNoSuchRoom = 1,
    EnterAlreadyIn = 2,
    EnterWrongPassword = 3,
};

enum ReadyStatus : std::uint8_t {
    ReadyOk = 0,
    ReadyUpdateNeeded = 2,
};

bool OlderThan(const std::int16_t (&version)[3], const VersionTriple& minimum)
{
    return std::lexicographical_compare(std::begin(version), std::end(version), minimum.begin(),
                                        minimum.end());
}

QString VersionText(const std::int16_t (&version)[3])
{
    return QStringLiteral("%1.%2.%3").arg(version[0]).arg(version[1]).arg(version[2]);
}

} // namespace

ChatServer::ChatServer(ServerOptions options, QObject* parent)
    : QObject(parent)
    , options_(std::move(options))
{
    rooms_.Create(kvtext::LobbyRoomName, {}, false, NoClient);
    connect(&listener_, &QTcpServer::newConnection, this, &ChatServer::AcceptPending);
    connect(&lifeTimer_, &QTimer::timeout, this, &ChatServer::SendLife);
}

ChatServer::~ChatServer()
{
    // The clients are children of this object; their sockets must not call back into a
    // half-destroyed server.
    for (auto& [id, client] : clients_) {
        client->disconnect(this);
        client->Close();
    }
}

bool ChatServer::Listen()
{
    if (!listener_.listen(options_.bindAddress, options_.port))
        return false;
    if (options_.lifeIntervalSeconds > 0)
        lifeTimer_.start(options_.lifeIntervalSeconds * 1000);
    return true;
}

void ChatServer::AcceptPending()
{
    while (QTcpSocket* socket = listener_.nextPendingConnection()) {
        const auto id = NextClientId();
        if (!id) {
            Log(QStringLiteral("refused %1:%2: no free client identifier")
                    .arg(socket->peerAddress().toString())
                    .arg(socket->peerPort()));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* client = new ServerClient(socket, *id, in_.Packet, options_.maxPendingOutput, this);
        clients_[*id] = client;
        connect(client, &ServerClient::frameArrived, this, &ChatServer::HandleFrame);
        connect(client, &ServerClient::gone, this, &ChatServer::ForgetClient);
        Log(QStringLiteral("client %1 connected from %2").arg(*id).arg(client->PeerText()));
    }
}

void ChatServer::HandleFrame(ServerClient* client)
{
    switch (in_.Packet.Type()) {
    case GmTypeReady:
        HandleReady(*client);
        break;
    case GmTypeConnect:
        HandleConnect(*client);
        break;
    case GmTypeCreateRoom:
        HandleCreateRoom(*client);
        break;
    case GmTypeEnterRoom:
        HandleEnterRoom(*client);
        break;
    case GmTypeRetire:
        HandleRetire(*client);
        break;
    case GmTypeTalk:
        HandleTalk(*client);
        break;
    default:
        break;   // not a message a client sends
    }
}

void ChatServer::ForgetClient(ServerClient* client)
{
    const ClientId id = client->Id();
    if (FindClient(id) != client)
        return;
    clients_.erase(id);

    for (const std::int16_t number : rooms_.RoomsOf(id)) {
        if (Room* room = rooms_.Find(number))
            Leave(id, *room);
    }
    rooms_.ForgetCreator(id);
    if (client->CurrentStage() == ServerClient::Stage::LoggedIn) {
        --userCount_;
        AnnounceUserCount();
    }

    const QString reason = client->CloseReason();
    Log(QStringLiteral("client %1 disconnected: %2").arg(id).arg(reason));
    client->disconnect(this);
    client->Close();
    client->deleteLater();
    emit connectionClosed(id, reason);
}

void ChatServer::HandleReady(ServerClient& client)
{
    GmReady::Info ready;
    if (client.CurrentStage() != ServerClient::Stage::Greeting || !in_.Ready.Decode(ready))
        return;

    GmAReady::Info answer;
    answer.clientID = client.Id();
    if (OlderThan(ready.version, options_.minVersion)) {
        answer.status = ReadyUpdateNeeded;
        CopyText(answer.message, kvtext::NewerVersionRequired);
        client.SetStage(ServerClient::Stage::Refused);
        Log(QStringLiteral("client %1 refused: version %2 is too old").arg(client.Id()).arg(VersionText(ready.version)));
    } else {
        answer.status = ReadyOk;
        client.SetStage(ServerClient::Stage::Ready);
    }
    out_.AReady.Encode(answer);
    client.Send(out_.Packet);
}

void ChatServer::HandleConnect(ServerClient& client)
{
    GmConnect::Info request;
    if (client.CurrentStage() != ServerClient::Stage::Ready || !in_.Connect.Decode(request))
        return;

    const std::string name(FieldText(request.name));
    if (!IsValidName(name)) {
        AnswerConnect(client, ConnectMessage, kvtext::NameRefused);
        Log(QStringLiteral("client %1 login refused: invalid name").arg(client.Id()));
        return;
    }
    const bool taken = std::any_of(clients_.begin(), clients_.end(), [&](const auto& entry) {
        const ServerClient* other = entry.second;
        return other->CurrentStage() == ServerClient::Stage::LoggedIn && other->Name() == name;
    });
    if (taken) {
        AnswerConnect(client, ConnectNameTaken);
        Log(QStringLiteral("client %1 login refused: %2 is already logged in").arg(client.Id()).arg(PrintableText(name)));
        return;
    }
    if (userCount_ >= options_.maxUsers) {
        AnswerConnect(client, ConnectFull);
        Log(QStringLiteral("client %1 login refused: server full").arg(client.Id()));
        return;
    }

    client.SetName(name);
    client.SetStage(ServerClient::Stage::LoggedIn);
    ++userCount_;
    Log(QStringLiteral("client %1 logged in as %2").arg(client.Id()).arg(PrintableText(name)));
    AnswerConnect(client, ConnectOk);
    SendWholeRoomList(client);
    AnnounceUserCount();
}

void ChatServer::HandleCreateRoom(ServerClient& client)
{
    GmCreateRoom::Info request;
    if (client.CurrentStage() != ServerClient::Stage::LoggedIn || !in_.CreateRoom.Decode(request))
        return;

    const std::string_view name = FieldText(request.name);
    std::uint8_t status = CreateOk;
    const std::string_view password = FieldText(request.password);
    if (!IsValidName(name) || !IsValidPassword(password) || rooms_.FindByName(name))
        status = CreateFailed;
    else if (rooms_.CountCreatedBy(client.Id()) >= MaxRoomsPerUser)
        status = CreateTooManyOfOwn;
    else if (!rooms_.FreeNumber())
        status = CreateNoFreeRoom;

    GmACreateRoom::Info answer;
    answer.status = status;
    out_.ACreateRoom.Encode(answer);
    client.Send(out_.Packet);
    if (status != CreateOk)
        return;

    Room& room = rooms_.Create(name, password, true, client.Id());
    AnnounceRoom(room, false);
    Enter(client, room);
}

void ChatServer::HandleEnterRoom(ServerClient& client)
{
    GmEnterRoom::Info request;
    if (client.CurrentStage() != ServerClient::Stage::LoggedIn || !in_.EnterRoom.Decode(request))
        return;

    const std::string_view name = FieldText(request.name);
    Room* room = name.empty() ? rooms_.Find(request.room) : rooms_.FindByName(name);
    if (!room) {
        // The answer names a room the client can decode: the one asked for, when it could exist.
        const bool plausible = name.empty() && request.room < RoomTable::RoomCount;
        AnswerEnterRoom(client, plausible ? request.room : 0, EnterNoSuchRoom);
        return;
    }
    if (room->HasMember(client.Id())) {
        AnswerEnterRoom(client, room->number, EnterAlreadyIn);
        return;
    }
    if (!room->Accepts(FieldText(request.password))) {
        AnswerEnterRoom(client, room->number, EnterWrongPassword);
        return;
    }
    AnswerEnterRoom(client, room->number, EnterOk);
    Enter(client, *room);
}

void ChatServer::HandleRetire(ServerClient& client)
{
    GmRetire::Info request;
    if (client.CurrentStage() != ServerClient::Stage::LoggedIn || !in_.Retire.Decode(request))
        return;
    Room* room = rooms_.Find(request.room);
    if (room && room->HasMember(client.Id()))
        Leave(client.Id(), *room);
}

void ChatServer::HandleTalk(ServerClient& client)
{
    GmTalk::Info talk;
    if (client.CurrentStage() != ServerClient::Stage::LoggedIn || !in_.Talk.Decode(talk))
        return;
    const Room* room = rooms_.Find(talk.room);
    if (!room || !room->HasMember(client.Id()))
        return;

    // Who spoke is the server's word, not the sender's.
    talk.clientID = client.Id();
    CopyText(talk.name, client.Name());
    talk.style = 0;
    out_.Talk.Encode(talk);
    SendToMembers(*room, out_.Packet);
}

void ChatServer::AnswerConnect(ServerClient& client, std::uint8_t status, std::string_view message)
{
    GmAConnect::Info answer;
    answer.status = status;
    CopyText(answer.message, message);
    out_.AConnect.Encode(answer);
    client.Send(out_.Packet);
}

void ChatServer::AnswerEnterRoom(ServerClient& client, std::int16_t room, std::uint8_t status)
{
    GmAEnterRoom::Info answer;
    answer.room = room;
    answer.status = status;
    out_.AEnterRoom.Encode(answer);
    client.Send(out_.Packet);
}

void ChatServer::Enter(ServerClient& client, Room& room)
{
    room.AddMember(client.Id());
    SendMembers(client, room);

    GmRoomUser::Info arrival;
    arrival.room = room.number;
    arrival.count = 1;
    arrival.members[0].clientID = client.Id();
    CopyText(arrival.members[0].name, client.Name());
    out_.RoomUser.Encode(arrival);
    for (const ClientId id : room.members) {
        if (ServerClient* member = FindClient(id); member && id != client.Id())
            member->Send(out_.Packet);
    }
}

void ChatServer::Leave(ClientId id, Room& room)
{
    GmRetireUser::Info departure;
    departure.room = room.number;
    departure.clientID = id;
    out_.RetireUser.Encode(departure);
    SendToMembers(room, out_.Packet);
    room.RemoveMember(id);

    if (room.members.empty() && room.userCreated) {
        AnnounceRoom(room, true);
        rooms_.Remove(room.number);
    }
}

void ChatServer::SendWholeRoomList(ServerClient& client)
{
    // The client reads at most MaxRoomEntries entries per message.
    const auto all = rooms_.All();
    GmRoomList::Info list;
    for (std::size_t first = 0; first < all.size(); first += MaxRoomEntries) {
        const std::size_t count = std::min<std::size_t>(MaxRoomEntries, all.size() - first);
        list.count = static_cast<std::int16_t>(count);
        for (std::size_t i = 0; i < count; ++i) {
            const Room& room = *all[first + i];
            GmRoomList::Room& entry = list.rooms[i];
            entry.room = room.number;
            entry.attribute = 0;
            CopyText(entry.name, room.name);
            entry.hasPassword = !room.password.empty();
        }
        out_.RoomList.Encode(list);
        client.Send(out_.Packet);
    }
}

void ChatServer::AnnounceRoom(const Room& room, bool removed)
{
    GmRoomList::Info list;
    list.count = 1;
    list.rooms[0].room = room.number;
    list.rooms[0].attribute = 0;
    CopyText(list.rooms[0].name, removed ? std::string_view() : std::string_view(room.name));
    list.rooms[0].hasPassword = !removed && !room.password.empty();
    out_.RoomList.Encode(list);
    SendToLoggedIn(out_.Packet);
}

void ChatServer::SendMembers(ServerClient& client, const Room& room)
{
    // The client reads at most MaxRoomMembers members per message; it adds each list to the tab.
    GmRoomUser::Info list;
    list.room = room.number;
    const std::size_t total = room.members.size();
    for (std::size_t first = 0; first < total; first += MaxRoomMembers) {
        const std::size_t count = std::min<std::size_t>(MaxRoomMembers, total - first);
        list.count = static_cast<std::int16_t>(count);
        for (std::size_t i = 0; i < count; ++i) {
            const ClientId id = room.members[first + i];
            const ServerClient* member = FindClient(id);
            list.members[i].clientID = id;
            CopyText(list.members[i].name, member ? std::string_view(member->Name()) : std::string_view());
            list.members[i].flag = 0;
        }
        out_.RoomUser.Encode(list);
        client.Send(out_.Packet);
    }
}

void ChatServer::AnnounceUserCount()
{
    GmUserCount::Info count;
    count.count = userCount_;
    out_.UserCount.Encode(count);
    SendToLoggedIn(out_.Packet);
    emit userCountChanged(userCount_);
}

void ChatServer::SendLife()
{
    out_.Life.Encode();
    for (const auto& [id, client] : clients_)
        client->Send(out_.Packet);
}

void ChatServer::SendToLoggedIn(const GmPacket& packet)
{
    for (const auto& [id, client] : clients_) {
        if (client->CurrentStage() == ServerClient::Stage::LoggedIn)
            client->Send(packet);
    }
}

void ChatServer::SendToMembers(const Room& room, const GmPacket& packet)
{
    for (const ClientId id : room.members) {
        if (ServerClient* member = FindClient(id))
            member->Send(packet);
    }
}

ServerClient* ChatServer::FindClient(ClientId id) const
{
    const auto it = clients_.find(id);
    return it == clients_.end() ? nullptr : it->second;
}

std::optional<ClientId> ChatServer::NextClientId()
{
    constexpr int MaxId = 32767;
    for (int tries = 0; tries < MaxId; ++tries) {
        lastId_ = lastId_ >= MaxId ? 1 : lastId_ + 1;
        const auto id = static_cast<ClientId>(lastId_);
        if (!clients_.contains(id))
            return id;
    }
    return std::nullopt;
}

void ChatServer::Log(const QString& line) const
{
    if (options_.logging)
        LogLine(line);
}
