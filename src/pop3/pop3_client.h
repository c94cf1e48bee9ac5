#pragma once
// The POP3 client (RFC 1939): asks the server's capabilities (RFC 2449), logs in (USER/PASS, or
// APOP when switched on), optionally after STLS (RFC 2595) and after switching to UTF-8 when the
// server offers it (RFC 6856), counts messages, fetches headers and sizes, lists unique ids,
// deletes.

#include "mime/mail_message.h"
#include "net/line_channel.h"
#include "net/login_result.h"
#include "net/reply.h"
#include "pop3/pop3_reply_parser.h"

#include <functional>
#include <optional>

namespace brevio {

class TPop3Client {
public:
    // Reply codes of the POP3 reader.
    static constexpr int kOk = 1;
    static constexpr int kErr = 2;

    explicit TPop3Client(TTransportFactory factory);
    ~TPop3Client();
    TPop3Client(const TPop3Client&) = delete;
    TPop3Client& operator=(const TPop3Client&) = delete;

    QString Host;
    int Port = 110;
    TSecurity Security = TSecurity::None;
    QString CertFingerprint;  // SHA-256 hex of a certificate the user trusts; empty: none
    // The authserv-id whose Authentication-Results the spam verdicts trust; empty: the topmost.
    QByteArray TrustedAuthServId;
    // Log in with APOP instead of USER and PASS. Off unless a caller switches it on.
    bool APOP = false;
    // Login() signs in with an OAuth2 access token (given as the password) through AUTH
    // (RFC 5034) instead of USER and PASS; the token is only ever sent over a secured connection.
    bool BearerSignIn = false;

    void SetTraceSink(TTraceSink sink) { channel_.SetTraceSink(std::move(sink)); }

    // Connects, reads the greeting, asks CAPA and secures the connection when Security asks
    // for it (then asks CAPA again: what was said before TLS is not trusted). Connection,
    // greeting and TLS failures raise, and nothing more goes over that connection: it is
    // closed, least of all when it could not be secured.
    void Connect();
    // Sends UTF8 first when the server announced it (a refusal is no failure: the login goes on
    // as without it), then the credentials. A refusal (or a connection lost during the login)
    // comes back as Refused with the text to tell the user; the connection stays as it is.
    TLoginReply Login(const QString& userName, const QString& password);
    // After a refused login: QUIT without waiting for its answer, then close. The server may
    // already have closed the connection; never raises a protocol failure.
    void QuitAfterRefusal();
    // Sends QUIT and reads its answer when connected, then closes. An "-ERR" answer to QUIT
    // (the server could not remove the deleted messages) raises EReplyError after closing.
    void Disconnect();
    bool Connected() { return channel_.IsOpen(); }
    bool LoggedIn() const { return loggedIn_; }

    // STAT: the number of messages.
    qint32 CountMessages();
    // TOP n 0 into `message`, then LIST n for its size. Always true; failures raise.
    bool FetchHeader(qint32 n, TMailMessage& message);
    // LIST n: the size in bytes, -1 when the reply gives none.
    qint32 FetchMessageSize(qint32 n);
    // DELE n. The deletion takes effect at QUIT.
    bool DeleteMessage(qint32 n);
    // UIDL for all messages in one command. A server without UIDL ("-ERR") gives an empty list.
    QList<TPop3UidEntry> Uidl();
    // LIST for all messages in one command: each message's number and size (-1 when its line
    // gives none), in the server's order.
    QList<TPop3ListEntry> List();
    // List(), then Uidl() unless the mailbox is empty. With `pipelined` both commands go out
    // together, so the server answers UIDL while the LIST reply is being read (one round trip
    // fewer); UIDL is then asked for an empty mailbox too.
    void ListWithUidl(bool pipelined, QList<TPop3ListEntry>& listed, QList<TPop3UidEntry>& ids);
    // TOP n 0 for each of `numbers`, in order, each header handed to `onHeader` with its number
    // as soon as it is read, as a listed message (subject, sender and date). With `pipelined`
    // (the server announced PIPELINING, RFC 2449 §6.6) commands go ahead of their replies, never
    // more unanswered bytes than both sides' socket buffers always hold, so a send never waits
    // on a server that is itself waiting for us to read; otherwise one TOP at a time. "-ERR"
    // raises EReplyError.
    void FetchHeaders(const QList<qint32>& numbers, bool pipelined,
                      const std::function<void(qint32 number, TListedHeader& message)>& onHeader);
    // DELE for each of `numbers`, sent ahead of their answers as FetchHeaders does with
    // PIPELINING. `onReply` gets each one's index and, when the server refused it, its text
    // (empty when deleted). The deletions take effect at QUIT.
    void DeletePipelined(const QList<qint32>& numbers,
                         const std::function<void(qsizetype index, const QString& refusal)>& onReply);
    // What the server announced in answer to CAPA on this connection (after TLS: what it said
    // after the handshake); empty for a server without CAPA and when not connected.
    const TPop3Capabilities& Capabilities() const { return capabilities_; }
    // True when the server accepted UTF8: headers then arrive as they are stored, in UTF-8.
    bool Utf8Enabled() const { return utf8_; }

private:
    TServerEndpoint Endpoint() const { return {Host, Port, Security, CertFingerprint}; }
    // Reads one status line and checks its code against `allowed`.
    TReply ReadReply(const TReplyCodes& allowed);
    TReply Command(const QByteArray& command, const TReplyCodes& allowed, const QByteArray& traceText = {});
    // CAPA (RFC 2449) into capabilities_; "-ERR" (a server without CAPA) leaves it empty.
    void AskCapabilities();
    void SendCredentials(const QByteArray& user, const QByteArray& password);
    // AUTH OAUTHBEARER or XOAUTH2 with `token` (pop3_sasl.cpp); a refusal raises.
    void AuthenticateBearer(const QByteArray& user, const QByteArray& token);
    // One line of a SASL exchange: "+OK" returns true, a challenge ("+ ...") false and its text
    // in `challenge`; "-ERR" raises EReplyError with `detail` appended.
    bool ReadSaslLine(QByteArray& challenge, const QString& detail = {});
    void CloseConnection();
    QList<QByteArray> ReadMultiLine();
    // The lines of a multi-line reply one at a time, unstuffed, without the closing ".".
    void ReadMultiLine(const std::function<void(QByteArray&)>& onLine);
    // The lines of a LIST or UIDL reply whose status line was `status`; none after "-ERR".
    QList<TPop3ListEntry> ReadList(const TReply& status);
    QList<TPop3UidEntry> ReadUidl(const TReply& status);
    static void CheckNumber(qint32 n);
    // Sends `commands`, ahead of their replies when `pipelined` (at most 16 KiB unanswered),
    // else one at a time; `readReply` reads the reply of the command at each index, in order.
    void Pipeline(const QList<QByteArray>& commands, bool pipelined,
                  const std::function<void(qsizetype index)>& readReply);

    TLineChannel channel_;
    QByteArray greetingText_;
    TPop3Capabilities capabilities_;
    bool utf8_ = false;
    bool loggedIn_ = false;
};

}  // namespace brevio
