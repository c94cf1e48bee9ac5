#include "protocol/tcp_client.h"

#include "protocol/errors.h"

namespace brevio {

TTcpClient::TTcpClient(TTransportFactory factory) : factory_(std::move(factory)) {}

void TTcpClient::Connect()
{
    if (Connected())
        throw EAlreadyConnected();
    std::unique_ptr<TTransport> transport = factory_ ? factory_() : nullptr;
    if (!transport)
        throw ESocketAllocError();
    AttachTransport(std::move(transport));
    try {
        Transport()->Open(Host, Port);
        if (Security == TSecurity::Tls)
            Transport()->StartTls(TTlsOptions{Host, CertFingerprint});
    } catch (...) {
        CloseTransport();
        throw;
    }
}

void TTcpClient::Disconnect()
{
    CloseTransport();
}

void TTcpClient::StartTlsNow()
{
    DiscardInput();
    Transport()->StartTls(TTlsOptions{Host, CertFingerprint});
}

}  // namespace brevio
