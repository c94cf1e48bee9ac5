#include "engine/mailbox_probe.h"

#include "imap/imap_client.h"
#include "net/socket_transport.h"
#include "engine/failure_text.h"
#include "pop3/pop3_client.h"
#include "support/abort_signal.h"

#include <type_traits>

namespace brevio {

namespace {

template <class TClient>
void Configure(const TProbeTarget& target, TClient& client)
{
    client.Host = target.Host;
    client.Port = target.Port;
    client.Security = target.Security;
    client.CertFingerprint = target.CertFingerprint;
}

// Logs in and counts; the client is left for the caller to close.
template <class TClient, class TCount>
TProbeResult Run(TClient& client, const TProbeTarget& target, const TStringTable& strings, const TCount& count)
{
    client.Connect();
    const TLoginReply reply = client.Login(target.UserName, target.Password);
    if (!reply.LoggedIn())
        return {TProbeOutcome::LoginRefused, FailureText(reply.Refusal, strings), 0, std::nullopt};
    TProbeResult result{TProbeOutcome::Ok, {}, count(client), std::nullopt};
    if constexpr (std::is_same_v<TClient, TImap4Client>)
        result.IdleOffered = client.HasCapability("IDLE");
    client.Disconnect();
    return result;
}

template <class TClient>
void CloseQuietly(TClient& client)
{
    try {
        if (client.Connected())
            client.Disconnect();
    } catch (...) {
    }
}

template <class TClient, class TCount>
TProbeResult Probe(const TProbeTarget& target, TAbortSignal* abort, const TTransportFactory& factory,
                   const TStringTable& strings, const TCount& count)
{
    TClient client(factory);
    Configure(target, client);
    TProbeResult result;
    try {
        result = Run(client, target, strings, count);
    } catch (const ETlsError& e) {
        result = {TProbeOutcome::Failed, FailureText(e, strings), 0, e.Certificate()};
    } catch (const EUserAbort&) {
        result = {TProbeOutcome::Aborted, {}, 0, std::nullopt};
    } catch (const std::exception& e) {
        result = {TProbeOutcome::Failed, FailureText(e, strings), 0, std::nullopt};
    }
    // A failure caused by the abort (a socket woken by it) is the abort, not a fault.
    if (abort && abort->IsTriggered())
        result = {TProbeOutcome::Aborted, {}, 0, std::nullopt};
    CloseQuietly(client);
    return result;
}

}  // namespace

TProbeResult ProbeMailBox(const TProbeTarget& target, TAbortSignal* abort, int timeoutSeconds,
                          const TTransportFactory& factory, const TStringTable& strings)
{
    TTransportFactory effective = factory;
    if (!effective)
        effective = [abort, timeoutSeconds] { return std::make_unique<TSocketTransport>(abort, timeoutSeconds); };
    if (target.Protocol == TMailProtocol::POP3)
        return Probe<TPop3Client>(target, abort, effective, strings, [](TPop3Client& c) { return c.CountMessages(); });
    return Probe<TImap4Client>(target, abort, effective, strings, [](TImap4Client& c) {
        c.SelectFolder(QByteArrayLiteral("INBOX"));
        return c.SelectedMailBox().TotalMessages;
    });
}

}  // namespace brevio
