#pragma once
// A server on a free loopback port, quiet, with no keep-alive unless a test asks for it.

#include "ChatServer.h"

#include <memory>

inline ServerOptions TestOptions()
{
    ServerOptions options;
    options.bindAddress = QHostAddress(QHostAddress::LocalHost);
    options.port = 0;
    options.lifeIntervalSeconds = 0;
    options.logging = false;
    return options;
}

inline std::unique_ptr<ChatServer> StartServer(const ServerOptions& options = TestOptions())
{
    auto server = std::make_unique<ChatServer>(options);
    if (!server->Listen())
        return nullptr;
    return server;
}
