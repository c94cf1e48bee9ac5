#pragma once
// The question a check asks when a server's certificate did not verify: the certificate's
// details, what trusting it means, and the user's answer. A certificate that has expired or is
// made out for another host needs a second, explicit confirmation; one that differs from the
// certificate the mailbox already trusts is only reported, never offered for trust.

#include <QDialog>

#include "net/errors.h"

class QCheckBox;
class QLabel;

namespace brevio {

class TFooter;
class TFooterBtn;

class TfrmCertificatePrompt : public QDialog {
    Q_OBJECT
public:
    explicit TfrmCertificatePrompt(const TCertificateInfo& info, QWidget* parent = nullptr);

    // Whether the certificate may be trusted at all (false when it replaces a trusted one).
    bool CanTrust() const { return canTrust_; }
    // Whether the extra confirmation is needed before the trust button works.
    bool NeedsConfirmation() const { return needsConfirmation_; }

    QLabel* lblWarning = nullptr;  // expired, another host, or a changed certificate
    QLabel* lblHost = nullptr;
    QLabel* lblReason = nullptr;
    QLabel* lblSubject = nullptr;
    QLabel* lblIssuer = nullptr;
    QLabel* lblValidity = nullptr;
    QLabel* lblFingerprint = nullptr;
    QLabel* lblPinned = nullptr;
    QLabel* lblMeaning = nullptr;
    QCheckBox* chkConfirm = nullptr;
    TFooter* Footer1 = nullptr;
    TFooterBtn* btnTrust = nullptr;
    TFooterBtn* btnCancel = nullptr;

private:
    bool canTrust_ = true;
    bool needsConfirmation_ = false;
};

// A SHA-256 fingerprint in pairs of hex digits separated by colons, easier to compare by eye.
QString FingerprintForDisplay(const QString& fingerprint);

// Shows the prompt modally; true when the user chose to trust the certificate for the mailbox.
bool AskTrustCertificate(QWidget* parent, const TCertificateInfo& info);

}  // namespace brevio
