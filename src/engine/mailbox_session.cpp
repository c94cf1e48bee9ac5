// The protocol-independent entry points of one mailbox's check and delete.

#include "engine/mailbox_session.h"

#include "engine/mailbox_client_setup.h"
#include "net/socket_transport.h"
#include "engine/check_context.h"

namespace brevio {

namespace {

// The transport of every connection: the caller's (tests) or a real socket that honours the
// run's abort request and network time-out.
TTransportFactory EffectiveFactory(TCheckContext& context, const TTransportFactory& factory)
{
    if (factory)
        return factory;
    return [&context] {
        return std::make_unique<TSocketTransport>(context.AbortSignal(), context.NetworkTimeoutSeconds());
    };
}

}  // namespace

QList<TFoundMessage> CheckMailBox(const TMailBoxSettings& settings, TCheckContext& context,
                                  const TTransportFactory& factory, QString* trustedFingerprint, bool* complete)
{
    bool listedAll = false;
    QList<TFoundMessage> found = settings.Protocol == TMailProtocol::POP3
        ? CheckPop3(settings, context, EffectiveFactory(context, factory), trustedFingerprint, listedAll)
        : CheckImap4(settings, context, EffectiveFactory(context, factory), trustedFingerprint, listedAll);
    if (complete)
        *complete = listedAll;
    return found;
}

void DeleteMessages(const TMailBoxSettings& settings, const QList<TMessageIdentity>& messages, TCheckContext& context,
                    const TTransportFactory& factory, QString* trustedFingerprint)
{
    if (messages.isEmpty())
        return;
    if (settings.Protocol == TMailProtocol::POP3)
        DeletePop3(settings, messages, context, EffectiveFactory(context, factory), trustedFingerprint);
    else
        DeleteImap4(settings, messages, context, EffectiveFactory(context, factory), trustedFingerprint);
}

}  // namespace brevio
