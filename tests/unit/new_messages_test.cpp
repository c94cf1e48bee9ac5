// The new-mail announcement counts only what the previous check of a mailbox did not list.
#include "engine/new_messages.h"

#include "support/temp_files.h"

#include <QFile>

#include <algorithm>

#include <gtest/gtest.h>

namespace brevio {
namespace {

TMessageRow ImapRow(int box, quint32 uid, quint32 uidValidity = 7, const char* folder = "INBOX")
{
    TMessageRow row;
    row.MailBoxIndex = box;
    row.Id.Folder = folder;
    row.Id.Uid = uid;
    row.Id.UidValidity = uidValidity;
    return row;
}

TMessageRow PopRow(int box, const char* uniqueId, qint32 number)
{
    TMessageRow row;
    row.MailBoxIndex = box;
    row.Id.UniqueId = uniqueId;
    row.Id.Number = number;
    return row;
}

TEST(NewMessages, CountsWhatThePreviousCheckOfTheMailboxDidNotList)
{
    TMailBoxSettings imap;
    imap.Host = "imap.example.org";
    TMailBoxSettings pop;
    pop.Host = "pop.example.org";
    pop.Protocol = TMailProtocol::POP3;
    const QList<TMailBoxSettings> both{imap, pop};

    const struct {
        const char* What;
        QList<int> Checked;
        QList<TMessageRow> Rows;
        int Expected;
        QList<int> Unfinished = {};
    } steps[] = {
        {"first check counts all", {0, 1}, {ImapRow(0, 1), ImapRow(0, 2), PopRow(1, "a", 1)}, 3},
        {"nothing changed", {0, 1}, {ImapRow(0, 1), ImapRow(0, 2), PopRow(1, "a", 1)}, 0},
        {"one arrived, one went; POP3 numbers shifted", {0, 1}, {ImapRow(0, 2), ImapRow(0, 3), PopRow(1, "a", 2)}, 1},
        {"the same UID in another folder is another message",
         {0},
         {ImapRow(0, 2), ImapRow(0, 3), ImapRow(0, 3, 7, "Spam")},
         1},
        {"a folder rebuilt under a new UIDVALIDITY is all new",
         {0},
         {ImapRow(0, 2, 8), ImapRow(0, 3, 8), ImapRow(0, 3, 7, "Spam")},
         2},
        {"a mailbox not in this run keeps what it listed", {0}, {ImapRow(0, 2, 8)}, 0},
        {"...so its next check still knows its messages", {1}, {PopRow(1, "a", 1)}, 0},
        {"a failed check (nothing listed) forgets nothing", {0, 1}, {}, 0, {0, 1}},
        {"...so the next one announces nothing old", {0, 1}, {ImapRow(0, 2, 8), PopRow(1, "a", 1)}, 0},
        {"a check cut short adds what it listed", {0}, {ImapRow(0, 4, 8)}, 1, {0}},
        {"...and keeps the rest", {0}, {ImapRow(0, 2, 8), ImapRow(0, 4, 8)}, 0},
        {"a mailbox found empty forgets its messages", {1}, {}, 0},
        {"...so they count again when they come back", {1}, {PopRow(1, "a", 1)}, 1},
        {"rows of two mailboxes in turns",
         {0, 1},
         {ImapRow(0, 2, 8), PopRow(1, "a", 1), ImapRow(0, 5, 8), PopRow(1, "b", 2)},
         2},
        {"...each keeps its own", {0, 1}, {ImapRow(0, 5, 8), PopRow(1, "b", 2)}, 0},
    };
    TNewMessageTracker tracker;
    for (const auto& step : steps)
        EXPECT_EQ(tracker.Update(both, step.Checked, step.Rows, step.Unfinished), step.Expected) << step.What;

    // The same messages in a mailbox on another server are new there.
    TMailBoxSettings other = imap;
    other.Host = "other.example.org";
    EXPECT_EQ(tracker.Update({other}, {0}, {ImapRow(0, 2, 8)}), 1);
}

// The record outlives the session when it is kept in a file: a new session counts only what
// arrived since. A file that is not whole, or not this program's, adds nothing.
TEST(NewMessages, RecordKeptInAFileSurvivesARestartAndADamagedOneIsIgnored)
{
    TMailBoxSettings box;
    box.Host = "imap.example.org";
    box.UserName = "me\nwith a line break";
    test::TempFolder folder;
    const QString file = folder.Path("listed.record");
    {
        TNewMessageTracker before;
        EXPECT_EQ(before.Update({box}, {0},
                                {ImapRow(0, 1), ImapRow(0, 2, 7, "Odd\nname%"), ImapRow(0, 3, 7, "T~\xC3\xBC-._ +")}),
                  3);
        ASSERT_TRUE(before.Save(file));
    }
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner;
    EXPECT_EQ(QFile::permissions(file) & ~(QFile::ReadUser | QFile::WriteUser), owner);

    TNewMessageTracker after;
    after.Load(file);
    EXPECT_EQ(after.Update({box}, {0}, {ImapRow(0, 1), ImapRow(0, 2, 7, "Odd\nname%"), ImapRow(0, 4)}), 1);

    // Every key on a line of its own, percent-encoded as the record has always been written.
    const QByteArray whole = folder.Read("listed.record");
    QList<QByteArray> lines = whole.split('\n');
    std::sort(lines.begin(), lines.end());
    QList<QByteArray> expected{"",
                               "@" + QStringLiteral("imap.example.org\n%1\n%2\nme\nwith a line break")
                                         .arg(box.Port)
                                         .arg(int(box.Protocol))
                                         .toUtf8()
                                         .toPercentEncoding(),
                               "INBOX\n7\n1",
                               "Odd\nname%\n7\n2",
                               "T~\xC3\xBC-._ +\n7\n3",
                               "brevio listed messages 1",
                               "end"};
    for (qsizetype i = 2; i < 5; ++i)
        expected[i] = expected[i].toPercentEncoding();
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
    for (const QByteArray& damaged : {whole.left(whole.size() - 4), "not a record\n" + whole, QByteArray()}) {
        TNewMessageTracker fresh;
        fresh.Load(folder.Write("damaged.record", damaged));
        EXPECT_EQ(fresh.Update({box}, {0}, {ImapRow(0, 1)}), 1);
    }
}

}  // namespace
}  // namespace brevio
