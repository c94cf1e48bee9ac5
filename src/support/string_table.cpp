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
    // Failures of the network and protocol layers; the server's, the system's and the TLS
    // library's words go into the %s places as they came.
    {"ConnectionClosedGracefully", "Connection Closed Gracefully."},
    {"AlreadyConnected", "Already connected."},
    {"Disconnected", "Disconnected."},
    {"ReadTimeout", "Read Timeout"},
    {"MaxLineLengthExceeded", "Max line length exceeded."},
    {"NotConnected", "Not Connected"},
    {"CannotAllocateSocket", "Cannot allocate socket."},
    {"CannotBindSocket", "Could not bind socket. Address and port are already in use."},
    {"SocketErrorNumber", "Socket Error # %d"},
    {"SocketError10004", "Interrupted system call."},
    {"SocketError10009", "Bad file number."},
    {"SocketError10013", "Access denied."},
    {"SocketError10014", "Bad address."},
    {"SocketError10022", "Invalid argument."},
    {"SocketError10024", "Too many open files."},
    {"SocketError10035", "Operation would block. "},
    {"SocketError10036", "Operation now in progress."},
    {"SocketError10037", "Operation already in progress."},
    {"SocketError10038", "Socket operation on non-socket."},
    {"SocketError10039", "Destination address required."},
    {"SocketError10040", "Message too long."},
    {"SocketError10041", "Protocol wrong type for socket."},
    {"SocketError10042", "Bad protocol option."},
    {"SocketError10043", "Protocol not supported."},
    {"SocketError10044", "Socket type not supported."},
    {"SocketError10045", "Operation not supported on socket."},
    {"SocketError10046", "Protocol family not supported."},
    {"SocketError10047", "Address family not supported by protocol family."},
    {"SocketError10048", "Address already in use."},
    {"SocketError10049", "Cannot assign requested address."},
    {"SocketError10050", "Network is down."},
    {"SocketError10051", "Network is unreachable."},
    {"SocketError10052", "Net dropped connection or reset."},
    {"SocketError10053", "Software caused connection abort."},
    {"SocketError10054", "Connection reset by peer."},
    {"SocketError10055", "No buffer space available."},
    {"SocketError10056", "Socket is already connected."},
    {"SocketError10057", "Socket is not connected."},
    {"SocketError10058", "Cannot send or receive after socket is closed."},
    {"SocketError10059", "Too many references, cannot splice."},
    {"SocketError10060", "Connection timed out."},
    {"SocketError10061", "Connection refused."},
    {"SocketError10062", "Too many levels of symbolic links."},
    {"SocketError10063", "File name too long."},
    {"SocketError10064", "Host is down."},
    {"SocketError10065", "No route to host."},
    {"SocketError10066", "Directory not empty"},
    {"SocketError11001", "Host not found."},
    {"TlsAlreadyActive", "TLS is already active on the connection to %s."},
    {"TlsExtraCertificatesUnreadable", "The extra trusted certificates cannot be read."},
    {"TlsCannotSetUp", "TLS cannot be set up: %s"},
    {"TlsCannotCheckHostName", "TLS cannot check the host name %s."},
    {"TlsHandshakeFailed", "TLS handshake with %s failed: %s"},
    {"TlsHandshakeOldProtocol",
     "TLS handshake with %s failed: the server offers only TLS 1.0/1.1; Brevio needs TLS 1.2 or newer (%s)"},
    {"TlsHandshakeWeakKey", "TLS handshake with %s failed: the server's key is too weak (%s) (%s)"},
    {"TlsHandshakeWeakKeyExchange", "TLS handshake with %s failed: the server's key exchange is too weak (%s)"},
    {"TlsHandshakeNotTls",
     "TLS handshake with %s failed: the server did not answer in TLS; this port may be for plain or STARTTLS "
     "connections (%s)"},
    {"TlsHandshakeNoSharedCipher",
     "TLS handshake with %s failed: the server and Brevio share no protocol version or cipher (%s)"},
    {"TlsHandshakeServerClosed", "TLS handshake with %s failed: the server closed the connection"},
    {"TlsNoCertificate", "TLS server %s sent no certificate."},
    {"TlsErrorFrom", "TLS error from %s: %s"},
    {"Pop3UnrecognizedReply", "Unrecognized POP3 Response Header:"},
    {"Pop3NoStls", "The server does not offer STLS; the connection cannot be secured, so the login was not sent."},
    {"Pop3StlsRefused", "The server refused STLS:%s"},
    {"CredentialsLineBreak", "The user name or password contains a line break, which cannot be sent."},
    {"ApopNoTimestamp", "Server do not support APOP (no timestamp)"},
    {"ApopNoMd5", "MD5 is not available for APOP."},
    {"Pop3UnreadableCount", "Unreadable message count in the STAT reply: \"%s\""},
    {"ImapUnrecognizedReply", "Unrecognized IMAP4 Response Header."},
    {"ImapWrongState", "Unable to execute command, wrong connection state;Current connection state: %s."},
    {"ImapPreauthNoStarttls", "The server greeted with PREAUTH, so the connection cannot be secured with STARTTLS."},
    {"ImapNoStarttls",
     "The server does not offer STARTTLS; the connection cannot be secured, so the login was not sent."},
    {"ImapStarttlsRefused", "The server refused STARTTLS: %s"},
    {"ImapLoginDisabled", "The server does not accept a login with a password on this connection (LOGINDISABLED)."},
    {"ImapNulByte", "A text sent to the server contains a NUL byte."},
    {"ImapUnreadableCount", "Invalid message count from the server: \"%s\""},
    {"NumberBelowOne", "Number passed as parameter is invalid, must be 1 or greater"},
    {"UidBelowOne", "UID passed as parameter is invalid, must be 1 or greater"},
    {"UidNotDigits", "UID passed as parameter is invalid, contains non-digit"},
    {"UidEmpty", "Empty string passed as UID"},
    {"SequenceSetInvalid", "Sequence set passed as parameter is invalid"},
    // Spam triage: the Spam column, its tool tip, the sender lists' commands.
    {"SpamVerdictSpam", "spam"},
    {"SpamVerdictHam", "ham"},
    {"SpamFriend", "friend"},
    {"SpamSpammer", "spammer"},
    {"SpamTipFilter", "Spam filter %s: %s"},
    {"SpamTipScore", "Score %s (spam from %s)"},
    {"SpamTipScoreOnly", "Score %s"},
    {"SpamTipAuthentication", "SPF: %s, DKIM: %s, DMARC: %s"},
    {"SpamTipAuthFailed", "The sender's domain does not vouch for this message"},
    {"SpamTipNothing", "The server said nothing about spam"},
    {"SpamTipFriend", "The sender is on your friends list: never ticked as spam"},
    {"SpamTipSpammer", "The sender is on your spammers list"},
    {"SpamResultAbsent", "not checked"},
    {"NeverTickSender", "Never tick mail from this sender"},
    {"NeverTickDomain", "Never tick mail from this domain"},
    {"AlwaysTickSender", "Always tick mail from this sender"},
    {"AlwaysTickDomain", "Always tick mail from this domain"},
    {"EditSenderLists", "Friends and spammers…"},
    {"SenderListsNotSaved", "The friends and spammers lists were not saved: %s"},
    {"SpamAuthFailedMark", "⚠"},
    {"SpamFilterAssassin", "SpamAssassin"},
    {"SpamFilterRspamd", "rspamd"},
    // Watching inboxes with IDLE
    {"WatchEnded", "Watching %s for new mail stopped: %s. It is checked on the schedule until a check you start succeeds."},
    {"WatchNoIdle", "the server does not offer IDLE"},
    {"WatchIdleRefused", "the server refused IDLE: %s"},
    {"WatchedConnected", "%s (watched)"},
    {"WatchedNotConnected", "%s (watched, not connected)"},
    {"WatchedOnSchedule", "%s (watching stopped, on the schedule)"},
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
    // Sign-in token failures of the protocol clients
    {"TokenNeedsTls", "The sign-in token is sent only over a secured connection (TLS or %s); it was not sent."},
    {"TokenMissing", "There is no sign-in token yet: sign in from the mailbox editor first."},
    {"TokenUnsendable", "The user name or sign-in token contains a character that cannot be sent."},
    {"TokenNotOffered", "The server offers no sign-in with a token (%s)."},
    {"TokenAcceptedEarly", "The server accepted the sign-in before the token was sent."},
    {"TokenSecondChallenge", "The server sent a second challenge; the sign-in was given up."},
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

const TStringTable& TStringTable::BuiltIn()
{
    static const TStringTable builtIn;
    return builtIn;
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
