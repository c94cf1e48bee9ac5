// IDLE (RFC 2177): the client tells the server it is waiting, and the server sends untagged
// responses (EXISTS, EXPUNGE, FETCH) as the selected folder changes, until the client sends DONE.
#include "imap/imap_client.h"

#include "imap/imap_errors.h"
#include "net/errors.h"

namespace brevio {

namespace {

using Code = TImapReplyCode;

// Puts the transport back on its own time-out however the wait ends.
class TReceiveTimeout {
public:
    TReceiveTimeout(TLineChannel& channel, int seconds) : channel_(channel) { channel_.SetReceiveTimeout(seconds); }
    ~TReceiveTimeout() { channel_.SetReceiveTimeout(0); }
    TReceiveTimeout(const TReceiveTimeout&) = delete;
    TReceiveTimeout& operator=(const TReceiveTimeout&) = delete;

private:
    TLineChannel& channel_;
};

}  // namespace

TImapCommandResult TImap4Client::StartIdle(const TUntaggedHandler& onUntagged)
{
    RequireState({TImapConnectionState::Selected});
    const QByteArray tag = QueueCommand("IDLE", {});
    FlushCommands();
    // The reader stops at the go-ahead as well as at the command's completion.
    const TReply reply = ReadTaggedReply(tag, {Code::Continuation, Code::Ok, Code::No, Code::Bad}, onUntagged);
    if (ImapReplyCode(reply) != Code::Continuation) {
        // A completion without the go-ahead, even OK, means the server is not idling.
        return {false, reply.JoinedText()};
    }
    idleTag_ = tag;
    return {true, {}};
}

TImap4Client::TIdleWait TImap4Client::WaitDuringIdle(int seconds)
{
    if (idleTag_.isEmpty())
        throw EWrongStateError(ImapStateName(state_));
    QByteArray response;
    {
        const TReceiveTimeout timeout(channel_, seconds);
        try {
            response = ReadResponse();
        } catch (const EReadTimeout&) {
            return {TIdleEvent::TimedOut, {}};
        }
    }
    if (response.startsWith('*'))
        return {TIdleEvent::Untagged, response.mid(2)};
    // A second go-ahead says nothing new.
    if (response.startsWith('+'))
        return {TIdleEvent::Untagged, {}};
    const std::optional<TImapCompletion> completion = SplitCompletion(response, idleTag_);
    if (!completion || !ImapStatusCode(completion->Status))
        FailUnrecognized();
    idleTag_.clear();
    return {TIdleEvent::Ended, completion->Text};
}

TImapCommandResult TImap4Client::EndIdle(const TUntaggedHandler& onUntagged)
{
    if (idleTag_.isEmpty())
        return {false, {}};
    const QByteArray tag = idleTag_;
    idleTag_.clear();
    channel_.QueueLine("DONE");
    FlushCommands();
    return ResultOf(ReadTaggedReply(tag, {Code::Ok, Code::No, Code::Bad}, onUntagged));
}

}  // namespace brevio
