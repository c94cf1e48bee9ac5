// The window with the passwords in a secret store (one in memory here; the real keyring has
// tests of its own): passwords found in the settings file move into the store at start, a run
// reads them on its worker, and a store that cannot be reached is said once, not per run.
#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <gtest/gtest.h>

#include "fake_pop3_server.h"
#include "main_window_fixture.h"
#include "engine/mailbox_list.h"
#include "secrets/secret_store.h"
#include "support/error_log.h"

namespace brevio::test {
namespace {

int NotesNamed(const char* name)
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String(name) && widget->isVisible())
            ++count;
    return count;
}

void CloseNotes()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(widget))
            widget->close();
    QCoreApplication::processEvents();
}

QString KeyOfFirst(const QString& settingsFile)
{
    TMailBoxList list;
    list.Load(settingsFile);
    return SecretKeyFor(*list.Items(0));
}

TEST(SecretStoreWindow, StartMovesPasswordsFoundInTheFile)
{
    struct Case {
        const char* name;
        bool storeWorks;
    } cases[] = {{"store takes them", true}, {"store refuses: the file keeps them", false}};
    for (const Case& c : cases) {
        auto store = std::make_shared<TMemorySecretStore>();
        if (!c.storeWorks)
            store->FailSet = TSecretStatus::Failed;
        TWindowUnderTest w("[Main]\nFUseSecretStore=1\n" + MailBoxLines({{"A", 1}, {"B", 1}}), false, -1, store);
        TMailBoxList stored;
        stored.Load(w.settingsFile);
        EXPECT_EQ(stored.Items(0)->Password.isEmpty(), c.storeWorks) << c.name;
        EXPECT_EQ(stored.Items(1)->PasswordInStore, c.storeWorks) << c.name;
        EXPECT_EQ(w.form->MailBoxes().Items(0)->Password.isEmpty(), c.storeWorks) << c.name;
        EXPECT_EQ(store->Secrets.value(KeyOfFirst(w.settingsFile)), c.storeWorks ? QStringLiteral("pw") : QString())
            << c.name;
        EXPECT_EQ(NotesNamed("PasswordsNotMovedMessage"), c.storeWorks ? 0 : 1) << c.name;
        CloseNotes();
    }
}

// A run reads the password on its worker: the check logs in with it, and the window's own list
// never holds it.
TEST(SecretStoreWindow, RunReadsThePasswordFromTheStore)
{
    TFakePop3Server server({{"One", 10}, {"Two", 20}});
    auto store = std::make_shared<TMemorySecretStore>();
    TWindowUnderTest w("[Main]\nFUseSecretStore=1\n" + MailBoxLines({{"A", server.Port()}}), false, -1, store);
    ASSERT_TRUE(w.form->MailBoxes().Items(0)->PasswordInStore);
    store->Reads.clear();
    ASSERT_TRUE(w.RunAndWait([&] { w.form->actCheckMailExecute(); }));
    ASSERT_EQ(store->Reads.size(), 1);
    EXPECT_EQ(store->Reads.first().Key, KeyOfFirst(w.settingsFile));
    EXPECT_NE(store->Reads.first().Thread, QThread::currentThread()) << "read on the window's thread";
    EXPECT_EQ(w.form->Messages()->rowCount(), 2);
    EXPECT_TRUE(w.form->MailBoxes().Items(0)->Password.isEmpty());
    EXPECT_FALSE(w.form->Log().HasEntries());
}

// No store reachable: the window says so once; a check the user started still logs in through
// the login prompt, a scheduled one skips the mailbox and asks nothing.
TEST(SecretStoreWindow, UnreachableStoreIsSaidOnceAndTheLoginPromptStillWorks)
{
    TFakePop3Server server({{"One", 10}});
    auto store = std::make_shared<TMemorySecretStore>();
    TWindowUnderTest w("[Main]\nFUseSecretStore=1\n" + MailBoxLines({{"A", server.Port()}}), false, -1, store);
    store->FailGet = TSecretStatus::Unavailable;
    server.RefuseLogin(true);
    int prompts = 0;
    w.form->SetLoginPrompt([&](const QString&, QString&, QString& password) {
        ++prompts;
        server.RefuseLogin(false);
        password = QStringLiteral("typed");
        return true;
    });
    ASSERT_TRUE(w.RunAndWait([&] { w.form->actCheckMailExecute(); }));
    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(w.form->Messages()->rowCount(), 1);
    EXPECT_EQ(NotesNamed("SecretStoreMessage"), 1);

    server.RefuseLogin(true);
    const int connections = server.Connections();
    ASSERT_TRUE(w.RunAndWait([&] { w.form->tmrMailCheckingTimer(); }));
    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(server.Connections(), connections);
    EXPECT_EQ(NotesNamed("SecretStoreMessage"), 1) << "said once, not per run";
    EXPECT_TRUE(w.form->Log().Entries().first().contains(QStringLiteral("cannot be read from the secret store")));
    server.RefuseLogin(false);
    CloseNotes();
}

}  // namespace
}  // namespace brevio::test
