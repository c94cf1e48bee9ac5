#pragma once
// The message texts of the program, each defined here once with its key and its built-in text.
// A language file's section "Strings" may replace any of them (see TLocalizator); everything
// that shows or logs one of these texts reads it from a TStringTable value.

#include <QString>
#include <QStringList>
#include <optional>

namespace brevio {

namespace texts {
// In the order of the language files' section "Strings".
enum TTextId {
    NewMailBoxName,
    NumberNewMessages,
    ClickHere,
    CannotRunEmaiClient,
    ConnectingToPOP3server,
    ConnectedReceivingMessages,
    NewMessageInMailbox,
    RetrievedMessageHeader,
    DeleteMessage,
    DeleteMessagesFromFolder,
    AbortedByUser,
    ErrorOcurres,
    NothingToDelete,
    LastCheck,
    FaildToRetriveFolderNames,
    ErrorSelecting,
    NoMailBoxes,
    ForeignDeleteMarksKept,
    HelpTopicMissing,
    HelpTopicNotOpened,
    NoSystemTray,
    MailBoxChangedNotDeleted,
    UnexpectedFailure,
    MessageGoneNotDeleted,
    CertificateNotTrusted,
    CertificateChanged,
    CertificateTooWeak,
    CertProblemOther,
    CertProblemSelfSigned,
    CertProblemUntrustedAuthority,
    CertProblemIssuerMissing,
    CertProblemIssuerUntrusted,
    CertProblemExpired,
    CertProblemNotYetValid,
    CertProblemOtherHost,
    CertProblemNamedOtherHost,
    CertProblemWeakKey,
    CertProblemWeakHash,
    CertProblemRevoked,
    CannotWriteFile,
    AutostartComment,
    HelpTitle,
    ForeignDeleteMarksLost,
    FolderRebuiltNotDeleted,
    FolderNotDeleted,
    SecretStoreLocked,
    SecretStoreFailed,
    SecretStoreUnreachable,
    PasswordsNotMoved,
    SecretStoreNoSession,
    SecretStoreNoService,
    SecretStoreNoAnswer,
    SecretNotFound,
    SecretReadBackDiffers,
    SecretFileDiffers,
    // Failures of the network and protocol layers (see TFailureKind), worded by FailureWords.
    ConnectionClosedGracefully,
    AlreadyConnected,
    Disconnected,
    ReadTimeout,
    MaxLineLengthExceeded,
    NotConnected,
    CannotAllocateSocket,
    CannotBindSocket,
    SocketErrorNumber,
    SocketError10004,
    SocketError10009,
    SocketError10013,
    SocketError10014,
    SocketError10022,
    SocketError10024,
    SocketError10035,
    SocketError10036,
    SocketError10037,
    SocketError10038,
    SocketError10039,
    SocketError10040,
    SocketError10041,
    SocketError10042,
    SocketError10043,
    SocketError10044,
    SocketError10045,
    SocketError10046,
    SocketError10047,
    SocketError10048,
    SocketError10049,
    SocketError10050,
    SocketError10051,
    SocketError10052,
    SocketError10053,
    SocketError10054,
    SocketError10055,
    SocketError10056,
    SocketError10057,
    SocketError10058,
    SocketError10059,
    SocketError10060,
    SocketError10061,
    SocketError10062,
    SocketError10063,
    SocketError10064,
    SocketError10065,
    SocketError10066,
    SocketError11001,
    TlsAlreadyActive,
    TlsExtraCertificatesUnreadable,
    TlsCannotSetUp,
    TlsCannotCheckHostName,
    TlsHandshakeFailed,
    TlsHandshakeOldProtocol,
    TlsHandshakeWeakKey,
    TlsHandshakeWeakKeyExchange,
    TlsHandshakeNotTls,
    TlsHandshakeNoSharedCipher,
    TlsHandshakeServerClosed,
    TlsNoCertificate,
    TlsErrorFrom,
    Pop3UnrecognizedReply,
    Pop3NoStls,
    Pop3StlsRefused,
    CredentialsLineBreak,
    ApopNoTimestamp,
    ApopNoMd5,
    Pop3UnreadableCount,
    ImapUnrecognizedReply,
    ImapWrongState,
    ImapPreauthNoStarttls,
    ImapNoStarttls,
    ImapStarttlsRefused,
    ImapLoginDisabled,
    ImapNulByte,
    ImapUnreadableCount,
    NumberBelowOne,
    UidBelowOne,
    UidNotDigits,
    UidEmpty,
    SequenceSetInvalid,
    // Spam triage: the Spam column, its tool tip, the sender lists' commands.
    SpamVerdictSpam,
    SpamVerdictHam,
    SpamFriend,
    SpamSpammer,
    SpamTipFilter,
    SpamTipScore,
    SpamTipScoreOnly,
    SpamTipAuthentication,
    SpamTipAuthFailed,
    SpamTipNothing,
    SpamTipFriend,
    SpamTipSpammer,
    SpamResultAbsent,
    NeverTickSender,
    NeverTickDomain,
    AlwaysTickSender,
    AlwaysTickDomain,
    EditSenderLists,
    SenderListsNotSaved,
    SpamAuthFailedMark,
    SpamFilterAssassin,
    SpamFilterRspamd,
    // Watching inboxes with IDLE
    WatchEnded,
    WatchNoIdle,
    WatchIdleRefused,
    WatchedConnected,
    WatchedNotConnected,
    WatchedOnSchedule,
    // OAuth2 sign-in
    OAuthSignInNeeded,
    OAuthTokenFailed,
    OAuthSignInFailed,
    OAuthSignedIn,
    OAuthWaitingForBrowser,
    OAuthNeedsClient,
    OAuthNoLoopback,
    OAuthNoBrowser,
    OAuthStateMismatch,
    OAuthCodeRefused,
    OAuthNoAnswer,
    OAuthCancelled,
    // Sign-in token failures of the protocol clients
    TokenNeedsTls,
    TokenMissing,
    TokenUnsendable,
    TokenNotOffered,
    TokenAcceptedEarly,
    TokenSecondChallenge,
    TextCount
};
}  // namespace texts

struct TTextKey {
    const char* Key;      // the key in section "Strings"
    const char* BuiltIn;  // UTF-8
};

// The key and built-in text of `id`.
const TTextKey& TextKey(texts::TTextId id);

// The current text of every message: the built-in texts, or those a language file gave.
class TStringTable {
public:
    // Every text built in.
    TStringTable();
    // The table of every text built in, made once (for texts that are not shown to the user,
    // such as an exception's own message).
    static const TStringTable& BuiltIn();

    QString Text(texts::TTextId id) const { return values_.at(id); }

    // The id of `key`, compared without regard to case, as keys are everywhere in the settings
    // and language files.
    static std::optional<texts::TTextId> FindKey(const QString& key);
    // Replaces the text of `key`; an unknown key changes nothing. An empty text stays empty.
    void Set(const QString& key, const QString& text);

    bool operator==(const TStringTable&) const = default;

private:
    QStringList values_;
};

}  // namespace brevio
