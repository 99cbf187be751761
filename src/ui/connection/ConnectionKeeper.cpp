#include "ConnectionKeeper.h"

#include "ClientSocket.h"
#include "SjisText.h"

#include <QNetworkInformation>

#include <algorithm>
#include <climits>

ConnectionKeeper::ConnectionKeeper(ClientSocket& socket, ReconnectTiming timing, std::function<double()> random,
                                   QObject* parent)
    : QObject(parent), socket_(socket), backoff_(timing, std::move(random))
{
    wait_.setSingleShot(true);
    connect(&wait_, &QTimer::timeout, this, &ConnectionKeeper::attempt);
    tick_.setInterval(1000);
    connect(&tick_, &QTimer::timeout, this, &ConnectionKeeper::StatusChanged);
    handshake_.setSingleShot(true);
    connect(&handshake_, &QTimer::timeout, this, &ConnectionKeeper::onHandshakeExpired);
    connect(&socket_, &ClientSocket::Disconnected, this, &ConnectionKeeper::onDisconnected);
    connect(&socket_, &ClientSocket::Error, this, &ConnectionKeeper::onError);
    connect(&socket_, &ClientSocket::LookupFailed, this, &ConnectionKeeper::onError);
    connect(&socket_, &ClientSocket::Connected, this, &ConnectionKeeper::onConnected);
}

void ConnectionKeeper::SetTiming(ReconnectTiming timing, std::function<double()> random)
{
    backoff_ = ReconnectBackoff(timing, std::move(random));
}

void ConnectionKeeper::Stop()
{
    wait_.stop();
    tick_.stop();
    state_ = State::Idle;
    retryOnClose_ = false;
    oldSessionLingers_ = false;
    backoff_.Reset();
    emit StatusChanged();
}

void ConnectionKeeper::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    if (!enabled && Retrying())
        Stop();
}

void ConnectionKeeper::LoggedIn()
{
    handshake_.stop();
    loggedIn_ = true;
    sessionUp_.start();
    if (state_ == State::Attempting)
        state_ = State::Idle;
    oldSessionLingers_ = false;
    emit StatusChanged();
}

void ConnectionKeeper::onConnected()
{
    loggedIn_ = false;
    handshake_.start(static_cast<int>(std::min<std::int64_t>(backoff_.Timing().HandshakeLimitMs, INT_MAX)));
    emit StatusChanged();
}

void ConnectionKeeper::onHandshakeExpired()
{
    if (!socket_.Active() || loggedIn_)
        return;
    if (state_ == State::Attempting) {
        // A failed attempt like any other: the close schedules the next one.
        retryOnClose_ = true;
        socket_.Close();
        return;
    }
    const QString message = QStringLiteral("接続先のサーバ %1 が応答しません").arg(hostText());
    socket_.Close();
    emit NoAnswer(message);
}

bool ConnectionKeeper::SameNameRefused()
{
    if (state_ != State::Attempting)
        return false;
    if (!oldSessionLingers_) {
        oldSessionLingers_ = true;
        sameNameSince_.start();
    }
    if (sameNameSince_.elapsed() >= backoff_.Timing().SameNameWindowMs) {
        Stop();
        return false;
    }
    retryOnClose_ = true;
    return true;
}

void ConnectionKeeper::NetworkOnline()
{
    if (state_ != State::Waiting)
        return;
    wait_.stop();
    attempt();
}

void ConnectionKeeper::onDisconnected()
{
    handshake_.stop();
    if (loggedIn_) {
        loggedIn_ = false;
        backoff_.SessionEnded(sessionUp_.elapsed());
    }
    if (retryOnClose_) {
        retryOnClose_ = false;
        scheduleNext();
        return;
    }
    if (!socket_.ClosedByPeer()) {
        // Closed on purpose: by the user, by GmClose or after a refusal.
        if (state_ != State::Idle)
            Stop();
        return;
    }
    if (state_ == State::Idle) {
        lostAt_ = QDateTime::currentDateTime();
        emit ConnectionLost();
    }
    if (enabled_)
        scheduleNext();
}

void ConnectionKeeper::onError()
{
    // An attempt that did not connect (or whose server name did not resolve); a
    // connection that broke was handled as a loss.
    if (state_ == State::Attempting && !socket_.Active() && !socket_.Connecting())
        scheduleNext();
}

void ConnectionKeeper::scheduleNext()
{
    state_ = State::Waiting;
    wait_.start(static_cast<int>(backoff_.NextDelayMs()));
    tick_.start();
    watchNetwork();
    emit StatusChanged();
}

void ConnectionKeeper::attempt()
{
    tick_.stop();
    if (state_ != State::Waiting)
        return;
    if (socket_.Active() || socket_.Connecting()) {
        state_ = State::Idle;   // a connection was opened meanwhile by other means
        emit StatusChanged();
        return;
    }
    state_ = State::Attempting;
    if (!socket_.Open().isEmpty())
        state_ = State::Idle;   // the address itself is refused: nothing to retry
    emit StatusChanged();
}

void ConnectionKeeper::watchNetwork()
{
    // Loaded only once a wait begins: most runs never need it.
    if (watchingNetwork_)
        return;
    watchingNetwork_ = true;
    if (!QNetworkInformation::loadDefaultBackend())
        return;
    // Only a change to online counts: a backend may repeat the state it already had.
    auto* info = QNetworkInformation::instance();
    connect(info, &QNetworkInformation::reachabilityChanged, this,
            [this, last = info->reachability()](QNetworkInformation::Reachability now) mutable {
                const bool cameBack = now == QNetworkInformation::Reachability::Online &&
                                      last != QNetworkInformation::Reachability::Online;
                last = now;
                if (cameBack)
                    NetworkOnline();
            });
}

QString ConnectionKeeper::hostText() const
{
    QString host = FromSjis(socket_.Address);
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
        host = QLatin1Char('[') + host + QLatin1Char(']');   // an IPv6 address
    return QStringLiteral("%1:%2").arg(host).arg(socket_.Port);
}

QString ConnectionKeeper::StatusText() const
{
    if (state_ == State::Waiting) {
        const int seconds = (wait_.remainingTime() + 999) / 1000;
        const QString lost = QStringLiteral("%1 に接続が切れました ― ").arg(lostAt_.toString(QStringLiteral("HH:mm")));
        const QString lingers = oldSessionLingers_ ? QStringLiteral("サーバに前の接続が残っています。") : QString();
        return lost + lingers +
               QStringLiteral("%1 秒後に再接続します（%2 回目）").arg(std::max(0, seconds)).arg(backoff_.Attempt());
    }
    if (socket_.Active() && loggedIn_)
        return QStringLiteral("%1 に接続済み").arg(hostText());
    if (socket_.Active() || socket_.Connecting()) {
        if (state_ == State::Attempting)
            return QStringLiteral("%1 に再接続しています...（%2 回目）").arg(hostText()).arg(backoff_.Attempt());
        return QStringLiteral("%1 に接続中...").arg(hostText());
    }
    return QStringLiteral("未接続");
}
