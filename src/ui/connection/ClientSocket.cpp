#include "ClientSocket.h"

#include <QSocketNotifier>
#include <QElapsedTimer>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <fcntl.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr std::size_t ReadChunk = 64 * 1024;
constexpr int MaxReadEventsPerWake = 512;
constexpr qint64 MaxReadMillisPerWake = 8;

// A link that died without a word (a suspended laptop, a dropped NAT mapping) is
// noticed within about 90 seconds: 60 idle, then 3 probes 10 seconds apart.
void EnableKeepAlive(int fd)
{
    const int on = 1, idle = 60, interval = 10, probes = 3;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}
}

// Where a lookup thread hands its answer. The thread may outlive the socket and
// even the event loop: once the socket lets go, the answer goes nowhere.
struct ClientSocket::PendingLookup {
    std::mutex Mutex;
    ClientSocket* Owner = nullptr;
};

ClientSocket::ClientSocket(QObject* parent) : QObject(parent)
{
    connectLimit_.setSingleShot(true);
    connect(&connectLimit_, &QTimer::timeout, this, [this] {
        if (fd_ >= 0 && !connected_)
            tryNextCandidate(ETIMEDOUT);
    });
}

ClientSocket::~ClientSocket()
{
    abandonLookup();
    releaseFd();
}

namespace {

// The interface of a scoped IPv6 address ("fe80::1%eth0"), by name or by number; 0 when there is none.
unsigned ScopeId(const std::string& scope)
{
    if (const unsigned byName = ::if_nametoindex(scope.c_str()); byName != 0)
        return byName;
    if (scope.empty() || scope.size() > 9 || scope.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return static_cast<unsigned>(std::stoul(scope));
}

std::optional<sockaddr_storage> NumericAddress(const std::string& text, int port)
{
    sockaddr_storage storage{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    if (inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        return storage;
    }
    std::string v6text = text;
    if (v6text.size() > 2 && v6text.front() == '[' && v6text.back() == ']')
        v6text = v6text.substr(1, v6text.size() - 2);
    std::string scope;
    if (const auto percent = v6text.find('%'); percent != std::string::npos) {
        scope = v6text.substr(percent + 1);
        v6text.resize(percent);
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (inet_pton(AF_INET6, v6text.c_str(), &v6->sin6_addr) == 1) {
        if (!scope.empty() && (v6->sin6_scope_id = ScopeId(scope)) == 0)
            return std::nullopt;   // no such interface
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        return storage;
    }
    return std::nullopt;
}

std::vector<sockaddr_storage> SystemLookup(const std::string& host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    std::vector<sockaddr_storage> addresses;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
        return addresses;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) || a->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        sockaddr_storage storage{};
        std::memcpy(&storage, a->ai_addr, a->ai_addrlen);
        addresses.push_back(storage);
    }
    ::freeaddrinfo(found);
    return addresses;
}

ClientSocket::HostLookup& LookupOverride()
{
    static ClientSocket::HostLookup lookup;
    return lookup;
}

void SetPort(sockaddr_storage& address, int port)
{
    const auto networkPort = htons(static_cast<std::uint16_t>(port));
    if (address.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&address)->sin6_port = networkPort;
    else
        reinterpret_cast<sockaddr_in*>(&address)->sin_port = networkPort;
}

}  // namespace

void ClientSocket::SetHostLookup(HostLookup lookup)
{
    LookupOverride() = std::move(lookup);
}

QString ClientSocket::Open()
{
    if (fd_ >= 0 || resolving_)
        return {};   // already resolving, connecting or connected
    if (Address.empty())
        return QStringLiteral("接続先のアドレス \"%1\" が正しくありません").arg(QString::fromLatin1(Address.c_str()));
    if (Port <= 0 || Port > 65535)
        return QStringLiteral("接続先のポート番号 %1 が正しくありません").arg(Port);
    candidates_.clear();
    if (const auto numeric = NumericAddress(Address, Port)) {
        candidates_.push_back(*numeric);
        return connectToCandidate();
    }
    return startLookup();
}

QString ClientSocket::startLookup()
{
    // getaddrinfo blocks and cannot be cancelled. It runs on a thread of its own
    // that nobody waits for, so neither a Close nor the program's exit waits for
    // a slow name server; a thread pool would be joined at exit.
    auto pending = std::make_shared<PendingLookup>();
    pending->Owner = this;
    HostLookup lookup = LookupOverride() ? LookupOverride() : HostLookup(SystemLookup);
    try {
        std::thread([pending, lookup = std::move(lookup), host = Address, gen = generation_] {
            std::vector<sockaddr_storage> addresses = lookup(host);
            const std::lock_guard lock(pending->Mutex);
            if (ClientSocket* owner = pending->Owner) {
                // Queued to the socket: dropped with it if it goes before the event runs.
                QMetaObject::invokeMethod(owner, [owner, gen, addresses = std::move(addresses)]() mutable {
                    if (gen == owner->generation_ && owner->resolving_)
                        owner->lookupFinished(std::move(addresses));
                }, Qt::QueuedConnection);
            }
        }).detach();
    } catch (const std::system_error& e) {
        return QStringLiteral("接続先のサーバ \"%1\" のアドレスを調べられません（%2）")
            .arg(QString::fromStdString(Address), QString::fromLocal8Bit(e.what()));
    }
    lookup_ = std::move(pending);
    resolving_ = true;
    return {};
}

void ClientSocket::abandonLookup()
{
    // Taken out first: when the thread is already gone, this is the last owner of the mutex.
    const std::shared_ptr<PendingLookup> pending = std::move(lookup_);
    if (!pending)
        return;
    const std::lock_guard lock(pending->Mutex);
    pending->Owner = nullptr;
}

void ClientSocket::lookupFinished(std::vector<sockaddr_storage> addresses)
{
    resolving_ = false;
    lookup_.reset();
    for (sockaddr_storage& address : addresses) {
        SetPort(address, Port);
        candidates_.push_back(address);
    }
    if (candidates_.empty()) {
        emit LookupFailed(QStringLiteral("接続先のサーバ \"%1\" のアドレスが見つかりません")
                              .arg(QString::fromStdString(Address)));
        return;
    }
    const QString failure = connectToCandidate();
    if (!failure.isEmpty())
        tryNextCandidate(errno);
}

// Starts connecting to candidates_.front(), which it takes from the list.
QString ClientSocket::connectToCandidate()
{
    const sockaddr_storage addr = candidates_.front();
    candidates_.erase(candidates_.begin());
    const socklen_t addrLength = addr.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);

    const int fd = ::socket(addr.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return QStringLiteral("非同期ソケットエラー %1").arg(errno);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    EnableKeepAlive(fd);

    fd_ = fd;
    ++generation_;
    peerClosed_ = false;
    stalled_ = false;
    closedByPeer_ = false;
    input_.clear();
    inputStart_ = 0;
    output_.clear();
    outputStart_ = 0;

    readNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    readNotifier_->setEnabled(false);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &ClientSocket::onReadable);
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &ClientSocket::onWritable);

    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), addrLength) == 0) {
        // Loopback may connect at once; still report it from the event loop like any other.
        return {};
    }
    const int err = errno;
    // An address that drops the attempt without a word (a broken route) would hold
    // the connect for minutes before the next address got its turn.
    connectLimit_.start(ConnectLimitMs);
    if (err != EINPROGRESS) {
        // Report through the error event, as an asynchronous failure would be.
        QTimer::singleShot(0, this, [this, err, gen = generation_] {
            if (gen == generation_ && fd_ >= 0 && !connected_)
                tryNextCandidate(err);
        });
    }
    return {};
}

// A failed attempt moves on to the name's next address; the last failure is reported.
void ClientSocket::tryNextCandidate(int errorCode)
{
    while (!candidates_.empty()) {
        releaseFd();
        if (connectToCandidate().isEmpty())
            return;
        errorCode = errno;
    }
    fail(errorCode);
}

void ClientSocket::finishConnect()
{
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        err = errno;
    if (err != 0) {
        tryNextCandidate(err);
        return;
    }
    connectLimit_.stop();
    connected_ = true;
    readNotifier_->setEnabled(true);
    writeNotifier_->setEnabled(false);
    emit Connected();
}

void ClientSocket::fail(int errorCode)
{
    const bool wasConnected = connected_;
    releaseFd();
    if (wasConnected)
        emit Disconnected();
    emit Error(errorCode);
}

void ClientSocket::Close()
{
    if (resolving_) {
        resolving_ = false;
        abandonLookup();
        ++generation_;   // the answer of the lookup is dropped
    }
    candidates_.clear();
    if (fd_ < 0)
        return;
    const bool wasConnected = connected_;
    releaseFd();
    if (wasConnected)
        emit Disconnected();
}

void ClientSocket::releaseFd()
{
    connectLimit_.stop();
    readNotifier_.reset();
    writeNotifier_.reset();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    connected_ = false;
    peerClosed_ = false;
    stalled_ = false;
    ++generation_;
    input_.clear();
    inputStart_ = 0;
    output_.clear();
    outputStart_ = 0;
}

void ClientSocket::onWritable()
{
    if (fd_ < 0)
        return;
    if (!connected_) {
        finishConnect();
        return;
    }
    flushOutput();
    if (fd_ >= 0 && QueuedOutput() == 0)
        emit Writable();
}

void ClientSocket::fillInput()
{
    // Compact before growing so the buffer stays the size of what is really waiting.
    if (inputStart_ > 0 && (inputStart_ == input_.size() || inputStart_ > ReadChunk)) {
        input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(inputStart_));
        inputStart_ = 0;
    }
    for (int round = 0; round < 16 && !peerClosed_; ++round) {
        const std::size_t old = input_.size();
        input_.resize(old + ReadChunk);
        const ssize_t got = ::recv(fd_, input_.data() + old, ReadChunk, 0);
        if (got > 0) {
            input_.resize(old + static_cast<std::size_t>(got));
            stalled_ = false;
            if (static_cast<std::size_t>(got) < ReadChunk)
                break;
            continue;
        }
        input_.resize(old);
        if (got == 0) {
            peerClosed_ = true;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            peerClosed_ = true;
            lastError_ = errno;
        }
        break;
    }
}

void ClientSocket::onReadable()
{
    if (fd_ < 0)
        return;
    fillInput();
    deliverReads();
}

void ClientSocket::deliverReads()
{
    if (fd_ < 0)
        return;
    const std::uint64_t gen = generation_;
    // Each emission is one read event taking at most one frame. Several run per
    // wake-up so a flood costs few system calls and wake-ups, but never for long
    // enough to stall the window.
    QElapsedTimer clock;
    clock.start();
    bool progressed = false;
    for (int events = 0; events < MaxReadEventsPerWake; ++events) {
        const int before = ReceiveLength();
        if (before == 0 && peerClosed_)
            break;
        // A handler may open a modal box. Its nested loop gets no readable
        // notice for bytes already taken from the kernel, so a queued read
        // event stands ready to go on with them there; when no box opens, this
        // loop or that event takes them, whichever comes first.
        scheduleRead();
        emit ReadReady();
        if (gen != generation_ || fd_ < 0)
            return;   // the handler closed the connection
        const int after = ReceiveLength();
        progressed = after < before;
        stalled_ = !progressed;
        if (after == 0 || !progressed || clock.elapsed() >= MaxReadMillisPerWake)
            break;
    }
    if (ReceiveLength() > 0 && progressed) {
        scheduleRead();   // more frames wait
        return;
    }
    if (peerClosed_) {
        // Everything the peer sent has been offered; now the connection is gone.
        const int err = lastError_;
        lastError_ = 0;
        closedByPeer_ = true;
        if (err != 0)
            fail(err);
        else
            Close();
        return;
    }
    if (readNotifier_)
        readNotifier_->setEnabled(true);
}

void ClientSocket::scheduleRead()
{
    if (readScheduled_)
        return;
    readScheduled_ = true;
    if (readNotifier_)
        readNotifier_->setEnabled(false);   // the queued event drains our buffer first
    QTimer::singleShot(0, this, [this, gen = generation_] {
        readScheduled_ = false;
        if (gen != generation_ || fd_ < 0)
            return;
        if ((ReceiveLength() == 0 || stalled_) && !peerClosed_) {
            // The read loop that queued this event took everything it could; wait for the kernel.
            if (readNotifier_)
                readNotifier_->setEnabled(true);
            return;
        }
        deliverReads();
    });
}

int ClientSocket::ReceiveLength()
{
    return static_cast<int>(input_.size() - inputStart_);
}

int ClientSocket::ReceiveBuf(std::uint8_t* buffer, int n)
{
    const int take = std::min(n, ReceiveLength());
    if (take <= 0)
        return 0;
    std::memcpy(buffer, input_.data() + inputStart_, static_cast<std::size_t>(take));
    inputStart_ += static_cast<std::size_t>(take);
    return take;
}

void ClientSocket::SendBuf(const std::uint8_t* data, int n)
{
    if (fd_ < 0 || !connected_ || n <= 0)
        return;
    if (QueuedOutput() == 0) {
        const ssize_t sent = ::send(fd_, data, static_cast<std::size_t>(n), MSG_NOSIGNAL);
        if (sent == n)
            return;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            // The read side reports the broken connection; nothing more to send here.
            return;
        }
        const std::size_t done = sent > 0 ? static_cast<std::size_t>(sent) : 0;
        data += done;
        n -= static_cast<int>(done);
    }
    output_.insert(output_.end(), data, data + n);
    if (QueuedOutput() > MaxQueuedOutput) {
        emit OutputOverflow();
        return;
    }
    if (writeNotifier_)
        writeNotifier_->setEnabled(true);
}

void ClientSocket::flushOutput()
{
    while (QueuedOutput() > 0) {
        const ssize_t sent = ::send(fd_, output_.data() + outputStart_, QueuedOutput(), MSG_NOSIGNAL);
        if (sent <= 0)
            break;
        outputStart_ += static_cast<std::size_t>(sent);
    }
    if (QueuedOutput() == 0) {
        output_.clear();
        outputStart_ = 0;
        if (writeNotifier_)
            writeNotifier_->setEnabled(false);
    } else if (outputStart_ > MaxQueuedOutput) {
        output_.erase(output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(outputStart_));
        outputStart_ = 0;
    }
}
