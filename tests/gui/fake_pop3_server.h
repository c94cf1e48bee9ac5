#pragma once
// A small POP3 server on the tests' loopback server, for window tests that need real rows. It
// serves a fixed list of messages and records deletions; in silent mode it accepts the
// connection and never answers, like a server that hangs.

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <atomic>

#include "support/tls_test_server.h"

namespace brevio::test {

struct TFakeMessage {
    QByteArray Subject;
    int Size = 0;
};

class TFakePop3Server {
public:
    explicit TFakePop3Server(QList<TFakeMessage> messages, bool silent = false);

    int Port() const { return server_.Port(); }
    // Message numbers the client deleted with DELE followed by QUIT, in order.
    QList<int> Deleted() const;
    int Connections() const { return connections_.load(); }
    // From now on PASS is refused, as for a wrong password (or accepted again).
    void RefuseLogin(bool refuse = true) { refuseLogin_ = refuse; }
    // A message arrives: connections from now on list it last.
    void Deliver(const TFakeMessage& message);
    // From now on DELE is refused.
    void RefuseDelete() { refuseDelete_ = true; }

private:
    void Talk(TServerConnection& connection);

    QList<TFakeMessage> messages_;
    bool silent_;
    std::atomic<int> connections_{0};
    std::atomic<bool> refuseLogin_{false};
    std::atomic<bool> refuseDelete_{false};
    mutable QMutex mutex_;
    QList<int> deleted_;
    // Last, so it stops serving before anything it serves with goes.
    TLoopbackServer server_;
};

}  // namespace brevio::test
