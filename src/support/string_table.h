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
