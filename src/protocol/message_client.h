#pragma once
// The part the POP3 and IMAP4 clients share: credentials, the check context, splitting a header
// block into lines, and the login loop with its log entries and credential prompt.

#include "protocol/mail_message.h"
#include "protocol/tcp_client.h"
#include "support/check_context.h"

#include <QList>
#include <QString>
#include <functional>

namespace brevio {

// The non-empty lines of a header block (CR LF or LF line ends), unchanged otherwise.
QList<QByteArray> SplitHeaderLines(const QByteArray& block);

class TMessageClient : public TTcpClient {
public:
    TMessageClient(TCheckContext& context, TTransportFactory factory);

    QString Username;
    QString Password;

protected:
    TCheckContext& Context() const { return context_; }
    // Adds "(host) text" to the error log.
    void LogError(const QString& text);

    // The login loop shared by both protocols. `connectAndGreet` opens the connection and
    // reads the greeting (and secures it); its failures are logged and raised. `login` sends
    // the credentials; a refusal is logged, and then either the loop gives up (a scheduled
    // check: returns false, still connected) or the user is asked for new credentials (cancel
    // raises EAbort; confirm: `dropConnection` and a new round). Returns true when logged in.
    bool RunLoginLoop(const std::function<void()>& connectAndGreet,
                      const std::function<void()>& login,
                      const std::function<void()>& dropConnection);

    // The credentials as bytes for the wire.
    QByteArray UserBytes() const { return Username.toUtf8(); }
    QByteArray PasswordBytes() const { return Password.toUtf8(); }

private:
    TCheckContext& context_;
};

}  // namespace brevio
