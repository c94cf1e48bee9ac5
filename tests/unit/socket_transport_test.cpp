// The socket transport against real loopback servers.
#include "net/errors.h"
#include "net/socket_transport.h"
#include "support/abort_signal.h"
#include "support/tls_test_server.h"
#include "support/transport_test_io.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

using namespace brevio;
using namespace brevio::test;

namespace {

// A loopback port that refuses connections: bound, so no one else takes it, but not listening.
struct TClosedPort {
    int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port = 0;
    TClosedPort()
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(socket, reinterpret_cast<sockaddr*>(&a), length);
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&a), &length);
        port = ntohs(a.sin_port);
    }
    ~TClosedPort() { ::close(socket); }
};

}  // namespace

TEST(SocketTransport, OpenFailuresCarryClassicCodes)
{
    TClosedPort closed;
    struct Case {
        QString host;
        int port;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {QStringLiteral("127.0.0.1"), closed.port, 10061, "Socket Error # 10061\r\nConnection refused."},
        {QStringLiteral("nonexistent.invalid"), 110, 11001, "Socket Error # 11001\r\nHost not found."},
        {QStringLiteral("   "), 110, 11001, "Socket Error # 11001\r\nHost not found."},
        {QStringLiteral("127.0.0.1"), 0, 10049, "Socket Error # 10049\r\nCannot assign requested address."},
    };
    for (const auto& c : cases) {
        TSocketTransport t(nullptr, 5);
        try {
            t.Open(c.host, c.port);
            ADD_FAILURE() << "opened " << c.host.toStdString();
        } catch (const ESocketError& e) {
            EXPECT_EQ(e.LastError(), c.code) << c.host.toStdString();
            EXPECT_EQ(e.Message(), QString::fromLatin1(c.message));
        }
        EXPECT_FALSE(t.IsOpen());
    }
}

TEST(SocketTransport, HostFormsReachTheServer)
{
    // "localhost" in any letter case stands for the IPv4 loopback address; blanks around a name
    // and brackets around an IPv6 literal are not part of it.
    const char* ipv4Hosts[] = {"127.0.0.1", "localhost", "LOCALHOST", "LocalHost", " 127.0.0.1 "};
    for (const char* host : ipv4Hosts) {
        TLoopbackServer server("127.0.0.1");
        ASSERT_TRUE(server.IsListening());
        server.Serve([](TServerConnection& c) {
            c.Write("+OK hello\r\n");
            if (c.ReadLine() != "QUIT")
                throw std::runtime_error("unexpected command");
        });
        TSocketTransport t(nullptr, 10);
        t.Open(QString::fromLatin1(host), server.Port());
        EXPECT_TRUE(t.IsOpen());
        EXPECT_EQ(ReceiveLine(t), "+OK hello") << host;
        SendText(t, "QUIT\r\n");
        EXPECT_EQ(server.Join(), QString()) << host;
        t.Close();
        EXPECT_FALSE(t.IsOpen());
    }
}

TEST(SocketTransport, Ipv6Loopback)
{
    for (const char* host : {"::1", "[::1]"}) {
        TLoopbackServer server("::1");
        if (!server.IsListening())
            GTEST_SKIP() << "no IPv6 loopback here";
        server.Serve([](TServerConnection& c) { c.Write("* OK ready\r\n"); });
        TSocketTransport t(nullptr, 10);
        t.Open(QString::fromLatin1(host), server.Port());
        EXPECT_EQ(ReceiveLine(t), "* OK ready") << host;
        EXPECT_EQ(server.Join(), QString());
    }
}

TEST(SocketTransport, PeerCloseDeliversDataThenZero)
{
    TLoopbackServer server;
    server.Serve([](TServerConnection& c) {
        c.Write("+OK bye\r\n");
        c.Close();
    });
    TSocketTransport t(nullptr, 10);
    t.Open(QStringLiteral("127.0.0.1"), server.Port());
    EXPECT_EQ(ReceiveLine(t), "+OK bye");
    char buffer[64];
    EXPECT_EQ(t.Receive(buffer, sizeof buffer), 0);
    EXPECT_EQ(t.Receive(buffer, sizeof buffer), 0);  // stays closed, no error
    EXPECT_EQ(server.Join(), QString());
}

TEST(SocketTransport, SilentServerTimesOutTheRead)
{
    TLoopbackServer server;
    server.Serve([](TServerConnection& c) { c.WaitForClose(); });
    TSocketTransport t(nullptr, 1);
    t.Open(QStringLiteral("127.0.0.1"), server.Port());
    char buffer[16];
    EXPECT_THROW(t.Receive(buffer, sizeof buffer), EReadTimeout);
    t.Close();
    EXPECT_EQ(server.Join(), QString());
}

TEST(SocketTransport, AbortFromAnotherThreadWakesABlockedRead)
{
    TAbortSignal abort;
    TLoopbackServer server;
    // The server triggers the abort once the client has sent its first line (so the connect
    // itself is never aborted); the client is then waiting for a reply that never comes (or
    // about to), with a time-out far beyond the test's.
    server.Serve([&abort](TServerConnection& c) {
        c.ReadLine();
        abort.Trigger();
        c.WaitForClose();
    });
    TSocketTransport t(&abort, 600);
    t.Open(QStringLiteral("127.0.0.1"), server.Port());
    SendText(t, "WAIT\r\n");
    const auto start = std::chrono::steady_clock::now();
    char buffer[16];
    EXPECT_THROW(t.Receive(buffer, sizeof buffer), EUserAbort);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_THROW(SendText(t, "NOOP\r\n"), EUserAbort);

    // After a reset the same connection works again.
    abort.Reset();
    SendText(t, "NOOP\r\n");
    t.Close();
    EXPECT_EQ(server.Join(), QString());
}

TEST(SocketTransport, LargeSendArrivesWhole)
{
    // Far more than the socket buffers hold, so the sender must wait for room several times.
    const QByteArray payload(8 * 1024 * 1024, 'x');
    TLoopbackServer server;
    qsizetype received = 0;
    server.Serve([&received](TServerConnection& c) {
        for (;;) {
            const QByteArray line = c.ReadLine();
            if (line == "END")
                break;
            received += line.size();
        }
        c.Write("+OK\r\n");
    });
    TSocketTransport t(nullptr, 10);
    t.Open(QStringLiteral("127.0.0.1"), server.Port());
    SendText(t, payload + "\r\nEND\r\n");
    EXPECT_EQ(ReceiveLine(t), "+OK");
    EXPECT_EQ(server.Join(), QString());
    EXPECT_EQ(received, payload.size());
}

TEST(SocketTransport, MisuseOfTheConnectionState)
{
    TSocketTransport t(nullptr, 10);
    char buffer[4];
    EXPECT_THROW(t.Receive(buffer, sizeof buffer), ENotConnected);
    EXPECT_THROW(t.Send("x", 1), ENotConnected);
    EXPECT_THROW(t.StartTls({}), ENotConnected);
    t.Close();  // harmless when closed

    TLoopbackServer server;
    server.Serve([](TServerConnection& c) { c.WaitForClose(); });
    t.Open(QStringLiteral("127.0.0.1"), server.Port());
    EXPECT_THROW(t.Open(QStringLiteral("127.0.0.1"), server.Port()), EAlreadyConnected);
    t.Close();
    EXPECT_EQ(server.Join(), QString());
}

// A listener whose queue is full drops further connection requests, so a connect to it waits.
// Returns false when this system completes such a connect anyway.
struct TFullBacklog {
    TLoopbackServer server{"127.0.0.1", 0};
    std::vector<int> fillers;
    bool Fill()
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(server.Port()));
        for (int i = 0; i < 8; ++i) {
            const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            fillers.push_back(s);
            ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
            pollfd p{s, POLLOUT, 0};
            if (::poll(&p, 1, 200) == 0)
                return true;  // this one hangs: the queue is full
        }
        return false;
    }
    ~TFullBacklog()
    {
        for (int s : fillers)
            ::close(s);
    }
};

TEST(SocketTransport, ConnectTimesOutAndCanBeAborted)
{
    TFullBacklog backlog;
    if (!backlog.server.IsListening() || !backlog.Fill())
        GTEST_SKIP() << "cannot make a connect wait on this system";

    TSocketTransport timed(nullptr, 1);
    try {
        timed.Open(QStringLiteral("127.0.0.1"), backlog.server.Port());
        ADD_FAILURE() << "connected";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.LastError(), 10060);
        EXPECT_EQ(e.Message(), QStringLiteral("Socket Error # 10060\r\nConnection timed out."));
    }
    EXPECT_FALSE(timed.IsOpen());

    TAbortSignal abort;
    std::thread trigger([&abort] { abort.Trigger(); });
    TSocketTransport aborted(&abort, 600);
    EXPECT_THROW(aborted.Open(QStringLiteral("127.0.0.1"), backlog.server.Port()), EUserAbort);
    trigger.join();
    EXPECT_FALSE(aborted.IsOpen());
}

TEST(AbortSignal, WaitHandleIsReadableExactlyWhileTriggered)
{
    TAbortSignal abort;
    auto readable = [&abort] {
        pollfd p{abort.WaitHandle(), POLLIN, 0};
        return ::poll(&p, 1, 0) == 1;
    };
    EXPECT_FALSE(readable());
    EXPECT_NO_THROW(abort.ThrowIfTriggered());
    abort.Trigger();
    abort.Trigger();  // a second trigger changes nothing
    EXPECT_TRUE(abort.IsTriggered());
    EXPECT_TRUE(readable());
    EXPECT_THROW(abort.ThrowIfTriggered(), EUserAbort);
    abort.Reset();
    EXPECT_FALSE(abort.IsTriggered());
    EXPECT_FALSE(readable());
    EXPECT_NO_THROW(abort.ThrowIfTriggered());
}

namespace {

// A held abort survives the reset that starts each mailbox, so closing the window ends the
// whole run; a plain abort ends one mailbox only.
TEST(AbortSignal, HeldAbortOutlivesTheResetBetweenMailBoxes)
{
    TAbortSignal plain;
    plain.Trigger();
    plain.Reset();
    EXPECT_FALSE(plain.IsTriggered());

    TAbortSignal held;
    held.TriggerAndHold();
    held.Reset();
    EXPECT_TRUE(held.IsTriggered());
    EXPECT_THROW(held.ThrowIfTriggered(), EUserAbort);
    pollfd wake{held.WaitHandle(), POLLIN, 0};
    EXPECT_EQ(::poll(&wake, 1, 0), 1);  // blocked socket waits still wake

    held.Release();
    EXPECT_FALSE(held.IsTriggered());
    EXPECT_EQ(::poll(&wake, 1, 0), 0);
}

}  // namespace
