#pragma once
// Failure classes of the network layer and the mail clients on it. Every failure travels as one
// of these; the per-mailbox operations catch them and turn them into error log entries.

#include "net/failure.h"
#include "support/exception.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace brevio {

class EMailClientError : public Exception {
public:
    // The message is the failure in the built-in words (for traces and tests); the user reads
    // it in the words of the running program's string table (FailureText).
    explicit EMailClientError(TFailure failure = {})
        : Exception(FailureWords(failure, TStringTable::BuiltIn())), failure_(std::move(failure))
    {
    }
    // Words given as they are: a server's reply, or a caller's own text.
    explicit EMailClientError(QString words) : EMailClientError(TFailure{TFailureKind::Verbatim, {std::move(words)}}) {}
    const TFailure& Failure() const noexcept { return failure_; }

private:
    TFailure failure_;
};

class ESilentError : public EMailClientError {
public:
    using EMailClientError::EMailClientError;
};

class EConnectionClosed : public ESilentError {
public:
    EConnectionClosed() : ESilentError(TFailure{TFailureKind::ConnectionClosed, {}}) {}
};

class EAlreadyConnected : public EMailClientError {
public:
    EAlreadyConnected() : EMailClientError(TFailure{TFailureKind::AlreadyConnected, {}}) {}
};

class ESocketClosed : public EMailClientError {
public:
    ESocketClosed() : EMailClientError(TFailure{TFailureKind::Disconnected, {}}) {}
};

class EReadTimeout : public EMailClientError {
public:
    EReadTimeout() : EMailClientError(TFailure{TFailureKind::ReadTimeout, {}}) {}
};

class ELineTooLong : public EMailClientError {
public:
    ELineTooLong() : EMailClientError(TFailure{TFailureKind::LineTooLong, {}}) {}
};

// The server's reply was none of those expected; the message is the reply's text.
class EReplyError : public EMailClientError {
public:
    EReplyError(QString message, int replyErrorCode)
        : EMailClientError(std::move(message)), replyErrorCode_(replyErrorCode)
    {
    }
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
    ENotConnected() : EConnectionError(TFailure{TFailureKind::NotConnected, {}}) {}
};

// A failed socket call. The code is the classic socket error number (10061 for a refused
// connection, 11001 for an unknown host), whatever the platform reported, so log texts read the
// same everywhere. `detail` is the system's own words for an error without a classic number.
class ESocketError : public EMailClientError {
public:
    explicit ESocketError(int lastError, const QString& detail = {})
        : EMailClientError(TFailure{TFailureKind::SocketError, {QString::number(lastError), detail}}),
          lastError_(lastError)
    {
    }
    int LastError() const noexcept { return lastError_; }

private:
    int lastError_;
};

class ESocketAllocError : public EMailClientError {
public:
    ESocketAllocError() : EMailClientError(TFailure{TFailureKind::CannotAllocateSocket, {}}) {}
};

class ESocketHandleError : public EMailClientError {
public:
    using EMailClientError::EMailClientError;
};

class EBindError : public ESocketHandleError {
public:
    EBindError() : ESocketHandleError(TFailure{TFailureKind::CannotBindSocket, {}}) {}
};

// Why a certificate did not verify, for the window to word in the user's language.
enum class TCertificateProblem {
    Other,               // the certificate could not be verified
    SelfSigned,          // no authority vouches for it
    UntrustedAuthority,  // its chain ends at an authority this computer does not trust
    IssuerMissing,       // the intermediate certificate is missing, or its issuer is not trusted
    IssuerUntrusted,     // its issuer is not trusted
    Expired,             // Detail: when it expired
    NotYetValid,         // Detail: when it becomes valid
    OtherHost,           // made out for another host (names unknown)
    NamedOtherHost,      // Detail: the names it is made out for
    WeakKey,             // Detail: the key; never offered for trust
    WeakHash,            // signed with a hash that is too weak; never offered for trust
    Revoked,
};

// What the user must see before trusting a server certificate that did not verify.
struct TCertificateInfo {
    QString Host;     // the host name the connection asked for
    QString MailBox;  // the name of the mailbox the connection is for; empty when none is known
    // Why verification failed in words, for a certificate that has no library verdict (the
    // TLS layer leaves it empty and gives Problem and LibraryText instead).
    QString Reason;
    TCertificateProblem Problem = TCertificateProblem::Other;  // why it did not verify, for the wording
    QString ProblemDetail;                                     // the date, names or key the problem concerns
    QString LibraryText;                                       // the TLS library's own words
    QString Subject;
    QString Issuer;
    QDateTime NotBefore;
    QDateTime NotAfter;
    QString Fingerprint;        // SHA-256 of the certificate, upper-case hex without separators
    bool Expired = false;       // outside its validity period now
    bool HostMismatch = false;  // names another host
    // A pinned fingerprint that no longer matches: never offered for trust, only refused.
    QString PinnedFingerprint;
};

// Whether the user may be asked to trust the certificate: not when it replaces the one the
// mailbox trusts, nor when its key or signature is too weak, which no trust can make safe.
inline bool MayBeTrusted(const TCertificateInfo& certificate)
{
    return certificate.PinnedFingerprint.isEmpty() && certificate.Problem != TCertificateProblem::WeakKey
        && certificate.Problem != TCertificateProblem::WeakHash;
}

// The TLS layer failed: handshake, certificate verification or a refused STARTTLS. A failed
// certificate verification carries the certificate's details, and its message is only the host
// and the library's verdict: the user reads CertificateRefusalText.
class ETlsError : public EMailClientError {
public:
    explicit ETlsError(TFailure failure, QString fingerprint = {})
        : EMailClientError(std::move(failure)), fingerprint_(std::move(fingerprint))
    {
    }
    explicit ETlsError(QString message, QString fingerprint = {})
        : EMailClientError(std::move(message)), fingerprint_(std::move(fingerprint))
    {
    }
    ETlsError(QString message, TCertificateInfo certificate)
        : EMailClientError(std::move(message)), fingerprint_(certificate.Fingerprint),
          certificate_(std::move(certificate))
    {
    }
    const QString& Fingerprint() const noexcept { return fingerprint_; }
    // Set when the server's certificate did not verify (and could be trusted by the user).
    const std::optional<TCertificateInfo>& Certificate() const noexcept { return certificate_; }

private:
    QString fingerprint_;
    std::optional<TCertificateInfo> certificate_;
};

// A message number or UID argument that cannot be sent. Raised before anything goes out.
class EInvalidNumber : public Exception {
public:
    explicit EInvalidNumber(TFailure failure)
        : Exception(FailureWords(failure, TStringTable::BuiltIn())), failure_(std::move(failure))
    {
    }
    const TFailure& Failure() const noexcept { return failure_; }

private:
    TFailure failure_;
};

}  // namespace brevio
