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

// The flat list of a folder's entries: ids added in any order are found, the last header of an
// id wins, ids go shortest first (decimal UIDs in numeric order) and dropping keeps the rest.
TEST(CachedEntries, ReadsAUidOnlyFromAnIdAsTheCacheWritesIt)
{
    const std::pair<QByteArray, std::optional<quint32>> cases[] = {
        {"1", 1u},        {"4294967295", 4294967295u}, {"4294967296", std::nullopt}, {"0", std::nullopt},
        {"08", std::nullopt}, {"+8", std::nullopt},      {" 8", std::nullopt},         {"8 ", std::nullopt},
        {"", std::nullopt},   {"99999999999", std::nullopt}, {"1a", std::nullopt},
    };
    for (const auto& [id, uid] : cases)
        EXPECT_EQ(UidOfId(id), uid) << id.constData();
}

TEST(CachedEntries, FindsWhatWasAddedInAnyOrderAndKeepsTheLastOfAnId)
{
    struct Case {
        const char* Name;
        QList<std::pair<QByteArray, QString>> Added;  // id, subject
        QByteArrayList Order;                        // the ids walked, in order
        QStringList Subjects;                        // their subjects
    };
    const Case cases[] = {
        {"ascending uids", {{"9", "a"}, {"10", "b"}, {"100", "c"}}, {"9", "10", "100"}, {"a", "b", "c"}},
        {"out of order", {{"100", "c"}, {"9", "a"}, {"10", "b"}}, {"9", "10", "100"}, {"a", "b", "c"}},
        {"an id again", {{"5", "old"}, {"7", "x"}, {"5", "new"}}, {"5", "7"}, {"new", "x"}},
        {"an id again at the end", {{"5", "a"}, {"6", "old"}, {"6", "new"}}, {"5", "6"}, {"a", "new"}},
        {"uidl ids", {{"zz", "2"}, {"a\x01", "1"}, {"ab", "3"}}, {"a\x01", "ab", "zz"}, {"1", "3", "2"}},
        {"none", {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TCachedEntries entries;
        for (const auto& [id, subject] : c.Added)
            entries.insert(id, Header(subject, {}, {}, -1));
        QByteArrayList order;
        QStringList subjects;
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            order.append(QByteArray(it.key()));
            subjects.append(it.value().Subject);
        }
        EXPECT_EQ(order, c.Order);
        EXPECT_EQ(subjects, c.Subjects);
        EXPECT_EQ(entries.size(), c.Order.size());
        for (qsizetype i = 0; i < c.Order.size(); ++i)
            EXPECT_EQ(entries.value(c.Order[i]).Subject, c.Subjects[i]);
        EXPECT_FALSE(entries.contains("1"));
        EXPECT_EQ(entries.constFind("1"), entries.constEnd());
    }
    TCachedEntries entries{{"3", Header("three", {}, {}, -1)}, {"1", Header("one", {}, {}, -1)}};
    const TCachedEntries copy = entries;
    EXPECT_EQ(entries.removeIf([](QByteArrayView id, const TCachedHeader&) { return id == "1"; }), 1);
    EXPECT_FALSE(entries.contains("1"));
    EXPECT_EQ(entries.value("3").Subject, QStringLiteral("three"));
    // A copy is a value of its own.
    EXPECT_EQ(copy.value("1").Subject, QStringLiteral("one"));
}

// A whole POP3 listing handed to the cache: its messages with an id of their own and texts short
// enough are the account's entries, whether asked for at once or read back from the file, and
// the same listing again writes nothing.
TEST(HeaderCacheFile, KeepsAWholeListingAsItsEntries)
{
    const auto found = [](const char* id, const QString& subject) {
        TFoundMessage message;
        message.Message.UniqueId = id;
        message.Message.Subject = subject;
        message.Message.Size = 10;
        return message;
    };
    const QList<TFoundMessage> listing{found("b", "two"),   found("a", "one"),
                                       found("b", "twin"),  found("", "no id"),
                                       found("c", QString(THeaderCache::kMaxEntryChars + 1, u'x')), found("d", "four")};
    const QString account = QStringLiteral("pop3 mail.example.org 110 bob");
    const auto expectEntries = [](const TCachedEntries& entries) {
        QByteArrayList ids;
        QStringList subjects;
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            ids.append(QByteArray(it.key()));
            subjects.append(it.value().Subject);
        }
        EXPECT_EQ(ids, (QByteArrayList{"a", "d"}));
        EXPECT_EQ(subjects, (QStringList{"one", "four"}));
    };
    TempFolder folder;
    const QString fileName = folder.Path("headers.cache");
    {
        THeaderCache cache(fileName);
        cache.StoreListing(account, listing);
        ASSERT_TRUE(cache.Save());
        THeaderCache asked(folder.Path("other.cache"));
        asked.StoreListing(account, listing);
        expectEntries(asked.Folder(account, {}, 0));
    }
    THeaderCache loaded(fileName);
    loaded.Load();
    expectEntries(loaded.Folder(account, {}, 0));
    ASSERT_TRUE(QFile::remove(fileName));
    loaded.StoreListing(account, listing);
    ASSERT_TRUE(loaded.Save());
    EXPECT_FALSE(QFile::exists(fileName));
}

// A folder read from the file and then stored to is written back as it now stands: when it only
// grew at its end, its entries as read are written again as they were, the new ones after them.
TEST(HeaderCacheFile, WritesAFolderReadFromTheFileAsItNowStands)
{
    const QString account = QStringLiteral("imap4 mail.example.org 143 bob");
    const auto entries = [](std::initializer_list<const char*> ids, const QString& tag = {}) {
        TCachedEntries made;
        for (const char* id : ids)
            made.insert(id, Header(QString::fromLatin1(id) + tag, QStringLiteral("Ann"), QStringLiteral("a@b.c"),
                                   QByteArray(id).toLongLong() * 1000));
        return made;
    };
    struct TStore {
        TCachedEntries Entries;
        bool Complete = false;
        quint32 UidValidity = 7;
    };
    struct TCase {
        const char* Name;
        QList<TStore> Stores;  // each followed by a save
        TCachedEntries Expected;
        quint32 UidValidity = 7;
    };
    const TCase cases[] = {
        {"grown at the end", {{entries({"9", "10"})}}, entries({"5", "6", "8", "9", "10"})},
        {"grown at the end twice, saved in between",
         {{entries({"9"})}, {entries({"10", "11"})}},
         entries({"5", "6", "8", "9", "10", "11"})},
        {"nothing added", {{}}, entries({"5", "6", "8"})},
        {"one added among them", {{entries({"7"})}}, entries({"5", "6", "7", "8"})},
        {"grown, then one among them", {{entries({"9"})}, {entries({"7"})}}, entries({"5", "6", "7", "8", "9"})},
        {"the last one again, changed", {{entries({"8"}, "!")}}, [&] {
             TCachedEntries expected = entries({"5", "6", "8"});
             expected.insert("8", entries({"8"}, "!").value("8"));
             return expected;
         }()},
        {"replaced whole", {{entries({"5", "8"}), true}}, entries({"5", "8"})},
        {"a new UIDVALIDITY", {{entries({"1"}), false, 8}}, entries({"1"}), 8},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempFolder folder;
        const QString fileName = folder.Path("headers.cache");
        {
            THeaderCache first(fileName);
            first.Store(account, "INBOX", 7, entries({"5", "6", "8"}), true, 9);
            ASSERT_TRUE(first.Save());
        }
        THeaderCache cache(fileName);
        cache.Load();
        quint32 uidNext = 9;
        for (const TStore& store : c.Stores) {
            cache.Store(account, "INBOX", store.UidValidity, store.Entries, store.Complete, ++uidNext);
            ASSERT_TRUE(cache.Save());
        }
        THeaderCache reloaded(fileName);
        reloaded.Load();
        const TCachedEntries kept = reloaded.Folder(account, "INBOX", c.UidValidity);
        QByteArrayList keptIds;
        QByteArrayList expectedIds;
        for (auto it = kept.cbegin(); it != kept.cend(); ++it)
            keptIds.append(QByteArray(it.key()));
        for (auto it = c.Expected.cbegin(); it != c.Expected.cend(); ++it) {
            expectedIds.append(QByteArray(it.key()));
            ExpectSame(kept.value(it.key()), it.value());
        }
        EXPECT_EQ(keptIds, expectedIds);
        EXPECT_EQ(reloaded.UidNext(account, "INBOX", c.UidValidity), uidNext);
    }
}

TEST(HeaderCacheFile, KeepsWhatWasStoredAndDropsADamagedFileWhole)
{
    TempFolder folder;
    const QString fileName = folder.Path("headers.cache");
    TCachedEntries inbox{
        {"5",
         Header(QStringLiteral("Привет ✓"), QStringLiteral("Ann"), QStringLiteral("ann@example.org"),
                1'700'000'000'000)},
        {"9", Header({}, {}, {}, -1)},
    };
    TCachedHeader spam = Header(QStringLiteral("Win"), {}, QStringLiteral("x@spam.example"), 0);
    spam.Spam = {TSpamJudgement::Spam, TSpamFilter::Rspamd, true, true, TAuthResult::SoftFail, TAuthResult::Pass,
                 TAuthResult::Fail, -0.25, 15};
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
