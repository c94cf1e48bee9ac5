// TLS over the socket transport against an in-process TLS server with throw-away certificates.
#include "engine/failure_text.h"
#include "net/errors.h"
#include "net/socket_transport.h"
#include "net/tls_session.h"
#include "support/tls_test_server.h"
#include "support/transport_test_io.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <vector>

using namespace brevio;
using namespace brevio::test;

namespace {

QString WithColons(const QString& hex)
{
    QStringList pairs;
    for (qsizetype i = 0; i < hex.size(); i += 2)
        pairs << hex.mid(i, 2);
    return pairs.join(u':');
}

// What a refused certificate's details must say beyond the message.
struct TRefusal {
    bool HostMismatch = false;
    bool Expired = false;
    bool PinMismatch = false;  // names the pinned fingerprint beside the server's
    bool TooWeak = false;      // refused outright: the user is never asked to trust it
};

struct TCertificateCase {
    const char* name;
    const TTestCertificate* serverCert;
    QString connectHost;
    QString tlsHost;  // empty: the host given to Open
    QByteArray extraCa;
    QString pin;
    const char* errorPart;  // null: the session must work
    TRefusal refusal;
};

std::vector<TCertificateCase> CertificateCases()
{
    const TTestPki& pki = TTestPki::Get();
    return {
        {"trusted by extra CA", &pki.Server, "localhost", "", pki.Ca.CertPem, "", nullptr, {}},
        {"IP literal checked as address", &pki.Server, "127.0.0.1", "", pki.Ca.CertPem, "", nullptr, {}},
        {"wrong host name",
         &pki.Server,
         "127.0.0.1",
         "mail.example.com",
         pki.Ca.CertPem,
         "",
         "TLS certificate of mail.example.com not trusted: the certificate is made out for localhost, 127.0.0.1, "
         "::1, not for mail.example.com (hostname mismatch)",
         {.HostMismatch = true}},
        {"wrong IP address",
         &pki.Server,
         "127.0.0.1",
         "10.1.2.3",
         pki.Ca.CertPem,
         "",
         "(IP address mismatch)",
         {.HostMismatch = true}},
        {"issuer unknown",
         &pki.Server,
         "localhost",
         "",
         {},
         "",
         "the server did not send its intermediate certificate, or its issuer is not trusted on this computer "
         "(unable to get local issuer certificate)",
         {}},
        {"self-signed",
         &pki.SelfSigned,
         "localhost",
         "",
         pki.Ca.CertPem,
         "",
         "TLS certificate of localhost not trusted: the certificate is self-signed, so no authority vouches for it "
         "(self-signed certificate)",
         {}},
        {"self-signed for another host",
         &pki.SelfSigned,
         "localhost",
         "other.example",
         {},
         "",
         "(self-signed certificate)",
         {.HostMismatch = true}},
        {"expired",
         &pki.Expired,
         "localhost",
         "",
         pki.Ca.CertPem,
         "",
         "the certificate expired on ",
         {.Expired = true}},
        {"weak key",
         &pki.WeakKey,
         "localhost",
         "",
         pki.Ca.CertPem,
         "",
         "TLS certificate of localhost refused: the server's key is too weak (RSA 1024 bits)",
         {.TooWeak = true}},
        {"weak key, pinned",
         &pki.WeakKey,
         "localhost",
         "",
         pki.Ca.CertPem,
         pki.WeakKey.Fingerprint,
         "the server's key is too weak (RSA 1024 bits) (EE certificate key too weak); a certificate this weak cannot "
         "be trusted",
         {.TooWeak = true}},
        {"weak key, self-signed and pinned",
         &pki.WeakSelfSigned,
         "localhost",
         "",
         {},
         pki.WeakSelfSigned.Fingerprint,
         "TLS certificate of localhost refused: the server's key is too weak (RSA 1024 bits)",
         {.TooWeak = true}},
        {"SHA-1 signature, self-signed and pinned",
         &pki.Sha1SelfSigned,
         "localhost",
         "",
         {},
         pki.Sha1SelfSigned.Fingerprint,
         "TLS certificate of localhost refused: the certificate is signed with a hash "
         "that is too weak",
         {.TooWeak = true}},
        {"weak key, pin of another certificate",
         &pki.WeakSelfSigned,
         "localhost",
         "",
         {},
         pki.SelfSigned.Fingerprint,
         "has changed",
         {.PinMismatch = true, .TooWeak = true}},
        {"self-signed, pinned", &pki.SelfSigned, "localhost", "", {}, pki.SelfSigned.Fingerprint, nullptr, {}},
        {"pin lower case with colons",
         &pki.SelfSigned,
         "localhost",
         "",
         {},
         WithColons(pki.SelfSigned.Fingerprint.toLower()),
         nullptr,
         {}},
        {"pin covers a name mismatch",
         &pki.SelfSigned,
         "localhost",
         "other.example",
         {},
         pki.SelfSigned.Fingerprint,
         nullptr,
         {}},
        {"pin of another certificate",
         &pki.SelfSigned,
         "localhost",
         "",
         {},
         pki.Server.Fingerprint,
         "has changed",
         {.PinMismatch = true}},
        {"pin cut short",
         &pki.SelfSigned,
         "localhost",
         "",
         {},
         pki.SelfSigned.Fingerprint.left(40),
         "has changed",
         {.PinMismatch = true}},
    };
}

// The server of a certificate case: it answers PING only when the client must accept.
std::function<void(TServerConnection&)> CertificateCaseServer(const TCertificateCase& c)
{
    return [&c](TServerConnection& s) {
        const bool shouldWork = c.errorPart == nullptr;
        if (!s.StartTls(*c.serverCert)) {
            if (shouldWork)
                throw std::runtime_error("handshake failed on the server");
            return;
        }
        if (!shouldWork) {
            s.WaitForClose();  // the client must leave without sending anything
            return;
        }
        if (s.ReadLine() != "PING")
            throw std::runtime_error("no PING");
        s.Write("PONG\r\n");
    };
}

// What the error of a refused certificate must carry, and the log entry made of it.
void ExpectRefusal(const ETlsError& e, const TCertificateCase& c)
{
    ASSERT_TRUE(e.Certificate().has_value());
    const TCertificateInfo& info = *e.Certificate();
    const QString text = CertificateRefusalText(info, TStringTable());
    EXPECT_TRUE(text.contains(QLatin1String(c.errorPart))) << text.toStdString();
    // The fingerprint is named so the user can decide to trust the certificate.
    EXPECT_EQ(e.Fingerprint(), c.serverCert->Fingerprint);
    EXPECT_TRUE(text.endsWith(QStringLiteral("(SHA-256 fingerprint %1)").arg(c.serverCert->Fingerprint)))
        << text.toStdString();
    // The library's verdict stays in the error's own message, in brackets in the entry.
    EXPECT_TRUE(e.Message().endsWith(info.LibraryText)) << e.Message().toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("(%1)").arg(info.LibraryText))) << text.toStdString();
    EXPECT_EQ(info.Host, c.tlsHost.isEmpty() ? c.connectHost : c.tlsHost);
    EXPECT_EQ(info.Subject, QStringLiteral("CN=localhost"));
    EXPECT_EQ(info.Issuer,
              c.serverCert->SelfSigned ? QStringLiteral("CN=localhost") : QStringLiteral("CN=Brevio Test CA"));
    EXPECT_TRUE(info.NotBefore.isValid() && info.NotBefore < info.NotAfter);
    EXPECT_EQ(info.Fingerprint, c.serverCert->Fingerprint);
    EXPECT_EQ(info.HostMismatch, c.refusal.HostMismatch);
    EXPECT_EQ(info.Expired, c.refusal.Expired);
    EXPECT_EQ(info.Problem == TCertificateProblem::WeakKey || info.Problem == TCertificateProblem::WeakHash,
              c.refusal.TooWeak);
    EXPECT_EQ(MayBeTrusted(info), !c.refusal.TooWeak && !c.refusal.PinMismatch);
    if (c.refusal.PinMismatch) {
        EXPECT_EQ(info.PinnedFingerprint, c.pin.toUpper());
        EXPECT_TRUE(text.contains(info.PinnedFingerprint)) << text.toStdString();
    } else {
        EXPECT_TRUE(info.PinnedFingerprint.isEmpty());
    }
}

}  // namespace

TEST(TlsTransport, CertificateChecks)
{
    for (const TCertificateCase& c : CertificateCases()) {
        SCOPED_TRACE(c.name);
        const bool shouldWork = c.errorPart == nullptr;
        TLoopbackServer server;
        server.Serve(CertificateCaseServer(c));

        TSocketTransport t(nullptr, 10);
        t.Open(c.connectHost, server.Port());
        TTlsOptions options;
        options.HostName = c.tlsHost;
        options.CertFingerprint = c.pin;
        options.ExtraCaCertificates = c.extraCa;
        try {
            t.StartTls(options);
            EXPECT_TRUE(shouldWork) << "accepted";
            EXPECT_TRUE(t.IsTlsActive());
            SendText(t, "PING\r\n");
            EXPECT_EQ(ReceiveLine(t), "PONG");
        } catch (const ETlsError& e) {
            EXPECT_FALSE(shouldWork) << e.Message().toStdString();
            if (!shouldWork)
                ExpectRefusal(e, c);
            EXPECT_FALSE(t.IsOpen());
        } catch (const std::exception& e) {
            ADD_FAILURE() << "the client failed otherwise: " << e.what();
        }
        EXPECT_EQ(t.PeerFingerprint(), c.serverCert->Fingerprint);
        t.Close();
        EXPECT_EQ(server.Join(), QString());
    }
}

TEST(TlsTransport, TraceMarksTheHandshake)
{
    const TTestPki& pki = TTestPki::Get();
    TLoopbackServer server;
    server.Serve([&](TServerConnection& s) {
        if (!s.StartTls(pki.Server))
            throw std::runtime_error("handshake failed on the server");
        s.WaitForClose();
    });
    QList<QByteArray> trace;
    TSocketTransport t(nullptr, 10);
    t.Open(QStringLiteral("localhost"), server.Port());
    TTlsOptions options;
    options.ExtraCaCertificates = pki.Ca.CertPem;
    options.Trace = [&](const QByteArray& line) { trace << line; };
    t.StartTls(options);
    t.Close();
    EXPECT_EQ(server.Join(), QString());
    ASSERT_EQ(trace.size(), 1);
    EXPECT_TRUE(trace[0].startsWith("TLS handshake done: TLSv1.3, ")) << trace[0].toStdString();
    EXPECT_TRUE(trace[0].endsWith("; certificate CN=localhost, SHA-256 " + pki.Server.Fingerprint.toLatin1()))
        << trace[0].toStdString();
}

TEST(TlsTransport, StartTlsAfterPlainExchange)
{
    // The second case sends plain bytes after the go-ahead, in the same packet; they were never
    // protected and must not be taken as part of the TLS conversation.
    const TTestPki& pki = TTestPki::Get();
    for (const QByteArray& goAhead :
         {QByteArray("+OK begin TLS\r\n"), QByteArray("+OK begin TLS\r\n+OK injected\r\n")}) {
        SCOPED_TRACE(goAhead.toStdString());
        TLoopbackServer server;
        server.Serve([&](TServerConnection& s) {
            s.Write("+OK ready\r\n");
            if (s.ReadLine() != "STLS")
                throw std::runtime_error("no STLS");
            s.Write(goAhead);
            if (!s.StartTls(pki.Server))
                throw std::runtime_error("handshake failed on the server");
            if (s.ReadLine() != "CAPA")
                throw std::runtime_error("no CAPA over TLS");
            s.Write("+OK secure\r\n");
            s.Close();
        });

        TSocketTransport t(nullptr, 10);
        t.Open(QStringLiteral("localhost"), server.Port());
        EXPECT_EQ(ReceiveLine(t), "+OK ready");
        SendText(t, "STLS\r\n");
        EXPECT_EQ(ReceiveLine(t), "+OK begin TLS");
        EXPECT_FALSE(t.IsTlsActive());
        TTlsOptions options;
        options.ExtraCaCertificates = pki.Ca.CertPem;
        t.StartTls(options);
        SendText(t, "CAPA\r\n");
        EXPECT_EQ(ReceiveLine(t), "+OK secure");
        char buffer[16];
        EXPECT_EQ(t.Receive(buffer, sizeof buffer), 0);  // the server's close after its alert
        EXPECT_EQ(server.Join(), QString());
        EXPECT_THROW(t.StartTls(options), ETlsError);  // TLS is already on
    }
}

namespace {

// How a client's handshake ended. Every failure is caught, so none escapes a test uncaught.
struct THandshakeOutcome {
    enum class TKind { Secured, TlsError, Timeout, OtherError } Kind = TKind::OtherError;
    QString Message;
    bool HasCertificate = false;
};

THandshakeOutcome TryStartTls(TSocketTransport& t, const TTlsOptions& options)
{
    using K = THandshakeOutcome::TKind;
    try {
        t.StartTls(options);
        return {K::Secured, {}, false};
    } catch (const ETlsError& e) {
        return {K::TlsError, e.Message(), e.Certificate().has_value()};
    } catch (const EReadTimeout& e) {
        return {K::Timeout, e.Message(), false};
    } catch (const std::exception& e) {
        return {K::OtherError, QString::fromUtf8(e.what()), false};
    }
}

}  // namespace

TEST(TlsTransport, HandshakeFailures)
{
    // A server that answers the hello with plain text, one that has closed before the hello, one
    // that stays silent, and one that speaks nothing newer than TLS 1.1. Each server acts on what
    // it received, or has finished before the client starts, so no outcome depends on timing;
    // only the silent server is met with a (short) time-out.
    using K = THandshakeOutcome::TKind;
    const TTestPki& pki = TTestPki::Get();
    struct Case {
        const char* name;
        std::function<void(TServerConnection&)> serve;
        bool serverFinishesFirst;  // the client starts once the server's side is over
        K outcome;
        const char* reason;  // what follows "TLS handshake with localhost failed: "
    };
    const Case cases[] = {
        {"plain text answer",
         [](TServerConnection& s) {
             s.ReadAny();  // the hello
             s.Write("-ERR what is this?\r\n");
             s.WaitForClose();
         },
         false, K::TlsError,
         "the server did not answer in TLS; this port may be for plain or STARTTLS connections (wrong version number)"},
        {"closed before the hello", [](TServerConnection& s) { s.Close(); }, true, K::TlsError, ""},
        {"silent", [](TServerConnection& s) { s.WaitForClose(); }, false, K::Timeout, nullptr},
        {"TLS 1.1 only", [&](TServerConnection& s) { s.StartTls(pki.Server, {TLS1_1_VERSION}); }, false, K::TlsError,
         "the server offers only TLS 1.0/1.1; Brevio needs TLS 1.2 or newer ("},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TLoopbackServer server;
        server.Serve(c.serve);
        // One second for the silent server; for the others the limit only keeps a broken test
        // from hanging.
        TSocketTransport t(nullptr, c.outcome == K::Timeout ? 1 : 20);
        t.Open(QStringLiteral("localhost"), server.Port());
        if (c.serverFinishesFirst) {
            EXPECT_EQ(server.Join(), QString());
        }
        const THandshakeOutcome outcome = TryStartTls(t, {});
        EXPECT_EQ(outcome.Kind, c.outcome) << outcome.Message.toStdString();
        if (c.outcome == K::TlsError) {
            EXPECT_TRUE(outcome.Message.startsWith(QStringLiteral("TLS handshake with localhost failed: ")
                                                   + QLatin1String(c.reason)))
                << outcome.Message.toStdString();
            EXPECT_FALSE(outcome.HasCertificate);
        }
        EXPECT_FALSE(t.IsOpen());
        EXPECT_EQ(server.Join(), QString());
    }
}

TEST(TlsTransport, UnreadableExtraCertificatesAreReported)
{
    TLoopbackServer server;
    server.Serve([](TServerConnection& s) { s.WaitForClose(); });
    TSocketTransport t(nullptr, 10);
    t.Open(QStringLiteral("localhost"), server.Port());
    TTlsOptions options;
    options.ExtraCaCertificates = "not a certificate";
    EXPECT_THROW(t.StartTls(options), ETlsError);
    EXPECT_FALSE(t.IsOpen());
    EXPECT_EQ(server.Join(), QString());
}

TEST(TlsFingerprint, Matching)
{
    const QString fp = QStringLiteral("AB12CD34EF56AB12CD34EF56AB12CD34EF56AB12CD34EF56AB12CD34EF56AB12");
    struct Case {
        QString pinned;
        bool match;
    };
    const Case cases[] = {
        {fp, true},
        {fp.toLower(), true},
        {WithColons(fp), true},
        {QStringLiteral(" ") + WithColons(fp.toLower()) + QStringLiteral(" "), true},
        {QString(), false},
        {fp.left(63), false},
        {fp.left(63) + u'0', false},
        {fp + u'0', false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FingerprintsMatch(c.pinned, fp), c.match) << c.pinned.toStdString();
}
