#include "support/string_table.h"

namespace brevio {

namespace {

constexpr TTextKey kTextKeys[texts::TextCount] = {
    {"NewMailBoxName", "Новый ящик"},
    {"NumberNewMessages", "%d new message(s)"},
    {"ClickHere", "Click here to view these messages"},
    {"CannotRunEmaiClient", "Can not run default email client. Please specify path to the email-client executable."},
    {"ConnectingToPOP3server", "Connecting to server (%s)..."},
    {"ConnectedReceivingMessages", "Connected. Receiving messages..."},
    {"NewMessageInMailbox", "%d new message(s) in mailbox"},
    {"RetrievedMessageHeader", "Retrieved message header %d from %d"},
    {"DeleteMessage", "Delete message %d from %d"},
    {"DeleteMessagesFromFolder", "Delete message(s) from folder %s"},
    {"AbortedByUser", "Aborted by user"},
    {"ErrorOcurres", "Some Errors occures. Click here for details."},
    {"NothingToDelete", "Nothing to delete…"},
    {"LastCheck", "%s v%s - last check at %s"},
    {"FaildToRetriveFolderNames", "Failed to retrieve folder names!"},
    {"ErrorSelecting", "Error selecting "},
    // Beyond the sixteen classic texts: what a check with no mailbox configured says, what the
    // status line says when the window cannot go to the tray, and when a help topic is missing.
    {"NoMailBoxes", "No mailboxes yet: File, Arrange Mailboxes… (Ctrl+L)"},
    // An expunge on a server without UIDPLUS kept what another program had marked deleted.
    {"ForeignDeleteMarksKept",
     "Folder %s: %d message(s) another program marked for deletion were kept and marked again"},
    // What the status line says when a help topic cannot be shown, with the topic's file.
    {"HelpTopicMissing", "The help topic %s is missing."},
    {"HelpTopicNotOpened", "The help topic %s cannot be opened: no program to show web pages was found."},
    {"NoSystemTray", "No system tray on this desktop: the window stays on the taskbar."},
    // Ticked rows whose mailbox was changed or removed in the mailbox editor since they were
    // listed: their message numbers may name other mail now, so they are not deleted.
    {"MailBoxChangedNotDeleted",
     "%d ticked message(s) were not deleted: their mailbox was changed since they were listed"},
    // A failure of a run that is no mailbox's (the check itself went wrong).
    {"UnexpectedFailure", "Unexpected failure during the check"},
    // A ticked message whose unique id the server no longer lists.
    {"MessageGoneNotDeleted", "Message %s is no longer on the server; not deleted."},
    // A refused server certificate: the host, the problem (below), the fingerprints.
    {"CertificateNotTrusted", "TLS certificate of %s not trusted: %s (SHA-256 fingerprint %s)"},
    {"CertificateChanged",
     "TLS certificate of %s has changed: the server sent %s but the mailbox trusts %s; %s (SHA-256 fingerprint %s)"},
    {"CertificateTooWeak",
     "TLS certificate of %s refused: %s; a certificate this weak cannot be trusted (SHA-256 fingerprint %s)"},
    // Why a certificate did not verify; the library's own words follow in brackets.
    {"CertProblemOther", "the certificate could not be verified"},
    {"CertProblemSelfSigned", "the certificate is self-signed, so no authority vouches for it"},
    {"CertProblemUntrustedAuthority", "the certificate comes from an authority this computer does not trust"},
    {"CertProblemIssuerMissing",
     "the server did not send its intermediate certificate, or its issuer is not trusted on this computer"},
    {"CertProblemIssuerUntrusted", "the certificate's issuer is not trusted on this computer"},
    {"CertProblemExpired", "the certificate expired on %s"},
    {"CertProblemNotYetValid", "the certificate is not valid before %s"},
    {"CertProblemOtherHost", "the certificate is made out for another host, not for %s"},
    {"CertProblemNamedOtherHost", "the certificate is made out for %s, not for %s"},
    {"CertProblemWeakKey", "the server's key is too weak (%s)"},
    {"CertProblemWeakHash", "the certificate is signed with a hash that is too weak"},
    {"CertProblemRevoked", "the certificate has been revoked"},
    // A settings file that cannot be written, with its name.
    {"CannotWriteFile", "Unable to write to %s"},
    // The description of the entry that starts the program at login.
    {"AutostartComment", "Checks the configured mailboxes for new mail"},
    // The title of the message box that tells why a help topic cannot be shown outside the main window.
    {"HelpTitle", "Brevio Help"},
    // Deleting in an IMAP4 folder: the marks of another program could not be put back, the
    // folder was rebuilt since the check, or the server refused the deletion.
    {"ForeignDeleteMarksLost",
     "Folder %s: %d message(s) another program marked for deletion were kept, but their marks could not be set "
     "again: %s"},
    {"FolderRebuiltNotDeleted", "Folder %s was rebuilt on the server since the check; nothing was deleted in it."},
    {"FolderNotDeleted", "Messages in folder %s were not deleted: %s"},
    {"SecretStoreLocked", "secret store locked"},
    {"SecretStoreFailed", "The password cannot be read from the secret store: %s"},
    {"SecretStoreUnreachable", "No secret store can be reached (%s): passwords kept there are asked for"},
    {"PasswordsNotMoved", "The passwords were not moved into the secret store: %s"},
    {"SecretStoreNoSession", "no D-Bus session"},
    {"SecretStoreNoService", "no secret store answers on the session bus"},
    {"SecretStoreNoAnswer", "the secret store did not answer in time"},
    {"SecretNotFound", "the secret store holds no password for this mailbox"},
    {"SecretReadBackDiffers", "the secret store gave back another password than it was given"},
    {"SecretFileDiffers", "the settings file does not hold the passwords it was given"},
    // OAuth2 sign-in
    {"OAuthSignInNeeded", "sign-in needed: open the mailbox in the mailbox editor and press Sign in"},
    {"OAuthTokenFailed", "The access token could not be renewed: %s"},
    {"OAuthSignInFailed", "Sign-in failed: %s"},
    {"OAuthSignedIn", "Signed in; the refresh token is in the secret store."},
    {"OAuthWaitingForBrowser", "Waiting for the sign-in in the browser..."},
    {"OAuthNeedsClient", "the client ID and both endpoint addresses are needed"},
    {"OAuthNoLoopback", "no loopback port could be opened for the answer"},
    {"OAuthNoBrowser", "no browser could be started"},
    {"OAuthStateMismatch", "the answer does not belong to this sign-in (state differs)"},
    {"OAuthCodeRefused", "the token endpoint refused the code"},
    {"OAuthNoAnswer", "no answer from the browser in time"},
    {"OAuthCancelled", "cancelled"},
};

}  // namespace

const TTextKey& TextKey(texts::TTextId id)
{
    return kTextKeys[id];
}

TStringTable::TStringTable()
{
    values_.reserve(texts::TextCount);
    for (const TTextKey& key : kTextKeys)
        values_.append(QString::fromUtf8(key.BuiltIn));
}

std::optional<texts::TTextId> TStringTable::FindKey(const QString& key)
{
    for (int i = 0; i < texts::TextCount; ++i)
        if (key.compare(QLatin1String(kTextKeys[i].Key), Qt::CaseInsensitive) == 0)
            return texts::TTextId(i);
    return std::nullopt;
}

void TStringTable::Set(const QString& key, const QString& text)
{
    if (const std::optional<texts::TTextId> id = FindKey(key))
        values_[*id] = text;
}

}  // namespace brevio
