#pragma once

#include <memory>

#include "server/TcpSocket.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/LoopbackPort.h"

// A listening TcpSocket on a free port, a LoopbackClient connected to it and the accepted TcpSocket: the
// two ends of one real loopback connection.
struct AcceptedPair {
    AcceptedPair() {
        for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
            const int candidate = FreePort();
            if (candidate != 0 && listener.Listen(candidate) == 1) {
                port = candidate;
            }
        }
        if (port != 0) {
            client = std::make_unique<LoopbackClient>(port);
            accepted = listener.Accept(server) == 1 && client->Connected();
        }
    }
    ~AcceptedPair() {
        server.Close();
        listener.Close();
    }

    TcpSocket listener;
    TcpSocket server;
    std::unique_ptr<LoopbackClient> client;
    int port = 0;
    bool accepted = false;
};
