// The desktop's secret store for real: gnome-keyring in a private D-Bus session (outside it the
// tests skip). Reads and writes and the moves checked with secret-tool; brevio-check with the
// passwords only in the store (against the private Dovecot server) and without a session bus.
#include "live/live_support.h"
#include "secrets/keychain_store.h"
#include "secrets/keyring_support.h"
#include "secrets/password_mover.h"
#include "settings/options.h"

#include <QDir>

namespace brevio::test {
namespace {

TEST(SecretStoreKeyring, WritesReadsAndRemovesWhatSecretToolSees)
{
    SKIP_WITHOUT_KEYRING();
    TKeychainSecretStore store;
    const struct {
        const char* name;
        QString key;
        QString secret;
    } cases[] = {
        {"plain", QStringLiteral("pop3://ann@a.example:110"), QStringLiteral("s3cret")},
        {"blanks and quotes", QStringLiteral("imap4://b o b@b.example:993"), QStringLiteral(" \"p=w; #x\" ")},
        {"not ASCII", QStringLiteral("imap4://вася@c.example:143"), QStringLiteral("пароль ✓")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(store.Get(c.key, false).Status, TSecretStatus::NotFound) << c.name;
        ASSERT_TRUE(store.Set(c.key, c.secret).Ok()) << c.name;
        for (const bool mayPrompt : {false, true}) {
            const TSecretResult read = store.Get(c.key, mayPrompt);
            EXPECT_EQ(read.Status, TSecretStatus::Ok) << c.name << read.Error.toStdString();
            EXPECT_EQ(read.Secret, c.secret) << c.name;
        }
        EXPECT_EQ(SecretToolLookup(c.key), c.secret) << c.name;
        EXPECT_TRUE(store.Remove(c.key).Ok()) << c.name;
        EXPECT_TRUE(store.Remove(c.key).Ok()) << c.name << ": removing what is gone succeeds";
        EXPECT_EQ(store.Get(c.key, true).Status, TSecretStatus::NotFound) << c.name;
        EXPECT_TRUE(SecretToolLookup(c.key).isEmpty()) << c.name;
    }
}

// The option on and off: the file ends with empty Password keys and the store with every
// password, then the other way round.
TEST(SecretStoreKeyring, PasswordsMoveInAndOutOfTheFile)
{
    SKIP_WITHOUT_KEYRING();
    TempFolder folder;
    const QString path = folder.Path(QStringLiteral("brevio.INI"));
    const QList<TMailBoxSettings> boxes{LoopbackBox(QStringLiteral("ann"), 1110, QStringLiteral("pa")),
                                        LoopbackBox(QStringLiteral("bob"), 1110, QStringLiteral("pb"))};
    WriteSettings(path, boxes, false);
    TKeychainSecretStore store;

    const TMoveOutcome in = MovePasswordsToStore(path, store);
    ASSERT_TRUE(in.Ok) << in.Error.toStdString();
    EXPECT_EQ(PasswordValues(path), (QStringList{QString(), QString()}));
    EXPECT_EQ(SecretToolLookup(SecretKeyFor(boxes[0])), QStringLiteral("pa"));
    EXPECT_EQ(SecretToolLookup(SecretKeyFor(boxes[1])), QStringLiteral("pb"));
    TOptions options;
    options.Load(path);
    EXPECT_TRUE(options.FUseSecretStore);

    const TMoveOutcome out = MovePasswordsToFile(path, store);
    ASSERT_TRUE(out.Ok) << out.Error.toStdString();
    EXPECT_EQ(PasswordValues(path), (QStringList{QStringLiteral("pa"), QStringLiteral("pb")}));
    EXPECT_TRUE(SecretToolLookup(SecretKeyFor(boxes[0])).isEmpty());
    options.Load(path);
    EXPECT_FALSE(options.FUseSecretStore);
}

// Without a session bus no store can be reached: one clear line per mailbox, exit status 1,
// and no mailbox is tried with an empty password.
TEST(SecretStoreKeyring, CheckerWithoutASessionBusSaysSoPerMailbox)
{
    SKIP_WITHOUT_KEYRING();
    TempFolder folder;
    const QString path = folder.Path(QStringLiteral("brevio.INI"));
    QList<TMailBoxSettings> boxes{LoopbackBox(QStringLiteral("ann"), 1, {}), LoopbackBox(QStringLiteral("bob"), 1, {})};
    for (TMailBoxSettings& box : boxes)
        box.PasswordInStore = true;
    WriteSettings(path, boxes, true);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
    environment.remove(QStringLiteral("DISPLAY"));
    const TCheckerRun run = RunChecker({QStringLiteral("--settings"), path}, environment);
    EXPECT_EQ(run.ExitCode, 1);
    ASSERT_EQ(run.ErrLines.size(), 2) << run.ErrLines.join(u'\n').toStdString();
    for (const QString& line : run.ErrLines)
        EXPECT_TRUE(line.contains(QStringLiteral("cannot be read from the secret store: no D-Bus session")))
            << line.toStdString();
    EXPECT_TRUE(run.ErrLines[0].contains(QStringLiteral("(127.0.0.1) bob: ")));
}

// A check of every seeded mailbox of the private Dovecot server with the passwords only in the
// store lists what the same check lists with the passwords in the file.
TEST(SecretStoreKeyring, CheckerReadsThePasswordsFromTheStore)
{
    SKIP_WITHOUT_KEYRING();
    const LiveServer server = LiveServer::fromEnvironment();
    if (!server.available())
        GTEST_SKIP() << server.unavailableReason().toStdString();
    TempFolder folder;
    const QString path = folder.Path(QStringLiteral("brevio.INI"));
    TMailBoxList list;
    for (const TLiveConfig& config : kLiveConfigs)
        list.Add(MakeMailBox(server, QStringLiteral("alice"), config.Protocol, config.Security,
                             QString::fromLatin1(config.Label)));
    list.Save(path);
    const QStringList arguments{QStringLiteral("--settings"), path, QStringLiteral("--format"), QStringLiteral("tsv"),
                                QStringLiteral("--no-cache")};
    const TCheckerRun inFile = RunChecker(arguments, QProcessEnvironment::systemEnvironment());
    ASSERT_EQ(inFile.ExitCode, 0) << inFile.ErrLines.join(u'\n').toStdString();
    ASSERT_GT(inFile.Out.count(u'\n'), list.Count());

    TKeychainSecretStore store;
    ASSERT_TRUE(MovePasswordsToStore(path, store).Ok);
    for (const QString& value : PasswordValues(path))
        EXPECT_TRUE(value.isEmpty());
    const TCheckerRun inStore = RunChecker(arguments, QProcessEnvironment::systemEnvironment());
    EXPECT_EQ(inStore.ExitCode, 0) << inStore.ErrLines.join(u'\n').toStdString();
    EXPECT_EQ(inStore.Out, inFile.Out);
    ASSERT_TRUE(MovePasswordsToFile(path, store).Ok);
}

}  // namespace
}  // namespace brevio::test
