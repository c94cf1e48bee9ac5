#include "imap/imap_client.h"

#include "net/errors.h"
#include "imap/imap_errors.h"
#include "net/protocol_limits.h"

#include <exception>

namespace brevio {

namespace {

using State = TImapConnectionState;
using Code = TImapReplyCode;

// The count of a literal announced at the end of a line ("... {123}"); nullopt when the line
// does not end in one. A count too long to read comes back as one above kMaxReplyBytes.
std::optional<qsizetype> TrailingLiteral(const QByteArray& line)
{
    if (!line.endsWith('}'))
        return std::nullopt;
    const qsizetype open = line.lastIndexOf('{');
    if (open < 0)
        return std::nullopt;
    const QByteArray digits = line.mid(open + 1, line.size() - open - 2);
    if (digits.isEmpty())
        return std::nullopt;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    if (digits.size() > 9)
        return kMaxReplyBytes + 1;
    return digits.toLongLong();
}

}  // namespace

QString ImapStateName(TImapConnectionState state)
{
    switch (state) {
    case State::Any:
        return QStringLiteral("Any");
    case State::NonAuthenticated:
        return QStringLiteral("Non Authenticated");
    case State::Authenticated:
        return QStringLiteral("Authenticated");
    case State::Selected:
        return QStringLiteral("Selected");
    case State::UnexpectedlyDisconnected:
        break;
    }
    return {};
}

TImap4Client::TImap4Client(TTransportFactory factory) : channel_(std::move(factory)) {}

TImap4Client::~TImap4Client()
{
    try {
        if (Connected())
            Disconnect();
    } catch (...) {
        // Destruction never raises; the connection is closed either way.
    }
}

void TImap4Client::FailUnrecognized()
{
    // The conversation is out of step; nothing read after this could be trusted.
    channel_.Close();
    channel_.DiscardInput();
    throw EMailClientError(TFailure{TFailureKind::ImapUnrecognizedReply, {}});
}

// ---- reading -------------------------------------------------------------------------------

QByteArray TImap4Client::ReadResponse()
{
    QByteArray response = channel_.ReadNonEmptyLine();
    QByteArray line = response;
    for (;;) {
        const std::optional<qsizetype> count = TrailingLiteral(line);
        if (!count)
            return response;
        if (*count > kMaxReplyBytes - response.size())
            channel_.FailTooLong();
        response += "\r\n";
        response += channel_.ReadBytes(*count);
        line = channel_.ReadLine();
        if (line.size() > kMaxReplyBytes - response.size())
            channel_.FailTooLong();
        response += line;
    }
}

TReply TImap4Client::ReadGreeting(const TImapReplyCodes& allowed)
{
    const QByteArray line = ReadResponse();
    QByteArray status;
    QByteArray rest;
    if (line.startsWith("* ")) {
        const QByteArray after = line.mid(2);
        const qsizetype blank = after.indexOf(' ');
        status = blank < 0 ? after : after.left(blank);
        rest = blank < 0 ? QByteArray() : after.mid(blank + 1).trimmed();
    }
    const std::optional<Code> code = ImapStatusCode(status);
    if (!code)
        FailUnrecognized();
    TReply reply;
    reply.Set("* " + status, static_cast<int>(*code));
    reply.Text.append(rest);
    CheckImapReplyCode(reply, allowed);
    return reply;
}

TReply TImap4Client::ReadTaggedReply(const QByteArray& tag, const TImapReplyCodes& allowed,
                                     const TUntaggedHandler& onUntagged)
{
    TReply reply;
    QList<QByteArray> text;
    qsizetype collected = 0;
    // A response the handler cannot accept fails the command, but only after the whole reply
    // has been read, so the conversation stays in step.
    std::exception_ptr handlerError;
    for (;;) {
        const QByteArray response = ReadResponse();
        if (response.startsWith('*')) {
            const QByteArray untagged = response.mid(2);
            if (handlerError)
                continue;
            try {
                if (onUntagged && onUntagged(untagged))
                    continue;
            } catch (const EMailClientError&) {
                handlerError = std::current_exception();
                continue;
            }
            collected += untagged.size() + 2;
            if (collected > kMaxReplyBytes)
                channel_.FailTooLong();
            text.append(untagged);
            continue;
        }
        if (response.startsWith('+')) {
            text.append(response.mid(2));
            reply.Set("+", static_cast<int>(Code::Continuation));
            reply.Text = text;
            CheckImapReplyCode(reply, allowed);
            return reply;
        }
        const std::optional<TImapCompletion> completion = SplitCompletion(response, tag);
        if (!completion)
            FailUnrecognized();
        const std::optional<Code> code = ImapStatusCode(completion->Status);
        if (!code || *code == Code::PreAuth)
            FailUnrecognized();
        text.append(completion->Text);
        reply.Set(completion->Status, static_cast<int>(*code));
        reply.Text = text;
        if (handlerError)
            std::rethrow_exception(handlerError);
        CheckImapReplyCode(reply, allowed);
        return reply;
    }
}

// ---- sending -------------------------------------------------------------------------------

TReply TImap4Client::Command(const QByteArray& verb, const QList<TImapArgument>& arguments,
                             const TImapReplyCodes& allowed, const TUntaggedHandler& onUntagged,
                             const std::function<void()>& whileServerWorks)
{
    const bool literalPlus = capabilities_ && capabilities_->contains("LITERAL+");
    const QByteArray tag = "C" + QByteArray::number(commandCounter_ + 1);
    // Built before the tag is taken: a command that cannot be sent uses no number.
    const QList<TImapCommandPiece> pieces = BuildImapCommand(tag, verb, arguments, literalPlus);
    ++commandCounter_;
    for (const TImapCommandPiece& piece : pieces) {
        channel_.QueueLine(piece.Bytes, piece.Trace);
        if (!piece.WaitForContinuation)
            continue;
        try {
            channel_.Flush();
        } catch (const EMailClientError&) {
            state_ = State::UnexpectedlyDisconnected;
            throw;
        }
        // A refusal instead of "+" ends the command with that reply (RFC 3501 §7.5).
        ReadTaggedReply(tag, {Code::Continuation}, onUntagged);
    }
    FlushCommands();
    if (whileServerWorks)
        whileServerWorks();
    return ReadTaggedReply(tag, allowed, onUntagged);
}

QByteArray TImap4Client::QueueCommand(const QByteArray& verb, const QList<TImapArgument>& arguments)
{
    QByteArray tag = "C" + QByteArray::number(commandCounter_ + 1);
    const QList<TImapCommandPiece> pieces = BuildImapCommand(tag, verb, arguments, false);
    // Only commands of one line can go ahead of their replies.
    Q_ASSERT(pieces.size() == 1);
    ++commandCounter_;
    for (const TImapCommandPiece& piece : pieces)
        channel_.QueueLine(piece.Bytes, piece.Trace);
    return tag;
}

void TImap4Client::FlushCommands()
{
    try {
        channel_.Flush();
    } catch (const EMailClientError&) {
        state_ = State::UnexpectedlyDisconnected;
        throw;
    }
}

void TImap4Client::RequireState(std::initializer_list<TImapConnectionState> states) const
{
    for (TImapConnectionState allowed : states) {
        if (allowed == state_)
            return;
    }
    throw EWrongStateError(ImapStateName(state_));
}

quint32 TImap4Client::CheckUid(const QByteArray& uid)
{
    if (uid.isEmpty())
        throw EInvalidNumber(TFailure{TFailureKind::UidEmpty, {}});
    for (char c : uid) {
        if (c < '0' || c > '9')
            throw EInvalidNumber(TFailure{TFailureKind::UidNotDigits, {}});
    }
    const std::optional<quint32> value =
        ParseNzNumber(uid.size() > 1 && uid.startsWith('0') ? QByteArray::number(uid.toULongLong()) : uid);
    if (!value)
        throw EInvalidNumber(TFailure{TFailureKind::UidBelowOne, {}});
    return *value;
}

// ---- connection and login ------------------------------------------------------------------

void TImap4Client::TakeCapabilities(const QByteArray& statusText)
{
    const std::optional<TImapResponseCode> code = ParseResponseCode(statusText);
    if (code && code->Name == "CAPABILITY")
        capabilities_ = ParseCapabilityNames(code->Arguments);
}

void TImap4Client::Connect()
{
    try {
        Greet();
    } catch (const EMailClientError&) {
        CloseConnection();
        throw;
    }
}

void TImap4Client::Greet()
{
    state_ = State::NonAuthenticated;
    capabilities_.reset();
    preAuthenticated_ = false;
    utf8_ = false;
    qresync_ = false;
    if (!Connected())
        channel_.Open(Endpoint());
    const TReply greeting = ReadGreeting({Code::Ok, Code::PreAuth});
    commandCounter_ = 0;
    TakeCapabilities(greeting.Text.value(0));
    if (Security == TSecurity::StartTls) {
        // RFC 2595 §3.1: a PREAUTH connection can no longer be secured, so nothing more is sent.
        if (ImapReplyCode(greeting) == Code::PreAuth) {
            throw ETlsError(TFailure{TFailureKind::ImapPreauthNoStarttls, {}});
        }
        if (!HasCapability("STARTTLS")) {
            throw ETlsError(TFailure{TFailureKind::ImapNoStarttls, {}});
        }
        const TReply starttls = Command("STARTTLS", {}, {Code::Ok, Code::No, Code::Bad});
        if (ImapReplyCode(starttls) != Code::Ok) {
            const QString refusal = QString::fromUtf8(starttls.Text.value(starttls.Text.size() - 1));
            throw ETlsError(TFailure{TFailureKind::ImapStarttlsRefused, {refusal}});
        }
        channel_.StartTls(Endpoint());
        // RFC 3501 §6.2.1: capabilities learned before the handshake are discarded.
        capabilities_.reset();
        Capability();
    }
    if (ImapReplyCode(greeting) == Code::PreAuth) {
        preAuthenticated_ = true;
        return;
    }
    if (!BearerSignIn && capabilities_ && capabilities_->contains("LOGINDISABLED")) {
        throw EMailClientError(TFailure{TFailureKind::ImapLoginDisabled, {}});
    }
}

TLoginReply TImap4Client::Login(const QString& userName, const QString& password)
{
    if (preAuthenticated_) {
        state_ = State::Authenticated;
        EnableExtensions(capabilities_.value_or(QList<QByteArray>()));
        return {TLoginResult::LoggedIn, {}};
    }
    const std::optional<QList<QByteArray>> beforeLogin = capabilities_;
    TReply reply;
    try {
        reply = BearerSignIn
            ? AuthenticateBearer(userName.toUtf8(), password.toUtf8())
            : Command("LOGIN",
                      {TImapArgument::String(userName.toUtf8(), true), TImapArgument::String(password.toUtf8(), true)},
                      {Code::Ok});
    } catch (const EMailClientError& e) {
        return {TLoginResult::Refused, e.Failure()};
    }
    state_ = State::Authenticated;
    // Capabilities may change with the login (RFC 3501 §6.2.3); keep only what it announced.
    capabilities_.reset();
    TakeCapabilities(reply.Text.value(reply.Text.size() - 1));
    // Whether to switch to UTF-8 (and to QRESYNC) is decided on what is known without another
    // round trip: what the login announced, else what was announced before it (servers announce
    // UTF8=ACCEPT before the login as well). A server that announced nothing is not asked.
    EnableExtensions(capabilities_ ? *capabilities_ : beforeLogin.value_or(QList<QByteArray>()));
    return {TLoginResult::LoggedIn, {}};
}

void TImap4Client::EnableExtensions(const QList<QByteArray>& capabilities)
{
    QList<QByteArray> names;
    if (!utf8_ && capabilities.contains("UTF8=ACCEPT"))
        names.append("UTF8=ACCEPT");
    if (!qresync_ && capabilities.contains("QRESYNC"))
        names.append("QRESYNC");
    if (names.isEmpty())
        return;
    // RFC 5161 §3.1: only what the ENABLED response names is switched on.
    QList<QByteArray> enabled;
    const TReply reply = Command("ENABLE", {TImapArgument::Raw(names.join(' '))}, {Code::Ok, Code::No, Code::Bad},
                                 [&enabled](const QByteArray& response) {
                                     const TImapUntagged untagged = SplitUntagged(response);
                                     if (untagged.Number || untagged.Keyword != "ENABLED")
                                         return false;
                                     enabled += ParseCapabilityNames(untagged.Rest);
                                     return true;
                                 });
    const bool done = ImapReplyCode(reply) == Code::Ok;
    utf8_ = utf8_ || (done && names.contains("UTF8=ACCEPT") && enabled.contains("UTF8=ACCEPT"));
    qresync_ = qresync_ || (done && names.contains("QRESYNC") && enabled.contains("QRESYNC"));
}

void TImap4Client::QuitAfterRefusal()
{
    try {
        if (Connected())
            Disconnect();
    } catch (const EMailClientError&) {
        // The old connection may already be gone; the next round opens a new one.
    }
    CloseConnection();
}

void TImap4Client::CloseConnection()
{
    channel_.Close();
    state_ = State::NonAuthenticated;
    capabilities_.reset();
    utf8_ = false;
    qresync_ = false;
}

void TImap4Client::Disconnect()
{
    if (!Connected())
        throw ESocketClosed();
    try {
        Command("LOGOUT", {}, {Code::Ok});
    } catch (...) {
        CloseConnection();
        throw;
    }
    CloseConnection();
}

// ---- operations ----------------------------------------------------------------------------

QList<QByteArray> TImap4Client::Capability()
{
    if (capabilities_)
        return *capabilities_;
    QList<QByteArray> names;
    Command("CAPABILITY", {}, {Code::Ok}, [&names](const QByteArray& response) {
        const TImapUntagged untagged = SplitUntagged(response);
        if (untagged.Number || untagged.Keyword != "CAPABILITY")
            return false;
        names += ParseCapabilityNames(untagged.Rest);
        return true;
    });
    capabilities_ = names;
    return names;
}

bool TImap4Client::HasCapability(const QByteArray& name)
{
    return Capability().contains(name.toUpper());
}

TImapCommandResult TImap4Client::ResultOf(const TReply& reply)
{
    return {ImapReplyCode(reply) == Code::Ok, reply.JoinedText()};
}

void TImap4Client::CheckImapReplyCode(const TReply& reply, const TImapReplyCodes& allowed)
{
    TReplyCodes codes;
    for (Code code : allowed)
        codes.append(static_cast<int>(code));
    CheckReplyCode(reply, codes);
}

TImapCommandResult TImap4Client::MarkDeleted(const QList<qint32>& numbers)
{
    if (numbers.isEmpty())
        return {};
    QList<quint32> checked;
    for (qint32 number : numbers) {
        if (number < 1)
            throw EInvalidNumber(TFailure{TFailureKind::NumberBelowOne, {}});
        checked.append(static_cast<quint32>(number));
    }
    RequireState({State::Selected});
    return ResultOf(Command("STORE",
                            {TImapArgument::Raw(JoinNumbers(checked)), TImapArgument::Raw("+FLAGS.SILENT"),
                             TImapArgument::Raw("(\\Deleted)")},
                            {Code::Ok, Code::No}));
}

TImapCommandResult TImap4Client::ExpungeFolder()
{
    RequireState({State::Selected});
    return Expunge("EXPUNGE", {});
}

namespace {

// Reads "* n EXPUNGE" responses into `expunged`, kept within bounds whatever the server reports.
auto CollectExpunged(QList<quint32>& expunged)
{
    return [&expunged](const QByteArray& response) {
        // With QRESYNC enabled they come as VANISHED (UIDs, RFC 7162 §3.2.10): taken as well, so
        // they stay out of the reply's text.
        const std::optional<quint32> number = ParseExpungeResponse(response);
        if (!number)
            return SplitUntagged(response).Keyword == "VANISHED";
        if (expunged.size() < kMaxMessageCount)
            expunged.append(*number);
        return true;
    };
}

}  // namespace

TImapCommandResult TImap4Client::Expunge(const QByteArray& verb, const QList<TImapArgument>& arguments)
{
    QList<quint32> expunged;
    const TReply reply = Command(verb, arguments, {Code::Ok}, CollectExpunged(expunged));
    selected_.ExpungedNumbers = expunged;
    return ResultOf(reply);
}

void TImap4Client::CheckUids(const QList<quint32>& uids)
{
    if (uids.contains(0u))
        throw EInvalidNumber(TFailure{TFailureKind::UidBelowOne, {}});
}

TImapCommandResult TImap4Client::UidStoreFlag(const QList<quint32>& uids, const QByteArray& change)
{
    if (uids.isEmpty())
        return {};
    CheckUids(uids);
    RequireState({State::Selected});
    return ResultOf(
        Command("UID STORE",
                {TImapArgument::Raw(JoinNumbers(uids)), TImapArgument::Raw(change), TImapArgument::Raw("(\\Deleted)")},
                {Code::Ok, Code::No}));
}

TImapCommandResult TImap4Client::UidDeleteBurst(const QList<quint32>& uids)
{
    if (uids.isEmpty())
        return {};
    CheckUids(uids);
    RequireState({State::Selected});
    const QByteArray set = JoinNumbers(uids);
    const QByteArray storeTag = QueueCommand(
        "UID STORE", {TImapArgument::Raw(set), TImapArgument::Raw("+FLAGS.SILENT"), TImapArgument::Raw("(\\Deleted)")});
    const QByteArray expungeTag = QueueCommand("UID EXPUNGE", {TImapArgument::Raw(set)});
    FlushCommands();
    // Both replies are read whatever the first says, so the conversation stays in step.
    const TReply store = ReadTaggedReply(storeTag, {Code::Ok, Code::No, Code::Bad});
    QList<quint32> expunged;
    const TReply expunge = ReadTaggedReply(expungeTag, {Code::Ok, Code::No, Code::Bad}, CollectExpunged(expunged));
    selected_.ExpungedNumbers = expunged;
    return ResultOf(ImapReplyCode(store) == Code::Ok ? expunge : store);
}

TImapCommandResult TImap4Client::UidStoreDeleted(const QList<quint32>& uids)
{
    return UidStoreFlag(uids, "+FLAGS.SILENT");
}

TImapCommandResult TImap4Client::UidStoreUndeleted(const QList<quint32>& uids)
{
    return UidStoreFlag(uids, "-FLAGS.SILENT");
}

TImapCommandResult TImap4Client::UidSearchDeleted(QList<quint32>& uids)
{
    uids.clear();
    RequireState({State::Selected});
    QList<quint32> found;
    const TReply reply = Command("UID SEARCH", {TImapArgument::Raw("DELETED")}, {Code::Ok, Code::No},
                                 [&found](const QByteArray& response) {
                                     const TImapUntagged untagged = SplitUntagged(response);
                                     if (untagged.Number || untagged.Keyword != "SEARCH")
                                         return false;
                                     for (quint32 uid : ParseSearchResponse(untagged.Rest)) {
                                         if (found.size() < kMaxMessageCount)
                                             found.append(uid);
                                     }
                                     return true;
                                 });
    uids = std::move(found);
    return ResultOf(reply);
}

TImapCommandResult TImap4Client::UidExpunge(const QList<quint32>& uids)
{
    if (uids.isEmpty())
        return {};
    CheckUids(uids);
    RequireState({State::Selected});
    if (!HasCapability("UIDPLUS"))
        return ExpungeFolder();
    return Expunge("UID EXPUNGE", {TImapArgument::Raw(JoinNumbers(uids))});
}

}  // namespace brevio
