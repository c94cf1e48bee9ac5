// Line reading over a scripted server: the line limit, line ends and peer closes.
#include "net/errors.h"
#include "net/protocol_limits.h"
#include "net/line_channel.h"
#include "support/scripted_transport.h"

#include <gtest/gtest.h>

namespace brevio::test {
namespace {

enum class TEnd { Nothing, LineTooLong, ConnectionClosed };

struct TLineCase {
    const char* Name;
    QByteArray Script;
    QList<QByteArray> Lines;  // what ReadLine returns, in order
    TEnd End;                 // what the next ReadLine raises
    bool NonEmpty = false;    // read with ReadNonEmptyLine
};

QByteArray ServerBytes(const QByteArray& bytes)
{
    return "S+: " + bytes + "\n";
}

QList<TLineCase> LineCases()
{
    const QByteArray a16383(16383, 'a');
    const QByteArray a16384(16384, 'a');
    return {
        {"LongestLineWithCrLf", ServerBytes(a16383 + "\\r\\n") + "X", {a16383}, TEnd::ConnectionClosed},
        {"OneByteTooLongWithCrLf", ServerBytes(a16384 + "\\r\\n"), {}, TEnd::LineTooLong},
        {"LongestLineWithLfAlone", ServerBytes(a16384 + "\\n") + "X", {a16384}, TEnd::ConnectionClosed},
        {"EndlessLineWithoutLf", ServerBytes(a16384 + "a"), {}, TEnd::LineTooLong},
        {"LfAloneEndsALine", "S+: abc\\ndef\\r\\n\nX", {"abc", "def"}, TEnd::ConnectionClosed},
        {"CrCrLfKeepsOneCr", "S+: abc\\r\\r\\n\nX", {"abc\r"}, TEnd::ConnectionClosed},
        {"NulBytesStayInTheLine", "S+: a\\0b\\r\\n\nX", {QByteArray("a\0b", 3)}, TEnd::ConnectionClosed},
        {"LineThenClose", "S: +OK hello\nX", {"+OK hello"}, TEnd::ConnectionClosed},
        {"CloseInTheMiddleOfALine", "S+: +OK hel\nX", {}, TEnd::ConnectionClosed},
        {"LinesSplitAcrossReceives", "S+: +O\nS+: K\\r\nS+: \\nnext\\r\\n\nX", {"+OK", "next"}, TEnd::ConnectionClosed},
        {"NonEmptySkipsBlankLinesAndTrims", "S: \nS:    \nS: \t x y \nX", {"x y"}, TEnd::ConnectionClosed, true},
    };
}

class LineReading : public ::testing::TestWithParam<TLineCase> {};

TEST_P(LineReading, DeliversLinesThenFails)
{
    const TLineCase& c = GetParam();
    TScriptedServer server(c.Script.constData());
    TLineChannel client(server.Factory());
    client.Open({});
    for (const QByteArray& expected : c.Lines)
        EXPECT_EQ(c.NonEmpty ? client.ReadNonEmptyLine() : client.ReadLine(), expected);
    switch (c.End) {
    case TEnd::LineTooLong:
        EXPECT_THROW(client.ReadLine(), ELineTooLong);
        break;
    case TEnd::ConnectionClosed:
        EXPECT_THROW(client.ReadLine(), EConnectionClosed);
        EXPECT_FALSE(client.IsOpen());
        break;
    case TEnd::Nothing:
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LineReading, ::testing::ValuesIn(LineCases()),
                         [](const auto& tested) { return std::string(tested.param.Name); });

TEST(LineLayer, ReadBytesTakesExactCountAndLeavesTheRest)
{
    TScriptedServer server("S+: 12345rest\\r\\n\nX");
    TLineChannel client(server.Factory());
    client.Open({});
    EXPECT_EQ(client.ReadBytes(5), "12345");
    EXPECT_EQ(client.ReadLine(), "rest");
    EXPECT_THROW(client.ReadBytes(1), EConnectionClosed);
    EXPECT_THROW(client.ReadBytes(kMaxReplyBytes + 1), ELineTooLong);
}

TEST(LineLayer, QueuedLinesGoOutTogetherOnFlush)
{
    TScriptedServer server("C: A1\nC: A2\nS: ok");
    TLineChannel client(server.Factory());
    client.Open({});
    client.QueueLine("A1");
    client.QueueLine("A2");
    client.Flush();
    EXPECT_EQ(client.ReadLine(), "ok");
}

TEST(LineLayer, SendingAfterThePeerClosedRaisesConnectionClosed)
{
    TScriptedServer server("X");
    TLineChannel client(server.Factory());
    client.Open({});
    EXPECT_THROW(client.ReadLine(), EConnectionClosed);
    EXPECT_THROW(client.SendLine("QUIT"), EConnectionClosed);
}

TEST(LineLayer, ReadingWithoutAConnectionRaisesNotConnected)
{
    TLineChannel client([] { return std::unique_ptr<TTransport>(); });
    EXPECT_THROW(client.ReadLine(), ENotConnected);
    EXPECT_THROW(client.SendLine("x"), ENotConnected);
    EXPECT_THROW(client.Open({}), ESocketAllocError);
}

}  // namespace
}  // namespace brevio::test
