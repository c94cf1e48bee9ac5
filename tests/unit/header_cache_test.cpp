// The header cache file: what is stored comes back, and a file cut short or damaged anywhere is
// dropped whole, never half read.
#include "engine/header_cache.h"

#include "support/temp_files.h"

#include <QFile>

#include <gtest/gtest.h>

namespace brevio::test {
namespace {

TCachedHeader Header(const QString& subject, const QString& name, const QString& address, qint64 msecs)
{
    TCachedHeader header;
    header.Subject = subject;
    header.From.Name = name;
    header.From.Address = address;
    if (msecs >= 0)
        header.Date = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
    return header;
}

void ExpectSame(const TCachedHeader& got, const TCachedHeader& expected)
{
    EXPECT_EQ(got.Subject, expected.Subject);
    EXPECT_EQ(got.From.Name, expected.From.Name);
    EXPECT_EQ(got.From.Address, expected.From.Address);
    EXPECT_EQ(got.From.Raw, expected.From.Raw);
    EXPECT_EQ(got.Date, expected.Date);
    EXPECT_EQ(got.Spam, expected.Spam);
}

TEST(HeaderCacheFile, KeepsWhatWasStoredAndDropsADamagedFileWhole)
{
    TempFolder folder;
    const QString fileName = folder.Path("headers.cache");
    QHash<QByteArray, TCachedHeader> inbox{
        {"5",
         Header(QStringLiteral("Привет ✓"), QStringLiteral("Ann"), QStringLiteral("ann@example.org"),
                1'700'000'000'000)},
        {"9", Header({}, {}, {}, -1)},
    };
    TCachedHeader spam = Header(QStringLiteral("Win"), {}, QStringLiteral("x@spam.example"), 0);
    spam.Spam = {TSpamJudgement::Spam, TSpamFilter::Rspamd, true, -0.25, true, 15, TAuthResult::SoftFail,
                 TAuthResult::Pass, TAuthResult::Fail};
    inbox.insert("7", spam);
    TCachedHeader raw = Header(QStringLiteral("s"), {}, {}, 0);
    raw.From.Raw = QStringLiteral("<broken");
    {
        THeaderCache cache(fileName);
        cache.Store(QStringLiteral("imap4 mail.example.org 143 bob"), "INBOX", 7, inbox, true, 10, 715194045007);
        // A HIGHESTMODSEQ is only kept with the UIDNEXT of a whole listing.
        cache.Store(QStringLiteral("imap4 mail.example.org 143 bob"), "Sent", 7, {}, true, 0, 99);
        cache.Store(QStringLiteral("pop3 mail.example.org 110 bob"), {}, 0, {{"uid-1", raw}}, true);
        ASSERT_TRUE(cache.Save());
        // Flags changed, nothing else: the file written still holds, so it is not written again.
        const QByteArray written = folder.Read(QStringLiteral("headers.cache"));
        cache.Store(QStringLiteral("imap4 mail.example.org 143 bob"), "INBOX", 7, {}, false, 10, 715194045099);
        EXPECT_EQ(cache.HighestModSeq(QStringLiteral("imap4 mail.example.org 143 bob"), "INBOX", 7), 715194045099u);
        QFile::remove(fileName);
        ASSERT_TRUE(cache.Save());
        EXPECT_FALSE(QFile::exists(fileName));
        folder.Write(QStringLiteral("headers.cache"), written);
    }
    // Read on a thread of its own; the first use waits for it.
    THeaderCache loaded(fileName);
    loaded.StartLoading();
    ASSERT_EQ(loaded.EntryCount(), 4);
    const auto kept = loaded.Folder(QStringLiteral("imap4 mail.example.org 143 bob"), "INBOX", 7);
    for (auto it = inbox.cbegin(); it != inbox.cend(); ++it)
        ExpectSame(kept.value(it.key()), it.value());
    ExpectSame(loaded.Folder(QStringLiteral("pop3 mail.example.org 110 bob"), {}, 0).value("uid-1"), raw);
    EXPECT_TRUE(loaded.Folder(QStringLiteral("imap4 mail.example.org 143 bob"), "INBOX", 8).isEmpty());
    EXPECT_EQ(loaded.UidNext(QStringLiteral("imap4 mail.example.org 143 bob"), "INBOX", 7), 10u);
    EXPECT_EQ(loaded.HighestModSeq(QStringLiteral("imap4 mail.example.org 143 bob"), "INBOX", 7), 715194045007u);
    EXPECT_EQ(loaded.HighestModSeq(QStringLiteral("imap4 mail.example.org 143 bob"), "Sent", 7), 0u);

    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();
    const auto loadFrom = [&](const QByteArray& bytes) {
        THeaderCache cache(folder.Write(QStringLiteral("headers.cache"), bytes));
        cache.Load();
        return cache.EntryCount();
    };
    // Every cut, and a byte set to all ones anywhere (a length of "null" or of four gigabytes,
    // a count past the end): nothing half read, never a crash.
    for (qsizetype size = 0; size < whole.size(); ++size)
        EXPECT_EQ(loadFrom(whole.left(size)), 0) << size;
    EXPECT_EQ(loadFrom(whole + "x"), 0);
    for (qsizetype at = 0; at < whole.size(); ++at) {
        QByteArray bytes = whole;
        bytes[at] = char(0xFF);
        const qsizetype count = loadFrom(bytes);
        EXPECT_TRUE(count == 0 || count == 4) << at;
    }
    EXPECT_EQ(loadFrom(whole), 4);
    // A file of the version before spam verdicts is read as no cache: its headers are fetched again.
    QFile older(QStringLiteral(BREVIO_SOURCE_DIR "/tests/fuzz/corpus/header_cache/two_accounts"));
    ASSERT_TRUE(older.open(QIODevice::ReadOnly));
    EXPECT_EQ(loadFrom(older.readAll()), 0);
    // The fuzzing seed of the current version is read whole.
    QFile seed(QStringLiteral(BREVIO_SOURCE_DIR "/tests/fuzz/corpus/header_cache/with_modseq"));
    ASSERT_TRUE(seed.open(QIODevice::ReadOnly));
    EXPECT_GT(loadFrom(seed.readAll()), 0);
}

}  // namespace
}  // namespace brevio::test
