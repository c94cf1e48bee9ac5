// Message rows and their text forms: numbering per mailbox, the identity each row carries, the
// command-line checker's TSV and JSON output, and keeping certificates trusted during a run.
#include "engine/check_run.h"
#include "engine/mailbox_list.h"
#include "engine/message_export.h"
#include "support/text_format.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

namespace brevio {
namespace {

TEST(FormatText, FillsPlaceholdersInOrderAndToleratesBrokenTexts)
{
    struct Case {
        const char* Format;
        std::initializer_list<QVariant> Arguments;
        const char* Expected;
    };
    const Case cases[] = {
        {"Connecting to server (%s)...", {QStringLiteral("Home")}, "Connecting to server (Home)..."},
        {"Retrieved message header %d from %d", {3, 10}, "Retrieved message header 3 from 10"},
        {"%d%% done", {50}, "50% done"},
        {"no placeholders", {1, 2}, "no placeholders"},
        {"%s and %s", {QStringLiteral("one")}, "one and %s"},
        {"100% sure %x", {}, "100% sure %x"},
        {"trailing %", {1}, "trailing %"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatText(QString::fromUtf8(c.Format), c.Arguments), QString::fromUtf8(c.Expected)) << c.Format;
}

class MessageRows : public ::testing::Test {
protected:
    void SetUp() override
    {
        pop.Name = QStringLiteral("Home");
        pop.Protocol = TMailProtocol::POP3;
        popFound = {Found(1, QStringLiteral("Tab\there"), 1000, {}, 0, "id-1"),
                    Found(2, QStringLiteral("Line\r\nbreak"), -1, {}, 0, "id-2")};
        imap.Name = QStringLiteral("Work");
        imap.Protocol = TMailProtocol::IMAP4;
        imapFound = {Found(1, QStringLiteral("Привет"), 2500, "&BBIERQQ+BDQETwRJBDgENQ-", 42, {})};
        popFound[0].Message.Spam = {TSpamJudgement::Spam, TSpamFilter::Assassin, true, true, TAuthResult::Fail,
                                    TAuthResult::Absent,  TAuthResult::Pass,      7.5,  5.0};
    }

    static TFoundMessage Found(qint32 number, const QString& subject, qint32 size, const QByteArray& folder,
                               quint32 uid, const QByteArray& uniqueId)
    {
        TFoundMessage found;
        found.Message.Folder = folder;
        found.Message.UidValidity = uid ? 7u : 0u;
        found.Message.Uid = uid;
        found.Message.UniqueId = uniqueId;
        found.Number = number;
        found.Message.Subject = subject;
        found.Message.From.SetText(QStringLiteral("Ann <ann@example.org>"));
        found.Message.Size = size;
        if (number == 1)
            found.Message.Date = QDateTime(QDate(2024, 3, 5), QTime(14, 30, 15), QTimeZone::utc()).toLocalTime();
        return found;
    }

    QList<TMessageRow> Rows() const
    {
        return BuildMailBoxRows(0, pop, popFound) + BuildMailBoxRows(1, imap, imapFound);
    }

    TMailBoxSettings pop;
    TMailBoxSettings imap;
    QList<TFoundMessage> popFound;
    QList<TFoundMessage> imapFound;
};

TEST_F(MessageRows, NumberPerMailBoxDecodeFoldersAndCarryTheIdentity)
{
    const QList<TMessageRow> rows = Rows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ((QList<qint32>{rows[0].Number, rows[1].Number, rows[2].Number}), (QList<qint32>{1, 2, 1}));
    EXPECT_EQ((QList<int>{rows[0].MailBoxIndex, rows[1].MailBoxIndex, rows[2].MailBoxIndex}), (QList<int>{0, 0, 1}));
    EXPECT_EQ((QStringList{rows[0].MailBox, rows[2].MailBox}), (QStringList{"Home", "Work"}));
    EXPECT_EQ(rows[2].Folder, QStringLiteral("Входящие"));
    EXPECT_TRUE(rows[0].Folder.isEmpty());
    const TMessageRowTexts texts(QLocale::c());
    EXPECT_EQ(texts.Size(rows[1]), QStringLiteral("-1"));
    // A message without a size adds nothing to the disposed bytes.
    EXPECT_EQ(rows[1].SizeBytes(), 0);
    EXPECT_TRUE(texts.Date(rows[1]).isEmpty() && texts.Time(rows[1]).isEmpty());
    EXPECT_FALSE(texts.Date(rows[0]).isEmpty() || texts.Time(rows[0]).isEmpty());
    EXPECT_EQ(rows[1].Id, (TMessageIdentity{{}, 0, 0, "id-2", 2}));
    EXPECT_EQ(rows[2].Id, (TMessageIdentity{"&BBIERQQ+BDQETwRJBDgENQ-", 7, 42, {}, 1}));
}

TEST_F(MessageRows, TsvKeepsOneLinePerRowAndTenFields)
{
    const QStringList lines = QString::fromUtf8(ExportMessageRows(Rows(), TExportFormat::Tsv)).split(u'\n');
    ASSERT_EQ(lines.size(), 5);  // header, three rows, the empty rest after the last line end
    EXPECT_EQ(lines[0], QStringLiteral("No\tSubject\tFrom\tMailbox\tSize\tDate\tTime\tFolder\tSpam\tId"));
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(lines[i].count(u'\t'), 9) << lines[i].toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("1\tTab here\t")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("2\tLine  break\t")));
    const QDateTime local = QDateTime(QDate(2024, 3, 5), QTime(14, 30, 15), QTimeZone::utc()).toLocalTime();
    EXPECT_TRUE(lines[1].contains(local.toString(QStringLiteral("\tyyyy-MM-dd\tHH:mm:ss\t"))));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("\t\tspam\tpop3:Home:id-1")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("\t-1\t\t\t\t\tpop3:Home:id-2")));
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral("\tВходящие\t\timap:Work:%26BBIERQQ%2BBDQETwRJBDgENQ-:7:42")));
}

// Dates and times in the TSV keep their fixed digits, whatever the year.
TEST_F(MessageRows, TsvWritesDatesAndTimesInFixedDigits)
{
    const QDateTime moments[] = {
        QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), QTimeZone::utc()),
        QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59), QTimeZone::utc()),
        QDateTime(QDate(12345, 6, 7), QTime(8, 9, 10), QTimeZone::utc()),
    };
    for (const QDateTime& moment : moments) {
        // A subject ending in half a surrogate pair must not spill into the next field.
        TFoundMessage found = Found(1, QStringLiteral("s") + QChar(0xD800), 5, {}, 0, {});
        found.Message.Date = moment;
        const QList<TMessageRow> one = BuildMailBoxRows(0, pop, {found});
        const QString tsv = QString::fromUtf8(ExportMessageRows(one, TExportFormat::Tsv));
        EXPECT_TRUE(tsv.contains(moment.toLocalTime().toString(QStringLiteral("\tyyyy-MM-dd\tHH:mm:ss\t"))))
            << tsv.toStdString();
        EXPECT_TRUE(tsv.contains(QStringLiteral("\tAnn <ann@example.org>\tHome\t5\t"))) << tsv.toStdString();
    }
}

// The TSV written straight from the found messages is the TSV of their rows, whatever the sender
// (every form of its text), the date (none, before 1970, past 9999) and the mailbox or folder.
TEST_F(MessageRows, TsvOfFoundMessagesIsTheTsvOfTheirRows)
{
    const char* const senders[] = {
        "Ann <ann@example.org>", "<ann@example.org>", "ann@example.org", "ANN@example.org <ann@example.org>",
        "\"Doe, Ann\" <ann@example.org>", "\"a b\"@example.org", "Ann <\"a\\\"b\"@example.org>",
        "Änne <änne@exämple.org>", "no address at all @ <x> @", "", "Tab\tname <t@example.org>",
    };
    const QDateTime moments[] = {
        {}, QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59), QTimeZone::utc()),
        QDateTime(QDate(1970, 1, 1), QTime(0, 0), QTimeZone::utc()),
        QDateTime(QDate(2024, 3, 31), QTime(1, 30, 0, 999), QTimeZone::utc()),
        QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), QTimeZone::utc()),
        QDateTime(QDate(12345, 6, 7), QTime(8, 9, 10), QTimeZone::utc()),
    };
    QList<std::pair<const TMailBoxSettings*, TFoundMessage>> found;
    for (const char* sender : senders) {
        for (const QDateTime& moment : moments) {
            for (const auto& [box, mailFound] : {std::pair{&pop, popFound.at(0)}, std::pair{&imap, imapFound.at(0)}}) {
                TFoundMessage message = mailFound;
                message.Message.From.SetText(QString::fromUtf8(sender));
                message.Message.Date = moment;
                found.append({box, message});
            }
        }
    }
    QByteArray direct;
    QByteArray ofRows;
    TTsvWriter directWriter([&direct](QByteArrayView piece) { direct += piece; });
    TTsvWriter rowWriter([&ofRows](QByteArrayView piece) { ofRows += piece; });
    TMessageRowBuilder builder;
    for (qsizetype i = 0; i < found.size(); ++i) {
        directWriter.Add(*found.at(i).first, found.at(i).second, i);
        rowWriter.Add(builder.Build(0, *found.at(i).first, found.at(i).second, i));
    }
    directWriter.Finish();
    rowWriter.Finish();
    EXPECT_EQ(direct.count('\n'), found.size() + 1);
    EXPECT_EQ(QString::fromUtf8(direct), QString::fromUtf8(ofRows));

    // A run long enough to be made on two threads, from a place past its start, is the same as
    // its rows one by one.
    QList<TFoundMessage> run;
    while (run.size() < 20'000)
        run.append(found.at(run.size() % found.size()).second);
    QByteArray inRun;
    QByteArray oneByOne;
    TTsvWriter runWriter([&inRun](QByteArrayView piece) { inRun += piece; });
    TTsvWriter singleWriter([&oneByOne](QByteArrayView piece) { oneByOne += piece; });
    runWriter.Add(imap, run, 7);
    for (qsizetype i = 7; i < run.size(); ++i)
        singleWriter.Add(imap, run.at(i), i);
    runWriter.Finish();
    singleWriter.Finish();
    EXPECT_EQ(inRun.count('\n'), run.size() - 7 + 1);
    EXPECT_TRUE(inRun == oneByOne);

    // Rows made ahead are written as made only when handed over as expected, at their place:
    // the text is the same as without them. The drafts that must not be used differ from what
    // is handed over, so using one would show.
    const auto plain = [this](const QList<TFoundMessage>& messages) {
        QByteArray text;
        TTsvWriter writer([&text](QByteArrayView piece) { text += piece; });
        writer.Add(imap, messages, 0);
        writer.Finish();
        return text;
    };
    const QList<TFoundMessage> head = run.mid(0, 7);
    const struct {
        const char* Name;
        QList<TFoundMessage> Drafted;
        qsizetype Place;
        int Blocks;  // made before the server answers; -1: all
        bool AsExpected;
        QList<TFoundMessage> HandedOver;
    } cases[] = {
        {"all made ahead", run.mid(7), 7, -1, true, run},
        {"the server answered after a block", run.mid(7), 7, 1, true, run},
        {"the server answered at once", run.mid(7), 7, 0, true, run},
        {"not as expected", run.mid(8), 7, -1, false, run},
        {"at another place", run.mid(7), 8, -1, true, run},
        {"fewer handed over than made", run.mid(7), 7, -1, true, run.mid(0, 100)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QByteArray text;
        TTsvWriter writer([&text](QByteArrayView piece) { text += piece; });
        writer.Add(imap, head, 0);
        int asked = 0;
        writer.Draft(imap, c.Drafted, c.Place, [&] { return c.Blocks >= 0 && asked++ >= c.Blocks; });
        writer.Add(imap, c.HandedOver, 7, c.AsExpected);
        writer.Finish();
        EXPECT_TRUE(text == plain(c.HandedOver));
    }
}

// Each field keeps one type whatever the protocol; only a date may be null.
TEST_F(MessageRows, JsonCarriesTypedValuesAndNullsForUnknowns)
{
    const QJsonArray array = QJsonDocument::fromJson(ExportMessageRows(Rows(), TExportFormat::Json)).array();
    ASSERT_EQ(array.size(), 3);
    const QJsonObject first = array[0].toObject();
    EXPECT_EQ(first.value(QStringLiteral("number")).toInt(), 1);
    EXPECT_EQ(first.value(QStringLiteral("size")).toInteger(), 1000);
    EXPECT_TRUE(first.value(QStringLiteral("uid")).isDouble());
    EXPECT_EQ(first.value(QStringLiteral("uid")).toInteger(), 0);
    EXPECT_EQ(first.value(QStringLiteral("uidl")).toString(), QStringLiteral("id-1"));
    EXPECT_EQ(first.value(QStringLiteral("id")).toString(), QStringLiteral("pop3:Home:id-1"));
    EXPECT_EQ(QDateTime::fromString(first.value(QStringLiteral("date")).toString(), Qt::ISODate).toUTC(),
              QDateTime(QDate(2024, 3, 5), QTime(14, 30, 15), QTimeZone::utc()));
    EXPECT_TRUE(array[1].toObject().value(QStringLiteral("date")).isNull());
    EXPECT_EQ(array[2].toObject().value(QStringLiteral("uid")).toInteger(), 42);
    EXPECT_TRUE(array[2].toObject().value(QStringLiteral("uidl")).isString());
    EXPECT_EQ(array[2].toObject().value(QStringLiteral("uidl")).toString(), QString());
    EXPECT_EQ(array[2].toObject().value(QStringLiteral("folder")).toString(), QStringLiteral("Входящие"));
    // The verdict: strings throughout, the score a number or null.
    const struct {
        const char* Field;
        QJsonValue First, Second;
    } spam[] = {
        {"spam", QStringLiteral("spam"), QString()},  {"score", 7.5, QJsonValue::Null},
        {"spf", QStringLiteral("fail"), QString()},   {"dkim", QString(), QString()},
        {"dmarc", QStringLiteral("pass"), QString()},
    };
    for (const auto& s : spam) {
        EXPECT_EQ(first.value(QLatin1String(s.Field)), s.First) << s.Field;
        EXPECT_EQ(array[1].toObject().value(QLatin1String(s.Field)), s.Second) << s.Field;
    }
}

// The Id of a row, the same text the user gives back to --delete: only characters a shell and a
// TSV field take as they are, one form for each message.
TEST(MessageId, NamesTheMessageAndReadsBack)
{
    struct Case {
        const char* MailBox;
        TMessageIdentity Id;
        const char* Expected;
    };
    const Case cases[] = {
        {"Work", {"INBOX", 7, 42, {}, 3}, "imap:Work:INBOX:7:42"},
        {"My, Box: ü~",
         {"A/B C,D&-", 4294967295u, 1, {}, 1},
         "imap:My%2C%20Box%3A%20%C3%BC%7E:A%2FB%20C%2CD%26-:4294967295:1"},
        {"Home", {{}, 0, 0, "a:b,c%d e", 2}, "pop3:Home:a%3Ab%2Cc%25d%20e"},
        {"", {{}, 0, 0, "0000001", 1}, "pop3::0000001"},
        // No lasting name: an IMAP4 message without UID, a POP3 server without UIDL.
        {"Home", {{}, 0, 0, {}, 5}, ""},
        {"Work", {"INBOX", 7, 0, {}, 5}, ""},
    };
    for (const Case& c : cases) {
        const QString id = MessageIdText(QString::fromUtf8(c.MailBox), c.Id);
        EXPECT_EQ(id, QString::fromUtf8(c.Expected)) << c.MailBox;
        if (id.isEmpty())
            continue;
        EXPECT_EQ(CanonicalMessageId(id), id);
    }
    // Another spelling of the same Id reads as the one the listing prints.
    const std::pair<const char*, const char*> spellings[] = {
        {"imap:My%2c%20Box:a%2fb:007:42", "imap:My%2C%20Box:a%2Fb:7:42"},
        {"pop3:Home:%61bc", "pop3:Home:abc"},
    };
    for (const auto& [given, canonical] : spellings)
        EXPECT_EQ(CanonicalMessageId(QString::fromUtf8(given)), QString::fromUtf8(canonical)) << given;
}

// The TSV's Id column is MessageIdText of each row, also when the mailbox, the folder, the
// UIDVALIDITY or the protocol changes from one row to the next.
TEST(MessageId, TsvColumnFollowsEveryChangeFromRowToRow)
{
    const std::pair<const char*, TMessageIdentity> rows[] = {
        {"A", {"INBOX", 7, 1, {}, 1}}, {"A", {"INBOX", 7, 2, {}, 2}}, {"A", {"Sent", 7, 2, {}, 3}},
        {"A", {"Sent", 8, 2, {}, 4}},  {"B", {"Sent", 8, 2, {}, 1}},  {"B", {{}, 0, 0, "u 1", 2}},
        {"B", {{}, 0, 0, {}, 3}},      {"C", {{}, 0, 0, "u2", 1}},    {"C", {"INBOX", 7, 1, {}, 2}},
    };
    QList<TMessageRow> listed;
    for (const auto& [box, id] : rows) {
        TMessageRow row;
        row.MailBox = QString::fromLatin1(box);
        row.Id = id;
        listed.append(row);
    }
    const QStringList lines = QString::fromUtf8(ExportMessageRows(listed, TExportFormat::Tsv)).split(u'\n');
    ASSERT_EQ(lines.size(), std::size(rows) + 2);
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(lines[qsizetype(i) + 1].section(u'\t', -1),
                  MessageIdText(QString::fromLatin1(rows[i].first), rows[i].second));
}

TEST(MessageId, RefusesWhatIsNoId)
{
    const char* const refused[] = {
        "",
        "16",
        "imap:Work:INBOX:7",       // a part short
        "imap:Work:INBOX:7:42:1",  // a part over
        "imap:Work:INBOX:7:0",     // UID 0 names no message
        "imap:Work:INBOX:x:42",
        "imap:Work:INBOX:-7:42",
        "imap:Work:INBOX:4294967296:1",  // past 32 bits
        "imap:Work:IN BOX:7:42",         // a space must be encoded
        "imap:Wörk:INBOX:7:42",          // so must anything not ASCII
        "pop3:Home:",                    // no UIDL
        "pop3:Home:%4",
        "pop3:Home:%GG",
        "POP3:Home:abc",
        "smtp:Home:abc",
    };
    for (const char* text : refused)
        EXPECT_EQ(CanonicalMessageId(QString::fromUtf8(text)), std::nullopt) << text;
}

TEST(DisplayWidth, CountsTerminalColumns)
{
    struct Case {
        const char16_t* Text;
        int Width;
    };
    const Case cases[] = {
        {u"", 0},
        {u"Subject", 7},
        {u"Привет", 6},
        {u"中文主题", 8},            // CJK ideographs
        {u"こんにちは", 10},         // kana
        {u"한국어", 6},              // Hangul syllables
        {u"\uFF21\uFF22", 4},        // fullwidth Latin
        {u"\uFF71", 1},              // halfwidth katakana
        {u"e\u0301te\u0301", 3},     // combining acute accents
        {u"\u1100\u1161\u11A8", 2},  // a conjoining Hangul syllable
        {u"a\u200Bb", 2},            // zero-width space
        {u"\U0001F600!", 3},         // an emoji outside the BMP
        {u"\U00020000", 2},          // CJK extension B
        {u"x\u00E9\u2026", 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DisplayWidth(QString::fromUtf16(c.Text)), c.Width) << QString::fromUtf16(c.Text).toStdString();
}

// Columns line up on a terminal whatever the script: a wide character takes two columns, a
// combining mark none; long subjects are cut to the column limit with an ellipsis.
TEST_F(MessageRows, TableAlignsColumnsByDisplayWidthAndCutsLongTexts)
{
    struct Case {
        QString Subject;
        QString Shown;
    };
    const QChar ellipsis(0x2026);
    const Case cases[] = {
        {QString(60, u'x'), QString(39, u'x') + ellipsis},
        {QString(30, QChar(0x4E2D)), QString(19, QChar(0x4E2D)) + ellipsis},  // 38 columns and the ellipsis
        {QStringLiteral("中文主题"), QStringLiteral("中文主题")},
        {QStringLiteral("e\u0301te\u0301"), QStringLiteral("e\u0301te\u0301")},
        {QStringLiteral("plain"), QStringLiteral("plain")},
    };
    QList<TMessageRow> listed;
    for (const Case& c : cases)
        listed += BuildMailBoxRows(0, pop, {Found(1, c.Subject, 5, {}, 0, "u")});
    const QStringList lines =
        QString::fromUtf8(ExportMessageRows(listed, TExportFormat::Table)).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + std::size(cases));
    const auto columnOf = [](const QString& line, const QString& text) {
        const qsizetype at = line.indexOf(text);
        return at < 0 ? -1 : DisplayWidth(QStringView(line).left(at));
    };
    const int subjectColumn = columnOf(lines[0], QStringLiteral("Subject"));
    const int fromColumn = columnOf(lines[0], QStringLiteral("From"));
    const int idColumn = columnOf(lines[0], QStringLiteral("Id"));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(lines[i + 1].toStdString());
        EXPECT_EQ(columnOf(lines[i + 1], cases[i].Shown), subjectColumn);
        EXPECT_EQ(columnOf(lines[i + 1], QStringLiteral("Ann <")), fromColumn);
        // The Id is never cut.
        EXPECT_EQ(columnOf(lines[i + 1], QStringLiteral("pop3:Home:u")), idColumn);
    }
}

// A certificate trusted during a run goes to the mailbox it was trusted for, and only while the
// list still has that mailbox where the run's snapshot had it.
TEST(TrustedCertificates, AreKeptOnlyForTheSameMailBox)
{
    struct Case {
        const char* Label;
        TTrustedCertificate Trusted;
        QString Expected;  // the first mailbox's fingerprint afterwards
        bool Changed;
    };
    const Case cases[] = {
        {"same mailbox", {0, "pop.a", "me", "AB12"}, "AB12", true},
        {"same fingerprint again", {0, "pop.a", "me", "OLD"}, "OLD", false},
        {"host changed since", {0, "pop.other", "me", "AB12"}, "OLD", false},
        {"user changed since", {0, "pop.a", "you", "AB12"}, "OLD", false},
        {"mailbox removed since", {2, "pop.a", "me", "AB12"}, "OLD", false},
    };
    for (const Case& c : cases) {
        TMailBoxList list;
        auto box = std::make_unique<TMailBox>();
        box->Host = QStringLiteral("pop.a");
        box->UserName = QStringLiteral("me");
        box->CertFingerprint = QStringLiteral("OLD");
        list.Add(std::move(box));
        list.Add(std::make_unique<TMailBox>());
        TRunResult result;
        result.TrustedCertificates = {c.Trusted};
        EXPECT_EQ(StoreTrustedCertificates(list, result), c.Changed) << c.Label;
        EXPECT_EQ(list.Items(0)->CertFingerprint, c.Expected) << c.Label;
        EXPECT_TRUE(list.Items(1)->CertFingerprint.isEmpty()) << c.Label;
    }
}

}  // namespace
}  // namespace brevio
