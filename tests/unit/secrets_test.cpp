// Passwords in the secret store, against a store in memory: the key a secret is kept under, what
// a failed or killed move leaves, and what a run reads.
#include "engine/mailbox_list.h"
#include "secrets/password_mover.h"
#include "secrets/run_secrets.h"
#include "settings/ini_file.h"
#include "support/temp_files.h"

#include <gtest/gtest.h>

namespace brevio {
namespace {

TMailBoxSettings Box(const QString& host, const QString& password, bool inStore = false)
{
    TMailBoxSettings box;
    box.Host = host;
    box.Port = 995;
    box.UserName = QStringLiteral("ann");
    box.Password = password;
    box.Protocol = TMailProtocol::POP3;
    box.PasswordInStore = inStore;
    return box;
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(SecretKey, NamesTheAccountNotItsPlaceOrName)
{
    const TMailBoxSettings box = Box(QStringLiteral("Mail.Example.org"), {});
    EXPECT_EQ(SecretKeyFor(box), QStringLiteral("pop3://ann@mail.example.org:995"));
    const std::pair<void (*)(TMailBoxSettings&), bool> changes[] = {
        {[](TMailBoxSettings& b) { b.Name = QStringLiteral("other"); }, true},
        {[](TMailBoxSettings& b) { b.Host = b.Host.toUpper(); }, true},
        {[](TMailBoxSettings& b) { b.Host = QStringLiteral("mail2.example.org"); }, false},
        {[](TMailBoxSettings& b) { b.Port = 110; }, false},
        {[](TMailBoxSettings& b) { b.UserName = QStringLiteral("bob"); }, false},
        {[](TMailBoxSettings& b) { b.Protocol = TMailProtocol::IMAP4; }, false},
    };
    for (const auto& [change, same] : changes) {
        TMailBoxSettings changed = box;
        change(changed);
        EXPECT_EQ(SecretKeyFor(changed) == SecretKeyFor(box), same) << SecretKeyFor(changed).toStdString();
    }
}

class PasswordMove : public ::testing::Test {
protected:
    void SetUp() override
    {
        TMailBoxList list;
        list.Add(std::make_unique<TMailBox>(Box(QStringLiteral("a.example"), QStringLiteral("pa"))));
        list.Add(std::make_unique<TMailBox>(Box(QStringLiteral("b.example"), QStringLiteral("pb"))));
        list.Save(path);
    }
    QString KeyA() const { return SecretKeyFor(Box(QStringLiteral("a.example"), {})); }

    test::TempFolder folder;
    QString path = folder.Path(QStringLiteral("brevio.ini"));
};

TEST_F(PasswordMove, AFailingStepChangesNothing)
{
    const std::pair<const char*, void (*)(TMemorySecretStore&)> failures[] = {
        {"first write refused", [](TMemorySecretStore& s) { s.SetsBeforeFailure = 0; }},
        {"second write refused", [](TMemorySecretStore& s) { s.SetsBeforeFailure = 1; }},
        {"another password read back", [](TMemorySecretStore& s) { s.CorruptReadBack = true; }},
        {"store unreachable", [](TMemorySecretStore& s) { s.FailGet = TSecretStatus::Unavailable; }},
    };
    const QByteArray before = FileBytes(path);
    for (const auto& [name, breakStore] : failures) {
        TMemorySecretStore store;
        store.Secrets.insert(KeyA(), QStringLiteral("older"));  // put back after the failure
        breakStore(store);
        const TMoveOutcome outcome = MovePasswordsToStore(path, store);
        EXPECT_FALSE(outcome.Ok || outcome.Error.isEmpty()) << name;
        EXPECT_EQ(FileBytes(path), before) << name;
        EXPECT_EQ(store.Secrets, (QHash<QString, QString>{{KeyA(), QStringLiteral("older")}})) << name;
    }
    // Back into the file: a password the store will not give stops the move before any change.
    TMemorySecretStore store;
    ASSERT_TRUE(MovePasswordsToStore(path, store).Ok);
    const QByteArray moved = FileBytes(path);
    store.FailGet = TSecretStatus::Locked;
    EXPECT_FALSE(MovePasswordsToFile(path, store).Ok);
    EXPECT_EQ(FileBytes(path), moved);
}

// A kill between two steps: every password is still somewhere, and the move done again completes.
TEST_F(PasswordMove, KilledMidwayLosesNothing)
{
    const auto killAt = [](TMoveStep step) {
        return [step](TMoveStep reached) {
            if (reached == step)
                throw std::runtime_error("killed");
        };
    };
    TMemorySecretStore store;
    EXPECT_THROW(MovePasswordsToStore(path, store, true, killAt(TMoveStep::StoreWritten)), std::runtime_error);
    EXPECT_TRUE(FileHoldsPasswords(path));
    ASSERT_TRUE(MovePasswordsToStore(path, store).Ok);
    EXPECT_FALSE(FileHoldsPasswords(path));
    EXPECT_EQ(store.Secrets.value(KeyA()), QStringLiteral("pa"));

    EXPECT_THROW(MovePasswordsToFile(path, store, true, killAt(TMoveStep::FileSaved)), std::runtime_error);
    EXPECT_TRUE(FileHoldsPasswords(path));
    EXPECT_EQ(store.Secrets.value(KeyA()), QStringLiteral("pa"));
    // The marker keys of a shorter list go with the mailboxes' other keys.
    TMailBoxList one;
    one.Add(std::make_unique<TMailBox>(Box(QStringLiteral("a.example"), {}, true)));
    one.Save(path);
    EXPECT_FALSE(TveqIniFile(path).ValueExists(QStringLiteral("Main"), QStringLiteral("PasswordInStore1")));
}

TEST(EditedPasswords, FailedWriteRestoresTheStoreAndKeepsTheList)
{
    TMemorySecretStore store;
    const TMailBoxSettings ann = Box(QStringLiteral("a.example"), QStringLiteral("old"), true);
    store.Secrets.insert(SecretKeyFor(ann), QStringLiteral("old"));
    QList<TMailBoxSettings> after{ann, Box(QStringLiteral("n.example"), QStringLiteral("pn"))};
    after[0].Password = QStringLiteral("changed");
    store.SetsBeforeFailure = 1;
    const QList<TMailBoxSettings> edited = after;
    QStringList stale;
    EXPECT_FALSE(StoreEditedPasswords({ann}, after, store, stale).Ok);
    EXPECT_EQ(after, edited);
    EXPECT_EQ(store.Secrets, (QHash<QString, QString>{{SecretKeyFor(ann), QStringLiteral("old")}}));
}

// What a run reads, by the kind of run and the state of the store.
TEST(RunSecrets, OnlyChecksTheUserStartedMayPrompt)
{
    struct Case {
        const char* name;
        TRunKind kind;
        bool locked;
        TSecretStatus failure;
        QString password;  // what the first mailbox checks with
        bool skipped;
        const char* logged;
    } cases[] = {
        {"scheduled, open", TRunKind::Scheduled, false, TSecretStatus::Ok, QStringLiteral("pa"), false, ""},
        {"scheduled, locked",
         TRunKind::Scheduled,
         true,
         TSecretStatus::Ok,
         {},
         true,
         "(a.example) secret store locked"},
        {"manual, locked: may unlock", TRunKind::CheckAll, true, TSecretStatus::Ok, QStringLiteral("pa"), false, ""},
        {"scheduled, no store", TRunKind::Scheduled, false, TSecretStatus::Unavailable, {}, true, "cannot be read"},
        {"manual, no store: login prompt",
         TRunKind::CheckAll,
         false,
         TSecretStatus::Unavailable,
         {},
         false,
         "cannot be read"},
        {"scheduled delete, locked", TRunKind::DeleteMarked, true, TSecretStatus::Ok, {}, true, "locked"},
    };
    for (const Case& c : cases) {
        TMemorySecretStore store;
        const TMailBoxSettings ann = Box(QStringLiteral("a.example"), {}, true);
        store.Secrets.insert(SecretKeyFor(ann), QStringLiteral("pa"));
        store.Locked = c.locked;
        store.FailGet = c.failure;
        TRunRequest request;
        request.Kind = c.kind;
        request.Scheduled = c.kind != TRunKind::CheckAll;
        request.MailBoxes = {ann, Box(QStringLiteral("b.example"), QStringLiteral("pb"))};
        request.Deletes = {{0, {}}, {1, {}}};
        const TRunSecretsOutcome outcome = FillRunSecrets(request, store);
        EXPECT_EQ(request.MailBoxes[0].Password, c.password) << c.name;
        EXPECT_EQ(request.MailBoxes[1].Password, QStringLiteral("pb")) << c.name;
        const QList<int> visited = c.kind == TRunKind::DeleteMarked ? QList<int>{request.Deletes.first().MailBoxIndex}
                                                                    : MailBoxesOfRun(request.MailBoxes, request.Kind);
        EXPECT_EQ(visited.first(), c.skipped ? 1 : 0) << c.name;
        EXPECT_EQ(outcome.Log.join(QString()).contains(QLatin1String(c.logged)), true) << c.name;
        EXPECT_EQ(outcome.Log.isEmpty(), *c.logged == 0) << c.name;
        EXPECT_EQ(!outcome.Unreachable.isEmpty(), c.failure == TSecretStatus::Unavailable) << c.name;
    }
}

}  // namespace
}  // namespace brevio
