#include "mime/email_address.h"
#include "mime/header_decoding.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

using namespace brevio;

namespace {

struct DecodeCase {
    const char* input;
    const char* expected;  // UTF-8
    const char* fallbackCharset = "";
};

void ExpectDecodes(const DecodeCase& c)
{
    EXPECT_EQ(DecodeHeaderWords(QByteArray(c.input), QByteArray(c.fallbackCharset)), QString::fromUtf8(c.expected))
        << c.input;
}

}  // namespace

// RFC 2047 §8, word for word.
TEST(DecodeHeaderWords, Rfc2047Examples)
{
    const DecodeCase cases[] = {
        {"=?US-ASCII?Q?Keith_Moore?= <moore@cs.utk.edu>", "Keith Moore <moore@cs.utk.edu>"},
        {"=?ISO-8859-1?Q?Keld_J=F8rn_Simonsen?= <keld@dkuug.dk>", "Keld Jørn Simonsen <keld@dkuug.dk>"},
        {"=?ISO-8859-1?Q?Andr=E9?= Pirard <PIRARD@vm1.ulg.ac.be>", "André Pirard <PIRARD@vm1.ulg.ac.be>"},
        {"=?ISO-8859-1?B?SWYgeW91IGNhbiByZWFkIHRoaXMgeW8=?= =?ISO-8859-2?B?dSB1bmRlcnN0YW5kIHRoZSBleGFtcGxlLg==?=",
         "If you can read this you understand the example."},
        {"=?ISO-8859-1?Q?Olle_J=E4rnefors?= <ojarnef@admin.kth.se>", "Olle Järnefors <ojarnef@admin.kth.se>"},
        {"Nathaniel Borenstein <nsb@thumper.bellcore.com> (=?iso-8859-8?b?7eXs+SDv4SDp7Oj08A==?=)",
         "Nathaniel Borenstein <nsb@thumper.bellcore.com> (םולש ןב ילטפנ)"},
        {"(=?ISO-8859-1?Q?a?=)", "(a)"},
        {"(=?ISO-8859-1?Q?a?= b)", "(a b)"},
        {"(=?ISO-8859-1?Q?a?= =?ISO-8859-1?Q?b?=)", "(ab)"},
        {"(=?ISO-8859-1?Q?a?=  =?ISO-8859-1?Q?b?=)", "(ab)"},
        {"(=?ISO-8859-1?Q?a?=\r\n    =?ISO-8859-1?Q?b?=)", "(ab)"},
        {"(=?ISO-8859-1?Q?a_b?=)", "(a b)"},
        {"(=?ISO-8859-1?Q?a?= =?ISO-8859-2?Q?_b?=)", "(a b)"},
    };
    for (const auto& c : cases)
        ExpectDecodes(c);
}

TEST(DecodeHeaderWords, RealWorldBreakage)
{
    const DecodeCase cases[] = {
        // No blank between words.
        {"=?utf-8?B?w6k=?==?utf-8?B?w6k=?=", "éé"},
        // A UTF-8 character split across two words comes out whole.
        {"=?UTF-8?B?0J/R?= =?UTF-8?B?gNC40LLQtdGC?=", "Привет"},
        // Unknown charset: the word stays as it is, and so does the blank beside it.
        {"=?x-unknown?Q?abc?= =?utf-8?Q?d?=", "=?x-unknown?Q?abc?= d"},
        // unknown-8bit: UTF-8 when the bytes are valid UTF-8, else Windows-1252.
        {"=?unknown-8bit?q?pr=C3=A9sente?=", "présente"},
        {"=?UNKNOWN-8BIT?Q?caf=E9?=", "café"},
        // A broken "=" escape in Q text is kept.
        {"=?utf-8?Q?100=ZZ_off=?=", "100=ZZ off="},
        {"=?utf-8?Q?50=2?=", "50=2"},
        // Lower-case charset and encoding letter.
        {"=?windows-1251?q?=cf=f0=e8=e2=e5=f2?=", "Привет"},
        // No closing "?=": not a word, returned unchanged.
        {"=?windows-1251?Q?abc", "=?windows-1251?Q?abc"},
        {"=?", "=?"},
        {"a =?utf-8?X?abc?= b", "a =?utf-8?X?abc?= b"},
        // A raw "?" cannot stand in encoded text (RFC 2047 §2): not a word.
        {"=?utf-8?Q?why?_not?=", "=?utf-8?Q?why?_not?="},
        // Ordinary text next to a word keeps its blanks.
        {"Re:  =?utf-8?Q?caf=C3=A9?=  ok", "Re:  café  ok"},
        {"Re:=?utf-8?Q?caf=C3=A9?=", "Re:café"},
        // RFC 2231 language suffix.
        {"=?utf-8*en?Q?hello?=", "hello"},
        // Base64 padding gives no NUL bytes; missing padding is tolerated.
        {"=?utf-8?B?YQ==?=", "a"},
        {"=?utf-8?B?YWI?=", "ab"},
        {"=?utf-8?B?"
         "?=",
         ""},  // split so the text is no trigraph
        // A word labelled UTF-8 that is not: read in the fallback charset.
        {"=?utf-8?Q?=CF=F0=E8?=", "При", "WINDOWS-1251"},
        // Encoded word inside a quoted display name.
        {"\"=?utf-8?Q?Jos=C3=A9?=\" <jose@example.com>", "\"José\" <jose@example.com>"},
    };
    for (const auto& c : cases)
        ExpectDecodes(c);
}

// A header value of megabytes made of word starts that never form a word: each start must not
// send the reader searching the rest of the value again, or one message stalls the check.
TEST(DecodeHeaderWords, ValueFullOfWordStartsIsReadInOnePass)
{
    const char* units[] = {"=?a?q?b", "=?utf-8?q?\r", "=?bad?q?x?="};
    for (const char* unit : units) {
        QByteArray value;
        for (int i = 0; i < 300000; ++i)
            value += unit;
        value += "?=";
        EXPECT_EQ(DecodeHeaderWords(value), QString::fromLatin1(value)) << unit;
        EXPECT_FALSE(ParseHeaderAddress(value).Text().isEmpty()) << unit;
    }
}

TEST(DecodeHeaderWords, NationalCharsets)
{
    const DecodeCase cases[] = {
        {"=?windows-1251?B?z/Do4uXyIOzo8A==?=", "Привет мир"},
        {"=?koi8-r?B?98jPxNHdycUg0MnT2M3B?=", "Входящие письма"},
        {"=?KOI8-R?Q?=F7=C8=CF=C4=D1=DD=C9=C5?=", "Входящие"},
        {"=?utf-8?B?0J/RgNC40LLQtdGC?=", "Привет"},
        {"=?gb2312?B?1tDOxNPKvP4=?=", "中文邮件"},
        {"=?big5?B?pKSk5bZspfM=?=", "中文郵件"},
        {"=?iso-2022-jp?B?GyRCRnxLXDhsJE4lYSE8JWsbKEI=?=", "日本語のメール"},
        {"=?shift_jis?B?k/qWe4zqgsyDgYFbg4s=?=", "日本語のメール"},
        {"=?ISO-8859-15?Q?=A4?=", "€"},
    };
    for (const auto& c : cases)
        ExpectDecodes(c);
}

TEST(DecodeHeaderWords, RawEightBitBytes)
{
    const DecodeCase cases[] = {
        // Valid UTF-8 wins, whatever the Content-Type says.
        {"\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82", "Привет", "KOI8-R"},
        // A KOI8-R subject without encoded words, charset from Content-Type.
        {"\xf7\xc8\xcf\xc4\xd1\xdd\xc9\xc5", "Входящие", "KOI8-R"},
        {"Re: \xf7\xc8\xcf\xc4\xd1\xdd\xc9\xc5 =?utf-8?Q?=E2=9C=93?=", "Re: Входящие ✓", "koi8-r"},
        {"\xcf\xf0\xe8\xe2\xe5\xf2", "Привет", "WINDOWS-1251"},
        // No charset, or one Qt does not know: Windows-1252.
        {"caf\xe9 \x80"
         "5",
         "café €5"},
        {"caf\xe9", "café", "X-NOT-A-CHARSET"},
        // A charset that claims UTF-8 for bytes that are not: Windows-1252.
        {"caf\xe9", "café", "UTF-8"},
    };
    for (const auto& c : cases)
        ExpectDecodes(c);
}

TEST(CharsetFromContentType, ReadsTheParameter)
{
    const struct {
        const char* contentType;
        const char* charset;
    } cases[] = {
        {"text/plain; charset=koi8-r", "KOI8-R"},
        {"text/plain; charset=\"windows-1251\"; format=flowed", "WINDOWS-1251"},
        {"text/plain; CharSet=utf-8 ; delsp=yes", "UTF-8"},
        {"multipart/mixed; boundary=\"xyz\"", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CharsetFromContentType(QString::fromLatin1(c.contentType)), QString::fromLatin1(c.charset))
            << c.contentType;
}
