// The window against the real test server: a check-all run fills rows and caption, and a
// refused login on a user-started run asks the user and goes on with the answer.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include "components/footer.h"
#include "components/panel.h"
#include "ui/login_dialog.h"
#include "main_window_fixture.h"
#include "support/live_server.h"

namespace brevio::test {
namespace {

TEST(MainWindowLive, CheckAllListsTheServerAndAsksForARefusedLogin)
{
    const LiveServer server = LiveServer::fromEnvironment();
    if (!server.available())
        GTEST_SKIP() << server.unavailableReason().toStdString();
    const std::optional<LiveUser> alice = server.user(QStringLiteral("alice"));
    const std::optional<LiveUser> bob = server.user(QStringLiteral("bob"));
    ASSERT_TRUE(alice && bob);

    const QByteArray settings = "[Main]\nNumMailbox=2\n"
                                "Name0=Alice\nHost0=127.0.0.1\nPort0="
        + QByteArray::number(server.imapPort()) + "\nUserName0=alice\nPassword0=" + alice->password.toUtf8()
        + "\nPOPorIMAP0=0\n"
          "Name1=Bob\nHost1=127.0.0.1\nPort1="
        + QByteArray::number(server.pop3Port()) + "\nUserName1=bob\nPassword1=wrong\nPOPorIMAP1=1\n";
    TWindowUnderTest w(settings);
    // Answer the real login prompt as a user would: type into it and press OK.
    QStringList asked;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* prompt = qobject_cast<TfrmFTPLoginAndPassword*>(QApplication::activeModalWidget());
        if (!prompt)
            return;
        asked.append(prompt->lblDesc->text());
        prompt->edtUserName->setText(QStringLiteral("bob"));
        prompt->edtPassword->setText(bob->password);
        prompt->btnOK->click();
    });
    answer.start(20);
    w.form->show();
    ASSERT_TRUE(w.RunAndWait([&] { w.form->actCheckMail->trigger(); }));

    const QStringList mailboxes = Column(*w.form->Messages(), TMessageListModel::ColMailBox);
    const qsizetype aliceRows = SeedManifest::load().messages().size() - 3;  // bob's three are his
    EXPECT_EQ(mailboxes.count(QStringLiteral("Alice")), aliceRows);
    EXPECT_EQ(mailboxes.count(QStringLiteral("Bob")), 3);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked.first().contains(QStringLiteral("127.0.0.1"))) << asked.first().toStdString();
    EXPECT_EQ(w.Counter("MessageReceived"), mailboxes.size());
    EXPECT_TRUE(w.form->windowTitle().contains(QStringLiteral(" - last check at ")));
    EXPECT_FALSE(w.form->pnlNoNewMeassages->isVisible());
}

}  // namespace
}  // namespace brevio::test
