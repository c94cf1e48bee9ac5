// The pure POP3 reply readers.
#include "pop3/pop3_reply_parser.h"

#include <gtest/gtest.h>

namespace brevio {
namespace {

TEST(Pop3Replies, StatusWords)
{
    EXPECT_EQ(Pop3StatusCode("+OK"), 1);
    EXPECT_EQ(Pop3StatusCode("+ok"), 1);
    EXPECT_EQ(Pop3StatusCode("-ERR"), 2);
    EXPECT_FALSE(Pop3StatusCode("OK").has_value());
}

TEST(Pop3Replies, UidLines)
{
    EXPECT_EQ(ParsePop3UidLine("1 whqtswO00WBw418f9t5JxYwZ"), (TPop3UidEntry{1, "whqtswO00WBw418f9t5JxYwZ"}));
    EXPECT_EQ(ParsePop3UidLine(" 2  abc "), (TPop3UidEntry{2, "abc"}));
    for (const QByteArray& bad : QList<QByteArray>{"", "1", "0 a", "-1 a", "x a", "1 a b", "1 " + QByteArray(71, 'a'),
                                                   "1 a\x7F", "99999999999 a"})
        EXPECT_FALSE(ParsePop3UidLine(bad).has_value()) << bad.constData();
}

TEST(Pop3Replies, CapabilitiesAndApop)
{
    EXPECT_TRUE(Pop3HasCapability({"TOP", "stls", "SASL PLAIN"}, "STLS"));
    EXPECT_FALSE(Pop3HasCapability({"TOP", "XSTLS", "SASL STLS"}, "STLS"));
    EXPECT_EQ(ApopTimestamp("POP3 ready <1.2@host> x"), "<1.2@host>");
    EXPECT_TRUE(ApopTimestamp("POP3 ready >x< no").isEmpty());
    EXPECT_EQ(ApopDigest("<1896.697170952@dbc.mtview.ca.us>", "tanstaaf"), "c4c9334bac560ecc979e58001b3e22fb");
}

}  // namespace
}  // namespace brevio
