#pragma once
// The question a check asks when a server's certificate did not verify: the certificate's
// details, what trusting it means, and the user's answer. A certificate that has expired or is
// made out for another host needs a second, explicit confirmation; one that differs from the
// certificate the mailbox already trusts, or whose key or signature is too weak, is only
// reported, never offered for trust. Enter always gives the safe answer, Cancel.

#include <QDialog>

#include "net/errors.h"

class QCheckBox;
class QFormLayout;
class QLabel;

namespace brevio {

class TFooter;
class TFooterBtn;

class TfrmCertificatePrompt : public QDialog {
    Q_OBJECT
    // Texts the prompt composes; the language file's section sets them like any caption.
    Q_PROPERTY(QString UntrustedTitle MEMBER UntrustedTitle)
    Q_PROPERTY(QString ChangedTitle MEMBER ChangedTitle)
    Q_PROPERTY(QString RefusedTitle MEMBER RefusedTitle)
    Q_PROPERTY(QString ChangedWarningText MEMBER ChangedWarningText)
    Q_PROPERTY(QString FlawsWarningText MEMBER FlawsWarningText)
    Q_PROPERTY(QString FlawsSeparator MEMBER FlawsSeparator)
    Q_PROPERTY(QString ExpiredFlawText MEMBER ExpiredFlawText)
    Q_PROPERTY(QString OtherHostFlawText MEMBER OtherHostFlawText)
    Q_PROPERTY(QString ValidityText MEMBER ValidityText)
    Q_PROPERTY(QString UnknownDateText MEMBER UnknownDateText)
    Q_PROPERTY(QString TrustMeaningText MEMBER TrustMeaningText)
    Q_PROPERTY(QString ChangedMeaningText MEMBER ChangedMeaningText)
    Q_PROPERTY(QString WeakMeaningText MEMBER WeakMeaningText)
    Q_PROPERTY(QString CloseCaption MEMBER CloseCaption)
    Q_PROPERTY(QString ProblemOther MEMBER ProblemOther)
    Q_PROPERTY(QString ProblemSelfSigned MEMBER ProblemSelfSigned)
    Q_PROPERTY(QString ProblemUntrustedAuthority MEMBER ProblemUntrustedAuthority)
    Q_PROPERTY(QString ProblemIssuerMissing MEMBER ProblemIssuerMissing)
    Q_PROPERTY(QString ProblemIssuerUntrusted MEMBER ProblemIssuerUntrusted)
    Q_PROPERTY(QString ProblemExpired MEMBER ProblemExpired)
    Q_PROPERTY(QString ProblemNotYetValid MEMBER ProblemNotYetValid)
    Q_PROPERTY(QString ProblemOtherHost MEMBER ProblemOtherHost)
    Q_PROPERTY(QString ProblemNamedOtherHost MEMBER ProblemNamedOtherHost)
    Q_PROPERTY(QString ProblemWeakKey MEMBER ProblemWeakKey)
    Q_PROPERTY(QString ProblemWeakHash MEMBER ProblemWeakHash)
    Q_PROPERTY(QString ProblemRevoked MEMBER ProblemRevoked)
public:
    explicit TfrmCertificatePrompt(const TCertificateInfo& info, QWidget* parent = nullptr);

    // Whether the certificate may be trusted at all (false when it replaces a trusted one or is
    // too weak).
    bool CanTrust() const { return canTrust_; }
    // Whether the extra confirmation is needed before the trust button works.
    bool NeedsConfirmation() const { return needsConfirmation_; }

    QLabel* lblWarning = nullptr;  // expired, another host, or a changed certificate
    QLabel* lblMailBox = nullptr;
    QLabel* lblHost = nullptr;
    QLabel* lblReason = nullptr;
    QLabel* lblSubject = nullptr;
    QLabel* lblIssuer = nullptr;
    QLabel* lblValidity = nullptr;
    QLabel* lblFingerprint = nullptr;
    QLabel* lblPinned = nullptr;
    QLabel* lblMeaning = nullptr;
    QLabel* lblMailBoxCaption = nullptr;
    QLabel* lblHostCaption = nullptr;
    QLabel* lblReasonCaption = nullptr;
    QLabel* lblSubjectCaption = nullptr;
    QLabel* lblIssuerCaption = nullptr;
    QLabel* lblValidityCaption = nullptr;
    QLabel* lblFingerprintCaption = nullptr;
    QLabel* lblPinnedCaption = nullptr;
    QCheckBox* chkConfirm = nullptr;
    TFooter* Footer1 = nullptr;
    TFooterBtn* btnTrust = nullptr;
    TFooterBtn* btnCancel = nullptr;

    QString UntrustedTitle = QStringLiteral("Untrusted certificate");
    QString ChangedTitle = QStringLiteral("Certificate changed");
    QString RefusedTitle = QStringLiteral("Certificate refused");
    QString ChangedWarningText = QStringLiteral(  // the host
        "The certificate of %s is not the one you trusted for this mailbox. "
        "This may be an attack, or the server got a new certificate.");
    QString FlawsWarningText = QStringLiteral("Take care: besides not being vouched for, %s.");  // the flaws
    QString FlawsSeparator = QStringLiteral(", and");  // between two flaws, before a blank
    QString ExpiredFlawText = QStringLiteral("it is outside its validity period (%s to %s)");
    QString OtherHostFlawText = QStringLiteral("it is made out for another host, not for %s");
    QString ValidityText = QStringLiteral("%s to %s");
    QString UnknownDateText = QStringLiteral("?");  // a validity date the certificate does not give
    QString TrustMeaningText = QStringLiteral(
        "Trusting means that Brevio accepts exactly this certificate, recognised by its fingerprint, from "
        "this mailbox's server from now on, without asking again. Do it only when you know the server uses "
        "it: compare the fingerprint with the one your provider or administrator gives you. Should the "
        "server later show another certificate, Brevio refuses it and tells you.");
    QString ChangedMeaningText = QStringLiteral(
        "Brevio refuses the connection. If the server's certificate was renewed, compare the new fingerprint "
        "with the one your provider or administrator gives you, then forget the trusted certificate in the "
        "mailbox's settings; the next check asks again.");
    QString WeakMeaningText = QStringLiteral(
        "Brevio refuses the connection: a certificate with a key or signature this weak cannot be made safe by "
        "trusting it. Ask your provider or administrator to give the server a stronger certificate.");
    QString CloseCaption = QStringLiteral("&Close");
    // Why the certificate did not verify; the TLS library's own words follow in brackets.
    QString ProblemOther = QStringLiteral("the certificate could not be verified");
    QString ProblemSelfSigned = QStringLiteral("the certificate is self-signed, so no authority vouches for it");
    QString ProblemUntrustedAuthority =
        QStringLiteral("the certificate comes from an authority this computer does not trust");
    QString ProblemIssuerMissing = QStringLiteral(
        "the server did not send its intermediate certificate, or its issuer is not trusted on this computer");
    QString ProblemIssuerUntrusted = QStringLiteral("the certificate's issuer is not trusted on this computer");
    QString ProblemExpired = QStringLiteral("the certificate expired on %s");                               // the date
    QString ProblemNotYetValid = QStringLiteral("the certificate is not valid before %s");                  // the date
    QString ProblemOtherHost = QStringLiteral("the certificate is made out for another host, not for %s");  // the host
    QString ProblemNamedOtherHost = QStringLiteral("the certificate is made out for %s, not for %s");  // names, host
    QString ProblemWeakKey = QStringLiteral("the server's key is too weak (%s)");                      // the key
    QString ProblemWeakHash = QStringLiteral("the certificate is signed with a hash that is too weak");
    QString ProblemRevoked = QStringLiteral("the certificate has been revoked");

private:
    // The parts of building the prompt, in the order the constructor runs them.
    // The labels that show the certificate's details, and their captions.
    void CreateDetails(const TCertificateInfo& info);
    // The confirmation box and the two answer buttons.
    void CreateAnswers();
    // Title, warning, reason and meaning from the (localised) texts; decides on the confirmation.
    void ComposeTexts(const TCertificateInfo& info);
    // Sizes and places the answer buttons and wires them; returns the width each button got.
    int ArrangeAnswers();
    // The caption and value rows of the certificate's details.
    QFormLayout* DetailRows();
    // Puts everything in place and sizes the window to its texts.
    void LayOut(int buttonWidth);

    // What is wrong with the certificate beyond its missing trust; empty when nothing is.
    QStringList Flaws(const TCertificateInfo& info) const;
    // Why the certificate did not verify, in the window's language.
    QString ProblemText(const TCertificateInfo& info) const;

    bool canTrust_ = true;
    bool needsConfirmation_ = false;
};

// A SHA-256 fingerprint in pairs of hex digits separated by colons, easier to compare by eye.
QString FingerprintForDisplay(const QString& fingerprint);

// Shows the prompt modally; true when the user chose to trust the certificate for the mailbox.
bool AskTrustCertificate(QWidget* parent, const TCertificateInfo& info);

}  // namespace brevio
