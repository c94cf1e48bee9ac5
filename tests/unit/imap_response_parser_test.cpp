// The pure IMAP4 readers and command building, as tables of cases.
#include "net/errors.h"
#include "imap/imap_command.h"
#include "imap/imap_response_parser.h"
#include "imap/imap_vanished.h"

#include <gtest/gtest.h>

namespace brevio {
namespace {

TEST(ImapValues, MalformedTextsGiveNothing)
{
    const QByteArray deep = QByteArray(100, '(') + QByteArray(100, ')');
    for (const QByteArray& text :
         QList<QByteArray>{"(UID 1", "UID 1)", "\"open", "{5}\r\nabc", "{x}\r\nabc", "{3}abc", "BODY[HEADER", deep})
        EXPECT_FALSE(ParseImapValues(text).has_value()) << text.constData();
}

TEST(ImapValues, ReadsAtomsStringsLiteralsListsAndNil)
{
    const auto values = ParseImapValues("A \"q\\\"t\" {3}\r\nx y (NIL BODY[HEADER.FIELDS (FROM)])");
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 4);
    EXPECT_EQ((*values)[1].Text, "q\"t");
    EXPECT_EQ((*values)[2].Text, "x y");
    EXPECT_EQ((*values)[3].Items[0].Kind, TImapValue::TKind::Nil);
    EXPECT_EQ((*values)[3].Items[1].Text, "BODY[HEADER.FIELDS (FROM)]");
}

struct TFetchCase {
    const char* Response;
    std::optional<quint32> Uid;
    std::optional<qint32> Size;
    std::optional<TMessageFlags> Flags;
    std::optional<QByteArray> Header = std::nullopt;
};

TEST(ImapFetch, ItemsInAnyOrder)
{
    const TFetchCase cases[] = {
        {"1 FETCH (UID 471 RFC822.SIZE 220)", 471, 220, std::nullopt},
        {"1 FETCH (RFC822.SIZE 220 UID 471)", 471, 220, std::nullopt},
        {"1 FETCH (RFC822.SIZE 220)", std::nullopt, 220, std::nullopt},
        {"1 FETCH (FLAGS (\\Seen \\Recent) UID 471)", 471, std::nullopt, TMessageFlag::Seen | TMessageFlag::Recent},
        {"1 FETCH (UID 471 FLAGS (\\seen $Junk \\*))", 471, std::nullopt, TMessageFlags(TMessageFlag::Seen)},
        {"1 fetch (uid 4294967295 rfc822.size 2147483647)", 4294967295u, 2147483647, std::nullopt},
        {"1 FETCH (UID 0 RFC822.SIZE 2147483648)", std::nullopt, std::nullopt, std::nullopt},
        {"1 FETCH (RFC822.SIZE 7 RFC822.SIZE 2147483648 UID 5 UID 6)", 6, 7, std::nullopt},
        {"01 FETCH (UID 007 RFC822.SIZE 0)", 7, 0, std::nullopt},
        {"1 FETCH  (UID 5  RFC822.SIZE 9 )", 5, 9, std::nullopt},
        {"1 FETCH (UID 5 RFC822.SIZE 9x)", 5, std::nullopt, std::nullopt},
        {"1 FETCH (UID 5 RFC822.SIZE 9 RFC822.HEADER {4}\r\nA: b)", 5, 9, std::nullopt, "A: b"},
        {"1 FETCH (rfc822.header {6}\r\nA: b\r\n UID 5)", 5, std::nullopt, std::nullopt, "A: b\r\n"},
        {"1 FETCH (UID 5 RFC822.HEADER {4}\nA: b)", 5, std::nullopt, std::nullopt, "A: b"},
        {"1 FETCH (UID 5 BODY[HEADER] {4}\r\nA: b)", 5, std::nullopt, std::nullopt, "A: b"},
        {"1 FETCH (UID 5 RFC822.HEADER \"A: b\")", 5, std::nullopt, std::nullopt, "A: b"},
        {"1 FETCH (UID 5 RFC822.HEADER NIL)", 5, std::nullopt, std::nullopt, ""},
        {"1 FETCH (RFC822.HEADER {0}\r\n)", std::nullopt, std::nullopt, std::nullopt, ""},
    };
    for (const TFetchCase& c : cases) {
        const auto fetch = ParseFetchResponse(c.Response);
        ASSERT_TRUE(fetch.has_value()) << c.Response;
        EXPECT_EQ(fetch->Uid, c.Uid) << c.Response;
        EXPECT_EQ(fetch->Size, c.Size) << c.Response;
        EXPECT_EQ(fetch->Flags, c.Flags) << c.Response;
        EXPECT_EQ(fetch->Header, c.Header) << c.Response;
    }
    for (const char* notFetch : {"1 EXISTS", "FETCH (UID 1)", "0 FETCH (UID 1)", "1 FETCH UID 1", "1 FETCH (UID 1",
                                 "1 FETCH (UID 1) x", "1 FETCH (RFC822.HEADER {9}\r\nA: b)"})
        EXPECT_FALSE(ParseFetchResponse(notFetch).has_value()) << notFetch;
}

TEST(ImapSelect, ExampleReplyFillsTheFolderState)
{
    TImapFolderInfo info;
    for (const char* line :
         {"FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft)", "172 EXISTS", "1 RECENT",
          "OK [UNSEEN 12] Message 12 is first unseen", "OK [UIDVALIDITY 385] UIDs valid",
          "OK [UIDNEXT 439] Predicted next UID", "OK [PERMANENTFLAGS (\\Deleted \\Seen \\*)] Limited",
          "OK [HIGHESTMODSEQ 715194045007] Highest", "OK [READ-WRITE] done", "OK [ALERT] watch out",
          "NO [UIDVALIDITY 1] ignored"})
        ApplySelectResponse(info, line);
    EXPECT_EQ(info,
              (TImapFolderInfo{.Name = {},
                               .TotalMessages = 172,
                               .RecentMessages = 1,
                               .FirstUnseen = 12,
                               .UidValidity = 385,
                               .UidNext = 439,
                               .HighestModSeq = 715194045007,
                               .AccessMode = TImapAccessMode::ReadWrite,
                               .MailBoxFlags = TMessageFlag::Answered | TMessageFlag::Flagged | TMessageFlag::Deleted
                                   | TMessageFlag::Seen | TMessageFlag::Draft,
                               .PermanentFlags = TMessageFlag::Deleted | TMessageFlag::Seen,
                               .ExpungedNumbers = {}}));
    for (const char* bad : {"-1 EXISTS", "x EXISTS", "10000001 EXISTS", "1e3 RECENT"})
        EXPECT_THROW(ApplySelectResponse(info, bad), EMailClientError) << bad;
    // A mod-sequence is 1 to 2^63-1; anything else counts as none.
    for (const char* none : {"OK [HIGHESTMODSEQ 9223372036854775808] x", "OK [HIGHESTMODSEQ 0] x",
                             "OK [HIGHESTMODSEQ 18446744073709551617] x", "OK [HIGHESTMODSEQ -5] x"}) {
        TImapFolderInfo modSeq;
        ApplySelectResponse(modSeq, none);
        EXPECT_EQ(modSeq.HighestModSeq, 0u) << none;
    }
    EXPECT_EQ(ParseModSeq("9223372036854775807"), 9223372036854775807u);
}

TEST(ImapResponses, VanishedUidSets)
{
    using TRanges = QList<std::pair<quint32, quint32>>;
    const struct {
        const char* Rest;
        bool Earlier;
        TRanges Ranges;
    } good[] = {
        {"(EARLIER) 41,43:116,120:118", true, {{41, 41}, {43, 116}, {118, 120}}},
        {"405,407", false, {{405, 405}, {407, 407}}},
        {"(earlier) 1:4294967295", true, {{1, 4294967295u}}},
    };
    for (const auto& c : good) {
        const std::optional<TImapVanished> vanished = ParseVanishedResponse(c.Rest);
        ASSERT_TRUE(vanished.has_value()) << c.Rest;
        EXPECT_EQ(vanished->Earlier, c.Earlier) << c.Rest;
        EXPECT_EQ(vanished->Ranges, c.Ranges) << c.Rest;
    }
    for (const char* bad : {"", "(EARLIER)", "(EARLIER) ", "(LATER) 4", "(EARLIER 4", "(EARLIER)4", "(EARLIER) 3:*",
                            "0", "4 5", "4294967296", "3,", "(EARLIER) (EARLIER) 3"})
        EXPECT_FALSE(ParseVanishedResponse(bad).has_value()) << bad;
}

struct TListCase {
    const char* Response;
    std::optional<QByteArray> Name;
    QByteArray Delimiter;
    bool Selectable;
};

TEST(ImapList, NamesDelimitersAndAttributes)
{
    const TListCase cases[] = {
        {"LIST (\\HasNoChildren) \"/\" \"INBOX\"", QByteArray("INBOX"), "/", true},
        {"LIST () \".\" Sent", QByteArray("Sent"), ".", true},
        {"LIST (\\Noselect) NIL \"\"", QByteArray(""), "", false},
        {"list (\\NONEXISTENT) \"/\" x", QByteArray("x"), "/", false},
        {"LIST () \"/\" {3}\r\na b", QByteArray("a b"), "/", true},
        {"LIST () \"/\" \"&BB4EQgQ,BEAEMAQyBDsENQQ9BD0ESwQ1-\"", QByteArray("&BB4EQgQ,BEAEMAQyBDsENQQ9BD0ESwQ1-"), "/",
         true},
        {"LIST \"/\" INBOX", std::nullopt, "", false},
        {"LIST () \"/\"", std::nullopt, "", false},
        {"LSUB () \"/\" INBOX", std::nullopt, "", false},
    };
    for (const TListCase& c : cases) {
        const auto entry = ParseListResponse(c.Response);
        ASSERT_EQ(entry.has_value(), c.Name.has_value()) << c.Response;
        if (!entry)
            continue;
        EXPECT_EQ(entry->Name, *c.Name);
        EXPECT_EQ(entry->Delimiter, c.Delimiter);
        EXPECT_EQ(entry->Selectable(), c.Selectable) << c.Response;
    }
}

TEST(ImapResponses, CodesCapabilitiesAndExpunge)
{
    EXPECT_EQ(ImapStatusCode("OK"), TImapReplyCode::Ok);
    EXPECT_EQ(ImapStatusCode("BYE"), TImapReplyCode::Bye);
    EXPECT_EQ(ImapStatusCode("ok"), TImapReplyCode::Ok);  // status words ignore letter case
    EXPECT_FALSE(ImapStatusCode("OKAY").has_value());
    const auto code = ParseResponseCode(" [CAPABILITY IMAP4rev1 literal+] ready");
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(code->Name, "CAPABILITY");
    EXPECT_EQ(ParseCapabilityNames(code->Arguments), (QList<QByteArray>{"IMAP4REV1", "LITERAL+"}));
    EXPECT_EQ(ParseExpungeResponse("3 EXPUNGE"), 3u);
    EXPECT_FALSE(ParseExpungeResponse("EXPUNGE").has_value());
    EXPECT_FALSE(ParseExpungeResponse("0 EXPUNGE").has_value());
}

struct TCommandCase {
    const char* Name;
    QList<TImapArgument> Arguments;
    bool LiteralPlus;
    QList<QByteArray> Pieces;
    QList<QByteArray> Traces;
};

TEST(ImapCommand, StringsAreQuotedOrSentAsLiterals)
{
    const TCommandCase cases[] = {
        {"plain", {TImapArgument::String("INBOX")}, false, {"C1 X \"INBOX\""}, {"C1 X \"INBOX\""}},
        {"escapes", {TImapArgument::String("a\"b\\c")}, false, {"C1 X \"a\\\"b\\\\c\""}, {"C1 X \"a\\\"b\\\\c\""}},
        {"secret", {TImapArgument::String("pw", true)}, false, {"C1 X \"pw\""}, {"C1 X ****"}},
        {"literal",
         {TImapArgument::String("a\nb"), TImapArgument::Raw("(x)")},
         false,
         {"C1 X {3}", "a\nb (x)"},
         {"C1 X {3}", "a\nb (x)"}},
        {"literal plus",
         {TImapArgument::String("\xC3\xA9", true)},
         true,
         {"C1 X {2+}", "\xC3\xA9"},
         {"C1 X ****", "****"}},
    };
    for (const TCommandCase& c : cases) {
        const QList<TImapCommandPiece> pieces = BuildImapCommand("C1", "X", c.Arguments, c.LiteralPlus);
        ASSERT_EQ(pieces.size(), c.Pieces.size()) << c.Name;
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            EXPECT_EQ(pieces[i].Bytes, c.Pieces[i]) << c.Name;
            EXPECT_EQ(pieces[i].Trace, c.Traces[i]) << c.Name;
            EXPECT_EQ(pieces[i].WaitForContinuation, !c.LiteralPlus && i + 1 < pieces.size()) << c.Name;
        }
    }
    EXPECT_THROW(BuildImapCommand("C1", "X", {TImapArgument::String(QByteArray("a\0b", 3))}, false), EMailClientError);
}

TEST(ImapCommand, SequenceSets)
{
    for (const char* good : {"1", "1:*", "2,4:7,9", "*", "4294967295"})
        EXPECT_TRUE(IsValidSequenceSet(good)) << good;
    for (const char* bad : {"", "0", "1:", "1 2", "1,,2", "1:2:3", "a", "4294967296", "01", "1)"})
        EXPECT_FALSE(IsValidSequenceSet(bad)) << bad;
    EXPECT_EQ(JoinNumbers({3, 5}), "3,5");
}

}  // namespace
}  // namespace brevio
