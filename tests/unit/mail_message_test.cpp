#include "mime/header_lookup.h"
#include "mime/mail_message.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

using namespace brevio;

namespace {

QList<QByteArray> Lines(std::initializer_list<const char*> lines)
{
    QList<QByteArray> out;
    for (const char* line : lines)
        out.append(QByteArray(line));
    return out;
}

TMailMessage Parsed(std::initializer_list<const char*> lines)
{
    TMailMessage message;
    message.RawHeaders = Lines(lines);
    message.ParseHeaders();
    return message;
}

}  // namespace

TEST(HeaderLookup, FirstMatchFoldedAndTrimmed)
{
    const QList<QByteArray> lines = Lines({
        "Received: from a",
        "\tby b",
        "SUBJECT:   first part  ",
        " \t second part",
        "\t",
        "  third",
        "Subject: second subject",
        "X-Spaced : no match",
        "X-Empty:",
        "no colon here",
        "To:a@b.com",
    });
    const struct {
        const char* name;
        const char* value;
    } cases[] = {
        {"subject", "first part second part third"},
        {"Received", "from a by b"},
        {"X-Spaced", ""},
        {"X-Spaced ", "no match"},
        {"X-Empty", ""},
        {"to", "a@b.com"},
        {"Cc", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HeaderValue(lines, c.name), QByteArray(c.value)) << c.name;
}

TEST(ParseHeaders, FillsTheListedFields)
{
    const TMailMessage m = Parsed({
        "Return-Path: <bounce@example.com>",
        "From: =?koi8-r?B?98jPxNHdycU=?= <in@example.ru>",
        "To: a@x.com, \"Doe, Jane\" <jane@x.com>",
        "Cc: Friends: b@x.com, c@x.com;",
        "Reply-To: r@x.com",
        "Sender: s@x.com",
        "Subject: \xf7\xc8\xcf\xc4\xd1\xdd\xc9\xc5",
        " =?utf-8?Q?=E2=9C=93?=",
        "Date: Fri, 7 Sep 2001 10:20:30 +0000",
        "Message-ID: <123@example.com>",
        "Newsgroups: comp.mail, , alt.test",
        "Organization: =?utf-8?Q?Caf=C3=A9?= Ltd",
        "References: <1@x> <2@x>",
        "Return-Receipt-To: rr@x.com",
        "MIME-Version: 1.0",
        "Content-Type: text/plain; charset=koi8-r",
        "Content-Transfer-Encoding: 8bit",
        "Content-Disposition: inline",
        "X-Priority: 1 (Highest)",
    });
    EXPECT_EQ(m.CharSet, QStringLiteral("KOI8-R"));
    EXPECT_EQ(m.ContentType, QStringLiteral("text/plain; charset=koi8-r"));
    EXPECT_EQ(m.Subject, QStringLiteral("Входящие ✓"));
    EXPECT_EQ(m.From.Text(), QStringLiteral("\"Входящие\" <in@example.ru>"));
    ASSERT_EQ(m.Recipients.size(), 2);
    EXPECT_EQ(m.Recipients[1].Name, QStringLiteral("Doe, Jane"));
    ASSERT_EQ(m.CCList.size(), 2);
    EXPECT_EQ(m.CCList[1].Address, QStringLiteral("c@x.com"));
    ASSERT_EQ(m.ReplyTo.size(), 1);
    EXPECT_EQ(m.Sender.Address, QStringLiteral("s@x.com"));
    EXPECT_EQ(m.ReceiptRecipient.Address, QStringLiteral("rr@x.com"));
    EXPECT_EQ(m.Date, QDateTime(QDate(2001, 9, 7), QTime(10, 20, 30), Qt::UTC).toLocalTime());
    EXPECT_EQ(m.MessageId, QStringLiteral("<123@example.com>"));
    EXPECT_EQ(m.NewsGroups, QStringList({QStringLiteral("comp.mail"), QStringLiteral("alt.test")}));
    EXPECT_EQ(m.Organization, QStringLiteral("Café Ltd"));
    EXPECT_EQ(m.References, QStringLiteral("<1@x> <2@x>"));
    EXPECT_EQ(m.ContentTransferEncoding, QStringLiteral("8bit"));
    EXPECT_EQ(m.ContentDisposition, QStringLiteral("inline"));
    EXPECT_EQ(m.Priority, TMessagePriority::Highest);
}

TEST(ParseHeaders, OneBadFieldDoesNotStopTheOthers)
{
    const TMailMessage m = Parsed({
        "From: <a@b.com> c@d.com",
        "To: <x@y.com> oops@z.com, ok@z.com",
        "Date: Fri, 31 Apr 2001 10:00:00 +0000",
        "Subject: =?utf-8?Q?100=ZZ?=",
        "Sender: s@x.com",
    });
    EXPECT_EQ(m.From.Text(), QStringLiteral("<a@b.com> c@d.com"));
    ASSERT_EQ(m.Recipients.size(), 2);
    EXPECT_EQ(m.Recipients[1].Address, QStringLiteral("ok@z.com"));
    EXPECT_FALSE(m.Date.isValid());
    EXPECT_EQ(m.Subject, QStringLiteral("100=ZZ"));
    EXPECT_EQ(m.Sender.Address, QStringLiteral("s@x.com"));
}

TEST(ParseHeaders, EmptyHeaderGivesEmptyFields)
{
    const TMailMessage m = Parsed({});
    EXPECT_TRUE(m.Subject.isEmpty());
    EXPECT_TRUE(m.From.Text().isEmpty());
    EXPECT_FALSE(m.Date.isValid());
    EXPECT_TRUE(m.CharSet.isEmpty());
    EXPECT_TRUE(m.Recipients.isEmpty());
    EXPECT_EQ(m.Priority, TMessagePriority::Normal);
}

// A listing reads only subject, sender and date, and must read them exactly as the full parse
// does: the same charset rule, the raw sender kept only when it could not be read, the same moment.
TEST(ParseHeaders, ListedHeaderReadsTheRowFieldsAsTheFullParse)
{
    const std::initializer_list<const char*> headers[] = {
        {"From: =?koi8-r?B?98jPxNHdycU=?= <in@example.ru>", "Subject: \xf7\xc8\xcf\xc4\xd1\xdd\xc9\xc5",
         " =?utf-8?Q?=E2=9C=93?=", "Date: Fri, 7 Sep 2001 10:20:30 +0300", "Content-Type: text/plain; charset=koi8-r"},
        {"From: <a@b.com> c@d.com", "Date: Fri, 31 Apr 2001 10:00:00 +0000", "Subject: =?utf-8?Q?100=ZZ?="},
        {"FROM: \"Doe, Jane\" <jane@x.com>", "date: Sat, 1 Jan 79 00:00:00 EST", "subject: plain"},
        {},
    };
    for (const auto& lines : headers) {
        const TListedHeader full(Parsed(lines));
        const TListedHeader listed = ParseListedHeader(Lines(lines));
        const std::string first = lines.size() ? *lines.begin() : "";
        EXPECT_EQ(listed.Subject, full.Subject) << first;
        EXPECT_EQ(listed.From.Name, full.From.Name) << first;
        EXPECT_EQ(listed.From.Address, full.From.Address) << first;
        EXPECT_EQ(listed.From.Raw, full.From.Raw) << first;
        EXPECT_EQ(listed.Date, full.Date) << first;
        EXPECT_TRUE(!listed.Date.isValid() || listed.Date.timeSpec() == Qt::UTC) << first;
        // Read straight from the block a server sends, which is gone before the texts are read.
        TListedHeader fromBlock;
        {
            const QByteArray block = Lines(lines).join("\r\n") + "\r\n";
            fromBlock = ParseListedHeaderBlock(block);
        }
        EXPECT_EQ(fromBlock.Subject, listed.Subject) << first;
        EXPECT_EQ(fromBlock.From.Text(), listed.From.Text()) << first;
        EXPECT_EQ(fromBlock.Date, listed.Date) << first;
    }
}

TEST(ParseHeaders, Priority)
{
    const struct {
        const char* priorityLine;
        const char* xPriorityLine;
        TMessagePriority expected;
    } cases[] = {
        {"Priority: urgent", "X-Priority: 5", TMessagePriority::High},
        {"Priority: non-urgent", "X-Priority: 1", TMessagePriority::Low},
        {"Priority: normal", "X-Priority: 1", TMessagePriority::Normal},
        {"X-Other: 1", "X-Priority: 2 (High)", TMessagePriority::High},
        {"X-Other: 1", "X-Priority: 5", TMessagePriority::Lowest},
        {"X-Other: 1", "X-Priority: 4", TMessagePriority::Low},
        {"X-Other: 1", "X-Priority: 9", TMessagePriority::Normal},
        {"X-Other: 1", "X-Priority: 0", TMessagePriority::Normal},
        {"X-Other: 1", "X-Priority: high", TMessagePriority::Normal},
        {"X-Other: 1", "X-Other2: 1", TMessagePriority::Normal},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parsed({c.priorityLine, c.xPriorityLine}).Priority, c.expected)
            << c.priorityLine << " / " << c.xPriorityLine;
}

// A server decides how long a header is; a message keeps its beginning, within the line and byte
// bounds, so one hostile message cannot take the memory of a whole check.
TEST(SplitHeaderLines, KeepsTheBeginningWithinTheBounds)
{
    QByteArray oneByteLines;
    for (int i = 0; i < 1'400'000; ++i)
        oneByteLines += i == 0 ? "F\r\n" : "a\r\n";
    const struct {
        const char* name;
        QByteArray block;
        qsizetype lines;
        QByteArray first;
    } cases[] = {
        {"a small header whole, blank lines left out", "From: a\r\n\r\nSubject: b\nTo: c", 3, "From: a"},
        {"4 MiB of one-byte lines: the line bound", oneByteLines, kMaxHeaderLines, "F"},
        {"long lines: the byte bound", QByteArray(20, 'x') + "\n" + (QByteArray(100'000, 'y') + "\n").repeated(20), 11,
         QByteArray(20, 'x')},
    };
    for (const auto& c : cases) {
        const QList<QByteArray> lines = SplitHeaderLines(c.block);
        EXPECT_EQ(lines.size(), c.lines) << c.name;
        EXPECT_EQ(lines.value(0), c.first) << c.name;
    }
}
