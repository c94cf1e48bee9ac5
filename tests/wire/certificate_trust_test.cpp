// A server certificate that did not verify, offered to the user: trusted, the connection is
// tried once more with it pinned and the run reports the fingerprint to keep; declined, nothing
// more goes to the server. Real TLS on loopback.
#include "engine/check_run.h"
#include "net/errors.h"
#include "net/socket_transport.h"
#include "support/test_check_context.h"
#include "support/tls_test_server.h"

#include <gtest/gtest.h>

#include <vector>

namespace brevio::test {
namespace {

// The socket transport, except that a refused certificate always carries its details: where
// the TLS layer names only the fingerprint, the details are made from it and from the pin the
// connection asked for.
class TDetailedCertificateTransport final : public TTransport {
public:
    TDetailedCertificateTransport() : inner_(nullptr, 5) {}
    void Open(const QString& host, int port) override { inner_.Open(host, port); }
    bool IsOpen() const override { return inner_.IsOpen(); }
    qsizetype Receive(char* buffer, qsizetype capacity) override { return inner_.Receive(buffer, capacity); }
    void Send(const char* data, qsizetype size) override { inner_.Send(data, size); }
    void Close() override { inner_.Close(); }
    void StartTls(const TTlsOptions& options) override
    {
        try {
            inner_.StartTls(options);
        } catch (const ETlsError& e) {
            if (e.Certificate() || e.Fingerprint().isEmpty())
                throw;
            TCertificateInfo certificate;
            certificate.Host = options.HostName;
            certificate.Fingerprint = e.Fingerprint();
            certificate.PinnedFingerprint = options.CertFingerprint;
            throw ETlsError(e.Message(), certificate);
        }
    }

private:
    TSocketTransport inner_;
};

class TTrustContext final : public TTestCheckContext {
public:
    bool Trust = false;
    QStringList Asked;     // the fingerprints offered
    QStringList AskedFor;  // the mailboxes they were offered for
    std::function<void()> BeforeAnswer;

    bool AskTrustCertificate(const TCertificateInfo& certificate) override
    {
        Asked.append(certificate.Fingerprint);
        AskedFor.append(certificate.MailBox);
        if (BeforeAnswer)
            BeforeAnswer();
        return Trust;
    }
};

// The client refuses the certificate after the handshake and goes away.
std::function<void(TServerConnection&)> RefusedHandshake(const TTestCertificate& certificate)
{
    return [&certificate](TServerConnection& connection) {
        connection.StartTls(certificate);
        connection.WaitForClose();
    };
}

// A POP3 server on TLS with an empty mailbox.
void EmptyPop3Mailbox(TServerConnection& connection)
{
    if (!connection.StartTls(TTestPki::Get().SelfSigned))
        throw std::runtime_error("the pinned certificate was refused");
    const std::pair<const char*, const char*> conversation[] = {
        {nullptr, "+OK ready"},    {"CAPA", "-ERR"},    {"USER bob", "+OK"},
        {"PASS secret", "+OK in"}, {"STAT", "+OK 0 0"}, {"QUIT", "+OK bye"},
    };
    for (const auto& [expected, reply] : conversation) {
        if (expected && connection.ReadLine() != expected)
            throw std::runtime_error(std::string("expected ") + expected);
        connection.Write(QByteArray(reply) + "\r\n");
    }
    connection.WaitForClose();
}

// A POP3 mailbox on implicit TLS at the loopback port, trusting the certificate `pin` if any.
TMailBoxSettings SecureBox(int port, const QString& pin)
{
    TMailBoxSettings box;
    box.Name = QStringLiteral("Secure");
    box.Host = QStringLiteral("127.0.0.1");
    box.Port = port;
    box.UserName = QStringLiteral("bob");
    box.Password = QStringLiteral("secret");
    box.Protocol = TMailProtocol::POP3;
    box.Security = TSecurity::Tls;
    box.CertFingerprint = pin;
    return box;
}

struct TTrustCase {
    const char* Label;
    const TTestCertificate& Certificate;
    QString Pin;
    bool Trust;
    bool Scheduled;
    int Asked;
    bool Reported;
    const char* Logged;  // how the refusal's log entry begins, after the host
};

std::vector<TTrustCase> TrustCases()
{
    const TTestPki& pki = TTestPki::Get();
    return {
        {"trusted", pki.SelfSigned, {}, true, false, 1, true, ""},
        {"declined", pki.SelfSigned, {}, false, false, 1, false, "TLS certificate of 127.0.0.1 not trusted"},
        {"scheduled run never asks",
         pki.SelfSigned,
         {},
         true,
         true,
         0,
         false,
         "TLS certificate of 127.0.0.1 not trusted"},
        {"weak key never asks", pki.WeakSelfSigned, {}, true, false, 0, false, "TLS certificate of 127.0.0.1 refused"},
        {"SHA-1 signature never asks",
         pki.Sha1SelfSigned,
         {},
         true,
         false,
         0,
         false,
         "TLS certificate of 127.0.0.1 refused"},
        {"weak key refused though pinned", pki.WeakSelfSigned, pki.WeakSelfSigned.Fingerprint, true, false, 0, false,
         "TLS certificate of 127.0.0.1 refused: the server's key is too weak"},
    };
}

TEST(CertificateTrust, TrustedRetriesOnceAndReportsTheFingerprintDeclinedEndsTheMailBox)
{
    for (const TTrustCase& c : TrustCases()) {
        SCOPED_TRACE(c.Label);
        const QString fingerprint = c.Certificate.Fingerprint;
        TLoopbackServer server;
        ASSERT_TRUE(server.IsListening());
        server.Serve(RefusedHandshake(c.Certificate));

        const TMailBoxSettings box = SecureBox(server.Port(), c.Pin);

        TTrustContext context;
        context.Trust = c.Trust;
        context.Scheduled = c.Scheduled;
        // The first connection is over once the user is asked; only a trusted certificate is
        // worth a second one.
        context.BeforeAnswer = [&] {
            EXPECT_EQ(server.Join(), QString());
            if (c.Trust)
                server.Serve(EmptyPop3Mailbox);
        };
        const TRunResult result =
            ExecuteRun(TRunRequest{TRunKind::CheckAll, c.Scheduled, {box}, -1, {}, {}}, context, [] { return std::make_unique<TDetailedCertificateTransport>(); });
        EXPECT_EQ(server.Join(), QString());

        EXPECT_EQ(context.Asked.size(), c.Asked);
        if (c.Asked > 0) {
            EXPECT_EQ(context.Asked.first(), fingerprint);
            EXPECT_EQ(context.AskedFor.first(), box.Name);
        }
        // The refusal is logged unless the user trusted the certificate and the retry worked.
        ASSERT_EQ(context.Logged.size(), c.Reported ? 0 : 1) << context.Logged.join(u'\n').toStdString();
        if (c.Reported) {
            ASSERT_EQ(result.TrustedCertificates.size(), 1);
            const TTrustedCertificate& trusted = result.TrustedCertificates.first();
            EXPECT_EQ(trusted.MailBoxIndex, 0);
            EXPECT_EQ(trusted.Fingerprint, fingerprint);
            EXPECT_EQ(trusted.Host, box.Host);
            EXPECT_EQ(trusted.UserName, box.UserName);
        } else {
            EXPECT_TRUE(context.Logged.first().startsWith(QStringLiteral("(127.0.0.1) ") + QLatin1String(c.Logged)))
                << context.Logged.first().toStdString();
            EXPECT_TRUE(result.TrustedCertificates.isEmpty());
        }
    }
}

}  // namespace
}  // namespace brevio::test
