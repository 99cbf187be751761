#include "ServerClient.h"

#include <QTcpSocket>

ServerClient::ServerClient(QTcpSocket* socket, ClientId id, GmPacket& inbox, qint64 maxPendingOutput,
                           QObject* parent)
    : QObject(parent)
    , socket_(socket)
    , source_(*socket)
    , inbox_(inbox)
    , id_(id)
    , maxPendingOutput_(maxPendingOutput)
    , peer_(QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort()))
{
    socket_->setParent(this);
    connect(socket_, &QTcpSocket::readyRead, this, &ServerClient::ReadFrames);
    connect(socket_, &QTcpSocket::disconnected, this, [this] { Drop(QStringLiteral("closed by peer")); });
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        Drop(error == QAbstractSocket::RemoteHostClosedError ? QStringLiteral("closed by peer")
                                                             : socket_->errorString());
    });
}

void ServerClient::Send(const GmPacket& packet)
{
    if (closing_)
        return;
    socket_->write(reinterpret_cast<const char*>(packet.Data()), packet.GetLength());
    if (socket_->bytesToWrite() > maxPendingOutput_)
        Drop(QStringLiteral("not reading (more than %1 bytes queued)").arg(maxPendingOutput_));
}

void ServerClient::Drop(const QString& reason)
{
    if (closing_)
        return;
    closing_ = true;
    closeReason_ = reason;
    QMetaObject::invokeMethod(this, &ServerClient::AnnounceGone, Qt::QueuedConnection);
}

void ServerClient::Close()
{
    closing_ = true;
    socket_->abort();
}

void ServerClient::ReadFrames()
{
    // readyRead is not raised again for bytes already buffered, so take every whole frame now.
    while (!closing_) {
        if (!HeaderAcceptable()) {
            Drop(QStringLiteral("bad frame length"));
            return;
        }
        switch (receiver_.ReadOne(source_, inbox_)) {
        case ReceiveResult::Waiting:
            return;
        case ReceiveResult::Frame:
            emit frameArrived(this);
            break;
        case ReceiveResult::Dropped:
        case ReceiveResult::OutOfStep:
            Drop(QStringLiteral("bad frame length"));
            return;
        }
    }
}

bool ServerClient::HeaderAcceptable()
{
    // Judged as soon as the two length bytes are in, rather than after waiting for a
    // body that a refused frame would be thrown away with anyway.
    if (receiver_.PendingLength != 0 || socket_->bytesAvailable() < 2)
        return true;
    std::uint8_t header[2] = {};
    if (socket_->peek(reinterpret_cast<char*>(header), 2) != 2)
        return true;
    const int length = (header[0] << 8) | header[1];
    return length >= FrameHeaderSize && length <= MaxFrameLength;
}

void ServerClient::AnnounceGone()
{
    if (goneAnnounced_)
        return;
    goneAnnounced_ = true;
    emit gone(this);
}
