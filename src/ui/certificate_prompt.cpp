#include "ui/certificate_prompt.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include "components/footer.h"
#include "support/text_format.h"
#include "ui/form_localizer.h"

namespace brevio {

namespace {

QString DateText(const QDateTime& time, const QString& unknown)
{
    return time.isValid() ? QLocale().toString(time.toLocalTime(), QLocale::ShortFormat) : unknown;
}

}  // namespace

QString FingerprintForDisplay(const QString& fingerprint)
{
    QStringList pairs;
    for (qsizetype i = 0; i < fingerprint.size(); i += 2)
        pairs << fingerprint.mid(i, 2);
    return pairs.join(u':');
}

QStringList TfrmCertificatePrompt::Flaws(const TCertificateInfo& info) const
{
    QStringList flaws;
    if (info.Expired)
        flaws << FormatText(ExpiredFlawText,
                            {DateText(info.NotBefore, UnknownDateText), DateText(info.NotAfter, UnknownDateText)});
    if (info.HostMismatch)
        flaws << FormatText(OtherHostFlawText, {info.Host});
    return flaws;
}

QString TfrmCertificatePrompt::ProblemText(const TCertificateInfo& info) const
{
    using P = TCertificateProblem;
    // A certificate described only in words (no library verdict) keeps its words.
    if (info.Problem == P::Other && info.LibraryText.isEmpty() && !info.Reason.isEmpty())
        return info.Reason;
    QString text;
    switch (info.Problem) {
    case P::Other:
        text = ProblemOther;
        break;
    case P::SelfSigned:
        text = ProblemSelfSigned;
        break;
    case P::UntrustedAuthority:
        text = ProblemUntrustedAuthority;
        break;
    case P::IssuerMissing:
        text = ProblemIssuerMissing;
        break;
    case P::IssuerUntrusted:
        text = ProblemIssuerUntrusted;
        break;
    case P::Expired:
        text = FormatText(ProblemExpired, {info.ProblemDetail});
        break;
    case P::NotYetValid:
        text = FormatText(ProblemNotYetValid, {info.ProblemDetail});
        break;
    case P::OtherHost:
        text = FormatText(ProblemOtherHost, {info.Host});
        break;
    case P::NamedOtherHost:
        text = FormatText(ProblemNamedOtherHost, {info.ProblemDetail, info.Host});
        break;
    case P::WeakKey:
        text = FormatText(ProblemWeakKey, {info.ProblemDetail});
        break;
    case P::WeakHash:
        text = ProblemWeakHash;
        break;
    case P::Revoked:
        text = ProblemRevoked;
        break;
    }
    return info.LibraryText.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, info.LibraryText);
}

TfrmCertificatePrompt::TfrmCertificatePrompt(const TCertificateInfo& info, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmCertificatePrompt"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    canTrust_ = MayBeTrusted(info);

    CreateDetails(info);
    CreateAnswers();
    // The texts of the current language first; what follows is composed from them.
    LocalizeForm(this);
    ComposeTexts(info);
    const int buttonWidth = ArrangeAnswers();
    LayOut(buttonWidth);
}

void TfrmCertificatePrompt::CreateDetails(const TCertificateInfo& info)
{
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
    lblMailBox = label(info.MailBox, "lblMailBox");
    lblHost = label(info.Host, "lblHost");
    lblReason = label({}, "lblReason");
    lblSubject = label(info.Subject, "lblSubject");
    lblIssuer = label(info.Issuer, "lblIssuer");
    lblValidity = label({}, "lblValidity");
    lblFingerprint = label(FingerprintForDisplay(info.Fingerprint), "lblFingerprint");
    lblFingerprint->setFont(fixed);
    lblPinned = label(FingerprintForDisplay(info.PinnedFingerprint), "lblPinned");
    lblPinned->setFont(fixed);
    lblMeaning = label({}, "lblMeaning");

    // The captions of the detail rows.
    auto caption = [this](const char* text, const char* name) {
        auto* l = new QLabel(QLatin1String(text), this);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    lblMailBoxCaption = caption("Mailbox:", "lblMailBoxCaption");
    lblHostCaption = caption("Server:", "lblHostCaption");
    lblReasonCaption = caption("Problem:", "lblReasonCaption");
    lblSubjectCaption = caption("Issued to:", "lblSubjectCaption");
    lblIssuerCaption = caption("Issued by:", "lblIssuerCaption");
    lblValidityCaption = caption("Valid:", "lblValidityCaption");
    lblFingerprintCaption = caption("SHA-256 fingerprint:", "lblFingerprintCaption");
    lblPinnedCaption = caption("Trusted fingerprint:", "lblPinnedCaption");
}

void TfrmCertificatePrompt::CreateAnswers()
{
    chkConfirm =
        new QCheckBox(QStringLiteral("I have checked the fingerprint and trust this certificate all the same"), this);
    chkConfirm->setObjectName(QStringLiteral("chkConfirm"));

    Footer1 = new TFooter(this);
    btnTrust = new TFooterBtn(QStringLiteral("&Trust this certificate for this mailbox"), Footer1);
    btnTrust->setObjectName(QStringLiteral("btnTrust"));
    btnCancel = new TFooterBtn(QStringLiteral("&Cancel"), Footer1);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->SetModalResult(TModalResult::Cancel);
    // The safe answer is the one Enter gives, wherever the focus is: Cancel is the default and
    // starts with the focus, and the trust button never takes Enter for itself (a focused button
    // that is "auto default" would, and would become the default while it has the focus).
    btnTrust->setAutoDefault(false);
    btnCancel->setAutoDefault(true);
    btnCancel->setDefault(true);
    btnCancel->setFocus();
}

void TfrmCertificatePrompt::ComposeTexts(const TCertificateInfo& info)
{
    const QStringList flaws = Flaws(info);
    const bool changed = !info.PinnedFingerprint.isEmpty();
    needsConfirmation_ = canTrust_ && !flaws.isEmpty();
    setWindowTitle(canTrust_ ? UntrustedTitle : changed ? ChangedTitle : RefusedTitle);
    if (changed)
        lblWarning->setText(FormatText(ChangedWarningText, {info.Host}));
    else if (canTrust_ && !flaws.isEmpty())
        lblWarning->setText(FormatText(FlawsWarningText, {flaws.join(FlawsSeparator + QLatin1Char(' '))}));
    lblWarning->setVisible(!lblWarning->text().isEmpty());
    lblReason->setText(ProblemText(info));
    const QString from = DateText(info.NotBefore, UnknownDateText);
    lblValidity->setText(FormatText(ValidityText, {from, DateText(info.NotAfter, UnknownDateText)}));
    lblMeaning->setText(canTrust_ ? TrustMeaningText : changed ? ChangedMeaningText : WeakMeaningText);
    chkConfirm->setVisible(needsConfirmation_);
    if (!canTrust_)
        btnCancel->setText(CloseCaption);
}

int TfrmCertificatePrompt::ArrangeAnswers()
{
    // The bar places buttons as if all were as wide as each one: give both the longer caption's width.
    const int buttonWidth =
        qMax(btnTrust->sizeHint().width() + fontMetrics().averageCharWidth() * 2, btnCancel->width());
    btnTrust->resize(buttonWidth, btnTrust->height());
    btnCancel->resize(canTrust_ ? buttonWidth : qMax(btnCancel->width(), btnCancel->sizeHint().width()),
                      btnCancel->height());
    Footer1->ArrangeButtons();
    btnTrust->setVisible(canTrust_);
    btnTrust->setEnabled(canTrust_ && !needsConfirmation_);
    connect(chkConfirm, &QCheckBox::toggled, btnTrust, &QWidget::setEnabled);
    // Only a click that the button allows accepts; the confirmation box gates it.
    connect(btnTrust, &QPushButton::clicked, this, [this] {
        if (canTrust_ && (!needsConfirmation_ || chkConfirm->isChecked()))
            accept();
    });
    return buttonWidth;
}

QFormLayout* TfrmCertificatePrompt::DetailRows()
{
    auto* details = new QFormLayout;
    details->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    details->setHorizontalSpacing(fontMetrics().averageCharWidth() * 2);
    details->setVerticalSpacing(fontMetrics().height() / 4);
    // Several mailboxes may share a server: the mailbox is named first.
    if (!lblMailBox->text().isEmpty()) {
        details->addRow(lblMailBoxCaption, lblMailBox);
    } else {
        lblMailBoxCaption->hide();
        lblMailBox->hide();
    }
    details->addRow(lblHostCaption, lblHost);
    details->addRow(lblReasonCaption, lblReason);
    details->addRow(lblSubjectCaption, lblSubject);
    details->addRow(lblIssuerCaption, lblIssuer);
    details->addRow(lblValidityCaption, lblValidity);
    details->addRow(lblFingerprintCaption, lblFingerprint);
    if (!lblPinned->text().isEmpty()) {
        details->addRow(lblPinnedCaption, lblPinned);
    } else {
        lblPinnedCaption->hide();
        lblPinned->hide();
    }
    return details;
}

void TfrmCertificatePrompt::LayOut(int buttonWidth)
{
    auto* body = new QVBoxLayout;
    body->setContentsMargins(10, 10, 10, 10);
    body->setSpacing(fontMetrics().height() * 2 / 3);
    body->addWidget(lblWarning);
    body->addLayout(DetailRows());
    body->addWidget(lblMeaning);
    body->addWidget(chkConfirm);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(body, 1);
    outer->addWidget(Footer1);
    // Wrapped texts take the height they need at this width, and no more; the width holds both
    // buttons side by side.
    const int width =
        qMax(fontMetrics().averageCharWidth() * 90, 2 * buttonWidth + fontMetrics().averageCharWidth() * 4);
    resize(width, layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width) : sizeHint().height());
}

bool AskTrustCertificate(QWidget* parent, const TCertificateInfo& info)
{
    TfrmCertificatePrompt prompt(info, parent);
    return prompt.exec() == QDialog::Accepted && prompt.CanTrust();
}

}  // namespace brevio
