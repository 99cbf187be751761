#pragma once
// Mends a lost connection by itself. When a connection that was up ends without the
// user asking (the peer closed, a reset, a read error, a dead link), it waits and
// opens the socket again, doubling the wait each time; the usual handshake and the
// start-up rooms then bring the rooms back. The user's own connect, disconnect or
// exit, and every refusal by the server, stop it. The waits start again from the
// first only once a session has stayed up a while, so a server that ends every
// session right after the login is not hammered. It also gives the handshake a
// time limit and words the status bar.

#include "ReconnectBackoff.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class ClientSocket;

class ConnectionKeeper : public QObject {
    Q_OBJECT
public:
    // Connects to the socket's events; create it before anything else listens to
    // them, so a loss is known before the disconnect handling clears the tabs.
    ConnectionKeeper(ClientSocket& socket, ReconnectTiming timing = {}, std::function<double()> random = {},
                     QObject* parent = nullptr);

    // The user connects or disconnects: no automatic attempt follows.
    void Stop();
    // The server accepted the login. A later loss starts again from the first wait
    // only when the session stayed up long enough.
    void LoggedIn();
    // The server says the name is still logged in. True when this answers an
    // automatic reconnect within the waiting window: another attempt is scheduled
    // and the caller shows nothing. False when the user must be told; retrying stops.
    bool SameNameRefused();
    // The desktop reports the network back: a waiting attempt runs now.
    void NetworkOnline();

    // The user's option: off, a lost connection is reported but not opened again,
    // and an attempt that is waiting is called off.
    void SetEnabled(bool enabled);

    // Replaces the waits (tests make them short); the attempt count starts again.
    void SetTiming(ReconnectTiming timing, std::function<double()> random = {});

    // Waiting for an attempt or making one: the socket's errors are the keeper's to handle.
    bool Retrying() const { return state_ != State::Idle; }
    QString StatusText() const;

signals:
    // A connection ended by itself; raised before the disconnect handling runs.
    void ConnectionLost();
    // The user's own connect got no answer to its login in time and was closed.
    void NoAnswer(const QString& message);
    void StatusChanged();

private:
    enum class State { Idle, Waiting, Attempting };
    void onConnected();
    void onDisconnected();
    void onError();
    void onHandshakeExpired();
    void scheduleNext();
    void attempt();
    void watchNetwork();
    QString hostText() const;

    ClientSocket& socket_;
    ReconnectBackoff backoff_;
    State state_ = State::Idle;
    QTimer wait_;
    QTimer tick_;              // redraws the countdown
    QTimer handshake_;         // from the connect to the accepted login
    bool loggedIn_ = false;
    QElapsedTimer sessionUp_;  // since the login was accepted
    QDateTime lostAt_;
    bool retryOnClose_ = false;   // the coming close is a same-name refusal being waited out
    bool oldSessionLingers_ = false;
    QElapsedTimer sameNameSince_;
    bool watchingNetwork_ = false;
    bool enabled_ = true;
};
