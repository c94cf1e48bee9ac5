// The window against the real test server: a check-all run fills rows and caption, a refused
// login on a user-started run asks the user and goes on with the answer, and mail delivered to a
// watched inbox is listed and announced without any check started.
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QLineEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include "components/footer.h"
#include "components/panel.h"
#include "ui/login_dialog.h"
#include "main_window_fixture.h"
#include "support/live_server.h"
#include "ui/idle_watchers.h"

#include <pwd.h>
#include <unistd.h>

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

// Puts a message into a Maildir inbox as a delivery agent would; removed again at the end.
class TDelivered {
public:
    TDelivered(const QString& maildir, const QByteArray& subject)
        : maildir_(maildir),
          name_(QStringLiteral("%1.M1P%2.watched").arg(QDateTime::currentSecsSinceEpoch()).arg(::getpid()))
    {
        QDir().mkpath(QDir(maildir).filePath(QStringLiteral("new")));
        const QString path = QDir(maildir).filePath(QStringLiteral("new/") + name_);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write("From: Watch <watch@example.org>\r\nSubject: " + subject + "\r\n\r\nBody.\r\n");
        file.close();
        // The server's mail processes run as the system user "mail".
        if (const passwd* mail = ::getpwnam("mail")) [[maybe_unused]]
            int rc = ::chown(path.toLocal8Bit().constData(), mail->pw_uid, mail->pw_gid);
    }
    // A check that opened the inbox for writing has moved the file to cur/, with flags after its name.
    ~TDelivered()
    {
        for (const char* folder : {"new", "cur"}) {
            QDir dir(QDir(maildir_).filePath(QLatin1String(folder)));
            for (const QString& file : dir.entryList({name_ + QLatin1Char('*')}, QDir::Files))
                dir.remove(file);
        }
    }
    TDelivered(const TDelivered&) = delete;
    TDelivered& operator=(const TDelivered&) = delete;

private:
    QString maildir_;
    QString name_;
};

TEST(MainWindowLive, WatchedInboxListsAndAnnouncesNewMailAsItComes)
{
    const LiveServer server = LiveServer::fromEnvironment();
    if (!server.available())
        GTEST_SKIP() << server.unavailableReason().toStdString();
    const std::optional<LiveUser> carol = server.user(QStringLiteral("carol"));
    ASSERT_TRUE(carol);
    const QByteArray settings =
        "[Main]\nNumMailbox=1\nName0=Carol\nHost0=127.0.0.1\nPort0=" + QByteArray::number(server.imapPort())
        + "\nUserName0=carol\nPassword0=" + carol->password.toUtf8() + "\nPOPorIMAP0=0\nIdle0=1\n";
    // Taken out again only once the window and its watcher are gone, as another program would.
    std::optional<TDelivered> delivered;
    TWindowUnderTest w(settings);
    w.form->show();
    const auto watching = [&] {
        const auto status = w.form->Watchers()->Status();
        return status.size() == 1 && status.first().State == TWatchState::Watching;
    };
    ASSERT_TRUE(WaitUntil(watching));
    EXPECT_TRUE(w.form->TrayIcon1->Hint().contains(QStringLiteral("Carol (watched)")))
        << w.form->TrayIcon1->Hint().toStdString();

    QSignalSpy announced(w.form.get(), &TForm1::NewMailAnnounced);
    delivered.emplace(carol->maildir, "Came while watched");
    ASSERT_TRUE(WaitUntil([&] {
        return Column(*w.form->Messages(), TMessageListModel::ColSubject)
            .contains(QStringLiteral("Came while watched"));
    }));
    EXPECT_TRUE(WaitUntil([&] { return announced.count() > 0; }));
}

}  // namespace
}  // namespace brevio::test
