// The protocol-independent entry points of one mailbox's check and delete.

#include "engine/mailbox.h"
#include "net/socket_transport.h"
#include "support/check_context.h"

namespace brevio {

namespace {

// The transport of every connection: the caller's (tests) or a real socket that honours the
// run's abort request and network time-out.
TTransportFactory EffectiveFactory(TCheckContext& context, const TTransportFactory& factory)
{
    if (factory)
        return factory;
    return [&context] {
        return std::make_unique<TSocketTransport>(context.Abort(), context.NetworkTimeoutSeconds());
    };
}

}  // namespace

void TMailBox::Check(TCheckContext& context, const TTransportFactory& factory)
{
    ClearMessages();
    if (Protocol == TMailProtocol::POP3)
        CheckPOP3(context, EffectiveFactory(context, factory));
    else
        CheckIMAP4(context, EffectiveFactory(context, factory));
}

void TMailBox::DeleteMarked(TCheckContext& context, const TTransportFactory& factory)
{
    if (Protocol == TMailProtocol::POP3)
        DeletePOP3(context, EffectiveFactory(context, factory));
    else
        DeleteIMAP4(context, EffectiveFactory(context, factory));
}

}  // namespace brevio
