#pragma once
// A small POP3 server on loopback, run on a thread of its own, for window tests that need real
// rows. It serves a fixed list of messages and records deletions; in silent mode it accepts the
// connection and never answers, like a server that hangs.

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <atomic>
#include <thread>

namespace brevio::test {

struct TFakeMessage {
    QByteArray Subject;
    int Size = 0;
};

class TFakePop3Server {
public:
    explicit TFakePop3Server(QList<TFakeMessage> messages, bool silent = false);
    ~TFakePop3Server();

    int Port() const { return port_; }
    // Message numbers the client deleted with DELE followed by QUIT, in order.
    QList<int> Deleted() const;
    int Connections() const { return connections_.load(); }
    // From now on PASS is refused, as for a wrong password.
    void RefuseLogin() { refuseLogin_ = true; }
    // From now on DELE is refused.
    void RefuseDelete() { refuseDelete_ = true; }

private:
    void Serve();
    void Talk(int fd);

    QList<TFakeMessage> messages_;
    bool silent_;
    int listenFd_ = -1;
    int wakeFds_[2]{-1, -1};
    int port_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<bool> refuseLogin_{false};
    std::atomic<bool> refuseDelete_{false};
    mutable QMutex mutex_;
    QList<int> deleted_;
    std::thread thread_;
};

}  // namespace brevio::test
