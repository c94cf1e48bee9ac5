// Failures worded in the program's language: refused certificates and unwritable settings files
// take their words from the string table, other failures keep their own.
#include "engine/failure_text.h"
#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace brevio {
namespace {

// A table whose texts show which key was used and where each value went.
TStringTable MarkedStrings()
{
    TStringTable strings;
    strings.Set("CertificateNotTrusted", "UNTRUSTED %s: %s [%s]");
    strings.Set("CertificateChanged", "CHANGED %s: got %s, trusted %s; %s [%s]");
    strings.Set("CertificateTooWeak", "WEAK %s: %s [%s]");
    strings.Set("CertProblemSelfSigned", "self");
    strings.Set("CertProblemNamedOtherHost", "for %s, not %s");
    strings.Set("CertProblemWeakKey", "key %s");
    strings.Set("CertProblemOther", "other");
    strings.Set("CannotWriteFile", "cannot write %s");
    return strings;
}

TCertificateInfo Certificate(TCertificateProblem problem, QString detail, QString library, QString pinned = {})
{
    TCertificateInfo info;
    info.Host = QStringLiteral("mail.example.org");
    info.Fingerprint = QStringLiteral("AA11");
    info.Problem = problem;
    info.ProblemDetail = std::move(detail);
    info.LibraryText = std::move(library);
    info.PinnedFingerprint = std::move(pinned);
    return info;
}

TEST(FailureText, RefusedCertificatesInTheTablesWords)
{
    using P = TCertificateProblem;
    struct Case {
        const char* name;
        TCertificateInfo certificate;
        const char* text;
    };
    const Case cases[] = {
        {"not trusted", Certificate(P::SelfSigned, {}, "self-signed certificate"),
         "UNTRUSTED mail.example.org: self (self-signed certificate) [AA11]"},
        {"names the host it is for", Certificate(P::NamedOtherHost, "a.example, b.example", "hostname mismatch"),
         "UNTRUSTED mail.example.org: for a.example, b.example, not mail.example.org (hostname mismatch) [AA11]"},
        {"changed: both fingerprints", Certificate(P::SelfSigned, {}, "self-signed certificate", "BB22"),
         "CHANGED mail.example.org: got AA11, trusted BB22; self (self-signed certificate) [AA11]"},
        {"changed wins over too weak", Certificate(P::WeakKey, "RSA 1024 bits", "key too weak", "BB22"),
         "CHANGED mail.example.org: got AA11, trusted BB22; key RSA 1024 bits (key too weak) [AA11]"},
        {"too weak", Certificate(P::WeakKey, "RSA 1024 bits", "key too weak"),
         "WEAK mail.example.org: key RSA 1024 bits (key too weak) [AA11]"},
        {"no library words, no brackets", Certificate(P::Other, {}, {}), "UNTRUSTED mail.example.org: other [AA11]"},
    };
    const TStringTable strings = MarkedStrings();
    for (const Case& c : cases) {
        EXPECT_EQ(CertificateRefusalText(c.certificate, strings), QString::fromUtf8(c.text)) << c.name;
        // The same words whichever way the refusal reaches the user.
        EXPECT_EQ(FailureText(ETlsError(QStringLiteral("verdict"), c.certificate), strings), QString::fromUtf8(c.text))
            << c.name;
    }
}

TEST(FailureText, OtherFailures)
{
    const TStringTable strings = MarkedStrings();
    EXPECT_EQ(FailureText(EIniWriteError(QStringLiteral("/home/u/Brevio.INI")), strings),
              QStringLiteral("cannot write /home/u/Brevio.INI"));
    EXPECT_EQ(FailureText(ETlsError(QStringLiteral("TLS error from h: x")), strings),
              QStringLiteral("TLS error from h: x"));
    EXPECT_EQ(FailureText(EReplyError(QStringLiteral("-ERR busy"), 2), strings), QStringLiteral("-ERR busy"));
    EXPECT_EQ(FailureText(std::runtime_error("bad \xc3\xa9"), strings), QString::fromUtf8("bad \xc3\xa9"));
}

}  // namespace
}  // namespace brevio
