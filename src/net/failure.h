#pragma once
// What went wrong in the network and protocol layers, as a kind and the values it concerns (a
// host, the server's reply, the system's or the TLS library's words). These layers never word a
// failure themselves: the words come from a string table, so the log reads in the user's
// language while the peer's own words are kept as they came.

#include "support/string_table.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace brevio {

enum class TFailureKind {
    Verbatim,  // Args: the words as they are (a server's reply, a certificate verdict)
    ConnectionClosed,
    AlreadyConnected,
    Disconnected,
    ReadTimeout,
    LineTooLong,
    NotConnected,
    CannotAllocateSocket,
    CannotBindSocket,
    SocketError,       // Args: the classic error number, the system's words (empty: the number's own words)
    TlsAlreadyActive,  // Args: host
    TlsExtraCertificatesUnreadable,
    TlsCannotSetUp,               // Args: the library's words
    TlsCannotCheckHostName,       // Args: host
    TlsHandshakeFailed,           // Args: host, the library's words
    TlsHandshakeOldProtocol,      // Args: host, the library's words
    TlsHandshakeWeakKey,          // Args: host, the key, the library's words
    TlsHandshakeWeakKeyExchange,  // Args: host, the library's words
    TlsHandshakeNotTls,           // Args: host, the library's words
    TlsHandshakeNoSharedCipher,   // Args: host, the library's words
    TlsHandshakeServerClosed,     // Args: host
    TlsHandshakeSocketError,      // Args: host, the classic error number
    TlsNoCertificate,             // Args: host
    TlsErrorFrom,                 // Args: host, the library's words
    Pop3UnrecognizedReply,        // Args: the reply
    Pop3NoStls,
    Pop3StlsRefused,  // Args: the server's reply
    CredentialsLineBreak,
    ApopNoTimestamp,
    ApopNoMd5,
    Pop3UnreadableCount,  // Args: the reply's text
    ImapUnrecognizedReply,
    ImapWrongState,  // Args: the connection state's name
    ImapPreauthNoStarttls,
    ImapNoStarttls,
    ImapStarttlsRefused,  // Args: the server's reply
    ImapLoginDisabled,
    ImapNulByte,
    ImapUnreadableCount,  // Args: the response
    NumberBelowOne,
    UidBelowOne,
    UidNotDigits,
    UidEmpty,
    SequenceSetInvalid,
    TokenNeedsTls,  // Args: the protocol's own command that secures a connection (STLS, STARTTLS)
    TokenMissing,
    TokenUnsendable,
    TokenNotOffered,  // Args: the mechanisms as the protocol names them
    TokenAcceptedEarly,
    TokenSecondChallenge,
};

inline constexpr int kFailureKindCount = int(TFailureKind::TokenSecondChallenge) + 1;

struct TFailure {
    TFailureKind Kind = TFailureKind::Verbatim;
    QStringList Args;

    bool operator==(const TFailure&) const = default;
};

// The text that words `kind`; none for Verbatim, whose words are its argument.
std::optional<texts::TTextId> FailureTextId(TFailureKind kind);

// The text of a classic socket error number; none for numbers without one.
std::optional<texts::TTextId> SocketErrorTextId(int code);

// `failure` in the words of `strings`, its arguments put in their places.
QString FailureWords(const TFailure& failure, const TStringTable& strings);

}  // namespace brevio
