#pragma once
// What the secret-store tests share: the private keyring's state, secret-tool, brevio-check
// started as users start it, and settings files of mailboxes on loopback.

#include "engine/mailbox_list.h"
#include "support/temp_files.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace brevio::test {

// Skips the test outside the private keyring session.
#define SKIP_WITHOUT_KEYRING()                                                                                         \
    if (qgetenv("BREVIO_TEST_KEYRING") != "1")                                                                         \
        GTEST_SKIP() << "needs the private keyring of scripts/test-server/with-keyring.sh";

// What `secret-tool lookup server Brevio user KEY` prints; empty when it finds nothing.
QString SecretToolLookup(const QString& key);

// Locks the keyring's default collection over D-Bus, as a screen lock or a timeout would.
bool LockKeyring();

struct TCheckerRun {
    int ExitCode = -1;
    QString Out;
    QStringList ErrLines;
};
// Runs brevio-check with `arguments`; `environment` changes the inherited one.
TCheckerRun RunChecker(const QStringList& arguments,
                       const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

// A POP3 mailbox on 127.0.0.1:`port` of user `user`.
TMailBoxSettings LoopbackBox(const QString& user, int port, const QString& password);
// Writes `boxes` to `path`, with FUseSecretStore as given.
void WriteSettings(const QString& path, const QList<TMailBoxSettings>& boxes, bool useStore);
// The values of the file's Password keys (every one, empty or not).
QStringList PasswordValues(const QString& path);

}  // namespace brevio::test
