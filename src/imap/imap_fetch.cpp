// The FETCH commands of TImap4Client: one message by number or UID, a sequence set in one
// command, and the pipelined listing, which sends several commands ahead of their replies.

#include "imap/imap_client.h"

#include "net/errors.h"
#include "net/protocol_limits.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <map>

namespace brevio {

namespace {

using State = TImapConnectionState;
using Code = TImapReplyCode;

// The ranges of a set built of numbers and "a:b" ranges; "*" (UID sets only) holds every UID
// from the other end on.
using TRanges = QList<std::pair<quint32, quint32>>;

quint32 SetNumber(const QByteArray& text)
{
    return text == "*" ? std::numeric_limits<quint32>::max() : text.toUInt();
}

TRanges SetRanges(const QByteArray& set)
{
    TRanges ranges;
    for (const QByteArray& range : set.split(',')) {
        const qsizetype colon = range.indexOf(':');
        quint32 first = SetNumber(range.left(colon < 0 ? range.size() : colon));
        quint32 last = colon < 0 ? first : SetNumber(range.mid(colon + 1));
        if (first > last)
            std::swap(first, last);
        ranges.append({first, last});
    }
    return ranges;
}

bool InRanges(const TRanges& ranges, quint32 number)
{
    for (const auto& [first, last] : ranges) {
        if (number >= first && number <= last)
            return true;
    }
    return false;
}

// What has come so far about one message of a pipelined fetch.
struct TPartialFetch {
    std::optional<quint32> Uid;
    std::optional<qint32> Size;
    bool HasHeader = false;
    TListedHeader Message;
};

// One command of a pipelined fetch, sent and not yet handed over.
struct TFetchCommand {
    QByteArray Tag;
    TRanges Ranges;
    std::map<quint32, TPartialFetch> Partial;  // by sequence number, so they come out in order
    qsizetype Bytes = 0;
    bool Completed = false;
};

// A sequence set must not hold "*": the responses are told apart by the numbers asked for, and
// the last message's number is not known here. A UID answer names its UID, so "*" may be asked.
void CheckPipelinedSets(const QList<QByteArray>& sets, bool byUid)
{
    for (const QByteArray& set : sets) {
        if (!IsValidSequenceSet(set) || (!byUid && set.contains('*')))
            throw EInvalidNumber(TFailure{TFailureKind::SequenceSetInvalid, {}});
    }
}

}  // namespace

// ---- one message ---------------------------------------------------------------------------

bool TImap4Client::MessageUid(qint32 number, QByteArray& uid)
{
    uid.clear();
    if (number < 1)
        throw EInvalidNumber(TFailure{TFailureKind::NumberBelowOne, {}});
    RequireState({State::Selected});
    std::optional<quint32> found;
    const auto takeUid = [&](const QByteArray& response) {
        const std::optional<TImapFetch> fetch = ParseFetchResponse(response);
        if (!fetch)
            return false;
        if (fetch->SequenceNumber == static_cast<quint32>(number) && fetch->Uid)
            found = fetch->Uid;
        return true;
    };
    const Code code =
        ImapReplyCode(Command("FETCH", {TImapArgument::Raw(QByteArray::number(number)), TImapArgument::Raw("(UID)")},
                              {Code::Ok, Code::No}, takeUid));
    if (code != Code::Ok || !found)
        return false;
    uid = QByteArray::number(*found);
    return true;
}

TImapReplyCode TImap4Client::FetchByUid(const QByteArray& uid, const QByteArray& items,
                                        const std::function<void(const TImapFetch&)>& onFetch)
{
    const quint32 value = CheckUid(uid);
    RequireState({State::Selected});
    const auto takeFetch = [&](const QByteArray& response) {
        const std::optional<TImapFetch> fetch = ParseFetchResponse(response);
        if (!fetch)
            return false;
        // RFC 3501 §6.4.8: UID FETCH answers always carry the UID; others are unsolicited
        // updates about other messages.
        if (fetch->Uid == value)
            onFetch(*fetch);
        return true;
    };
    return ImapReplyCode(Command("UID FETCH",
                                 {TImapArgument::Raw(QByteArray::number(value)), TImapArgument::Raw(items)},
                                 {Code::Ok, Code::No}, takeFetch));
}

bool TImap4Client::FetchFlagsByUid(const QByteArray& uid, TMessageFlags& flags)
{
    flags = {};
    bool found = false;
    const Code code = FetchByUid(uid, "(FLAGS)", [&](const TImapFetch& fetch) {
        if (fetch.Flags) {
            flags = *fetch.Flags;
            found = true;
        }
    });
    return code == Code::Ok && found;
}

bool TImap4Client::FetchHeaderByUid(const QByteArray& uid, TMailMessage& message)
{
    std::optional<QByteArray> header;
    const Code code = FetchByUid(uid, "(RFC822.HEADER)", [&](const TImapFetch& fetch) {
        if (fetch.Header)
            header = fetch.Header;
    });
    if (!header)
        return false;
    message.RawHeaders = SplitHeaderLines(*header);
    message.ParseHeaders(TrustedAuthServId);
    return code == Code::Ok;
}

qint32 TImap4Client::FetchSizeByUid(const QByteArray& uid)
{
    qint32 size = -1;
    const Code code = FetchByUid(uid, "(RFC822.SIZE)", [&](const TImapFetch& fetch) {
        if (fetch.Size)
            size = *fetch.Size;
    });
    return code == Code::Ok ? size : -1;
}

// ---- a sequence set in one command ---------------------------------------------------------

bool TImap4Client::FetchMessages(const QByteArray& sequenceSet, QList<TImapFetchedMessage>& messages)
{
    messages.clear();
    if (!IsValidSequenceSet(sequenceSet))
        throw EInvalidNumber(TFailure{TFailureKind::SequenceSetInvalid, {}});
    RequireState({State::Selected});
    qsizetype total = 0;
    QList<TImapFetchedMessage> fetched;
    const Code code = ImapReplyCode(
        Command("FETCH", {TImapArgument::Raw(sequenceSet), TImapArgument::Raw("(UID RFC822.SIZE RFC822.HEADER)")},
                {Code::Ok, Code::No}, [&](const QByteArray& response) {
                    const std::optional<TImapFetch> fetch = ParseFetchResponse(response);
                    if (!fetch)
                        return false;
                    // Flag updates and other unsolicited FETCH responses carry no header.
                    if (!fetch->Header)
                        return true;
                    total += fetch->Header->size();
                    // Raised once the whole reply has been read, so the conversation stays in step.
                    if (total > kMaxFetchTotalBytes || fetched.size() >= kMaxMessageCount)
                        throw ELineTooLong();
                    TImapFetchedMessage record;
                    record.SequenceNumber = fetch->SequenceNumber;
                    record.Message.RawHeaders = SplitHeaderLines(*fetch->Header);
                    record.Message.ParseHeaders(TrustedAuthServId);
                    record.Message.Uid = fetch->Uid.value_or(0);
                    record.Message.Size = fetch->Size.value_or(-1);
                    record.Message.Folder = selected_.Name;
                    fetched.append(std::move(record));
                    return true;
                }));
    messages = std::move(fetched);
    return code == Code::Ok;
}

// ---- pipelined -----------------------------------------------------------------------------

// One FetchPipelined call: the commands sent and not yet handed over, oldest first. A server may
// work on several of them at once (RFC 3501 §5.5), so their responses can come mixed and their
// completions in any order: each response goes to the command whose set holds its message.
class TImapPipelinedFetch {
public:
    TImapPipelinedFetch(TImap4Client& client, const QList<QByteArray>& sets, const TImapFetchOptions& options,
                        const TImap4Client::TFetchChunkHandler& onChunk, const std::function<void()>& whileServerWorks)
        : client_(client), sets_(sets), byUid_(options.ByUid), withHeader_(options.WithHeader),
          inFlight_(std::max(1, options.InFlight)), whileServerWorks_(whileServerWorks), onChunk_(onChunk)
    {
    }

    // Sends the first commands and reads until every command sent has been answered.
    bool Run()
    {
        SendMore();
        if (whileServerWorks_)
            whileServerWorks_();
        while (!commands_.empty()) {
            ReadNextResponse();
            HandOverCompleted();
        }
        return !refused_;
    }

private:
    // Queues commands until `inFlight` are unanswered or every set is asked for, then sends them.
    void SendMore()
    {
        const QByteArray verb = byUid_ ? "UID FETCH" : "FETCH";
        const QByteArray items = withHeader_ ? "(UID RFC822.SIZE RFC822.HEADER)" : "(UID RFC822.SIZE)";
        bool queued = false;
        while (!refused_ && next_ < sets_.size() && qsizetype(commands_.size()) < inFlight_) {
            TFetchCommand command;
            command.Ranges = SetRanges(sets_.at(next_));
            command.Tag = client_.QueueCommand(verb, {TImapArgument::Raw(sets_.at(next_)), TImapArgument::Raw(items)});
            commands_.push_back(std::move(command));
            ++next_;
            queued = true;
        }
        if (queued)
            client_.FlushCommands();
    }

    void ReadNextResponse()
    {
        const QByteArray response = client_.ReadResponse();
        if (response.startsWith('*'))
            TakeUntagged(response.size() > 2 ? QByteArrayView(response).sliced(2) : QByteArrayView());
        else if (response.startsWith('+'))
            client_.FailUnrecognized();
        else
            TakeCompletion(response);
    }

    // A FETCH response goes to the first unanswered command whose set holds its message.
    void TakeUntagged(QByteArrayView response)
    {
        const std::optional<TImapFetch> fetch = ParseFetchResponse(response);
        if (!fetch)
            return;
        for (TFetchCommand& command : commands_) {
            if (command.Completed || !AskedFor(command, *fetch))
                continue;
            Record(command, *fetch, response.size());
            return;
        }
    }

    // Flag updates and other responses about messages outside the sets are passed over; a UID
    // FETCH answer always names its UID (RFC 3501 §6.4.8).
    bool AskedFor(const TFetchCommand& command, const TImapFetch& fetch) const
    {
        if (!byUid_)
            return InRanges(command.Ranges, fetch.SequenceNumber);
        return fetch.Uid ? InRanges(command.Ranges, *fetch.Uid) : command.Partial.count(fetch.SequenceNumber) > 0;
    }

    // Adds what one response tells about a message to what came before about it.
    void Record(TFetchCommand& command, const TImapFetch& fetch, qsizetype responseBytes)
    {
        command.Bytes += responseBytes;
        if (command.Bytes > kMaxFetchTotalBytes || qsizetype(command.Partial.size()) >= kMaxMessageCount)
            client_.channel_.FailTooLong();
        TPartialFetch& entry = command.Partial[fetch.SequenceNumber];
        if (fetch.Uid)
            entry.Uid = fetch.Uid;
        if (fetch.Size)
            entry.Size = fetch.Size;
        if (fetch.Header && withHeader_) {
            entry.Message = ParseListedHeaderBlock(*fetch.Header, client_.TrustedAuthServId);
            entry.HasHeader = true;
        }
    }

    // A tagged completion ends the unanswered command of its tag; a refusal stops the sending.
    void TakeCompletion(const QByteArray& response)
    {
        for (TFetchCommand& command : commands_) {
            if (command.Completed)
                continue;
            const std::optional<TImapCompletion> completion = SplitCompletion(response, command.Tag);
            if (!completion)
                continue;
            const std::optional<Code> code = ImapStatusCode(completion->Status);
            if (!code || *code == Code::PreAuth)
                client_.FailUnrecognized();
            command.Completed = true;
            if (*code != Code::Ok)
                refused_ = true;
            return;
        }
        client_.FailUnrecognized();
    }

    // Completed commands are handed over in the order they were asked for; after a refusal
    // they are only taken off.
    void HandOverCompleted()
    {
        while (!commands_.empty() && commands_.front().Completed) {
            TFetchCommand command = std::move(commands_.front());
            commands_.pop_front();
            if (refused_)
                continue;
            SendMore();
            QList<TImapListedMessage> messages = ListedMessages(command);
            onChunk_(messages);
        }
    }

    // The messages of an answered command that have every item asked for (the size may be
    // missing when the header came: -1), in sequence order.
    QList<TImapListedMessage> ListedMessages(TFetchCommand& command) const
    {
        QList<TImapListedMessage> messages;
        messages.reserve(qsizetype(command.Partial.size()));
        for (auto& [number, entry] : command.Partial) {
            if (withHeader_ ? !entry.HasHeader : !entry.Size)
                continue;
            TImapListedMessage record;
            record.SequenceNumber = number;
            record.Message = std::move(entry.Message);
            record.Message.Uid = entry.Uid.value_or(0);
            record.Message.Size = entry.Size.value_or(-1);
            record.Message.Folder = client_.selected_.Name;
            messages.append(std::move(record));
        }
        command.Partial.clear();
        return messages;
    }

    TImap4Client& client_;
    const QList<QByteArray>& sets_;
    const bool byUid_;
    const bool withHeader_;
    const qsizetype inFlight_;
    const std::function<void()>& whileServerWorks_;
    const TImap4Client::TFetchChunkHandler& onChunk_;
    std::deque<TFetchCommand> commands_;
    qsizetype next_ = 0;  // the next set to ask for
    bool refused_ = false;
};

bool TImap4Client::FetchPipelined(const QList<QByteArray>& sets, const TImapFetchOptions& options,
                                  const TFetchChunkHandler& onChunk, const std::function<void()>& whileServerWorks)
{
    CheckPipelinedSets(sets, options.ByUid);
    RequireState({State::Selected});
    return TImapPipelinedFetch(*this, sets, options, onChunk, whileServerWorks).Run();
}

}  // namespace brevio
