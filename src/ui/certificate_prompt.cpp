#include "ui/certificate_prompt.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include "components/footer.h"

namespace brevio {

namespace {

QString DateText(const QDateTime& time)
{
    return time.isValid() ? QLocale().toString(time.toLocalTime(), QLocale::ShortFormat) : QStringLiteral("?");
}

// What is wrong with the certificate beyond its missing trust; empty when nothing is.
QStringList Flaws(const TCertificateInfo& info)
{
    QStringList flaws;
    if (info.Expired)
        flaws << QStringLiteral("it is outside its validity period (%1 to %2)").arg(DateText(info.NotBefore), DateText(info.NotAfter));
    if (info.HostMismatch)
        flaws << QStringLiteral("it is made out for another host, not for %1").arg(info.Host);
    return flaws;
}

}  // namespace

QString FingerprintForDisplay(const QString& fingerprint)
{
    QStringList pairs;
    for (qsizetype i = 0; i < fingerprint.size(); i += 2)
        pairs << fingerprint.mid(i, 2);
    return pairs.join(u':');
}

TfrmCertificatePrompt::TfrmCertificatePrompt(const TCertificateInfo& info, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmCertificatePrompt"));
    setWindowTitle(QStringLiteral("Untrusted certificate"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    canTrust_ = info.PinnedFingerprint.isEmpty();
    if (!canTrust_)
        setWindowTitle(QStringLiteral("Certificate changed"));
    const QStringList flaws = Flaws(info);
    needsConfirmation_ = canTrust_ && !flaws.isEmpty();

    auto label = [this](const QString& text, const char* name) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setWordWrap(true);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    lblWarning = label({}, "lblWarning");
    lblWarning->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    if (!canTrust_) {
        lblWarning->setText(QStringLiteral("The certificate of %1 is not the one you trusted for this mailbox. "
                                           "This may be an attack, or the server got a new certificate.")
                                .arg(info.Host));
    } else if (!flaws.isEmpty()) {
        lblWarning->setText(QStringLiteral("Take care: besides not being vouched for, %1.")
                                .arg(flaws.join(QStringLiteral(", and "))));
    }
    lblWarning->setVisible(!lblWarning->text().isEmpty());

    lblHost = label(info.Host, "lblHost");
    lblReason = label(info.Reason, "lblReason");
    lblSubject = label(info.Subject, "lblSubject");
    lblIssuer = label(info.Issuer, "lblIssuer");
    lblValidity = label(QStringLiteral("%1 to %2").arg(DateText(info.NotBefore), DateText(info.NotAfter)), "lblValidity");
    lblFingerprint = label(FingerprintForDisplay(info.Fingerprint), "lblFingerprint");
    lblFingerprint->setFont(fixed);
    lblPinned = label(FingerprintForDisplay(info.PinnedFingerprint), "lblPinned");
    lblPinned->setFont(fixed);

    auto* details = new QFormLayout;
    details->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    details->setHorizontalSpacing(fontMetrics().averageCharWidth() * 2);
    details->setVerticalSpacing(fontMetrics().height() / 4);
    details->addRow(QStringLiteral("Server:"), lblHost);
    details->addRow(QStringLiteral("Problem:"), lblReason);
    details->addRow(QStringLiteral("Issued to:"), lblSubject);
    details->addRow(QStringLiteral("Issued by:"), lblIssuer);
    details->addRow(QStringLiteral("Valid:"), lblValidity);
    details->addRow(QStringLiteral("SHA-256 fingerprint:"), lblFingerprint);
    if (!canTrust_)
        details->addRow(QStringLiteral("Trusted fingerprint:"), lblPinned);
    else
        lblPinned->hide();

    lblMeaning = label(
        canTrust_
            ? QStringLiteral("Trusting means that Brevio accepts exactly this certificate, recognised by its "
                             "fingerprint, from this mailbox's server from now on, without asking again. Do it only "
                             "when you know the server uses it: compare the fingerprint with the one your provider "
                             "or administrator gives you. Should the server later show another certificate, Brevio "
                             "refuses it and tells you.")
            : QStringLiteral("Brevio refuses the connection. If the server's certificate was renewed, compare the new "
                             "fingerprint with the one your provider or administrator gives you, then forget the "
                             "trusted certificate in the mailbox's settings; the next check asks again."),
        "lblMeaning");

    chkConfirm = new QCheckBox(QStringLiteral("I have checked the fingerprint and trust this certificate all the same"), this);
    chkConfirm->setObjectName(QStringLiteral("chkConfirm"));
    chkConfirm->setVisible(needsConfirmation_);

    Footer1 = new TFooter(this);
    btnTrust = new TFooterBtn(QStringLiteral("&Trust this certificate for this mailbox"), Footer1);
    btnTrust->setObjectName(QStringLiteral("btnTrust"));
    btnCancel = new TFooterBtn(canTrust_ ? QStringLiteral("&Cancel") : QStringLiteral("&Close"), Footer1);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->SetModalResult(TModalResult::Cancel);
    btnCancel->setDefault(true);  // the safe answer is the one Enter gives
    // The bar places buttons as if all were as wide as each one: give both the longer caption's width.
    const int buttonWidth = qMax(btnTrust->sizeHint().width() + fontMetrics().averageCharWidth() * 2, btnCancel->width());
    btnTrust->resize(buttonWidth, btnTrust->height());
    btnCancel->resize(canTrust_ ? buttonWidth : btnCancel->width(), btnCancel->height());
    Footer1->ArrangeButtons();
    btnTrust->setVisible(canTrust_);
    btnTrust->setEnabled(canTrust_ && !needsConfirmation_);
    connect(chkConfirm, &QCheckBox::toggled, btnTrust, &QWidget::setEnabled);
    // Only a click that the button allows accepts; the confirmation box gates it.
    connect(btnTrust, &QPushButton::clicked, this, [this] {
        if (canTrust_ && (!needsConfirmation_ || chkConfirm->isChecked()))
            accept();
    });

    auto* body = new QVBoxLayout;
    body->setContentsMargins(10, 10, 10, 10);
    body->setSpacing(fontMetrics().height() * 2 / 3);
    body->addWidget(lblWarning);
    body->addLayout(details);
    body->addWidget(lblMeaning);
    body->addWidget(chkConfirm);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(body, 1);
    outer->addWidget(Footer1);
    // Wrapped texts take the height they need at this width, and no more.
    const int width = fontMetrics().averageCharWidth() * 90;
    resize(width, layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width) : sizeHint().height());
}

bool AskTrustCertificate(QWidget* parent, const TCertificateInfo& info)
{
    TfrmCertificatePrompt prompt(info, parent);
    return prompt.exec() == QDialog::Accepted && prompt.CanTrust();
}

}  // namespace brevio
