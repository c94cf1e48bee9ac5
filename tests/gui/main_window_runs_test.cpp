// The runs started from the window: panels, caption, counters, deleting and Escape.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "components/panel.h"
#include "engine/mailbox_list.h"
#include "fake_pop3_server.h"
#include "main_window_fixture.h"
#include "support/error_log.h"
#include "engine/header_cache.h"
#include "engine/new_messages.h"
#include "support/temp_files.h"
#include "support/tls_test_server.h"
#include "ui/certificate_prompt.h"
#include "ui/login_dialog.h"

namespace brevio::test {
namespace {

TEST(MainWindowRuns, CheckAllWithEveryMailboxIgnoredListsNothing)
{
    TWindowUnderTest w("[Main]\n" + MailBoxLines({{"A", 1, true}, {"B", 1, true}}));
    w.form->show();
    ASSERT_TRUE(w.RunAndWait([&] { w.form->actCheckMail->trigger(); }));
    EXPECT_EQ(w.form->Messages()->rowCount(), 0);
    EXPECT_TRUE(w.form->pnlNoNewMeassages->isVisible());
    EXPECT_FALSE(w.form->pnlAbortInfo->isVisible());
    EXPECT_TRUE(
        w.form->windowTitle().startsWith(QStringLiteral("VEQ labs Brevio v" BREVIO_VERSION " - last check at ")));
    EXPECT_EQ(w.Counter("CheckMail"), 1);
    EXPECT_EQ(w.Counter("MessageReceived"), 0);
    EXPECT_TRUE(w.form->actCheckMail->isEnabled());
}

TEST(MainWindowRuns, DeleteWithNothingTickedConnectsNowhere)
{
    TWindowUnderTest w("");
    w.form->show();
    w.form->actDelete->trigger();
    EXPECT_FALSE(w.form->RunInProgress());
    EXPECT_EQ(w.form->StatusText(), QStringLiteral("Nothing to delete…"));
    EXPECT_EQ(w.Counter("MessageDeleted"), 0);
    EXPECT_FALSE(w.form->pnlAbortInfo->isVisible());
}

TEST(MainWindowRuns, TwoMailboxesAreNumberedEachFromOneAndListedAMailboxAtATime)
{
    TFakePop3Server first({{"One", 1000}, {"Two", 2500}});
    TFakePop3Server second({{"Three", 300}});
    TWindowUnderTest w("[Main]\n" + MailBoxLines({{"First", first.Port()}, {"Second", second.Port()}}));
    w.form->show();
    QSignalSpy inserted(w.form->Messages(), &QAbstractItemModel::rowsInserted);
    ASSERT_TRUE(w.RunAndWait([&] { w.form->actCheckMail->trigger(); }));
    EXPECT_EQ(inserted.count(), 2);  // one insertion per mailbox
    EXPECT_EQ(Column(*w.form->Messages(), 0), (QStringList{"1", "2", "1"}));
    EXPECT_EQ(Column(*w.form->Messages(), 3), (QStringList{"First", "First", "Second"}));
    EXPECT_EQ(Column(*w.form->Messages(), 4), (QStringList{"1000", "2500", "300"}));
    EXPECT_EQ(w.Counter("MessageReceived"), 3);
    EXPECT_FALSE(w.form->pnlNoNewMeassages->isVisible());
}

// A schedule tick that falls into a run is skipped. A scheduled run announces only the messages
// that the previous check of their mailbox, of any kind, did not list; the first check after
// start-up counts all.
TEST(MainWindowRuns, ScheduleTickIsSkippedDuringARunAndAnnouncesOnlyNewMail)
{
    TFakePop3Server server({{"One", 10}, {"Two", 20}});
    {
        TWindowUnderTest w("[Main]\n" + MailBoxLines({{"Box", server.Port()}}));
        w.form->show();
        QSignalSpy announced(w.form.get(), &TForm1::NewMailAnnounced);
        ASSERT_TRUE(w.RunAndWait([&] {
            w.form->CheckMailBoxClick(0);
            w.form->tmrMailCheckingTimer();
        }));
        EXPECT_EQ(w.Counter("AutoCheckMail"), 0);
        ASSERT_TRUE(w.RunAndWait([&] { w.form->tmrMailCheckingTimer(); }));
        EXPECT_EQ(w.Counter("AutoCheckMail"), 1);
        EXPECT_TRUE(announced.isEmpty());  // the check before listed both already
        EXPECT_EQ(w.form->Messages()->rowCount(), 2);
    }
    TWindowUnderTest w("[Main]\n" + MailBoxLines({{"Box", server.Port()}}));
    w.form->show();
    QSignalSpy announced(w.form.get(), &TForm1::NewMailAnnounced);
    ASSERT_TRUE(w.RunAndWait([&] { w.form->tmrMailCheckingTimer(); }));
    ASSERT_EQ(announced.count(), 1);
    EXPECT_EQ(announced[0][0].toString(), QStringLiteral("2 new message(s)"));
    ASSERT_TRUE(w.RunAndWait([&] { w.form->tmrMailCheckingTimer(); }));
    EXPECT_EQ(announced.count(), 1);  // the same two are not announced again
}

// With no mailbox, the window says how to add one from the start, and so does a check, which
// connects nowhere. Once the list has mailboxes, the hint goes.
TEST(MainWindowRuns, NoMailboxesSaysHowToAddOne)
{
    const QString hint = TStringTable().Text(texts::NoMailBoxes);
    TWindowUnderTest w("[Main]\nNumMailbox=0\n");
    w.form->show();
    for (const char* when : {"at start", "after a check"}) {
        SCOPED_TRACE(when);
        EXPECT_EQ(w.form->StatusText(), hint);
        EXPECT_EQ(w.form->pnlNoNewMeassages->Text(), hint);
        EXPECT_TRUE(w.form->pnlNoNewMeassages->isVisible());
        ASSERT_TRUE(w.RunAndWait([&] { w.form->actCheckMail->trigger(); }));
    }
    TempFolder folder;
    TMailBoxList added;
    added.Load(folder.Write("added.ini", "[Main]\n" + MailBoxLines({{"A"}, {"B"}, {"C"}})));
    w.form->ReplaceMailBoxes(added);
    EXPECT_EQ(w.form->StatusText(), QString());
    EXPECT_FALSE(w.form->pnlNoNewMeassages->isVisible());
}

TEST(MainWindowRuns, DeletingTickedRowsRemovesExactlyThoseAndCounts)
{
    TFakePop3Server server({{"One", 1000}, {"Two", 2500}, {"Three", 10}});
    TWindowUnderTest w("[Main]\n" + MailBoxLines({{"Box", server.Port()}}));
    const TMailBoxList before = w.form->MailBoxes();
    w.form->show();
    ASSERT_TRUE(w.RunAndWait([&] { w.form->actCheckMail->trigger(); }));
    ASSERT_EQ(w.form->Messages()->rowCount(), 3);
    w.form->Messages()->SetTicked(0, true);
    w.form->Messages()->SetTicked(1, true);
    // The deletion run, then the check-all run that lists what remains.
    ASSERT_TRUE(w.RunAndWait([&] { w.form->actDelete->trigger(); }));
    EXPECT_EQ(server.Deleted(), (QList<int>{1, 2}));
    EXPECT_EQ(w.Counter("MessageDeleted"), 2);
    EXPECT_EQ(w.Counter("DisposedSize"), 3500);
    EXPECT_EQ(w.Counter("CheckMail"), 2);
    // The runs worked on snapshots: the window's mailboxes are as they were.
    EXPECT_TRUE(w.form->MailBoxes() == before);
}

// Escape ends only the mailbox it hits. A mailbox's rows show as soon as its check is done,
// while the run still waits on the next one, and the run's end lists nothing twice.
TEST(MainWindowRuns, EscapeAbortsOnlyTheSilentMailbox)
{
    for (const bool silentFirst : {true, false}) {
        SCOPED_TRACE(silentFirst ? "silent mailbox first" : "silent mailbox last");
        TFakePop3Server silent({}, /*silent=*/true);
        TFakePop3Server live({{"Kept", 42}});
        const TMailBoxSpec hangs{"Hangs", silent.Port()};
        const TMailBoxSpec answers{"Answers", live.Port()};
        TWindowUnderTest w("[Main]\n" + MailBoxLines(silentFirst ? QList{hangs, answers} : QList{answers, hangs}));
        w.form->show();
        QSignalSpy finished(w.form.get(), &TForm1::RunFinished);
        w.form->actCheckMail->trigger();
        ASSERT_TRUE(w.form->RunInProgress());
        EXPECT_FALSE(w.form->actCheckMail->isEnabled());
        EXPECT_FALSE(w.form->actDelete->isEnabled());
        EXPECT_TRUE(w.form->pnlAbortInfo->isVisible());
        // Wait until the worker sits on the silent server, then press Escape in the window.
        ASSERT_TRUE(WaitUntil([&] { return silent.Connections() > 0; }));
        if (!silentFirst) {
            ASSERT_TRUE(WaitUntil([&] { return w.form->Messages()->rowCount() == 1; }));
            EXPECT_TRUE(w.form->RunInProgress());
            EXPECT_EQ(finished.count(), 0);
        }
        // Window shortcuts need the window to be the active one.
        QApplication::setActiveWindow(w.form.get());
        w.form->ListView1->setFocus();
        QTest::keyClick(w.form->ListView1, Qt::Key_Escape);
        ASSERT_TRUE(finished.count() > 0 || finished.wait(60000));
        EXPECT_EQ(Column(*w.form->Messages(), 3), (QStringList{"Answers"}));
        EXPECT_EQ(Column(*w.form->Messages(), 1), (QStringList{"Kept"}));
        EXPECT_EQ(w.Counter("MessageReceived"), 1);
        EXPECT_TRUE(w.form->actCheckMail->isEnabled());
    }
}

TEST(MainWindowRuns, ClosingDuringARunAbortsItAndStillSaves)
{
    TFakePop3Server silent({}, /*silent=*/true);
    TWindowUnderTest w("[Main]\n" + MailBoxLines({{"Hangs", silent.Port()}}));
    w.form->show();
    w.form->actCheckMail->trigger();
    ASSERT_TRUE(WaitUntil([&] { return silent.Connections() > 0; }));
    w.form->close();
    w.form.reset();
    EXPECT_TRUE(w.sectionsAtSave->contains(QStringLiteral("Forms Placement"), Qt::CaseInsensitive));
}

// A refused deletion is logged, and the check that follows the deletion keeps that entry and
// points to it in the status line.
TEST(MainWindowRuns, RefusedDeletionStaysInTheLogAfterTheFollowingCheck)
{
    TFakePop3Server server({{"One", 1000}});
    TWindowUnderTest w("[Main]\n" + MailBoxLines({{"Box", server.Port()}}));
    w.form->show();
    ASSERT_TRUE(w.RunAndWait([&] { w.form->actCheckMail->trigger(); }));
    ASSERT_EQ(w.form->Messages()->rowCount(), 1);
    server.RefuseDelete();
    w.form->Messages()->SetTicked(0, true);
    ASSERT_TRUE(w.RunAndWait([&] { w.form->actDelete->trigger(); }));
    EXPECT_EQ(w.form->Messages()->rowCount(), 1);
    EXPECT_TRUE(w.form->Log().HasEntries());
    EXPECT_EQ(w.form->StatusText(), QStringLiteral("Some Errors occures. Click here for details."));
}

// A click on the status line shows the log window only when the log holds entries.
TEST(MainWindowRuns, StatusLineClickShowsTheLogOnlyWithEntries)
{
    TWindowUnderTest w("");
    w.form->show();
    QStringList shown;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* log = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            shown.append(log->findChild<QPlainTextEdit*>()->toPlainText());
            log->reject();
        }
    });
    closer.start(10);
    QWidget* statusText = w.form->StatusBar1->findChild<QLabel*>(QStringLiteral("StatusBar1Text"));
    ASSERT_NE(statusText, nullptr);
    QTest::mouseClick(statusText, Qt::LeftButton);
    EXPECT_TRUE(shown.isEmpty());
    w.form->Log().Add(QStringLiteral("(host) refused"));
    QTest::mouseClick(statusText, Qt::LeftButton);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown.first().endsWith(QStringLiteral(" - (host) refused")));
}

// The tray menu's Exit can close the window while a question of a user-started run is open
// (the login prompt, or the certificate prompt of a self-signed server): the prompt goes, the
// run ends, and the window still closes and saves.
TEST(MainWindowRuns, ClosingWhileARunsPromptIsOpenCancelsItAndCloses)
{
    TFakePop3Server refusing({{"One", 10}});
    refusing.RefuseLogin();
    TLoopbackServer selfSigned;
    selfSigned.ServeEach([](TServerConnection& connection) {
        if (connection.StartTls(TTestPki::Get().SelfSigned))
            connection.WaitForClose();
    });
    const struct {
        const char* What;
        QByteArray Settings;
        std::function<bool(QWidget*)> IsPrompt;
    } cases[] = {
        {"login prompt", MailBoxLines({{"Box", refusing.Port()}}),
         [](QWidget* w) { return qobject_cast<TfrmFTPLoginAndPassword*>(w) != nullptr; }},
        {"certificate prompt", MailBoxLines({{"Box", selfSigned.Port()}}) + "Security0=1\n",
         [](QWidget* w) { return qobject_cast<TfrmCertificatePrompt*>(w) != nullptr; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TWindowUnderTest w("[Main]\n" + c.Settings);
        w.form->show();
        int prompts = 0;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (c.IsPrompt(QApplication::activeModalWidget()) && prompts++ == 0)
                w.form->close();
        });
        closer.start(10);
        w.form->actCheckMail->trigger();
        ASSERT_TRUE(WaitUntil([&] { return !w.form->RunInProgress() && !w.form->isVisible(); }));
        EXPECT_EQ(prompts, 1);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        w.form.reset();
        EXPECT_TRUE(w.sectionsAtSave->contains(QStringLiteral("Forms Placement"), Qt::CaseInsensitive));
    }
}

// The list of mailboxes is replaced (OK in the mailbox editor) while a run is still listing. The
// rows that arrive afterwards belong to a mailbox of the old list; a later Delete must not
// resolve them against the new list, where their position names another server with the same
// unique ids. Nothing is deleted anywhere, and the log says why.
TEST(MainWindowRuns, RowsOfAReplacedListAreNeverDeletedInAnotherMailbox)
{
    TFakePop3Server silent({}, /*silent=*/true);
    TFakePop3Server listed({{"Listed one", 10}, {"Listed two", 20}});
    TFakePop3Server other({{"Other one", 10}, {"Other two", 20}});
    TWindowUnderTest w("[Main]\n" + MailBoxLines({{"Hangs", silent.Port()}, {"Listed", listed.Port()}}));
    w.form->show();
    QSignalSpy finished(w.form.get(), &TForm1::RunFinished);
    w.form->actCheckMail->trigger();
    ASSERT_TRUE(WaitUntil([&] { return silent.Connections() > 0; }));

    TempFolder folder;
    TMailBoxList edited;
    edited.Load(
        folder.Write("edited.ini", "[Main]\n" + MailBoxLines({{"Listed", listed.Port()}, {"Other", other.Port()}})));
    w.form->ReplaceMailBoxes(edited);
    // Escape ends the silent mailbox; the run goes on to list "Listed" of the old list, whose
    // position (1) is "Other" in the new one.
    QApplication::setActiveWindow(w.form.get());
    QTest::keyClick(w.form->ListView1, Qt::Key_Escape);
    ASSERT_TRUE(finished.count() > 0 || finished.wait(60000));
    ASSERT_EQ(Column(*w.form->Messages(), 1), (QStringList{"Listed one", "Listed two"}));

    w.form->Messages()->SetTicked(0, true);
    w.form->Messages()->SetTicked(1, true);
    ASSERT_TRUE(w.RunAndWait([&] { w.form->actDelete->trigger(); }));
    EXPECT_TRUE(other.Deleted().isEmpty());
    EXPECT_TRUE(listed.Deleted().isEmpty());
    EXPECT_TRUE(w.form->Log().Entries().join('\n').contains(QStringLiteral("2 ticked message(s) were not deleted")));
    // The check after it lists the new list's mailboxes, whose rows delete where they belong.
    ASSERT_EQ(Column(*w.form->Messages(), 3), (QStringList{"Listed", "Listed", "Other", "Other"}));
    w.form->Messages()->SetTicked(3, true);
    ASSERT_TRUE(w.RunAndWait([&] { w.form->actDelete->trigger(); }));
    EXPECT_EQ(other.Deleted(), QList<int>{2});
    EXPECT_TRUE(listed.Deleted().isEmpty());
}

// A schedule tick under a modal dialog (the mailbox editor may replace the list any moment)
// starts nothing; the check runs once the dialog has closed.
TEST(MainWindowRuns, ScheduledCheckWaitsForAModalDialogToClose)
{
    TFakePop3Server server({{"One", 10}});
    TWindowUnderTest w("[Main]\n" + MailBoxLines({{"Box", server.Port()}}));
    w.form->show();
    QSignalSpy finished(w.form.get(), &TForm1::RunFinished);
    QDialog dialog(w.form.get());
    bool startedUnderDialog = true;
    QTimer::singleShot(0, &dialog, [&] {
        w.form->tmrMailCheckingTimer();
        startedUnderDialog = w.form->RunInProgress();
        QTimer::singleShot(300, &dialog, &QDialog::reject);
    });
    dialog.exec();
    EXPECT_FALSE(startedUnderDialog);
    EXPECT_EQ(server.Connections(), 0);
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_EQ(w.Counter("AutoCheckMail"), 1);
    EXPECT_EQ(w.form->Messages()->rowCount(), 1);
}

// What each mailbox listed survives a failed check, and with the header cache a restart too: a
// scheduled check after either announces only what arrived since.
TEST(MainWindowRuns, OldMailIsNotAnnouncedAfterAFailedCheckOrARestart)
{
    const QString record = TNewMessageTracker::DefaultFileName();
    QFile::remove(record);
    TFakePop3Server server({{"One", 10}, {"Two", 20}});
    QList<QString> announcements;
    const auto scheduledCheck = [&](TWindowUnderTest& w) {
        QSignalSpy announced(w.form.get(), &TForm1::NewMailAnnounced);
        EXPECT_TRUE(w.RunAndWait([&] { w.form->tmrMailCheckingTimer(); }));
        announcements.append(announced.isEmpty() ? QString() : announced.first().first().toString());
    };
    {
        TWindowUnderTest w("[Main]\n" + MailBoxLines({{"Box", server.Port()}}));
        *w.headerCache = true;
        w.form->show();
        scheduledCheck(w);
        server.RefuseLogin(true);
        scheduledCheck(w);
        server.RefuseLogin(false);
        scheduledCheck(w);
    }
    server.Deliver({"Three", 30});
    TWindowUnderTest w("[Main]\n" + MailBoxLines({{"Box", server.Port()}}));
    *w.headerCache = true;
    w.form->show();
    scheduledCheck(w);
    EXPECT_EQ(announcements, (QList<QString>{"2 new message(s)", {}, {}, "1 new message(s)"}));
    QFile::remove(record);
    QFile::remove(THeaderCache::DefaultFileName());
}

}  // namespace
}  // namespace brevio::test
