#pragma once
// The chat connection's socket: a non-blocking POSIX TCP client under QSocketNotifier.
// It raises connect, disconnect, read, write and error events on the GUI thread,
// buffers what the kernel has so reads are exact, keeps unsent bytes for the next
// writability instead of dropping them, and raises the disconnect event synchronously
// when the client closes. A host name is resolved off the GUI thread, on a thread
// that nothing waits for, and each of its addresses is tried in turn, each for a
// limited time.

#include "FrameReceiver.h"

#include <QObject>
#include <QTimer>

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

class ClientSocket : public QObject, public ByteSource {
    Q_OBJECT
public:
    // Output waiting for a peer that does not read is bounded; past this the connection is closed.
    static constexpr std::size_t MaxQueuedOutput = 1024 * 1024;

    explicit ClientSocket(QObject* parent = nullptr);
    ~ClientSocket() override;

    std::string Address;   // numeric IPv4 or IPv6 address, or a host name
    int Port = 9010;
    // How long one address may take to accept before the next one is tried.
    int ConnectLimitMs = 10000;

    // A host name's addresses, in the order to try them; the port is set afterwards.
    // Runs off the GUI thread. Tests replace it; an empty function restores the system's.
    using HostLookup = std::function<std::vector<sockaddr_storage>(const std::string& host)>;
    static void SetHostLookup(HostLookup lookup);

    // Starts an asynchronous connect. Returns an empty string, or the reason it could not start.
    QString Open();
    // Closes; raises the disconnect event before returning when the connection was up.
    void Close();

    bool Active() const { return connected_; }
    bool Connecting() const { return (fd_ >= 0 || resolving_) && !connected_; }
    // The last connection ended from the far side (closed, reset, read error, dead
    // link) rather than by Close(); valid from the disconnect event to the next Open.
    bool ClosedByPeer() const { return closedByPeer_; }
    int Descriptor() const { return fd_; }

    // ByteSource: bytes already taken from the kernel and not yet read.
    int ReceiveLength() override;
    int ReceiveBuf(std::uint8_t* buffer, int n) override;

    // Hands one frame to the connection; whatever the kernel does not take now is sent later.
    void SendBuf(const std::uint8_t* data, int n);
    std::size_t QueuedOutput() const { return output_.size() - outputStart_; }

signals:
    void Connected();
    void Disconnected();
    void ReadReady();
    void Writable();
    void Error(int errorCode);
    void OutputOverflow();
    // The host name has no address; message names it.
    void LookupFailed(const QString& message);

private:
    QString startLookup();
    void abandonLookup();
    void lookupFinished(std::vector<sockaddr_storage> addresses);
    QString connectToCandidate();
    void tryNextCandidate(int errorCode);
    void onReadable();
    void onWritable();
    void finishConnect();
    void fillInput();
    void flushOutput();
    void deliverReads();
    void scheduleRead();
    void fail(int errorCode);
    void releaseFd();

    int fd_ = -1;
    bool connected_ = false;
    bool peerClosed_ = false;
    bool closedByPeer_ = false;
    bool readScheduled_ = false;
    bool stalled_ = false;   // the last read event took nothing: the rest of a frame is missing
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::vector<std::uint8_t> input_;
    std::size_t inputStart_ = 0;
    std::vector<std::uint8_t> output_;
    std::size_t outputStart_ = 0;
    int lastError_ = 0;
    std::uint64_t generation_ = 0;   // tells a scheduled read event which connection it belongs to
    bool resolving_ = false;
    struct PendingLookup;
    std::shared_ptr<PendingLookup> lookup_;      // the lookup under way, if any
    std::vector<sockaddr_storage> candidates_;   // addresses not yet tried, the next first
    QTimer connectLimit_;                        // the address being tried has this long
};
