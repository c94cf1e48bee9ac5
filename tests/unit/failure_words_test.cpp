// The network and protocol layers' failures in words: the built-in words are the texts logs and
// users have always seen, and every kind has its own words in each shipped language, with the
// peer's words (a server's reply, the system's) put in unchanged.
#include "engine/failure_text.h"
#include "support/shipped_strings.h"

#include <QRegularExpression>
#include <functional>
#include <gtest/gtest.h>

namespace brevio {
namespace {

using K = TFailureKind;

TEST(FailureWords, BuiltInWordsAreTheEstablishedTexts)
{
    struct Case {
        TFailure failure;
        const char* text;
    };
    const Case cases[] = {
        {{K::SocketError, {"111", "Connection refused by the system"}},
         "Socket Error # 111\r\nConnection refused by the system"},
        {{K::TlsHandshakeSocketError, {"h.example", "10054"}},
         "TLS handshake with h.example failed: Connection reset by peer."},
        {{K::TlsHandshakeWeakKey, {"h.example", "RSA 1024 bits", "ee key too small"}},
         "TLS handshake with h.example failed: the server's key is too weak (RSA 1024 bits) (ee key too small)"},
        {{K::TlsHandshakeServerClosed, {"h.example"}},
         "TLS handshake with h.example failed: the server closed the connection"},
        {{K::Pop3StlsRefused, {" not now"}}, "The server refused STLS: not now"},
        {{K::ImapWrongState, {"Non Authenticated"}},
         "Unable to execute command, wrong connection state;Current connection state: Non Authenticated."},
        {{K::ReadTimeout, {}}, "Read Timeout"},
        // A reply that looks like a placeholder is the server's, not a place for more words.
        {{K::Verbatim, {"-ERR 100%s full"}}, "-ERR 100%s full"},
        {{K::ImapStarttlsRefused, {"NO %s"}}, "The server refused STARTTLS: NO %s"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FailureWords(c.failure, TStringTable::BuiltIn()), QString::fromUtf8(c.text)) << c.text;
}

// The places a text has for values; a translation must keep every one.
int Placeholders(const QString& text)
{
    static const QRegularExpression placeholder(QStringLiteral("%[sd]"));
    return int(text.count(placeholder));
}

TEST(FailureWords, EveryKindHasItsOwnWordsInEveryShippedLanguage)
{
    const TStringTable english = test::ShippedStrings(QStringLiteral("ENG"));
    const TStringTable russian = test::ShippedStrings(QStringLiteral("RUS"));
    QList<texts::TTextId> ids;
    for (int kind = 0; kind < kFailureKindCount; ++kind)
        if (const auto id = FailureTextId(TFailureKind(kind)))
            ids.append(*id);
    for (int code = 10000; code <= 11001; ++code)
        if (const auto id = SocketErrorTextId(code))
            ids.append(*id);
    EXPECT_EQ(ids.size(), kFailureKindCount - 1 + 39);
    for (const texts::TTextId id : ids) {
        const char* key = TextKey(id).Key;
        EXPECT_EQ(english.Text(id), TStringTable::BuiltIn().Text(id)) << key << ": lang.ENG differs";
        EXPECT_FALSE(russian.Text(id).trimmed().isEmpty()) << key;
        EXPECT_NE(russian.Text(id), english.Text(id)) << key << ": not translated";
        EXPECT_EQ(Placeholders(russian.Text(id)), Placeholders(english.Text(id))) << key;
    }
}

TEST(FailureWords, RussianKeepsThePeersWords)
{
    const TStringTable russian = test::ShippedStrings(QStringLiteral("RUS"));
    struct Case {
        const char* name;
        std::function<void()> raise;
        const char* text;
    };
    const Case cases[] = {
        {"the system's words", [] { throw ESocketError(5, QStringLiteral("Input/output error")); },
         "Ошибка сокета № 5\r\nInput/output error"},
        {"server's reply as it came", [] { throw EReplyError(QStringLiteral("-ERR busy"), 2); }, "-ERR busy"},
        {"time-out", [] { throw EReadTimeout(); }, "Истекло время ожидания ответа"},
        {"a number the caller made",
         [] {
             throw EInvalidNumber(TFailure{K::UidBelowOne, {}});
         },
         "Неверный UID: он должен быть не меньше 1"},
    };
    for (const Case& c : cases) {
        try {
            c.raise();
            ADD_FAILURE() << c.name;
        } catch (const std::exception& e) {
            EXPECT_EQ(FailureText(e, russian), QString::fromUtf8(c.text)) << c.name;
        }
    }
}

}  // namespace
}  // namespace brevio
