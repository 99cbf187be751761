#pragma once
// One connection as the server sees it: frames in, frames out, and the handshake stage.
// Writes never block: what the peer does not take yet waits in the socket's buffer,
// and a peer that lets that buffer grow past the limit is dropped.

#include "FrameReceiver.h"
#include "GmPacket.h"
#include "RoomTable.h"
#include "SocketByteSource.h"

#include <QObject>
#include <QString>

#include <string>

class QTcpSocket;

class ServerClient : public QObject {
    Q_OBJECT
public:
    enum class Stage {
        Greeting,   // waiting for GmReady
        Ready,      // GmReady accepted, waiting for a good GmConnect
        LoggedIn,
        Refused,    // told to update; nothing more is handled
    };

    // Received frames are loaded into `inbox`, shared by all clients of a server:
    // each one is handled completely before the next is read.
    ServerClient(QTcpSocket* socket, ClientId id, GmPacket& inbox, qint64 maxPendingOutput,
                 QObject* parent = nullptr);

    ClientId Id() const { return id_; }
    Stage CurrentStage() const { return stage_; }
    void SetStage(Stage stage) { stage_ = stage; }
    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    QString PeerText() const { return peer_; }

    void Send(const GmPacket& packet);

    // Stops all traffic at once; `gone` follows from the event loop, so a caller in
    // the middle of a broadcast never sees the client list change under it.
    void Drop(const QString& reason);
    bool IsClosing() const { return closing_; }
    QString CloseReason() const { return closeReason_; }
    // Closes the socket for good; called by the owner once it has forgotten the client.
    void Close();

signals:
    void frameArrived(ServerClient* client);
    void gone(ServerClient* client);

private:
    void ReadFrames();
    bool HeaderAcceptable();
    void AnnounceGone();

    QTcpSocket* socket_;
    SocketByteSource source_;
    FrameReceiver receiver_;
    GmPacket& inbox_;
    ClientId id_;
    qint64 maxPendingOutput_;
    QString peer_;
    Stage stage_ = Stage::Greeting;
    std::string name_;
    bool closing_ = false;
    bool goneAnnounced_ = false;
    QString closeReason_;
};
