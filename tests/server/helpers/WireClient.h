#pragma once
// A scripted client for the server tests: writes exact bytes, and cuts the server's
// frames off the stream by itself rather than with the frame code under test.

#include "GmMessages.h"

#include <QByteArray>
#include <QList>
#include <QTcpSocket>

#include <memory>

class WireClient {
public:
    static constexpr int Timeout = 20000;   // generous: the machine may be busy

    bool Connect(quint16 port);
    bool IsConnected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    void Close() { socket_.abort(); }

    void Write(const QByteArray& bytes);
    void SendReady(int major = 1, int minor = 1, int patch = 1);
    void SendConnect(const QByteArray& name);
    void SendCreateRoom(const QByteArray& name, const QByteArray& password = {});
    void SendEnterRoom(int room, const QByteArray& name = {}, const QByteArray& password = {});
    void SendRetire(int room);
    void SendTalk(int room, const QByteArray& text);

    // The next frame as it came off the wire; empty if none came in time.
    QByteArray NextFrame();
    // The next frame, loaded into `protocol` for decoding, if it has that type.
    bool Expect(GmType type);
    // Skips frames of other types until one of `type` arrives and is loaded into `protocol`.
    bool SkipTo(GmType type);
    bool WaitDisconnected();
    qsizetype FramesWaiting() const { return frames_.size(); }

    // GmReady and GmConnect; takes the answers, the room list and the user count.
    // Returns the client identifier, or -1 when something else came.
    int Login(const QByteArray& name);
    // Asks for a room that does not exist and checks that its refusal is the very next
    // frame: whatever the server should not have sent before it would show up here.
    bool Sync();
    static QByteArray SyncAnswer();

    std::unique_ptr<GmProtocol> protocol = std::make_unique<GmProtocol>();

private:
    void SendPacket();
    void TakeFrames();

    QTcpSocket socket_;
    QByteArray buffer_;
    QList<QByteArray> frames_;
};

// Frame bytes from a readable hex string such as "00 07 01 01 01 01 01".
QByteArray Hex(const char* spaced);
// A whole frame: header with the right length, type, payload.
QByteArray Frame(int type, const QByteArray& payload);
