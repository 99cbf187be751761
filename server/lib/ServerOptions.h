#pragma once
// Settings of one server instance, filled from the command line or by tests.

#include <QHostAddress>
#include <QStringView>

#include <array>
#include <optional>

using VersionTriple = std::array<int, 3>;

struct ServerOptions {
    QHostAddress bindAddress{QHostAddress::LocalHost};
    quint16 port = 9010;             // 0: any free port
    int lifeIntervalSeconds = 60;    // keep-alive period; 0: none
    VersionTriple minVersion{0, 0, 0};   // older clients are asked to update
    int maxUsers = 1000;             // logged-in users
    qint64 maxPendingOutput = 1 << 20;   // bytes queued for one client before it is dropped
    bool logging = true;             // one line per connection event on stderr
};

// "a.b.c" with each part 0..255, as the client announces it.
std::optional<VersionTriple> ParseVersion(QStringView text);
