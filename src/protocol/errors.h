#pragma once
// Failure classes of the mail protocol layer. Every failure travels as one of these; the
// per-mailbox operations catch them and turn them into error log entries.

#include <QString>
#include <exception>

namespace brevio {

// Base of every exception Brevio raises; carries the message text shown in the error log.
class Exception : public std::exception {
public:
    explicit Exception(QString message = {}) : message_(std::move(message)), utf8_(message_.toUtf8()) {}
    const QString& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

class EMailClientError : public Exception {
public:
    using Exception::Exception;
};

class ESilentError : public EMailClientError {
public:
    using EMailClientError::EMailClientError;
};

class EConnectionClosed : public ESilentError {
public:
    EConnectionClosed() : ESilentError(QStringLiteral("Connection Closed Gracefully.")) {}
};

class EAlreadyConnected : public EMailClientError {
public:
    EAlreadyConnected() : EMailClientError(QStringLiteral("Already connected.")) {}
};

class ESocketClosed : public EMailClientError {
public:
    ESocketClosed() : EMailClientError(QStringLiteral("Disconnected.")) {}
};

class EReadTimeout : public EMailClientError {
public:
    EReadTimeout() : EMailClientError(QStringLiteral("Read Timeout")) {}
};

class ELineTooLong : public EMailClientError {
public:
    ELineTooLong() : EMailClientError(QStringLiteral("Max line length exceeded.")) {}
};

class EReplyError : public EMailClientError {
public:
    EReplyError(QString message, int replyErrorCode)
        : EMailClientError(std::move(message)), replyErrorCode_(replyErrorCode) {}
    int ReplyErrorCode() const noexcept { return replyErrorCode_; }

private:
    int replyErrorCode_;
};

class EConnectionError : public EMailClientError {
public:
    using EMailClientError::EMailClientError;
};

class ENotConnected : public EConnectionError {
public:
    ENotConnected() : EConnectionError(QStringLiteral("Not Connected")) {}
};

// A failed socket call. The code is the classic socket error number (10061 for a refused
// connection, 11001 for an unknown host), whatever the platform reported, so log texts read the
// same everywhere.
class ESocketError : public EMailClientError {
public:
    explicit ESocketError(int lastError, const QString& detail = {});
    int LastError() const noexcept { return lastError_; }

private:
    int lastError_;
};

// Text of a classic socket error number; empty for numbers without a text.
QString SocketErrorText(int code);

class ESocketAllocError : public EMailClientError {
public:
    ESocketAllocError() : EMailClientError(QStringLiteral("Cannot allocate socket.")) {}
};

class ESocketHandleError : public EMailClientError {
public:
    using EMailClientError::EMailClientError;
};

class EBindError : public ESocketHandleError {
public:
    EBindError()
        : ESocketHandleError(QStringLiteral("Could not bind socket. Address and port are already in use.")) {}
};

// The TLS layer failed: handshake, certificate verification or a refused STARTTLS. The text
// names the reason (and, for certificates, the SHA-256 fingerprint the user may choose to trust).
class ETlsError : public EMailClientError {
public:
    explicit ETlsError(QString message, QString fingerprint = {})
        : EMailClientError(std::move(message)), fingerprint_(std::move(fingerprint)) {}
    const QString& Fingerprint() const noexcept { return fingerprint_; }

private:
    QString fingerprint_;
};

// An address text that cannot be read as one e-mail address (an "@" after a closed "<...>").
class EAddressParseError : public Exception {
public:
    using Exception::Exception;
};

// The user cancelled the login prompt.
class EAbort : public Exception {
public:
    EAbort() : Exception() {}
};

// The user pressed Escape (or closed the window) during a run: ends the current mailbox silently.
class EUserAbort : public Exception {
public:
    EUserAbort() : Exception() {}
};

}  // namespace brevio
