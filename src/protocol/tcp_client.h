#pragma once
// A connection to one server: host, port and security, and the transport it runs over. The
// transport comes from a factory so that production code gets a socket and tests a script.

#include "protocol/tcp_connection.h"
#include "protocol/transport.h"

#include <QString>
#include <functional>
#include <memory>

namespace brevio {

// Makes a new, unopened transport for each connection attempt.
using TTransportFactory = std::function<std::unique_ptr<TTransport>()>;

class TTcpClient : public TTcpConnection {
public:
    explicit TTcpClient(TTransportFactory factory);

    QString Host;
    int Port = 0;
    TSecurity Security = TSecurity::None;
    QString CertFingerprint;  // SHA-256 hex of a certificate the user trusts; empty: none

    // Opens the connection to Host:Port; with TSecurity::Tls the TLS handshake follows at once.
    // Raises EAlreadyConnected when connected, and whatever the transport raises.
    void Connect();
    // Closes the connection; safe when not connected.
    virtual void Disconnect();
    bool Connected() { return TransportConnected(); }

protected:
    // Drops anything received so far and runs the TLS handshake on the open connection. Bytes
    // a server sends after its go-ahead and before the handshake must never be taken as
    // protected data.
    void StartTlsNow();

private:
    TTransportFactory factory_;
};

}  // namespace brevio
