// A locked keyring. Checks that nobody starts (a scheduled one in the window, brevio-check) never
// unlock it: they log "secret store locked" per mailbox and skip it. A check the user started may
// ask the desktop to unlock; where that cannot happen (no prompter, as here) the login prompt
// asks for the password. These tests lock the keyring for good, so they run in a session of
// their own.
#include "gui/fake_pop3_server.h"
#include "gui/main_window_fixture.h"
#include "secrets/keychain_store.h"
#include "secrets/keyring_support.h"
#include "support/error_log.h"

#include <QFile>

namespace brevio::test {
namespace {

class SecretStoreLocked : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (qgetenv("BREVIO_TEST_KEYRING") != "1")
            return;
        server = new TFakePop3Server({{"Hello", 100}, {"World", 200}});
        boxes = {LoopbackBox(QStringLiteral("ann"), server->Port(), QStringLiteral("pa")),
                 LoopbackBox(QStringLiteral("bob"), server->Port(), QStringLiteral("pb"))};
        TKeychainSecretStore store;
        for (TMailBoxSettings& box : boxes) {
            store.Set(SecretKeyFor(box), box.Password);
            box.Password.clear();
            box.PasswordInStore = true;
        }
        locked = LockKeyring();
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        SKIP_WITHOUT_KEYRING();
        ASSERT_TRUE(locked);
        path = folder.Path(QStringLiteral("brevio.INI"));
        WriteSettings(path, boxes, true);
        connectionsBefore = server->Connections();
    }
    QByteArray SettingsText() const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    int NewConnections() const { return server->Connections() - connectionsBefore; }

    static inline TFakePop3Server* server = nullptr;
    static inline QList<TMailBoxSettings> boxes;
    static inline bool locked = false;
    TempFolder folder;
    QString path;
    int connectionsBefore = 0;
};

TEST_F(SecretStoreLocked, QuietReadsSayLockedWithoutReading)
{
    TKeychainSecretStore store;
    for (const TMailBoxSettings& box : boxes) {
        EXPECT_EQ(store.Probe(SecretKeyFor(box)).Status, TSecretStatus::Locked);
        EXPECT_EQ(store.Get(SecretKeyFor(box), false).Status, TSecretStatus::Locked);
    }
}

TEST_F(SecretStoreLocked, CheckerLogsOneLinePerMailboxAndExitsOne)
{
    const TCheckerRun run = RunChecker({QStringLiteral("--settings"), path});
    EXPECT_EQ(run.ExitCode, 1);
    ASSERT_EQ(run.ErrLines.size(), 2) << run.ErrLines.join(u'\n').toStdString();
    // Newest first.
    EXPECT_TRUE(run.ErrLines[0].endsWith(QStringLiteral(" - (127.0.0.1) bob: secret store locked")));
    EXPECT_TRUE(run.ErrLines[1].endsWith(QStringLiteral(" - (127.0.0.1) ann: secret store locked")));
    EXPECT_EQ(NewConnections(), 0);
}

TEST_F(SecretStoreLocked, ScheduledWindowCheckSkipsTheMailboxesWithoutAPrompt)
{
    TWindowUnderTest w(SettingsText(), false, -1, std::make_shared<TKeychainSecretStore>());
    int prompts = 0;
    w.form->SetLoginPrompt([&](const QString&, QString&, QString&) { return ++prompts, false; });
    ASSERT_TRUE(w.RunAndWait([&] { w.form->tmrMailCheckingTimer(); }));
    EXPECT_EQ(prompts, 0);
    EXPECT_EQ(NewConnections(), 0);
    EXPECT_EQ(w.form->Log().Entries().filter(QStringLiteral("secret store locked")).size(), 2);
    EXPECT_EQ(w.form->Messages()->rowCount(), 0);
}

// The store cannot be unlocked here (no desktop prompt), so the read fails and the login prompt
// asks; the typed password logs in, and the window never hangs on the store.
TEST_F(SecretStoreLocked, ManualWindowCheckFallsBackToTheLoginPrompt)
{
    TWindowUnderTest w(SettingsText(), false, -1, std::make_shared<TKeychainSecretStore>());
    server->RefuseLogin(true);
    int prompts = 0;
    w.form->SetLoginPrompt([&](const QString&, QString&, QString& password) {
        ++prompts;
        server->RefuseLogin(false);
        password = QStringLiteral("typed");
        return true;
    });
    ASSERT_TRUE(w.RunAndWait([&] { w.form->actCheckMailExecute(); }));
    server->RefuseLogin(false);
    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(w.form->Messages()->rowCount(), 4);
}

}  // namespace
}  // namespace brevio::test
