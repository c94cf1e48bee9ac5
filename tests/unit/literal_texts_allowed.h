#pragma once
// The texts of src/ that may reach the user as written in the code (see literal_texts_test.cpp).
// Paths are relative to src/; a text is written as it stands between the quotes of the source.

#include <array>

namespace brevio::test {

struct TAllowedText {
    const char* File;
    const char* Text;
};

// The IMAP4 client has no string table either: like the POP3 client's below, its failure texts
// show as the detail of a failed check, beside the mailbox's host.
inline constexpr std::array<const char*, 1> kClientLayerFolders{
    "imap/",
};

// Built-in window titles that the window's own section replaces by its Caption (the sections
// carry other words, so the lang.ENG rule of the test does not find them).
inline constexpr std::array<TAllowedText, 2> kFormDefaults{{
    {"ui/log_window.cpp", "Log"},
    {"ui/usage_statistics_dialog.cpp", "VEQ labs Brevio usage statistics"},
}};

// The network and POP3 layers have no string table. These are their own failure texts: the log
// shows them as the detail of a failed connection, beside the mailbox's host. The certificate
// refusals are worded by the engine instead (CertificateRefusalText).
inline constexpr std::array<TAllowedText, 33> kNetworkLayerTexts{{
    {"net/errors.cpp", "Socket Error # %1\\r\\n%2"},
    {"net/errors.h", "Connection Closed Gracefully."},
    {"net/errors.h", "Already connected."},
    {"net/errors.h", "Disconnected."},
    {"net/errors.h", "Read Timeout"},
    {"net/errors.h", "Max line length exceeded."},
    {"net/errors.h", "Not Connected"},
    {"net/errors.h", "Cannot allocate socket."},
    {"net/errors.h", "Could not bind socket. Address and port are already in use."},
    {"net/socket_transport.cpp", "TLS is already active on the connection to %1."},
    {"net/tls_session.cpp", "The extra trusted certificates cannot be read."},
    {"net/tls_session.cpp", "TLS cannot be set up: %1"},
    {"net/tls_session.cpp", "TLS cannot check the host name %1."},
    {"net/tls_session.cpp", "TLS handshake with %1 failed: %2"},
    {"net/tls_session.cpp", "TLS server %1 sent no certificate."},
    {"net/tls_session.cpp", "TLS error from %1: %2"},
    {"pop3/pop3_client.cpp", "Unrecognized POP3 Response Header:\\n\\\"%1\\\""},
    {"pop3/pop3_client.cpp",
     "The server does not offer STLS; the connection cannot be secured, so the login was not sent."},
    {"pop3/pop3_client.cpp", "The server refused STLS:%1"},
    {"pop3/pop3_client.cpp", "The user name or password contains a line break, which cannot be sent."},
    {"pop3/pop3_client.cpp", "Server do not support APOP (no timestamp)"},
    {"pop3/pop3_client.cpp", "MD5 is not available for APOP."},
    {"pop3/pop3_client.cpp", "Number passed as parameter is invalid, must be 1 or greater"},
    {"pop3/pop3_client.cpp", "Unreadable message count in the STAT reply: \\\"%1\\\""},
    {"pop3/pop3_sasl.cpp", "Unrecognized POP3 Response Header:\\n\\\"%1\\\""},
    {"pop3/pop3_sasl.cpp", "The sign-in token is sent only over a secured connection (TLS or STLS); it was not sent."},
    {"pop3/pop3_sasl.cpp", "There is no sign-in token yet: sign in from the mailbox editor first."},
    {"pop3/pop3_sasl.cpp", "The user name or sign-in token contains a character that cannot be sent."},
    {"pop3/pop3_sasl.cpp", "The server offers no sign-in with a token (SASL OAUTHBEARER or XOAUTH2)."},
    {"pop3/pop3_sasl.cpp", "The server accepted the sign-in before the token was sent."},
    {"pop3/pop3_sasl.cpp", "The server sent a second challenge; the sign-in was given up."},
    // Raised and caught inside the address parser, and inside a folder's listing; never shown.
    {"mime/email_address.cpp", "@ Outside address"},
    {"engine/mailbox_imap4.cpp", "The server refused to list the messages of a folder."},
}};

}  // namespace brevio::test
