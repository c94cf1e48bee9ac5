#pragma once
// The stored settings of one mailbox, as a plain value: what the settings file holds for it and
// what a check or delete run needs to reach its server.

#include "net/transport.h"

#include <QString>

namespace brevio {

class TveqIniFile;

enum class TMailProtocol { IMAP4, POP3 };

// How a mailbox signs in: with its password, or with an OAuth2 access token (XOAUTH2 or
// OAUTHBEARER) that the sign-in at the provider gave.
enum class TSignInMethod { Password, OAuth2 };
// A provider whose endpoints and scope are filled in for the user; Custom leaves them free.
enum class TOAuthProvider { Custom, Google, Microsoft };

struct TMailBoxSettings {
    QString Name;
    QString Host;
    qint32 Port = 0;
    QString UserName;
    QString Password;
    // The password is kept in the desktop's secret store, not in the file (Password is then
    // empty there; a run gets it filled in from the store).
    bool PasswordInStore = false;
    bool IgnoreCheckAllCommand = false;
    bool IgnoreCheckOnSchedule = false;
    TMailProtocol Protocol = TMailProtocol::IMAP4;
    TSecurity Security = TSecurity::None;
    QString CertFingerprint;  // SHA-256 of a certificate the user trusts, hex; empty: none
    // The authserv-id of the receiving server, whose Authentication-Results alone are trusted;
    // empty: the topmost such header is.
    QString TrustedAuthServId;
    // IMAP4: a connection of its own watches the inbox with IDLE, and new mail is checked as it
    // comes.
    bool Idle = false;
    TSignInMethod SignIn = TSignInMethod::Password;
    TOAuthProvider OAuthProvider = TOAuthProvider::Custom;
    QString OAuthAuthorizationUrl;
    QString OAuthTokenUrl;
    QString OAuthScope;
    QString OAuthClientId;
    QString OAuthClientSecret;  // optional; installed applications often have none
    // The access token for this run, never stored: the runner fills it in from memory (the
    // refresh token lives in the secret store).
    QString AccessToken;

    bool operator==(const TMailBoxSettings&) const = default;

    // The keys of this mailbox with index `index` in section "Main" ("Host0", "POPorIMAP0", ...).
    void LoadFromIni(const TveqIniFile& file, int index);
    void SaveToIni(TveqIniFile& file, int index) const;
    // Removes every mailbox key of the indexes from `firstUnused` on, so that a mailbox taken
    // out of the list leaves nothing behind in the file (its password least of all).
    static void RemoveFromIniFrom(TveqIniFile& file, int firstUnused);
};

}  // namespace brevio
