#include "protocol/pop3_client.h"

#include "protocol/errors.h"
#include "protocol/imap_errors.h"
#include "protocol/protocol_limits.h"

namespace brevio {

namespace {

bool HasLineBreakOrNul(const QByteArray& bytes)
{
    return bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0');
}

}  // namespace

TPop3Client::TPop3Client(TCheckContext& context, TTransportFactory factory)
    : TMessageClient(context, std::move(factory))
{
    Port = 110;
}

TPop3Client::~TPop3Client()
{
    try {
        Disconnect();
    } catch (...) {
        // Destruction never raises; the connection is closed either way.
    }
}

int TPop3Client::ReadReply(const TReplyCodes& allowed)
{
    // RFC 1939 §3: a status line is a single line, the status word and its text; the generic
    // reader would take a "-" after the fourth character as the start of a continued reply.
    const QByteArray line = ReadNonEmptyLine();
    LastReply.Clear();
    LastReply.SetTextCode(line.left(4).trimmed());
    LastReply.Text.append(line.mid(4));
    const std::optional<int> code = Pop3StatusCode(LastReply.TextCode());
    if (!code) {
        throw EMailClientError(QStringLiteral("Unrecognized POP3 Response Header:\n\"%1\"")
                                   .arg(QString::fromUtf8(LastReply.JoinedText())));
    }
    LastReply.Set(LastReply.TextCode(), *code);
    return CheckReply(*code, allowed);
}

void TPop3Client::Connect()
{
    loggedIn_ = false;
    loggedIn_ = RunLoginLoop([this] { ConnectAndGreet(); }, [this] { Login(); },
                             [this] { QuitQuietly(); });
}

void TPop3Client::ConnectAndGreet()
{
    capabilities_.reset();
    TTcpClient::Connect();
    ReadReply({kOk});
    greetingText_ = LastReply.Text.value(0);
    if (Security != TSecurity::StartTls)
        return;
    // RFC 2595 §4: STLS only when CAPA lists it; after the handshake everything learned before
    // it is forgotten.
    if (!Pop3HasCapability(Capa(), "STLS")) {
        throw ETlsError(QStringLiteral(
            "The server does not offer STLS; the connection cannot be secured, so the login "
            "was not sent."));
    }
    if (SendCommand("STLS", {kOk, kErr}) != kOk) {
        throw ETlsError(QStringLiteral("The server refused STLS:%1")
                            .arg(QString::fromUtf8(LastReply.JoinedText())));
    }
    StartTlsNow();
    capabilities_.reset();
}

void TPop3Client::Login()
{
    const QByteArray user = UserBytes();
    const QByteArray password = PasswordBytes();
    if (HasLineBreakOrNul(user) || HasLineBreakOrNul(password)) {
        throw EMailClientError(
            QStringLiteral("The user name or password contains a line break, which cannot be sent."));
    }
    if (APOP) {
        const QByteArray timestamp = ApopTimestamp(greetingText_);
        if (timestamp.isEmpty())
            throw EMailClientError(QStringLiteral("Server do not support APOP (no timestamp)"));
        const QByteArray digest = ApopDigest(timestamp, password);
        if (digest.isEmpty())
            throw EMailClientError(QStringLiteral("MD5 is not available for APOP."));
        SendCommand("APOP " + user + ' ' + digest, {kOk}, "APOP **** ****");
        return;
    }
    SendCommand("USER " + user, {kOk}, "USER ****");
    SendCommand("PASS " + password, {kOk}, "PASS ****");
}

void TPop3Client::QuitQuietly()
{
    try {
        if (Connected())
            SendLine("QUIT");
    } catch (const EMailClientError&) {
        // The server may already have closed the connection after the refusal.
    }
    TTcpClient::Disconnect();
}

void TPop3Client::Disconnect()
{
    loggedIn_ = false;
    capabilities_.reset();
    if (!Connected()) {
        TTcpClient::Disconnect();
        return;
    }
    try {
        SendLine("QUIT");
        // The answer tells whether the deleted messages were removed (RFC 1939 §6).
        ReadReply({kOk});
    } catch (const EConnectionClosed&) {
        // Closed right after QUIT without an answer: nothing more to learn.
    } catch (...) {
        TTcpClient::Disconnect();
        throw;
    }
    TTcpClient::Disconnect();
}

void TPop3Client::CheckNumber(qint32 n)
{
    if (n < 1)
        throw EInvalidNumber(QStringLiteral("Number passed as parameter is invalid, must be 1 or greater"));
}

QList<QByteArray> TPop3Client::ReadMultiLine()
{
    QList<QByteArray> lines;
    qsizetype total = 0;
    for (;;) {
        QByteArray line = ReadLine();
        if (line == ".")
            return lines;
        total += line.size() + 2;
        if (total > kMaxReplyBytes)
            FailTooLong();
        // RFC 1939 §3: a line of the listing that begins with "." carries one more.
        if (line.startsWith('.'))
            line.remove(0, 1);
        lines.append(std::move(line));
    }
}

qint32 TPop3Client::CountMessages()
{
    SendCommand("STAT", {kOk});
    const QByteArray text = LastReply.Text.value(0);
    const std::optional<qint32> count = ParsePop3StatCount(text);
    if (!count) {
        throw EMailClientError(QStringLiteral("Unreadable message count in the STAT reply: \"%1\"")
                                   .arg(QString::fromUtf8(text)));
    }
    return *count;
}

bool TPop3Client::FetchHeader(qint32 n, TMailMessage& message)
{
    CheckNumber(n);
    SendCommand("TOP " + QByteArray::number(n) + " 0", {kOk});
    for (QByteArray& line : ReadMultiLine()) {
        // The empty line that ends the header is not a header line.
        if (!line.isEmpty())
            message.RawHeaders.append(std::move(line));
    }
    message.ParseHeaders();
    message.Size = FetchMessageSize(n);
    return true;
}

qint32 TPop3Client::FetchMessageSize(qint32 n)
{
    CheckNumber(n);
    SendCommand("LIST " + QByteArray::number(n), {kOk});
    return ParsePop3ListSize(LastReply.Text.value(0));
}

bool TPop3Client::DeleteMessage(qint32 n)
{
    CheckNumber(n);
    SendCommand("DELE " + QByteArray::number(n), {kOk});
    return true;
}

QList<TPop3UidEntry> TPop3Client::Uidl()
{
    if (SendCommand("UIDL", {kOk, kErr}) != kOk)
        return {};
    QList<TPop3UidEntry> entries;
    for (const QByteArray& line : ReadMultiLine()) {
        if (std::optional<TPop3UidEntry> entry = ParsePop3UidLine(line))
            entries.append(std::move(*entry));
    }
    return entries;
}

QList<QByteArray> TPop3Client::Capa()
{
    if (capabilities_)
        return *capabilities_;
    QList<QByteArray> lines;
    if (SendCommand("CAPA", {kOk, kErr}) == kOk)
        lines = ReadMultiLine();
    capabilities_ = lines;
    return lines;
}

}  // namespace brevio
