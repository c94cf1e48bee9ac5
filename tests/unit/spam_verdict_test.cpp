// Spam verdicts as SpamAssassin and rspamd write them, the Authentication-Results a receiving
// server adds (and those a sender forges below it), and headers written to hurt the reader.
#include "mime/authentication_results.h"
#include "mime/mail_message.h"
#include "mime/spam_verdict.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

using namespace brevio;

namespace {

using J = TSpamJudgement;
using A = TAuthResult;
constexpr double kNoScore = -12345;  // a case's "no score"

TSpamVerdict Read(const char* block, const char* trusted = "")
{
    return ReadSpamVerdict(SplitHeaderLines(block), trusted);
}

TEST(SpamVerdict, FilterHeadersAsWritten)
{
    const struct {
        const char* Block;
        J Judgement;
        TSpamFilter Filter;
        double Score;
        double Threshold;
    } cases[] = {
        {"X-Spam-Flag: YES\nX-Spam-Status: Yes, score=1000.0 required=5.0 tests=GTUBE,NO_RECEIVED\n\tautolearn=no "
         "version=3.4.6\nX-Spam-Level: **************************************************\n",
         J::Spam, TSpamFilter::Assassin, 1000, 5},
        {"X-Spam-Status: No, score=-0.1 required=5.0 tests=ALL_TRUSTED autolearn=ham\n", J::Ham, TSpamFilter::Assassin,
         -0.1, 5},
        {"X-Spam-Status: Yes, hits=6.2 required=5.0\n", J::Spam, TSpamFilter::Assassin, 6.2, 5},
        // A test's name that ends in "score=" is no score.
        {"X-Spam-Status: No, tests=FOOscore=9 score=1.5\n", J::Ham, TSpamFilter::Assassin, 1.5, kNoScore},
        {"X-Spam-Score: 3.4\n", J::Unknown, TSpamFilter::Assassin, 3.4, kNoScore},
        {"X-Spam-Level: ****\n", J::Unknown, TSpamFilter::Assassin, 4, kNoScore},
        {"X-Spam-Level: \n", J::Unknown, TSpamFilter::Unknown, kNoScore, kNoScore},
        {"X-Spamd-Result: default: True [16.20 / 15.00]; GTUBE(0.00)[]; R_SPF_FAIL(1.00)[-all]\n", J::Spam,
         TSpamFilter::Rspamd, 16.2, 15},
        {"X-Spamd-Result: default: False [-0.10 / 15.00];\n DMARC_NA(0.00)[x]\nX-Rspamd-Score: 7\n", J::Ham,
         TSpamFilter::Rspamd, -0.1, 15},
        {"X-Spam: Yes\nX-Rspamd-Score: 9.50\n", J::Spam, TSpamFilter::Rspamd, 9.5, kNoScore},
        // Either filter calling it spam wins; the topmost header of a kind wins over one below.
        {"X-Spam-Status: No, score=1.0\nX-Spamd-Result: default: True [20.00 / 15.00]\n", J::Spam, TSpamFilter::Rspamd,
         20, 15},
        {"X-Spam-Flag: NO\nX-Spam-Flag: YES\nX-Spam-Status: Yes, score=50\n", J::Ham, TSpamFilter::Assassin, 50,
         kNoScore},
        // Malformed: what cannot be read is left out.
        {"X-Spam-Status: maybe, score=abc required=\n", J::Unknown, TSpamFilter::Unknown, kNoScore, kNoScore},
        {"X-Spam-Score: 99999999999999999999\nX-Spam-Flag:\n", J::Unknown, TSpamFilter::Unknown, kNoScore, kNoScore},
        {"X-Spam-Score: nan\nX-Rspamd-Score: -inf\n", J::Unknown, TSpamFilter::Unknown, kNoScore, kNoScore},
        {"X-Spamd-Result: default: True [\nX-Spamd-Result: True [1 / 2]\n", J::Spam, TSpamFilter::Rspamd, kNoScore,
         kNoScore},
        {"X-Spamd-Result: default; R_X(1.0)[a] [3 / 4]\n", J::Unknown, TSpamFilter::Unknown, kNoScore, kNoScore},
        {"Subject: no filter here\n", J::Unknown, TSpamFilter::Unknown, kNoScore, kNoScore},
    };
    for (const auto& c : cases) {
        const TSpamVerdict v = Read(c.Block);
        SCOPED_TRACE(c.Block);
        EXPECT_EQ(v.Judgement, c.Judgement);
        EXPECT_EQ(v.Filter, c.Filter);
        EXPECT_DOUBLE_EQ(v.HasScore ? v.Score : kNoScore, c.Score);
        EXPECT_DOUBLE_EQ(v.HasThreshold ? v.Threshold : kNoScore, c.Threshold);
    }
}

TEST(SpamVerdict, AuthenticationResultsValues)
{
    const struct {
        const char* Value;
        const char* Id;
        A Spf, Dkim, Dmarc;
    } cases[] = {
        {"mx.example.org; spf=pass smtp.mailfrom=a.example; dkim=pass header.d=a.example; dmarc=pass (p=none) "
         "header.from=a.example",
         "mx.example.org", A::Pass, A::Pass, A::Pass},
        // Comments, nested and holding semicolons and "=", go; the version number after the id too.
        {"mx.example.org (a; b (c; spf=pass)) 1; spf=fail (not allowed; x=y) smtp.mailfrom=x; dmarc=fail",
         "mx.example.org", A::Fail, A::Absent, A::Fail},
        {"mx.example.org; dkim=fail header.d=x; dkim=pass header.d=y; dkim=neutral", "mx.example.org", A::Absent,
         A::Pass, A::Absent},
        {"mx.example.org; none", "mx.example.org", A::Absent, A::Absent, A::Absent},
        {"\"quoted id\"; dkim=pass header.b=\"ab;dmarc=pass\"; dmarc=fail", "quoted id", A::Absent, A::Pass, A::Fail},
        {"MX; SPF=SoftFail; DKIM=TempErr; DMARC=PermError; spf=pass", "MX", A::SoftFail, A::TempError, A::PermError},
        {"mx; spf=bogus; dkim = none ; dmarc=", "mx", A::Other, A::None, A::Other},
        {"mx; spf; =pass; ((((unclosed", "mx", A::Absent, A::Absent, A::Absent},
        {"", "", A::Absent, A::Absent, A::Absent},
    };
    for (const auto& c : cases) {
        const TAuthenticationResults r = ParseAuthenticationResults(c.Value);
        SCOPED_TRACE(c.Value);
        EXPECT_EQ(r.AuthServId, QByteArray(c.Id));
        EXPECT_EQ(r.Spf, c.Spf);
        EXPECT_EQ(r.Dkim, c.Dkim);
        EXPECT_EQ(r.Dmarc, c.Dmarc);
    }
}

// RFC 8601 §5: only the receiving server's header counts; a sender's forgery lies below it.
TEST(SpamVerdict, TrustsTheTopmostOrTheNamedAuthenticationResults)
{
    const char* block =
        "Received: by mx.example.org\n"
        "Authentication-Results: relay.example.net; dmarc=pass; spf=pass\n"
        "Authentication-Results: mx.example.org;\n\tdmarc=fail header.from=bank.example;\n\tspf=softfail\n"
        "Authentication-Results: MX.example.org; dmarc=pass\n";
    const struct {
        const char* Trusted;
        A Dmarc, Spf;
    } cases[] = {
        {"", A::Pass, A::Pass},
        {"mx.example.org", A::Fail, A::SoftFail},
        {"elsewhere.example", A::Absent, A::Absent},
    };
    for (const auto& c : cases) {
        const TSpamVerdict v = Read(block, c.Trusted);
        EXPECT_EQ(v.Dmarc, c.Dmarc) << c.Trusted;
        EXPECT_EQ(v.Spf, c.Spf) << c.Trusted;
    }
    EXPECT_TRUE(Read(block, "mx.example.org").AuthenticationFailed());
    EXPECT_TRUE(Read(block, "mx.example.org").Suspected());
    EXPECT_FALSE(Read("Authentication-Results: mx; spf=fail\n").Suspected());
    EXPECT_TRUE(Read("Authentication-Results: mx; spf=fail\n").AuthenticationFailed());
}

// Headers at the size limits, repeated and nested without end: each is read in one pass.
TEST(SpamVerdict, HostileHeadersEndQuickly)
{
    QByteArray block = "X-Spam-Status: Yes, " + QByteArray(700'000, '(') + "\n";
    for (int i = 0; i < 3000; ++i)
        block += "Authentication-Results: x" + QByteArray::number(i) + "; " + QByteArray(20, ';') + "dmarc=fail\n";
    block += "X-Spamd-Result: " + QByteArray(50'000, '[') + "\n\t" + QByteArray(50'000, '"') + "\n";
    const QList<QByteArray> lines = SplitHeaderLines(block);
    EXPECT_EQ(ReadSpamVerdict(lines, "nobody").Dmarc, A::Absent);
    const TSpamVerdict topmost = ReadSpamVerdict(lines);
    EXPECT_EQ(topmost.Judgement, J::Spam);
    EXPECT_EQ(topmost.Dmarc, A::Fail);
    const QByteArray comments = "mx; " + QByteArray(500'000, '(') + QByteArray(500'000, ')') + " dmarc=fail";
    EXPECT_EQ(ParseAuthenticationResults(comments).Dmarc, A::Fail);
}

TEST(SpamVerdict, KeywordsAndScoreTexts)
{
    EXPECT_EQ(AuthResultKeyword(AuthResultFromKeyword("SoftFail")), QByteArray("softfail"));
    EXPECT_EQ(AuthResultKeyword(A::Absent), QByteArray());
    EXPECT_EQ(JudgementKeyword(J::Unknown), QByteArray());
    const struct {
        double Score;
        const char* Text;
    } scores[] = {{5.3, "5.3"}, {-0.1, "-0.1"}, {12, "12"},    {16.2, "16.2"},
                  {0.004, "0"}, {-0.001, "0"},  {7.25, "7.25"}};
    for (const auto& s : scores)
        EXPECT_EQ(SpamScoreText(s.Score), QString::fromLatin1(s.Text));
}

// Both ways of reading a header give the row the same verdict.
TEST(SpamVerdict, ListedAndFullParsingAgree)
{
    TMailMessage message;
    message.RawHeaders = SplitHeaderLines("X-Spam-Flag: YES\nAuthentication-Results: mx; dmarc=fail\nFrom: a@b.org\n");
    message.ParseHeaders();
    EXPECT_EQ(message.Spam, ParseListedHeader(message.RawHeaders).Spam);
    EXPECT_EQ(TListedHeader(std::move(message)).Spam.Dmarc, A::Fail);
}

}  // namespace
