// The trust prompt: which answers each kind of certificate allows, the second confirmation for a
// certificate that has expired or names another host, and Enter giving the safe answer in each.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "components/footer.h"
#include "ui/certificate_prompt.h"

namespace brevio {
namespace {

TCertificateInfo Certificate()
{
    TCertificateInfo info;
    info.Host = QStringLiteral("mail.example.org");
    info.MailBox = QStringLiteral("Work inbox");
    info.Reason =
        QStringLiteral("the certificate is self-signed, so no authority vouches for it (self-signed certificate)");
    info.Subject = QStringLiteral("CN=mail.example.org");
    info.Issuer = QStringLiteral("CN=mail.example.org");
    info.NotBefore = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    info.NotAfter = QDateTime(QDate(2027, 1, 1), QTime(0, 0), Qt::UTC);
    info.Fingerprint = QStringLiteral("AB12CD34EF56AB12CD34EF56AB12CD34EF56AB12CD34EF56AB12CD34EF56AB12");
    return info;
}

enum class TStep { ClickTrust, TickThenTrust, Cancel, Enter, TickThenEnter };

struct TPromptCase {
    const char* Name;
    bool Expired;
    bool OtherHost;
    bool PinChanged;
    bool WeakKey;
    TStep Step;
    bool Trusted;         // what AskTrustCertificate returns
    const char* Warning;  // part of the first line; empty: no warning shown
};

// Enter as a user gives it: to whatever has the focus in the active prompt.
void PressEnter(QWidget* prompt)
{
    QWidget* focused = QApplication::focusWidget();
    EXPECT_NE(focused, nullptr);
    QTest::keyClick(focused ? focused : prompt, Qt::Key_Return);
}

void TakeStep(TfrmCertificatePrompt* prompt, TStep step)
{
    switch (step) {
    case TStep::ClickTrust:
        QTest::mouseClick(prompt->btnTrust, Qt::LeftButton);
        if (prompt->isVisible())  // refused: the confirmation is missing, or trust is not offered
            prompt->reject();
        break;
    case TStep::TickThenTrust:
        EXPECT_FALSE(prompt->btnTrust->isEnabled());
        QTest::mouseClick(prompt->chkConfirm, Qt::LeftButton, {}, QPoint(5, prompt->chkConfirm->height() / 2));
        QTest::mouseClick(prompt->btnTrust, Qt::LeftButton);
        break;
    case TStep::Cancel:
        QTest::mouseClick(prompt->btnCancel, Qt::LeftButton);
        break;
    case TStep::Enter:
        PressEnter(prompt);
        break;
    case TStep::TickThenEnter:
        // Confirmed and the trust button focused: Enter still cancels.
        QTest::mouseClick(prompt->chkConfirm, Qt::LeftButton, {}, QPoint(5, prompt->chkConfirm->height() / 2));
        EXPECT_TRUE(prompt->btnTrust->isEnabled());
        prompt->btnTrust->setFocus();
        PressEnter(prompt);
        break;
    }
}

class CertificatePrompt : public ::testing::TestWithParam<TPromptCase> {};

TEST_P(CertificatePrompt, Answers)
{
    const TPromptCase& c = GetParam();
    TCertificateInfo info = Certificate();
    info.Expired = c.Expired;
    info.HostMismatch = c.OtherHost;
    if (c.PinChanged)
        info.PinnedFingerprint = QStringLiteral("00").repeated(32);
    if (c.WeakKey) {
        info.Problem = TCertificateProblem::WeakKey;
        info.ProblemDetail = QStringLiteral("RSA 1024 bits");
    }
    QTimer::singleShot(0, [&] {
        auto* prompt = qobject_cast<TfrmCertificatePrompt*>(QApplication::activeModalWidget());
        ASSERT_NE(prompt, nullptr);
        prompt->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(prompt));
        EXPECT_EQ(prompt->lblWarning->isVisible(), *c.Warning != 0);
        EXPECT_TRUE(prompt->lblWarning->text().contains(QLatin1String(c.Warning)))
            << prompt->lblWarning->text().toStdString();
        EXPECT_EQ(prompt->lblFingerprint->text().left(8), QStringLiteral("AB:12:CD"));
        EXPECT_EQ(prompt->btnTrust->isVisible(), !c.PinChanged && !c.WeakKey);
        EXPECT_EQ(prompt->lblMailBox->text(), QStringLiteral("Work inbox"));
        EXPECT_TRUE(prompt->lblMailBox->isVisible());
        EXPECT_EQ(prompt->lblReason->text().contains(QLatin1String("too weak")), c.WeakKey);
        TakeStep(prompt, c.Step);
        if (prompt->isVisible()) {
            ADD_FAILURE() << "the prompt is still open";
            prompt->reject();
        }
    });
    EXPECT_EQ(AskTrustCertificate(nullptr, info), c.Trusted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CertificatePrompt,
    ::testing::Values(TPromptCase{"untrusted", false, false, false, false, TStep::ClickTrust, true, ""},
                      TPromptCase{"cancelled", false, false, false, false, TStep::Cancel, false, ""},
                      TPromptCase{"enter_is_the_safe_answer", false, false, false, false, TStep::Enter, false, ""},
                      TPromptCase{"expired_needs_confirmation", true, false, false, false, TStep::ClickTrust, false,
                                  "outside its validity period"},
                      TPromptCase{"expired_confirmed", true, false, false, false, TStep::TickThenTrust, true,
                                  "outside its validity period"},
                      TPromptCase{"expired_confirmed_then_enter", true, false, false, false, TStep::TickThenEnter,
                                  false, "outside its validity period"},
                      TPromptCase{"other_host_confirmed", false, true, false, false, TStep::TickThenTrust, true,
                                  "made out for another host, not for mail.example.org"},
                      TPromptCase{"other_host_confirmed_then_enter", false, true, false, false, TStep::TickThenEnter,
                                  false, "made out for another host, not for mail.example.org"},
                      TPromptCase{"changed_certificate_never_trusted", false, false, true, false, TStep::Cancel, false,
                                  "not the one you trusted"},
                      TPromptCase{"changed_certificate_enter", false, false, true, false, TStep::Enter, false,
                                  "not the one you trusted"},
                      TPromptCase{"weak_key_enter", false, false, false, true, TStep::Enter, false, ""}),
    [](const auto& tested) { return std::string(tested.param.Name); });

}  // namespace
}  // namespace brevio
