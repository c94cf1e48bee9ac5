// The mailbox editor's "Test" against the real test server: a working account counts its inbox,
// a wrong password is a refused login, and an untrusted certificate comes back with its details.
#include "live_support.h"

#include "engine/mailbox_probe.h"

#include <gtest/gtest.h>

namespace brevio::test {
namespace {

TEST(MailBoxProbeLive, Outcomes)
{
    const LiveServer server = LiveServer::fromEnvironment();
    if (!server.available())
        GTEST_SKIP() << server.unavailableReason().toStdString();
    qint32 inbox = 0;
    for (const SeedMessage& m : SeedManifest::load().messages())
        inbox += m.user == QLatin1String("alice") && m.folder == QLatin1String("INBOX");

    struct Case {
        const char* name;
        TProtocol protocol;
        TSecurity security;
        bool pinned;
        bool wrongPassword;
        TProbeOutcome outcome;
    };
    const Case cases[] = {
        {"POP3", TProtocol::Pop3, TSecurity::None, false, false, TProbeOutcome::Ok},
        {"IMAP4 over TLS, pinned", TProtocol::Imap4, TSecurity::Tls, true, false, TProbeOutcome::Ok},
        {"POP3 STARTTLS, pinned", TProtocol::Pop3, TSecurity::StartTls, true, false, TProbeOutcome::Ok},
        {"IMAP4 wrong password", TProtocol::Imap4, TSecurity::None, false, true, TProbeOutcome::LoginRefused},
        {"POP3 over TLS, untrusted", TProtocol::Pop3, TSecurity::Tls, false, false, TProbeOutcome::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<TMailBox> box = MakeMailBox(server, QStringLiteral("alice"), c.protocol, c.security);
        TProbeTarget target{box->Host,
                            box->Port,
                            box->UserName,
                            box->Password,
                            box->Protocol,
                            box->Security,
                            c.pinned ? ServerFingerprint(server) : QString()};
        if (c.wrongPassword)
            target.Password += QStringLiteral("-wrong");
        const TProbeResult result = ProbeMailBox(target, nullptr, 20);
        EXPECT_EQ(result.Outcome, c.outcome) << result.Text.toStdString();
        if (c.outcome == TProbeOutcome::Ok) {
            EXPECT_EQ(result.MessageCount, inbox);
            // Dovecot offers IDLE, so the editor adds no warning to an IMAP4 Test.
            EXPECT_EQ(result.IdleOffered, c.protocol == TProtocol::Imap4);
        }
        // Only the untrusted certificate brings details to decide on.
        EXPECT_EQ(result.Certificate.has_value(), c.outcome == TProbeOutcome::Failed);
        if (result.Certificate) {
            EXPECT_EQ(result.Certificate->Fingerprint, ServerFingerprint(server));
        }
    }
}

}  // namespace
}  // namespace brevio::test
