#include "mime/email_address.h"
#include "mime/mail_message.h"

#include "support/qt_printers.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace brevio;

namespace {

struct AddressCase {
    const char* input;
    const char* name;
    const char* address;
    const char* text;  // what the list shows
};

}  // namespace

TEST(EmailAddress, ParsesAndFormats)
{
    const AddressCase cases[] = {
        {"John Smith <john@example.com>", "John Smith", "john@example.com", "John Smith <john@example.com>"},
        {"  John   Smith   <john@example.com>  ", "John Smith", "john@example.com", "John Smith <john@example.com>"},
        {"john@example.com", "", "john@example.com", "john@example.com"},
        {"<john@example.com>", "", "john@example.com", "john@example.com"},
        {"\"Smith, John\" <john@example.com>", "Smith, John", "john@example.com", "\"Smith, John\" <john@example.com>"},
        {"\"John \\\"JJ\\\" Smith\" <j@x.org>", "John \"JJ\" Smith", "j@x.org", "\"John \\\"JJ\\\" Smith\" <j@x.org>"},
        {"john@example.com (John Smith)", "", "john@example.com", "john@example.com"},
        {"John (the boss) Smith <john@example.com>", "John Smith", "john@example.com", "John Smith <john@example.com>"},
        {"<john @ example . com>", "", "john@example.com", "john@example.com"},
        {"John.Q.Public <jqp@example.com>", "John.Q.Public", "jqp@example.com", "\"John.Q.Public\" <jqp@example.com>"},
        {"john.smith@example.com", "", "john.smith@example.com", "john.smith@example.com"},
        {"\"john doe\"@example.com", "", "john doe@example.com", "<\"john doe\"@example.com>"},
        {"Joe <\"a\\\\b\"@example.com>", "Joe", "a\\b@example.com", "Joe <\"a\\\\b\"@example.com>"},
        {"JOHN@EXAMPLE.COM <john@example.com>", "JOHN@EXAMPLE.COM", "john@example.com", "<john@example.com>"},
        {"Undisclosed <>", "Undisclosed", "", "Undisclosed <>"},
        {"MAILER-DAEMON", "", "MAILER-DAEMON", "MAILER-DAEMON"},
        {"Mail Delivery System", "Mail Delivery System", "", "Mail Delivery System <>"},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        TEmailAddress a;
        a.SetText(QString::fromUtf8(c.input));
        EXPECT_EQ(a.Name, QString::fromUtf8(c.name)) << c.input;
        EXPECT_EQ(a.Address, QString::fromUtf8(c.address)) << c.input;
        EXPECT_EQ(a.Text(), QString::fromUtf8(c.text)) << c.input;
    }
}

TEST(EmailAddress, GarbageKeepsItsRawText)
{
    QString name;
    QString address;
    try {
        ParseEmailAddressText(QStringLiteral("<a@b.com> c@d.com"), name, address);
        FAIL() << "no exception";
    } catch (const EAddressParseError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("@ Outside address"));
    }

    const char* garbage[] = {"<a@b.com> c@d.com", "\"unclosed", "(only a comment)"};
    for (const char* input : garbage) {
        TEmailAddress a;
        a.SetText(QString::fromUtf8(input));
        EXPECT_EQ(a.Text(), QString::fromUtf8(input)) << input;
    }
}

TEST(HeaderAddress, DecodesNamesAfterParsing)
{
    const struct {
        const char* raw;
        const char* charset;
        const char* text;
    } cases[] = {
        {"=?utf-8?Q?Jos=C3=A9?= <jose@example.com>", "", "\"José\" <jose@example.com>"},
        {"\"=?utf-8?B?0JjQstCw0L0=?=\" <ivan@example.ru>", "", "\"Иван\" <ivan@example.ru>"},
        // Characters that mean something in an address, inside an encoded word.
        {"=?utf-8?Q?Smith=2C_John_<x@y>?= <john@example.com>", "", "\"Smith, John <x@y>\" <john@example.com>"},
        {"=?utf-8?Q?john@example.com?= <john@example.com>", "", "<john@example.com>"},
        {"=?koi8-r?B?98jPxNHdycU=?= <in@example.ru>", "", "\"Входящие\" <in@example.ru>"},
        {"\xf7\xc8\xcf\xc4 <in@example.ru>", "KOI8-R", "\"Вход\" <in@example.ru>"},
        // Letters above code 127 are shown in quotes, in the name and in the local part.
        {"P\xc3\xa1olo <f\xc5\x91o@bar.com>", "", "\"Páolo\" <\"főo\"@bar.com>"},
        {"<a@b.com> =?utf-8?Q?c=C3=A9?=@d.com", "", "<a@b.com> cé@d.com"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseHeaderAddress(QByteArray(c.raw), QByteArray(c.charset)).Text(), QString::fromUtf8(c.text))
            << c.raw;
}

// The plain senders most mail carries are read without the full scan; they must come out as the
// scan reads them (a list of one address goes through the scan), and near misses take the scan.
TEST(HeaderAddress, PlainSendersReadAsTheScanReadsThem)
{
    const struct {
        const char* raw;
        const char* name;
        const char* address;
    } cases[] = {
        {"Sender 12 <sender12@example.com>", "Sender 12", "sender12@example.com"},
        {"  A. B. Smith <a.b..c@mail.example.>  ", "A. B. Smith", "a.b..c@mail.example."},
        {"<only@example.com>", "", "only@example.com"},
        {"bare.sender@example.com", "", "bare.sender@example.com"},
        {"Two  blanks <x@y.z>", "Two blanks", "x@y.z"},
        {"Tab\there <x@y.z>", "Tab\there", "x@y.z"},
        {"NoBlank<x@y.z>", "NoBlank", "x@y.z"},
        {"mail@example.com <x@y.z>", "mail@example.com", "x@y.z"},
        {"Name <x@y.z> tail", "Name", "x@y.z"},
        {"Name <two@at@y.z>", "Name", "two@at@y.z"},
        {"Name <@y.z>", "Name", "@y.z"},
        {"a=b <x@y.z>", "a=b", "x@y.z"},
    };
    for (const auto& c : cases) {
        const TEmailAddress read = ParseHeaderAddress(c.raw);
        const TEmailAddressList scanned = ParseHeaderAddressList(c.raw);
        ASSERT_EQ(scanned.size(), 1) << c.raw;
        EXPECT_EQ(read.Name, scanned.first().Name) << c.raw;
        EXPECT_EQ(read.Address, scanned.first().Address) << c.raw;
        EXPECT_EQ(read.Raw, scanned.first().Raw) << c.raw;
        EXPECT_EQ(read.Name, QString::fromLatin1(c.name)) << c.raw;
        EXPECT_EQ(read.Address, QString::fromLatin1(c.address)) << c.raw;
    }
}

// A From of many "<b>", folded over lines under the line limit up to the reply limit, is parsed
// in time linear in its length: a hostile server can send one, and the check thread must not
// stall on it. The budget is generous enough for a sanitizer build; the quadratic parser took
// minutes.
TEST(HeaderAddress, LongHostileValueParsesQuickly)
{
    TMailMessage message;
    message.RawHeaders.append("From: <b>");
    QByteArray line = " " + QByteArray(8000 / 3, 'x').replace('x', "<b>");
    for (qsizetype total = 0; total < (4 << 20); total += line.size())
        message.RawHeaders.append(line);
    QElapsedTimer timer;
    timer.start();
    message.ParseHeaders();
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_TRUE(message.From.Text().endsWith(QLatin1String("<b>")));
}

TEST(HeaderAddressList, SplitsAtCommasOutsideQuotes)
{
    const struct {
        const char* raw;
        QStringList texts;
    } cases[] = {
        {"a@x.com, B <b@x.com>", {"a@x.com", "B <b@x.com>"}},
        {"\"Smith, John\" <j@x.com>; k@x.com", {"\"Smith, John\" <j@x.com>", "k@x.com"}},
        {"a@x.com (Doe, Jane), b@x.com", {"a@x.com", "b@x.com"}},
        {"Friends: a@x.com, b@x.com;, c@x.com", {"a@x.com", "b@x.com", "c@x.com"}},
        {"undisclosed-recipients:;", {}},
        {"=?utf-8?Q?Doe=2C_Jane?= <jane@x.com>, joe@x.com", {"\"Doe, Jane\" <jane@x.com>", "joe@x.com"}},
        {",,<>, ,", {}},
        {"<a@b.com> c@d.com, e@f.com", {"<a@b.com> c@d.com", "e@f.com"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        QStringList texts;
        for (const TEmailAddress& a : ParseHeaderAddressList(QByteArray(c.raw)))
            texts.append(a.Text());
        EXPECT_EQ(texts, c.texts) << c.raw;
    }
}
