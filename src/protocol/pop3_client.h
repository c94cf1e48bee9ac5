#pragma once
// The POP3 client (RFC 1939): logs in (USER/PASS, or APOP when switched on), optionally after
// STLS (RFC 2595), counts messages, fetches headers and sizes, lists unique ids, deletes.

#include "protocol/message_client.h"
#include "protocol/pop3_reply_parser.h"

#include <optional>

namespace brevio {

class TPop3Client : public TMessageClient {
public:
    // Reply codes of the POP3 reader.
    static constexpr int kOk = 1;
    static constexpr int kErr = 2;

    TPop3Client(TCheckContext& context, TTransportFactory factory);
    ~TPop3Client() override;

    // Log in with APOP instead of USER and PASS. Off unless a caller switches it on.
    bool APOP = false;

    // Connects, reads the greeting, secures the connection when Security asks for it, and logs
    // in. A refused login is logged; a scheduled check then returns still connected but not
    // logged in (LoggedIn() is false), otherwise the user is asked for new credentials and the
    // login is tried again (cancel raises EAbort). Connection, greeting and TLS failures are
    // logged and raised.
    void Connect();
    // Sends QUIT and reads its answer when connected, then closes. An "-ERR" answer to QUIT
    // (the server could not remove the deleted messages) raises EReplyError after closing.
    void Disconnect() override;
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
    // CAPA (RFC 2449); "-ERR" (a server without CAPA) gives an empty list. Kept until the
    // connection is secured or closed.
    QList<QByteArray> Capa();

    int ReadReply(const TReplyCodes& allowed) override;

private:
    void ConnectAndGreet();
    void Login();
    void QuitQuietly();
    QList<QByteArray> ReadMultiLine();
    static void CheckNumber(qint32 n);

    QByteArray greetingText_;
    std::optional<QList<QByteArray>> capabilities_;
    bool loggedIn_ = false;
};

}  // namespace brevio
