#include "pop3/pop3_client.h"

#include "net/errors.h"
#include "net/protocol_limits.h"

#include <deque>

namespace brevio {

namespace {

bool HasLineBreakOrNul(const QByteArray& bytes)
{
    return bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0');
}

}  // namespace

TPop3Client::TPop3Client(TTransportFactory factory) : channel_(std::move(factory)) {}

TPop3Client::~TPop3Client()
{
    try {
        Disconnect();
    } catch (...) {
        // Destruction never raises; the connection is closed either way.
    }
}

TReply TPop3Client::ReadReply(const TReplyCodes& allowed)
{
    // RFC 1939 §3: a status line is a single line, the status word and its text; a "-" after
    // the fourth character starts no continued reply.
    const QByteArray line = channel_.ReadNonEmptyLine();
    TReply reply;
    reply.SetTextCode(line.left(4).trimmed());
    reply.Text.append(line.mid(4));
    const std::optional<int> code = Pop3StatusCode(reply.TextCode());
    if (!code) {
        throw EMailClientError(TFailure{TFailureKind::Pop3UnrecognizedReply, {QString::fromUtf8(reply.JoinedText())}});
    }
    reply.Set(reply.TextCode(), *code);
    CheckReplyCode(reply, allowed);
    return reply;
}

TReply TPop3Client::Command(const QByteArray& command, const TReplyCodes& allowed, const QByteArray& traceText)
{
    channel_.SendLine(command, traceText);
    return ReadReply(allowed);
}

void TPop3Client::Connect()
{
    loggedIn_ = false;
    utf8_ = false;
    capabilities_ = {};
    try {
        channel_.Open(Endpoint());
        greetingText_ = ReadReply({kOk}).Text.value(0);
        AskCapabilities();
        if (Security != TSecurity::StartTls)
            return;
        // RFC 2595 §4: STLS only when CAPA lists it; after the handshake everything learned
        // before it is forgotten and asked again.
        if (!capabilities_.Has("STLS")) {
            throw ETlsError(TFailure{TFailureKind::Pop3NoStls, {}});
        }
        const TReply stls = Command("STLS", {kOk, kErr});
        if (stls.NumericCode() != kOk) {
            throw ETlsError(TFailure{TFailureKind::Pop3StlsRefused, {QString::fromUtf8(stls.JoinedText())}});
        }
        capabilities_ = {};
        channel_.StartTls(Endpoint());
        AskCapabilities();
    } catch (const EMailClientError&) {
        channel_.Close();
        throw;
    }
}

TLoginReply TPop3Client::Login(const QString& userName, const QString& password)
{
    loggedIn_ = false;
    try {
        SendCredentials(userName.toUtf8(), password.toUtf8());
    } catch (const EMailClientError& e) {
        return {TLoginResult::Refused, e.Failure()};
    }
    loggedIn_ = true;
    return {TLoginResult::LoggedIn, {}};
}

void TPop3Client::SendCredentials(const QByteArray& user, const QByteArray& password)
{
    if (HasLineBreakOrNul(user) || HasLineBreakOrNul(password)) {
        throw EMailClientError(TFailure{TFailureKind::CredentialsLineBreak, {}});
    }
    // RFC 6856 §2: a server that offers UTF8 may hide messages with raw UTF-8 headers from a
    // client that has not switched (TOP gives a stand-in header instead). The switch is only
    // allowed before the login; a refusal leaves the session as it would be without it.
    if (capabilities_.Has("UTF8") && !utf8_)
        utf8_ = Command("UTF8", {kOk, kErr}).NumericCode() == kOk;
    if (BearerSignIn) {
        AuthenticateBearer(user, password);
        return;
    }
    if (APOP) {
        const QByteArray timestamp = ApopTimestamp(greetingText_);
        if (timestamp.isEmpty())
            throw EMailClientError(TFailure{TFailureKind::ApopNoTimestamp, {}});
        const QByteArray digest = ApopDigest(timestamp, password);
        if (digest.isEmpty())
            throw EMailClientError(TFailure{TFailureKind::ApopNoMd5, {}});
        Command("APOP " + user + ' ' + digest, {kOk}, "APOP **** ****");
        return;
    }
    Command("USER " + user, {kOk}, "USER ****");
    Command("PASS " + password, {kOk}, "PASS ****");
}

void TPop3Client::CloseConnection()
{
    loggedIn_ = false;
    utf8_ = false;
    capabilities_ = {};
    channel_.Close();
}

void TPop3Client::QuitAfterRefusal()
{
    try {
        if (Connected())
            channel_.SendLine("QUIT");
    } catch (const EMailClientError&) {
        // The server may already have closed the connection after the refusal.
    } catch (...) {
        CloseConnection();
        throw;
    }
    CloseConnection();
}

void TPop3Client::Disconnect()
{
    if (!Connected()) {
        CloseConnection();
        return;
    }
    try {
        channel_.SendLine("QUIT");
        // The answer tells whether the deleted messages were removed (RFC 1939 §6).
        ReadReply({kOk});
    } catch (const EConnectionClosed&) {
        // Closed right after QUIT without an answer: nothing more to learn.
    } catch (...) {
        CloseConnection();
        throw;
    }
    CloseConnection();
}

void TPop3Client::CheckNumber(qint32 n)
{
    if (n < 1)
        throw EInvalidNumber(TFailure{TFailureKind::NumberBelowOne, {}});
}

QList<QByteArray> TPop3Client::ReadMultiLine()
{
    QList<QByteArray> lines;
    ReadMultiLine([&](QByteArray& line) { lines.append(std::move(line)); });
    return lines;
}

void TPop3Client::ReadMultiLine(const std::function<void(QByteArray&)>& onLine)
{
    qsizetype total = 0;
    for (;;) {
        QByteArray line = channel_.ReadLine();
        if (line == ".")
            return;
        total += line.size() + 2;
        if (total > kMaxReplyBytes)
            channel_.FailTooLong();
        // RFC 1939 §3: a line of the listing that begins with "." carries one more.
        if (line.startsWith('.'))
            line.remove(0, 1);
        onLine(line);
    }
}

qint32 TPop3Client::CountMessages()
{
    const QByteArray text = Command("STAT", {kOk}).Text.value(0);
    const std::optional<qint32> count = ParsePop3StatCount(text);
    if (!count) {
        throw EMailClientError(TFailure{TFailureKind::Pop3UnreadableCount, {QString::fromUtf8(text)}});
    }
    return *count;
}

bool TPop3Client::FetchHeader(qint32 n, TMailMessage& message)
{
    CheckNumber(n);
    Command("TOP " + QByteArray::number(n) + " 0", {kOk});
    // Lines are bounded as they arrive: a header of a million short lines never exists as a
    // million objects. The empty line that ends the header is not a header line.
    THeaderLineCollector lines;
    for (QByteArray& line : message.RawHeaders)
        lines.Add(std::move(line));
    ReadMultiLine([&](QByteArray& line) { lines.Add(std::move(line)); });
    message.RawHeaders = lines.Take();
    message.ParseHeaders(TrustedAuthServId);
    message.Size = FetchMessageSize(n);
    return true;
}

qint32 TPop3Client::FetchMessageSize(qint32 n)
{
    CheckNumber(n);
    return ParsePop3ListSize(Command("LIST " + QByteArray::number(n), {kOk}).Text.value(0));
}

bool TPop3Client::DeleteMessage(qint32 n)
{
    CheckNumber(n);
    Command("DELE " + QByteArray::number(n), {kOk});
    return true;
}

QList<TPop3UidEntry> TPop3Client::Uidl()
{
    return ReadUidl(Command("UIDL", {kOk, kErr}));
}

QList<TPop3UidEntry> TPop3Client::ReadUidl(const TReply& status)
{
    QList<TPop3UidEntry> entries;
    if (status.NumericCode() != kOk)
        return entries;
    ReadMultiLine([&](QByteArray& line) {
        if (std::optional<TPop3UidEntry> entry = ParsePop3UidLine(line))
            entries.append(std::move(*entry));
    });
    return entries;
}

QList<TPop3ListEntry> TPop3Client::List()
{
    return ReadList(Command("LIST", {kOk}));
}

QList<TPop3ListEntry> TPop3Client::ReadList(const TReply& status)
{
    QList<TPop3ListEntry> entries;
    if (status.NumericCode() != kOk)
        return entries;
    ReadMultiLine([&](QByteArray& line) {
        if (std::optional<TPop3ListEntry> entry = ParsePop3ListLine(line))
            entries.append(*entry);
    });
    return entries;
}

void TPop3Client::ListWithUidl(bool pipelined, QList<TPop3ListEntry>& listed, QList<TPop3UidEntry>& ids)
{
    if (!pipelined) {
        listed = List();
        ids = listed.isEmpty() ? QList<TPop3UidEntry>() : Uidl();
        return;
    }
    channel_.QueueLine("LIST");
    channel_.QueueLine("UIDL");
    channel_.Flush();
    // Both replies are read before a refused LIST is raised, so the conversation stays in step.
    const TReply listStatus = ReadReply({kOk, kErr});
    listed = ReadList(listStatus);
    ids = ReadUidl(ReadReply({kOk, kErr}));
    CheckReplyCode(listStatus, {kOk});
}

void TPop3Client::Pipeline(const QList<QByteArray>& commands, bool pipelined,
                           const std::function<void(qsizetype index)>& readReply)
{
    // 16 KiB of commands fit the socket buffers on both sides (the receiving side alone keeps
    // 64 KiB or more on the usual systems), so a send never waits on a server that is itself
    // waiting for us to read. A TOP or DELE line is about a dozen bytes: some 1,300 are in
    // flight, which is what keeps a server 20 ms away busy (with a few hundred, a check of
    // 50,000 messages spent seconds waiting on round trips). New ones go out when a quarter of
    // them have been answered, so the window stays mostly full and commands go out in batches.
    constexpr qsizetype kMaxUnanswered = qsizetype{16} * 1024;
    std::deque<qsizetype> unansweredSizes;
    qsizetype unanswered = 0;
    qsizetype sent = 0;
    const auto sendMore = [&] {
        bool queued = false;
        while (sent < commands.size()) {
            const qsizetype size = commands.at(sent).size() + 2;
            if (!unansweredSizes.empty() && (!pipelined || unanswered + size > kMaxUnanswered))
                break;
            channel_.QueueLine(commands.at(sent));
            unansweredSizes.push_back(size);
            unanswered += size;
            ++sent;
            queued = true;
        }
        if (queued)
            channel_.Flush();
    };
    for (qsizetype i = 0; i < commands.size(); ++i) {
        if (unanswered <= kMaxUnanswered * 3 / 4)
            sendMore();
        readReply(i);
        unanswered -= unansweredSizes.front();
        unansweredSizes.pop_front();
    }
}

void TPop3Client::FetchHeaders(const QList<qint32>& numbers, bool pipelined,
                               const std::function<void(qint32 number, TListedHeader& message)>& onHeader)
{
    QList<QByteArray> commands;
    commands.reserve(numbers.size());
    for (qint32 n : numbers) {
        CheckNumber(n);
        commands.append("TOP " + QByteArray::number(n) + " 0");
    }
    Pipeline(commands, pipelined, [&](qsizetype i) {
        ReadReply({kOk});
        THeaderLineCollector lines;
        ReadMultiLine([&](QByteArray& line) { lines.Add(std::move(line)); });
        TListedHeader message = ParseListedHeader(lines.Take(), TrustedAuthServId);
        onHeader(numbers.at(i), message);
    });
}

void TPop3Client::DeletePipelined(const QList<qint32>& numbers,
                                  const std::function<void(qsizetype index, const QString& refusal)>& onReply)
{
    QList<QByteArray> commands;
    commands.reserve(numbers.size());
    for (qint32 n : numbers) {
        CheckNumber(n);
        commands.append("DELE " + QByteArray::number(n));
    }
    Pipeline(commands, true, [&](qsizetype i) {
        QString refusal;
        try {
            ReadReply({kOk});
        } catch (const EReplyError& e) {
            refusal = e.Message();
        }
        onReply(i, refusal);
    });
}

void TPop3Client::AskCapabilities()
{
    capabilities_ = {};
    if (Command("CAPA", {kOk, kErr}).NumericCode() == kOk)
        capabilities_ = TPop3Capabilities(ReadMultiLine());
}

}  // namespace brevio
