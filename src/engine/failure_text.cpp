#include "engine/failure_text.h"

#include "settings/ini_file.h"
#include "support/text_format.h"

namespace brevio {

QString CertificateProblemText(const TCertificateInfo& certificate, const TStringTable& strings)
{
    using P = TCertificateProblem;
    const auto text = [&](texts::TTextId id, std::initializer_list<QVariant> values = {}) {
        return FormatText(strings.Text(id), values);
    };
    QString words;
    switch (certificate.Problem) {
    case P::Other:
        words = text(texts::CertProblemOther);
        break;
    case P::SelfSigned:
        words = text(texts::CertProblemSelfSigned);
        break;
    case P::UntrustedAuthority:
        words = text(texts::CertProblemUntrustedAuthority);
        break;
    case P::IssuerMissing:
        words = text(texts::CertProblemIssuerMissing);
        break;
    case P::IssuerUntrusted:
        words = text(texts::CertProblemIssuerUntrusted);
        break;
    case P::Expired:
        words = text(texts::CertProblemExpired, {certificate.ProblemDetail});
        break;
    case P::NotYetValid:
        words = text(texts::CertProblemNotYetValid, {certificate.ProblemDetail});
        break;
    case P::OtherHost:
        words = text(texts::CertProblemOtherHost, {certificate.Host});
        break;
    case P::NamedOtherHost:
        words = text(texts::CertProblemNamedOtherHost, {certificate.ProblemDetail, certificate.Host});
        break;
    case P::WeakKey:
        words = text(texts::CertProblemWeakKey, {certificate.ProblemDetail});
        break;
    case P::WeakHash:
        words = text(texts::CertProblemWeakHash);
        break;
    case P::Revoked:
        words = text(texts::CertProblemRevoked);
        break;
    }
    return certificate.LibraryText.isEmpty() ? words : QStringLiteral("%1 (%2)").arg(words, certificate.LibraryText);
}

QString CertificateRefusalText(const TCertificateInfo& certificate, const TStringTable& strings)
{
    const QString problem = CertificateProblemText(certificate, strings);
    if (!certificate.PinnedFingerprint.isEmpty()) {
        return FormatText(strings.Text(texts::CertificateChanged),
                          {certificate.Host, certificate.Fingerprint, certificate.PinnedFingerprint, problem,
                           certificate.Fingerprint});
    }
    const texts::TTextId sentence =
        MayBeTrusted(certificate) ? texts::CertificateNotTrusted : texts::CertificateTooWeak;
    return FormatText(strings.Text(sentence), {certificate.Host, problem, certificate.Fingerprint});
}

QString FailureText(const TFailure& failure, const TStringTable& strings)
{
    return FailureWords(failure, strings);
}

QString FailureText(const std::exception& failure, const TStringTable& strings)
{
    if (const auto* tls = dynamic_cast<const ETlsError*>(&failure); tls && tls->Certificate())
        return CertificateRefusalText(*tls->Certificate(), strings);
    if (const auto* mail = dynamic_cast<const EMailClientError*>(&failure))
        return FailureWords(mail->Failure(), strings);
    if (const auto* number = dynamic_cast<const EInvalidNumber*>(&failure))
        return FailureWords(number->Failure(), strings);
    if (const auto* write = dynamic_cast<const EIniWriteError*>(&failure))
        return FormatText(strings.Text(texts::CannotWriteFile), {write->FileName()});
    if (const auto* own = dynamic_cast<const Exception*>(&failure))
        return own->Message();
    return QString::fromUtf8(failure.what());
}

}  // namespace brevio
