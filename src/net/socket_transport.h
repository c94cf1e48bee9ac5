#pragma once
// The real transport: a TCP connection (IPv4 or IPv6) with optional TLS. Every wait - connect,
// handshake, read, write - ends after the time-out or at once when the abort signal fires.

#include "net/socket_platform.h"
#include "net/transport.h"

#include <memory>

namespace brevio {

class TAbortSignal;
class TTlsSession;

class TSocketTransport : public TTransport {
public:
    // `abort` may be null. `timeoutSeconds` <= 0 waits without limit.
    TSocketTransport(TAbortSignal* abort, int timeoutSeconds);
    ~TSocketTransport() override;
    TSocketTransport(const TSocketTransport&) = delete;
    TSocketTransport& operator=(const TSocketTransport&) = delete;

    // Tries every address of the host in turn. Raises EAlreadyConnected when open, ESocketError
    // (11001 unknown host, 10061 refused, 10060 time-out, ...) or EUserAbort.
    void Open(const QString& host, int port) override;
    bool IsOpen() const override;
    qsizetype Receive(char* buffer, qsizetype capacity) override;
    void Send(const char* data, qsizetype size) override;
    // Raises ETlsError when the handshake or the certificate check fails, EReadTimeout or
    // EUserAbort when the handshake waits too long or is aborted; the connection is closed then.
    void StartTls(const TTlsOptions& options) override;
    void Close() override;
    void SetReceiveTimeout(int seconds) override { receiveTimeoutSeconds_ = seconds; }
    // The socket has something to read (for TLS: encrypted bytes, or the peer closing).
    bool InputWaiting() const override;

    bool IsTlsActive() const { return tls_ != nullptr; }
    // SHA-256 fingerprint of the server certificate (upper-case hex) once a handshake got it.
    QString PeerFingerprint() const { return fingerprint_; }

private:
    void RequireOpen() const;
    // Waits for the socket; raises EUserAbort, or on time-out `EReadTimeout` (ESocketError
    // 10060 while connecting).
    void Wait(net::TWaitFor what, const net::TDeadline& deadline, bool connecting = false) const;
    int AbortHandle() const;
    void ConnectTo(const net::TSocketAddress& address);

    TAbortSignal* abort_;
    int timeoutSeconds_;
    int receiveTimeoutSeconds_ = 0;  // 0: timeoutSeconds_
    net::TSocketHandle socket_ = net::kInvalidSocket;
    QString host_;
    std::unique_ptr<TTlsSession> tls_;
    QString fingerprint_;
};

}  // namespace brevio
