// Access for live tests to the private mail server that scripts/test-server/start.sh runs, and
// to the manifest of the mail it seeds (tests/live/seed_manifest.tsv).
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace brevio::test {

struct LiveUser {
    QString name;
    QString password;
    QString maildir;  // root Maildir of the user (its INBOX)
};

// The server as described by the BREVIO_TEST_* environment variables (scripts/test.sh sets
// them from the server's env file). Live tests call GTEST_SKIP() when !available().
class LiveServer {
public:
    // `prefix` names the server: "BREVIO_TEST_" the Dovecot one, "BREVIO_TEST_COURIER_" the
    // second one (scripts/test-server/courier-start.sh).
    static LiveServer fromEnvironment(const char* prefix = "BREVIO_TEST_");

    bool available() const { return missing_.isEmpty(); }
    // Names of the variables that were absent or malformed, for the skip message.
    QString unavailableReason() const;

    QString host() const { return host_; }
    quint16 pop3Port() const { return pop3Port_; }
    quint16 imapPort() const { return imapPort_; }
    quint16 pop3sPort() const { return pop3sPort_; }
    quint16 imapsPort() const { return imapsPort_; }
    QString caFile() const { return caFile_; }  // the server's certificate, the only CA to trust
    QString serverDir() const { return serverDir_; }
    QString logFile() const { return logFile_; }

    QStringList userNames() const;
    std::optional<LiveUser> user(const QString& name) const;
    // The Maildir folder that holds a displayed folder ("INBOX", "Archive/2024", "Входящие"),
    // or an empty string for an unknown user.
    QString folderPath(const QString& userName, const QString& folder) const;

private:
    QString prefix_;
    bool utf8FolderNames_ = false;  // <prefix>MAILDIR_NAMES=utf8: names on disk are UTF-8
    QStringList missing_;
    QString host_;
    quint16 pop3Port_ = 0, imapPort_ = 0, pop3sPort_ = 0, imapsPort_ = 0;
    QString caFile_, serverDir_, logFile_;
    QList<LiveUser> users_;
};

// Maildir++ name of one displayed folder path below a user's root: "." + each level in
// modified UTF-7 (RFC 3501 5.1.3), levels joined by "."; "INBOX" is the root itself.
QString maildirFolderName(const QString& folder);

// One seeded message as the manifest describes it.
struct SeedMessage {
    QString user;
    QString folder;       // as displayed, "/" between levels
    int seq = 0;          // message number and UID right after seeding
    QString unique;       // Maildir file name up to ":2,"
    qint64 size = 0;      // RFC822.SIZE and POP3 LIST size
    QDateTime dateUtc;    // invalid when the Date header cannot be parsed
    QString fromName;     // empty when the sender has no display name
    QString fromAddress;  // empty (with fromName) when From is not one parsable address
    QString subject;      // decoded
};

class SeedManifest {
public:
    // The manifest in the source tree. Throws std::runtime_error when it cannot be read or a
    // line is malformed.
    static SeedManifest load();
    static SeedManifest load(const QString& path);

    const QList<SeedMessage>& messages() const& { return messages_; }
    // By value on a temporary, so `for (auto& m : SeedManifest::load().messages())` is safe.
    QList<SeedMessage> messages() && { return std::move(messages_); }
    // The messages of one folder in message-number order.
    QList<SeedMessage> folder(const QString& user, const QString& folder) const;

private:
    QList<SeedMessage> messages_;
};

}  // namespace brevio::test
